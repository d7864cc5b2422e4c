#include "ResultGrid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {
constexpr int kRowHeight = 16;
constexpr int kBorderGrip = 2; // pixels either side of a row border that resize the row
const char* const kEmailHint = "Send email";

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

void setUpHeaders(QTableView* view)
{
    QHeaderView* rows = view->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(4);
    rows->setDefaultSectionSize(kRowHeight);
    rows->setSectionResizeMode(QHeaderView::Interactive);
    QHeaderView* titles = view->horizontalHeader();
    titles->setSectionsClickable(false);
    titles->setHighlightSections(false);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setStretchLastSection(false);
    titles->setMinimumSectionSize(4);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}
} // namespace

// The results held compactly: one number per row, and the text of the other cells asked for
// only when a cell is shown or read. A run may list a hundred thousand people, so nothing is
// made or copied per cell.
class ResultModel : public QAbstractTableModel {
public:
    ResultModel(QStringList titles, QObject* parent)
        : QAbstractTableModel(parent), m_titles(std::move(titles)), m_numbers(1, 0)
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_numbers.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_titles.size()); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if ((role != Qt::DisplayRole && role != Qt::AccessibleTextRole) || !checkIndex(index))
            return {};
        QString t = text(index.row(), index.column());
        return t.isEmpty() ? QVariant() : QVariant(std::move(t));
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_titles.size())
            return m_titles[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        const Qt::ItemFlags fixed = Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
        return index.column() == 0 ? fixed : fixed | Qt::ItemIsSelectable;
    }

    QString text(int row, int column) const
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
            return {};
        const int number = m_numbers[row];
        if (number == 0)
            return {};
        return column == 0 ? QString::number(number) : m_text(number - 1, column);
    }

    void setResults(int count, std::function<QString(int, int)> text)
    {
        std::vector<int> numbers(std::max(1, count), 0);
        std::iota(numbers.begin(), numbers.begin() + count, 1);
        beginResetModel();
        m_numbers.swap(numbers);
        m_text = count > 0 ? std::move(text) : nullptr;
        endResetModel();
    }

    void moveRow(int from, int to)
    {
        if (from == to)
            return;
        beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
        if (from < to)
            std::rotate(m_numbers.begin() + from, m_numbers.begin() + from + 1, m_numbers.begin() + to + 1);
        else
            std::rotate(m_numbers.begin() + to, m_numbers.begin() + from, m_numbers.begin() + from + 1);
        endMoveRows();
    }

private:
    QStringList m_titles;
    std::vector<int> m_numbers; // each row's result number, which stays with the row; 0 for the empty row
    std::function<QString(int result, int column)> m_text;
};

