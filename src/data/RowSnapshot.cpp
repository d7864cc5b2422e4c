#include "RowSnapshot.h"

#include "Connection.h"
#include "data/DataError.h"
#include "RowReader.h"

#include <algorithm>
#include <limits>
#include <optional>

qint64 RowSnapshot::keyOf(const QVariant* v)
{
    // Read in place for the integers that identities are.
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

void RowSnapshot::setLayout(Layout layout)
{
    m_table = layout.table;
    m_columns = layout.columns;
    m_identity = layout.identity;
    m_linkColumn = layout.linkColumn;
    m_rowSelect.clear();

    // A table keeps in memory only what ordering and finding read.
    m_lazy = !m_table.isEmpty();
    m_keep.assign(size_t(m_columns.size()), !m_lazy);
    m_keptColumns.clear();
    m_search = m_alias = m_link = -1;
    m_sortKeys.clear();
    if (m_lazy) {
        m_link = layout.link;
        for (int i = 0; i < m_identity; ++i)
            if (m_columns[i].readOnly && m_columns[i].type == ColumnType::Integer)
                m_alias = i; // INTEGER PRIMARY KEY: the row identity itself
        auto keep = [&](int i) {
            if (i >= 0 && i < m_identity && i != m_alias && i != m_link)
                m_keep[size_t(i)] = true;
        };
        for (int i : std::as_const(layout.sortKeys))
            keep(i);
        for (int i : std::as_const(layout.kept))
            keep(i);
        for (int i = 0; i < m_identity; ++i)
            if (m_keep[size_t(i)])
                m_keptColumns << i;
        m_keep[size_t(m_identity)] = true;
        const int search = layout.search;
        if (search >= 0 && search < m_identity && !m_keep[size_t(search)] && search != m_alias && search != m_link)
            m_search = search;
    }
    // Every row read has the link value: it orders nothing.
    for (int i : std::as_const(layout.sortKeys))
        if (i >= 0 && i < m_columns.size() && i != m_link)
            m_sortKeys << i;
}

void RowSnapshot::clear()
{
    m_unreadable.clear();
    m_rows.clear();
    m_cache.clear();
    m_foldedText.clear();
    m_names.clear();
    m_namesOrdered = 0;
    m_whole.clear();
}

void RowSnapshot::release()
{
    clear();
    m_rows.shrink_to_fit();
    m_foldedText.shrink_to_fit();
    m_names.shrink_to_fit();
    m_whole.shrink_to_fit();
}

void RowSnapshot::markRead(const QVariant& linkValue)
{
    m_linkValue = linkValue;
    m_tableVersion = m_connection->tableVersion(m_table);
    m_external = m_connection->externalVersion();
    // Before the rows: a write between the two is then both read and logged after this.
    m_logSeq = m_lazy ? logPosition() : -1;
}

void RowSnapshot::readTable(const QVariant& linkValue)
{
    clear();
    markRead(linkValue);
    const bool detail = !m_linkColumn.isEmpty();
    if (detail && linkValue.isNull())
        return; // nothing equals a null link
    // No order asked: an index that holds the kept columns serves, and they are put in table
    // order in memory.
    QString sql = keptSelect();
    QVariantList positional;
    if (detail) {
        sql += " WHERE " + Connection::quote(m_linkColumn) + " = ?";
        positional << linkValue;
    }
    RowReader reader(*m_connection, sql, positional);
    bool more = reader.next();
    // Counted first, so a million rows are not moved as they grow: a server has sent them all
    // with the first, and tells; the file's index answers a count.
    qint64 n = more ? reader.rowsLeft() + 1 : 0;
    if (n == 0 && more) {
        RowReader count(*m_connection, "SELECT count(*) FROM" + sql.mid(sql.indexOf(" FROM") + 5), positional);
        n = count.next() ? count.integer(0) : 0;
    }
    // With room for people added later: one more is then no copy of a million.
    m_rows.reserve(size_t(n) + size_t(n) / 64 + 64);
    m_foldedText.reserve(m_search >= 0 ? size_t(n) * 16 : 0);
    m_names.reserve(m_search >= 0 ? size_t(n) + size_t(n) / 64 + 64 : 0);
    for (; more; more = reader.next())
        m_rows.push_back(readKept(reader));
    // Room for the names of people added later, so that one more is no copy of them all.
    m_foldedText.reserve(m_foldedText.size() + (m_search >= 0 ? 65536 : 0));
    sort();
    // Put in order with the rows, so the first search is as quick as the others.
    if (canFindByName())
        orderNames();
}

void RowSnapshot::readQuery(RowReader& reader, bool stepped)
{
    clear();
    std::vector<QVariant> buffer;
    buffer.reserve(size_t(m_columns.size()));
    for (bool more = stepped; more; more = reader.next())
        m_rows.push_back(readRow(reader, buffer));
    sort();
}

QString RowSnapshot::key() const { return m_connection->store().rowKey(m_table); }

// The kept columns in column order, the row identity, then the searched column.
QString RowSnapshot::keptSelect() const
{
    QStringList quoted;
    for (int i : m_keptColumns)
        quoted << Connection::quote(m_columns[i].name);
    quoted << key();
    if (m_search >= 0)
        quoted << Connection::quote(m_columns[m_search].name);
    return "SELECT " + quoted.join(", ") + " FROM " + Connection::quote(m_table);
}

// The data columns in order, then the row identity.
QString RowSnapshot::tableSelect() const
{
    QStringList quoted;
    for (int i = 0; i < m_columns.size(); ++i)
        quoted << (i == m_identity ? key() : Connection::quote(m_columns[i].name));
    return "SELECT " + quoted.join(", ") + " FROM " + Connection::quote(m_table);
}

Row RowSnapshot::readKept(const RowReader& reader)
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
        appendFolded(r, reader.text(at + 1), reader.isNull(at + 1));
    return r;
}

