#include "RowSnapshot.h"

#include <algorithm>
#include <limits>

// The search by name: the folded texts kept in order beside the rows, and the rows held whole
// that a search tests one by one.

Row& RowSnapshot::writable(int index)
{
    Row& r = m_rows[size_t(index)];
    if (m_lazy && m_search >= 0)
        noteWhole(keyOf(r.find(m_identity)));
    return r;
}

void RowSnapshot::insert(int at, Row row)
{
    if (m_lazy && m_search >= 0 && row.isComplete())
        noteWhole(keyOf(row.find(m_identity)));
    m_rows.insert(m_rows.begin() + at, std::move(row));
}

void RowSnapshot::noteWhole(qint64 identity) const
{
    if (identity == std::numeric_limits<qint64>::min())
        return; // a new row: the rows are then out of order, and searched one by one
    const auto at = std::lower_bound(m_whole.begin(), m_whole.end(), identity);
    if (at == m_whole.end() || *at != identity)
        m_whole.insert(at, identity);
}

void RowSnapshot::orderNames() const
{
    if (m_namesOrdered == m_names.size())
        return;
    const auto less = [this](const NameEntry& a, const NameEntry& b) {
        const bool aNull = a.length == Row::kNoText, bNull = b.length == Row::kNoText;
        if (aNull != bNull)
            return aNull;
        if (!aNull)
            if (const int c = textOf(a).compare(textOf(b)); c != 0)
                return c < 0;
        return a.identity < b.identity;
    };
    // The few added since (a save, another program's write) are merged in: no sort of them all.
    const auto added = m_names.begin() + qsizetype(m_namesOrdered);
    std::sort(added, m_names.end(), less);
    if (m_namesOrdered > 0 && m_names.size() - m_namesOrdered <= 4) {
        // One or two saved names: each put in its place costs one move of the entries after it.
        const std::vector<NameEntry> tail(added, m_names.end());
        m_names.resize(m_namesOrdered);
        for (const NameEntry& e : tail)
            m_names.insert(std::upper_bound(m_names.begin(), m_names.end(), e, less), e);
    } else if (m_namesOrdered > 0) {
        std::inplace_merge(m_names.begin(), added, m_names.end(), less);
    }
    m_namesOrdered = m_names.size();
}

int RowSnapshot::rowOfName(const NameEntry& e) const
{
    const int i = identityBound(e.identity);
    if (i >= int(m_rows.size()))
        return -1;
    const Row& r = m_rows[size_t(i)];
    if (r.isComplete() || keyOf(r.find(m_identity)) != e.identity || r.foldedAt != e.at || r.foldedLength != e.length)
        return -1;
    return i;
}

int RowSnapshot::lowestByName(QStringView want, bool prefix) const
{
    if (!canFindByName())
        return -1;
    orderNames();
    const auto begin = m_names.begin(), end = m_names.end();
    const auto texts = std::partition_point(begin, end, [](const NameEntry& e) { return e.length == Row::kNoText; });
    if (want.isEmpty()) {
        // An empty key asks for a missing or an empty text, a missing one first.
        for (auto it = begin; it != end && (it < texts || it->length == 0); ++it)
            if (const int row = rowOfName(*it); row >= 0)
                return row;
        return -1;
    }
    auto it = std::lower_bound(texts, end, want, [this](const NameEntry& e, QStringView w) { return textOf(e).compare(w) < 0; });
    for (; it != end; ++it) {
        const QStringView text = textOf(*it);
        if (prefix ? !text.startsWith(want) : text != want)
            break;
        if (const int row = rowOfName(*it); row >= 0)
            return row;
    }
    return -1;
}

std::vector<int> RowSnapshot::wholeRows() const
{
    std::vector<int> rows;
    // Rows made part-held again are forgotten here, so the list stays as short as the rows held whole.
    std::erase_if(m_whole, [&](qint64 identity) {
        const int i = identityBound(identity);
        const bool whole = i < int(m_rows.size()) && m_rows[size_t(i)].isComplete()
                           && keyOf(m_rows[size_t(i)].find(m_identity)) == identity;
        if (whole)
            rows.push_back(i);
        return !whole;
    });
    return rows;
}
