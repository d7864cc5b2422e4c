#pragma once
#include <QList>
#include <QString>
#include <QTableView>

#include <functional>
#include <map>

class ResultModel;
class FixedColumnView;

// A read-only grid of results over a table model: the header holds the column titles and
// column 0 ("No.") numbers the results. Column 0 stays in place while the other columns scroll,
// and a row is resized and dragged to another place by its first cell. Over the Email cells,
// not their title, where a click opens nothing, the pointer becomes a hand with the hint
// "Send email"; a mouse button released over an Email cell asks for a message.
class ResultGrid : public QTableView {
    Q_OBJECT
public:
    struct ColumnSpec {
        QString title;
        int width;
    };

    ResultGrid(const QList<ColumnSpec>& columns, int emailColumn, QWidget* parent = nullptr);

    // The grid as new: the columns' own widths, rows of the default height, one empty row,
    // scrolled to its start.
    void prepare();
    // No results, one empty row of the default height; the column widths that the user gave stay.
    void clearResults();
    // A new list: one row per result, numbered from 1 in column 0, every row of the default
    // height; the other cells come from text(result, column), an empty text leaving the cell
    // empty. At least one row stays. The text is asked for when a cell is shown or read, so it
    // must stay valid while the results are kept. The first result's Name cell becomes the
    // current cell, scrolled into view. The column widths that the user gave stay; the number
    // column is widened as far as its longest number needs, and no further than that for a
    // later, shorter list.
    void setResults(int count, std::function<QString(int result, int column)> text);
    QString cellText(int row, int column) const; // empty for an empty cell
    int resultAt(int row) const; // the result a row shows, from 0, wherever it was dragged; -1: none
    int emailColumn() const { return m_emailColumn; }
    // The view that shows column 0 over the scrolled cells; it takes the mouse there.
    QTableView* fixedColumn() const;

signals:
    void emailReleased(int row);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

private:
    friend class FixedColumnView;
    bool cellCutOff(const QModelIndex& index) const; // its text is wider than the cell
    void placeFixedColumn();
    void setUserRowHeight(int row, int height);
    void applyRowHeights(int from, int to); // rows from..to get the user's heights or the default
    void moveRow(int from, int to);
    void setNumberColumnWidth(int width); // without taking it for the user's width


    QList<ColumnSpec> m_columns;
    int m_emailColumn;
    ResultModel* m_model = nullptr;
    FixedColumnView* m_fixed = nullptr;
    std::map<int, int> m_rowHeights; // rows of this list that the user made taller or lower, by position
    int m_numberWidth = 0;           // the number column's width before it was widened for long numbers
    bool m_widening = false;
};
