#include "SqliteStore.h"

#include "SqliteFailure.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

namespace {

class SqliteStatement : public storage::Statement {
public:
    SqliteStatement(sqlite3_stmt* statement, QString fileName) : m_s(statement), m_fileName(std::move(fileName)) {}
    ~SqliteStatement() override { sqlite3_finalize(m_s); }

    sqlite3_stmt* raw() const { return m_s; }
    sqlite3_stmt* release() { return std::exchange(m_s, nullptr); }

    void bindNull(int i) override { check(sqlite3_bind_null(m_s, i)); }
    void bindInteger(int i, qint64 v) override { check(sqlite3_bind_int64(m_s, i, v)); }
    void bindReal(int i, double v) override { check(sqlite3_bind_double(m_s, i, v)); }
    void bindText(int i, QStringView t) override
    {
        check(t.isNull() ? sqlite3_bind_text(m_s, i, "", 0, SQLITE_STATIC)
                         : sqlite3_bind_text16(m_s, i, t.utf16(), int(t.size() * 2), SQLITE_TRANSIENT));
    }
    void bindTextInPlace(int i, QStringView t) override
    {
        check(t.isNull() ? sqlite3_bind_text(m_s, i, "", 0, SQLITE_STATIC)
                         : sqlite3_bind_text16(m_s, i, t.utf16(), int(t.size() * 2), SQLITE_STATIC));
    }
    void bindBlob(int i, QByteArrayView b) override
    {
        check(sqlite3_bind_blob(m_s, i, b.data(), int(b.size()), SQLITE_TRANSIENT));
    }
    int parameterIndex(const QByteArray& name) const override
    {
        return sqlite3_bind_parameter_index(m_s, name.constData());
    }

    bool step() override
    {
        const int rc = sqlite3_step(m_s);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail(rc);
    }
    void reset() override { sqlite3_reset(m_s); }

    int columnCount() const override { return sqlite3_column_count(m_s); }
    QString columnName(int c) const override { return QString::fromUtf8(sqlite3_column_name(m_s, c)); }
    storage::ValueType type(int c) const override
    {
        switch (sqlite3_column_type(m_s, c)) {
        case SQLITE_NULL: return storage::ValueType::Null;
        case SQLITE_INTEGER: return storage::ValueType::Integer;
        case SQLITE_FLOAT: return storage::ValueType::Real;
        case SQLITE_BLOB: return storage::ValueType::Blob;
        default: return storage::ValueType::Text;
        }
    }
    qint64 integer(int c) const override { return sqlite3_column_int64(m_s, c); }
    double real(int c) const override { return sqlite3_column_double(m_s, c); }
    QByteArrayView utf8(int c) const override
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_s, c));
        return text ? QByteArrayView(text, sqlite3_column_bytes(m_s, c)) : QByteArrayView();
    }
    QStringView utf16(int c) const override
    {
        const void* text = sqlite3_column_text16(m_s, c);
        if (!text)
            return {};
        return QStringView(static_cast<const char16_t*>(text), sqlite3_column_bytes16(m_s, c) / 2);
    }
    QByteArray blob(int c) const override
    {
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(m_s, c)), sqlite3_column_bytes(m_s, c));
    }

private:
    void check(int rc) const
    {
        if (rc != SQLITE_OK)
            fail(rc);
    }
    [[noreturn]] void fail(int rc) const { throw SqliteFailure::lastError(sqlite3_db_handle(m_s), rc, m_fileName); }

    sqlite3_stmt* m_s;
    QString m_fileName;
};

// Whether this process still has a journal file of the database open that is no longer the one
// on disk under its name: a cleaning or synchronisation program deleted it while it was in use.
bool journalReplaced(const QString& databasePath)
{
    const QString path = QFileInfo(databasePath).canonicalFilePath();
    if (path.isEmpty())
        return false;
    QDirIterator fds("/proc/self/fd", QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    while (fds.hasNext()) {
        const QString target = QFileInfo(fds.next()).symLinkTarget();
        if (target == path + "-wal (deleted)" || target == path + "-shm (deleted)")
            return true;
    }
    return false;
}

constexpr qsizetype kKeptStatements = 96;

} // namespace

