#pragma once
#include "DatasetModel.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableView>

#include <functional>

class DataSource;
class Dataset;

// A grid on a data source: one row per dataset row, the dataset's current row is the grid's
// current row, and a row indicator at the left shows it with its state. The dataset moves first
// and the grid follows, so a move that the dataset refuses (a save that fails) leaves both where
// they were.
//
// A read-only grid selects whole rows and keeps its selection visible without the focus. An
// editable grid keeps a cell editor open on its current cell while it has the focus: the first
// keystroke starts editing the row, the typed text goes into the row when the cell is left, and
// the row is saved when another row, another master row or the window's close takes over. Text
// that cannot be read for its column (a date, a whole number) is refused with a message naming
// the cell and what it holds, and stays in the cell to be corrected.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    enum class Mode { ReadOnlyRows, Editable };
    DBGrid(DataSource* source, const QList<GridColumn>& columns, Mode mode, QWidget* parent = nullptr);

    DatasetModel* datasetModel() const { return m_model; }
    Dataset* dataset() const;
    QString selectedField() const; // the column of the current cell
    void setAttached(bool attached); // follows the dataset only while its window is shown

    // Writes the open cell's text into the row. False when it cannot be read: the message has
    // been shown and the text is back in the cell. With close, the editor is closed as well.
    bool commitEditor(bool close = false);
    void discardEditor(); // drops what was typed into the open cell
    bool hasRefusedCell() const { return m_refused.index.isValid(); }
    QWidget* cellEditor() const { return m_editor; }
    // Asked before the grid moves its dataset; false keeps it where it is.
    std::function<bool()> canMove;

    void showCellEditor(); // on the current cell, when the grid has the focus

    void insertRow();
    void appendRow();
    void deleteRow(); // asks first
    void clickEditButton(); // the "..." button of the current cell
    // Ctrl+Enter, Alt+Down and F4 open the current cell's button: the date picker of a date
    // cell, the list of a drop-down cell. False for other keys and cells.
    bool openCellButton(QKeyEvent* event);
    void keyboardSearch(const QString&) override {} // letters would jump about by the current column

    // Used by the cell editors.
    void noteRefused(const QModelIndex& index, const QString& text, const QString& message);
    void editorCreated(QWidget* editor);
    void startEditing(); // the first keystroke in a cell

    bool focusInside() const; // the grid or its cell editor has the keyboard

signals:
    void editButtonClicked();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class DatasetSelectionModel;
    bool moveDatasetTo(int row); // false: the grid stays on the dataset's row
    void followDataset();
    void openCurrentEditor();
    void reportRefused();
    void closeEditorQuietly();
    void focusMoved(QWidget* old, QWidget* now);
    bool handleKey(QKeyEvent* event);

    DatasetModel* m_model;
    Mode m_mode;
    QPointer<QWidget> m_editor;
    int m_following = 0; // the grid is following the dataset, not moving it
    int m_column = 0;    // the current cell's column before the model was last reset
    struct Refused {
        QPersistentModelIndex index;
        QString text, message;
    } m_refused;
    bool m_reportQueued = false;
    bool m_reporting = false; // its message box is on screen
};
