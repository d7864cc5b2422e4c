#include "RowReader.h"

#include "Connection.h"
#include "SqliteError.h"
#include "data/DataError.h"

#include <sqlite3.h>

RowReader::RowReader(Connection& connection, const QString& sql, const QVariantList& positional,
                     const QHash<QString, QVariant>& named)
    : m_connection(&connection)
{
    m_handle = connection.handle();
    m_fileName = connection.fileName();
    if (!m_handle)
        throw DataError("The database connection is not open.");
    m_sql = sql.toUtf8();
    m_statement = connection.takeStatement(m_sql);
    if (!m_statement)
        fail();
    for (int i = 0; i < positional.size(); ++i)
        bind(i + 1, positional[i]);
    for (auto it = named.constBegin(); it != named.constEnd(); ++it) {
        const int index = sqlite3_bind_parameter_index(m_statement, (":" + it.key()).toUtf8().constData());
        if (index > 0)
            bind(index, it.value());
    }
}

RowReader::~RowReader()
{
    // The connection keeps it for the next reader, unless it was closed meanwhile.
    if (m_statement && m_connection->handle() == m_handle)
        m_connection->returnStatement(m_sql, m_statement);
    else
        sqlite3_finalize(m_statement);
}

void RowReader::fail() const
{
    auto* db = static_cast<sqlite3*>(m_handle);
    throw DataError(SqliteError::describe(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)), m_fileName));
}

void RowReader::bind(int index, const QVariant& value)
{
    int rc;
    if (value.isNull() || !value.isValid()) {
        rc = sqlite3_bind_null(m_statement, index);
    } else {
        switch (value.metaType().id()) {
        case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::Bool:
            rc = sqlite3_bind_int64(m_statement, index, value.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(m_statement, index, value.toDouble());
            break;
        default: {
            const QByteArray text = ColumnValue::toDatabase(value, ColumnType::Any).toString().toUtf8();
            rc = sqlite3_bind_text(m_statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK)
        fail();
}

QStringList RowReader::columnNames() const
{
    QStringList names;
    for (int i = 0; i < sqlite3_column_count(m_statement); ++i)
        names << QString::fromUtf8(sqlite3_column_name(m_statement, i));
    return names;
}

bool RowReader::next()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail();
}

bool RowReader::isNull(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }

QVariant RowReader::value(int column, ColumnType type) const
{
    QVariant raw;
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        raw = QVariant(qlonglong(sqlite3_column_int64(m_statement, column)));
        break;
    case SQLITE_FLOAT:
        raw = QVariant(sqlite3_column_double(m_statement, column));
        break;
    case SQLITE_BLOB:
        raw = QByteArray(static_cast<const char*>(sqlite3_column_blob(m_statement, column)),
                         sqlite3_column_bytes(m_statement, column));
        break;
    default: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        raw = QString::fromUtf8(text, sqlite3_column_bytes(m_statement, column));
        if (type == ColumnType::Text || type == ColumnType::Any)
            return raw;
    }
    }
    return ColumnValue::fromDatabase(raw, type);
}

qint64 RowReader::integer(int column) const { return sqlite3_column_int64(m_statement, column); }

QStringView RowReader::text(int column) const
{
    const void* text = sqlite3_column_text16(m_statement, column);
    if (!text)
        return {};
    return QStringView(static_cast<const char16_t*>(text), sqlite3_column_bytes16(m_statement, column) / 2);
}

bool RowReader::isText(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_TEXT; }

void RowReader::textInto(int column, QString& out) const
{
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    const int bytes = sqlite3_column_bytes(m_statement, column);
    out.resize(bytes); // never fewer UTF-16 units than UTF-8 bytes
    QChar* end = m_utf8.appendToBuffer(out.data(), QByteArrayView(text, bytes));
    out.truncate(end - out.constData());
}
