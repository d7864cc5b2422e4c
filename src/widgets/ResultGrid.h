#pragma once
#include <QList>
#include <QString>
#include <QTableWidget>

#include <functional>

// A read-only grid of results: the header holds the column titles, column 0 ("No.") numbers the
// results and stands fixed like a row header, so a row is resized and dragged to another place
// by its first cell. Over the Email column the pointer becomes a hand with the hint
// "Send email", and a mouse button released over an Email cell asks for a message.
class ResultGrid : public QTableWidget {
    Q_OBJECT
public:
    struct ColumnSpec {
        QString title;
        int width;
    };

    ResultGrid(const QList<ColumnSpec>& columns, int emailColumn, QWidget* parent = nullptr);

    // The columns with their titles and widths and one empty row: nothing of an earlier run stays.
    void prepare();
    // One row per result, numbered from 1 in column 0; the other cells come from text(result,
    // column), an empty text leaving the cell empty. At least one row stays.
    void setResults(int count, const std::function<QString(int result, int column)>& text);
    QString cellText(int row, int column) const; // empty for an empty cell
    int emailColumn() const { return m_emailColumn; }

signals:
    void emailReleased(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    int rowBorderAt(const QPoint& pos) const; // the row whose lower border in column 0 is under pos, or -1
    void showPointer(const QPoint& pos);
    void moveRowTo(int from, int to);

    QList<ColumnSpec> m_columns;
    int m_emailColumn;
    int m_resizingRow = -1;
    int m_draggedRow = -1;
};
