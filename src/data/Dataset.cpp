#include "Dataset.h"

#include "Connection.h"
#include "data/DataError.h"
#include "DataSource.h"
#include "PersonHistory.h"
#include "RowReader.h"

#include <QPointer>

#include <algorithm>
#include <optional>
#include <limits>

namespace {
// A row identity as a number, read in place for the integers that identities are.
inline qint64 keyOf(const QVariant* v)
{
    if (!v)
        return std::numeric_limits<qint64>::min();
    switch (v->metaType().id()) {
    case QMetaType::Int:
        return *static_cast<const int*>(v->constData());
    case QMetaType::LongLong:
        return *static_cast<const qlonglong*>(v->constData());
    default:
        return v->toLongLong();
    }
}

const QString kRowId = QStringLiteral("__rowid");

QString keyText(const QVariant& v)
{
    return v.isNull() ? QString() : v.toString();
}
} // namespace

Dataset::Dataset(const QString& name, Connection* connection, QObject* parent)
    : QObject(parent), m_name(name), m_connection(connection)
{
    setObjectName(name);
}

Dataset::~Dataset() = default;

void Dataset::setTable(const QString& table) { m_table = table; m_sql.clear(); }
void Dataset::setQuery(const QString& sql) { m_sql = sql; m_table.clear(); }
void Dataset::setUpdateTable(const QString& table, const QString& keyColumn)
{
    m_updateTable = table;
    m_keyColumnName = keyColumn;
}
void Dataset::setDeclaredColumns(const QStringList& columns) { m_declared = columns; }
void Dataset::setRequiredColumns(const QString& table, const QStringList& columns) { m_required.insert(table, columns); }
void Dataset::setColumnSize(const QString& column, int size) { m_sizeOverrides.insert(column, size); }
void Dataset::setSort(const QStringList& columns) { m_sort = columns; }
void Dataset::setParameter(const QString& name, const QVariant& value) { m_params.insert(name, value); }

void Dataset::setMaster(DataSource* master, const QString& linkColumn)
{
    m_master = master;
    m_linkColumn = linkColumn;
    if (m_sort.isEmpty())
        m_sort = QStringList{linkColumn};
    // Followed by a direct call, not a signal: what a detail throws while it follows (a post
    // refused) reaches the code that moved the master, and views hear of a move only after
    // every detail has followed it.
    if (Dataset* ds = master->dataset())
        ds->m_details.push_back(this);
}

void Dataset::noteRows(RowChange::Kind kind, int row)
{
    // Two changes before one announcement are more than a view can be told row by row.
    m_rowChange = m_rowChange ? RowChange{RowChange::Reset, -1} : RowChange{kind, row};
}

void Dataset::noteReload(size_t rowsBefore)
{
    // The same number of rows read again is repainted; rows that came or went start the view anew.
    if (m_rows.size() != rowsBefore)
        noteRows(RowChange::Reset);
}

void Dataset::announceChanged()
{
    if (m_needsLoad)
        m_rowChange = RowChange{RowChange::Reset, -1}; // the rows are read again when first asked for
    if (m_rowChange) {
        const RowChange change = *m_rowChange;
        m_rowChange.reset();
        emit rowsChanged(change);
    }
    emit changed();
}

void Dataset::announceMoved()
{
    const auto details = m_details; // a detail that goes meanwhile is null in the copy
    for (const QPointer<Dataset>& detail : details)
        if (detail)
            detail->masterMoved();
    emit moved();
}

void Dataset::addLookup(const QString& name, const QString& keyColumn, Dataset* lookup,
                        const QString& lookupKey, const QString& resultColumn)
{
    m_lookups.push_back(Lookup{name, keyColumn, -1, lookup, lookupKey, resultColumn});
    lookup->keepColumn(lookupKey); // found by it
    // Redisplay when the looked-up rows change.
    connect(lookup, &Dataset::changed, this, [this] { if (isActive()) announceChanged(); });
}

[[noreturn]] void Dataset::fail(const QString& text) const
{
    throw DataError(m_name + ": " + text);
}

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

void Dataset::requireActive() const
{
    if (m_state == DatasetState::Inactive)
        fail("Cannot perform this operation on a closed dataset");
}

QVariant Dataset::masterLinkValue() const
{
    if (!m_master || !m_master->dataset() || !m_master->dataset()->isActive()
        || m_master->dataset()->isEmpty())
        return {};
    return m_master->dataset()->value(m_linkColumn);
}

// ---- reading ---------------------------------------------------------------------------------

void Dataset::buildColumns(const QStringList& resultNames)
{
    m_columns.clear();
    m_columnIndex.clear();
    m_rowSelect.clear();
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

    // A table keeps in memory only what ordering and finding read.
    m_lazy = !m_table.isEmpty();
    m_keep.assign(m_columns.size(), !m_lazy);
    m_keptColumns.clear();
    m_search = m_alias = m_link = -1;
    if (!m_lazy)
        return;
    m_link = m_master ? m_columnIndex.value(m_linkColumn, -1) : -1;
    for (int i = 0; i < m_identity; ++i)
        if (m_columns[i].readOnly && m_columns[i].type == ColumnType::Integer)
            m_alias = i; // INTEGER PRIMARY KEY: the row identity itself
    auto keep = [&](const QString& name) {
        const int i = m_columnIndex.value(name, -1);
        if (i >= 0 && i < m_identity && i != m_alias && i != m_link)
            m_keep[i] = true;
    };
    for (const QString& name : std::as_const(m_sort))
        keep(name);
    for (const QString& name : std::as_const(m_keptNames))
        keep(name);
    for (int i = 0; i < m_identity; ++i)
        if (m_keep[i])
            m_keptColumns << i;
    m_keep[m_identity] = true;
    const int search = m_columnIndex.value(m_searchColumn, -1);
    if (search >= 0 && search < m_identity && !m_keep[search] && search != m_alias && search != m_link)
        m_search = search;
}

void Dataset::load()
{
    m_needsLoad = false;
    m_unreadable.clear();
    m_rows.clear();
    m_lookupIndex.clear();
    clearCache();
    m_foldedText.clear();
    QString sql;
    QVariantList positional;
    QStringList names;
    if (!m_table.isEmpty()) {
        names = tableColumnNames();
        buildColumns(names);
        sql = keptSelect();
        if (m_master) {
            sql += " WHERE " + Connection::quote(m_linkColumn) + " = ?";
            positional << m_linkValue;
        }
        // No order asked: an index that holds the kept columns serves, and they are put in
        // table order in memory.
        m_loadedVersion = m_connection->tableVersion(m_table);
        m_loadedExternal = m_connection->externalVersion();
        // Before the rows: a write between the two is then both read and logged after this.
        m_loadedSeq = m_lazy ? logPosition() : -1;
        if (m_master && m_linkValue.isNull())
            return; // nothing equals a null link
    } else {
        sql = m_sql;
    }
    RowReader reader(*m_connection, sql, positional, m_table.isEmpty() ? m_params : QHash<QString, QVariant>{});
    if (m_table.isEmpty())
        buildColumns(reader.columnNames());
    std::vector<QVariant> buffer;
    buffer.reserve(m_columns.size());
    if (m_lazy) {
        // Counted first (an index answers), so a million rows are not moved as they grow.
        RowReader count(*m_connection, "SELECT count(*) FROM" + sql.mid(sql.indexOf(" FROM") + 5), positional);
        if (count.next()) {
            const qint64 n = count.integer(0);
            // With room for people added later: one more is then no copy of a million.
            m_rows.reserve(size_t(n) + size_t(n) / 64 + 64);
            m_foldedText.reserve(m_search >= 0 ? size_t(n) * 16 : 0);
        }
        while (reader.next())
            m_rows.push_back(readKept(reader));
        // Room for the names of people added later, so that one more is no copy of them all.
        m_foldedText.reserve(m_foldedText.size() + (m_search >= 0 ? 65536 : 0));
    } else {
        while (reader.next())
            m_rows.push_back(readRow(reader, buffer));
    }
    sortRows();
}