SqliteStore::SqliteStore() = default;
SqliteStore::~SqliteStore() { close(); }

QString SqliteStore::displayName() const
{
    const QString name = QFileInfo(m_path).fileName();
    return name.isEmpty() ? QString("Vantrel.vt") : name;
}

DataError SqliteStore::lastError(int rc) const { return SqliteFailure::lastError(m_db, rc, displayName()); }

void SqliteStore::open(const QString& path, Access access, int busyTimeoutMs)
{
    close();
    m_path = path;
    m_access = access;
    m_busyTimeout = busyTimeoutMs;
    // mode=rw: never create a file that is not there.
    const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded()
                           + (access == Access::ReadOnly ? "?mode=ro" : "?mode=rw");
    const int flags = SQLITE_OPEN_URI | (access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(uri.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const int code = db ? sqlite3_extended_errcode(db) : rc;
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
        sqlite3_close_v2(db);
        throw SqliteFailure::error(code ? code : SQLITE_CANTOPEN, message, displayName());
    }
    sqlite3_extended_result_codes(db, 1);
    // Other processes may share the file: a write waits for theirs instead of failing at once.
    sqlite3_busy_timeout(db, busyTimeoutMs);
    // A file the system will not let us write is opened read-only without a word; a program that
    // cannot save must say so before the user types anything.
    if (access == Access::ReadWrite && sqlite3_db_readonly(db, "main") == 1) {
        sqlite3_close_v2(db);
        throw SqliteFailure::error(SQLITE_READONLY, {}, displayName());
    }
    std::lock_guard<std::mutex> hold(m_interruptLock);
    m_db = db;
}

void SqliteStore::create(const QString& path)
{
    close();
    if (QFileInfo::exists(path))
        throw DataError("a file is already there");
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        throw DataError(message);
    }
    sqlite3_extended_result_codes(db, 1);
    m_path = path;
    std::lock_guard<std::mutex> hold(m_interruptLock);
    m_db = db;
}

