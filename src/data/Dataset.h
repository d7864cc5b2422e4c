#pragma once
#include "ChangeStamp.h"
#include "Column.h"
#include "Row.h"
#include "RowChange.h"
#include "RowSnapshot.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <optional>
#include <vector>

class Connection;
class DataSource;
class RowReader;

enum class DatasetState { Inactive, Browse, Edit, Insert };

struct LocateOptions {
    bool caseInsensitive = false;
    bool partialKey = false; // the last value matches the beginning of its column
};

// A table or a query with a current row and browse, edit and insert states, over a RowSnapshot
// that holds the rows read (how a table's rows are kept small in memory is told there). A post
// writes one row at once; the snapshot changes only by its own posts and deletes, when another
// program's writes are taken in before a move, or when it is opened, refreshed or re-run. A detail dataset shows the rows whose
// link column equals the master's current value and settles its pending row whenever the
// master moves or is re-read. Before-handlers abort an operation by throwing Abort.
//
// A write that fails leaves the dataset exactly as it was, pending row included. An update
// writes only when the columns it changes still hold what this dataset read when editing
// began; otherwise resolveConflict decides (without one, the post fails with a message).
class Dataset : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(Dataset&)>;
    // Changed: another user changed a column being edited. Deleted: another user deleted the row.
    enum class Conflict { Changed, Deleted };
    // true: write all the same (over theirs, or as a new row); false: go on editing.
    using ConflictHandler = std::function<bool(Dataset&, Conflict)>;
    struct Events {
        Handler beforeInsert, afterInsert, beforeEdit, afterEdit, beforePost, afterPost;
        Handler beforeCancel, afterCancel, beforeDelete, afterDelete, afterScroll, afterRefresh;
        ConflictHandler resolveConflict;
    };
    // While resolveConflict decides about a change: who made it and when, where the row's own
    // record tells it for sure; unknown otherwise.
    ChangeStamp::Stamp conflictWriter() const { return m_conflictWriter; }

    Dataset(const QString& name, Connection* connection, QObject* parent = nullptr);
    ~Dataset() override;

    // Configuration, before opening.
    void setTable(const QString& table);
    void setQuery(const QString& sql);
    void setUpdateTable(const QString& table, const QString& keyColumn); // makes a query writable
    void setDeclaredColumns(const QStringList& columns);                // empty: every column
    // Columns a query reads, checked against the schema when it opens.
    void setRequiredColumns(const QString& table, const QStringList& columns);
    void setColumnSize(const QString& column, int size);
    void setSort(const QStringList& columns);
    void setMaster(DataSource* master, const QString& linkColumn);
    void setParameter(const QString& name, const QVariant& value);
    void addLookup(const QString& name, const QString& keyColumn, Dataset* lookup,
                   const QString& lookupKey, const QString& resultColumn);
    // Reads lazily: the snapshot is taken when something first reads the dataset.
    void setDeferredLoad(bool deferred) { m_deferred = deferred; }
    // A table's column that searches read, kept in memory case-folded (one at most).
    void setSearchColumn(const QString& column) { m_searchColumn = column; }
    // A table whose triggers log the identity of every row written to this dataset's table, by
    // whatever program: after another program's write, only the rows logged since are read.
    void setChangeLog(const QString& logTable, const QString& keyColumn) { m_rows.setChangeLog(logTable, keyColumn); }
    // Takes the place of the DELETE that remove() makes, inside its transaction: for a table whose
    // deleted rows are kept elsewhere (the people's trash).
    void setRemover(std::function<void(const QVariant& identity)> remover) { m_remover = std::move(remover); }
    // A table's column that other datasets find rows by, kept in memory.
    void keepColumn(const QString& column) { if (!m_keptNames.contains(column)) m_keptNames << column; }

    QString name() const { return m_name; }
    QString tableName() const { return m_table; }
    Events events;

    // Lifecycle.
    void open();
    void close();
    void reopen() { close(); open(); }
    bool isActive() const { return m_state != DatasetState::Inactive; }
    DatasetState state() const { return m_state; }
    bool isEditing() const { return m_state == DatasetState::Edit || m_state == DatasetState::Insert; }
    bool isModified() const { return m_modified; }
    // Whether the edit being posted, or the last one posted, set a value of this column.
    bool columnChanged(const QString& column) const;

    // Navigation.
    int recordCount() const;
    bool isEmpty() const { return recordCount() == 0; }
    int recNo() const; // current row index, -1 when empty
    void first();
    void prior();
    void next();
    void last();
    // Moves to a row by its index, settling a pending row first as every move does. The index
    // is that of the rows as they stand before the move: when the pending row was an untouched
    // new one that the move drops, the rows after it keep their meaning.
    void setRecNo(int row);
    bool eof() const;
    bool bof() const;
    bool locate(const QStringList& columns, const QVariantList& values, LocateOptions options = {});
    // Like locate, but among the matches the one lowest in orderColumn wins.
    bool locateLowest(const QStringList& columns, const QVariantList& values, LocateOptions options,
                      const QString& orderColumn);

    // Editing.
    void edit();
    void insert();
    void append(); // a new row after the last one
    void post();
    void cancel();
    void cancelUpdates() { cancel(); }
    void remove();
    void refresh();
    // After this program added rows to the table with identities above `after` and wrote
    // nothing else since the table stood at `tableVersion`: the rows added are read and put in
    // their places, the others stay as they are, and the current row stays. Otherwise, as refresh.
    void refreshAdded(qint64 after, quint64 tableVersion);
    // Between commands, when word came that another program wrote: a list that follows the change
    // log and is only being looked at takes in what was written, as a move would, and shows it.
    // Returns whether anything came; an edit in progress is left alone.
    bool takeInOthersWrites();
    void settle(); // write a changed pending row, drop an unchanged one
    void invalidate(); // forget the snapshot; it is read again when next used
    void checkLookups() const; // every lookup's columns exist in open datasets; throws DataError

    // Columns.
    QVariant value(const QString& column) const;
    QVariant value(int column) const;
    void setValue(const QString& column, const QVariant& value);
    void setValue(int column, const QVariant& value);
    int columnIndex(const QString& column) const; // -1 when unknown
    bool hasColumn(const QString& column) const;
    const Column& column(int index) const { return m_columns[index]; }
    int columnCount() const { return m_columns.size(); }
    QStringList columnNames() const;
    int columnSize(const QString& column) const;
    QVariant valueAt(int row, int column) const; // for walks that must not move the cursor
    // The given rows read whole in one go, before their values are asked for one by one.
    void prefetchRows(const std::vector<int>& rows) const;
    // A row the file could not give (a damaged page): it is never edited, and is said once, by
    // unreadable(), rather than shown as an empty record.
    bool isUnreadable(int row) const { return m_rows.isUnreadable(row); }
    bool currentUnreadable() const { return m_current >= 0 && isUnreadable(m_current); }
    // Reads the given columns of every row in order without moving the cursor, reading the
    // table once instead of row by row: for walks over the whole dataset. The visitor gets the
    // row's index and its values in the order of columns.
    using Visitor = std::function<void(int row, const std::vector<QVariant>& values)>;
    void walk(const QVector<int>& columns, const Visitor& visit) const;
    // The same walk for a search: test gets the values of columns, and for each row it accepts,
    // take gets those of extra, which are read for those rows alone.
    using Test = std::function<bool(int row, const std::vector<QVariant>& values)>;
    void walk(const QVector<int>& columns, const Test& test, const QVector<int>& extra, const Visitor& take) const;
    // The rows, in order, that may hold a date falling on the given month and day of any year in
    // dateColumn while switchColumn is on: every such row and perhaps others, so the caller tests
    // each. An index of the file answers where there is one, instead of a pass over every row.
    std::vector<int> rowsDatedOn(const QString& dateColumn, const QString& switchColumn, int month, int day) const;