// The kept columns in column order, the row identity, then the searched column.
QString Dataset::keptSelect() const
{
    QStringList quoted;
    for (int i : m_keptColumns)
        quoted << Connection::quote(m_columns[i].name);
    quoted << "rowid";
    if (m_search >= 0)
        quoted << Connection::quote(m_columns[m_search].name);
    return "SELECT " + quoted.join(", ") + " FROM " + Connection::quote(m_table);
}

Row Dataset::readKept(const RowReader& reader) const
{
    Row r;
    r.setComplete(false);
    int at = 0;
    for (int i : m_keptColumns) {
        if (!reader.isNull(at))
            r.append(i, reader.value(at, m_columns[i].type));
        ++at;
    }
    r.append(m_identity, ColumnValue::fromDatabase(QVariant(reader.integer(at)), ColumnType::Integer));
    if (m_search >= 0)
        self()->appendFolded(r, reader.text(at + 1), reader.isNull(at + 1));
    return r;
}

// Folded once, as a case-insensitive comparison folds every character it compares.
void Dataset::appendFolded(Row& r, QStringView text, bool null)
{
    if (null) {
        r.foldedLength = Row::kNoText;
        return;
    }
    r.foldedAt = quint32(m_foldedText.size());
    const qsizetype n = text.size();
    const char16_t* p = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, p[i + 1]));
            m_foldedText.push_back(QChar::highSurrogate(folded));
            m_foldedText.push_back(QChar::lowSurrogate(folded));
            ++i;
        } else {
            m_foldedText.push_back(char16_t(QChar::toCaseFolded(char32_t(c))));
        }
    }
    r.foldedLength = quint32(m_foldedText.size()) - r.foldedAt;
}

QStringView Dataset::foldedText(const Row& r) const
{
    if (r.foldedLength == Row::kNoText)
        return {};
    return QStringView(m_foldedText.data() + r.foldedAt, qsizetype(r.foldedLength));
}

// A value held in the row itself or known without reading it; nullptr when only the whole
// row read from the table has it.
const QVariant* Dataset::inMemory(const Row& r, int column) const
{
    static const QVariant null;
    if (!m_lazy || r.isComplete() || (column >= 0 && column < int(m_keep.size()) && m_keep[column])) {
        const QVariant* v = r.find(column);
        return v ? v : &null;
    }
    if (column == m_alias) {
        const QVariant* v = r.find(m_identity);
        return v ? v : &null;
    }
    if (column == m_link)
        return &m_linkValue; // every row read has it: they were chosen by it
    return nullptr;
}

const Row& Dataset::fullRow(int row) const
{
    const Row& r = m_rows[row];
    if (!m_lazy || r.isComplete())
        return r;
    const QVariant* id = r.find(m_identity);
    if (!id)
        return r;
    const qint64 key = id->toLongLong();
    auto it = m_cache.find(key);
    if (it != m_cache.end()) {
        it->second.used = ++m_cacheClock;
        return it->second.row;
    }
    Row whole;
    try {
        if (m_rowSelect.isEmpty())
            m_rowSelect = tableSelect() + " WHERE rowid = ?";
        RowReader reader(*m_connection, m_rowSelect, {*id});
        std::vector<QVariant> buffer;
        if (!reader.next())
            return r; // another user deleted it: only what is held is known
        whole = readRow(reader, buffer);
    } catch (const DataError& e) {
        // Not failing a repaint: the row is marked, never edited, and said once.
        m_unreadable.insert(key);
        if (!m_toldUnreadable) {
            m_toldUnreadable = true;
            auto* self = const_cast<Dataset*>(this);
            QMetaObject::invokeMethod(
                self, [self, key, why = e.text()] { emit self->unreadable(key, why); }, Qt::QueuedConnection);
        }
        return r;
    }
    // A small cache: the rows on screen and the ones just left.
    constexpr size_t kCapacity = 256;
    if (m_cache.size() >= kCapacity) {
        const quint64 oldest = m_cacheClock - kCapacity / 2;
        for (auto i = m_cache.begin(); i != m_cache.end();)
            i = i->second.used <= oldest ? m_cache.erase(i) : std::next(i);
    }
    auto& entry = m_cache[key];
    entry.row = std::move(whole);
    entry.used = ++m_cacheClock;
    return entry.row;
}

bool Dataset::isUnreadable(int row) const
{
    if (!m_lazy || row < 0 || row >= int(m_rows.size()) || m_rows[row].isComplete())
        return false;
    const QVariant* id = m_rows[row].find(m_identity);
    if (!id)
        return false;
    fullRow(row); // tried first: a row not read yet may well be whole
    return m_unreadable.count(id->toLongLong()) > 0;
}

void Dataset::clearCache() const
{
    m_cache.clear();
}

// Back to what ordering and finding need; the whole row stays in the cache as shown.
void Dataset::stripRow(int index)
{
    if (!m_lazy || index < 0 || index >= int(m_rows.size()))
        return;
    Row& r = m_rows[index];
    if (!r.isComplete())
        return;
    if (m_link >= 0 && ColumnValue::compare(r.value(m_link), m_linkValue) != 0)
        return; // moved to another master row: it keeps the value it holds
    Row kept;
    kept.setComplete(false);
    for (int i : m_keptColumns)
        if (const QVariant* v = r.find(i))
            kept.append(i, *v);
    const QVariant* id = r.find(m_identity);
    if (!id || id->isNull())
        return; // never written: it stays whole
    kept.append(m_identity, *id);
    if (m_search >= 0) {
        const QVariant* text = r.find(m_search);
        appendFolded(kept, text ? text->toString() : QString(), !text);
    }
    auto& entry = m_cache[id->toLongLong()];
    entry.row = std::move(r);
    entry.used = ++m_cacheClock;
    r = std::move(kept);
}

// Rows written by this dataset are held whole while they stand out of table order.
void Dataset::stripAll()
{
    if (!m_lazy)
        return;
    for (int i = 0; i < int(m_rows.size()); ++i)
        if (m_rows[i].isComplete() && !(isEditing() && i == m_current))
            stripRow(i);
}

