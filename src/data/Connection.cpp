#include "Connection.h"

#include "RowReader.h"
#include "data/DataError.h"
#include "Notices.h"
#include "Trash.h"
#include "storage/pg/PgStore.h"
#include "storage/sqlite/SqliteStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QStringList kRequiredTables = {
    "Companies", "People", "QuestionsMain", "PeopleFollowUp", "FollowUpMethod", "Projects",
    "SubProjects", "SubProjectHistory", "SubProjectStatus", "SubProjectType", "SubProjectSize",
    "Business"};

int& defaultBusyTimeout()
{
    static int ms = 5000;
    return ms;
}

} // namespace

// The store lives as long as the connection, open or closed, so that a reader that outlives a
// close gives its statement back to an object that is still there.
Connection::Connection(const QString&) { useFile(); }

void Connection::useFile()
{
    auto file = std::make_unique<SqliteStore>();
    m_file = file.get();
    m_store = std::move(file);
}

void Connection::setServer(const QString& connection, const QString& password)
{
    close();
    m_server = connection.trimmed();
    m_serverPassword = password;
    m_userName.clear();
    if (m_server.isEmpty() && !m_file) {
        useFile();
    } else if (!m_server.isEmpty()) {
        m_store = std::make_unique<PgStore>();
        m_file = nullptr;
    }
}

Connection::~Connection() { close(); }

void Connection::setDefaultBusyTimeout(int milliseconds) { defaultBusyTimeout() = milliseconds; }

storage::Store& Connection::store() const
{
    if (!m_store->isOpen())
        throw DataError("The database connection is not open.");
    return *m_store;
}

QString Connection::fileName() const
{
    if (onServer())
        return m_store->displayName();
    const QString name = QFileInfo(m_path).fileName();
    return name.isEmpty() ? QString("Vantrel.vt") : name;
}

bool Connection::isOpen() const { return m_store->isOpen(); }

QString Connection::tooLong(const QString& path)
{
    return QString("The path of %1 is %2 bytes long, and a database can be opened only at a path of at most %3 "
                   "bytes. Move it to a folder with a shorter path.")
        .arg(QDir::toNativeSeparators(path))
        .arg(QFile::encodeName(path).size())
        .arg(kLongestPath);
}

void Connection::openServer(const QString& connectionString, const QString& password)
{
    setServer(connectionString, password);
    open();
}

std::unique_ptr<storage::Store> Connection::openAnother() const
{
    if (onServer()) {
        auto store = std::make_unique<PgStore>();
        store->open(m_server, defaultBusyTimeout(), m_serverPassword);
        return store;
    }
    auto store = std::make_unique<SqliteStore>();
    store->open(QFileInfo(m_path).absoluteFilePath(), SqliteStore::Access::ReadWrite, defaultBusyTimeout());
    return store;
}

void Connection::open()
{
    close();
    if (onServer()) {
        if (m_listen)
            static_cast<PgStore*>(m_store.get())->listen();
        static_cast<PgStore*>(m_store.get())->open(m_server, defaultBusyTimeout(), m_serverPassword);
        // As with a file that cannot be written: said before the user types anything.
        const bool mayRead = static_cast<PgStore*>(m_store.get())->mayRead();
        if (!mayRead || m_store->readOnly()) {
            const QString name = fileName();
            close();
            throw DataError(QString(mayRead ? "You may read %1 but not change it, so nothing could be saved. Ask the "
                                              "administrator of the server to add you to the group %2."
                                            : "You may neither read nor change %1. Ask the administrator of the "
                                              "server to add you to the group %2.")
                                .arg(name, QStringLiteral("vantrel_users")),
                            FailureReason::NoRights);
        }
    } else {
        openFile();
    }
    checkOpened();
    // On a server the login is who changes the data, whatever the computer calls its user.
    if (onServer())
        m_userName = static_cast<PgStore*>(m_store.get())->login();
}

void Connection::openFile()
{
    const QFileInfo info(m_path);
    if (!info.exists())
        throw DataError(QString("%1 does not exist.").arg(fileName()));
    if (!info.isFile())
        throw DataError(QString("%1 is a folder, not a database file.").arg(fileName()));
    if (QFile::encodeName(info.absoluteFilePath()).size() > kLongestPath)
        throw DataError(tooLong(info.absoluteFilePath()));

    m_file->open(info.absoluteFilePath(), SqliteStore::Access::ReadWrite, defaultBusyTimeout());
}

