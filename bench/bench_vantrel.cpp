// Measures what a user waits on with a large file, on two kinds of file:
//   full:   people with every column filled near its width (default 100,000)
//   sparse: people with a score of short columns filled (default 1,000,000)
// Figures: start-up to the shown main window from process start, peak memory, the first
// keystroke's edit start, a save with its list refill, the write alone, a keystroke in the
// search box, a move to the next person, the first search keystroke after another program
// wrote, and a run of the filter window.
//
// Run: bench_vantrel [full|sparse] [people]
// A filled file is kept in $VANTREL_BENCH_CACHE (when set) and copied for each run, because
// filling a million people takes longer than measuring them.
#include "PeakMemory.h"
#include "StallMeter.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "app/Program.h"
#include "data/FileCheck.h"
#include "app/TDataEntryForm.h"
#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"
#include "filters/TFilters.h"
#include "followup/TRemindersForm.h"
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

const QDate kToday(2026, 3, 15);

qint64 wallNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The processor time of this thread: on a machine shared with other work, the part of a wait
// that is the program's own.
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

const QStringList kFirst{"Anna", "Bob", "Carla", "David", "Eva", "Frank", "Grace", "Henry", "Irene", "John",
                         "Karin", "Leo", "Maria", "Nils", "Olga", "Peter", "Quinn", "Rosa", "Sven", "Tina"};
const QStringList kCities{"OSLO", "LYON", "PORTO", "GRAZ", "TURKU", "GHENT", "BRNO", "CORK"};

// Text of exactly `width` characters (or fewer when width is small) that starts with `head`.
QString padded(const QString& head, int width)
{
    if (head.size() >= width)
        return head.left(width);
    static const QString filler = QString("lorem ipsum dolor sit amet consectetur adipiscing elit ").repeated(8);
    return head + ' ' + filler.left(width - head.size() - 1);
}

QString companyOf(int i, bool full) { return full ? padded(QString("Company %1").arg(i % 5000), 148) : QString("Company %1").arg(i % 5000); }

// Every text column near its width; choices hold list items, dates and switches hold values.
bool fillFull(QSqlDatabase& db, int count)
{
    QSqlQuery info(db);
    info.exec("PRAGMA table_info(People)");
    QStringList names, marks;
    QList<int> widths;
    QStringList types;
    while (info.next()) {
        const QString name = info.value(1).toString();
        if (name == "PersonID")
            continue;
        names << name;
        marks << "?";
        const QString declared = info.value(2).toString();
        types << declared;
        const int open = declared.indexOf('(');
        widths << (open > 0 ? declared.mid(open + 1, declared.indexOf(')') - open - 1).toInt() : 0);
    }
    const QHash<QString, QStringList> choices{
        {"Title", {"Dr.", "Miss", "Mr.", "Mrs.", "Ms.", "Prof."}},
        {"Gender", {"Male", "Female"}},
        {"PersonType", {"Prospect", "Customer"}},
        {"CustoemrImportance", {"High", "Medium", "Low"}},
        {"MailingAddress", {"Home", "Business"}},
        {"BillingAddress", {"Home", "Business"}},
        {"Income", {"50,000 - 59,999", "60,000 - 69,999"}},
    };
    QSqlQuery q(db);
    if (!q.prepare("INSERT INTO People (" + names.join(", ") + ") VALUES (" + marks.join(", ") + ")")) {
        std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
        return false;
    }
    db.transaction();
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < names.size(); ++c) {
            const QString& n = names[c];
            const int w = widths[c] - i % 3; // near the width, not all at it
            if (n == "CompanyID")
                q.addBindValue(1);
            else if (n == "ProfessionID")
                q.addBindValue(i % 200);
            else if (types[c] == "DATETIME")
                q.addBindValue(QDate(1950 + i % 50, 1, 1).addDays((n == "Birthday" ? i : i * 7) % 365).toString(Qt::ISODate));
            else if (types[c] == "BOOLEAN")
                q.addBindValue(i % 2);
            else if (choices.contains(n))
                q.addBindValue(choices[n][i % choices[n].size()]);
            else if (n == "Name")
                q.addBindValue(padded(kFirst[i % kFirst.size()] + " Person" + QString::number(i), w));
            else if (n == "Profession")
                q.addBindValue(padded(QString("Profession %1").arg(i % 200), w));
            else if (n == "Company")
                q.addBindValue(companyOf(i, true));
            else if (n == "OfferedSolution")
                q.addBindValue(padded(QString("Solution %1").arg(i % 100), w));
            else if (n.startsWith("Email") || n == "Email")
                q.addBindValue(padded(QString("person%1@example.com").arg(i), w).replace(' ', '.'));
            else if (n == "HACity" || n == "BACity")
                q.addBindValue(padded(kCities[i % kCities.size()], w));
            else
                q.addBindValue(padded(QString("%1 %2").arg(n).arg(i), std::max(w, 1)));
        }
        if (!q.exec()) {
            std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
            return false;
        }
    }
    db.commit();
    return true;
}