// Held in table order: no sort column, or only the link that every row shares.
bool Dataset::orderedByIdentity() const
{
    if (!m_lazy || m_orderDirty)
        return false;
    for (const QString& s : m_sort)
        if (const int i = columnIndex(s); i >= 0 && i < m_columns.size() && i != m_link)
            return false;
    return true;
}

void Dataset::sortRows()
{
    QVector<int> keys;
    for (const QString& s : m_sort) {
        const int i = columnIndex(s);
        if (i >= 0 && i < m_columns.size() && !(m_lazy && i == m_link))
            keys << i; // every row read has the link value: it orders nothing
    }
    const int id = m_identity;
    if (m_lazy && keys.isEmpty()) {
        // Table order alone, by the identities as numbers: a million rows in a blink.
        m_orderDirty = false;
        std::vector<std::pair<qint64, int>> order(m_rows.size());
        bool sorted = true;
        for (int i = 0; i < int(m_rows.size()); ++i) {
            const qint64 key = keyOf(m_rows[i].find(id));
            order[i] = {key, i};
            sorted = sorted && (i == 0 || order[i - 1].first <= order[i].first);
        }
        if (!sorted) {
            std::stable_sort(order.begin(), order.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            std::vector<Row> rows;
            rows.reserve(m_rows.capacity()); // the room left for people added later stays
            for (const auto& o : order)
                rows.push_back(std::move(m_rows[o.second]));
            m_rows = std::move(rows);
        }
        stripAll();
        return;
    }
    auto at = [this](const Row& r, int col) -> const QVariant& {
        const QVariant* v = inMemory(r, col);
        static const QVariant null;
        return v ? *v : null; // sort columns are always held
    };
    auto less = [&](const Row& a, const Row& b) {
        for (int k : keys) {
            const int c = ColumnValue::compare(at(a, k), at(b, k));
            if (c != 0)
                return c < 0;
        }
        if (id >= 0 && !m_table.isEmpty())
            return ColumnValue::compare(at(a, id), at(b, id)) < 0;
        return false;
    };
    m_orderDirty = false;
    if (!std::is_sorted(m_rows.begin(), m_rows.end(), less))
        std::stable_sort(m_rows.begin(), m_rows.end(), less);
    stripAll();
}

void Dataset::ensureLoaded() const
{
    if (m_needsLoad)
        self()->load();
}

void Dataset::open()
{
    if (isActive())
        return;
    if (m_table.isEmpty() && m_sql.isEmpty())
        fail("no table or query");
    checkSchema();
    m_linkValue = masterLinkValue();
    m_state = DatasetState::Browse;
    m_modified = false;
    if (m_deferred && m_table.size()) {
        // Columns are known at once; the rows are read when first needed.
        buildColumns(tableColumnNames());
        m_needsLoad = true;
        m_current = 0;
    } else {
        try {
            load();
            noteRows(RowChange::Reset);
        } catch (...) {
            m_state = DatasetState::Inactive;
            throw;
        }
        m_current = m_rows.empty() ? -1 : 0;
    }
    announceChanged();
    if (!m_needsLoad && !m_rows.empty())
        fire(events.afterScroll);
    announceMoved();
}

void Dataset::close()
{
    if (!isActive())
        return;
    m_state = DatasetState::Inactive;
    m_rows.clear();
    noteRows(RowChange::Reset);
    m_rows.shrink_to_fit();
    m_lookupIndex.clear();
    clearCache();
    m_foldedText.clear();
    m_foldedText.shrink_to_fit();
    m_current = -1;
    m_modified = false;
    m_needsLoad = false;
    announceChanged();
    announceMoved();
}

int Dataset::recordCount() const
{
    if (!isActive())
        return 0;
    ensureLoaded();
    return int(m_rows.size());
}

int Dataset::recNo() const
{
    ensureLoaded();
    if (m_rows.empty())
        return -1;
    return std::clamp(m_current, 0, int(m_rows.size()) - 1);
}

bool Dataset::eof() const { return recordCount() == 0 || recNo() >= recordCount() - 1; }
bool Dataset::bof() const { return recordCount() == 0 || recNo() <= 0; }

void Dataset::afterMove(bool fireScroll)
{
    announceChanged();
    if (fireScroll)
        fire(events.afterScroll);
    announceMoved();
}

// Before a move, a list that follows the change log takes in what other programs wrote since it
// was read, so that a move never lands on a person deleted meanwhile and reaches the ones added.
// Returns where the current row stands now: its index, or, when it is gone, the index of the
// row that took its place (-1 for none).
int Dataset::catchUp(bool* gone)
{
    *gone = false;
    if (m_logTable.isEmpty() || !m_lazy || isEditing() || m_needsLoad || m_loadedSeq < 0
        || m_loadedExternal == m_connection->externalVersion()
        || m_loadedVersion != m_connection->tableVersion(m_table))
        return m_current;
    const int old = m_current;
    const qint64 id = old >= 0 && old < int(m_rows.size()) ? keyOf(m_rows[old].find(m_identity))
                                                            : std::numeric_limits<qint64>::min();
    const size_t before = m_rows.size();
    if (!followLog())
        load();
    noteReload(before);
    // Asked of the rows as they stand now: a list read again is in order even when the rows it
    // had (a person added here, out of order) were not.
    const bool ordered = orderedByIdentity();
    int here = id == std::numeric_limits<qint64>::min() ? -1 : rowOf(QVariant(qlonglong(id)));
    if (here < 0 && old >= 0) {
        *gone = true;
        here = std::min(old, int(m_rows.size()));
        if (ordered)
            here = int(std::lower_bound(m_rows.begin(), m_rows.end(), id,
                                        [this](const Row& r, qint64 k) { return keyOf(r.find(m_identity)) < k; })
                       - m_rows.begin());
    }
    m_current = m_rows.empty() ? -1 : std::clamp(here, 0, int(m_rows.size()) - 1);
    return here;
}

void Dataset::first()
{
    requireActive();
    settle();
    ensureLoaded();
    bool gone;
    catchUp(&gone);
    m_current = m_rows.empty() ? -1 : 0;
    afterMove(!m_rows.empty());
}

void Dataset::last()
{
    requireActive();
    settle();
    ensureLoaded();
    bool gone;
    catchUp(&gone);
    m_current = int(m_rows.size()) - 1;
    afterMove(!m_rows.empty());
}

void Dataset::next()
{
    requireActive();
    settle();
    ensureLoaded();
    bool gone;
    const int here = catchUp(&gone);
    // When the current row is gone, the row that took its place is the next one.
    m_current = std::min(gone ? here : here + 1, int(m_rows.size()) - 1);
    if (m_current < 0 && !m_rows.empty())
        m_current = 0;
    afterMove(!m_rows.empty());
}

void Dataset::prior()
{
    requireActive();
    settle();
    ensureLoaded();
    bool gone;
    const int here = catchUp(&gone);
    m_current = std::clamp(here - 1, m_rows.empty() ? -1 : 0, int(m_rows.size()) - 1);
    afterMove(!m_rows.empty());
}

void Dataset::setRecNo(int row)
{
    requireActive();
    ensureLoaded();
    const bool dropsNew = m_state == DatasetState::Insert && !m_modified;
    const int pending = m_current;
    // The row asked for, by identity too: saving the pending row may move it to its sorted place.
    const QVariant target = m_identity >= 0 && row >= 0 && row < int(m_rows.size()) && row != pending
                                ? m_rows[row].value(m_identity) : QVariant();
    settle();
    if (dropsNew && row > pending)
        --row;
    bool gone;
    catchUp(&gone);
    if (m_rows.empty()) {
        m_current = -1;
        afterMove(false);
        return;
    }
    if (row == pending && !dropsNew)
        row = m_current;
    else if (const int found = target.isNull() ? -1 : rowOf(target); found >= 0)
        row = found;
    m_current = std::clamp(row, 0, int(m_rows.size()) - 1);
    afterMove();
}

namespace {
// One value against the one asked for, as a locate compares them.
bool sameValue(const QVariant& v, const QVariant& want, bool last, LocateOptions o)
{
    if (want.isNull() || v.isNull()) {
        if (want.isNull() != v.isNull()) {
            // An empty text asks for an empty value; null and empty are alike to a search.
            if (!(want.toString().isEmpty() && v.toString().isEmpty()))
                return false;
        }
        return true;
    }
    if (v.metaType().id() == QMetaType::QString && want.metaType().id() == QMetaType::QString) {
        const Qt::CaseSensitivity cs = o.caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
        const QString& text = *static_cast<const QString*>(v.constData());
        const QString& w = *static_cast<const QString*>(want.constData());
        // An empty partial key asks for an empty value, not for every row.
        const bool partial = last && o.partialKey && !w.isEmpty();
        if (partial ? !text.startsWith(w, cs) : text.compare(w, cs) != 0)
            return false;
    } else if (v.metaType().id() == QMetaType::QString || want.metaType().id() == QMetaType::QString) {
        const Qt::CaseSensitivity cs = o.caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
        if (v.toString().compare(want.toString(), cs) != 0)
            return false;
    } else if (ColumnValue::compare(v, want) != 0) {
        return false;
    }
    return true;
}
} // namespace

bool Dataset::matches(int row, const QVector<int>& cols, const QVariantList& values, LocateOptions o,
                      const QString& foldedWant, int skip) const
{
    const Row& r = m_rows[row];
    for (int k = 0; k < cols.size(); ++k) {
        if (k == skip && !r.isComplete())
            continue;
        const QVariant& want = values[k];
        const bool last = k == cols.size() - 1;
        if (isFolded(r, cols[k]) && o.caseInsensitive && want.metaType().id() == QMetaType::QString) {
            // Both sides folded: the comparison needs no folding of its own.
            const bool partial = last && o.partialKey && !foldedWant.isEmpty();
            if (r.foldedLength == Row::kNoText) {
                if (!foldedWant.isEmpty())
                    return false; // null and empty are alike to a search
                continue;
            }
            const QStringView text = foldedText(r);
            if (partial ? !text.startsWith(foldedWant) : text != QStringView(foldedWant))
                return false;
            continue;
        }
        const QVariant* found = inMemory(r, cols[k]);
        const QVariant& v = found ? *found : fullRow(row).value(cols[k]);
        if (!sameValue(v, want, last, o))
            return false;
    }
    return true;
}

bool Dataset::locate(const QStringList& columns, const QVariantList& values, LocateOptions options)
{
    return locateLowest(columns, values, options, QString());
}

bool Dataset::locateLowest(const QStringList& columns, const QVariantList& values, LocateOptions options,
                           const QString& orderColumn)
{
    requireActive();
    settle();
    ensureLoaded();
    QVector<int> cols;
    for (const QString& c : columns) {
        const int i = columnIndex(c);
        if (i < 0 || i >= m_columns.size())
            fail(QString("Field '%1' not found").arg(c));
        cols << i;
    }
    // The searched column's value as it is held: folded once, so it is folded once here too.
    QString foldedWant;
    if (m_search >= 0 && options.caseInsensitive) {
        const int k = int(cols.indexOf(m_search));
        if (k >= 0 && k < values.size() && values[k].metaType().id() == QMetaType::QString) {
            Row folding;
            const QString want = values[k].toString();
            const size_t end = m_foldedText.size();
            appendFolded(folding, want, false);
            foldedWant = QString::fromUtf16(m_foldedText.data() + end, qsizetype(folding.foldedLength));
            m_foldedText.resize(end);
        }
    }
    const int order = orderColumn.isEmpty() ? -1 : columnIndex(orderColumn);
    int found = -1;
    // The order column's value of the best match so far: folded text, or a value.
    QString bestText;
    QStringView bestView;
    bool bestNull = true;
    QVariant best;
    auto foldedOf = [&](int row, QString& scratch, bool& null) -> QStringView {
        const Row& r = m_rows[row];
        if (isFolded(r, order)) {
            null = r.foldedLength == Row::kNoText;
            return foldedText(r);
        }
        const QVariant v = r.value(order);
        null = v.isNull();
        if (!null) {
            Row folding;
            const size_t end = m_foldedText.size();
            self()->appendFolded(folding, v.toString(), false);
            scratch = QString::fromUtf16(m_foldedText.data() + end, qsizetype(folding.foldedLength));
            self()->m_foldedText.resize(end);
        } else {
            scratch.clear();
        }
        return scratch;
    };
    const bool foldedOrder = m_lazy && order >= 0 && order == m_search;
    // Every row read holds the link value: it is compared once, not once a row.
    const int link = m_lazy && m_link >= 0 ? int(cols.indexOf(m_link)) : -1;
    const bool linkMatches = link >= 0 && sameValue(m_linkValue, values[link], link == cols.size() - 1, options);
    for (int i = 0; i < int(m_rows.size()); ++i) {
        if (link >= 0 && !linkMatches && !m_rows[i].isComplete())
            continue;
        if (!matches(i, cols, values, options, foldedWant, link))
            continue;
        if (order < 0) {
            found = i;
            break;
        }
        if (foldedOrder) {
            // Null first, then text as a case-insensitive comparison orders it.
            QString scratch;
            bool null = false;
            const QStringView text = foldedOf(i, scratch, null);
            const bool better = found < 0 || (bestNull ? false : (null || text.compare(bestView) < 0));
            if (better) {
                found = i;
                bestNull = null;
                if (scratch.isEmpty() || text.data() != scratch.constData()) {
                    bestText.clear();
                    bestView = text;
                } else {
                    bestText = scratch;
                    bestView = bestText;
                }
            }
            continue;
        }
        const QVariant* held = inMemory(m_rows[i], order);
        const QVariant v = held ? *held : fullRow(i).value(order);
        if (found < 0 || ColumnValue::compare(v, best) < 0) {
            found = i;
            best = v;
        }
    }
    if (found < 0)
        return false;
    m_current = found;
    afterMove();
    return true;
}

// ---- editing ---------------------------------------------------------------------------------

void Dataset::edit()
{
    requireActive();
    if (isEditing())
        return;
    ensureLoaded();
    if (m_rows.empty()) {
        insert();
        return;
    }
    // What the file could not give is not written back as an empty row.
    if (isUnreadable(m_current))
        throw DataError(QString("This record cannot be read: %1 is damaged. It is left as it is.")
                            .arg(m_connection->fileName()));
    fire(events.beforeEdit);
    m_original = fullRow(m_current); // as shown: what the conflict check compares with
    m_original.setComplete(true);
    m_rows[m_current] = m_original;
    m_state = DatasetState::Edit;
    m_modified = false;
    m_rowGone = false;
    std::fill(m_changedColumns.begin(), m_changedColumns.end(), false);
    announceChanged();
    fire(events.afterEdit);
}

void Dataset::insert()
{
    requireActive();
    settle();
    ensureLoaded();
    insertAt(m_rows.empty() ? 0 : std::clamp(m_current, 0, int(m_rows.size())));
}

void Dataset::append()
{
    requireActive();
    settle();
    ensureLoaded();
    insertAt(int(m_rows.size()));
}

void Dataset::insertAt(int at)
{
    fire(events.beforeInsert);
    Row r;
    std::fill(m_changedColumns.begin(), m_changedColumns.end(), false);
    if (m_master) {
        const int link = columnIndex(m_linkColumn);
        if (link < 0 || link >= m_columns.size())
            schemaFail(m_table, m_linkColumn);
        r.setValue(link, m_linkValue);
        m_changedColumns[link] = true;
    }
    m_rows.insert(m_rows.begin() + at, std::move(r));
    noteRows(RowChange::Inserted, at);
    m_lookupIndex.clear();
    m_orderDirty = true;
    m_current = at;
    m_state = DatasetState::Insert;
    m_modified = false;
    announceChanged();
    fire(events.afterInsert);
    fire(events.afterScroll);
    announceMoved();
}

void Dataset::setValue(const QString& column, const QVariant& value)
{
    const int i = columnIndex(column);
    if (i < 0)
        fail(QString("Field '%1' not found").arg(column));
    setValue(i, value);
}

bool Dataset::columnChanged(const QString& column) const
{
    const int c = columnIndex(column);
    return c >= 0 && c < int(m_changedColumns.size()) && m_changedColumns[c];
}

void Dataset::setValue(int column, const QVariant& value)
{
    if (!isEditing())
        fail("Dataset not in edit or insert mode");
    if (column < 0 || column >= m_columns.size() || m_columns[column].readOnly)
        fail(QString("Field '%1' cannot be modified").arg(column < m_columns.size() && column >= 0
                                                              ? m_columns[column].name : QString::number(column)));
    QVariant v = value;
    if (v.metaType().id() == QMetaType::QString && v.toString().isEmpty())
        v = QVariant(); // an emptied field stores nothing, as a cleared control does
    m_rows[m_current].setValue(column, v);
    m_changedColumns[column] = true;
    m_modified = true;
    emit fieldChanged(column);
}

void Dataset::writeRow()
{
    const QString table = writeTable();
    if (table.isEmpty())
        fail("Cannot modify a read-only dataset");
    const bool inserting = m_state == DatasetState::Insert;
    QVariant identity = m_identity >= 0 ? m_rows[m_current].value(m_identity) : QVariant();
    if (!inserting) {
        bool changed = false;
        for (int i = 0; i < m_columns.size() && !changed; ++i)
            changed = m_changedColumns[i] && !m_columns[i].readOnly;
        if (!changed)
            return;
        if (identity.isNull())
            fail("Row cannot be located for updating");
    }
    try {
        identity = inserting ? insertRow(table, false) : updateRow(table, identity);
    } catch (const DataError& e) {
        throw DataError("Your changes could not be saved. " + e.cause(), e.cause());
    }
    reloadRow(m_current, identity);
}

bool Dataset::readStored(const QVariant& identity, Row* stored) const
{
    RowReader reader(*m_connection, tableSelect() + " WHERE rowid = ?", {identity});
    std::vector<QVariant> buffer;
    if (!reader.next())
        return false;
    *stored = readRow(reader, buffer);
    return true;
}

// Whether the columns being written still hold what this dataset read when editing began.
bool Dataset::stillAsRead(const Row& stored) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (!m_changedColumns[i] || m_columns[i].readOnly || i == m_identity)
            continue;
        const QVariant before = m_original.value(i), now = stored.value(i);
        if (before.isNull() != now.isNull() || (!before.isNull() && before != now))
            return false;
    }
    return true;
}