void Connection::checkOpened()
{
    auto refuse = [&](const DataError& why) {
        close();
        throw DataError(why);
    };
    QStringList present;
    try {
        for (const QString& table : m_store->tables())
            present << table.toLower();
    } catch (const DataError& e) {
        refuse(e);
    }
    for (const QString& table : kRequiredTables) {
        if (!present.contains(table.toLower()))
            refuse(DataError(QString("%1 is not a Vantrel database: the table %2 is missing.").arg(fileName(), table),
                             FailureReason::Damaged));
    }
    // Taking the write lock once shows at start whether another program holds it, or whether the
    // folder lets the journal be written.
    try {
        m_store->probeWriteLock();
    } catch (const DataError& e) {
        refuse(e);
    }
}

void Connection::close()
{
    if (m_depth > 0)
        rollback();
    m_store->close(); // folds what is left of the journal into the file without waiting for anybody
    m_columns.clear();
    m_depth = 0;
    m_behind = false;
    m_toldBehind = false;
    m_rollbackHandlers.clear();
    m_transactionTables.clear();
}

QString Connection::userName() const { return m_userName.isEmpty() ? Trash::userName() : m_userName; }

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
    for (const storage::ColumnInfo& info : store().columns(table)) {
        Column c;
        c.name = info.name;
        c.type = ColumnValue::typeFromDeclaration(info.declaredType, &c.size);
        // The key the database numbers itself.
        c.readOnly = info.primaryKey && c.type == ColumnType::Integer
                     && info.declaredType.compare("INTEGER", Qt::CaseInsensitive) == 0;
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

namespace {
QVariantList bound(const QVariantList& values)
{
    QVariantList out;
    out.reserve(values.size());
    for (const QVariant& v : values)
        out << RowReader::boundForm(v);
    return out;
}
} // namespace

qint64 Connection::insert(const QString& table, const QStringList& columns, const QVariantList& values)
{
    return store().insert(table, columns, bound(values));
}

storage::UpdateOutcome Connection::update(storage::RowUpdate change)
{
    change.values = bound(change.values);
    change.keyValue = RowReader::boundForm(change.keyValue);
    change.expectedValues = bound(change.expectedValues);
    return store().update(change);
}

qint64 Connection::changes() const { return m_store->changes(); }
qint64 Connection::lastInsertId() const { return m_store->lastInsertId(); }

void Connection::noteWrite(const QString& table)
{
    ++m_versions[table.toLower()];
    if (m_depth > 0)
        m_transactionTables.insert(table.toLower());
}

void Connection::keepOwnJournal()
{
    if (m_depth > 0 || !m_store->lostOwnFiles())
        return;
    // Writing on into a journal nobody else can see would lose this copy's saves or another
    // copy's, whichever comes second: the connection is opened again, on the files every copy
    // sees, and what this copy read is read again.
    const bool missing = m_store->reopenOnOwnFiles(!m_behind);
    m_columns.clear();
    m_behind = false;
    m_toldBehind = false;
    for (auto it = m_versions.begin(); it != m_versions.end(); ++it)
        ++it.value();
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
        store().begin();
        m_rollbackHandlers.clear();
        m_transactionTables.clear();
    }
    ++m_depth;
}

void Connection::commit(Checkpoint when)
{
    if (m_depth == 0)
        throw DataError("The changes were undone, because a part of them could not be saved.");
    if (--m_depth > 0)
        return;
    try {
        store().commit();
    } catch (...) {
        m_depth = 1;
        rollback();
        throw;
    }
    m_rollbackHandlers.clear();
    m_transactionTables.clear();
    if (when == Checkpoint::Now)
        checkpoint();
}

void Connection::rollback()
{
    if (m_depth == 0)
        return;
    m_depth = 0;
    m_store->rollback();
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
    if (!m_store->isOpen())
        return;
    // Once a checkpoint has fallen short, later saves only copy what they can without waiting,
    // so a reader that stays does not slow every save; a complete checkpoint brings back the
    // waiting one.
    const storage::Flush flushed = m_store->flush(!m_behind);
    if (flushed.complete) {
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
    QString why;
    switch (flushed.reason) {
    case FailureReason::Busy:
        why = QString("Another program keeps reading %1 (a second copy of Vantrel, or a backup or synchronisation "
                      "program).").arg(fileName());
        break;
    case FailureReason::Full:
        why = QString("The disk that holds %1 is full.").arg(fileName());
        break;
    case FailureReason::ReadOnly:
    case FailureReason::NoRights:
    case FailureReason::CantOpen:
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

Connection::VersionHold::VersionHold(Connection& c, AfterCommit) : VersionHold(c)
{
    if (m_c.m_holds == 1 && m_c.m_held == kNotHeld && m_c.isOpen())
        if (const qint64 known = m_c.m_store->knownChangeToken(); known >= 0)
            m_c.m_held = known;
}

qint64 Connection::externalVersion()
{
    if (!m_store->isOpen())
        return -1;
    if (m_holds == 0)
        return m_store->changeToken();
    if (m_held == kNotHeld)
        m_held = m_store->changeToken();
    return m_held;
}
