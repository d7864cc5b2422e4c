// Many copies of the program on one team database at once: each copy is a process of its own
// with the program's data module on a Vantrel.connection, reaching a throwaway server through a
// link of its own on loopback (DelayProxy, 0 ms unless asked). For a time, every copy searches
// people by name, edits and saves one column of a person from a small set that every copy
// shares (so that saves collide and the question about another user's change comes, answered
// each way in turn), and now and then imports a small CSV file. One more copy only watches its
// list and notes when each change shows in it.
//
// At the end the server is asked what it holds, and every save is checked against it: a change
// reported stored is on file or was overwritten by a later save in the history, and a value
// overwritten that its writer had not read went with the question.
//
// Run: bench_load [copies] [seconds] [most operations per copy] [people] [round trip ms]
// Defaults: 16 copies, 60 s, 100,000 operations, 5,000 people, 0 ms.
#include "DelayProxy.h"
#include "LoadCheck.h"
#include "LoadLog.h"
#include "support/PgCluster.h"
#include "contacts/CsvImport.h"
#include "data/DataError.h"
#include "data/MainDataModule.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "storage/pg/PgStore.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace {

const QStringList kFirstNames = {"Anna", "Bob",  "Carla", "David", "Eva",  "Frank", "Grace", "Henry", "Irene", "John",
                                 "Karin", "Leo", "Maria", "Nils",  "Olga", "Peter", "Quinn", "Rosa",  "Sven",  "Tina"};
// The columns the saves change: two, so that saves of one person by two copies collide only
// when they change the same column.
const QStringList kColumns = {"Hobbies", "JobTitle"};
const QString kInitial[] = {"Sailing", "Buyer"}; // what the fill puts there
const int kImportLines = 20;
const int kSettleMs = 8000; // the watcher looks on this long after the others stopped: a save may wait out the lock timeout

qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }

// People as the server itself makes them, as if restored: the change log's triggers are for
// the program's own writes.
QString fillSql(int count)
{
    return QString("INSERT INTO \"People\" (\"CompanyID\", \"Name\", \"Title\", \"Gender\", \"PersonType\", "
                   "\"Company\", \"Email1\", \"HACity\", \"JobTitle\", \"Hobbies\") "
                   "SELECT 1, (ARRAY['%2'])[i % 20 + 1] || ' Person' || i, 'Ms.', 'Female', 'Prospect', "
                   "'Company ' || (i % 500), 'person' || i || '@example.com', 'OSLO', 'Buyer', 'Sailing' "
                   "FROM generate_series(0, %1) AS i")
        .arg(count - 1)
        .arg(kFirstNames.join("','"));
}