bool Dataset::askConflict(Conflict conflict)
{
    if (events.resolveConflict)
        return events.resolveConflict(*this, conflict);
    throw DataError(conflict == Conflict::Changed
                        ? QString("Another user changed this record since you began editing it.")
                        : QString("Another user deleted this record."));
}

QVariant Dataset::updateRow(const QString& table, const QVariant& identity)
{
    const Row& r = m_rows[m_current];
    QStringList cols, names;
    QVariantList vals;
    for (int i = 0; i < m_columns.size(); ++i) {
        if ((i == m_identity && !m_table.isEmpty()) || !m_changedColumns[i] || m_columns[i].readOnly)
            continue;
        names << m_columns[i].name;
        cols << Connection::quote(m_columns[i].name);
        vals << ColumnValue::toDatabase(r.value(i), m_columns[i].type);
    }
    const QString where = m_table.isEmpty() ? Connection::quote(m_keyColumnName) : QString("rowid");
    const QString sql = "UPDATE " + Connection::quote(table) + " SET " + cols.join(" = ?, ") + " = ? WHERE " + where + " = ?";
    vals << identity;

    bool overwrite = false;
    for (;;) {
        const bool inSync = m_loadedVersion == m_connection->tableVersion(table);
        Connection::Transaction tx(*m_connection);
        // Questions are asked only outside a wider transaction, which must not wait on the user.
        const bool mayAsk = m_connection->transactionDepth() == 1;
        bool gone = false;
        if (!overwrite && !m_table.isEmpty()) {
            Row stored;
            gone = !readStored(identity, &stored);
            if (!gone && !stillAsRead(stored)) {
                tx.rollback(); // nobody waits for our lock while the user decides
                // From now on the row as stored is what editing began from: Discard shows it,
                // and a second Save after going on editing writes over it knowingly.
                m_original = stored;
                if (!mayAsk)
                    throw DataError("Another user changed this record since you began editing it.");
                if (!askConflict(Conflict::Changed))
                    throw Declined{};
                overwrite = true;
                continue;
            }
        }
        if (!gone) {
            PersonHistory::Save history(*m_connection, table, where, identity, names, overwrite);
            m_connection->exec(sql, vals);
            gone = m_connection->changes() == 0;
            if (!gone)
                history.written(); // in this transaction: the change and its history together
        }
        if (gone) {
            tx.rollback();
            m_rowGone = true; // Discard drops it: what is stored is no row at all
            if (!mayAsk || m_table.isEmpty())
                throw DataError("Another user deleted this record.");
            if (!askConflict(Conflict::Deleted))
                throw Declined{};
            return insertRow(table, true);
        }
        tx.commit();
        tookOverWrite(table, inSync);
        return identity;
    }
}

