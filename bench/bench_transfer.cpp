// Export of 100,000 people to a CSV file and to a vCard file, and the import of that vCard file
// back into an empty database. Every person holds every column the formats carry; one in ten
// has answers to the questionnaire.
// Run: bench_transfer [people]
#include "PeakMemory.h"
#include "app/Program.h"
#include "data/FileCheck.h"
#include "app/TDataEntryForm.h"
#include "contacts/VCard.h"
#include "contacts/VCardPeople.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

bool fill(const QString& path, int count)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(path);
        if (!db.open())
            return false;
        QStringList columns{"CompanyID"}, marks{"?"};
        for (const QString& c : VCardPeople::columns()) {
            columns << "\"" + c + "\"";
            marks << "?";
        }
        QSqlQuery q(db);
        db.transaction();
        q.prepare("INSERT INTO People (" + columns.join(", ") + ") VALUES (" + marks.join(", ") + ")");
        QSqlQuery a(db);
        a.prepare("INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (?, ?, ?)");
        const QStringList first{"Anna", "Bob", "Carla", "Zoë", "Élodie", "Frank", "Grace", "Henry"};
        const QStringList last{"Berg", "Cole", "Müller", "Novák", "Olsen", "Smith"};
        for (int i = 0; i < count && ok; ++i) {
            const QString n = QString::number(i);
            q.addBindValue(1);
            for (const QString& c : VCardPeople::columns()) {
                QVariant v;
                if (c == "Name")
                    v = first[i % first.size()] + " " + last[(i / 8) % last.size()] + " " + n;
                else if (c == "Title")
                    v = "Dr.";
                else if (c == "Gender")
                    v = i % 2 ? "Male" : "Female";
                else if (c == "Birthday")
                    v = QString("19%1-0%2-1%3").arg(50 + i % 50).arg(1 + i % 9).arg(i % 10);
                else if (c == "Anniversary")
                    v = QString("20%1-1%2-2%3").arg(10 + i % 10).arg(i % 3).arg(i % 9);
                else if (c == "Breminder" || c == "Areminder")
                    v = i % 2;
                else if (c == "Info")
                    v = "Met at the fair, " + n + "; asked about prices";
                else if (c.startsWith("Email"))
                    v = c.toLower() + "." + n + "@example.com";
                else if (c.startsWith("Tel") || c.startsWith("Fax") || c == "Mobile" || c == "PrimaryTel")
                    v = "+47 " + QString::number(20000000 + i);
                else
                    v = c.left(3) + n; // the narrowest of these columns holds 10
                q.addBindValue(v);
            }
            ok = q.exec();
            if (ok && i % 10 == 0) {
                const qint64 id = q.lastInsertId().toLongLong();
                for (int question = 1; question <= 24 && ok; ++question) {
                    a.addBindValue(id);
                    a.addBindValue(question);
                    a.addBindValue(question % 2);
                    ok = a.exec();
                }
            }
        }
        if (!ok)
            std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text() + a.lastError().text()));
        db.commit();
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString from = dir.path() + "/from", to = dir.path() + "/to";
    QDir().mkpath(from);
    QDir().mkpath(to);
    QString error;
    if (!Schema::createDatabase(from + "/Vantrel.vt", &error) || !Schema::createDatabase(to + "/Vantrel.vt", &error)) {
        std::fprintf(stderr, "cannot create a database: %s\n", qPrintable(error));
        return 1;
    }
    if (!fill(from + "/Vantrel.vt", count))
        return 1;

    QStringList messages;
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        messages << r.text;
        return MessageBox::Button::Ok;
    });
    QString answer;
    FileDialog::setHandler([&](const FileDialog::Request&) { return answer; });
    Program::setUpApplication();
    const QString csv = dir.path() + "/people.csv", vcf = dir.path() + "/people.vcf";
    {
        AppPaths::setExecutableDir(from);
        FileCheck::setEnabled(false); // the window alone, without the check of the file beside it
        Program program;
        if (!program.start())
            return 1;
        program.mainForm->show();
        QCoreApplication::processEvents();
        for (const auto& [path, name] : {std::pair{csv, "CSV"}, std::pair{vcf, "vCard"}}) {
            messages.clear();
            answer = path;
            QElapsedTimer t;
            t.start();
            if (path == csv)
                program.mainForm->CSVfile2Click();
            else
                program.mainForm->VCardfile2Click();
            std::printf("%s export of %d people: %.0f ms, %.1f MB file; said: %s\n", name, count, ms(t),
                        QFileInfo(path).size() / 1048576.0, qPrintable(messages.join(" | ")));
        }
    }
    {
        // The reader and the mapping alone, no database.
        QElapsedTimer t;
        t.start();
        VCard::Reader reader(vcf);
        VCard::Card card;
        int cards = 0;
        if (reader.open())
            while (reader.read(card))
                ++cards;
        const double reading = ms(t);
        std::vector<QString> values;
        QVector<int> answers;
        VCard::Reader again(vcf);
        t.restart();
        if (again.open())
            while (again.read(card))
                VCardPeople::read(card, values, answers);
        std::printf("reading the vCard file alone: %d cards in %.0f ms; with the mapping to columns %.0f ms\n", cards,
                    reading, ms(t));
    }
    {
        AppPaths::setExecutableDir(to);
        Program program;
        if (!program.start())
            return 1;
        program.mainForm->show();
        QCoreApplication::processEvents();
        messages.clear();
        answer = vcf;
        QElapsedTimer t;
        t.start();
        program.mainForm->VCardfile1Click();
        std::printf("vCard import of that file into an empty database: %.0f ms; said: %s\n", ms(t),
                    qPrintable(messages.join(" | ")));
        messages.clear();
        t.restart();
        program.mainForm->VCardfile1Click();
        std::printf("the same file again, every person on file: %.0f ms; said: %s\n", ms(t),
                    qPrintable(messages.join(" | ")));
        std::printf("people on file: %d; peak memory of the run %.1f MB\n",
                    program.dataModule->PeopleCompanyDet->recordCount(), peakKiB() / 1024.0);
    }
    MessageBox::setHandler({});
    FileDialog::setHandler({});
    return 0;
}
