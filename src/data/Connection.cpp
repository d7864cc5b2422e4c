#include "Connection.h"

#include "platform/DataError.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

static const QStringList kRequiredTables = {
    "Companies", "People", "QuestionsMain", "PeopleFollowUp", "FollowUpMethod", "Projects",
    "SubProjects", "SubProjectHistory", "SubProjectStatus", "SubProjectType", "SubProjectSize",
    "Business"};

Connection::Connection(const QString& connectionName) : m_name(connectionName) {}

Connection::~Connection()
{
    close();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && database().isOpen();
}

void Connection::open()
{
    close();
    const QFileInfo info(m_path);
    if (!info.exists())
        throw DataError(QString("The database file %1 does not exist.").arg(QDir::toNativeSeparators(m_path)));
    if (!info.isFile())
        throw DataError(QString("%1 is not a database file.").arg(QDir::toNativeSeparators(m_path)));

    QSqlDatabase db = QSqlDatabase::contains(m_name) ? QSqlDatabase::database(m_name, false)
                                                      : QSqlDatabase::addDatabase("QSQLITE", m_name);
    if (!db.isValid())
        throw DataError("The SQLite driver of Qt SQL is not installed.");
    // mode=rw: never create a file that is not there. Other processes may share the file;
    // the busy timeout lets a write wait for theirs instead of failing at once.
    db.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString() + "?mode=rw");
    db.setConnectOptions("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000");
    if (!db.open())
        throw DataError(QString("Cannot open the database %1: %2")
                            .arg(QDir::toNativeSeparators(m_path), db.lastError().text()));
    QSqlQuery probe(db);
    if (!probe.exec("SELECT name FROM sqlite_master WHERE type = 'table'")) {
        const QString why = probe.lastError().text();
        db.close();
        throw DataError(QString("%1 is not a Vantrel database: %2").arg(QDir::toNativeSeparators(m_path), why));
    }
    QStringList present;
    while (probe.next())
        present << probe.value(0).toString().toLower();
    for (const QString& table : kRequiredTables) {
        if (!present.contains(table.toLower())) {
            db.close();
            throw DataError(QString("%1 is not a Vantrel database: the table %2 is missing.")
                                .arg(QDir::toNativeSeparators(m_path), table));
        }
    }
}

void Connection::close()
{
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
    m_columns.clear();
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
    QSqlQuery q(database());
    if (!q.exec("PRAGMA table_info(" + quote(table) + ")"))
        throw DataError(q.lastError().text());
    QVector<Column> cols;
    while (q.next()) {
        Column c;
        c.name = q.value(1).toString();
        c.type = ColumnValue::typeFromDeclaration(q.value(2).toString(), &c.size);
        const bool pk = q.value(5).toInt() > 0;
        c.readOnly = pk && c.type == ColumnType::Integer
                     && q.value(2).toString().compare("INTEGER", Qt::CaseInsensitive) == 0;
        cols << c;
    }
    if (cols.isEmpty())
        throw DataError(QString("Table %1 does not exist in the database.").arg(table));
    m_columns.insert(key, cols);
    return cols;
}

qint64 Connection::externalVersion()
{
    QSqlQuery q(database());
    if (q.exec("PRAGMA data_version") && q.next())
        return q.value(0).toLongLong();
    return -1;
}