// Inserts the current row: its changed columns, or every column that holds a value (a row saved
// again after another user deleted it).
QVariant Dataset::insertRow(const QString& table, bool everyColumn)
{
    const Row& r = m_rows[m_current];
    QStringList cols, marks;
    QVariantList vals;
    for (int i = 0; i < m_columns.size(); ++i) {
        if ((i == m_identity && !m_table.isEmpty()) || m_columns[i].readOnly)
            continue;
        if (everyColumn ? r.value(i).isNull() : !m_changedColumns[i])
            continue;
        cols << Connection::quote(m_columns[i].name);
        marks << "?";
        vals << ColumnValue::toDatabase(r.value(i), m_columns[i].type);
    }
    const QString sql = cols.isEmpty() ? "INSERT INTO " + Connection::quote(table) + " DEFAULT VALUES"
                                       : "INSERT INTO " + Connection::quote(table) + " (" + cols.join(", ")
                                             + ") VALUES (" + marks.join(", ") + ")";
    const bool inSync = m_loadedVersion == m_connection->tableVersion(table);
    Connection::Transaction tx(*m_connection);
    m_connection->exec(sql, vals);
    const QVariant identity = m_connection->lastInsertId();
    tx.commit();
    tookOverWrite(table, inSync);
    return identity;
}