void SqliteStore::close()
{
    if (!m_db)
        return;
    if (!sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    dropStatements();
    if (m_bulk)
        setBulkLoad(false);
    // Fold what is left of the journal into the file without waiting for anybody; the last copy
    // to close then removes the journal files.
    if (m_access == Access::ReadWrite)
        sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    std::lock_guard<std::mutex> hold(m_interruptLock);
    // _v2: a statement still held elsewhere is finalized later without harm.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool SqliteStore::readOnly() const { return m_db && sqlite3_db_readonly(m_db, "main") == 1; }

std::unique_ptr<storage::Statement> SqliteStore::prepare(const QByteArray& sql)
{
    if (!m_db)
        throw DataError("The database connection is not open.");
    if (auto it = m_statements.find(sql); it != m_statements.end()) {
        auto* statement = static_cast<sqlite3_stmt*>(it.value());
        m_statements.erase(it); // in use: a nested reader of the same text prepares its own
        return std::make_unique<SqliteStatement>(statement, displayName());
    }
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v3(m_db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement,
                                      nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(statement);
        throw lastError(rc);
    }
    if (!statement) // only a comment or white space
        throw DataError(QString("The database reported an error: an empty statement."));
    return std::make_unique<SqliteStatement>(statement, displayName());
}

void SqliteStore::giveBack(const QByteArray& sql, std::unique_ptr<storage::Statement> statement)
{
    auto* own = dynamic_cast<SqliteStatement*>(statement.get());
    if (!own)
        return;
    // Reset at once: a statement left stepping would hold its read snapshot and keep the
    // checkpoint from copying later commits into the file.
    sqlite3_reset(own->raw());
    if (!m_db || sqlite3_db_handle(own->raw()) != m_db || m_statements.contains(sql)
        || m_statements.size() >= kKeptStatements)
        return; // finalized with the object
    sqlite3_clear_bindings(own->raw());
    m_statements.insert(sql, own->release());
}

void SqliteStore::dropStatements()
{
    for (void* statement : std::as_const(m_statements))
        sqlite3_finalize(static_cast<sqlite3_stmt*>(statement));
    m_statements.clear();
}

qint64 SqliteStore::changes() const { return m_db ? sqlite3_changes64(m_db) : 0; }
qint64 SqliteStore::lastInsertId() const { return m_db ? sqlite3_last_insert_rowid(m_db) : 0; }

void SqliteStore::execText(const char* sql)
{
    if (!m_db)
        throw DataError("The database connection is not open.");
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw lastError(rc);
}

// IMMEDIATE: the write lock is taken now, not at the first write, so nobody can change what the
// transaction reads before it commits.
void SqliteStore::begin() { execText("BEGIN IMMEDIATE"); }
void SqliteStore::beginRead() { execText("BEGIN"); }
void SqliteStore::commit() { execText("COMMIT"); }

void SqliteStore::rollback()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteStore::inTransaction() const { return m_db && !sqlite3_get_autocommit(m_db); }

qint64 SqliteStore::changeToken()
{
    try {
        return m_reopened + pragmaValue("data_version");
    } catch (const DataError&) {
        return -1;
    }
}

int SqliteStore::pragmaValue(const QByteArray& name)
{
    storage::Prepared s(*this, "PRAGMA " + name);
    return s->step() ? int(s->integer(0)) : 0;
}

QStringList SqliteStore::names(const QByteArray& sql)
{
    QStringList names;
    storage::Prepared s(*this, sql);
    while (s->step())
        names << s->text(0);
    return names;
}

QStringList SqliteStore::schemaObjects() { return names("SELECT name FROM sqlite_master"); }
QStringList SqliteStore::tables() { return names("SELECT name FROM sqlite_master WHERE type = 'table'"); }

QVector<storage::ColumnInfo> SqliteStore::columns(const QString& table)
{
    QVector<storage::ColumnInfo> columns;
    storage::Prepared s(*this, "SELECT name, type, pk FROM pragma_table_info(?)");
    s->bindText(1, table);
    while (s->step())
        columns.push_back({s->text(0), s->text(1), s->integer(2) > 0});
    return columns;
}

int SqliteStore::schemaVersion() { return pragmaValue("user_version"); }

void SqliteStore::setSchemaVersion(int version)
{
    execText(QByteArray("PRAGMA user_version = " + QByteArray::number(version)).constData());
}

QByteArray SqliteStore::triggerDefinition(const QString& name)
{
    storage::Prepared s(*this, "SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = ?");
    s->bindText(1, name);
    return s->step() ? s->utf8(0).toByteArray() : QByteArray();
}

storage::Flush SqliteStore::flush(bool wait)
{
    if (!m_db)
        return {};
    // FULL waits (up to the busy timeout) for readers of older data, then copies every committed
    // change into the file itself; PASSIVE copies what it can without waiting.
    int logFrames = -1;
    int copiedFrames = -1;
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, wait ? SQLITE_CHECKPOINT_FULL : SQLITE_CHECKPOINT_PASSIVE,
                                             &logFrames, &copiedFrames);
    if (rc == SQLITE_OK && copiedFrames >= logFrames) // -1 and -1 outside journal mode WAL
        return {};
    return {false, SqliteFailure::reason(rc == SQLITE_OK ? SQLITE_BUSY : rc)};
}

void SqliteStore::setBulkLoad(bool on)
{
    if (!m_db || on == m_bulk)
        return;
    if (on) {
        m_synchronous = pragmaValue("synchronous");
        m_cacheSize = pragmaValue("cache_size");
        m_autoCheckpoint = pragmaValue("wal_autocheckpoint");
        // Commits wait for the disk only at the checkpoint that ends the load, the log is copied
        // into the file once instead of at every commit, and index pages stay in a larger cache.
        sqlite3_exec(m_db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "PRAGMA cache_size = -32000", nullptr, nullptr, nullptr);
        sqlite3_wal_autocheckpoint(m_db, 0);
    } else {
        sqlite3_exec(m_db, QByteArray("PRAGMA synchronous = " + QByteArray::number(m_synchronous)).constData(),
                     nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, QByteArray("PRAGMA cache_size = " + QByteArray::number(m_cacheSize)).constData(), nullptr,
                     nullptr, nullptr);
        sqlite3_wal_autocheckpoint(m_db, m_autoCheckpoint);
    }
    m_bulk = on;
}

bool SqliteStore::lostOwnFiles() { return m_db && m_access == Access::ReadWrite && journalReplaced(m_path); }

bool SqliteStore::reopenOnOwnFiles(bool allFlushed)
{
    // When no other copy has made new journal files yet, the old one is folded into the file
    // first; then the file is opened again, on the files every copy sees.
    const bool others = QFileInfo::exists(m_path + "-wal") || QFileInfo::exists(m_path + "-shm");
    bool missing = false;
    if (!allFlushed) {
        int logFrames = -1, copiedFrames = -1;
        missing = others
                  || sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_FULL, &logFrames, &copiedFrames)
                         != SQLITE_OK
                  || copiedFrames < logFrames;
    }
    // Closed without the checkpoint and the clean-up that a close makes: they would go by the
    // names on disk, which are now another copy's files.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    dropStatements();
    {
        std::lock_guard<std::mutex> hold(m_interruptLock);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_bulk = false;
    m_reopened += qint64(1) << 32; // every reader takes in what other copies wrote meanwhile
    open(m_path, m_access, m_busyTimeout);
    return missing;
}

void SqliteStore::interrupt()
{
    std::lock_guard<std::mutex> hold(m_interruptLock);
    if (m_db)
        sqlite3_interrupt(m_db);
}

QStringList SqliteStore::quickCheck(int limit)
{
    QStringList findings;
    try {
        storage::Prepared s(*this, limit > 0 ? "PRAGMA quick_check(" + QByteArray::number(limit) + ")"
                                             : QByteArray("PRAGMA quick_check"));
        while (s->step()) {
            const QString line = s->text(0);
            if (line != QLatin1String("ok"))
                findings << line;
        }
    } catch (const DataError& e) {
        // Interrupted (the program is ending) or busy: no finding either way.
        if (e.reason() != FailureReason::Interrupted && e.reason() != FailureReason::Busy)
            findings << e.text();
    }
    return findings;
}

// Every table of a file has a rowid, and it is what the rows are read and written by: for a
// table with an integer key it is that key, and the tables without a key have no other.
QString SqliteStore::rowKey(const QString&) { return QStringLiteral("rowid"); }

// The keys as one JSON array, walked by json_each: any number of them in one bound value.
QString SqliteStore::inKeys(const QString& name, const QString& placeholder) const
{
    return name + " IN (SELECT value FROM json_each(" + placeholder + "))";
}

QVariant SqliteStore::keyList(const QVector<qint64>& keys) const { return joinedKeys(keys, '[', ']'); }

// IS is true for two nulls; BINARY, because a column declared NOCASE would otherwise take a
// change of case for no change.
QString SqliteStore::sameAs(const QString& left, const QString& right) const
{
    return left + " IS " + right + " COLLATE BINARY";
}

// NOCASE folds A to Z alone.
QString SqliteStore::equalFoldingAZ(const QString& left, const QString& right) const
{
    return left + " = " + right + " COLLATE NOCASE";
}

QString SqliteStore::foldedAZ(const QString& text) const { return text + " COLLATE NOCASE"; }

QString SqliteStore::beyondAscii(const QString& name) const
{
    return name + QStringLiteral(" GLOB '*[^\u0001-\u007F]*'");
}

QString SqliteStore::insertSkippingDuplicates(const QString& table, const QString& rest) const
{
    return "INSERT OR IGNORE INTO " + table + " " + rest;
}
