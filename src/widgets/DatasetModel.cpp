#include "DatasetModel.h"

#include "DateText.h"
#include "data/DataSource.h"
#include "data/Dataset.h"
#include "data/ViewReaction.h"
#include "platform/ErrorDisplay.h"

DatasetModel::DatasetModel(DataSource* source, const QList<GridColumn>& columns, QObject* parent)
    : QAbstractTableModel(parent), m_source(source), m_columns(columns)
{
    connect(source, &DataSource::rowsChanged, this,
            [this](RowChange change) { reactOutsideEmission(this, [&] { rowsChanged(change); }); });
    connect(source, &DataSource::changed, this, [this] { reactOutsideEmission(this, [this] { datasetChanged(); }); });
    connect(source, &DataSource::moved, this, [this] { reactOutsideEmission(this, [this] { datasetChanged(); }); });
    connect(source, &DataSource::fieldChanged, this,
            [this](int column) { reactOutsideEmission(this, [&] { fieldChanged(column); }); });
}

Dataset* DatasetModel::dataset() const { return m_source->dataset(); }

void DatasetModel::resolveColumns()
{
    m_datasetColumns.clear();
    for (const GridColumn& c : m_columns)
        m_datasetColumns << (dataset()->isActive() ? dataset()->columnIndex(c.field) : -1);
}

void DatasetModel::setAttached(bool attached)
{
    if (attached == m_attached)
        return;
    m_changingRows = true;
    beginResetModel();
    m_attached = attached;
    resolveColumns();
    m_resolvedActive = dataset()->isActive();
    m_rows = displayedRows();
    m_indicatorRow = currentRow();
    endResetModel();
    m_changingRows = false;
    emit currentChanged();
}

int DatasetModel::displayedRows() const
{
    if (!m_attached || !dataset()->isActive())
        return 0;
    const int n = dataset()->recordCount();
    return n == 0 && m_blankRow ? 1 : n;
}

int DatasetModel::currentRow() const
{
    if (!m_attached || !dataset()->isActive())
        return -1;
    const int row = dataset()->recNo();
    return row < 0 && m_blankRow ? 0 : row;
}

void DatasetModel::datasetChanged()
{
    if (!m_attached)
        return;
    const int rows = displayedRows();
    const bool active = dataset()->isActive();
    const int current = currentRow();
    if (active != m_resolvedActive) {
        m_changingRows = true;
        beginResetModel();
        resolveColumns();
        m_resolvedActive = active;
        m_rows = rows;
        m_indicatorRow = current;
        endResetModel();
        m_changingRows = false;
    } else if (rows != m_rows) {
        // Rows the dataset did not tell of (it always does): the view starts afresh.
        m_changingRows = true;
        beginResetModel();
        m_rows = rows;
        m_indicatorRow = current;
        endResetModel();
        m_changingRows = false;
    } else if (rows > 0) {
        // Same rows: only what is on screen is repainted, however many rows there are.
        emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1), {Qt::DisplayRole, Qt::EditRole});
        const int old = m_indicatorRow;
        m_indicatorRow = currentRow();
        if (old >= 0 && old < rows)
            emit headerDataChanged(Qt::Vertical, old, old);
        if (m_indicatorRow >= 0 && m_indicatorRow != old)
            emit headerDataChanged(Qt::Vertical, m_indicatorRow, m_indicatorRow);
    }
    emit currentChanged();
}

// A row that came or went is inserted or removed at its place, so rows and editors elsewhere
// stay as they are.
void DatasetModel::rowsChanged(RowChange change)
{
    if (!m_attached || dataset()->isActive() != m_resolvedActive)
        return; // the dataset opened or closed: changed() starts the view afresh
    const int rows = displayedRows();
    const int current = currentRow();
    if (rows == m_rows)
        return; // the row for an empty list stands for the one that came or went: repainted
    m_changingRows = true;
    if (change.kind == RowChange::Inserted && m_rows > 0 && rows == m_rows + 1 && change.row >= 0
        && change.row <= m_rows) {
        beginInsertRows({}, change.row, change.row);
        m_rows = rows;
        m_indicatorRow = current;
        endInsertRows();
    } else if (change.kind == RowChange::Removed && rows == m_rows - 1 && change.row >= 0 && change.row < m_rows) {
        beginRemoveRows({}, change.row, change.row);
        m_rows = rows;
        m_indicatorRow = current;
        endRemoveRows();
        if (current >= 0)
            emit headerDataChanged(Qt::Vertical, current, current);
    } else {
        beginResetModel();
        m_rows = rows;
        m_indicatorRow = current;
        endResetModel();
    }
    m_changingRows = false;
}

void DatasetModel::fieldChanged(int datasetColumn)
{
    if (!m_attached)
        return;
    const int row = currentRow();
    if (row < 0 || row >= m_rows)
        return;
    for (int c = 0; c < m_datasetColumns.size(); ++c)
        if (m_datasetColumns[c] == datasetColumn)
            emit dataChanged(index(row, c), index(row, c), {Qt::DisplayRole, Qt::EditRole});
}

int DatasetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int DatasetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_columns.size()); }

QString DatasetModel::editText(const QModelIndex& index) const
{
    if (!index.isValid() || m_datasetColumns.value(index.column(), -1) < 0)
        return {};
    return DateText::formatValue(dataset()->valueAt(index.row(), m_datasetColumns[index.column()]));
}

int DatasetModel::maxLength(int column) const
{
    if (!dataset()->isActive())
        return 0;
    return dataset()->columnSize(m_columns[column].field);
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return editText(index);
    case Qt::TextAlignmentRole:
        if (m_columns[index.column()].editor == GridColumn::Editor::WholeNumber)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return {};
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
            return m_columns[section].title;
        return {};
    }
    if (role != IndicatorRole)
        return {};
    if (section != currentRow())
        return int(Indicator::None);
    switch (dataset()->state()) {
    case DatasetState::Edit: return int(Indicator::Edit);
    case DatasetState::Insert: return int(Indicator::Insert);
    default: return int(Indicator::Current);
    }
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const int col = m_datasetColumns.value(index.column(), -1);
    if (!m_readOnly && col >= 0 && col < dataset()->columnCount() && !dataset()->column(col).readOnly)
        f |= Qt::ItemIsEditable;
    return f;
}

bool DatasetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int col = m_datasetColumns[index.column()];
    return runCommand([&] {
        Dataset* ds = dataset();
        if (index.row() != currentRow())
            ds->setRecNo(index.row());
        if (!ds->isEditing())
            ds->edit(); // an empty dataset starts a new row instead
        ds->setValue(col, value);
    });
}
