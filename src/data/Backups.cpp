#include "Backups.h"

#include "Connection.h"
#include "SqliteError.h"
#include "data/DataError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Flushes a file or a folder to the disk, so a rename that follows is not seen before the data.
void syncToDisk(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString describe(sqlite3* db, int rc, const QString& fileName)
{
    int code = db ? sqlite3_extended_errcode(db) : rc;
    if ((code & 0xff) != (rc & 0xff))
        code = rc;
    return SqliteError::describe(code, db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString(sqlite3_errstr(rc)),
                                 fileName);
}
} // namespace

namespace Backups {
namespace {
std::function<QDateTime()>& clock()
{
    static std::function<QDateTime()> c;
    return c;
}

const QRegularExpression& copyName()
{
    static const QRegularExpression named(R"(^Vantrel-(\d{4})-(\d{2})-(\d{2})(?:-(\d{2})(\d{2})(\d{2})-before-restore)?\.vt$)");
    return named;
}

sqlite3* openReadOnly(const QString& path)
{
    sqlite3* db = nullptr;
    // Read as it is: no journal of its own, no lock a copy could leave behind.
    const QByteArray uri = "file:" + QUrl::toPercentEncoding(path, "/") + "?mode=ro&immutable=1";
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

int countPeople(const QString& path)
{
    sqlite3* db = openReadOnly(path);
    if (!db)
        return -1;
    sqlite3_stmt* s = nullptr;
    int n = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM \"People\"", -1, &s, nullptr) == SQLITE_OK
        && sqlite3_step(s) == SQLITE_ROW)
        n = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return n;
}
} // namespace

QString folder(const QString& databasePath) { return QFileInfo(databasePath).absolutePath() + "/backups"; }
QString dailyName(const QDate& day) { return "Vantrel-" + day.toString("yyyy-MM-dd") + ".vt"; }
QString beforeRestoreName(const QDateTime& localTime)
{
    return "Vantrel-" + localTime.toString("yyyy-MM-dd-HHmmss") + "-before-restore.vt";
}

QDateTime now() { return clock() ? clock()() : QDateTime::currentDateTime(); }
void setClock(std::function<QDateTime()> c) { ::Backups::clock() = std::move(c); }

QVector<Copy> list(const QString& databasePath, bool withPeople)
{
    QVector<Copy> out;
    const QDir dir(folder(databasePath));
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files, QDir::Name)) {
        const auto m = copyName().match(file.fileName());
        if (!m.hasMatch())
            continue;
        Copy c;
        c.path = file.absoluteFilePath();
        c.day = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!c.day.isValid())
            continue;
        c.beforeRestore = !m.captured(4).isEmpty();
        c.made = c.beforeRestore
                     ? QDateTime(c.day, QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()))
                     : file.lastModified();
        c.size = file.size();
        if (withPeople)
            c.people = countPeople(c.path);
        out << c;
    }
    std::sort(out.begin(), out.end(), [](const Copy& a, const Copy& b) {
        return a.day != b.day ? a.day > b.day : a.made > b.made;
    });
    return out;
}

QList<QDate> kept(QList<QDate> days)
{
    std::sort(days.begin(), days.end(), std::greater<QDate>());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    QList<QDate> keep = days.mid(0, kDaily);
    QList<QDate> weeks;
    for (qsizetype i = kDaily; i < days.size() && weeks.size() < kWeekly; ++i) {
        const QDate monday = days[i].addDays(1 - days[i].dayOfWeek());
        if (weeks.contains(monday))
            continue;
        weeks << monday;
        keep << days[i];
    }
    return keep;
}

int rotate(const QString& databasePath)
{
    const QDir dir(folder(databasePath));
    // Pieces of copies that never finished (the program was killed while making one).
    for (const QString& piece : dir.entryList({"Vantrel-*.vt.part", "Vantrel-*.vt.part-*"}, QDir::Files))
        QFile::remove(dir.filePath(piece));
    QList<QDate> days;
    const QVector<Copy> copies = list(databasePath, false);
    for (const Copy& c : copies)
        if (!c.beforeRestore)
            days << c.day;
    const QList<QDate> keep = kept(days);
    int dropped = 0;
    for (const Copy& c : copies)
        if (!c.beforeRestore && !keep.contains(c.day) && QFile::remove(c.path))
            ++dropped;
    return dropped;
}

