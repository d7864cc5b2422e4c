#include "Dataset.h"

#include "Connection.h"
#include "data/DataError.h"
#include "DataSource.h"

#include <algorithm>

// The columns: what the schema holds, the values of a row, the lookups and the walks.

namespace {
// The row identity of a table, under a name no column of the file has.
const QString kRowId = QStringLiteral("__rowid");

QString keyText(const QVariant& v)
{
    return v.isNull() ? QString() : v.toString();
}
} // namespace

void Dataset::schemaFail(const QString& table, const QString& column) const
{
    throw DataError(QString("%1 is damaged or was made for another program: the table %2 has no column %3.")
                        .arg(m_connection->fileName(), table, column));
}

// Every column this dataset names must be in the schema before a row is read: a missing one
// stops start-up with its name instead of failing at every keystroke, or worse.
void Dataset::checkSchema()
{
    auto hasColumn = [](const QVector<Column>& columns, const QString& name) {
        return std::any_of(columns.begin(), columns.end(),
                           [&](const Column& c) { return c.name.compare(name, Qt::CaseInsensitive) == 0; });
    };
    for (auto it = m_required.cbegin(); it != m_required.cend(); ++it) {
        const QVector<Column> columns = m_connection->tableColumns(it.key());
        for (const QString& name : it.value())
            if (!hasColumn(columns, name))
                schemaFail(it.key(), name);
    }
    if (m_table.isEmpty())
        return;
    const QVector<Column> columns = m_connection->tableColumns(m_table);
    QStringList needed = m_declared + m_sort;
    if (m_master)
        needed << m_linkColumn;
    for (const Lookup& l : m_lookups)
        needed << l.keyColumnName;
    for (const QString& name : needed)
        if (!hasColumn(columns, name))
            schemaFail(m_table, name);
    if (m_master && m_master->dataset() && m_master->dataset()->isActive()
        && !m_master->dataset()->hasColumn(m_linkColumn))
        schemaFail(m_master->dataset()->tableName(), m_linkColumn);
}

void Dataset::checkLookups() const
{
    if (!isActive())
        return;
    for (const Lookup& l : m_lookups) {
        const Dataset* other = l.dataset;
        if (!other->isActive())
            continue;
        for (const QString& name : {l.lookupKey, l.resultColumn})
            if (!other->hasColumn(name))
                schemaFail(other->tableName().isEmpty() ? other->name() : other->tableName(), name);
    }
}

// ---- reading ---------------------------------------------------------------------------------

void Dataset::buildColumns(const QStringList& resultNames)
{
    m_columns.clear();
    m_columnIndex.clear();
    QVector<Column> tableCols;
    const QString table = m_table.isEmpty() ? m_updateTable : m_table;
    if (!table.isEmpty())
        tableCols = m_connection->tableColumns(table);
    for (const QString& n : resultNames) {
        Column c;
        c.name = n;
        for (const Column& t : tableCols) {
            if (t.name.compare(n, Qt::CaseInsensitive) == 0) {
                c = t;
                c.name = n;
                break;
            }
        }
        if (m_sizeOverrides.contains(n))
            c.size = m_sizeOverrides.value(n);
        m_columnIndex.insert(n, m_columns.size());
        m_columns.push_back(c);
    }
    if (!m_table.isEmpty()) {
        Column id;
        id.name = kRowId;
        id.type = ColumnType::Integer;
        id.readOnly = true;
        m_identity = m_columns.size();
        m_columnIndex.insert(kRowId, m_identity);
        m_columns.push_back(id);
    } else {
        m_identity = m_keyColumnName.isEmpty() ? -1 : m_columnIndex.value(m_keyColumnName, -1);
    }
    if (m_columns.size() > Row::kMaxColumns)
        fail("too many columns");
    for (Lookup& l : m_lookups) {
        l.keyColumn = m_columnIndex.value(l.keyColumnName, -1);
        m_columnIndex.insert(l.name, m_columns.size() + int(&l - m_lookups.data()));
    }
    m_changedColumns.assign(m_columns.size(), false);

    RowSnapshot::Layout layout;
    layout.table = m_table;
    layout.columns = m_columns;
    layout.identity = m_identity;
    for (const QString& name : std::as_const(m_sort))
        layout.sortKeys << columnIndex(name);
    for (const QString& name : std::as_const(m_keptNames))
        layout.kept << columnIndex(name);
    layout.search = columnIndex(m_searchColumn);
    if (m_master) {
        layout.linkColumn = m_linkColumn;
        layout.link = columnIndex(m_linkColumn);
    }
    m_rows.setLayout(std::move(layout));
}

