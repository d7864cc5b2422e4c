#pragma once
#include "Column.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

// The one connection to the SQLite file. It opens an existing file only (a missing file is an
// error, never silently created), and keeps a write counter per table so that datasets can tell
// whether a re-read would show anything new.
class Connection {
public:
    explicit Connection(const QString& connectionName);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setDatabasePath(const QString& path) { m_path = path; }
    QString databasePath() const { return m_path; }
    void open();  // throws DataError
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;

    QVector<Column> tableColumns(const QString& table); // throws DataError for an unknown table
    static QString quote(const QString& identifier);

    quint64 tableVersion(const QString& table) const { return m_versions.value(table.toLower(), 0); }
    void noteWrite(const QString& table) { ++m_versions[table.toLower()]; }
    qint64 externalVersion(); // changes whenever another connection committed

private:
    QString m_name;
    QString m_path;
    QHash<QString, QVector<Column>> m_columns;
    QHash<QString, quint64> m_versions;
};
