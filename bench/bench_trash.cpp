// Fills a database with 100,000 people (one in ten with two follow-up activities and 24 answers)
// and measures the trash beside what the same work costs without it: a delete of one person
// through the person dataset (anchor: the same delete straight from People), "Delete all" into
// the trash (anchor: one DELETE of every person), reading the trash's list, restoring everyone,
// and an import of as many people recorded for its undo (anchor: the same import unrecorded),
// its undo and the restore of what the undo took. Run: bench_trash [people]
#include "BenchFile.h"
#include "PeakMemory.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/PeopleBatch.h"
#include "data/Schema.h"
#include "data/Trash.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

bool fill(const QString& path, int count)
{
    return BenchFile::make(path, [count](QSqlDatabase& db) {
        QSqlQuery q(db), f(db), a(db);
        q.prepare(BenchFile::kPeopleInsert);
        f.prepare("INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, FUDescription) VALUES (?, "
                  "'2026-01-05', 'Visit', 'Talked about the new range')");
        a.prepare("INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (?, ?, ?)");
        for (int i = 0; i < count; ++i) {
            if (!BenchFile::addPerson(q, i))
                return false;
            if (i % 10)
                continue;
            const QVariant id = q.lastInsertId();
            for (int k = 0; k < 2; ++k) {
                f.addBindValue(id);
                f.exec();
            }
            for (int k = 1; k <= 24; ++k) {
                a.addBindValue(id);
                a.addBindValue(k);
                a.addBindValue(k % 2);
                a.exec();
            }
        }
        return true;
    });
}

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

double timed(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return ms(t);
}

// An import of count people through the batch the imports write with.
double import(TMainDataModule& data, int count, bool recorded)
{
    return timed([&] {
        PeopleBatch batch(data, {"Name", "Company", "Email1", "Mobile", "HACity"});
        if (recorded)
            batch.recordImport("/tmp/people.csv");
        batch.begin();
        for (int i = 0; i < count; ++i) {
            const QString name = QString("Imported %1").arg(i), company = QString("Firm %1").arg(i % 700),
                          email = QString("imported%1@example.org").arg(i), mobile = QString("+33 6%1").arg(i);
            batch.add({name, company, email, mobile, QStringView(u"PARIS")});
        }
        batch.finish();
    });
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int people = argc > 1 ? QString(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString path = dir.path() + "/Vantrel.vt";
    std::printf("filling %d people...\n", people);
    if (!fill(path, people))
        return 1;
    auto data = BenchFile::open(path);
    Dataset* ds = data->PeopleCompanyDet;

    // One person at a time, from the middle of the list, as "Delete record" does.
    constexpr int kDeletes = 20;
    double trashed = 0, plain = 0;
    for (int i = 0; i < kDeletes; ++i) {
        ds->setRecNo(ds->recordCount() / 2);
        trashed += timed([&] { ds->remove(); });
    }
    ds->setRemover({}); // the delete as it was before the trash
    for (int i = 0; i < kDeletes; ++i) {
        ds->setRecNo(ds->recordCount() / 2);
        plain += timed([&] { ds->remove(); });
    }
    data.reset();
    std::printf("delete of one person: %.1f ms into the trash, anchor %.1f ms straight from People (mean of %d)\n",
                trashed / kDeletes, plain / kDeletes, kDeletes);

    data = BenchFile::open(path);
    const int onFile = data->PeopleCompanyDet->recordCount();
    const double all = timed([&] { data->MoveAllPeopleToTrash(); });
    QVector<Trash::Entry> entries;
    const double list = timed([&] { entries = Trash::entries(data->MainADOConnection); });
    QList<qint64> ids;
    for (const Trash::Entry& e : std::as_const(entries))
        if (e.kind == Trash::Entry::Kind::Person)
            ids << e.id;
    const double back = timed([&] {
        Trash::restore(data->MainADOConnection, ids);
        data->PeopleTakenBack();
    });
    const double anchorAll = timed([&] {
        Connection::Transaction tx(data->MainADOConnection);
        data->MainADOConnection.exec("DELETE FROM \"People\"");
        tx.commit();
    });
    std::printf("delete all of %d people: %.0f ms into the trash (list re-read included), anchor %.0f ms for one "
                "DELETE of every person\n",
                onFile, all, anchorAll);
    std::printf("the trash's list of %d entries: %.0f ms; restoring all of them: %.0f ms (list re-read included)\n",
                int(entries.size()), list, back);
    data.reset();

    // Imports into empty files, unrecorded and recorded.
    QTemporaryDir other;
    const QString unrecordedPath = other.path() + "/Vantrel.vt";
    Schema::createDatabase(unrecordedPath);
    auto unrecorded = BenchFile::open(unrecordedPath);
    const double importPlain = import(*unrecorded, people, false);
    unrecorded.reset();
    QFile::remove(path);
    Schema::createDatabase(path);
    data = BenchFile::open(path);
    const double importRecorded = import(*data, people, true);
    std::printf("import of %d people: %.0f ms recorded for its undo, anchor %.0f ms unrecorded\n", people,
                importRecorded, importPlain);
    Trash::Undo undo;
    const double undone = timed([&] {
        undo = Trash::undoImport(data->MainADOConnection, 1);
        data->PeopleTakenBack();
    });
    const double redone = timed([&] {
        Trash::restoreImport(data->MainADOConnection, 1);
        data->PeopleTakenBack();
    });
    std::printf("undo of that import: %.0f ms (%d people to the trash); its restore: %.0f ms\n", undone, undo.taken,
                redone);
    std::printf("peak memory: %ld MB\n", peakKiB() / 1024);
    return 0;
}