// After a write this dataset has taken over into its snapshot: a snapshot that was current
// stays current; inside a wider transaction that is later undone, it is read again.
void Dataset::tookOverWrite(const QString& table, bool inSync)
{
    m_connection->noteWrite(table);
    if (inSync)
        m_loadedVersion = m_connection->tableVersion(table);
    if (m_connection->transactionDepth() > 0) {
        QPointer<Dataset> self(this);
        m_connection->onRollback([self] {
            if (self)
                self->invalidate();
        });
    }
}

void Dataset::reloadRow(int index, const QVariant& identity)
{
    if (m_table.isEmpty()) {
        // A writable query keeps its row as posted; only a new key is taken over.
        if (m_identity >= 0 && m_rows[index].value(m_identity).isNull())
            m_rows[index].setValue(m_identity, identity);
        return;
    }
    RowReader reader(*m_connection, tableSelect() + " WHERE rowid = ?", {identity});
    std::vector<QVariant> buffer;
    m_cache.erase(identity.toLongLong());
    if (reader.next())
        m_rows[index] = readRow(reader, buffer);
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

QString Dataset::tableSelect() const
{
    // The data columns in order, then the row identity.
    QStringList quoted;
    for (int i = 0; i < m_columns.size(); ++i)
        quoted << (i == m_identity ? QString("rowid") : Connection::quote(m_columns[i].name));
    return "SELECT " + quoted.join(", ") + " FROM " + Connection::quote(m_table);
}

Row Dataset::readRow(const RowReader& reader, std::vector<QVariant>& buffer) const
{
    std::array<std::uint64_t, 2> mask{};
    buffer.clear();
    for (int i = 0; i < m_columns.size(); ++i) {
        if (reader.isNull(i))
            continue;
        mask[i / 64] |= std::uint64_t(1) << (i % 64);
        buffer.push_back(reader.value(i, m_columns[i].type));
    }
    Row r;
    r.assign(mask, std::vector<QVariant>(buffer.begin(), buffer.end()));
    r.setComplete(true);
    return r;
}

void Dataset::post()
{
    requireActive();
    if (!isEditing())
        fail("Dataset not in edit or insert mode");
    fire(events.beforePost); // may throw Abort: the row stays pending
    writeRow();
    // A changed sort key takes the row to its place, where it stays current. The master link is
    // no key for this: a detail's rows all share it, and a new row sets it before anything else.
    bool reorder = false;
    for (const QString& key : m_sort)
        if (const int c = columnIndex(key); c >= 0 && c < m_columns.size() && m_changedColumns[c]
                                            && !(m_master && key == m_linkColumn))
            reorder = true;
    if (reorder && m_identity >= 0) {
        const QVariant identity = m_rows[m_current].value(m_identity);
        sortRows();
        m_current = std::max(0, rowOf(identity));
    }
    m_state = DatasetState::Browse;
    m_modified = false;
    m_rowGone = false;
    m_lookupIndex.clear();
    if (!m_orderDirty)
        stripRow(m_current); // a new row stays whole while it stands out of table order
    announceChanged();
    fire(events.afterPost);
    announceMoved();
}

void Dataset::cancel()
{
    if (!isEditing())
        return;
    fire(events.beforeCancel);
    // A row another user deleted is dropped like a new one: what is stored is no row at all.
    const bool wasInsert = m_state == DatasetState::Insert || m_rowGone;
    m_rowGone = false;
    if (wasInsert) {
        m_rows.erase(m_rows.begin() + m_current);
        noteRows(RowChange::Removed, m_current);
        if (m_current >= int(m_rows.size()))
            m_current = int(m_rows.size()) - 1;
        if (m_current < 0 && !m_rows.empty())
            m_current = 0;
    } else {
        m_rows[m_current] = m_original;
    }
    m_lookupIndex.clear();
    m_state = DatasetState::Browse;
    m_modified = false;
    if (!wasInsert && !m_orderDirty)
        stripRow(m_current);
    announceChanged();
    fire(events.afterCancel);
    if (wasInsert && !m_rows.empty())
        fire(events.afterScroll);
    announceMoved();
}

void Dataset::invalidate()
{
    if (!isActive())
        return;
    m_state = DatasetState::Browse;
    m_modified = false;
    m_rowGone = false;
    m_rows.clear();
    m_lookupIndex.clear();
    clearCache();
    m_foldedText.clear();
    m_current = 0;
    m_needsLoad = true;
    announceChanged();
    announceMoved();
}

void Dataset::settle()
{
    if (!isEditing())
        return;
    if (m_modified)
        post();
    else
        cancel();
}

void Dataset::remove()
{
    requireActive();
    if (m_state == DatasetState::Insert) {
        cancel();
        return;
    }
    ensureLoaded();
    if (m_rows.empty())
        throw DataError("Cannot perform this operation on an empty dataset");
    fire(events.beforeDelete);
    const QString table = writeTable();
    const QVariant identity = m_identity >= 0 ? m_rows[m_current].value(m_identity) : QVariant();
    if (table.isEmpty() || identity.isNull())
        fail("Cannot delete from a read-only dataset");
    const bool inSync = m_loadedVersion == m_connection->tableVersion(table);
    const QString where = m_table.isEmpty() ? Connection::quote(m_keyColumnName) : QString("rowid");
    try {
        // A row another user deleted already is gone all the same.
        Connection::Transaction tx(*m_connection);
        if (m_remover)
            m_remover(identity);
        else
            m_connection->exec("DELETE FROM " + Connection::quote(table) + " WHERE " + where + " = ?", {identity});
        tx.commit();
    } catch (const DataError& e) {
        // Nothing changes: the row stays, and so does its pending edit.
        throw DataError("The record could not be deleted. " + e.cause(), e.cause());
    }
    tookOverWrite(table, inSync);
    // Unsaved edits of the deleted row go with it.
    m_state = DatasetState::Browse;
    m_modified = false;
    m_rowGone = false;
    m_rows.erase(m_rows.begin() + m_current);
    noteRows(RowChange::Removed, m_current);
    m_cache.erase(identity.toLongLong());
    m_lookupIndex.clear();
    if (m_current >= int(m_rows.size()))
        m_current = int(m_rows.size()) - 1;
    // The row that follows is shown next: as after a move, what others wrote is taken in first.
    bool gone;
    catchUp(&gone);
    announceChanged();
    fire(events.afterDelete);
    if (!m_rows.empty())
        fire(events.afterScroll);
    announceMoved();
}

void Dataset::refresh()
{
    requireActive();
    settle();
    const size_t before = m_rows.size();
    if (m_needsLoad) {
        load();
        noteRows(RowChange::Reset);
    } else {
        const QVariant identity = (m_identity >= 0 && !m_rows.empty()) ? m_rows[recNo()].value(m_identity) : QVariant();
        const int oldIndex = m_current;
        const bool unchanged = !m_table.isEmpty()
                               && m_loadedVersion == m_connection->tableVersion(m_table)
                               && m_loadedExternal == m_connection->externalVersion();
        if (unchanged) {
            if (m_orderDirty)
                sortRows(); // a re-read would return the rows in table order
        } else if (!(m_loadedVersion == m_connection->tableVersion(m_table) && followLog())) {
            load();
        }
        noteReload(before);
        m_current = std::min(oldIndex, int(m_rows.size()) - 1);
        const QVariant* here = m_current >= 0 && m_current < int(m_rows.size()) ? m_rows[m_current].find(m_identity) : nullptr;
        if (!identity.isNull() && !(here && ColumnValue::compare(*here, identity) == 0)) {
            const qlonglong id = identity.toLongLong();
            const bool numeric = identity.metaType().id() == QMetaType::Int || identity.metaType().id() == QMetaType::LongLong;
            for (int i = 0; i < int(m_rows.size()); ++i) {
                const QVariant* v = m_rows[i].find(m_identity);
                if (v && (numeric ? v->toLongLong() == id : *v == identity)) {
                    m_current = i;
                    break;
                }
            }
        }
    }
    if (m_current < 0 && !m_rows.empty())
        m_current = 0;
    announceChanged();
    fire(events.afterRefresh);
    announceMoved();
}

qint64 Dataset::logPosition() const
{
    if (m_logTable.isEmpty())
        return -1;
    try {
        RowReader r(*m_connection, "SELECT coalesce(max(\"Seq\"), 0) FROM " + Connection::quote(m_logTable), {});
        return r.next() ? r.integer(0) : -1;
    } catch (const DataError&) {
        return -1; // a file without the log: read whole
    }
}

// Applies what another program wrote, as the change log names it: the rows named are read
// again, added or dropped, the others stay as they are.
bool Dataset::followLog()
{
    if (!m_lazy || m_loadedSeq < 0 || m_needsLoad || m_orderDirty || isEditing())
        return false;
    const qint64 external = m_connection->externalVersion();
    std::vector<qint64> ids;
    qint64 last = -1;
    try {
        const QString log = Connection::quote(m_logTable);
        RowReader bounds(*m_connection, "SELECT min(\"Seq\"), coalesce(max(\"Seq\"), 0) FROM " + log, {});
        if (!bounds.next())
            return false;
        last = bounds.integer(1);
        // Emptied, or entries gone that were written after the rows were read: not everything is said.
        if (last < m_loadedSeq || (last > m_loadedSeq && bounds.integer(0) > m_loadedSeq + 1))
            return false;
        RowReader changed(*m_connection,
                          "SELECT DISTINCT " + Connection::quote(m_logKey) + " FROM " + log
                              + " WHERE \"Seq\" > ? AND \"Seq\" <= ?",
                          {m_loadedSeq, last});
        while (changed.next()) {
            if (changed.isNull(0))
                return false; // an entry for every row: a large import
            ids.push_back(changed.integer(0));
            if (ids.size() > 2000)
                return false; // a large import: one pass is quicker
        }
    } catch (const DataError&) {
        return false;
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    // The rows as they now are, read before anything here changes, so a failure changes nothing.
    std::vector<std::pair<qint64, std::optional<Row>>> fresh;
    const size_t textBefore = m_foldedText.size();
    try {
        QString sql = keptSelect() + " WHERE rowid = ?";
        if (m_master)
            sql += " AND " + Connection::quote(m_linkColumn) + " = ?";
        for (qint64 id : ids) {
            QVariantList positional{id};
            if (m_master)
                positional << m_linkValue;
            RowReader reader(*m_connection, sql, positional);
            fresh.emplace_back(id, reader.next() ? std::optional<Row>(readKept(reader)) : std::nullopt);
        }
    } catch (const DataError&) {
        m_foldedText.resize(textBefore);
        return false;
    }
    auto identityOf = [this](const Row& r) {
        return keyOf(r.find(m_identity));
    };
    if (orderedByIdentity()) {
        // Rows in identity order: each one named is found by halving, not by a pass over all.
        for (auto& [key, row] : fresh) {
            m_cache.erase(key);
            const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), key,
                                             [&](const Row& r, qint64 k) { return identityOf(r) < k; });
            const bool held = at != m_rows.end() && identityOf(*at) == key;
            if (held && row)
                *at = std::move(*row);
            else if (held)
                m_rows.erase(at);
            else if (row)
                m_rows.insert(at, std::move(*row));
        }
    } else {
        std::vector<bool> seen(fresh.size(), false);
        bool dropped = false;
        for (Row& r : m_rows) {
            const qint64 key = identityOf(r);
            const auto it = std::lower_bound(fresh.begin(), fresh.end(), key,
                                             [](const auto& f, qint64 k) { return f.first < k; });
            if (it == fresh.end() || it->first != key)
                continue;
            seen[size_t(it - fresh.begin())] = true;
            m_cache.erase(key);
            if (it->second)
                r = std::move(*it->second);
            else
                dropped = true;
        }
        if (dropped) {
            // Rows whose identity the log names and the file no longer holds (for this master) go.
            std::erase_if(m_rows, [&](const Row& r) {
                const auto it = std::lower_bound(fresh.begin(), fresh.end(), identityOf(r),
                                                 [](const auto& f, qint64 k) { return f.first < k; });
                return !r.isComplete() && it != fresh.end() && it->first == identityOf(r) && !it->second;
            });
        }
        for (size_t i = 0; i < fresh.size(); ++i)
            if (!seen[i] && fresh[i].second)
                m_rows.push_back(std::move(*fresh[i].second));
        sortRows();
    }
    m_lookupIndex.clear();
    m_loadedSeq = last;
    m_loadedExternal = external;
    return true;
}

