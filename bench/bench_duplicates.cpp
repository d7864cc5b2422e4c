// Fills a database with 100,000 people (or as many as given) drawn from a few hundred first and
// last names, so that names repeat as in life, with one person in fifty entered twice in another
// spelling (case, word order, ue for ü, a mobile number with its country code), and measures the
// search for duplicates: the first run and the mean of three more, against two anchors, the time
// a plain read of the same columns takes (what no search can beat) and the bound of 2 s. Then the
// test made when one new person is saved. Run: bench_duplicates [people]
#include "PeakMemory.h"
#include "data/Connection.h"
#include "data/Duplicates.h"
#include "data/RowReader.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {
const QStringList kFirst{"Anna", "Hans", "Jörg", "Maria", "Lars", "Eva", "Pierre", "Zoë", "Karin", "Ola", "Sofia",
                         "Jan", "Lena", "Tom", "Ines", "Paul", "Marta", "Ali", "Mia", "Felix"};

// Last names of one word, a stem and a syllable: some 16,000 of them.
QString lastName(quint32 n)
{
    static const QStringList stems{"Berg", "Müller", "Lindqvist", "Lefèvre", "Nord", "Strauß", "Novak", "Ross",
                                   "Kowal", "Hansen", "O'Brien", "García", "Dubois", "Jans", "Horvath"};
    static const char consonants[] = "bdfgklmnprstvwz";
    static const char vowels[] = "aeiou";
    const quint32 s = n / 15;
    return stems[n % 15] + QChar(consonants[s % 15]) + QChar(vowels[(s / 15) % 5]) + QChar(consonants[(s / 75) % 15]);
}

bool fill(const QString& path, int count)
{
    if (!Schema::createDatabase(path))
        return false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(path);
        if (!db.open())
            return false;
        QSqlQuery q(db);
        db.transaction();
        q.prepare("INSERT INTO People (CompanyID, Name, Company, Email1, Mobile, PrimaryTel) VALUES (1, ?, ?, ?, ?, ?)");
        quint32 seed = 12345;
        auto next = [&seed] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };
        QString name, company;
        for (int i = 0; i < count; ++i) {
            const bool twice = i % 50 == 49; // the same person as the one before, entered again
            const int person = twice ? i - 1 : i;
            if (!twice) {
                name = kFirst[next() % kFirst.size()] + ' ' + lastName(next() % 16875);
                company = QString("Company %1").arg(next() % 3000);
            }
            const QString mobile = QString("%1 %2").arg(twice ? "+49 171" : "0171").arg(1000000 + person);
            if (twice) { // "berg, anna", "muellerbak, hans"
                const QStringList words = name.split(' ');
                name = QString(words[1] + ", " + words[0]).toLower().replace("ü", "ue");
            }
            q.addBindValue(name);
            q.addBindValue(company);
            q.addBindValue(twice ? QVariant() : QVariant(QString("person%1@example.com").arg(i)));
            q.addBindValue(mobile);
            q.addBindValue(QString("+47 22 %1").arg(100000 + person));
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
// The processor time of this process: on a machine shared with other work, what the search itself costs.
double cpuMs() { return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC; }
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QString(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString path = dir.path() + "/Vantrel.vt";
    std::printf("filling %d people...\n", count);
    if (!fill(path, count))
        return 1;
    Connection c("bench");
    c.setDatabasePath(path);
    c.open();

    // Anchor: reading the columns the search compares, and nothing else.
    QElapsedTimer t;
    t.start();
    {
        QStringList quoted;
        for (const QString& col : Duplicates::columns())
            quoted << Connection::quote(col);
        RowReader r(c, "SELECT \"PersonID\", " + quoted.join(", ") + " FROM \"People\" WHERE \"CompanyID\" IS 1", {});
        qint64 chars = 0;
        while (r.next())
            for (int i = 1; i <= Duplicates::columns().size(); ++i)
                chars += r.text(i).size();
        Q_UNUSED(chars);
    }
    const double readMs = ms(t);

    t.start();
    double cpu = cpuMs();
    QVector<Duplicates::Group> groups = Duplicates::find(c, 1);
    const double firstMs = ms(t), firstCpu = cpuMs() - cpu;
    double total = 0;
    cpu = cpuMs();
    for (int run = 0; run < 3; ++run) {
        t.start();
        groups = Duplicates::find(c, 1);
        total += ms(t);
    }
    const double meanMs = total / 3, meanCpu = (cpuMs() - cpu) / 3;
    int people = 0;
    for (const auto& g : groups)
        people += int(g.people.size());

    // The largest group, to see what brought it together.
    const Duplicates::Group* largest = nullptr;
    for (const auto& g : groups)
        if (!largest || g.people.size() > largest->people.size())
            largest = &g;
    if (largest)
        std::printf("largest group: %d people (%s): %s\n", int(largest->people.size()),
                    qPrintable(Duplicates::reasonsText(largest->reasons)), qPrintable(largest->names.mid(0, 6).join("; ")));

    QVector<QString> values(Duplicates::columns().size());
    values[0] = "hansen, eva"; // a new person like nobody in particular: every person is looked at
    values[4] = "+49 171 1000000";
    t.start();
    cpu = cpuMs();
    const Duplicates::Match m = Duplicates::bestMatch(c, 1, values);
    const double oneMs = ms(t), oneCpu = cpuMs() - cpu;

    std::printf("people: %d, groups found: %d with %d people (planted: %d pairs)\n", count, int(groups.size()), people,
                count / 50);
    std::printf("find duplicates, first run:   %8.1f ms (processor %8.1f ms)\n", firstMs, firstCpu);
    std::printf("find duplicates, mean of 3:   %8.1f ms (processor %8.1f ms)\n", meanMs, meanCpu);
    std::printf("  anchor, plain read of the compared columns: %8.1f ms (%.1fx)\n", readMs, meanMs / readMs);
    std::printf("  anchor, the bound:                          %8.1f ms (%s)\n", 2000.0,
                meanMs < 2000 && firstMs < 2000 ? "met" : "NOT MET");
    std::printf("test of one new person on save: %6.1f ms (processor %6.1f ms, found PersonID %lld)\n", oneMs, oneCpu,
                qlonglong(m.id));
    std::printf("peak memory: %.1f MB\n", peakKiB() / 1024.0);
    return 0;
}
