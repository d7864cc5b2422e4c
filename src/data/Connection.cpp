#include "Connection.h"

#include "RowReader.h"
#include "SqliteError.h"
#include "data/DataError.h"
#include "Notices.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>

namespace {
const QStringList kRequiredTables = {
    "Companies", "People", "QuestionsMain", "PeopleFollowUp", "FollowUpMethod", "Projects",
    "SubProjects", "SubProjectHistory", "SubProjectStatus", "SubProjectType", "SubProjectSize",
    "Business"};

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

int& defaultBusyTimeout()
{
    static int ms = 5000;
    return ms;
}

// Each connection object gets a driver connection of its own, so two data modules (two copies of
// the program, as tests make them) never share one.
QString uniqueName(const QString& name)
{
    static int counter = 0;
    return name + QString("#%1").arg(++counter);
}
} // namespace

Connection::Connection(const QString& connectionName) : m_name(uniqueName(connectionName)) {}

Connection::~Connection()
{
    close();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

void Connection::setDefaultBusyTimeout(int milliseconds) { defaultBusyTimeout() = milliseconds; }

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

sqlite3* Connection::handle() const { return m_handle; }

sqlite3* Connection::driverHandle() const
{
    if (!QSqlDatabase::contains(m_name))
        return nullptr;
    const QVariant h = database().driver()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(h.data());
}

QString Connection::fileName() const
{
    const QString name = QFileInfo(m_path).fileName();
    return name.isEmpty() ? QString("Vantrel.vt") : name;
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && database().isOpen();
}

QString Connection::tooLong(const QString& path)
{
    return QString("The path of %1 is %2 bytes long, and a database can be opened only at a path of at most %3 "
                   "bytes. Move it to a folder with a shorter path.")
        .arg(QDir::toNativeSeparators(path))
        .arg(QFile::encodeName(path).size())
        .arg(kLongestPath);
}

void Connection::open()
{
    close();
    const QFileInfo info(m_path);
    if (!info.exists())
        throw DataError(QString("%1 does not exist.").arg(fileName()));
    if (!info.isFile())
        throw DataError(QString("%1 is a folder, not a database file.").arg(fileName()));
    if (QFile::encodeName(info.absoluteFilePath()).size() > kLongestPath)
        throw DataError(tooLong(info.absoluteFilePath()));

    QSqlDatabase db = QSqlDatabase::contains(m_name) ? QSqlDatabase::database(m_name, false)
                                                      : QSqlDatabase::addDatabase("QSQLITE", m_name);
    if (!db.isValid())
        throw DataError("The SQLite driver of Qt SQL is not installed.");
    // mode=rw: never create a file that is not there. Other processes may share the file;
    // the busy timeout lets a write wait for theirs instead of failing at once.
    db.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString() + "?mode=rw");
    db.setConnectOptions(QString("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(defaultBusyTimeout()));
    if (!db.open()) {
        const int code = db.lastError().nativeErrorCode().toInt();
        throw DataError(SqliteError::describe(code ? code : SQLITE_CANTOPEN, db.lastError().databaseText(), fileName()));
    }
    m_handle = driverHandle();
    auto refuse = [&](const QString& why) {
        close();
        throw DataError(why);
    };
    // A file the system will not let us write is opened read-only without a word; a program that
    // cannot save must say so before the user types anything.
    if (sqlite3_db_readonly(handle(), "main") == 1)
        refuse(SqliteError::describe(SQLITE_READONLY, QString(), fileName()));

    QStringList present;
    try {
        RowReader probe(*this, "SELECT name FROM sqlite_master WHERE type = 'table'", {});
        while (probe.next())
            present << probe.value(0, ColumnType::Text).toString().toLower();
    } catch (const DataError& e) {
        refuse(e.text());
    }
    for (const QString& table : kRequiredTables) {
        if (!present.contains(table.toLower()))
            refuse(QString("%1 is not a Vantrel database: the table %2 is missing.").arg(fileName(), table));
    }
    // Taking the write lock once shows at start whether another program holds it, or whether the
    // folder lets the journal be written.
    try {
        exec("BEGIN IMMEDIATE");
        exec("ROLLBACK");
    } catch (const DataError& e) {
        refuse(e.text());
    }
}

void Connection::close()
{
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) {
            if (m_depth > 0)
                rollback();
            // Fold what is left of the journal into the file without waiting for anybody; the
            // last copy to close then removes the journal files.
            dropStatements();
            if (sqlite3* h = handle())
                sqlite3_wal_checkpoint_v2(h, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            db.close();
        }
    }
    dropStatements();
    m_handle = nullptr;
    m_columns.clear();
    m_depth = 0;
    m_behind = false;
    m_toldBehind = false;
    m_rollbackHandlers.clear();
    m_transactionTables.clear();
}

sqlite3_stmt* Connection::takeStatement(const QByteArray& sql)
{
    if (auto it = m_statements.find(sql); it != m_statements.end()) {
        sqlite3_stmt* statement = it.value();
        m_statements.erase(it); // in use: a nested reader of the same text prepares its own
        return statement;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_handle, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr)
        != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return statement;
}

void Connection::returnStatement(const QByteArray& sql, sqlite3_stmt* statement)
{
    if (!statement)
        return;
    // Reset at once: a statement left stepping would hold its read snapshot and keep the
    // checkpoint from copying later commits into the file.
    sqlite3_reset(statement);
    constexpr qsizetype kKept = 96;
    if (!m_handle || sqlite3_db_handle(statement) != m_handle || m_statements.contains(sql)
        || m_statements.size() >= kKept) {
        sqlite3_finalize(statement);
        return;
    }
    sqlite3_clear_bindings(statement);
    m_statements.insert(sql, statement);
}

void Connection::dropStatements()
{
    for (sqlite3_stmt* statement : std::as_const(m_statements))
        sqlite3_finalize(statement);
    m_statements.clear();
}

QString Connection::quote(const QString& identifier)
{
    QString q = identifier;
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

QVector<Column> Connection::tableColumns(const QString& table)
{
    const QString key = table.toLower();
    auto it = m_columns.constFind(key);
    if (it != m_columns.constEnd())
        return *it;
    QVector<Column> cols;
    RowReader q(*this, "PRAGMA table_info(" + quote(table) + ")", {});
    while (q.next()) {
        Column c;
        c.name = q.value(1, ColumnType::Text).toString();
        const QString declared = q.value(2, ColumnType::Text).toString();
        c.type = ColumnValue::typeFromDeclaration(declared, &c.size);
        const bool pk = q.value(5, ColumnType::Integer).toInt() > 0;
        c.readOnly = pk && c.type == ColumnType::Integer && declared.compare("INTEGER", Qt::CaseInsensitive) == 0;
        cols << c;
    }
    if (cols.isEmpty())
        throw DataError(QString("%1 is not a Vantrel database: the table %2 is missing.").arg(fileName(), table));
    m_columns.insert(key, cols);
    return cols;
}

void Connection::exec(const QString& sql, const QVariantList& values)
{
    RowReader statement(*this, sql, values);
    while (statement.next()) {
    }
}

qint64 Connection::changes() const { return sqlite3_changes(handle()); }
qint64 Connection::lastInsertId() const { return sqlite3_last_insert_rowid(handle()); }

void Connection::noteWrite(const QString& table)
{
    ++m_versions[table.toLower()];
    if (m_depth > 0)
        m_transactionTables.insert(table.toLower());
}

void Connection::keepOwnJournal()
{
    if (!m_handle || m_depth > 0 || !journalReplaced(m_path))
        return;
    // Writing on into a journal nobody else can see would lose this copy's saves or another
    // copy's, whichever comes second. When no other copy has made new journal files yet, the
    // old one is folded into the file first; then the connection is opened again, on the files
    // every copy sees, and what this copy read is read again.
    const bool others = QFileInfo::exists(m_path + "-wal") || QFileInfo::exists(m_path + "-shm");
    bool missing = false;
    if (m_behind) {
        int logFrames = -1, copiedFrames = -1;
        missing = others
                  || sqlite3_wal_checkpoint_v2(m_handle, nullptr, SQLITE_CHECKPOINT_FULL, &logFrames, &copiedFrames)
                         != SQLITE_OK
                  || copiedFrames < logFrames;
    }
    // Closed without the checkpoint and the clean-up that a close makes: they would go by the
    // names on disk, which are now another copy's files.
    sqlite3_db_config(m_handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    dropStatements();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::database(m_name, false).close();
    m_handle = nullptr;
    m_behind = false;
    m_toldBehind = false;
    m_reopened += qint64(1) << 32; // every reader takes in what other copies wrote meanwhile
    for (auto it = m_versions.begin(); it != m_versions.end(); ++it)
        ++it.value();
    open();
    Notices::warn(QString("Another program deleted %1-wal and %1-shm, the journal files beside %1, while Vantrel "
                             "was using them (a cleaning or synchronisation program may do this). Vantrel has opened "
                             "%1 again, so that every copy of the program writes into the same files. %2")
                         .arg(fileName(),
                              missing ? QString("Changes saved while %1 itself could not be brought up to date may be "
                                                "missing: check the people you changed last.")
                                            .arg(fileName())
                                      : QString("Nothing you saved is missing.")));
}

void Connection::begin()
{
    if (m_depth == 0)
        keepOwnJournal();
    if (m_depth == 0) {
        // IMMEDIATE: the write lock is taken now, not at the first write, so nobody can change
        // what this transaction reads before it commits.
        exec("BEGIN IMMEDIATE");
        m_rollbackHandlers.clear();
        m_transactionTables.clear();
    }
    ++m_depth;
}

void Connection::commit()
{
    if (m_depth == 0)
        throw DataError("The changes were undone, because a part of them could not be saved.");
    if (--m_depth > 0)
        return;
    try {
        exec("COMMIT");
    } catch (...) {
        m_depth = 1;
        rollback();
        throw;
    }
    m_rollbackHandlers.clear();
    m_transactionTables.clear();
    checkpoint();
}

void Connection::rollback()
{
    if (m_depth == 0)
        return;
    m_depth = 0;
    if (sqlite3* h = handle(); h && !sqlite3_get_autocommit(h))
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    // Snapshots that counted on the undone writes must re-read.
    for (const QString& table : std::as_const(m_transactionTables))
        ++m_versions[table];
    m_transactionTables.clear();
    const auto handlers = std::move(m_rollbackHandlers);
    m_rollbackHandlers.clear();
    for (const auto& h : handlers)
        h();
}

void Connection::checkpoint()
{
    sqlite3* h = handle();
    if (!h)
        return;
    // FULL waits (up to the busy timeout) for readers of older data, then copies every committed
    // change into the file itself. Once a checkpoint has fallen short, later saves only copy what
    // they can without waiting, so a reader that stays does not slow every save; a complete
    // checkpoint brings back the waiting one.
    int logFrames = -1;
    int copiedFrames = -1;
    const int rc = sqlite3_wal_checkpoint_v2(h, nullptr, m_behind ? SQLITE_CHECKPOINT_PASSIVE : SQLITE_CHECKPOINT_FULL,
                                             &logFrames, &copiedFrames);
    if (rc == SQLITE_OK && copiedFrames >= logFrames) { // -1 and -1 outside journal mode WAL
        m_behind = false;
        m_toldBehind = false;
        return;
    }
    m_behind = true;
    if (m_toldBehind)
        return;
    m_toldBehind = true;
    // The commit stands, so this is no failed save; the user is told once that a copy of the
    // file alone would miss it, and why, until a checkpoint succeeds again.
    const int code = rc == SQLITE_OK ? SQLITE_BUSY : rc;
    QString why;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        why = QString("Another program keeps reading %1 (a second copy of Vantrel, or a backup or synchronisation "
                      "program).").arg(fileName());
        break;
    case SQLITE_FULL:
        why = QString("The disk that holds %1 is full.").arg(fileName());
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        why = QString("%1 can no longer be written.").arg(fileName());
        break;
    default:
        why = QString("%1 could not be written to the disk: the disk may be full, removed or failing.").arg(fileName());
        break;
    }
    Notices::warn(QString("Your changes are saved, but %1 itself could not be brought up to date. %2 Until it can "
                             "be, the latest changes are kept in %1-wal beside it: a copy of %1 alone would miss "
                             "them, so keep the two files together.")
                         .arg(fileName(), why));
}

void Connection::Transaction::commit()
{
    m_done = true;
    m_connection.commit();
}

qint64 Connection::externalVersion()
{
    try {
        RowReader q(*this, "PRAGMA data_version", {});
        if (q.next())
            return m_reopened + q.value(0, ColumnType::Integer).toLongLong();
    } catch (const DataError&) {
    }
    return -1;
}
