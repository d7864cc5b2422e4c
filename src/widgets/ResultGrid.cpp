#include "ResultGrid.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>

namespace {
constexpr int kRowHeight = 16;
constexpr int kBorderGrip = 2; // pixels either side of a row border that resize the row

// A text cell that keeps its text in a member rather than in a list of roles: one allocation
// less per cell, and a run may list a hundred thousand people.
class Cell : public QTableWidgetItem {
public:
    Cell(QString text, Qt::ItemFlags flags) : QTableWidgetItem(UserType), m_text(std::move(text)) { setFlags(flags); }

    QVariant data(int role) const override
    {
        if ((role == Qt::DisplayRole || role == Qt::EditRole) && !m_text.isNull())
            return m_text;
        return QTableWidgetItem::data(role);
    }
    void setData(int role, const QVariant& value) override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            m_text = QString(); // the item's own store holds the text from now on
        QTableWidgetItem::setData(role, value);
    }
    QTableWidgetItem* clone() const override { return new Cell(*this); }

private:
    QString m_text;
};

// A result number, turned into text only when it is read or painted.
class NumberCell : public QTableWidgetItem {
public:
    explicit NumberCell(int number) : QTableWidgetItem(UserType), m_number(number) { setFlags(Qt::ItemIsEnabled); }

    QVariant data(int role) const override
    {
        if ((role == Qt::DisplayRole || role == Qt::EditRole) && m_number > 0)
            return QString::number(m_number);
        return QTableWidgetItem::data(role);
    }
    void setData(int role, const QVariant& value) override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            m_number = 0;
        QTableWidgetItem::setData(role, value);
    }
    QTableWidgetItem* clone() const override { return new NumberCell(*this); }

private:
    int m_number;
};

// Column 0 looks like the fixed cells of a row header: never selected, never focused.
class FixedColumnDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->backgroundBrush = option->palette.button();
        option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    }
};
} // namespace

ResultGrid::ResultGrid(const QList<ColumnSpec>& columns, int emailColumn, QWidget* parent)
    : QTableWidget(parent), m_columns(columns), m_emailColumn(emailColumn)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false); // Tab leaves the grid for the window's next control
    setWordWrap(false);
    setShowGrid(true);
    setMouseTracking(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegateForColumn(0, new FixedColumnDelegate(this));
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(4);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(4);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    prepare();
}

void ResultGrid::prepare()
{
    setRowCount(0); // drops every cell and every row height of an earlier run
    setColumnCount(int(m_columns.size()));
    QStringList titles;
    for (int c = 0; c < m_columns.size(); ++c) {
        titles << m_columns[c].title;
        setColumnWidth(c, m_columns[c].width);
    }
    setHorizontalHeaderLabels(titles);
    setRowCount(1);
}

void ResultGrid::setResults(int count, const std::function<QString(int result, int column)>& text)
{
    const int columns = columnCount();
    setRowCount(0);
    setRowCount(std::max(1, count));
    {
        // Filled quietly, then announced once: a change signal per cell would cost more than the
        // cells themselves.
        const QSignalBlocker quiet(model());
        for (int r = 0; r < count; ++r) {
            setItem(r, 0, new NumberCell(r + 1));
            for (int c = 1; c < columns; ++c) {
                QString t = text(r, c);
                if (!t.isEmpty())
                    setItem(r, c, new Cell(std::move(t), Qt::ItemIsEnabled | Qt::ItemIsSelectable));
            }
        }
    }
    // Numbers too long for the first column's width widen it rather than being cut.
    const int numberWidth = fontMetrics().horizontalAdvance(QString::number(count)) + 8;
    if (columnWidth(0) < numberWidth)
        setColumnWidth(0, numberWidth);
    if (count > 0)
        emit model()->dataChanged(model()->index(0, 0), model()->index(count - 1, columns - 1));
}

QString ResultGrid::cellText(int row, int column) const
{
    const QTableWidgetItem* i = item(row, column);
    return i ? i->text() : QString();
}

int ResultGrid::rowBorderAt(const QPoint& pos) const
{
    if (rowCount() == 0 || columnAt(pos.x()) != 0)
        return -1;
    const int row = rowAt(pos.y());
    if (row < 0) {
        const int last = rowCount() - 1;
        const int bottom = rowViewportPosition(last) + rowHeight(last);
        return pos.y() >= bottom && pos.y() - bottom <= kBorderGrip ? last : -1;
    }
    const int top = rowViewportPosition(row);
    if (top + rowHeight(row) - pos.y() <= kBorderGrip)
        return row;
    if (pos.y() - top < kBorderGrip && row > 0)
        return row - 1;
    return -1;
}

void ResultGrid::showPointer(const QPoint& pos)
{
    const QModelIndex index = indexAt(pos);
    if (rowBorderAt(pos) >= 0)
        viewport()->setCursor(Qt::SplitVCursor);
    else if (index.isValid() && index.column() == m_emailColumn)
        viewport()->setCursor(Qt::PointingHandCursor);
    else
        viewport()->unsetCursor();
}

void ResultGrid::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const int border = rowBorderAt(pos);
    if (border >= 0) {
        m_resizingRow = border;
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(pos);
    if (index.isValid() && index.column() == 0) {
        m_draggedRow = index.row();
        viewport()->setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

void ResultGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_resizingRow >= 0) {
        const int top = rowViewportPosition(m_resizingRow);
        setRowHeight(m_resizingRow, std::max(verticalHeader()->minimumSectionSize(), pos.y() - top));
        return;
    }
    if (m_draggedRow >= 0)
        return;
    showPointer(pos);
    QTableWidget::mouseMoveEvent(event);
}

void ResultGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_resizingRow >= 0) {
        m_resizingRow = -1;
        showPointer(pos);
        return;
    }
    if (m_draggedRow >= 0) {
        const int from = m_draggedRow;
        m_draggedRow = -1;
        int to = rowAt(pos.y());
        if (to < 0)
            to = pos.y() < 0 ? 0 : rowCount() - 1;
        if (to != from)
            moveRowTo(from, to);
        showPointer(pos);
        return;
    }
    QTableWidget::mouseReleaseEvent(event);
    // Any button: the title row is the header, so only the cells of a result row answer.
    const QModelIndex index = indexAt(pos);
    if (index.isValid() && index.column() == m_emailColumn)
        emit emailReleased(index.row());
}

bool ResultGrid::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid() && index.column() == m_emailColumn)
            QToolTip::showText(help->globalPos(), "Send email", viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    if (event->type() == QEvent::Leave)
        viewport()->unsetCursor();
    return QTableWidget::viewportEvent(event);
}

void ResultGrid::moveRowTo(int from, int to)
{
    const int height = rowHeight(from);
    QList<QTableWidgetItem*> cells;
    for (int c = 0; c < columnCount(); ++c)
        cells << takeItem(from, c);
    removeRow(from);
    insertRow(to);
    for (int c = 0; c < cells.size(); ++c)
        if (cells[c])
            setItem(to, c, cells[c]);
    setRowHeight(to, height);
}