Row RowSnapshot::readRow(const RowReader& reader, std::vector<QVariant>& buffer) const
{
    std::array<std::uint64_t, 2> mask{};
    buffer.clear();
    for (int i = 0; i < m_columns.size(); ++i) {
        if (reader.isNull(i))
            continue;
        mask[size_t(i / 64)] |= std::uint64_t(1) << (i % 64);
        buffer.push_back(reader.value(i, m_columns[i].type));
    }
    Row r;
    r.assign(mask, std::vector<QVariant>(buffer.begin(), buffer.end()));
    r.setComplete(true);
    return r;
}

namespace {
// Folded once, as a case-insensitive comparison folds every character it compares.
template<typename Out>
void foldInto(QStringView text, Out& out)
{
    const qsizetype n = text.size();
    const char16_t* p = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, p[i + 1]));
            out.push_back(QChar::highSurrogate(folded));
            out.push_back(QChar::lowSurrogate(folded));
            ++i;
        } else {
            out.push_back(char16_t(QChar::toCaseFolded(char32_t(c))));
        }
    }
}
} // namespace

QString RowSnapshot::fold(QStringView text)
{
    std::vector<char16_t> folded;
    folded.reserve(size_t(text.size()));
    foldInto(text, folded);
    return QString::fromUtf16(folded.data(), qsizetype(folded.size()));
}

void RowSnapshot::appendFolded(Row& r, QStringView text, bool null)
{
    r.foldedAt = quint32(m_foldedText.size());
    if (null) {
        r.foldedLength = Row::kNoText;
    } else {
        foldInto(text, m_foldedText);
        r.foldedLength = quint32(m_foldedText.size()) - r.foldedAt;
    }
    m_names.push_back({r.foldedAt, r.foldedLength, keyOf(r.find(m_identity))});
}

QStringView RowSnapshot::foldedText(const Row& r) const
{
    if (r.foldedLength == Row::kNoText)
        return {};
    return QStringView(m_foldedText.data() + r.foldedAt, qsizetype(r.foldedLength));
}

