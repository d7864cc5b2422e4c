#pragma once
#include "Column.h"

#include <QHash>
#include <QStringList>
#include <QStringDecoder>
#include <QStringView>
#include <QVariant>

#include <memory>

class Connection;
namespace storage {
class Statement;
class Store;
}

// Runs one statement of the connection's store and reads its rows as the datasets' columns
// want them. The prepared statement is the store's, taken for the reader's life and given back
// for the next reader of the same text.
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
    qint64 rowsLeft() const; // after next(): the rows known to follow without reading on; -1 unknown
    bool isNull(int column) const;
    QVariant value(int column, ColumnType type) const;
    qint64 integer(int column) const;
    // The column's text without a copy, valid until the next row; empty for null.
    QStringView text(int column) const;
    bool isText(int column) const; // stored as text
    // The column's text into out, reusing its memory; as value() gives it.
    void textInto(int column, QString& out) const;

    // A value as statements bind it: null, an integer, a real, or text in the columns' stored form.
    static QVariant boundForm(const QVariant& value);

private:
    void bind(int index, const QVariant& value);

    storage::Store* m_store;
    mutable QStringDecoder m_utf8{QStringDecoder::Utf8,
                                  QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
    QByteArray m_sql;
    std::unique_ptr<storage::Statement> m_statement;
};
