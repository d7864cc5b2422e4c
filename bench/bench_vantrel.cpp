// Fills a copy of the database with 100,000 people and measures what a user waits on:
// start-up to the shown main window, peak memory, the first keystroke's edit start, a save with
// its list refill, and a keystroke in the search box. Run: bench_vantrel [people]
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "app/Program.h"
#include "app/TDataEntryForm.h"
#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

long peakKiB()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

int fill(const QString& path, int count)
{
    if (!Schema::createDatabase(path))
        return 1;
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
    db.setDatabaseName(path);
    if (!db.open())
        return 1;
    const QStringList first{"Anna", "Bob", "Carla", "David", "Eva", "Frank", "Grace", "Henry", "Irene", "John",
                            "Karin", "Leo", "Maria", "Nils", "Olga", "Peter", "Quinn", "Rosa", "Sven", "Tina"};
    const QStringList titles{"Dr.", "Miss", "Mr.", "Mrs.", "Ms.", "Prof."};
    const QStringList cities{"OSLO", "LYON", "PORTO", "GRAZ", "TURKU", "GHENT", "BRNO", "CORK"};
    QSqlQuery q(db);
    db.transaction();
    q.prepare("INSERT INTO People (CompanyID, Name, Title, Gender, PersonType, CustoemrImportance, Profession, "
              "Company, Email1, Mobile, HACity, HAState, HAStreet, Birthday, Breminder, Income, Industry, "
              "ProspectingMethod, JobTitle, Hobbies) VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 0; i < count; ++i) {
        const QString name = first[i % first.size()] + " Person" + QString::number(i);
        q.addBindValue(name);
        q.addBindValue(titles[i % titles.size()]);
        q.addBindValue(i % 2 ? "Male" : "Female");
        q.addBindValue(i % 3 ? "Prospect" : "Customer");
        q.addBindValue(i % 3 == 0 ? "High" : "Low");
        q.addBindValue(QString("Profession %1").arg(i % 200));
        q.addBindValue(QString("Company %1").arg(i % 5000));
        q.addBindValue(QString("person%1@example.com").arg(i));
        q.addBindValue(QString("+47 %1").arg(40000000 + i));
        q.addBindValue(cities[i % cities.size()]);
        q.addBindValue("NO");
        q.addBindValue(QString("%1 Main Street").arg(i % 300));
        q.addBindValue(QDate(1950 + i % 50, 1 + i % 12, 1 + i % 28).toString(Qt::ISODate));
        q.addBindValue(i % 2);
        q.addBindValue("50,000 - 59,999");
        q.addBindValue("Retail");
        q.addBindValue("Networking");
        q.addBindValue("Buyer");
        q.addBindValue("Sailing");
        if (!q.exec()) {
            std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
            return 1;
        }
    }
    db.commit();
    db.close();
    return 0;
}

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--fill") {
        QCoreApplication app(argc, argv);
        return fill(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString path = dir.path() + "/Vantrel.vt";
    // Filled by a separate process, so the peak memory below is the program's own.
    QElapsedTimer fillTimer;
    fillTimer.start();
    if (QProcess::execute(QCoreApplication::applicationFilePath(), {"--fill", path, QString::number(count)}) != 0) {
        std::fprintf(stderr, "filling the database failed\n");
        return 1;
    }
    std::printf("filled %d people in %.0f ms\n", count, ms(fillTimer));

    AppPaths::setExecutableDir(dir.path());
    int messages = 0;
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        ++messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return MessageBox::Button::Ok;
    });
    Program::setUpApplication();

    QElapsedTimer t;
    t.start();
    Program program;
    if (!program.start())
        return 1;
    program.mainForm->show();
    QCoreApplication::processEvents();
    std::printf("start-up to shown main window: %.1f ms\n", ms(t));
    std::printf("peak memory after start-up: %.1f MB\n", peakKiB() / 1024.0);

    TDataEntryForm* w = program.mainForm;
    Dataset* people = program.dataModule->PeopleCompanyDet;
    auto* mobile = w->findChild<QLineEdit*>("Mobile");
    const int rounds = 20;
    double edit = 0, save = 0, search = 0, move = 0;
    for (int i = 0; i < rounds; ++i) {
        t.restart();
        QTest::keyClick(mobile, Qt::Key_5);
        edit += ms(t);
        if (people->state() != DatasetState::Edit)
            return 1;
        t.restart();
        w->SpeedButton2Click();
        save += ms(t);
        if (people->isEditing())
            return 1;
        t.restart();
        QTest::keyClick(w->People->Edit1, char('a' + i % 26));
        search += ms(t);
        t.restart();
        w->SpeedButton9Click();
        move += ms(t);
    }
    std::printf("first keystroke, edit start: %.2f ms (mean of %d)\n", edit / rounds, rounds);
    std::printf("save with list refill: %.2f ms (mean of %d)\n", save / rounds, rounds);
    std::printf("search keystroke: %.2f ms (mean of %d)\n", search / rounds, rounds);
    std::printf("next record: %.2f ms (mean of %d)\n", move / rounds, rounds);
    std::printf("peak memory at the end: %.1f MB\n", peakKiB() / 1024.0);
    std::printf("messages shown: %d\n", messages);
    MessageBox::setHandler({});
    return 0;
}
