#include "SqliteCopy.h"

#include "SqliteFailure.h"
#include "SqliteStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QUrl>

#include <sqlite3.h>

namespace {
// Read as it is: no journal of its own, no lock a copy could leave behind.
sqlite3* openImmutable(const QString& path)
{
    sqlite3* db = nullptr;
    const QByteArray uri = "file:" + QUrl::toPercentEncoding(path, "/") + "?mode=ro&immutable=1";
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
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

struct Closer {
    sqlite3* db;
    ~Closer() { sqlite3_close(db); }
};
} // namespace

SqliteCopy::~SqliteCopy()
{
    endCopy();
    std::lock_guard<std::mutex> guard(m_destLock);
    if (m_dest)
        sqlite3_close(m_dest);
    m_dest = nullptr;
}

void SqliteCopy::begin(SqliteStore& source, const QString& path, const QString& name)
{
    m_name = name;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(m_dest, "PRAGMA journal_mode = OFF", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK && !(m_backup = sqlite3_backup_init(m_dest, "main", source.handle(), "main")))
        rc = sqlite3_errcode(m_dest);
    if (rc != SQLITE_OK)
        throw SqliteFailure::lastError(m_dest, rc, name);
}

SqliteCopy::Step SqliteCopy::step(int milliseconds)
{
    QElapsedTimer took;
    took.start();
    int rc;
    do {
        rc = sqlite3_backup_step(m_backup, 16);
    } while (rc == SQLITE_OK && took.elapsed() < milliseconds);
    m_total = sqlite3_backup_pagecount(m_backup);
    m_left = sqlite3_backup_remaining(m_backup);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        return Step::Busy;
    if (rc == SQLITE_OK)
        return Step::More;
    if (rc != SQLITE_DONE)
        throw SqliteFailure::lastError(m_dest, rc, m_name);
    return Step::Done;
}

void SqliteCopy::endCopy()
{
    if (m_backup)
        sqlite3_backup_finish(m_backup);
    m_backup = nullptr;
}

QString SqliteCopy::seal()
{
    // The copy opens on its own: one file, no journal beside it.
    int rc = sqlite3_exec(m_dest, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return SqliteFailure::lastError(m_dest, rc, m_name).text();
    const QString check = quickCheck(m_dest);
    if (check != "ok")
        return QString("The copy %1 did not pass its check (%2): the database may be damaged.")
            .arg(m_name, check.section('\n', 0, 0));
    {
        std::lock_guard<std::mutex> guard(m_destLock);
        rc = sqlite3_close(m_dest);
        m_dest = nullptr;
    }
    if (rc != SQLITE_OK)
        return SqliteFailure::lastError(nullptr, rc, m_name).text();
    return {};
}

void SqliteCopy::interrupt()
{
    std::lock_guard<std::mutex> guard(m_destLock);
    if (m_dest)
        sqlite3_interrupt(m_dest);
}

QString SqliteCopy::checkFile(const QString& path)
{
    sqlite3* db = openImmutable(path);
    if (!db)
        return {};
    Closer closer{db};
    return quickCheck(db);
}

int SqliteCopy::countPeople(const QString& path)
{
    sqlite3* db = openImmutable(path);
    if (!db)
        return -1;
    Closer closer{db};
    sqlite3_stmt* s = nullptr;
    int n = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM \"People\"", -1, &s, nullptr) == SQLITE_OK
        && sqlite3_step(s) == SQLITE_ROW)
        n = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    return n;
}

void SqliteCopy::copyInto(SqliteStore& target, const QString& path)
{
    sqlite3* source = openImmutable(path);
    if (!source)
        throw DataError("The backup cannot be opened.");
    Closer closer{source};
    sqlite3_backup* b = sqlite3_backup_init(target.handle(), "main", source, "main");
    if (!b)
        throw target.lastError(sqlite3_errcode(target.handle()));
    const int rc = sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        throw SqliteFailure::lastError(nullptr, rc, target.displayName());
}