// Waits on the event loop, so that word of others' writes is taken in meanwhile.
void idle(int ms)
{
    if (ms <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---- one copy --------------------------------------------------------------------------------

struct CopySetup {
    int copy = 0; // 0: the watcher
    QString dir, database, user;
    QByteArray socket;
    int maxOps = 0, people = 0, delay = 0;
    QList<qint64> shared;
};

// The shared people's values of the changed columns as this copy's list shows them; a token of
// another copy is noted the first time it shows.
class Sightings {
public:
    Sightings(Dataset* people, const CopySetup& s, LoadLog::Writer& log) : m_people(people), m_setup(s), m_log(log) {}

    // logged: the list has just taken in others' writes by itself; otherwise a command of this
    // copy read them, and they are only remembered.
    void look(bool logged)
    {
        if (!m_people->isActive())
            return;
        const qint64 when = now();
        const std::vector<int> rows = rowsOfShared();
        m_people->prefetchRows(rows);
        for (int row : rows) {
            for (const QString& column : kColumns) {
                const QString v = m_people->valueAt(row, m_people->columnIndex(column)).toString();
                if (!LoadLog::isToken(v) || LoadLog::tokenCopy(v) == m_setup.copy || m_seen.contains(v))
                    continue;
                m_seen.insert(v);
                if (logged)
                    m_log.line({"SEEN", v, QString::number(when)});
            }
        }
    }
    void final()
    {
        const std::vector<int> rows = rowsOfShared();
        for (int row : rows) {
            const QString id = m_people->valueAt(row, m_people->columnIndex("PersonID")).toString();
            for (const QString& column : kColumns)
                m_log.line({"FINAL", id, column, m_people->valueAt(row, m_people->columnIndex(column)).toString()});
        }
    }

private:
    // The identities are held in memory: finding the rows reads nothing from the server.
    std::vector<int> rowsOfShared()
    {
        const int id = m_people->columnIndex("PersonID");
        bool valid = m_people->recordCount() == m_count;
        for (auto it = m_rows.cbegin(); valid && it != m_rows.cend(); ++it)
            valid = m_people->valueAt(it.value(), id).toLongLong() == it.key();
        if (!valid) {
            m_rows.clear();
            m_count = m_people->recordCount();
            for (int row = 0; row < m_count; ++row) {
                const qint64 key = m_people->valueAt(row, id).toLongLong();
                if (m_setup.shared.contains(key))
                    m_rows.insert(key, row);
            }
        }
        std::vector<int> rows;
        for (qint64 key : m_setup.shared)
            if (m_rows.contains(key))
                rows.push_back(m_rows.value(key));
        return rows;
    }

    Dataset* m_people;
    const CopySetup& m_setup;
    LoadLog::Writer& m_log;
    QHash<qint64, int> m_rows;
    int m_count = -1;
    QSet<QString> m_seen;
};

bool writeImportFile(const QString& path, const QString& prefix)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray text = CsvImport::headerLine().toUtf8() + "\r\n";
    for (int i = 0; i < kImportLines; ++i)
        text += QString("Mr.,%1p%2,Company Load,Profession Load\r\n").arg(prefix).arg(i).toUtf8();
    return f.write(text) == text.size();
}

int runCopy(const CopySetup& s)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "bench_load";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    DelayProxy proxy(s.socket, s.delay);
    if (proxy.port() == 0) {
        std::fprintf(stderr, "copy %d: the link cannot listen\n", s.copy);
        return 1;
    }
    QFile connection(s.dir + "/Vantrel.connection");
    if (!connection.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || connection.write(QString("host=127.0.0.1 port=%1 dbname=%2 user=%3\n").arg(proxy.port()).arg(s.database, s.user).toUtf8())
               < 0)
        return 1;
    connection.close();
    AppPaths::setExecutableDir(s.dir);
    LoadLog::Writer log(s.dir + "/log.txt");
    if (!log.ok())
        return 1;

    // The question about another user's change, answered in turn: save over theirs; go on
    // editing and discard; go on editing and save once more.
    int asked = 0;
    QStringList answers;
    bool again = false;
    QStringList said; // everything else the program said
    MessageBox::setHandler([&](const MessageBox::Request& r) {
        if (r.text.contains("was changed by")) {
            static const char* kPlan[] = {"yes", "no-discard", "no-again"};
            const QString answer = kPlan[asked++ % 3];
            answers << answer;
            again = answer == "no-again";
            return answer == "yes" ? MessageBox::Button::Yes : MessageBox::Button::No;
        }
        if (r.text.contains("was deleted by another user")) {
            answers << "no-discard";
            again = false;
            return MessageBox::Button::No;
        }
        said << r.text;
        return r.defaultButton == MessageBox::Button::None ? r.buttons.value(0) : r.defaultButton;
    });
    QString importPath;
    FileDialog::setHandler([&](const FileDialog::Request&) { return importPath; });
    CsvImport::setProgressDelay(1000000); // no progress window: nobody looks at it

    TMainDataModule data;
    const qint64 opening = now();
    try {
        const AppPaths::Target target = AppPaths::target();
        if (target.kind != AppPaths::Target::Kind::Server || !target.error.isEmpty())
            throw DataError("Vantrel.connection names no server: " + target.error);
        data.MainADOConnection.openServer(target.connectionString);
        data.SetDatasetsActive(true);
    } catch (const DataError& e) {
        std::fprintf(stderr, "copy %d cannot open: %s\n", s.copy, qPrintable(e.text()));
        return 2;
    }
    Dataset* people = data.PeopleCompanyDet;
    Dataset* companies = data.CompaniesTable;
    std::printf("READY\t%lld\t%d\n", now() - opening, people->recordCount());
    std::fflush(stdout);

    // Every copy begins and ends at the times the benchmark gives.
    char line[200] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return 3;
    const QList<QByteArray> go = QByteArray(line).trimmed().split(' ');
    if (go.size() != 3 || go[0] != "GO")
        return 3;
    const qint64 start = go[1].toLongLong(), end = go[2].toLongLong() + (s.copy == 0 ? kSettleMs : 0);
    Sightings sightings(people, s, log);
    bool busy = true;
    QObject::connect(people, &Dataset::changed, [&] {
        if (!busy)
            sightings.look(true);
    });
    sightings.look(false);
    idle(int(std::max<qint64>(0, start - now())));

    if (s.copy == 0) { // the watcher only looks
        busy = false;
        while (now() < end)
            idle(int(std::min<qint64>(200, end - now())));
        busy = true;
        sightings.final();
        log.line({"DONE", "0"});
        return 0;
    }

    std::mt19937 random(quint32(s.copy * 7919 + 17));
    auto pick = [&](int n) { return int(random() % quint32(n)); };
    int ops = 0, saves = 0, imports = 0;
    while (ops < s.maxOps && now() < end) {
        sightings.look(false); // what this copy's own commands read is not the list catching up
        busy = false;
        idle(5 + pick(20)); // between two commands of the user
        busy = true;
        if (now() >= end)
            break;
        ++ops;
        const int what = pick(100);
        if (what < 2 && imports < 10) {
            const QString prefix = QString("Load c%1 i%2 ").arg(s.copy, 2, 10, QChar('0')).arg(++imports);
            importPath = s.dir + "/import.csv";
            if (!writeImportFile(importPath, prefix))
                return 1;
            said.clear();
            const qint64 t0 = now();
            CsvImport::run(nullptr, data);
            const qint64 t1 = now();
            const QRegularExpressionMatch m = QRegularExpression("(\\d+) record\\(s\\) added").match(said.join(' '));
            log.line({"IMPORT", prefix, QString::number(kImportLines), m.hasMatch() ? m.captured(1) : QString("-1"),
                      QString::number(t1 - t0), said.join(" | ")});
        } else if (what < 50) {
            const int i = pick(s.people);
            const QString full = kFirstNames[i % 20] + " Person" + QString::number(i);
            const QString text = full.left(4 + pick(int(full.size()) - 3)).toLower();
            const qint64 rounds = PgStore::roundTrips();
            const qint64 t0 = now();
            bool found = false;
            try {
                // As the name box does at each keystroke.
                companies->first();
                found = people->locateLowest({"CompanyID", "Name"}, {companies->value("CompanyID").toInt(), text},
                                             LocateOptions{true, true}, "Name");
                people->refresh();
            } catch (const DataError& e) {
                said << e.text();
            }
            const bool right = found && people->value("Name").toString().startsWith(text, Qt::CaseInsensitive);
            log.line({"SEARCH", text, right ? "1" : "0", QString::number(now() - t0),
                      QString::number(PgStore::roundTrips() - rounds)});
        } else {
            const qint64 person = s.shared[pick(int(s.shared.size()))];
            const QString column = kColumns[pick(int(kColumns.size()))];
            QString read, wrote, outcome, message;
            qint64 postStart = now(), rounds = 0;
            answers.clear();
            try {
                if (!people->locate({"PersonID"}, {person}))
                    throw DataError(QString("person %1 is not in the list").arg(person));
                people->edit();
                read = people->value(column).toString();
                wrote = LoadLog::token(s.copy, ++saves, now());
                people->setValue(column, wrote);
                busy = false;
                idle(pick(30)); // the user types
                busy = true;
                postStart = now();
                rounds = PgStore::roundTrips();
                for (int attempt = 0;; ++attempt) {
                    try {
                        people->post();
                        outcome = "stored";
                        break;
                    } catch (const Declined&) {
                        if (again && attempt < 5)
                            continue; // Save once more, over theirs knowingly
                        people->cancel();
                        outcome = "theirs";
                        break;
                    }
                }
            } catch (const Abort&) {
                outcome = "failed";
                message = "the save was refused: " + said.join(" | ");
            } catch (const DataError& e) {
                outcome = "failed";
                message = e.text();
            }
            const qint64 postEnd = now();
            rounds = PgStore::roundTrips() - rounds;
            if (people->isEditing()) {
                try {
                    people->cancel();
                } catch (const DataError&) {
                }
            }
            log.line({"SAVE", QString::number(person), column, read, wrote, outcome, answers.join(','),
                      QString::number(postStart), QString::number(postEnd), QString::number(postEnd - postStart),
                      QString::number(rounds), message});
        }
    }
    log.line({"DONE", QString::number(ops)});
    MessageBox::setHandler({});
    FileDialog::setHandler({});
    return 0;
}

