// The CSV import at 100,000 people against the sqlite3 shell's own import of the same file into
// a table of the 35 columns followed by one INSERT ... SELECT into People. Our first import adds
// every person; the second, of the same file, finds every one on file already.
// Run: bench_import [people]   (needs the sqlite3 shell on the PATH)
#include "StallMeter.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "app/Program.h"
#include "data/FileCheck.h"
#include "app/TDataEntryForm.h"
#include "contacts/CsvImport.h"
#include "contacts/CsvReader.h"
#include "data/MainDataModule.h"
#include "data/PeopleBatch.h"
#include "data/Schema.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProgressDialog>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

long statusKiB(const char* key)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    return -1;
}

// Starts a new peak-memory measurement (Linux: resets VmHWM to the current size).
void resetPeak()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double mb(long kib) { return kib / 1024.0; }
double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

// Every field filled; one name in ten written "Last, First" in quotes, one in seven with accents.
bool writeCsv(const QString& path, int count)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(CsvImport::headerLine().toUtf8() + "\r\n");
    const QStringList first{"Anna", "Bob", "Carla", "David", "Eva", "Frank", "Grace", "Henry", "Irene", "John",
                            "Karin", "Leo", "Maria", "Nils", "Olga", "Peter", "Zoë", "Rosa", "Sven", "Élodie"};
    const QStringList last{"Berg", "Cole", "Dean", "Müller", "Novák", "Olsen", "Prieto", "Quist", "Ruiz", "Smith"};
    const QStringList titles{"Dr.", "Miss", "Mr.", "Mrs.", "Ms.", "Prof."};
    const QStringList cities{"Oslo", "Lyon", "Porto", "Graz", "Turku", "Ghent", "Brno", "Cork"};
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        const QString f1 = first[i % first.size()], l1 = last[(i / 20) % last.size()];
        const QString name = i % 10 == 0 ? "\"" + l1 + ", " + f1 + " " + QString::number(i) + "\""
                                         : f1 + " " + l1 + " " + QString::number(i);
        const QString n = QString::number(i);
        const QString city = cities[i % cities.size()];
        QStringList fields{titles[i % titles.size()], name, "Company " + QString::number(i % 5000),
                           "Profession " + QString::number(i % 200), "Buyer", n + " Main Street", city, "ST",
                           QString::number(10000 + i % 90000), "Norway", "PO " + n, n + " Harbour Road", city, "ST",
                           QString::number(20000 + i % 70000), "Norway", "PO B" + n,
                           "person" + n + "@example.com", "private" + n + "@example.org",
                           "+47 " + QString::number(40000000 + i), "+47 2" + n, "+47 3" + n, "+47 4" + n,
                           "+47 5" + n, "+47 6" + n, "+47 7" + n, "+47 8" + n, "+47 9" + n, "+47 1" + n,
                           "+47 0" + n, "TX" + n, "www.company" + QString::number(i % 5000) + ".example",
                           "Assistant " + n, "Manager " + n, "Sailing, chess"};
        fields.last() = "\"Sailing, chess\"";
        chunk += fields.join(',').toUtf8() + "\r\n";
        if (chunk.size() > 1 << 20) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
    return true;
}

