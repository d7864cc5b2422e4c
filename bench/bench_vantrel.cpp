// Fills a copy of the database with 100,000 people and measures what a user waits on:
// start-up to the shown main window, peak memory, the first keystroke's edit start, a save with
// its list refill, the write alone, and a keystroke in the search box. Run: bench_vantrel [people]
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

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

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

// The processor time of this thread: on a machine shared with other work, the part of a wait
// that is the program's own.
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

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
    double edit = 0, save = 0, saveCpu = 0, search = 0, move = 0;
    std::vector<double> saves;
    for (int i = 0; i < rounds; ++i) {
        t.restart();
        QTest::keyClick(mobile, Qt::Key_5);
        edit += ms(t);
        if (people->state() != DatasetState::Edit)
            return 1;
        t.restart();
        const double cpu = cpuMs();
        w->SpeedButton2Click();
        saveCpu += cpuMs() - cpu;
        saves.push_back(ms(t));
        save += saves.back();
        if (people->isEditing())
            return 1;
        t.restart();
        QTest::keyClick(w->People->Edit1, char('a' + i % 26));
        search += ms(t);
        t.restart();
        w->SpeedButton9Click();
        move += ms(t);
    }
    // The write alone: checked against what was read, committed and copied into the file itself.
    double write = 0, writeCpu = 0;
    {
        Dataset alone("WriteAlone", &program.dataModule->MainADOConnection);
        alone.setTable("People");
        alone.open();
        for (int i = 0; i < rounds; ++i) {
            alone.setRecNo(i * 997);
            alone.edit();
            alone.setValue("Mobile", QString("+47 %1").arg(i));
            t.restart();
            const double cpu = cpuMs();
            alone.post();
            writeCpu += cpuMs() - cpu;
            write += ms(t);
        }
    }
    double refill = 0;
    for (int i = 0; i < rounds; ++i) {
        t.restart();
        program.dataModule->PeopleCompanyDetAfterPost(*people);
        refill += ms(t);
    }
    std::printf("first keystroke, edit start: %.2f ms (mean of %d)\n", edit / rounds, rounds);
    std::printf("list refill after a save: %.2f ms (mean of %d)\n", refill / rounds, rounds);
    std::printf("write of one changed person, committed into the file: %.2f ms (mean of %d), of which processor %.2f ms\n",
                write / rounds, rounds, writeCpu / rounds);
    std::sort(saves.begin(), saves.end());
    std::printf("save with list refill: %.2f ms (mean of %d), median %.2f ms, fastest %.2f ms; processor %.2f ms\n",
                save / rounds, rounds, (saves[rounds / 2 - 1] + saves[rounds / 2]) / 2, saves.front(),
                saveCpu / rounds);
    std::printf("search keystroke: %.2f ms (mean of %d)\n", search / rounds, rounds);
    std::printf("next record: %.2f ms (mean of %d)\n", move / rounds, rounds);
    std::printf("peak memory at the end: %.1f MB\n", peakKiB() / 1024.0);
    std::printf("messages shown: %d\n", messages);
    MessageBox::setHandler({});
    return 0;
}
