// Fills a database with 100,000 people and measures the two walks over the whole person
// dataset: the start-up reminder walk and a run of the filter window's "Filter" command (one
// that lists everyone, two criteria with thousands of results, and a selective one), each as
// the user meets it, painting included: the first time, then the mean of later times. The
// processor time beside the wall-clock time shows what the program itself costs on a machine
// shared with other work, and the longest stall the time that the window served no events. The
// filter with two criteria is compared with the same condition run as one statement by the
// sqlite3 shell on the same file. Run: bench_filters [people]
#include "PeakMemory.h"
#include "StallMeter.h"
#include "app/Program.h"
#include "data/FileCheck.h"
#include "app/TDataEntryForm.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"
#include "filters/TFilters.h"
#include "followup/TRemindersForm.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "widgets/ResultGrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

const QDate kToday(2026, 3, 15);

bool fill(const QString& path, int count)
{
    if (!Schema::createDatabase(path))
        return false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(path);
        if (!db.open())
            return false;
        const QStringList first{"Anna", "Bob", "Carla", "David", "Eva", "Frank", "Grace", "Henry", "Irene", "John"};
        const QStringList cities{"OSLO", "LYON", "PORTO", "GRAZ", "TURKU", "GHENT", "BRNO", "CORK"};
        QSqlQuery q(db);
        db.transaction();
        q.prepare("INSERT INTO People (CompanyID, Name, PersonType, Company, Email1, Mobile, HACity, Hobbies, "
                  "Birthday, Breminder, Anniversary, Areminder) VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (int i = 0; i < count; ++i) {
            q.addBindValue(first[i % first.size()] + " Person" + QString::number(i));
            q.addBindValue(i % 3 ? "Prospect" : "Customer");
            q.addBindValue(QString("Company %1").arg(i % 5000));
            q.addBindValue(QString("person%1@example.com").arg(i));
            q.addBindValue(QString("+47 %1").arg(40000000 + i));
            q.addBindValue(cities[i % cities.size()]);
            q.addBindValue(i % 4 ? "Sailing" : "Chess");
            q.addBindValue(QDate(1950 + i % 50, 1, 1).addDays(i % 365).toString(Qt::ISODate));
            q.addBindValue(i % 2);
            q.addBindValue(i % 3 == 0 ? QVariant(QDate(1990 + i % 30, 1, 1).addDays((i * 7) % 365).toString(Qt::ISODate))
                                      : QVariant());
            q.addBindValue(i % 3 == 0 ? QVariant(1) : QVariant());
            if (!q.exec()) {
                std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
                return false;
            }
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase("fill");
    return true;
}

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

// The time this process spent on the processor: on a machine shared with other work it shows
// what the program itself costs, beside the wall-clock time the user waits.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The sqlite3 shell's own time for one statement, its rows written to nowhere: the median of
// five runs, in ms, or -1 without the shell.
double shellMs(const QString& path, const QString& select)
{
    QList<double> times;
    for (int i = 0; i < 5; ++i) {
        QProcess shell;
        shell.start("sqlite3", {"-readonly", path});
        if (!shell.waitForStarted())
            return -1;
        shell.write((".timer on\n.output /dev/null\n" + select + ";\n").toUtf8());
        shell.closeWriteChannel();
        shell.waitForFinished(-1);
        const auto m = QRegularExpression(R"(Run Time: real ([0-9.]+))").match(QString::fromUtf8(shell.readAllStandardOutput()));
        if (!m.hasMatch())
            return -1;
        times << m.captured(1).toDouble() * 1e3;
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    QElapsedTimer t;
    t.start();
    if (!fill(dir.path() + "/Vantrel.vt", count)) {
        std::fprintf(stderr, "filling the database failed\n");
        return 1;
    }
    std::printf("filled %d people in %.0f ms\n", count, ms(t));

    AppPaths::setExecutableDir(dir.path());
    Clock::setOverride([] { return kToday; });
    int messages = 0;
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        ++messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return MessageBox::Button::Ok;
    });
    int remindersShown = 0;
    Modal::setRunner([&](QDialog* d) {
        if (qobject_cast<TRemindersForm*>(d))
            ++remindersShown;
        d->show(); // on the screen, without a nested event loop
        return int(QDialog::Accepted);
    });
    Program::setUpApplication();
    FileCheck::setEnabled(false); // the window alone, without the check of the file beside it
    Program program;
    if (!program.start())
        return 1;
    // Start-up: the main window's showing runs the first reminder walk and shows its window.
    t.restart();
    double cpu = cpuMs();
    program.mainForm->show();
    QCoreApplication::processEvents();
    std::printf("start-up showing of the main window, first reminder walk included: %.1f ms (processor %.1f ms)\n",
                ms(t), cpuMs() - cpu);
    TDataEntryForm* w = program.mainForm;
    program.remindersForm->hide();

    // A first run and the mean of the later ones, painting included, with the longest stall of all.
    const int rounds = 10;
    StallMeter stall;
    double lastMean = 0;
    auto measure = [&](const char* what, int times, const std::function<void()>& step, const std::function<QString()>& outcome) {
        double firstRun = 0, firstCpu = 0, rest = 0, restCpu = 0, longest = 0;
        for (int i = 0; i < times; ++i) {
            const double before = cpuMs();
            t.restart();
            stall.start();
            step();
            QCoreApplication::processEvents();
            longest = std::max(longest, stall.stop());
            (i == 0 ? firstRun : rest) += ms(t);
            (i == 0 ? firstCpu : restCpu) += cpuMs() - before;
        }
        lastMean = rest / (times - 1);
        std::printf("%s: %s; first %.1f ms (processor %.1f ms), then %.1f ms (processor %.1f ms, mean of %d); "
                    "longest stall %.1f ms\n",
                    what, qPrintable(outcome()), firstRun, firstCpu, lastMean, restCpu / (times - 1), times - 1,
                    longest);
    };
    measure("reminder walk", rounds, [&] {
        w->PeopleTabSheetShow();
        QCoreApplication::processEvents();
        program.remindersForm->hide();
    }, [&] {
        return QString("%1 reminders on %2")
            .arg(program.remindersForm->StringGrid1->model()->rowCount())
            .arg(kToday.toString(Qt::ISODate));
    });

    w->BitBtn8Click();
    TFilters* f = program.filters;
    auto check = [&](const QString& box) { f->findChild<QCheckBox*>(box)->setChecked(true); };
    auto results = [&] {
        return QString("%1 results").arg(f->StringGrid1->isVisible() ? f->StringGrid1->model()->rowCount() : 0);
    };
    auto filter = [&] { f->BitBtn1Click(); };
    measure("filter run, no criterion, everyone listed", rounds, filter, results);
    check("CheckBoxType");
    f->findChild<QComboBox*>("ComboBoxType")->setCurrentIndex(0);
    check("CheckBoxHCity");
    f->findChild<QLineEdit*>("EditHCity")->setText("Lyon");
    measure("filter run, Type and home City", rounds, filter, results);
    {
        const double run = lastMean;
        const QString select = "SELECT \"Name\", \"PersonType\", \"Mobile\", \"Email1\" FROM \"People\" WHERE "
                               "+\"CompanyID\" = 1 AND \"PersonType\" = 'Customer' COLLATE NOCASE AND \"HACity\" = "
                               "'Lyon' COLLATE NOCASE ORDER BY rowid";
        const double shell = shellMs(dir.path() + "/Vantrel.vt", select);
        std::printf("the same condition as one SELECT in the sqlite3 shell: %.1f ms; filter run / shell: %.2f "
                    "(goal: at most 1.5)\n",
                    shell, shell > 0 ? run / shell : 0.0);
    }
    f->FormShow();
    check("CheckBoxCompany");
    f->findChild<QLineEdit*>("EditCompany")->setText("company 17");
    measure("filter run, Company", rounds, filter, results);
    // The grid alone: a list of every person put into it, painting included.
    {
        ResultGrid* grid = f->StringGrid1;
        const Dataset& people = *program.dataModule->PeopleCompanyDet;
        const int name = people.columnIndex("Name");
        measure("grid fill, everyone", rounds, [&] {
            grid->setResults(people.recordCount(), [&people, name](int result, int column) {
                return column == 1 ? people.valueAt(result, name).toString() : QString();
            });
            grid->show();
            grid->repaint();
        }, [&] { return QString("%1 rows").arg(grid->model()->rowCount()); });
    }
    std::printf("peak memory: %.1f MB\n", peakKiB() / 1024.0);
    std::printf("reminder windows shown: %d, messages shown: %d\n", remindersShown, messages);
    MessageBox::setHandler({});
    Modal::setRunner({});
    Clock::setOverride({});
    return 0;
}
