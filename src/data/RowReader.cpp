#include "RowReader.h"

#include "Connection.h"
#include "data/DataError.h"
#include "storage/Store.h"

RowReader::RowReader(Connection& connection, const QString& sql, const QVariantList& positional,
                     const QHash<QString, QVariant>& named)
    : m_store(&connection.store())
{
    m_sql = sql.toUtf8();
    m_statement = m_store->prepare(m_sql);
    for (int i = 0; i < positional.size(); ++i)
        bind(i + 1, positional[i]);
    for (auto it = named.constBegin(); it != named.constEnd(); ++it) {
        const int index = m_statement->parameterIndex((":" + it.key()).toUtf8());
        if (index > 0)
            bind(index, it.value());
    }
}

// The store keeps it for the next reader, unless it was closed or opened again meanwhile.
RowReader::~RowReader() { m_store->giveBack(m_sql, std::move(m_statement)); }

QVariant RowReader::boundForm(const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::Bool:
        return qlonglong(value.toLongLong());
    case QMetaType::Double:
        return value.toDouble();
    default: // dates and the rest as the columns store them
        return ColumnValue::toDatabase(value, ColumnType::Any).toString();
    }
}

void RowReader::bind(int index, const QVariant& value)
{
    const QVariant v = boundForm(value);
    switch (v.metaType().id()) {
    case QMetaType::LongLong:
        m_statement->bindInteger(index, v.toLongLong());
        break;
    case QMetaType::Double:
        m_statement->bindReal(index, v.toDouble());
        break;
    case QMetaType::QString:
        m_statement->bindText(index, v.toString());
        break;
    default:
        m_statement->bindNull(index);
    }
}

QStringList RowReader::columnNames() const
{
    QStringList names;
    for (int i = 0; i < m_statement->columnCount(); ++i)
        names << m_statement->columnName(i);
    return names;
}

bool RowReader::next() { return m_statement->step(); }
qint64 RowReader::rowsLeft() const { return m_statement->rowsLeft(); }

bool RowReader::isNull(int column) const { return m_statement->isNull(column); }

QVariant RowReader::value(int column, ColumnType type) const
{
    if (m_statement->type(column) == storage::ValueType::Text) {
        QString raw;
        textInto(column, raw);
        if (type == ColumnType::Text || type == ColumnType::Any)
            return raw;
        return ColumnValue::fromDatabase(raw, type);
    }
    const QVariant raw = m_statement->value(column);
    if (raw.isNull())
        return {};
    return ColumnValue::fromDatabase(raw, type);
}

qint64 RowReader::integer(int column) const { return m_statement->integer(column); }

QStringView RowReader::text(int column) const { return m_statement->utf16(column); }

bool RowReader::isText(int column) const { return m_statement->type(column) == storage::ValueType::Text; }

void RowReader::textInto(int column, QString& out) const
{
    const QByteArrayView text = m_statement->utf8(column);
    out.resize(text.size()); // never fewer UTF-16 units than UTF-8 bytes
    QChar* end = m_utf8.appendToBuffer(out.data(), text);
    out.truncate(end - out.constData());
}
