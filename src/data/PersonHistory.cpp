#include "PersonHistory.h"

#include "Connection.h"
#include "RowReader.h"
#include "Trash.h"
#include "data/DataError.h"
#include "storage/Store.h"

namespace PersonHistory {
namespace {
// Stored values are equal when the database would keep the same thing: same type, same value.
bool same(const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.metaType() == b.metaType() && a == b;
}

bool hasTable(Connection& c)
{
    return c.isOpen() && c.store().tables().contains("PeopleHistory", Qt::CaseInsensitive);
}
} // namespace

bool available(Connection& c) { return hasTable(c); }

Save::Save(Connection& c, const QString& table, const QString& keyColumn, const QVariant& identity,
           const QStringList& columns, bool overOthers)
    : m_c(c), m_identity(identity), m_overOthers(overOthers)
{
    if (table.compare("People", Qt::CaseInsensitive) != 0 || !hasTable(c))
        return;
    QStringList quoted{"\"PersonID\""};
    for (const QString& column : columns) {
        if (column.compare("PersonID", Qt::CaseInsensitive) == 0)
            continue;
        m_columns << column;
        quoted << Connection::quote(column);
    }
    if (m_columns.isEmpty())
        return;
    m_quoted = quoted;
    const QString key = keyColumn.startsWith('"') || keyColumn == c.store().rowKey(table) ? keyColumn : Connection::quote(keyColumn);
    m_select = ("SELECT " + quoted.join(", ") + " FROM \"People\" WHERE " + key + " = ?").toUtf8();
    m_active = readRow(m_before);
}

Save::~Save() = default;

bool Save::readRow(std::vector<QVariant>& into)
{
    storage::Prepared s(m_c.store(), m_select);
    if (m_identity.metaType().id() == QMetaType::QString)
        s->bindText(1, m_identity.toString());
    else
        s->bindInteger(1, m_identity.toLongLong());
    if (!s->step())
        return false;
    m_personId = s->integer(0);
    for (int i = 1; i <= m_columns.size(); ++i)
        into.push_back(s->value(i));
    return true;
}

void Save::readBack(storage::RowUpdate& update)
{
    if (!m_active)
        return;
    update.returning = m_quoted;
    update.returned = &m_returned;
}

void Save::written()
{
    if (!m_active)
        return;
    std::vector<QVariant> after;
    if (m_returned.size() == size_t(m_columns.size()) + 1) {
        after.assign(m_returned.begin() + 1, m_returned.end());
    } else if (!readRow(after)) {
        return; // the row is gone: the save writes nothing, and its caller says so
    }
    const QString at = Trash::stamp(Trash::now());
    const QString by = m_c.userName(); // the server's login, or the computer's user on the file
    // The columns the save changed, in one statement: one exchange with a server however many.
    storage::Rows rows(7);
    for (int i = 0; i < m_columns.size(); ++i) {
        if (same(m_before[size_t(i)], after[size_t(i)]))
            continue;
        rows.addInteger(m_personId);
        rows.addText(at);
        rows.addText(by);
        rows.addText(m_columns[i]);
        rows.add(m_before[size_t(i)]); // as stored
        rows.add(after[size_t(i)]);
        rows.addInteger(m_overOthers ? 1 : 0);
    }
    if (rows.count() == 0)
        return;
    m_c.store().insertRows("\"PeopleHistory\"", {"\"PersonID\"", "\"ChangedAt\"", "\"ChangedBy\"", "\"Field\"",
                                                 "\"OldValue\"", "\"NewValue\"", "\"OverOthers\""},
                           rows);
    m_c.noteWrite("PeopleHistory");
}

QVector<Entry> entries(Connection& c, qint64 personId)
{
    QVector<Entry> out;
    if (!available(c))
        return out;
    QHash<QString, ColumnType> types;
    for (const Column& column : c.tableColumns("People"))
        types.insert(column.name.toLower(), column.type);
    RowReader q(c,
                "SELECT \"HistoryID\", \"ChangedAt\", \"ChangedBy\", \"Field\", \"OldValue\", \"NewValue\", "
                "\"OverOthers\" FROM \"PeopleHistory\" WHERE \"PersonID\" = ? ORDER BY \"HistoryID\" DESC",
                {personId});
    while (q.next()) {
        Entry e;
        e.id = q.integer(0);
        e.when = Trash::fromStamp(q.value(1, ColumnType::Text).toString());
        e.by = q.value(2, ColumnType::Text).toString();
        e.column = q.value(3, ColumnType::Text).toString();
        const ColumnType type = types.value(e.column.toLower(), ColumnType::Any);
        e.oldValue = q.isNull(4) ? QVariant() : q.value(4, type);
        e.newValue = q.isNull(5) ? QVariant() : q.value(5, type);
        e.overOthers = q.integer(6) != 0;
        out << e;
    }
    return out;
}

} // namespace PersonHistory