// Column 0 shown over the left edge of the grid, so that it stays while the other columns
// scroll. It shares the grid's model, selection, rows and scrolling, and takes the mouse for
// the first cells: dragging a cell moves its row, dragging a cell's lower border resizes it.
class FixedColumnView : public QTableView {
public:
    explicit FixedColumnView(ResultGrid* grid) : QTableView(grid), m_grid(grid)
    {
        setModel(grid->model());
        setSelectionModel(grid->selectionModel());
        setFocusPolicy(Qt::NoFocus);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        setWordWrap(false);
        setMouseTracking(true);
        setItemDelegateForColumn(0, new FixedColumnDelegate(this));
        setUpHeaders(this);
        for (int c = 1; c < model()->columnCount(); ++c)
            setColumnHidden(c, true);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        const QPoint pos = event->position().toPoint();
        m_resizingRow = rowBorderAt(pos);
        if (m_resizingRow < 0) {
            const int row = rowAt(pos.y());
            if (row >= 0) {
                m_draggedRow = row;
                viewport()->setCursor(Qt::ClosedHandCursor);
            }
        }
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        const QPoint pos = event->position().toPoint();
        if (m_resizingRow >= 0) {
            const int top = rowViewportPosition(m_resizingRow);
            m_grid->setUserRowHeight(m_resizingRow, std::max(verticalHeader()->minimumSectionSize(), pos.y() - top));
        } else if (m_draggedRow < 0) {
            showPointer(pos);
        }
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const QPoint pos = event->position().toPoint();
        if (m_draggedRow >= 0) {
            const int from = m_draggedRow;
            int to = rowAt(pos.y());
            if (to < 0)
                to = pos.y() < 0 ? 0 : model()->rowCount() - 1;
            m_draggedRow = -1;
            m_grid->moveRow(from, to);
        }
        m_resizingRow = -1;
        showPointer(pos);
        event->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
    bool viewportEvent(QEvent* event) override
    {
        if (event->type() == QEvent::Leave && m_draggedRow < 0 && m_resizingRow < 0)
            viewport()->unsetCursor();
        return QTableView::viewportEvent(event);
    }

private:
    // The row whose lower border is under pos, or -1.
    int rowBorderAt(const QPoint& pos) const
    {
        const int rows = model()->rowCount();
        if (rows == 0)
            return -1;
        const int row = rowAt(pos.y());
        if (row < 0) {
            const int bottom = rowViewportPosition(rows - 1) + rowHeight(rows - 1);
            return pos.y() >= bottom && pos.y() - bottom <= kBorderGrip ? rows - 1 : -1;
        }
        const int top = rowViewportPosition(row);
        if (top + rowHeight(row) - pos.y() <= kBorderGrip)
            return row;
        if (pos.y() - top < kBorderGrip && row > 0)
            return row - 1;
        return -1;
    }
    void showPointer(const QPoint& pos)
    {
        if (rowBorderAt(pos) >= 0)
            viewport()->setCursor(Qt::SplitVCursor);
        else
            viewport()->unsetCursor();
    }

    ResultGrid* m_grid;
    int m_resizingRow = -1;
    int m_draggedRow = -1;
};

ResultGrid::ResultGrid(const QList<ColumnSpec>& columns, int emailColumn, QWidget* parent)
    : QTableView(parent), m_columns(columns), m_emailColumn(emailColumn)
{
    QStringList titles;
    for (const ColumnSpec& c : columns)
        titles << c.title;
    m_model = new ResultModel(titles, this);
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false); // Tab leaves the grid for the window's next control
    setWordWrap(false);
    setShowGrid(true);
    setMouseTracking(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegateForColumn(0, new FixedColumnDelegate(this));
    setUpHeaders(this);

    m_fixed = new FixedColumnView(this);
    viewport()->stackUnder(m_fixed);
    // Both views scroll together and keep the same row heights and first column width.
    connect(m_fixed->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(), &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_fixed->verticalScrollBar(), &QAbstractSlider::setValue);
    connect(verticalHeader(), &QHeaderView::sectionResized, m_fixed,
            [this](int row, int, int size) { m_fixed->setRowHeight(row, size); });
    connect(m_fixed->verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int row, int, int size) { setRowHeight(row, size); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column == 0) {
            if (!m_widening)
                m_numberWidth = size;
            m_fixed->setColumnWidth(0, size);
            placeFixedColumn();
        }
    });
    connect(m_fixed->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column == 0)
            setColumnWidth(0, size);
    });
    prepare();
}

QTableView* ResultGrid::fixedColumn() const { return m_fixed; }

void ResultGrid::prepare()
{
    clearResults();
    for (int c = 0; c < m_columns.size(); ++c)
        setColumnWidth(c, m_columns[c].width);
    horizontalScrollBar()->setValue(0);
}

void ResultGrid::clearResults() { setResults(0, {}); }

void ResultGrid::setResults(int count, std::function<QString(int result, int column)> text)
{
    // A new list: its rows start at the default height, whatever the user gave the last one's.
    std::map<int, int> resized;
    resized.swap(m_rowHeights);
    m_model->setResults(count, std::move(text));
    for (const auto& [row, height] : resized)
        applyRowHeights(row, row);
    // Numbers too long for the first column's width widen it rather than being cut.
    const int numberWidth = fontMetrics().horizontalAdvance(QString::number(count)) + 8;
    setNumberColumnWidth(std::max(m_numberWidth, numberWidth));
    // The list starts at its top left, with its first result current.
    scrollToTop();
    horizontalScrollBar()->setValue(0);
    if (count > 0 && m_model->columnCount() > 1) {
        const QModelIndex first = m_model->index(0, 1);
        selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect);
        scrollTo(first);
    }
    placeFixedColumn();
}