QString quickCheck(sqlite3* db)
{
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &s, nullptr);
    QStringList found;
    while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW)
        found << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE && found.isEmpty())
        found << QString::fromUtf8(sqlite3_errmsg(db));
    return found.join('\n');
}

void restore(Connection& c, const QString& backupPath, const QString& keptAs)
{
    const QString name = QFileInfo(backupPath).fileName();
    sqlite3* source = openReadOnly(backupPath);
    if (!source)
        throw DataError(QString("The backup %1 cannot be opened. Nothing was changed.").arg(name));
    struct Closer {
        sqlite3* db;
        ~Closer() { sqlite3_close(db); }
    } closer{source};
    const QString check = quickCheck(source);
    if (check != "ok")
        throw DataError(QString("The backup %1 is damaged (%2). Nothing was changed; choose another backup.")
                            .arg(name, check.section('\n', 0, 0)));
    if (countPeople(backupPath) < 0)
        throw DataError(QString("%1 is not a backup of Vantrel's data. Nothing was changed.").arg(name));
    if (c.transactionDepth() > 0 || !c.handle())
        throw DataError("The database is busy with another change. Nothing was changed; try again.");
    BackupJob keep(c, keptAs);
    if (!keep.runToEnd())
        throw DataError(QString("%1 as it is now could not be kept as a copy of its own: %2 Nothing was changed.")
                            .arg(c.fileName(), keep.error()));
    // One transaction of the database itself: other programs, and a crash, see all of it or none.
    sqlite3_backup* b = sqlite3_backup_init(c.handle(), "main", source, "main");
    if (!b)
        throw DataError(QString("The backup could not be put in place: %1 Nothing was changed.")
                            .arg(describe(c.handle(), sqlite3_errcode(c.handle()), c.fileName())));
    const int rc = sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        throw DataError(QString("The backup could not be put in place: %1 Nothing was changed.")
                            .arg(describe(nullptr, rc, c.fileName())));
    c.forgetColumns();
    c.checkpoint();
}
} // namespace Backups

// ---- one copy in steps -------------------------------------------------------------------------

BackupJob::BackupJob(Connection& source, QString target, QObject* parent)
    : QObject(parent), m_source(source), m_target(std::move(target)), m_part(m_target + ".part")
{
}

BackupJob::~BackupJob() { drop(); }

bool BackupJob::begin()
{
    const QString dir = QFileInfo(m_target).absolutePath();
    const QString name = QFileInfo(m_target).fileName();
    if (!QDir().mkpath(dir) || !QFileInfo(dir).isDir()) {
        fail(QString("The folder %1 cannot be made.").arg(QDir::toNativeSeparators(dir)));
        return false;
    }
    for (const char* piece : {"", "-journal", "-wal", "-shm"})
        QFile::remove(m_part + piece);
    int rc = sqlite3_open_v2(QFile::encodeName(m_part).constData(), &m_dest,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(m_dest, "PRAGMA journal_mode = OFF", nullptr, nullptr, nullptr); // a new file, thrown away on failure
    if (rc == SQLITE_OK && !(m_backup = sqlite3_backup_init(m_dest, "main", m_source.handle(), "main")))
        rc = sqlite3_errcode(m_dest);
    if (rc != SQLITE_OK) {
        fail(describe(m_dest, rc, name));
        return false;
    }
    return true;
}

void BackupJob::start()
{
    if (m_backup || m_done || !begin())
        return;
    m_timer = new QTimer(this);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (!step())
            m_timer->stop();
    });
    m_timer->start();
}

bool BackupJob::runToEnd()
{
    if (!m_backup && !m_done && !begin())
        return false;
    // Another program's lock is waited for a few seconds, as any statement waits for one.
    for (int waits = 0; m_backup; ) {
        if (sqlite3_get_autocommit(m_source.handle()) == 0 || waits > 250) {
            fail(SqliteError::describe(SQLITE_BUSY, {}, m_source.fileName()));
            return false;
        }
        m_busy = false;
        step();
        if (m_busy) {
            sqlite3_sleep(20);
            ++waits;
        }
    }
    return m_done;
}