signals:
    void rowsChanged(RowChange change); // rows came or went; sent just before changed()
    void changed();                  // rows, current row or state changed: redisplay everything
    void fieldChanged(int column);   // one value of the current row changed
    void moved();                    // current row changed or the dataset was re-read
    // The first row of this dataset that the file could not give, with its identity and why;
    // sent once a run, after the read that met it.
    void unreadable(qint64 identity, const QString& why);

private:
    struct Lookup {
        QString name;
        QString keyColumnName;
        int keyColumn;
        Dataset* dataset;
        QString lookupKey, resultColumn;
    };

    void ensureLoaded() const;
    void load();
    void buildColumns(const QStringList& resultNames);
    QStringList tableColumnNames() const;
    void sortRows() { m_rows.sort(); m_rows.stripAll(isEditing() ? m_current : -1); }
    void masterMoved();
    void announceMoved(); // the details follow, then the views hear of it
    void announceChanged(); // the rows that came or went, then changed()
    void noteRows(RowChange::Kind kind, int row = -1);
    void noteReload(int rowsBefore);
    QString writeTable() const { return m_table.isEmpty() ? m_updateTable : m_table; }
    void writeRow();
    QVariant updateRow(const QString& table, const QVariant& identity);
    QVariant insertRow(const QString& table, bool everyColumn);
    bool stillAsRead(const Row& stored) const;
    bool askConflict(Conflict conflict);
    ChangeStamp::Stamp storedStamp(const QVariant& identity) const;
    void tookOverWrite(const QString& table, bool inSync);
    void reloadRow(int index, const QVariant& identity);
    int rowOf(const QVariant& identity) const { return m_rows.rowOf(identity); } // -1 when no row has it
    [[noreturn]] void schemaFail(const QString& table, const QString& column) const;
    void checkSchema();
    void afterMove(bool fire = true);
    void insertAt(int row);
    QVariant findValue(const QString& keyColumn, const QVariant& key, const QString& resultColumn) const;
    QVariant masterLinkValue() const;
    [[noreturn]] void fail(const QString& text) const;
    void requireActive() const;
    void fire(const Handler& h) { if (h) h(*this); }
    bool matches(int row, const QVector<int>& cols, const QVariantList& values, LocateOptions o,
                 const QString& foldedWant, int skip = -1) const;
    bool followLog(); // false: the log does not say everything, read the rows again
    int catchUp(bool* gone);

    QString m_name;
    Connection* m_connection;
    QString m_table, m_sql, m_updateTable, m_keyColumnName;
    QStringList m_declared, m_sort;
    QHash<QString, int> m_sizeOverrides;
    QHash<QString, QStringList> m_required;
    QHash<QString, QVariant> m_params;
    DataSource* m_master = nullptr;
    std::optional<RowChange> m_rowChange; // not yet announced
    std::vector<QPointer<Dataset>> m_details; // the datasets whose master this is (null once gone)
    QString m_linkColumn;
    QVariant m_linkValue;
    bool m_deferred = false;
    bool m_needsLoad = false; // a deferred dataset's rows are read when first needed

    QVector<Column> m_columns;
    QHash<QString, int> m_columnIndex;
    QVector<Lookup> m_lookups;
    int m_identity = -1; // column that identifies a row when it is written
    RowSnapshot m_rows;
    int m_current = -1;
    DatasetState m_state = DatasetState::Inactive;
    Row m_original;
    bool m_modified = false;
    bool m_rowGone = false; // another user deleted the row being edited
    bool m_overOthers = false; // the user was told of another user's change to the row being edited
    ChangeStamp::Stamp m_stampAtEdit;    // who had changed the row last when editing began
    ChangeStamp::Stamp m_conflictWriter; // see conflictWriter()
    std::vector<bool> m_changedColumns;
    // A true cache: which row holds each key of a column that lookups find rows by, made by the
    // first lookup and forgotten whenever the rows change.
    mutable QHash<QString, QHash<QString, int>> m_lookupIndex; // key column -> key text -> row

    QString m_searchColumn;
    QStringList m_keptNames;
    std::function<void(const QVariant&)> m_remover;
};