// As refresh finds its row again.
int Dataset::rowOf(const QVariant& identity) const
{
    if (m_identity < 0 || identity.isNull())
        return -1;
    const qlonglong id = identity.toLongLong();
    const bool numeric = identity.metaType().id() == QMetaType::Int || identity.metaType().id() == QMetaType::LongLong;
    for (int i = 0; i < int(m_rows.size()); ++i) {
        const QVariant* v = m_rows[i].find(m_identity);
        if (v && (numeric ? v->toLongLong() == id : *v == identity))
            return i;
    }
    return -1;
}

void Dataset::masterMoved()
{
    if (!isActive())
        return;
    if (!m_master->dataset()->isActive())
        cancel(); // a closing master is no move: what was never posted is discarded
    else
        settle();
    const QVariant link = masterLinkValue();
    if (link == m_linkValue && link.isNull() == m_linkValue.isNull())
        return;
    m_linkValue = link;
    m_current = 0;
    if (m_deferred) {
        m_needsLoad = true;
        m_rows.clear();
        clearCache();
        m_foldedText.clear();
        announceChanged();
        announceMoved();
        return;
    }
    const size_t before = m_rows.size();
    load();
    noteReload(before);
    m_current = m_rows.empty() ? -1 : 0;
    afterMove(!m_rows.empty());
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
    if (const QVariant* v = inMemory(m_rows[row], column))
        return *v;
    return fullRow(row).value(column);
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
    const int count = int(m_rows.size());
    const QVector<int> columns = tested + extra;
    const int eager = int(tested.size());
    std::vector<QVariant> values(tested.size());
    std::vector<QVariant> more(extra.size());
    bool streamed = m_lazy && std::all_of(columns.begin(), columns.end(),
                                          [&](int c) { return c >= 0 && c < m_identity; });
    // One pass over the table in identity order serves the rows held in that order.
    qint64 previous = std::numeric_limits<qint64>::min();
    for (int i = 0; streamed && i < count; ++i) {
        const Row& r = m_rows[i];
        if (r.isComplete())
            continue;
        const qint64 id = keyOf(r.find(m_identity));
        streamed = id > previous;
        previous = id;
    }
    if (!streamed) {
        for (int i = 0; i < count; ++i) {
            for (int k = 0; k < eager; ++k)
                values[k] = valueAt(i, columns[k]);
            if (!test(i, values))
                continue;
            for (int k = 0; k < extra.size(); ++k)
                more[k] = valueAt(i, extra[k]);
            take(i, more);
        }
        return;
    }
    QStringList quoted{"rowid"};
    for (int c : columns)
        quoted << Connection::quote(m_columns[c].name);
    QString sql = "SELECT " + quoted.join(", ") + " FROM " + Connection::quote(m_table);
    QVariantList positional;
    if (m_master) {
        // When the master's rows are a good part of the table, one pass over the table beats a
        // seek into it for each row that the link's index would give.
        bool most = false;
        try {
            RowReader top(*m_connection, "SELECT max(rowid) FROM " + Connection::quote(m_table), {});
            most = top.next() && qint64(count) * 4 >= top.integer(0);
        } catch (const DataError&) {
        }
        sql += QString(" WHERE ") + (most ? "+" : "") + Connection::quote(m_linkColumn) + " = ?";
        positional << m_linkValue;
    }
    sql += " ORDER BY rowid";
    RowReader reader(*m_connection, sql, positional);
    // The identities of the rows shown, in the order the rows are walked in.
    std::vector<qint64> shown;
    shown.reserve(m_cache.size());
    for (const auto& entry : m_cache)
        shown.push_back(entry.first);
    std::sort(shown.begin(), shown.end());
    size_t nextShown = 0;
    bool readerOn = !(m_master && m_linkValue.isNull()) && reader.next();
    qint64 at = readerOn ? reader.integer(0) : 0;
    for (int i = 0; i < count; ++i) {
        const Row& r = m_rows[i];
        const Row* whole = r.isComplete() ? &r : nullptr;
        qint64 id = 0;
        if (!whole) {
            id = keyOf(r.find(m_identity));
            // A row already shown is walked as it was shown.
            while (nextShown < shown.size() && shown[nextShown] < id)
                ++nextShown;
            if (nextShown < shown.size() && shown[nextShown] == id)
                whole = &m_cache.find(id)->second.row;
        }
        if (whole) {
            for (int k = 0; k < eager; ++k)
                values[k] = whole->value(columns[k]);
            if (!test(i, values))
                continue;
            for (int k = 0; k < extra.size(); ++k)
                more[k] = whole->value(extra[k]);
            take(i, more);
            continue;
        }
        while (readerOn && at < id) {
            readerOn = reader.next();
            at = readerOn ? reader.integer(0) : 0;
        }
        const bool read = readerOn && at == id;
        // The row's columns from the reader, or those held for a row another user deleted.
        const auto fill = [&](std::vector<QVariant>& out, int from) {
            for (size_t k = 0; k < out.size(); ++k) {
                const int column = columns[from + int(k)];
                const int field = from + int(k) + 1; // after the rowid
                if (read && m_columns[column].type == ColumnType::Text && reader.isText(field)) {
                    // Into the text the last row left there: a million rows, no allocation each.
                    if (out[k].metaType().id() != QMetaType::QString)
                        out[k] = QVariant(QString());
                    reader.textInto(field, *static_cast<QString*>(out[k].data()));
                } else if (read) {
                    out[k] = reader.value(field, m_columns[column].type);
                } else {
                    const QVariant* held = inMemory(r, column);
                    out[k] = held ? *held : QVariant();
                }
            }
        };
        fill(values, 0);
        if (!test(i, values))
            continue;
        fill(more, eager);
        take(i, more);
    }
}

