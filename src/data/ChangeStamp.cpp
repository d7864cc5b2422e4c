#include "ChangeStamp.h"

#include "Connection.h"
#include "RowReader.h"
#include "Trash.h"
#include "storage/Store.h"

namespace ChangeStamp {

QDateTime Stamp::when() const { return known() ? Trash::fromStamp(at) : QDateTime(); }

bool kept(Connection& c, const QString& table)
{
    if (table.compare("People", Qt::CaseInsensitive) != 0 || !c.isOpen())
        return false;
    int found = 0;
    for (const Column& column : c.tableColumns(table))
        if (column.name.compare("ChangedBy", Qt::CaseInsensitive) == 0
            || column.name.compare("ChangedAt", Qt::CaseInsensitive) == 0)
            ++found;
    return found == 2;
}

Stamp current(Connection& c)
{
    // The server store will give its own clock here, so that a team's copies agree on the order
    // of their changes whatever their computers' clocks say.
    return {c.userName(), Trash::stamp(Trash::now())};
}

void add(Connection& c, const QString& table, QStringList& quotedColumns, QVariantList& values)
{
    if (!kept(c, table))
        return;
    const Stamp now = current(c);
    for (const char* name : {"ChangedBy", "ChangedAt"}) {
        const QString quoted = Connection::quote(name);
        const qsizetype at = quotedColumns.indexOf(quoted);
        const QString value = name[7] == 'B' ? now.by : now.at;
        if (at >= 0) {
            values[at] = value;
        } else {
            quotedColumns << quoted;
            values << value;
        }
    }
}

Stamp stored(Connection& c, const QString& table, const QString& keyColumn, const QVariant& identity)
{
    if (!kept(c, table) || identity.isNull())
        return {};
    const QString key = keyColumn.startsWith('"') || keyColumn == c.store().rowKey(table) ? keyColumn
                                                                                        : Connection::quote(keyColumn);
    RowReader r(c, "SELECT \"ChangedBy\", \"ChangedAt\" FROM " + Connection::quote(table) + " WHERE " + key + " = ?",
                {identity});
    if (!r.next() || r.isNull(0) || r.isNull(1))
        return {};
    return {r.value(0, ColumnType::Text).toString(), r.value(1, ColumnType::Text).toString()};
}

Stamp otherWriter(Connection& c, const Stamp& atEditStart, const Stamp& now)
{
    if (!now.known() || now == atEditStart || now.by == c.userName())
        return {};
    return now;
}

} // namespace ChangeStamp