QStringList Dataset::tableColumnNames() const
{
    if (!m_declared.isEmpty())
        return m_declared;
    QStringList names;
    for (const Column& c : m_connection->tableColumns(m_table))
        names << c.name;
    return names;
}

// ---- columns ---------------------------------------------------------------------------------

int Dataset::columnIndex(const QString& column) const
{
    return m_columnIndex.value(column, -1);
}

bool Dataset::hasColumn(const QString& column) const { return m_columnIndex.contains(column); }

QStringList Dataset::columnNames() const
{
    QStringList names;
    for (const Column& c : m_columns)
        if (c.name != kRowId)
            names << c.name;
    for (const Lookup& l : m_lookups)
        names << l.name;
    return names;
}

int Dataset::columnSize(const QString& column) const
{
    const int i = columnIndex(column);
    return (i >= 0 && i < m_columns.size()) ? m_columns[i].size : 0;
}

QVariant Dataset::value(const QString& column) const
{
    const int i = columnIndex(column);
    if (i < 0)
        fail(QString("Field '%1' not found").arg(column));
    return value(i);
}

QVariant Dataset::value(int column) const
{
    if (!isActive())
        return {};
    ensureLoaded();
    if (m_rows.empty())
        return {};
    return valueAt(recNo(), column);
}

QVariant Dataset::valueAt(int row, int column) const
{
    ensureLoaded();
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column >= m_columns.size() + m_lookups.size())
        return {};
    if (column >= m_columns.size()) {
        const Lookup& l = m_lookups[column - m_columns.size()];
        if (l.keyColumn < 0)
            return {};
        return l.dataset->findValue(l.lookupKey, valueAt(row, l.keyColumn), l.resultColumn);
    }
    if (const QVariant* v = m_rows.inMemory(m_rows[row], column))
        return *v;
    return m_rows.fullRow(row).value(column);
}

QVariant Dataset::findValue(const QString& keyColumn, const QVariant& key, const QString& resultColumn) const
{
    if (!isActive() || key.isNull())
        return {};
    ensureLoaded();
    const int k = columnIndex(keyColumn);
    const int r = columnIndex(resultColumn);
    if (k < 0 || r < 0)
        return {};
    auto it = m_lookupIndex.find(keyColumn);
    if (it == m_lookupIndex.end()) {
        QHash<QString, int> index;
        for (int i = int(m_rows.size()) - 1; i >= 0; --i)
            index.insert(keyText(valueAt(i, k)), i);
        it = m_lookupIndex.insert(keyColumn, index);
    }
    const int row = it->value(keyText(key), -1);
    return row < 0 ? QVariant() : valueAt(row, r);
}

void Dataset::walk(const QVector<int>& columns, const Visitor& visit) const
{
    walk(columns, [&visit](int row, const std::vector<QVariant>& values) {
        visit(row, values);
        return false;
    }, {}, {});
}

void Dataset::walk(const QVector<int>& tested, const Test& test, const QVector<int>& extra, const Visitor& take) const
{
    if (!isActive())
        return;
    ensureLoaded();
    if (m_rows.canStream(tested + extra)) {
        m_rows.stream(tested, test, extra, take);
        return;
    }
    std::vector<QVariant> values(tested.size());
    std::vector<QVariant> more(extra.size());
    for (int i = 0; i < m_rows.size(); ++i) {
        for (int k = 0; k < tested.size(); ++k)
            values[k] = valueAt(i, tested[k]);
        if (!test(i, values))
            continue;
        for (int k = 0; k < extra.size(); ++k)
            more[k] = valueAt(i, extra[k]);
        take(i, more);
    }
}

std::vector<int> Dataset::rowsDatedOn(const QString& dateColumn, const QString& switchColumn, int month, int day) const
{
    if (!isActive())
        return {};
    ensureLoaded();
    return m_rows.rowsDatedOn(columnIndex(dateColumn), columnIndex(switchColumn), month, day);
}

void Dataset::prefetchRows(const std::vector<int>& rows) const
{
    if (!isActive())
        return;
    try {
        ensureLoaded();
        m_rows.prefetch(rows);
    } catch (const DataError&) {
        // Each row is read alone when asked for, and a failure is told of there.
    }
}