std::vector<int> Dataset::rowsDatedOn(const QString& dateColumn, const QString& switchColumn, int month, int day) const
{
    std::vector<int> rows;
    if (!isActive())
        return rows;
    ensureLoaded();
    const int date = columnIndex(dateColumn), on = columnIndex(switchColumn);
    const int count = int(m_rows.size());
    if (!m_lazy || date < 0 || date >= m_identity || on < 0 || on >= m_identity) {
        for (int i = 0; i < count; ++i)
            rows.push_back(i);
        return rows;
    }
    // A stored date that reads as one has its month and day at the same places whatever follows
    // them ("1950-12-09", "1950-12-09T08:30:00"); the index holds those two parts of the rows
    // whose switch is on. The condition is written as the index's, so that it serves.
    const QString d = Connection::quote(m_columns[date].name);
    QString sql = "SELECT rowid FROM " + Connection::quote(m_table) + " WHERE " + Connection::quote(m_columns[on].name)
                  + " <> 0 AND substr(" + d + ", 6, 2) = ? AND substr(" + d + ", 9, 2) = ?";
    QVariantList positional{QString("%1").arg(month, 2, 10, QChar('0')), QString("%1").arg(day, 2, 10, QChar('0'))};
    if (m_master) {
        if (m_linkValue.isNull())
            return rows;
        sql += " AND " + Connection::quote(m_linkColumn) + " = ?";
        positional << m_linkValue;
    }
    std::vector<qint64> found;
    RowReader reader(*m_connection, sql, positional);
    while (reader.next())
        found.push_back(reader.integer(0));
    std::sort(found.begin(), found.end());
    for (int i = 0; i < count; ++i) {
        const Row& r = m_rows[i];
        const QVariant* id = r.find(m_identity);
        // A row held whole may differ from the file (written, not yet put in order): a candidate.
        if (r.isComplete() || (id && std::binary_search(found.begin(), found.end(), id->toLongLong())))
            rows.push_back(i);
    }
    return rows;
}
