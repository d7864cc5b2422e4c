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

namespace {
const QStringList kFirst{"Anna", "Hans", "Jörg", "Maria", "Lars", "Eva", "Pierre", "Zoë", "Karin", "Ola", "Sofia",
                         "Jan", "Lena", "Tom", "Ines", "Paul", "Marta", "Ali", "Mia", "Felix"};

QString lastName(int i)
{
    static const QStringList stems{"Berg", "Müller", "Lindqvist", "Lefèvre", "Nordmann", "Strauß", "Novak", "Rossi",
                                   "Kowalski", "Hansen", "O'Brien", "García", "Dubois", "Janssen", "Horvath"};
    const int n = i / int(stems.size());
    return stems[i % stems.size()] + QString("-%1%2").arg(QChar(u'a' + n % 26)).arg(QChar(u'a' + (n / 26) % 26));
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
        for (int i = 0; i < count; ++i) {
            const int person0 = i % 50 == 49 ? i - 1 : i;
            const QString first = kFirst[person0 % kFirst.size()];
            const QString last = lastName(int((quint64(person0) * 2654435761u) % 10140));
            const bool twice = i % 50 == 49; // the same person as the one before, entered again
            const int person = twice ? i - 1 : i;
            const QString mobile = QString("%1 %2").arg(twice ? "+49 171" : "0171").arg(1000000 + person);
            QString name = first + ' ' + last;
            if (twice)
                name = QString(last + ", " + first).toLower().replace("ü", "ue");
            q.addBindValue(name);
            q.addBindValue(QString("Company %1").arg(person % 3000));
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
    QVector<Duplicates::Group> groups = Duplicates::find(c, 1);
    const double firstMs = ms(t);
    double total = 0;
    for (int run = 0; run < 3; ++run) {
        t.start();
        groups = Duplicates::find(c, 1);
        total += ms(t);
    }
    const double meanMs = total / 3;
    int people = 0;
    for (const auto& g : groups)
        people += int(g.people.size());

    QVector<QString> values(Duplicates::columns().size());
    values[0] = "berg, anna";
    values[4] = "+49 171 1000000";
    t.start();
    const Duplicates::Match m = Duplicates::bestMatch(c, 1, values);
    const double oneMs = ms(t);

    std::printf("people: %d, groups found: %d with %d people (planted: %d pairs)\n", count, int(groups.size()), people,
                count / 50);
    std::printf("find duplicates, first run:   %8.1f ms\n", firstMs);
    std::printf("find duplicates, mean of 3:   %8.1f ms\n", meanMs);
    std::printf("  anchor, plain read of the compared columns: %8.1f ms (%.1fx)\n", readMs, meanMs / readMs);
    std::printf("  anchor, the bound:                          %8.1f ms (%s)\n", 2000.0,
                meanMs < 2000 && firstMs < 2000 ? "met" : "NOT MET");
    std::printf("test of one new person on save: %6.1f ms (found PersonID %lld)\n", oneMs, qlonglong(m.id));
    std::printf("peak memory: %.1f MB\n", peakKiB() / 1024.0);
    return 0;
}