QString ResultGrid::cellText(int row, int column) const { return m_model->text(row, column); }

int ResultGrid::resultAt(int row) const { return m_model->text(row, 0).toInt() - 1; }

void ResultGrid::setNumberColumnWidth(int width)
{
    if (columnWidth(0) == width)
        return;
    m_widening = true;
    setColumnWidth(0, width);
    m_widening = false;
}

void ResultGrid::setUserRowHeight(int row, int height)
{
    if (height == kRowHeight)
        m_rowHeights.erase(row);
    else
        m_rowHeights[row] = height;
    applyRowHeights(row, row);
}

void ResultGrid::applyRowHeights(int from, int to)
{
    to = std::min(to, m_model->rowCount() - 1);
    for (int r = std::max(0, from); r <= to; ++r) {
        const auto it = m_rowHeights.find(r);
        const int height = it == m_rowHeights.end() ? kRowHeight : it->second;
        if (rowHeight(r) != height)
            setRowHeight(r, height);
        if (m_fixed->rowHeight(r) != height)
            m_fixed->setRowHeight(r, height);
    }
}

void ResultGrid::moveRow(int from, int to)
{
    if (from == to || from < 0 || to < 0)
        return;
    m_model->moveRow(from, to);
    // A moved row takes its height along; the rows between shift by one.
    const int low = std::min(from, to), high = std::max(from, to);
    std::map<int, int> heights;
    for (const auto& [row, height] : m_rowHeights) {
        int moved = row;
        if (row == from)
            moved = to;
        else if (row >= low && row <= high)
            moved = from < to ? row - 1 : row + 1;
        heights[moved] = height;
    }
    m_rowHeights.swap(heights);
    applyRowHeights(low, high);
}

void ResultGrid::placeFixedColumn()
{
    if (!m_fixed)
        return;
    const QRect cells = viewport()->geometry();
    const int top = horizontalHeader()->isVisible() ? horizontalHeader()->geometry().top() : cells.top();
    m_fixed->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    m_fixed->setGeometry(cells.left(), top, std::min(columnWidth(0), cells.width()), cells.bottom() - top + 1);
    m_fixed->verticalScrollBar()->setValue(verticalScrollBar()->value());
}

void ResultGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    placeFixedColumn();
}

void ResultGrid::updateGeometries()
{
    QTableView::updateGeometries();
    placeFixedColumn();
}

QModelIndex ResultGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // The current cell never goes into the fixed column, where it could not be seen.
    QModelIndex next = QTableView::moveCursor(action, modifiers);
    if (next.isValid() && next.column() == 0 && m_model->columnCount() > 1)
        next = m_model->index(next.row(), 1);
    return next;
}

void ResultGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    QTableView::scrollTo(index, hint);
    // A cell scrolled into view must not stay hidden behind the fixed column.
    if (index.isValid() && index.column() > 0) {
        const int hidden = columnWidth(0) - columnViewportPosition(index.column());
        if (hidden > 0)
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - hidden);
    }
}

void ResultGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.column() == m_emailColumn)
        viewport()->setCursor(Qt::PointingHandCursor);
    else
        viewport()->unsetCursor();
    QTableView::mouseMoveEvent(event);
}

bool ResultGrid::cellCutOff(const QModelIndex& index) const
{
    const QString text = index.data().toString();
    if (text.isEmpty())
        return false;
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    // What shows of the cell: a column scrolled partly out of view cuts its text as well.
    return fontMetrics().horizontalAdvance(text) + margin > visualRect(index).intersected(viewport()->rect()).width();
}

void ResultGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    // Any button; the title row is the header, where a release opens nothing.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.column() == m_emailColumn)
        emit emailReleased(index.row());
}

bool ResultGrid::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid() && index.column() == m_emailColumn) {
            QToolTip::showText(help->globalPos(), kEmailHint, viewport(), visualRect(index));
        } else if (index.isValid() && cellCutOff(index)) {
            // A text the column is too narrow for is read in full without widening the column.
            QToolTip::showText(help->globalPos(), index.data().toString(), viewport(), visualRect(index));
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    if (event->type() == QEvent::Leave)
        viewport()->unsetCursor();
    return QTableView::viewportEvent(event);
}