// ---- the benchmark ---------------------------------------------------------------------------

int runBenchmark(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto argument = [&](int i, int otherwise) { return argc > i ? std::max(0, QByteArray(argv[i]).toInt()) : otherwise; };
    const int copies = std::max(1, argument(1, 16));
    const int seconds = std::max(1, argument(2, 60));
    const int maxOps = std::max(1, argument(3, 100000));
    const int count = std::max(100, argument(4, 5000));
    const int delay = argument(5, 0);
    const int sharedCount = 8;

    PgCluster& cluster = PgCluster::instance();
    const QString database = "vantrel_load";
    cluster.admin("CREATE DATABASE " + database + " TEMPLATE vantrel_template");
    cluster.admin("SET session_replication_role = replica; " + fillSql(count), database);
    cluster.admin("VACUUM ANALYZE", database);
    PgStore server;
    server.open(cluster.connection(database));
    LoadCheck::Run run;
    run.copies = copies;
    run.roundTripMs = delay;
    run.columns = kColumns;
    run.initial = {kInitial[0], kInitial[1]};
    {
        storage::Prepared q(server, QString("SELECT \"PersonID\" FROM \"People\" ORDER BY \"PersonID\" LIMIT %1").arg(sharedCount).toUtf8());
        while (q->step())
            run.shared << q->integer(0);
    }
    QStringList shared;
    for (qint64 id : run.shared)
        shared << QString::number(id);
    std::printf("%d people on the server; %d copies share people %s\n", count, copies, qPrintable(shared.join(',')));
    std::fflush(stdout);

    // Each copy in a folder of its own, as the program's folder beside its Vantrel.connection,
    // with a login of its own, as every salesperson has.
    QTemporaryDir dirs;
    const QString socket = cluster.socketDir() + "/.s.PGSQL.5432";
    std::vector<std::unique_ptr<QProcess>> procs;
    std::vector<QElapsedTimer> started(size_t(copies) + 1);
    for (int copy = 0; copy <= copies; ++copy) {
        const QString dir = dirs.path() + QString("/copy%1").arg(copy, 2, 10, QChar('0'));
        QDir().mkpath(dir);
        QFile marker(dir + "/Vantrel.vt");
        marker.open(QIODevice::WriteOnly);
        marker.close();
        const QString user = cluster.member(copy == 0 ? QString("vantrel_watch")
                                                      : QString("vantrel_load%1").arg(copy, 2, 10, QChar('0')));
        run.logs << dir + "/log.txt";
        run.users << user;
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::SeparateChannels);
        p->setStandardErrorFile(dir + "/stderr.txt"); // never a full pipe that stops a copy
        p->start(QCoreApplication::applicationFilePath(),
                 {"--copy", QString::number(copy), dir, socket, database, user, QString::number(maxOps),
                  QString::number(count), QString::number(delay), shared.join(',')});
        started[size_t(copy)].start();
        procs.push_back(std::move(p));
    }
    auto stderrOf = [&](int copy) {
        QFile f(QFileInfo(run.logs[copy]).absolutePath() + "/stderr.txt");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    };
    // Every copy opens before any begins to work: the minute is one of all of them at once.
    std::vector<bool> ready(procs.size(), false);
    QElapsedTimer waiting;
    waiting.start();
    for (size_t i = 0; i < procs.size(); ++i) {
        QProcess& p = *procs[i];
        while (!p.canReadLine() && p.state() != QProcess::NotRunning && waiting.elapsed() < 600000)
            p.waitForReadyRead(1000);
        const QList<QByteArray> l = p.readLine().trimmed().split('\t');
        ready[i] = l.size() == 3 && l[0] == "READY";
        if (!ready[i]) {
            run.faults << QString("copy %1 did not open: %2").arg(i).arg(stderrOf(int(i)).left(500));
            continue;
        }
        if (i > 0)
            run.startups.push_back(l[1].toLongLong());
    }
    run.start = now() + 500;
    run.end = run.start + qint64(seconds) * 1000;
    run.watchedUntil = run.end + kSettleMs;
    struct rusage before {};
    getrusage(RUSAGE_CHILDREN, &before);
    for (size_t i = 0; i < procs.size(); ++i) {
        procs[i]->write(QString("GO %1 %2\n").arg(run.start).arg(run.end).toUtf8());
        procs[i]->closeWriteChannel();
    }
    std::printf("working from %s for %d s\n", qPrintable(QDateTime::fromMSecsSinceEpoch(run.start).toString("hh:mm:ss")), seconds);
    std::fflush(stdout);

    // A copy still at work a minute after the end hangs.
    const qint64 giveUp = run.watchedUntil + 60000;
    for (;;) {
        bool running = false;
        for (auto& p : procs)
            running = running || p->state() != QProcess::NotRunning;
        if (!running || now() > giveUp)
            break;
        idle(200);
    }
    QFile loadAverage("/proc/loadavg");
    if (loadAverage.open(QIODevice::ReadOnly))
        run.load = "load average " + QString::fromLatin1(loadAverage.readAll()).section(' ', 0, 2);
    for (size_t i = 0; i < procs.size(); ++i) {
        QProcess& p = *procs[i];
        if (p.state() != QProcess::NotRunning) {
            run.faults << QString("HANG: copy %1 still runs a minute after the end; stopped").arg(i);
            p.kill();
            p.waitForFinished(5000);
        } else if (p.exitStatus() == QProcess::CrashExit || p.exitCode() != 0) {
            run.faults << QString("CRASH: copy %1 ended with %2 (exit code %3): %4")
                              .arg(i)
                              .arg(p.exitStatus() == QProcess::CrashExit ? "a crash" : "an error")
                              .arg(p.exitCode())
                              .arg(stderrOf(int(i)).right(800));
        }
    }
    struct rusage after {};
    getrusage(RUSAGE_CHILDREN, &after);
    auto cpu = [](const struct rusage& r) {
        return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    run.cpuSeconds = cpu(after) - cpu(before);
    // VANTREL_LOAD_KEEP=folder: the copies' logs are copied there.
    const QString keep = qEnvironmentVariable("VANTREL_LOAD_KEEP");
    if (!keep.isEmpty()) {
        QDir().mkpath(keep);
        for (int copy = 0; copy <= copies; ++copy) {
            const QString name = QString("%1/copy%2").arg(keep).arg(copy, 2, 10, QChar('0'));
            QFile::remove(name + ".log");
            QFile::remove(name + ".stderr");
            QFile::copy(run.logs[copy], name + ".log");
            QFile::copy(QFileInfo(run.logs[copy]).absolutePath() + "/stderr.txt", name + ".stderr");
        }
    }
    const int faults = LoadCheck::report(run, server);
    server.close();
    return faults == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 11 && QByteArray(argv[1]) == "--copy") {
        CopySetup s;
        s.copy = QByteArray(argv[2]).toInt();
        s.dir = QString::fromLocal8Bit(argv[3]);
        s.socket = argv[4];
        s.database = QString::fromLocal8Bit(argv[5]);
        s.user = QString::fromLocal8Bit(argv[6]);
        s.maxOps = QByteArray(argv[7]).toInt();
        s.people = QByteArray(argv[8]).toInt();
        s.delay = QByteArray(argv[9]).toInt();
        for (const QByteArray& id : QByteArray(argv[10]).split(','))
            s.shared << id.toLongLong();
        return runCopy(s);
    }
    return runBenchmark(argc, argv);
}
