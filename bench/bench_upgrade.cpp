// The first start on a file from an earlier version: the steps that bring it up to this
// version's schema, as the start did them before (in place, in the thread that serves the
// windows) and as it does them now (on a handle of their own in another thread, with the window
// that says so on the screen). Figures: the time, and the longest time the windows went without
// being served.
// Run: bench_upgrade [people]   (default 100,000)
#include "BenchFile.h"
#include "StallMeter.h"
#include "app/UpgradeProgress.h"
#include "data/Connection.h"
#include "data/SchemaUpgrade.h"
#include "../tests/support/OlderSchema.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// What every step and the base's later additions made is taken away, as the first delivered
// files were.
bool makeOlder(const QString& path)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "older");
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString& statement : olderSchemaStatements()) {
            if (!ok)
                break;
            QSqlQuery q(db);
            q.prepare(statement);
            ok = BenchFile::run(q);
        }
        QSqlQuery vacuum(db);
        vacuum.prepare("VACUUM");
        ok = ok && BenchFile::run(vacuum);
        db.close();
    }
    QSqlDatabase::removeDatabase("older");
    return ok;
}

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // unless a display is asked for, to look at the window
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    // A made file is kept in $VANTREL_BENCH_CACHE (when set): filling a million people takes long.
    const QString cacheDir = qEnvironmentVariable("VANTREL_BENCH_CACHE");
    const QString made = cacheDir.isEmpty() ? dir.path() + "/made.vt" : QString("%1/older-%2.vt").arg(cacheDir).arg(count);
    QElapsedTimer t;
    t.start();
    const bool cached = !cacheDir.isEmpty() && QFileInfo::exists(made);
    const bool filled = cached || BenchFile::make(made, [&](QSqlDatabase& db) {
        QSqlQuery people(db);
        people.prepare(BenchFile::kPeopleInsert);
        QSqlQuery followUp(db);
        followUp.prepare("INSERT INTO PeopleFollowUp (PersonID, FUDate, FUDescription) VALUES (?, ?, 'Call back')");
        for (int i = 0; i < count; ++i) {
            if (!BenchFile::addPerson(people, i))
                return false;
            if (i % 2)
                continue;
            followUp.addBindValue(i + 1);
            followUp.addBindValue(QString("2026-%1-%2").arg(1 + i % 12, 2, 10, QChar('0')).arg(1 + i % 28, 2, 10, QChar('0')));
            if (!BenchFile::run(followUp))
                return false;
        }
        return true;
    });
    if (!filled || (!cached && !makeOlder(made))) {
        QFile::remove(made);
        return 1;
    }
    std::printf("%d people and %d follow-up activities in a file of the first version, made in %.0f ms; %.0f MB\n",
                count, (count + 1) / 2, ms(t), QFileInfo(made).size() / 1048576.0);

    {
        // The start shows its splash first: the window system and the style are up before the
        // upgrade's window, as they are here.
        QLabel splash("Vantrel");
        splash.show();
        QCoreApplication::processEvents();
    }
    StallMeter stall;
    auto copy = [&](const QString& name) {
        const QString path = dir.path() + "/" + name + "/Vantrel.vt";
        QDir().mkpath(QFileInfo(path).absolutePath());
        return QFile::copy(made, path) ? path : QString();
    };
    double before = 0, beforeStall = 0, after = 0, afterStall = 0;
    {
        // As the start did it: the steps in place on the program's own connection.
        Connection connection("inplace");
        connection.setDatabasePath(copy("inplace"));
        connection.open();
        stall.start();
        t.restart();
        const SchemaUpgrade::Outcome outcome = SchemaUpgrade::run(connection.store());
        connection.checkpoint();
        before = ms(t);
        beforeStall = stall.stop();
        if (!outcome.notices.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(outcome.notices.join('\n')));
            return 1;
        }
    }
    {
        // As the start does it now: in another thread, with the window on the screen.
        Connection connection("worker");
        connection.setDatabasePath(copy("worker"));
        connection.open();
        int told = 0;
        UpgradeProgress::setObserver([&](UpgradeProgress&) { ++told; });
        stall.start();
        t.restart();
        const auto outcome = UpgradeProgress::run(connection);
        connection.checkpoint();
        after = ms(t);
        afterStall = stall.stop();
        UpgradeProgress::setObserver({});
        if (!outcome || !outcome->notices.isEmpty() || told != 1 || SchemaUpgrade::needed(connection.store())) {
            std::fprintf(stderr, "the upgrade with the window did not end as it should\n");
            return 1;
        }
    }
    std::printf("upgrade in place (before): %.0f ms, longest stall %.0f ms\n", before, beforeStall);
    std::printf("upgrade with the progress window (now): %.0f ms (%.2f x in place), longest stall %.1f ms (goal: under 100 ms)\n",
                after, after / before, afterStall);
    return 0;
}