bool BackupJob::step()
{
    if (!m_backup)
        return false;
    // What a transaction of this program has not committed yet is never copied: wait for it.
    if (sqlite3_get_autocommit(m_source.handle()) == 0) {
        if (m_timer)
            m_timer->setInterval(50);
        return true;
    }
    QElapsedTimer took;
    took.start();
    int rc;
    do {
        rc = sqlite3_backup_step(m_backup, 16);
    } while (rc == SQLITE_OK && took.elapsed() < kStepMs);
    m_total = sqlite3_backup_pagecount(m_backup);
    m_left = sqlite3_backup_remaining(m_backup);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        m_busy = true;
        if (m_timer)
            m_timer->setInterval(50); // another program writes: again in a moment
        return true;
    }
    if (m_timer)
        m_timer->setInterval(0);
    if (rc == SQLITE_OK) {
        emit progress(m_left, m_total);
        return true;
    }
    if (rc != SQLITE_DONE) {
        fail(describe(m_dest, rc, QFileInfo(m_target).fileName()));
        return false;
    }
    emit progress(0, m_total);
    if (m_timer) {
        // The source is no longer read; the check of the copy must not hold the window.
        sqlite3_backup_finish(m_backup);
        m_backup = nullptr;
        m_sealing = std::thread([this] {
            const QString why = seal();
            QMetaObject::invokeMethod(this, [this, why] { sealed(why); }, Qt::QueuedConnection);
        });
        return false;
    }
    if (complete()) {
        m_done = true;
        emit finished(true, {});
    }
    return false;
}

bool BackupJob::complete()
{
    sqlite3_backup_finish(m_backup);
    m_backup = nullptr;
    const QString why = seal();
    if (!why.isEmpty()) {
        fail(why);
        return false;
    }
    return true;
}

void BackupJob::sealed(const QString& why)
{
    if (m_sealing.joinable())
        m_sealing.join();
    if (!why.isEmpty()) {
        fail(why);
        return;
    }
    m_done = true;
    emit finished(true, {});
}

QString BackupJob::seal()
{
    const QString name = QFileInfo(m_target).fileName();
    // The copy opens on its own: one file, no journal beside it.
    int rc = sqlite3_exec(m_dest, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return describe(m_dest, rc, name);
    const QString check = Backups::quickCheck(m_dest);
    if (check != "ok")
        return QString("The copy %1 did not pass its check (%2): the database may be damaged.")
            .arg(name, check.section('\n', 0, 0));
    {
        std::lock_guard<std::mutex> guard(m_destLock);
        rc = sqlite3_close(m_dest);
        m_dest = nullptr;
    }
    if (rc != SQLITE_OK)
        return describe(nullptr, rc, name);
    syncToDisk(m_part);
    if (::rename(QFile::encodeName(m_part).constData(), QFile::encodeName(m_target).constData()) != 0)
        return QString("The copy could not be named %1.").arg(name);
    syncToDisk(QFileInfo(m_target).absolutePath());
    return {};
}

void BackupJob::fail(const QString& why)
{
    drop();
    m_error = why;
    emit finished(false, why);
}

void BackupJob::drop()
{
    if (m_timer)
        m_timer->stop();
    if (m_sealing.joinable()) {
        {
            std::lock_guard<std::mutex> guard(m_destLock);
            if (m_dest)
                sqlite3_interrupt(m_dest); // a check being made is stopped, not waited for
        }
        m_sealing.join();
        // A copy that was whole and named before the interruption stays; anything else goes.
        m_done = m_done || (QFileInfo::exists(m_target) && !QFileInfo::exists(m_part));
    }
    if (m_backup)
        sqlite3_backup_finish(m_backup);
    m_backup = nullptr;
    if (m_dest)
        sqlite3_close(m_dest);
    m_dest = nullptr;
    if (!m_done)
        for (const char* piece : {"", "-journal", "-wal", "-shm"})
            QFile::remove(m_part + piece);
}