const QVariant* RowSnapshot::inMemory(const Row& r, int column) const
{
    static const QVariant null;
    if (!m_lazy || r.isComplete() || (column >= 0 && column < int(m_keep.size()) && m_keep[size_t(column)])) {
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

void RowSnapshot::noteUnreadable(qint64 identity, const QString& why) const
{
    m_unreadable.insert(identity);
    if (m_toldUnreadable)
        return;
    m_toldUnreadable = true;
    if (m_tellUnreadable)
        m_tellUnreadable(identity, why);
}

const Row& RowSnapshot::fullRow(int row) const
{
    const Row& r = m_rows[size_t(row)];
    if (!m_lazy || r.isComplete())
        return r;
    const QVariant* id = r.find(m_identity);
    if (!id)
        return r;
    const qint64 key = id->toLongLong();
    auto cached = [&]() -> const Row* {
        auto it = m_cache.find(key);
        if (it == m_cache.end())
            return nullptr;
        it->second.used = ++m_cacheClock;
        return &it->second.row;
    };
    if (const Row* held = cached())
        return *held;
    if (followsLog() && m_connection->store().prefersBatches()) {
        // A database far away: the rows a move or a page goes to next come in the same read. The
        // change log tells which of them others change meanwhile; they are read again then.
        std::vector<int> near;
        for (int i = row - 4; i <= row + 12; ++i)
            near.push_back(i);
        prefetch(near);
        if (const Row* held = cached())
            return *held;
    }
    Row whole;
    try {
        if (m_rowSelect.isEmpty())
            m_rowSelect = tableSelect() + " WHERE " + RowSnapshot::key() + " = ?";
        RowReader reader(*m_connection, m_rowSelect, {*id});
        std::vector<QVariant> buffer;
        if (!reader.next())
            return r; // another user deleted it: only what is held is known
        whole = readRow(reader, buffer);
    } catch (const DataError& e) {
        // Not failing a repaint: the row is marked, never edited, and said once.
        noteUnreadable(key, e.text());
        return r;
    }
    return cacheRow(key, std::move(whole));
}

// A small cache: the rows on screen and the ones just left.
const Row& RowSnapshot::cacheRow(qint64 identity, Row whole) const
{
    if (m_cache.size() >= kCacheCapacity) {
        const quint64 oldest = m_cacheClock - kCacheCapacity / 2;
        for (auto i = m_cache.begin(); i != m_cache.end();)
            i = i->second.used <= oldest ? m_cache.erase(i) : std::next(i);
    }
    auto& entry = m_cache[identity];
    entry.row = std::move(whole);
    entry.used = ++m_cacheClock;
    return entry.row;
}

bool RowSnapshot::isUnreadable(int row) const
{
    if (!m_lazy || row < 0 || row >= int(m_rows.size()) || m_rows[size_t(row)].isComplete())
        return false;
    const QVariant* id = m_rows[size_t(row)].find(m_identity);
    if (!id)
        return false;
    fullRow(row); // tried first: a row not read yet may well be whole
    return m_unreadable.count(id->toLongLong()) > 0;
}

void RowSnapshot::stripRow(int index)
{
    if (!m_lazy || index < 0 || index >= int(m_rows.size()))
        return;
    Row& r = m_rows[size_t(index)];
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

// Rows written by the dataset are held whole while they stand out of table order; except is the
// row being edited.
void RowSnapshot::stripAll(int except)
{
    if (!m_lazy)
        return;
    for (int i = 0; i < int(m_rows.size()); ++i)
        if (m_rows[size_t(i)].isComplete() && i != except)
            stripRow(i);
}

// Held in table order: no sort column, or only the link that every row shares.
bool RowSnapshot::orderedByIdentity() const
{
    return m_lazy && !m_outOfOrder && m_sortKeys.isEmpty();
}

void RowSnapshot::sort()
{
    const int id = m_identity;
    m_outOfOrder = false;
    if (m_lazy && m_sortKeys.isEmpty()) {
        // Table order alone, by the identities as numbers: a million rows in a blink.
        std::vector<std::pair<qint64, int>> order(m_rows.size());
        bool sorted = true;
        for (int i = 0; i < int(m_rows.size()); ++i) {
            const qint64 key = keyOf(m_rows[size_t(i)].find(id));
            order[size_t(i)] = {key, i};
            sorted = sorted && (i == 0 || order[size_t(i) - 1].first <= order[size_t(i)].first);
        }
        if (!sorted) {
            std::stable_sort(order.begin(), order.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            std::vector<Row> rows;
            rows.reserve(m_rows.capacity()); // the room left for people added later stays
            for (const auto& o : order)
                rows.push_back(std::move(m_rows[size_t(o.second)]));
            m_rows = std::move(rows);
        }
        return;
    }
    auto at = [this](const Row& r, int col) -> const QVariant& {
        const QVariant* v = inMemory(r, col);
        static const QVariant null;
        return v ? *v : null; // sort columns are always held
    };
    auto less = [&](const Row& a, const Row& b) {
        for (int k : std::as_const(m_sortKeys)) {
            const int c = ColumnValue::compare(at(a, k), at(b, k));
            if (c != 0)
                return c < 0;
        }
        if (id >= 0 && m_lazy)
            return ColumnValue::compare(at(a, id), at(b, id)) < 0;
        return false;
    };
    if (!std::is_sorted(m_rows.begin(), m_rows.end(), less))
        std::stable_sort(m_rows.begin(), m_rows.end(), less);
}

int RowSnapshot::rowOf(const QVariant& identity) const
{
    if (m_identity < 0 || identity.isNull())
        return -1;
    const qlonglong id = identity.toLongLong();
    const bool numeric = identity.metaType().id() == QMetaType::Int || identity.metaType().id() == QMetaType::LongLong;
    for (int i = 0; i < int(m_rows.size()); ++i) {
        const QVariant* v = m_rows[size_t(i)].find(m_identity);
        if (v && (numeric ? v->toLongLong() == id : *v == identity))
            return i;
    }
    return -1;
}

int RowSnapshot::identityBound(qint64 identity) const
{
    return int(std::lower_bound(m_rows.begin(), m_rows.end(), identity,
                                [this](const Row& r, qint64 k) { return keyOf(r.find(m_identity)) < k; })
               - m_rows.begin());
}

bool RowSnapshot::readStored(const QVariant& identity, Row* stored) const
{
    RowReader reader(*m_connection, tableSelect() + " WHERE " + key() + " = ?", {identity});
    std::vector<QVariant> buffer;
    if (!reader.next())
        return false;
    *stored = readRow(reader, buffer);
    return true;
}

void RowSnapshot::reread(int index, const QVariant& identity)
{
    RowReader reader(*m_connection, tableSelect() + " WHERE " + key() + " = ?", {identity});
    std::vector<QVariant> buffer;
    m_cache.erase(identity.toLongLong());
    if (m_lazy && m_search >= 0)
        noteWhole(identity.toLongLong());
    if (reader.next())
        m_rows[size_t(index)] = readRow(reader, buffer);
}

// ---- what other programs wrote ----------------------------------------------------------------

qint64 RowSnapshot::logPosition() const
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

bool RowSnapshot::followLog()
{
    if (!m_lazy || m_logSeq < 0 || m_outOfOrder)
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
        if (last < m_logSeq || (last > m_logSeq && bounds.integer(0) > m_logSeq + 1))
            return false;
        RowReader changed(*m_connection,
                          "SELECT DISTINCT " + Connection::quote(m_logKey) + " FROM " + log
                              + " WHERE \"Seq\" > ? AND \"Seq\" <= ?",
                          {m_logSeq, last});
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
    const size_t namesBefore = m_names.size();
    const bool detail = !m_linkColumn.isEmpty();
    try {
        QString sql = keptSelect() + " WHERE " + key() + " = ?";
        if (detail)
            sql += " AND " + Connection::quote(m_linkColumn) + " = ?";
        for (qint64 id : ids) {
            QVariantList positional{id};
            if (detail)
                positional << m_linkValue;
            RowReader reader(*m_connection, sql, positional);
            fresh.emplace_back(id, reader.next() ? std::optional<Row>(readKept(reader)) : std::nullopt);
        }
    } catch (const DataError&) {
        m_foldedText.resize(textBefore);
        m_names.resize(namesBefore);
        return false;
    }
    auto identityOf = [this](const Row& r) { return keyOf(r.find(m_identity)); };
    if (orderedByIdentity()) {
        // Rows in identity order: each one named is found by halving, not by a pass over all.
        for (auto& [key, row] : fresh) {
            m_cache.erase(key);
            const auto at = m_rows.begin() + identityBound(key);
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
        sort();
        stripAll();
    }
    m_logSeq = last;
    m_external = external;
    return true;
}

bool RowSnapshot::readAdded(qint64 after)
{
    if (!orderedByIdentity())
        return false;
    const bool detail = !m_linkColumn.isEmpty();
    const qint64 seq = logPosition();
    const quint64 version = m_connection->tableVersion(m_table);
    const qint64 external = m_connection->externalVersion();
    std::vector<Row> added;
    const size_t textBefore = m_foldedText.size();
    const size_t namesBefore = m_names.size();
    if (!(detail && m_linkValue.isNull())) {
        QString sql = keptSelect() + " WHERE " + key() + " > ?";
        QVariantList positional{after};
        if (detail) {
            sql += " AND " + Connection::quote(m_linkColumn) + " = ?";
            positional << m_linkValue;
        }
        try {
            RowReader reader(*m_connection, sql + " ORDER BY " + key(), positional);
            while (reader.next())
                added.push_back(readKept(reader));
        } catch (const DataError&) {
            m_foldedText.resize(textBefore);
            m_names.resize(namesBefore);
            return false;
        }
    }
    auto identityOf = [this](const Row& r) { return keyOf(r.find(m_identity)); };
    m_rows.reserve(m_rows.size() + added.size());
    for (Row& row : added) {
        const qint64 id = identityOf(row);
        m_cache.erase(id);
        if (m_rows.empty() || identityOf(m_rows.back()) < id) {
            m_rows.push_back(std::move(row)); // new identities follow every one held
            continue;
        }
        const auto at = m_rows.begin() + identityBound(id);
        if (at != m_rows.end() && identityOf(*at) == id)
            *at = std::move(row);
        else
            m_rows.insert(at, std::move(row));
    }
    m_tableVersion = version;
    m_external = external;
    m_logSeq = m_lazy ? seq : -1;
    return true;
}

// ---- walks ------------------------------------------------------------------------------------

bool RowSnapshot::canStream(const QVector<int>& columns) const
{
    if (!m_lazy || !std::all_of(columns.begin(), columns.end(), [&](int c) { return c >= 0 && c < m_identity; }))
        return false;
    // One pass over the table in identity order serves the rows held in that order.
    qint64 previous = std::numeric_limits<qint64>::min();
    for (const Row& r : m_rows) {
        if (r.isComplete())
            continue;
        const qint64 id = keyOf(r.find(m_identity));
        if (id <= previous)
            return false;
        previous = id;
    }
    return true;
}

void RowSnapshot::stream(const QVector<int>& tested, const Test& test, const QVector<int>& extra, const Visitor& take) const
{
    const int count = int(m_rows.size());
    const QVector<int> columns = tested + extra;
    const int eager = int(tested.size());
    std::vector<QVariant> values(size_t(tested.size()));
    std::vector<QVariant> more(size_t(extra.size()));
    QStringList quoted{key()};
    for (int c : columns)
        quoted << Connection::quote(m_columns[c].name);
    QString sql = "SELECT " + quoted.join(", ") + " FROM " + Connection::quote(m_table);
    QVariantList positional;
    const bool detail = !m_linkColumn.isEmpty();
    if (detail) {
        // When the master's rows are a good part of the table, one pass over the table beats a
        // seek into it for each row that the link's index would give.
        bool most = false;
        try {
            RowReader top(*m_connection, "SELECT max(" + key() + ") FROM " + Connection::quote(m_table), {});
            most = top.next() && qint64(count) * 4 >= top.integer(0);
        } catch (const DataError&) {
        }
        sql += QString(" WHERE ") + (most ? "+" : "") + Connection::quote(m_linkColumn) + " = ?";
        positional << m_linkValue;
    }
    sql += " ORDER BY " + key();
    RowReader reader(*m_connection, sql, positional);
    // The identities of the rows shown, in the order the rows are walked in.
    std::vector<qint64> shown;
    shown.reserve(m_cache.size());
    for (const auto& entry : m_cache)
        shown.push_back(entry.first);
    std::sort(shown.begin(), shown.end());
    size_t nextShown = 0;
    bool readerOn = !(detail && m_linkValue.isNull()) && reader.next();
    qint64 at = readerOn ? reader.integer(0) : 0;
    for (int i = 0; i < count; ++i) {
        const Row& r = m_rows[size_t(i)];
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
                values[size_t(k)] = whole->value(columns[k]);
            if (!test(i, values))
                continue;
            for (int k = 0; k < extra.size(); ++k)
                more[size_t(k)] = whole->value(extra[k]);
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
                const int field = from + int(k) + 1; // after the row key
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

std::vector<int> RowSnapshot::rowsDatedOn(int date, int on, int month, int day) const
{
    std::vector<int> rows;
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
    QString sql = "SELECT " + key() + " FROM " + Connection::quote(m_table) + " WHERE " + Connection::quote(m_columns[on].name)
                  + " <> 0 AND substr(" + d + ", 6, 2) = ? AND substr(" + d + ", 9, 2) = ?";
    QVariantList positional{QString("%1").arg(month, 2, 10, QChar('0')), QString("%1").arg(day, 2, 10, QChar('0'))};
    if (!m_linkColumn.isEmpty()) {
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
        const Row& r = m_rows[size_t(i)];
        const QVariant* id = r.find(m_identity);
        // A row held whole may differ from the file (written, not yet put in order): a candidate.
        if (r.isComplete() || (id && std::binary_search(found.begin(), found.end(), id->toLongLong())))
            rows.push_back(i);
    }
    return rows;
}