bool fillSparse(QSqlDatabase& db, int count)
{
    const QStringList titles{"Dr.", "Miss", "Mr.", "Mrs.", "Ms.", "Prof."};
    QSqlQuery q(db);
    db.transaction();
    q.prepare("INSERT INTO People (CompanyID, Name, Title, Gender, PersonType, CustoemrImportance, Profession, "
              "Company, Email1, Mobile, HACity, HAState, HAStreet, Birthday, Breminder, Income, Industry, "
              "ProspectingMethod, JobTitle, Hobbies) VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 0; i < count; ++i) {
        q.addBindValue(kFirst[i % kFirst.size()] + " Person" + QString::number(i));
        q.addBindValue(titles[i % titles.size()]);
        q.addBindValue(i % 2 ? "Male" : "Female");
        q.addBindValue(i % 3 ? "Prospect" : "Customer");
        q.addBindValue(i % 3 == 0 ? "High" : "Low");
        q.addBindValue(QString("Profession %1").arg(i % 200));
        q.addBindValue(companyOf(i, false));
        q.addBindValue(QString("person%1@example.com").arg(i));
        q.addBindValue(QString("+47 %1").arg(40000000 + i));
        q.addBindValue(kCities[i % kCities.size()]);
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
            return false;
        }
    }
    db.commit();
    return true;
}

int fill(const QString& path, bool full, int count)
{
    if (!Schema::createDatabase(path))
        return 1;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(path);
        if (!db.open())
            return 1;
        QSqlQuery(db).exec("PRAGMA synchronous = OFF");
        ok = full ? fillFull(db, count) : fillSparse(db, count);
        QSqlQuery(db).exec("PRAGMA wal_checkpoint(TRUNCATE)");
        db.close();
    }
    QSqlDatabase::removeDatabase("fill");
    return ok ? 0 : 1;
}

// Another program writes: a separate connection changes one person and adds one.
void otherProgramWrites(const QString& path, int round)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec("PRAGMA busy_timeout = 5000");
        db.transaction();
        q.prepare("UPDATE People SET Mobile = ? WHERE PersonID = ?");
        q.addBindValue(QString("+47 9%1").arg(round));
        q.addBindValue(1000 + round * 7);
        q.exec();
        q.prepare("INSERT INTO People (CompanyID, Name) VALUES (1, ?)");
        q.addBindValue(QString("Zed Outsider %1").arg(round));
        q.exec();
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase("other");
}

