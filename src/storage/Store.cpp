#include "Store.h"

namespace storage {

void Statement::bind(int index, const QVariant& value)
{
    if (value.isNull() || !value.isValid()) {
        bindNull(index);
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Bool:
        bindInteger(index, value.toLongLong());
        break;
    case QMetaType::Double:
        bindReal(index, value.toDouble());
        break;
    case QMetaType::QByteArray:
        bindBlob(index, value.toByteArray());
        break;
    default:
        bindText(index, value.toString());
    }
}

QVariant Statement::value(int column) const
{
    switch (type(column)) {
    case ValueType::Null: return {};
    case ValueType::Integer: return qlonglong(integer(column));
    case ValueType::Real: return real(column);
    case ValueType::Blob: return blob(column);
    case ValueType::Text: break;
    }
    return text(column);
}

void Store::exec(const QByteArray& sql, const QVariantList& values)
{
    Prepared s(*this, sql);
    for (int i = 0; i < values.size(); ++i)
        s->bind(i + 1, values[i]);
    s->run();
}

} // namespace storage
