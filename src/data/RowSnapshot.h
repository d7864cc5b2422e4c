#pragma once
#include "Column.h"
#include "Row.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <QVector>

#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class Connection;
class RowReader;

// The rows a dataset shows, as read from the file, and how they are held in memory.
//
// A query's rows are held whole. A table's rows are held by their identities and the few columns
// that ordering and finding read (the sort and lookup keys, and one searched column kept
// case-folded in one shared text store); a row's other values are read when the row is first
// shown or made current, and kept in a small cache until the rows are read again, so memory does
// not grow with the text on file. The row being edited, and one written but not yet put in order,
// are held whole.
//
// It also remembers what the file stood at when the rows were read, and takes in what other
// programs wrote since by the change log: only the rows the log names are read again.
//
// The dataset owns the cursor and the states; this class knows nothing of them.
class RowSnapshot {
public:
    explicit RowSnapshot(Connection* connection) : m_connection(connection) {}

    // What the rows are: set when the dataset learns its columns, before the rows are read.
    struct Layout {
        QString table;           // empty: a query's rows, held whole
        QVector<Column> columns; // the dataset's columns, the row identity among them
        int identity = -1;       // the column that identifies a row when it is written
        QVector<int> sortKeys;   // the columns the rows are ordered by
        QVector<int> kept;       // columns other datasets find rows by: held in every row
        int search = -1;         // a column searches read, held case-folded
        QString linkColumn;      // a detail's link to its master; empty for none
        int link = -1;
    };
    void setLayout(Layout layout);
    // A table whose triggers log the identity of every row written to this table.
    void setChangeLog(const QString& logTable, const QString& keyColumn) { m_logTable = logTable; m_logKey = keyColumn; }
    // Told of the first row the file could not give, once until the rows are read again.
    void onUnreadable(std::function<void(qint64 identity, const QString& why)> tell) { m_tellUnreadable = std::move(tell); }

    // Reading. A table's rows with the given link value (a detail's), or a query's rows.
    void readTable(const QVariant& linkValue);
    void readQuery(RowReader& reader, bool stepped); // stepped: its first next() said so
    // Notes what the file stands at without reading: a detail whose link is null has no rows.
    void markRead(const QVariant& linkValue);
    void clear();   // forgets the rows and the cache; the layout stays
    void release(); // as clear, giving the memory back
    bool isLazy() const { return m_lazy; }

    // The rows, in the dataset's order.
    int size() const { return int(m_rows.size()); }
    bool empty() const { return m_rows.empty(); }
    const Row& operator[](int index) const { return m_rows[size_t(index)]; }
    // A row to change in place: it may be made whole, so searches test it by its values.
    Row& writable(int index);
    void insert(int at, Row row);
    void erase(int at) { m_rows.erase(m_rows.begin() + at); }

    // A value held in the row itself or known without reading it; nullptr when only the whole
    // row read from the file has it.
    const QVariant* inMemory(const Row& r, int column) const;
    const Row& fullRow(int row) const; // reads and caches the whole row when needed
    // Reads the whole rows of many at once (a page of a grid, the day's reminders): one read by
    // their keys instead of one a row. A row that cannot be read so is left to fullRow().
    void prefetch(const std::vector<int>& rows) const;
    bool isUnreadable(int row) const;
    // Whether the row holds the column only folded (searches compare it so).
    bool isFolded(const Row& r, int column) const { return m_lazy && column == m_search && !r.isComplete(); }
    QStringView foldedText(const Row& r) const;
    int searchColumn() const { return m_lazy ? m_search : -1; }
    int linkColumn() const { return m_lazy ? m_link : -1; } // held by no row: every row has linkValue()
    const QVariant& linkValue() const { return m_linkValue; }
    static QString fold(QStringView text); // as a case-insensitive comparison folds it

    // The search by the folded column without a pass over every row: the folded texts are kept
    // in order beside the rows. Possible while the rows stand in identity order.
    bool canFindByName() const { return m_search >= 0 && orderedByIdentity(); }
    // Among the rows held in part, the one a search for want picks: a folded text that begins
    // with want (prefix) or equals it, a missing text first when want is empty, then the lowest
    // text, then the first row; -1 for none.
    int lowestByName(QStringView want, bool prefix) const;
    // The rows held whole, in order: searches test them by their values.
    std::vector<int> wholeRows() const;

    // Index of the row with this identity, -1 for none.
    int rowOf(const QVariant& identity) const;
    // Where a row with this identity stands or would stand in rows held in identity order.
    int identityBound(qint64 identity) const;
    static qint64 keyOf(const QVariant* v); // a row identity as a number

    // Ordering. A new row stands where it was inserted until the rows are sorted.
    void sort();
    bool orderedByIdentity() const;
    void markOutOfOrder() { m_outOfOrder = true; }
    bool isOutOfOrder() const { return m_outOfOrder; }
    // Back to what ordering and finding need; the whole row stays in the cache as shown.
    void stripRow(int index);
    void stripAll(int except = -1);