// The measured program, in a process of its own so that start-up counts from process start
// and the peak memory is the program's alone.
int run(const QString& dir, bool full, qint64 launchedNs, int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    AppPaths::setExecutableDir(dir);
    Clock::setOverride([] { return kToday; });
    int messages = 0;
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        ++messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return MessageBox::Button::Ok;
    });
    Modal::setRunner([&](QDialog* d) {
        d->show(); // on the screen, without a nested event loop
        return int(QDialog::Accepted);
    });
    Program::setUpApplication();

    QElapsedTimer t;
    t.start();
    const double startCpu = cpuMs();
    FileCheck::setEnabled(false); // the window alone, without the check of the file beside it
    Program program;
    if (!program.start())
        return 1;
    program.mainForm->show();
    QCoreApplication::processEvents();
    const qint64 shown = wallNs();
    std::printf("start-up to shown main window, from process start: %.0f ms (in main: %.0f ms, processor %.0f ms)\n",
                (shown - launchedNs) / 1e6, ms(t), cpuMs() - startCpu);
    std::printf("peak memory after start-up: %.1f MB\n", peakKiB() / 1024.0);
    program.remindersForm->hide();

    TDataEntryForm* w = program.mainForm;
    Dataset* people = program.dataModule->PeopleCompanyDet;
    std::printf("people on file: %d\n", people->recordCount());
    auto* mobile = w->findChild<QLineEdit*>("Mobile");
    const int rounds = 20;
    double edit = 0, save = 0, saveCpu = 0, search = 0, move = 0, worstSearch = 0, worstMove = 0;
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
        worstSearch = std::max(worstSearch, ms(t));
        search += ms(t);
        t.restart();
        w->SpeedButton9Click();
        worstMove = std::max(worstMove, ms(t));
        move += ms(t);
    }
    // A search of 15 characters typed one by one: each keystroke searches the whole list again.
    w->People->Edit1->clear();
    QCoreApplication::processEvents();
    double typed = 0, worstTyped = 0;
    const QString name = "Maria Person123";
    std::vector<double> keystrokes;
    StallMeter stall;
    stall.start();
    for (QChar c : name) {
        t.restart();
        QTest::keyClick(w->People->Edit1, c.toLatin1());
        typed += ms(t);
        keystrokes.push_back(ms(t));
        worstTyped = std::max(worstTyped, ms(t));
        QCoreApplication::processEvents();
    }
    const double typedStall = stall.stop();
    const bool foundIt = people->value("Name").toString().startsWith(name);
    // Moves through the list as the navigator makes them, the event loop served between them.
    std::vector<double> moves;
    stall.start();
    for (int i = 0; i < rounds; ++i) {
        t.restart();
        if (i % 2)
            w->SpeedButton9Click();
        else
            w->SpeedButton8Click();
        moves.push_back(ms(t));
        QCoreApplication::processEvents();
    }
    const double moveStall = stall.stop();
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    // The first keystroke after another program wrote to the file.
    const QString path = dir + "/Vantrel.vt";
    const int outsideRounds = 5;
    double outside = 0, worstOutside = 0;
    for (int i = 0; i < outsideRounds; ++i) {
        otherProgramWrites(path, i);
        t.restart();
        QTest::keyClick(w->People->Edit1, Qt::Key_Backspace);
        outside += ms(t);
        worstOutside = std::max(worstOutside, ms(t));
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
    std::printf("search keystroke: %.2f ms (mean of %d), slowest %.2f ms\n", search / rounds, rounds, worstSearch);
    std::printf("search of %d characters typed: %.2f ms a keystroke, slowest %.2f ms, %.0f ms in all, %s\n",
                int(name.size()), typed / name.size(), worstTyped, typed, foundIt ? "found" : "NOT FOUND");
    std::printf("search keystroke while typing: median %.2f ms, longest stall %.1f ms (goal: under 20 ms)\n",
                median(keystrokes), typedStall);
    std::printf("next record: %.2f ms (mean of %d), slowest %.2f ms\n", move / rounds, rounds, worstMove);
    std::printf("move to the next or prior person: median %.2f ms, longest stall %.1f ms (goal: under 20 ms)\n",
                median(moves), moveStall);
    std::printf("first search keystroke after another program's write: %.2f ms (mean of %d), slowest %.2f ms\n",
                outside / outsideRounds, outsideRounds, worstOutside);

    // The filter window's "Filter": a selective criterion, and one that lists a third of everyone.
    w->BitBtn8Click();
    TFilters* f = program.filters;
    auto check = [&](const QString& box, bool on) { f->findChild<QCheckBox*>(box)->setChecked(on); };
    auto filterRun = [&](const char* what) {
        const int times = 3;
        double total = 0, first = 0, cpu = 0;
        for (int i = 0; i < times; ++i) {
            const double c = cpuMs();
            t.restart();
            f->BitBtn1Click();
            QCoreApplication::processEvents();
            (i == 0 ? first : total) += ms(t);
            cpu += cpuMs() - c;
        }
        std::printf("filter run, %s: %d results, first %.1f ms, then %.1f ms (mean of %d), processor %.1f ms a run\n",
                    what, f->StringGrid1->isVisible() ? f->StringGrid1->model()->rowCount() : 0, first, total / (times - 1),
                    times - 1, cpu / times);
    };
    check("CheckBoxCompany", true);
    f->findChild<QLineEdit*>("EditCompany")->setText(companyOf(17, full));
    filterRun("Company");
    check("CheckBoxCompany", false);
    check("CheckBoxType", true);
    f->findChild<QComboBox*>("ComboBoxType")->setCurrentIndex(0);
    filterRun("Type");
    f->hide();
    std::printf("peak memory at the end: %.1f MB\n", peakKiB() / 1024.0);
    std::printf("messages shown: %d\n", messages);
    MessageBox::setHandler({});
    Modal::setRunner({});
    Clock::setOverride({});
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && QByteArray(argv[1]) == "--fill") {
        QCoreApplication app(argc, argv);
        return fill(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]) == "full", QByteArray(argv[4]).toInt());
    }
    if (argc == 5 && QByteArray(argv[1]) == "--run")
        return run(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]) == "full", QByteArray(argv[4]).toLongLong(),
                   argc, argv);

    QCoreApplication app(argc, argv);
    const bool full = !(argc > 1 && QByteArray(argv[1]) == "sparse");
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : (full ? 100000 : 1000000);
    const QString kind = full ? "full" : "sparse";
    QTemporaryDir dir;
    const QString path = dir.path() + "/Vantrel.vt";
    const QString cacheDir = qEnvironmentVariable("VANTREL_BENCH_CACHE");
    const QString cached = cacheDir.isEmpty() ? QString() : QString("%1/%2-%3.vt").arg(cacheDir, kind).arg(count);
    QElapsedTimer fillTimer;
    fillTimer.start();
    if (cached.isEmpty() || !QFileInfo::exists(cached)) {
        const QString target = cached.isEmpty() ? path : cached;
        if (!cacheDir.isEmpty())
            QDir().mkpath(cacheDir);
        if (QProcess::execute(QCoreApplication::applicationFilePath(), {"--fill", target, kind, QString::number(count)}) != 0) {
            std::fprintf(stderr, "filling the database failed\n");
            QFile::remove(target);
            return 1;
        }
        std::printf("filled %d %s people in %.0f ms\n", count, qPrintable(kind), ms(fillTimer));
    }
    if (!cached.isEmpty() && !QFile::copy(cached, path)) {
        std::fprintf(stderr, "copying the filled file failed\n");
        return 1;
    }
    std::printf("%d people, every column filled near its width: %s; file %.0f MB\n", count, full ? "yes" : "no (sparse)",
                QFileInfo(path).size() / 1048576.0);
    std::fflush(stdout);
    // Filled by a separate process, and measured in another, so that start-up counts from the
    // moment the program's process starts.
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    const qint64 launched = wallNs();
    program.start(QCoreApplication::applicationFilePath(), {"--run", dir.path(), kind, QString::number(launched)});
    program.waitForFinished(-1);
    return program.exitCode();
}