bool makeDatabase(const QString& folder)
{
    QDir().mkpath(folder);
    QString error;
    if (!Schema::createDatabase(folder + "/Vantrel.vt", &error)) {
        std::fprintf(stderr, "cannot create a database: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

int countPeople(const QString& path)
{
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "count");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q("SELECT COUNT(*) FROM People", db);
            if (q.next())
                n = q.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("count");
    return n;
}

// The shell in one run: create the staging table, .import, INSERT ... SELECT.
double shellImport(const QString& folder, const QString& csv, int count)
{
    const QString shell = QStandardPaths::findExecutable("sqlite3");
    if (shell.isEmpty()) {
        std::fprintf(stderr, "the sqlite3 shell is not installed (scripts/install-deps.sh installs it)\n");
        return -1;
    }
    QStringList staged, columns;
    for (const QString& c : CsvImport::peopleColumns()) {
        staged << "\"" + c + "\" TEXT";
        columns << "\"" + c + "\"";
    }
    const QString script = "CREATE TABLE Import (" + staged.join(", ") + ");\n"
                           ".import --csv --skip 1 '" + csv + "' Import\n"
                           "INSERT INTO People (CompanyID, " + columns.join(", ") + ") SELECT 1, " + columns.join(", ") +
                           " FROM Import;\n";
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(shell, {"-bail", folder + "/Vantrel.vt"});
    p.write(script.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const double elapsed = ms(t);
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    const int added = countPeople(folder + "/Vantrel.vt");
    if (added != count)
        std::fprintf(stderr, "sqlite3 added %d people, not %d\n", added, count);
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString csv = dir.path() + "/people.csv";
    if (!writeCsv(csv, count))
        return 1;
    std::printf("CSV file: %d people, %.1f MB\n", count, QFileInfo(csv).size() / 1048576.0);

    {
        // The reader alone: decoding and splitting, no database.
        resetPeak();
        const long before = statusKiB("VmRSS:");
        QElapsedTimer t;
        t.start();
        CsvReader reader(csv);
        reader.setFieldLimit(35);
        reader.setLengthLimit(1024);
        CsvReader::Record r;
        int records = 0;
        if (reader.open())
            while (reader.read(r))
                ++records;
        std::printf("reading the file alone: %d records in %.0f ms; memory %.1f MB before, peak %.1f MB\n", records,
                    ms(t), mb(before), mb(statusKiB("VmHWM:")));
    }

    if (!makeDatabase(dir.path() + "/shell") || !makeDatabase(dir.path() + "/app"))
        return 1;
    const double shell = shellImport(dir.path() + "/shell", csv, count);
    if (shell < 0)
        return 1;
    std::printf("sqlite3 shell, .import and INSERT ... SELECT: %.0f ms\n", shell);

    AppPaths::setExecutableDir(dir.path() + "/app");
    QStringList messages;
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        messages << r.text;
        return MessageBox::Button::Ok;
    });
    FileDialog::setHandler([&](const FileDialog::Request&) { return csv; });
    Program::setUpApplication();
    FileCheck::setEnabled(false); // the window alone, without the check of the file beside it
    Program program;
    if (!program.start())
        return 1;
    program.mainForm->show();
    QCoreApplication::processEvents();

    double first = 0, second = 0;
    for (int round = 0; round < 2; ++round) {
        messages.clear();
        const long before = statusKiB("VmRSS:");
        resetPeak();
        QElapsedTimer t;
        StallMeter stall;
        stall.start();
        t.start();
        program.mainForm->SpeedButton14Click();
        const double elapsed = ms(t);
        const double longest = stall.stop();
        (round == 0 ? first : second) = elapsed;
        const long peak = statusKiB("VmHWM:"), after = statusKiB("VmRSS:");
        std::printf("%s import: %.0f ms (%.2f x the shell), longest stall %.0f ms; memory %.1f MB before, peak %.1f MB, "
                    "%.1f MB after (peak %.2f x after); said: %s\n",
                    round == 0 ? "first" : "second", elapsed, elapsed / shell, longest, mb(before), mb(peak), mb(after),
                    double(peak) / after, qPrintable(messages.join(" | ")));
    }
    std::printf("second import / first import: %.2f\n", second / first);
    {
        // One new person into the full list, the everyday case: the file is read at once, the
        // list is re-read, and the progress must be on the screen for that.
        const QString one = dir.path() + "/one.csv";
        QFile f(one);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(CsvImport::headerLine().toUtf8() + "\r\nMs.,One More Person\r\n");
        f.close();
        FileDialog::setHandler([&](const FileDialog::Request&) { return one; });
        QElapsedTimer t;
        double shownAfter = -1;
        CsvImport::setProgressObserver([&](QProgressDialog&) {
            if (shownAfter < 0)
                shownAfter = ms(t);
        });
        messages.clear();
        StallMeter stall;
        stall.start();
        t.start();
        program.mainForm->SpeedButton14Click();
        const double elapsed = ms(t);
        const double longest = stall.stop();
        CsvImport::setProgressObserver({});
        std::printf("one new person into the full list: %.0f ms, longest stall %.0f ms; progress on the screen after %s; said: %s\n",
                    elapsed, longest, shownAfter < 0 ? "never" : qPrintable(QString::number(shownAfter, 'f', 0) + " ms"),
                    qPrintable(messages.join(" | ")));
    }
    {
        // What the first import spends on showing the new people: one re-read of the person
        // dataset, the same that the import ends with.
        program.dataModule->MainADOConnection.noteWrite("People");
        QElapsedTimer t;
        t.start();
        program.dataModule->PeopleCompanyDet->refresh();
        std::printf("of which one re-read of the person dataset: about %.0f ms\n", ms(t));
    }
    {
        // The end of a batch alone (its commit, the suggestion lists and the list's re-read),
        // without the count of likely duplicates that an import's closing message makes.
        PeopleBatch batch(*program.dataModule, {"Name"});
        batch.begin();
        const QString name = "Batch Person %1";
        for (int i = 0; i < count; ++i) {
            const QString n = name.arg(i);
            batch.add({QStringView(n)});
        }
        StallMeter stall;
        stall.start();
        QElapsedTimer t;
        t.start();
        batch.finish();
        const double elapsed = ms(t);
        std::printf("end of a batch of %d people into a list of %d: %.0f ms, longest stall %.0f ms\n", count,
                    batch.startCount(), elapsed, stall.stop());
    }
    std::printf("people on file: %d\n", program.dataModule->PeopleCompanyDet->recordCount());
    MessageBox::setHandler({});
    FileDialog::setHandler({});
    return 0;
}
