#pragma once
#include "Column.h"

#include <QHash>
#include <QStringList>
#include <QStringDecoder>
#include <QStringView>
#include <QVariant>

class Connection;
struct sqlite3_stmt;

// Runs a statement straight through the Qt connection's own SQLite handle: a whole table of
// 100,000 wide rows is read several times faster than through QSqlQuery, and a failure keeps
// SQLite's exact result code, which becomes a message in plain words.
class RowReader {
public:
    // Positional values bind to "?", named ones (":SPID") by name.
    RowReader(Connection& connection, const QString& sql, const QVariantList& positional,
              const QHash<QString, QVariant>& named = {});
    ~RowReader();
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    QStringList columnNames() const;
    bool next(); // throws DataError in plain words
    bool isNull(int column) const;
    QVariant value(int column, ColumnType type) const;
    qint64 integer(int column) const;
    // The column's text without a copy, valid until the next row; empty for null.
    QStringView text(int column) const;
    bool isText(int column) const; // stored as text
    // The column's text into out, reusing its memory; as value() gives it.
    void textInto(int column, QString& out) const;

private:
    void bind(int index, const QVariant& value);
    [[noreturn]] void fail() const;

    Connection* m_connection;
    mutable QStringDecoder m_utf8{QStringDecoder::Utf8,
                                  QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
    QByteArray m_sql;
    sqlite3_stmt* m_statement = nullptr;
    void* m_handle = nullptr;
    QString m_fileName;
};
