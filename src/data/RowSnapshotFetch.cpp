#include "RowSnapshot.h"

#include "Connection.h"
#include "RowReader.h"

#include <algorithm>

// Over a slow link each read costs a round trip to the server: the rows a page shows come in one.
void RowSnapshot::prefetch(const std::vector<int>& rows) const
{
    if (!m_lazy || m_identity < 0 || !m_connection || !m_connection->isOpen())
        return;
    QVector<qint64> keys;
    for (int row : rows) {
        if (row < 0 || row >= int(m_rows.size()))
            continue;
        const Row& r = m_rows[size_t(row)];
        if (r.isComplete())
            continue;
        const QVariant* id = r.find(m_identity);
        if (!id)
            continue;
        const qint64 key = id->toLongLong();
        if (m_cache.count(key) == 0 && m_unreadable.count(key) == 0)
            keys << key;
    }
    if (keys.size() < 2)
        return; // fullRow() reads a single one as it always did
    // Half the cache at most, so that the rows read stay there while they are shown.
    keys.resize(std::min<qsizetype>(keys.size(), qsizetype(kCacheCapacity / 2)));
    std::vector<std::pair<qint64, Row>> read;
    try {
        storage::Store& store = m_connection->store();
        RowReader reader(*m_connection, tableSelect() + " WHERE " + store.inKeys(key(), "?"), {store.keyList(keys)});
        std::vector<QVariant> buffer;
        while (reader.next()) {
            Row whole = readRow(reader, buffer);
            const QVariant* id = whole.find(m_identity);
            if (id)
                read.emplace_back(id->toLongLong(), std::move(whole));
        }
    } catch (const DataError&) {
        return; // each row is read alone then, and one that cannot be is told of as always
    }
    for (auto& [identity, whole] : read)
        cacheRow(identity, std::move(whole));
}
