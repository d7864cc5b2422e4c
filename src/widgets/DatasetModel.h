#pragma once
#include "data/RowChange.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <QVector>

class DataSource;
class Dataset;

// One column of a data-bound grid: the dataset column it shows, its title and width, and how a
// cell of it is edited.
struct GridColumn {
    enum class Editor { Text, PickList, WholeNumber, Date };
    GridColumn(const QString& field, const QString& title, int width, Editor editor = Editor::Text,
               const QStringList& pickList = {})
        : field(field), title(title), width(width), editor(editor), pickList(pickList)
    {
    }
    QString field;
    QString title;
    int width = 64;
    Editor editor = Editor::Text;
    QStringList pickList; // the drop-down's items; the cell still takes any typed text
};

// The rows of a dataset as a table model, read through the dataset's own cursor-free access, so
// a grid shows a hundred thousand rows without copying them. Detached, it shows nothing and
// ignores the dataset, so a hidden window costs nothing while other windows work.
class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Indicator { None, Current, Edit, Insert };
    static constexpr int IndicatorRole = Qt::UserRole + 1;

    DatasetModel(DataSource* source, const QList<GridColumn>& columns, QObject* parent = nullptr);

    Dataset* dataset() const;
    const GridColumn& gridColumn(int column) const { return m_columns[column]; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }
    // An editable grid over an empty dataset shows one blank row to start typing in.
    void setBlankRowWhenEmpty(bool blank) { m_blankRow = blank; }
    void setAttached(bool attached);
    bool isAttached() const { return m_attached; }

    int currentRow() const; // the dataset's current row, -1 when there is none
    // Rows are coming or going: what a view does meanwhile must not move the dataset.
    bool isChangingRows() const { return m_changingRows; }
    QString editText(const QModelIndex& index) const; // what a cell editor starts with
    int maxLength(int column) const;                  // 0: no limit

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    void currentChanged(); // the dataset's current row or its state changed

private:
    void datasetChanged();
    void rowsChanged(RowChange change);
    void fieldChanged(int datasetColumn);
    int displayedRows() const;
    void resolveColumns();

    DataSource* m_source;
    QList<GridColumn> m_columns;
    QVector<int> m_datasetColumns;
    bool m_readOnly = false;
    bool m_blankRow = false;
    bool m_attached = false;
    bool m_resolvedActive = false;
    bool m_changingRows = false;
    int m_rows = 0;
    int m_indicatorRow = -1;
};
