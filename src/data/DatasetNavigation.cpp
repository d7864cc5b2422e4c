#include "Dataset.h"

#include "Connection.h"
#include "data/DataError.h"

#include <algorithm>
#include <limits>

// The cursor: moves, the catch-up with other programs' writes that comes before a move, and locate.

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
    if (!m_rows.followsLog() || isEditing() || m_needsLoad
        || m_rows.externalVersion() == m_connection->externalVersion()
        || m_rows.tableVersion() != m_connection->tableVersion(m_table))
        return m_current;
    const int old = m_current;
    const qint64 id = old >= 0 && old < int(m_rows.size()) ? RowSnapshot::keyOf(m_rows[old].find(m_identity))
                                                            : std::numeric_limits<qint64>::min();
    const int before = m_rows.size();
    if (!followLog())
        load();
    noteReload(before);
    // Asked of the rows as they stand now: a list read again is in order even when the rows it
    // had (a person added here, out of order) were not.
    const bool ordered = m_rows.orderedByIdentity();
    int here = id == std::numeric_limits<qint64>::min() ? -1 : rowOf(QVariant(qlonglong(id)));
    if (here < 0 && old >= 0) {
        *gone = true;
        here = std::min(old, int(m_rows.size()));
        if (ordered)
            here = m_rows.identityBound(id);
    }
    m_current = m_rows.empty() ? -1 : std::clamp(here, 0, int(m_rows.size()) - 1);
    return here;
}

bool Dataset::takeInOthersWrites()
{
    if (!isActive() || isEditing() || m_needsLoad || !m_rows.followsLog())
        return false;
    const qint64 seen = m_rows.externalVersion();
    const int old = m_current;
    bool gone;
    catchUp(&gone);
    if (m_rows.externalVersion() == seen && !gone)
        return false;
    announceChanged();
    if (gone || m_current != old)
        fire(events.afterScroll);
    announceMoved();
    return true;
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
        if (m_rows.isFolded(r, cols[k]) && o.caseInsensitive && want.metaType().id() == QMetaType::QString) {
            // Both sides folded: the comparison needs no folding of its own.
            const bool partial = last && o.partialKey && !foldedWant.isEmpty();
            if (r.foldedLength == Row::kNoText) {
                if (!foldedWant.isEmpty())
                    return false; // null and empty are alike to a search
                continue;
            }
            const QStringView text = m_rows.foldedText(r);
            if (partial ? !text.startsWith(foldedWant) : text != QStringView(foldedWant))
                return false;
            continue;
        }
        const QVariant* found = m_rows.inMemory(r, cols[k]);
        const QVariant& v = found ? *found : m_rows.fullRow(row).value(cols[k]);
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
    const int search = m_rows.searchColumn();
    if (search >= 0 && options.caseInsensitive) {
        const int k = int(cols.indexOf(search));
        if (k >= 0 && k < values.size() && values[k].metaType().id() == QMetaType::QString)
            foldedWant = RowSnapshot::fold(values[k].toString());
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
        if (m_rows.isFolded(r, order)) {
            null = r.foldedLength == Row::kNoText;
            return m_rows.foldedText(r);
        }
        const QVariant v = r.value(order);
        null = v.isNull();
        if (!null)
            scratch = RowSnapshot::fold(v.toString());
        else
            scratch.clear();
        return scratch;
    };
    const bool foldedOrder = order >= 0 && order == search;
    // Every row read holds the link value: it is compared once, not once a row.
    const int link = m_rows.linkColumn() >= 0 ? int(cols.indexOf(m_rows.linkColumn())) : -1;
    const bool linkMatches = link >= 0 && sameValue(m_rows.linkValue(), values[link], link == cols.size() - 1, options);
    // Takes row i as the best match when it is; true: the first match is the one wanted.
    auto consider = [&](int i) {
        if (link >= 0 && !linkMatches && !m_rows[i].isComplete())
            return false;
        if (!matches(i, cols, values, options, foldedWant, link))
            return false;
        if (order < 0) {
            found = i;
            return true;
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
            return false;
        }
        const QVariant* held = m_rows.inMemory(m_rows[i], order);
        const QVariant v = held ? *held : m_rows.fullRow(i).value(order);
        if (found < 0 || ColumnValue::compare(v, best) < 0) {
            found = i;
            best = v;
        }
        return false;
    };
    // The search box's question (a name beginning so, perhaps among one master's rows, the
    // lowest name wins) is answered by the names kept in order: the lowest row held in part
    // that matches, and the few rows held whole, taken in row order as the pass below would.
    const int searched = search >= 0 ? int(cols.indexOf(search)) : -1;
    const bool byName = foldedOrder && options.caseInsensitive && m_rows.canFindByName() && searched >= 0
                        && searched < values.size() && values[searched].metaType().id() == QMetaType::QString
                        && cols.size() == (link >= 0 ? 2 : 1) && link != searched;
    if (byName) {
        std::vector<int> candidates = m_rows.wholeRows();
        if (link < 0 || linkMatches) {
            const bool prefix = searched == cols.size() - 1 && options.partialKey && !foldedWant.isEmpty();
            if (const int row = m_rows.lowestByName(foldedWant, prefix); row >= 0)
                candidates.insert(std::lower_bound(candidates.begin(), candidates.end(), row), row);
        }
        for (int i : candidates)
            consider(i);
    } else {
        for (int i = 0; i < int(m_rows.size()); ++i)
            if (consider(i))
                break;
    }
    if (found < 0)
        return false;
    m_current = found;
    afterMove();
    return true;
}

