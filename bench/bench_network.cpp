// The team database over a slow link: 100,000 people on a throwaway server, reached through a
// delay proxy of the benchmark's own on loopback (the machine's network is never slowed), at
// round trips of 0, 25 and 50 ms. Per operation: the round trips the store exchanged with the
// server, the time, and the goal.
//
// Run: bench_network [people] [people imported at 25 and 50 ms] [people imported at 0 ms]
// Each delay runs in a process of its own on a fresh copy of the filled database, so that
// start-up counts from an empty program and an import of one run is not seen by the next.
#include "DelayProxy.h"
#include "support/PgCluster.h"
#include "app/Program.h"
#include "app/TDataEntryForm.h"
#include "contacts/CsvImport.h"
#include "contacts/PeoplePage.h"
#include "data/FileCheck.h"
#include "data/MainDataModule.h"
#include "filters/TFilters.h"
#include "followup/TFollowUpForm.h"
#include "followup/TRemindersForm.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "storage/pg/PgStore.h"
#include "widgets/DBGrid.h"
#include "widgets/ResultGrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <map>

namespace {

const QDate kToday(2026, 3, 15);

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

// 100,000 people made by the server itself; one in 2,128 has a birthday today with a reminder
// (47 at 100,000), everybody else's falls in January or February.
QString fillSql(int count)
{
    return QString(
               "INSERT INTO \"People\" (\"CompanyID\", \"Name\", \"Title\", \"Gender\", \"PersonType\", "
               "\"CustoemrImportance\", \"Profession\", \"Company\", \"Email1\", \"Mobile\", \"HACity\", \"HAState\", "
               "\"HAStreet\", \"Birthday\", \"Breminder\", \"Income\", \"Industry\", \"ProspectingMethod\", "
               "\"JobTitle\", \"Hobbies\") "
               "SELECT 1, (ARRAY['Anna','Bob','Carla','David','Eva','Frank','Grace','Henry','Irene','John','Karin',"
               "'Leo','Maria','Nils','Olga','Peter','Quinn','Rosa','Sven','Tina'])[i % 20 + 1] || ' Person' || i, "
               "(ARRAY['Dr.','Miss','Mr.','Mrs.','Ms.','Prof.'])[i % 6 + 1], CASE WHEN i % 2 = 1 THEN 'Male' ELSE "
               "'Female' END, CASE WHEN i % 3 = 0 THEN 'Customer' ELSE 'Prospect' END, CASE WHEN i % 3 = 0 THEN "
               "'High' ELSE 'Low' END, 'Profession ' || (i % 200), 'Company ' || (i % 5000), 'person' || i || "
               "'@example.com', '+47 ' || (40000000 + i), (ARRAY['OSLO','LYON','PORTO','GRAZ','TURKU','GHENT',"
               "'BRNO','CORK'])[i % 8 + 1], 'NO', (i % 300) || ' Main Street', "
               "to_char(CASE WHEN i % 2128 = 5 THEN make_date(1950 + i % 50, 3, 15) ELSE make_date(1950 + i % 50, "
               "1, 1) + i % 59 END, 'YYYY-MM-DD'), 1, '50,000 - 59,999', 'Retail', 'Networking', 'Buyer', "
               "'Sailing' FROM generate_series(0, %1) AS i")
        .arg(count - 1);
}

bool writeCsv(const QString& path, int count)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = CsvImport::headerLine().toUtf8() + "\r\n";
    for (int i = 0; i < count; ++i)
        text += QString("Ms.,Imported Person %1,Company %2,Profession %3\r\n").arg(i).arg(i % 5000).arg(i % 200).toUtf8();
    return f.write(text) == text.size();
}

struct Figure {
    QString name;
    QString goal;
    double rounds = 0; // round trips, mean per operation
    double ms = 0;     // mean per operation
};