    // Writing: the stored row by its identity (false: gone), and the row at index read anew.
    bool readStored(const QVariant& identity, Row* stored) const;
    void reread(int index, const QVariant& identity);
    void forget(qint64 identity) { m_cache.erase(identity); }

    // What the file stood at when the rows were read.
    quint64 tableVersion() const { return m_tableVersion; }
    void setTableVersion(quint64 version) { m_tableVersion = version; }
    qint64 externalVersion() const { return m_external; }
    bool followsLog() const { return !m_logTable.isEmpty() && m_lazy && m_logSeq >= 0; }
    // Applies what another program wrote, as the change log names it: the rows named are read
    // again, added or dropped, the others stay as they are. false: the log does not say
    // everything (or could not be read), read the rows again; nothing has changed then.
    bool followLog();
    // Takes in the rows above identity `after` that this program has just added (a batch), in
    // their places by identity, without reading the others again. false: the rows are not held
    // in identity order, or the file could not give them; nothing has changed then.
    bool readAdded(qint64 after);

    // A walk over the table in identity order that reads the columns from the file in one pass;
    // possible when every row held in memory stands in that order and the columns are the table's.
    bool canStream(const QVector<int>& columns) const;
    using Test = std::function<bool(int row, const std::vector<QVariant>& values)>;
    using Visitor = std::function<void(int row, const std::vector<QVariant>& values)>;
    void stream(const QVector<int>& tested, const Test& test, const QVector<int>& extra, const Visitor& take) const;
    // The rows that may hold a date falling on the month and day in dateColumn while
    // switchColumn is on; every row when the file cannot narrow it down.
    std::vector<int> rowsDatedOn(int dateColumn, int switchColumn, int month, int day) const;

private:
    QString keptSelect() const;
    QString tableSelect() const;
    QString key() const; // the column the table's rows are read by
    Row readKept(const RowReader& reader);
    Row readRow(const RowReader& reader, std::vector<QVariant>& buffer) const;
    void appendFolded(Row& r, QStringView text, bool null);
    qint64 logPosition() const; // the last entry of the change log; -1 without a log
    // One folded text in the name order: where it stands in m_foldedText, and whose it was.
    struct NameEntry {
        quint32 at;
        quint32 length;
        qint64 identity;
    };
    QStringView textOf(const NameEntry& e) const
    {
        return QStringView(m_foldedText.data() + e.at, qsizetype(e.length == Row::kNoText ? 0 : e.length));
    }
    void orderNames() const;
    int rowOfName(const NameEntry& e) const; // -1: the row is gone or holds another text now
    void noteWhole(qint64 identity) const;
    const Row& cacheRow(qint64 identity, Row whole) const;
    void noteUnreadable(qint64 identity, const QString& why) const;

    Connection* m_connection;
    QString m_table;
    QVector<Column> m_columns;
    QVector<int> m_sortKeys;
    int m_identity = -1;
    QString m_linkColumn;
    QString m_logTable, m_logKey;
    std::function<void(qint64, const QString&)> m_tellUnreadable;

    bool m_lazy = false;        // a table's rows: only what ordering and finding need is held
    std::vector<bool> m_keep;   // per column: held in every row
    QVector<int> m_keptColumns; // those columns, in order
    int m_search = -1;          // the searched column, held case-folded in m_foldedText
    int m_alias = -1;           // the column that is the row identity under its own name
    int m_link = -1;            // the link column, equal to m_linkValue in every row read
    QVariant m_linkValue;

    std::vector<Row> m_rows;
    std::vector<char16_t> m_foldedText;
    // Every folded text appended to m_foldedText, by (missing first, text, identity): ordered
    // up to m_namesOrdered, the ones added since after that. The text store only grows until
    // the rows are read again, so an entry whose row still points at the same text is current;
    // the others are passed over.
    mutable std::vector<NameEntry> m_names;
    mutable size_t m_namesOrdered = 0;
    // Identities of the rows that may be held whole (changed in place or read whole), in order.
    mutable std::vector<qint64> m_whole;
    bool m_outOfOrder = false;
    quint64 m_tableVersion = 0; // this program's writes to the table
    qint64 m_external = -1;     // other programs' commits
    qint64 m_logSeq = -1;       // the change log's last entry

    // The whole rows read for display. A true cache: what the file holds for rows that the
    // snapshot holds only in part, filled by the const readers that first need them and emptied
    // whenever the rows are read again.
    struct Cached {
        Row row;
        quint64 used;
    };
    mutable std::unordered_map<qint64, Cached> m_cache; // identity -> whole row, as first read
    static constexpr size_t kCacheCapacity = 256;
    mutable quint64 m_cacheClock = 0;
    mutable QString m_rowSelect; // the text reading one whole row, made once per layout
    // Also cached: the rows the file could not give, so a repaint does not read a damaged page
    // again and again; forgotten when the rows are read again.
    mutable std::unordered_set<qint64> m_unreadable;
    // Whether a row the file could not give has been said: once a run, from whichever reader met
    // it first (a repaint included), as the notice is queued and changes nothing shown.
    mutable bool m_toldUnreadable = false;
};
