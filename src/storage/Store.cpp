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

qint64 Store::insert(const QString& table, const QStringList& quotedColumns, const QVariantList& values)
{
    const QString sql = quotedColumns.isEmpty()
                            ? "INSERT INTO " + table + " DEFAULT VALUES"
                            : "INSERT INTO " + table + " (" + quotedColumns.join(", ") + ") VALUES ("
                                  + QStringList(quotedColumns.size(), QStringLiteral("?")).join(", ") + ")";
    exec(sql.toUtf8(), values);
    return lastInsertId();
}

void Store::insertRows(const QString& table, const QStringList& quotedColumns, const Rows& rows)
{
    const QByteArray sql = ("INSERT INTO " + table + " (" + quotedColumns.join(", ") + ") VALUES ("
                            + QStringList(quotedColumns.size(), QStringLiteral("?")).join(", ") + ")")
                               .toUtf8();
    Prepared s(*this, sql);
    for (int r = 0; r < rows.count(); ++r) {
        s->reset();
        for (int c = 0; c < rows.width(); ++c) {
            const QVariant& v = rows.at(r, c);
            if (!v.isNull() && v.typeId() == QMetaType::QString)
                s->bindTextInPlace(c + 1, *static_cast<const QString*>(v.constData()));
            else
                s->bind(c + 1, v);
        }
        s->run();
    }
    s->reset();
}

qint64 Store::nextKey(const QString& table, const QString& key)
{
    // The write lock keeps the highest key where it is until the commit.
    Prepared s(*this, ("SELECT coalesce(max(" + key + "), 0) + 1 FROM " + table).toUtf8());
    return s->step() ? s->integer(0) : 1;
}

UpdateOutcome Store::update(const RowUpdate& change)
{
    QStringList sets;
    for (const QString& c : change.columns)
        sets << c + " = ?";
    QString sql = "UPDATE " + change.table + " SET " + sets.join(", ") + " WHERE " + change.key + " = ?";
    QVariantList values = change.values;
    values << change.keyValue;
    for (int i = 0; i < change.expectedColumns.size(); ++i) {
        sql += " AND " + sameAs(change.expectedColumns[i], "?");
        values << change.expectedValues.value(i);
    }
    if (!change.returning.isEmpty() && change.returned) {
        sql += " RETURNING " + change.returning.join(", ");
        Prepared s(*this, sql.toUtf8());
        for (int i = 0; i < values.size(); ++i)
            s->bind(i + 1, values[i]);
        const bool written = s->step();
        if (written) {
            change.returned->clear();
            for (int i = 0; i < change.returning.size(); ++i)
                change.returned->push_back(s->value(i));
        }
        s->reset();
        if (written)
            return UpdateOutcome::Written;
    } else {
        exec(sql.toUtf8(), values);
        if (changes() > 0)
            return UpdateOutcome::Written;
    }
    Prepared there(*this, ("SELECT 1 FROM " + change.table + " WHERE " + change.key + " = ?").toUtf8());
    there->bind(1, change.keyValue);
    return there->step() ? UpdateOutcome::Changed : UpdateOutcome::Gone;
}

QString Store::joinedKeys(const QVector<qint64>& keys, QChar open, QChar close)
{
    QString list(open);
    for (qint64 key : keys) {
        if (list.size() > 1)
            list += ',';
        list += QString::number(key);
    }
    return list + close;
}

} // namespace storage