// The measured program at one delay; prints one line per figure: "FIGURE<tab>name<tab>goal<tab>
// round trips<tab>ms".
int run(const QString& dir, const QByteArray& socket, const QString& database, int delay, int imported)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "bench_network";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    DelayProxy proxy(socket, delay);
    if (proxy.port() == 0) {
        std::fprintf(stderr, "the delay proxy cannot listen\n");
        return 1;
    }
    QFile connection(dir + "/Vantrel.connection");
    if (!connection.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || connection.write(QString("host=127.0.0.1 port=%1 dbname=%2 user=postgres\n").arg(proxy.port()).arg(database).toUtf8()) < 0)
        return 1;
    connection.close();
    AppPaths::setExecutableDir(dir);
    Clock::setOverride([] { return kToday; });
    QStringList messages;
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        messages << r.text;
        return r.defaultButton == MessageBox::Button::None ? r.buttons.value(0) : r.defaultButton;
    });
    std::function<void(QDialog*)> work;
    Modal::setRunner([&](QDialog* d) {
        d->show();
        QCoreApplication::processEvents();
        if (work)
            work(d);
        return int(QDialog::Accepted);
    });
    QString answer;
    FileDialog::setHandler([&](const FileDialog::Request&) { return answer; });
    Program::setUpApplication();
    FileCheck::setEnabled(false);

    std::vector<Figure> figures;
    auto print = [&](const Figure& f) {
        std::printf("FIGURE\t%s\t%s\t%.1f\t%.1f\n", qPrintable(f.name), qPrintable(f.goal), f.rounds, f.ms);
        std::fflush(stdout);
    };
    // Runs `what` `times` times and records the mean round trips and time.
    auto measure = [&](const QString& figure, const QString& goal, int times, const std::function<void(int)>& what) {
        Figure f{figure, goal};
        for (int i = 0; i < times; ++i) {
            const qint64 before = PgStore::roundTrips();
            QElapsedTimer t;
            t.start();
            what(i);
            f.ms += ms(t);
            f.rounds += PgStore::roundTrips() - before;
        }
        f.rounds /= times;
        f.ms /= times;
        print(f);
        return f;
    };

    Program program;
    measure("start-up to the shown main window with the day's reminders", "under 1500 ms, about 10 round trips", 1,
            [&](int) {
                if (!program.start())
                    std::exit(1);
                program.mainForm->show();
                QCoreApplication::processEvents();
            });
    if (!program.remindersForm->isVisible())
        std::fprintf(stderr, "the reminders are not shown\n");
    program.remindersForm->hide();
    TDataEntryForm* w = program.mainForm;
    Dataset* people = program.dataModule->PeopleCompanyDet;
    std::fprintf(stderr, "%d ms: %d people on file, %d messages at start-up\n", delay, people->recordCount(),
                 int(messages.size()));
    auto* mobile = w->findChild<QLineEdit*>("Mobile");
    const int rounds = 5;
    measure("search keystroke", "at most 1 round trip", rounds, [&](int i) {
        QTest::keyClick(w->People->Edit1, char('a' + i));
        QCoreApplication::processEvents();
    });
    w->People->Edit1->clear();
    QCoreApplication::processEvents();
    measure("move to the next person", "at most 1 round trip", rounds, [&](int) {
        std::fprintf(stderr, "MARK move\n");
        w->SpeedButton9Click();
        QCoreApplication::processEvents();
    });
    // A change of one person: the keystroke that starts the edit, and the save.
    {
        Figure edit{"first keystroke of an edit", "-"}, save{"save of one changed person", "at most 2 round trips"};
        auto add = [](Figure& f, const std::function<void()>& what) {
            const qint64 before = PgStore::roundTrips();
            QElapsedTimer t;
            t.start();
            what();
            f.ms += ms(t);
            f.rounds += PgStore::roundTrips() - before;
        };
        for (int i = 0; i < rounds; ++i) {
            add(edit, [&] { QTest::keyClick(mobile, Qt::Key_5); });
            if (people->state() != DatasetState::Edit)
                std::fprintf(stderr, "the edit did not start\n");
            add(save, [&] {
                std::fprintf(stderr, "MARK save\n");
                w->SpeedButton2Click();
                QCoreApplication::processEvents();
            });
            if (people->isEditing())
                std::fprintf(stderr, "the save did not end the edit\n");
            w->SpeedButton9Click();
        }
        for (Figure* f : {&edit, &save}) {
            f->rounds /= rounds;
            f->ms /= rounds;
            print(*f);
        }
    }

    // The follow-up window: opening it, and a page down its people list.
    people->setRecNo(people->recordCount() / 2);
    QElapsedTimer opened;
    Figure open{"open the follow-up window", "under 500 ms"}, page{"page of a grid (follow-up people list)", "1 round trip"};
    qint64 openBefore = 0;
    work = [&](QDialog* d) {
        d->repaint();
        open.ms = ms(opened);
        open.rounds = PgStore::roundTrips() - openBefore;
        auto* f = static_cast<TFollowUpForm*>(d);
        DBGrid* list = f->DBGridFollowUp;
        list->setFocus();
        for (int i = 0; i < rounds; ++i) {
            const qint64 before = PgStore::roundTrips();
            QElapsedTimer t;
            t.start();
            std::fprintf(stderr, "MARK page\n");
            QTest::keyClick(list, Qt::Key_PageDown);
            f->repaint();
            page.ms += ms(t);
            page.rounds += PgStore::roundTrips() - before;
        }
        page.ms /= rounds;
        page.rounds /= rounds;
        d->close();
    };
    std::fprintf(stderr, "MARK follow\n");
    openBefore = PgStore::roundTrips();
    opened.start();
    w->BitBtn7Click();
    work = {};
    print(open);
    print(page);

    // The filter window's run over everyone: a criterion that lists a third of them.
    w->BitBtn8Click();
    TFilters* filters = program.filters;
    filters->findChild<QCheckBox*>("CheckBoxType")->setChecked(true);
    auto* type = filters->findChild<QComboBox*>("ComboBoxType");
    type->setCurrentIndex(std::max(0, type->findText("Customer")));
    measure("filter run (a third of everyone)", "under 1000 ms", 2, [&](int) {
        filters->BitBtn1Click();
        QCoreApplication::processEvents();
    });
    std::fprintf(stderr, "%d ms: the filter listed %d people\n", delay,
                 filters->StringGrid1->model()->rowCount());
    filters->hide();

    const int count = people->recordCount();
    answer = dir + "/export.csv";
    measure(QString("CSV export of %1 people").arg(count), "under 5000 ms at 100,000", 1, [&](int) {
        w->CSVfile2Click();
    });
    std::fprintf(stderr, "%d ms: export file %.1f MB\n", delay, QFileInfo(answer).size() / 1048576.0);

    answer = dir + "/import.csv";
    if (!writeCsv(answer, imported))
        return 1;
    messages.clear();
    const Figure in = measure(QString("CSV import of %1 new people").arg(imported), "under 10000 ms at 100,000", 1,
                              [&](int) { w->SpeedButton14Click(); });
    std::fprintf(stderr, "%d ms: after the import %d people; said: %s\n", delay, people->recordCount(),
                 qPrintable(messages.join(" | ").left(300)));
    (void)in;
    MessageBox::setHandler({});
    Modal::setRunner({});
    FileDialog::setHandler({});
    Clock::setOverride({});
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 7 && QByteArray(argv[1]) == "--run")
        return run(QString::fromLocal8Bit(argv[2]), argv[3], QString::fromLocal8Bit(argv[4]), QByteArray(argv[5]).toInt(),
                   QByteArray(argv[6]).toInt());

    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int slowImport = argc > 2 ? QByteArray(argv[2]).toInt() : 200;
    const int fastImport = argc > 3 ? QByteArray(argv[3]).toInt() : count;
    PgCluster& cluster = PgCluster::instance();
    QElapsedTimer t;
    t.start();
    const QString filled = "vantrel_bench_filled";
    cluster.admin("CREATE DATABASE " + filled + " TEMPLATE vantrel_template");
    // The people as if restored: the change log's triggers are for the program's own writes.
    cluster.admin("SET session_replication_role = replica; " + fillSql(count), filled);
    cluster.admin("VACUUM ANALYZE", filled);
    std::printf("filled %d people on the server in %.0f ms\n", count, ms(t));
    // VANTREL_BENCH_STATEMENTS=file: every statement the server ran is copied there at the end.
    const QString statements = qEnvironmentVariable("VANTREL_BENCH_STATEMENTS");
    if (!statements.isEmpty()) {
        cluster.admin("ALTER SYSTEM SET log_statement = 'all'");
        cluster.admin("SELECT pg_reload_conf()");
    }
    const QByteArray socket = QFile::encodeName(cluster.socketDir() + "/.s.PGSQL.5432");

    // name -> goal, and per delay: round trips and time
    std::vector<QString> order;
    std::map<QString, QString> goals;
    std::map<QString, std::map<int, std::pair<double, double>>> results;
    const std::vector<int> delays{0, 25, 50};
    for (int delay : delays) {
        const QString database = QString("vantrel_bench_%1").arg(delay);
        cluster.admin(QString("CREATE DATABASE %1 TEMPLATE %2").arg(database, filled));
        QTemporaryDir dir;
        QFile marker(dir.path() + "/Vantrel.vt");
        marker.open(QIODevice::WriteOnly); // the program's folder holds its data; the server is named beside it
        marker.close();
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        p.start(QCoreApplication::applicationFilePath(),
                {"--run", dir.path(), QString::fromLocal8Bit(socket), database, QString::number(delay),
                 QString::number(delay == 0 ? fastImport : slowImport)});
        p.waitForFinished(-1);
        std::fprintf(stderr, "%s", p.readAllStandardError().constData());
        for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() != 5 || f[0] != "FIGURE")
                continue;
            QString name = QString::fromUtf8(f[1]);
            // The export's and import's counts differ between the delays: one row for each.
            if (name.startsWith("CSV export"))
                name = "CSV export of everyone";
            if (name.startsWith("CSV import"))
                name = QString("CSV import (%1 new people at 0 ms, %2 at 25 and 50 ms)").arg(fastImport).arg(slowImport);
            if (!goals.count(name))
                order.push_back(name);
            goals[name] = QString::fromUtf8(f[2]);
            results[name][delay] = {f[3].toDouble(), f[4].toDouble()};
        }
        if (p.exitCode() != 0)
            std::fprintf(stderr, "the run at %d ms failed (%d)\n", delay, p.exitCode());
        cluster.admin("DROP DATABASE " + database);
    }
    if (!statements.isEmpty()) {
        QFile::remove(statements);
        QFile::copy(cluster.socketDir() + "/server.log", statements);
    }
    std::printf("\n%-62s %22s %22s %22s   goal\n", "operation (round trips, time)", "0 ms", "25 ms", "50 ms");
    for (const QString& name : order) {
        std::printf("%-62s", qPrintable(name));
        for (int delay : delays) {
            const auto it = results[name].find(delay);
            if (it == results[name].end())
                std::printf(" %22s", "-");
            else
                std::printf(" %22s", qPrintable(QString("%1 rt, %2 ms").arg(it->second.first, 0, 'f', 1).arg(it->second.second, 0, 'f', 0)));
        }
        std::printf("   %s\n", qPrintable(goals[name]));
    }
    return 0;
}
