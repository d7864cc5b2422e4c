#include "Dataset.h"

#include "Connection.h"
#include "data/DataError.h"
#include "DataSource.h"
#include "PersonHistory.h"
#include "RowReader.h"

#include <QPointer>

#include <algorithm>


Dataset::Dataset(const QString& name, Connection* connection, QObject* parent)
    : QObject(parent), m_name(name), m_connection(connection), m_rows(connection)
{
    setObjectName(name);
    // Met while a view repaints, which must not fail: said once, after the read that met it.
    m_rows.onUnreadable([this](qint64 identity, const QString& why) {
        QMetaObject::invokeMethod(this, [this, identity, why] { emit unreadable(identity, why); }, Qt::QueuedConnection);
    });
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

void Dataset::noteReload(int rowsBefore)
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

void Dataset::load()
{
    m_needsLoad = false;
    m_lookupIndex.clear();
    m_rows.clear();
    if (!m_table.isEmpty()) {
        buildColumns(tableColumnNames());
        m_rows.readTable(m_linkValue);
        return;
    }
    RowReader reader(*m_connection, m_sql, {}, m_params);
    // Run before its columns are asked: a server then tells them with the rows, not in an
    // exchange of their own.
    const bool stepped = reader.next();
    buildColumns(reader.columnNames());
    m_rows.readQuery(reader, stepped);
}

// A deferred dataset's rows are read by whichever reader needs them first, a const one included:
// the read fills the snapshot with what the file holds and changes nothing a view has been told
// (the rows were announced as reset when the read was put off), so it is a cache fill.
void Dataset::ensureLoaded() const
{
    if (m_needsLoad)
        const_cast<Dataset*>(this)->load();
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
    m_rows.release();
    noteRows(RowChange::Reset);
    m_lookupIndex.clear();
    m_current = -1;
    m_modified = false;
    m_needsLoad = false;
    announceChanged();
    announceMoved();
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
    m_original = m_rows.fullRow(m_current); // as shown: what the conflict check compares with
    m_original.setComplete(true);
    m_rows.writable(m_current) = m_original;
    m_state = DatasetState::Edit;
    m_modified = false;
    m_rowGone = false;
    m_overOthers = false;
    m_stampAtEdit = storedStamp(m_identity >= 0 ? m_original.value(m_identity) : QVariant());
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
    m_rows.insert(at, std::move(r));
    noteRows(RowChange::Inserted, at);
    m_lookupIndex.clear();
    m_rows.markOutOfOrder();
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
    m_rows.writable(m_current).setValue(column, v);
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
        throw DataError("Your changes could not be saved. " + e.cause(), e.cause(), e.reason());
    }
    reloadRow(m_current, identity);
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

// Who had changed the row last, as its own record says; unknown where that cannot be read, which
// only costs the question its names.
ChangeStamp::Stamp Dataset::storedStamp(const QVariant& identity) const
{
    const QString table = writeTable();
    if (m_table.isEmpty() || identity.isNull() || !ChangeStamp::kept(*m_connection, table))
        return {};
    try {
        return ChangeStamp::stored(*m_connection, table, m_connection->store().rowKey(table), identity);
    } catch (const DataError&) {
        return {};
    }
}

QVariant Dataset::updateRow(const QString& table, const QVariant& identity)
{
    const Row& r = m_rows[m_current];
    QStringList names;
    storage::RowUpdate change;
    change.table = Connection::quote(table);
    change.key = m_table.isEmpty() ? Connection::quote(m_keyColumnName) : m_connection->store().rowKey(table);
    change.keyValue = identity;
    for (int i = 0; i < m_columns.size(); ++i) {
        if ((i == m_identity && !m_table.isEmpty()) || !m_changedColumns[i] || m_columns[i].readOnly)
            continue;
        names << m_columns[i].name;
        change.columns << Connection::quote(m_columns[i].name);
        change.values << ColumnValue::toDatabase(r.value(i), m_columns[i].type);
    }
    ChangeStamp::add(*m_connection, table, change.columns, change.values);

    bool overwrite = false;
    for (;;) {
        const bool inSync = m_rows.tableVersion() == m_connection->tableVersion(table);
        Connection::Transaction tx(*m_connection);
        // Questions are asked only outside a wider transaction, which must not wait on the user.
        const bool mayAsk = m_connection->transactionDepth() == 1;
        // The write itself checks that the columns still hold what editing began from, so that
        // a save nobody else got in the way of is one statement.
        storage::RowUpdate attempt = change;
        const bool checked = !overwrite && !m_table.isEmpty();
        if (checked) {
            for (int i = 0; i < m_columns.size(); ++i) {
                if (!m_changedColumns[i] || m_columns[i].readOnly || i == m_identity)
                    continue;
                attempt.expectedColumns << Connection::quote(m_columns[i].name);
                attempt.expectedValues << ColumnValue::toDatabase(m_original.value(i), m_columns[i].type);
            }
        }
        PersonHistory::Save history(*m_connection, table, change.key, identity, names, overwrite || m_overOthers);
        history.readBack(attempt);
        storage::UpdateOutcome outcome = m_connection->update(attempt);
        if (outcome == storage::UpdateOutcome::Changed && !checked) {
            outcome = storage::UpdateOutcome::Gone; // nothing was written: as good as no row
        } else if (outcome == storage::UpdateOutcome::Changed) {
            // Told apart in the program's own terms: a value another program stored in another
            // form that reads the same is no change.
            Row stored;
            if (!m_rows.readStored(identity, &stored)) {
                outcome = storage::UpdateOutcome::Gone;
            } else if (stillAsRead(stored)) {
                change.expectedColumns.clear();
                outcome = m_connection->update(change);
                if (outcome == storage::UpdateOutcome::Changed)
                    outcome = storage::UpdateOutcome::Gone;
            } else {
                tx.rollback(); // nobody waits for our lock while the user decides
                // From now on the row as stored is what editing began from: Discard shows it,
                // and a second Save after going on editing writes over it knowingly.
                m_original = stored;
                const ChangeStamp::Stamp theirs = storedStamp(identity);
                m_conflictWriter = ChangeStamp::otherWriter(*m_connection, m_stampAtEdit, theirs);
                m_stampAtEdit = theirs;
                if (!mayAsk)
                    throw DataError("Another user changed this record since you began editing it.");
                const bool over = askConflict(Conflict::Changed);
                m_conflictWriter = {};
                if (!over) {
                    m_overOthers = true; // the next save writes over their change knowingly
                    throw Declined{};
                }
                overwrite = true;
                continue;
            }
        }
        if (outcome == storage::UpdateOutcome::Written) {
            history.written(); // in this transaction: the change and its history together
        } else {
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
    QStringList cols;
    QVariantList vals;
    for (int i = 0; i < m_columns.size(); ++i) {
        if ((i == m_identity && !m_table.isEmpty()) || m_columns[i].readOnly)
            continue;
        if (everyColumn ? r.value(i).isNull() : !m_changedColumns[i])
            continue;
        cols << Connection::quote(m_columns[i].name);
        vals << ColumnValue::toDatabase(r.value(i), m_columns[i].type);
    }
    ChangeStamp::add(*m_connection, table, cols, vals);
    const bool inSync = m_rows.tableVersion() == m_connection->tableVersion(table);
    Connection::Transaction tx(*m_connection);
    const QVariant identity = m_connection->insert(Connection::quote(table), cols, vals);
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
        m_rows.setTableVersion(m_connection->tableVersion(table));
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
            m_rows.writable(index).setValue(m_identity, identity);
        return;
    }
    m_rows.reread(index, identity);
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
    m_overOthers = false;
    m_lookupIndex.clear();
    if (!m_rows.isOutOfOrder())
        m_rows.stripRow(m_current); // a new row stays whole while it stands out of table order
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
    m_overOthers = false;
    if (wasInsert) {
        m_rows.erase(m_current);
        noteRows(RowChange::Removed, m_current);
        if (m_current >= int(m_rows.size()))
            m_current = int(m_rows.size()) - 1;
        if (m_current < 0 && !m_rows.empty())
            m_current = 0;
    } else {
        m_rows.writable(m_current) = m_original;
    }
    m_lookupIndex.clear();
    m_state = DatasetState::Browse;
    m_modified = false;
    if (!wasInsert && !m_rows.isOutOfOrder())
        m_rows.stripRow(m_current);
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
    m_overOthers = false;
    m_rows.clear();
    m_lookupIndex.clear();
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
    const bool inSync = m_rows.tableVersion() == m_connection->tableVersion(table);
    const QString where = m_table.isEmpty() ? Connection::quote(m_keyColumnName) : m_connection->store().rowKey(table);
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
        throw DataError("The record could not be deleted. " + e.cause(), e.cause(), e.reason());
    }
    tookOverWrite(table, inSync);
    // Unsaved edits of the deleted row go with it.
    m_state = DatasetState::Browse;
    m_modified = false;
    m_rowGone = false;
    m_overOthers = false;
    m_rows.erase(m_current);
    noteRows(RowChange::Removed, m_current);
    m_rows.forget(identity.toLongLong());
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

void Dataset::refreshAdded(qint64 after, quint64 tableVersion)
{
    requireActive();
    settle();
    const bool onlyAdded = !m_table.isEmpty() && !m_needsLoad && m_rows.tableVersion() == tableVersion
                           && m_rows.externalVersion() == m_connection->externalVersion();
    const int before = m_rows.size();
    if (!onlyAdded || !m_rows.readAdded(after)) {
        refresh();
        return;
    }
    m_lookupIndex.clear();
    noteReload(before);
    if (m_current < 0 && !m_rows.empty())
        m_current = 0;
    announceChanged();
    fire(events.afterRefresh);
    announceMoved();
}

void Dataset::refresh()
{
    requireActive();
    settle();
    const int before = m_rows.size();
    if (m_needsLoad) {
        load();
        noteRows(RowChange::Reset);
    } else {
        const QVariant identity = (m_identity >= 0 && !m_rows.empty()) ? m_rows[recNo()].value(m_identity) : QVariant();
        const int oldIndex = m_current;
        const bool unchanged = !m_table.isEmpty()
                               && m_rows.tableVersion() == m_connection->tableVersion(m_table)
                               && m_rows.externalVersion() == m_connection->externalVersion();
        if (unchanged) {
            if (m_rows.isOutOfOrder())
                sortRows(); // a re-read would return the rows in table order
        } else if (!(m_rows.tableVersion() == m_connection->tableVersion(m_table) && followLog())) {
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

// Applies what another program wrote, as the change log names it: the rows named are read
// again, added or dropped, the others stay as they are.
// Takes in what another program wrote, as the change log names it; not while a row is pending or
// before the rows were first read.
bool Dataset::followLog()
{
    if (m_needsLoad || isEditing() || !m_rows.followLog())
        return false;
    m_lookupIndex.clear();
    return true;
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
        announceChanged();
        announceMoved();
        return;
    }
    const int before = m_rows.size();
    load();
    noteReload(before);
    m_current = m_rows.empty() ? -1 : 0;
    afterMove(!m_rows.empty());
}

