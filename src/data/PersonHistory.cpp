#include "PersonHistory.h"

#include "Connection.h"
#include "RowReader.h"
#include "SqliteError.h"
#include "Trash.h"
#include "data/DataError.h"

#include <sqlite3.h>

namespace PersonHistory {
namespace {
[[noreturn]] void fail(Connection& c)
{
    sqlite3* db = c.handle();
    throw DataError(SqliteError::describe(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)),
                                          c.fileName()));
}

// Stored values are equal when SQLite would keep the same thing: same type, same bytes.
bool same(sqlite3_value* a, sqlite3_value* b)
{
    const int type = sqlite3_value_type(a);
    if (type != sqlite3_value_type(b))
        return false;
    switch (type) {
    case SQLITE_NULL: return true;
    case SQLITE_INTEGER: return sqlite3_value_int64(a) == sqlite3_value_int64(b);
    case SQLITE_FLOAT: return sqlite3_value_double(a) == sqlite3_value_double(b);
    default: {
        const int n = sqlite3_value_bytes(a);
        const void* pa = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(a)) : sqlite3_value_blob(a);
        const void* pb = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(b)) : sqlite3_value_blob(b);
        return n == sqlite3_value_bytes(b) && (n == 0 || memcmp(pa, pb, size_t(n)) == 0);
    }
    }
}

void freeAll(std::vector<sqlite3_value*>& values)
{
    for (sqlite3_value* v : values)
        sqlite3_value_free(v);
    values.clear();
}

bool hasTable(sqlite3* db)
{
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'PeopleHistory'", -1, &s,
                           nullptr)
        != SQLITE_OK)
        return false;
    const bool found = sqlite3_step(s) == SQLITE_ROW;
    sqlite3_finalize(s);
    return found;
}
} // namespace

bool available(Connection& c) { return c.handle() && hasTable(c.handle()); }

Save::Save(Connection& c, const QString& table, const QString& keyColumn, const QVariant& identity,
           const QStringList& columns, bool overOthers)
    : m_c(c), m_identity(identity), m_overOthers(overOthers)
{
    if (table.compare("People", Qt::CaseInsensitive) != 0 || !c.handle() || !hasTable(c.handle()))
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
    const QString key = keyColumn.startsWith('"') || keyColumn == "rowid" ? keyColumn : Connection::quote(keyColumn);
    m_select = ("SELECT " + quoted.join(", ") + " FROM \"People\" WHERE " + key + " = ?").toUtf8();
    m_active = readRow(m_before);
}

Save::~Save() { freeAll(m_before); }

bool Save::readRow(std::vector<sqlite3_value*>& into)
{
    sqlite3_stmt* s = m_c.takeStatement(m_select);
    if (!s)
        fail(m_c);
    if (m_identity.metaType().id() == QMetaType::QString)
        sqlite3_bind_text(s, 1, m_identity.toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
    else
        sqlite3_bind_int64(s, 1, m_identity.toLongLong());
    const int rc = sqlite3_step(s);
    const bool found = rc == SQLITE_ROW;
    if (found) {
        m_personId = sqlite3_column_int64(s, 0);
        for (int i = 1; i <= m_columns.size(); ++i)
            into.push_back(sqlite3_value_dup(sqlite3_column_value(s, i)));
    }
    m_c.returnStatement(m_select, s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(m_c);
    return found;
}

void Save::written()
{
    if (!m_active)
        return;
    std::vector<sqlite3_value*> after;
    struct Guard {
        std::vector<sqlite3_value*>& v;
        ~Guard() { freeAll(v); }
    } guard{after};
    if (!readRow(after))
        return; // the row is gone: the save writes nothing, and its caller says so
    static const QByteArray insert =
        "INSERT INTO \"PeopleHistory\" (\"PersonID\", \"ChangedAt\", \"ChangedBy\", \"Field\", \"OldValue\", "
        "\"NewValue\", \"OverOthers\") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)";
    const QByteArray at = Trash::stamp(Trash::now()).toUtf8();
    // In team mode the server's login would be recorded; the local file knows the computer's user.
    const QByteArray by = Trash::userName().toUtf8();
    sqlite3_stmt* s = nullptr;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (same(m_before[size_t(i)], after[size_t(i)]))
            continue;
        if (!s && !(s = m_c.takeStatement(insert)))
            fail(m_c);
        const QByteArray field = m_columns[i].toUtf8();
        sqlite3_bind_int64(s, 1, m_personId);
        sqlite3_bind_text(s, 2, at.constData(), int(at.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, by.constData(), int(by.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 4, field.constData(), int(field.size()), SQLITE_TRANSIENT);
        sqlite3_bind_value(s, 5, m_before[size_t(i)]);
        sqlite3_bind_value(s, 6, after[size_t(i)]);
        sqlite3_bind_int(s, 7, m_overOthers ? 1 : 0);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) {
            m_c.returnStatement(insert, s);
            fail(m_c);
        }
    }
    if (s) {
        m_c.returnStatement(insert, s);
        m_c.noteWrite("PeopleHistory");
    }
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
