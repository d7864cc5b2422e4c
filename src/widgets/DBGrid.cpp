#include "DBGrid.h"

#include "DBNavigator.h"
#include "DateText.h"
#include "RowIndicatorHeader.h"
#include "WaitCursor.h"
#include "data/DataSource.h"
#include "data/Dataset.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QRegularExpression>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QProxyStyle>
#include <QStyledItemDelegate>
#include <QToolButton>

#include <climits>
#include <optional>

namespace {
// What the cell editor was last loaded with: text that differs from it has been typed.
constexpr const char* kLoaded = "loadedText";

QLineEdit* lineOf(QWidget* editor)
{
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        return combo->lineEdit();
    return qobject_cast<QLineEdit*>(editor);
}

QString editorText(QWidget* editor)
{
    QLineEdit* line = lineOf(editor);
    return line ? line->text() : QString();
}

bool typedInto(QWidget* editor) { return editorText(editor) != editor->property(kLoaded).toString(); }

// Selected, so typing replaces it, with the cursor at the start so a long value shows its beginning.
void selectText(QLineEdit* line) { line->setSelection(int(line->text().size()), -int(line->text().size())); }

void setEditorText(QWidget* editor, const QString& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        // The list opens at the cell's own item, when it is one.
        if (const int item = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive); item >= 0)
            combo->setCurrentIndex(item);
        combo->setEditText(text);
    } else if (QLineEdit* line = lineOf(editor))
        line->setText(text);
}

// A line editor with the cell's "..." button at its right end.
class EllipsisEdit : public QLineEdit {
public:
    explicit EllipsisEdit(QWidget* parent) : QLineEdit(parent)
    {
        button = new QToolButton(this);
        button->setObjectName("EditButton");
        button->setText("...");
        button->setToolTip("Pick a date (Ctrl+Enter)");
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::ArrowCursor);
        setTextMargins(0, 0, kButtonWidth, 0);
    }
    QToolButton* button;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLineEdit::resizeEvent(event);
        button->setGeometry(width() - kButtonWidth, 0, kButtonWidth, height());
    }

private:
    static constexpr int kButtonWidth = 14;
};

// A sign and digits, nothing else: "1.5" or "1,500" is refused with a word when the cell is left
// rather than altered (the column holds whole numbers, and a mark may be a decimal point or a
// thousands separator depending on who typed it).
bool signedDigits(const QString& text)
{
    static const QRegularExpression form(R"(^[+-]?\d+$)");
    return form.match(text).hasMatch();
}

std::optional<int> wholeNumber(const QString& text)
{
    bool ok = false;
    const int number = signedDigits(text) ? text.toInt(&ok) : 0;
    return ok ? std::optional<int>(number) : std::nullopt;
}

// Cells keep one pixel either side of their text, not three: the column widths are those of a
// narrower face, and "Female" in a 40-pixel column must not end in an ellipsis.
class CompactCells : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_FocusFrameHMargin)
            return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

class DBGridDelegate : public QStyledItemDelegate {
public:
    explicit DBGridDelegate(DBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        DatasetModel* model = m_grid->datasetModel();
        const GridColumn& column = model->gridColumn(index.column());
        QWidget* editor = nullptr;
        QLineEdit* line = nullptr;
        switch (column.editor) {
        case GridColumn::Editor::PickList: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(true);
            combo->addItems(column.pickList);
            combo->setMaxVisibleItems(std::max(1, int(column.pickList.size())));
            combo->setInsertPolicy(QComboBox::NoInsert);
            // Typed text is stored as typed: no completion that would show one value and store another.
            combo->setCompleter(nullptr);
            // Nor the list's habit of choosing, as the cell is left, the item that its text matches
            // in any case: that reports a pick, which would start an edit on a mere visit.
            QObject::disconnect(combo->lineEdit(), &QLineEdit::editingFinished, combo, nullptr);
            combo->setFrame(false);
            QObject::connect(combo, &QComboBox::activated, m_grid, &DBGrid::startEditing);
            line = combo->lineEdit();
            editor = combo;
            break;
        }
        case GridColumn::Editor::Date: {
            auto* edit = new EllipsisEdit(parent);
            QObject::connect(edit->button, &QToolButton::clicked, m_grid, &DBGrid::clickEditButton);
            line = edit;
            editor = edit;
            break;
        }
        case GridColumn::Editor::WholeNumber:
            line = new QLineEdit(parent);
            line->setAlignment(Qt::AlignRight | Qt::AlignVCenter); // as the cell shows it
            editor = line;
            break;
        case GridColumn::Editor::Text:
            line = new QLineEdit(parent);
            editor = line;
            break;
        }
        editor->setObjectName(column.field);
        line->setFrame(false);
        if (const int size = model->maxLength(index.column()); size > 0)
            line->setMaxLength(size);
        QObject::connect(line, &QLineEdit::textEdited, m_grid, &DBGrid::startEditing);
        m_grid->editorCreated(editor);
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        // Redisplays of the row leave what the user typed alone; a new value replaces it.
        const QString text = m_grid->datasetModel()->editText(index);
        if (editor->property(kLoaded).isValid() && editor->property(kLoaded).toString() == text)
            return;
        setEditorText(editor, text);
        editor->setProperty(kLoaded, text);
        if (QLineEdit* line = lineOf(editor))
            selectText(line);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Ahead of the delegate's own keys, which would take Ctrl+Enter for a plain Enter.
        if (event->type() == QEvent::KeyPress && m_grid->openCellButton(static_cast<QKeyEvent*>(event)))
            return true;
        return QStyledItemDelegate::eventFilter(watched, event);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (!typedInto(editor))
            return; // a visited cell starts no edit
        const QString text = editorText(editor);
        const QString trimmed = text.trimmed();
        const GridColumn& column = m_grid->datasetModel()->gridColumn(index.column());
        QVariant value;
        switch (column.editor) {
        case GridColumn::Editor::Date:
            if (!trimmed.isEmpty()) {
                const QDate date = DateText::parse(trimmed);
                if (!date.isValid()) {
                    m_grid->noteRefused(index, text,
                                        QString("The cell \"%1\" holds \"%2\", which is not a date.\n"
                                                "Type a date such as %3, or pick one with the cell's \"...\" button (Ctrl+Enter).")
                                            .arg(column.title, text, DateText::format(Clock::today())));
                    return;
                }
                value = date;
            }
            break;
        case GridColumn::Editor::WholeNumber:
            if (!trimmed.isEmpty()) {
                const std::optional<int> number = wholeNumber(trimmed);
                if (!number) {
                    // Digits beyond the range, or a mark the user may mean as a thousands separator:
                    // said as such, not merely "not a whole number".
                    const bool outside = signedDigits(trimmed);
                    const bool marks = trimmed.contains(u'.') || trimmed.contains(u',');
                    m_grid->noteRefused(index, text,
                                        QString("The cell \"%1\" holds \"%2\", which is %3.\n"
                                                "Type a whole number from %4 to %5%6")
                                            .arg(column.title, text,
                                                 outside ? QString("beyond the numbers it can hold")
                                                         : QString("not a whole number"))
                                            .arg(INT_MIN)
                                            .arg(INT_MAX)
                                            .arg(marks ? QString(" in digits alone, without a decimal point or a "
                                                                 "thousands separator.")
                                                       : QString(".")));
                    return;
                }
                value = *number;
            }
            break;
        case GridColumn::Editor::PickList:
        case GridColumn::Editor::Text:
            value = text;
            break;
        }
        model->setData(index, value, Qt::EditRole);
    }

private:
    DBGrid* m_grid;
};
} // namespace

// The grid's current row is the dataset's: a new current row is asked of the dataset first,
// and the selection is always the current row (or cell).
class DatasetSelectionModel : public QItemSelectionModel {
public:
    explicit DatasetSelectionModel(DBGrid* grid) : QItemSelectionModel(grid->model(), grid), m_grid(grid) {}

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override
    {
        if (m_grid->m_following == 0 && !m_grid->m_model->isChangingRows() && index.isValid()
            && index.row() != m_grid->m_model->currentRow()) {
            if (!m_grid->moveDatasetTo(index.row())) {
                m_grid->followDataset();
                return;
            }
            // A dropped new row before the target moves the target up.
            const QModelIndex at = model()->index(m_grid->m_model->currentRow(), index.column());
            ++m_grid->m_following;
            QItemSelectionModel::setCurrentIndex(at, command);
            --m_grid->m_following;
            return;
        }
        QItemSelectionModel::setCurrentIndex(index, command);
    }

    void select(const QItemSelection&, QItemSelectionModel::SelectionFlags) override { selectCurrent(); }
    void select(const QModelIndex&, QItemSelectionModel::SelectionFlags) override { selectCurrent(); }

private:
    void selectCurrent()
    {
        const QModelIndex at = currentIndex();
        if (!at.isValid()) {
            QItemSelectionModel::select(QItemSelection(), QItemSelectionModel::Clear);
            return;
        }
        // The selection overload: the index one would come back here.
        QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
        if (m_grid->selectionBehavior() == QAbstractItemView::SelectRows)
            flags |= QItemSelectionModel::Rows;
        QItemSelectionModel::select(QItemSelection(at, at), flags);
    }

    DBGrid* m_grid;
};

DBGrid::DBGrid(DataSource* source, const QList<GridColumn>& columns, Mode mode, QWidget* parent)
    : QTableView(parent), m_mode(mode)
{
    m_model = new DatasetModel(source, columns, this);
    m_model->setReadOnly(mode == Mode::ReadOnlyRows);
    m_model->setBlankRowWhenEmpty(mode == Mode::Editable);
    // Connected before the view's own handlers: an open editor is closed properly, focus kept
    // in the grid, before its row goes.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, &DBGrid::closeEditorQuietly);
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, &DBGrid::closeEditorQuietly);
    // A reset (a refresh, a re-read) forgets the current cell; the column the user was in is
    // kept for the row the dataset stands on afterwards.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (currentIndex().isValid())
            m_column = currentIndex().column();
    });
    setVerticalHeader(new RowIndicatorHeader(this));
    setModel(m_model);
    QItemSelectionModel* plain = selectionModel();
    setSelectionModel(new DatasetSelectionModel(this));
    delete plain;
    connect(m_model, &DatasetModel::currentChanged, this, &DBGrid::followDataset);

    QHeaderView* top = horizontalHeader();
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setSectionResizeMode(QHeaderView::Interactive);
    top->setStretchLastSection(false);
    top->setMinimumSectionSize(8);
    for (int c = 0; c < columns.size(); ++c)
        setColumnWidth(c, columns[c].width);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 5);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    auto* cells = new CompactCells;
    cells->setParent(this);
    setStyle(cells);

    if (mode == Mode::ReadOnlyRows) {
        setTabKeyNavigation(false); // Tab goes on to the next control
        setSelectionBehavior(QAbstractItemView::SelectRows);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        // The selected row stays visible when the focus is elsewhere.
        QPalette pal = palette();
        for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
            pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
        setPalette(pal);
    } else {
        setSelectionBehavior(QAbstractItemView::SelectItems);
        setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked
                        | QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
        setItemDelegate(new DBGridDelegate(this));
        connect(qApp, &QApplication::focusChanged, this, &DBGrid::focusMoved);
    }
}

Dataset* DBGrid::dataset() const { return m_model->dataset(); }

QString DBGrid::selectedField() const
{
    const QModelIndex at = currentIndex();
    return at.isValid() ? m_model->gridColumn(at.column()).field : QString();
}

void DBGrid::setAttached(bool attached)
{
    if (!attached)
        closeEditorQuietly();
    m_refused = {};
    m_model->setAttached(attached);
    if (attached)
        followDataset();
}

bool DBGrid::focusInside() const
{
    QWidget* f = QApplication::focusWidget();
    return f && (f == this || isAncestorOf(f));
}

// ---- following and moving the dataset ---------------------------------------------------------

void DBGrid::followDataset()
{
    const int row = m_model->currentRow();
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex here = currentIndex();
    if (here.isValid() && here.row() == row)
        return;
    ++m_following;
    const QModelIndex at = m_model->index(row, here.isValid() ? here.column() : std::min(m_column, m_model->columnCount() - 1));
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
    --m_following;
}

bool DBGrid::moveDatasetTo(int row)
{
    if (!commitEditor(true))
        return false;
    if (canMove && !canMove())
        return false;
    return runCommand([&] {
        // Leaving a row saves it; the list of people only moves the person, whose own save
        // may ask for the name, so it keeps the ordinary pointer.
        std::optional<WaitCursor> busy;
        if (m_mode == Mode::Editable)
            busy.emplace();
        dataset()->setRecNo(row);
    });
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous); // writes and closes the previous cell's editor
    if (m_mode == Mode::Editable && focusInside())
        openCurrentEditor();
}

// ---- cell editors -----------------------------------------------------------------------------

void DBGrid::openCurrentEditor()
{
    const QModelIndex at = currentIndex();
    if (m_mode != Mode::Editable || m_editor || !at.isValid() || !(at.flags() & Qt::ItemIsEditable))
        return;
    edit(at);
}

void DBGrid::showCellEditor()
{
    if (focusInside())
        openCurrentEditor();
}

void DBGrid::editorCreated(QWidget* editor)
{
    m_editor = editor;
    editor->installEventFilter(this);
    if (QLineEdit* line = lineOf(editor); line && line != editor)
        line->installEventFilter(this);
}

QModelIndex DBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // Tab past the last cell, or Shift+Tab before the first, goes on to the next control
    // instead of wrapping round: the keyboard can always leave the grid.
    const QModelIndex at = currentIndex();
    if (action == MoveNext && at.row() == model()->rowCount() - 1 && at.column() == model()->columnCount() - 1)
        return {};
    if (action == MovePrevious && at.row() == 0 && at.column() == 0)
        return {};
    return QTableView::moveCursor(action, modifiers);
}

void DBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == m_editor)
        m_editor = nullptr;
    const bool leaves = (hint == QAbstractItemDelegate::EditNextItem && !moveCursor(MoveNext, {}).isValid())
                        || (hint == QAbstractItemDelegate::EditPreviousItem && !moveCursor(MovePrevious, {}).isValid());
    QTableView::closeEditor(editor, hint);
    if (leaves) {
        focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
        return;
    }
    // Enter writes the cell and the editor stays, as it does on every current cell.
    if (hint == QAbstractItemDelegate::SubmitModelCache && hasFocus())
        openCurrentEditor();
}

void DBGrid::closeEditorQuietly()
{
    if (m_editor)
        closeEditor(m_editor, QAbstractItemDelegate::NoHint);
}

bool DBGrid::commitEditor(bool close)
{
    if (hasRefusedCell()) {
        reportRefused();
        return false;
    }
    if (m_editor) {
        commitData(m_editor);
        if (hasRefusedCell()) {
            reportRefused();
            return false;
        }
        if (close)
            closeEditorQuietly();
    }
    return true;
}

void DBGrid::discardEditor()
{
    m_refused = {};
    closeEditorQuietly();
}

void DBGrid::startEditing()
{
    Dataset* ds = dataset();
    if (ds->isActive() && !ds->isEditing())
        runCommand([ds] { ds->edit(); }); // an empty dataset starts a new row
}

void DBGrid::noteRefused(const QModelIndex& index, const QString& text, const QString& message)
{
    m_refused = Refused{QPersistentModelIndex(index), text, message};
    // Said once the event that left the cell is over; until then nothing moves.
    if (!m_reportQueued) {
        m_reportQueued = true;
        QMetaObject::invokeMethod(this, &DBGrid::reportRefused, Qt::QueuedConnection);
    }
}

void DBGrid::reportRefused()
{
    m_reportQueued = false;
    // The queued report and a move that asks for it meet here, the one often inside the other's
    // message box: the box on screen speaks for both.
    if (m_reporting)
        return;
    if (!hasRefusedCell()) {
        m_refused = {};
        return;
    }
    const Refused refused = m_refused;
    closeEditorQuietly();
    ++m_following;
    selectionModel()->setCurrentIndex(refused.index, QItemSelectionModel::ClearAndSelect);
    --m_following;
    m_reporting = true;
    MessageBox::show(MessageBox::Icon::Error, refused.message);
    m_reporting = false;
    m_refused = {};
    // The text goes back into its cell, to be corrected there.
    setFocus(Qt::OtherFocusReason);
    openCurrentEditor();
    if (m_editor && currentIndex() == refused.index) {
        setEditorText(m_editor, refused.text);
        if (QLineEdit* line = lineOf(m_editor))
            selectText(line);
    }
}

void DBGrid::clickEditButton()
{
    QString typed;
    const bool hasTyped = m_editor && typedInto(m_editor);
    if (hasTyped)
        typed = editorText(m_editor);
    // The picker replaces what was typed; cancelled, it leaves the typing as it was.
    m_refused = {};
    closeEditorQuietly();
    const int column = dataset()->columnIndex(selectedField());
    bool changed = false;
    const auto watch = connect(dataset(), &Dataset::fieldChanged, this, [&](int c) { changed |= c == column; });
    emit editButtonClicked();
    disconnect(watch);
    if (!isVisible())
        return;
    setFocus(Qt::OtherFocusReason);
    openCurrentEditor();
    if (!changed && hasTyped && m_editor)
        setEditorText(m_editor, typed);
}

// ---- rows -------------------------------------------------------------------------------------

void DBGrid::insertRow()
{
    if (!commitEditor(true))
        return;
    runCommand([this] {
        WaitCursor busy; // a pending row is saved first
        dataset()->insert();
    });
    if (focusInside())
        openCurrentEditor();
}

void DBGrid::appendRow()
{
    if (!commitEditor(true))
        return;
    Dataset* ds = dataset();
    // The blank row of an empty list, or an untouched new row, is already there to type into.
    if (!ds->isEmpty() && !(ds->state() == DatasetState::Insert && !ds->isModified()))
        runCommand([ds] {
            WaitCursor busy; // a pending row is saved first
            ds->append();
        });
    if (focusInside())
        openCurrentEditor();
}

void DBGrid::deleteRow()
{
    Dataset* ds = dataset();
    if (!ds->isActive() || ds->isEmpty() || !commitEditor(true))
        return;
    if (DBNavigator::confirmDelete())
        runCommand([ds] {
            WaitCursor busy;
            ds->remove();
        });
    if (focusInside())
        openCurrentEditor();
}

// ---- keys, mouse and focus --------------------------------------------------------------------

bool DBGrid::openCellButton(QKeyEvent* event)
{
    const QModelIndex at = currentIndex();
    if (m_mode != Mode::Editable || !at.isValid())
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    const bool asked = ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::ControlModifier)
                       || (key == Qt::Key_Down && mods == Qt::AltModifier)
                       || (key == Qt::Key_F4 && mods == Qt::NoModifier);
    if (!asked)
        return false;
    switch (m_model->gridColumn(at.column()).editor) {
    case GridColumn::Editor::Date:
        clickEditButton();
        return true;
    case GridColumn::Editor::PickList:
        openCurrentEditor();
        if (auto* combo = qobject_cast<QComboBox*>(m_editor.data())) {
            combo->showPopup();
            return true;
        }
        return false;
    case GridColumn::Editor::Text:
    case GridColumn::Editor::WholeNumber:
        break;
    }
    return false;
}

bool DBGrid::handleKey(QKeyEvent* event)
{
    if (m_mode != Mode::Editable)
        return false;
    if (openCellButton(event))
        return true;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Delete && mods == Qt::ControlModifier) {
        deleteRow();
        return true;
    }
    if (event->key() == Qt::Key_Insert && mods == Qt::NoModifier) {
        insertRow();
        return true;
    }
    if (event->key() == Qt::Key_Down && mods == Qt::NoModifier && currentIndex().row() == m_model->rowCount() - 1) {
        appendRow(); // Down past the last row starts a new one
        return true;
    }
    return false;
}

void DBGrid::keyPressEvent(QKeyEvent* event)
{
    if (handleKey(event))
        return;
    if (event->key() == Qt::Key_Escape) {
        // Escape in a cell undoes its typing; here it drops the row's pending changes, and
        // with nothing pending it is the window's.
        Dataset* ds = dataset();
        if (m_mode == Mode::Editable && ds->isEditing()) {
            runCommand([ds] { ds->cancel(); });
            event->accept();
            return;
        }
        event->ignore();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool DBGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && m_editor && qobject_cast<QComboBox*>(watched) == m_editor) {
        // The wheel scrolls the list of rows; over a drop-down cell it would step through the
        // items and change the value unseen.
        QCoreApplication::sendEvent(viewport(), event);
        return true;
    }
    if (event->type() == QEvent::KeyPress && m_editor
        && (watched == m_editor || m_editor->isAncestorOf(qobject_cast<QWidget*>(watched)))) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (handleKey(key))
            return true;
        const bool plain = !(key->modifiers() & (Qt::AltModifier | Qt::ControlModifier));
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            // Rows, not list items or text lines: Alt+Down opens a drop-down.
            if (plain) {
                QTableView::keyPressEvent(key);
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QTableView::eventFilter(watched, event);
}

void DBGrid::mousePressEvent(QMouseEvent* event)
{
    QTableView::mousePressEvent(event);
    if (m_mode == Mode::Editable && focusInside())
        openCurrentEditor();
}

void DBGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::ActiveWindowFocusReason:
        openCurrentEditor();
        break;
    default:
        break;
    }
}

void DBGrid::focusMoved(QWidget* old, QWidget* now)
{
    if (!old || !now || now->window() != window())
        return;
    const bool wasInside = old == this || isAncestorOf(old);
    const bool isInside = now == this || isAncestorOf(now);
    if (!wasInside || isInside || hasRefusedCell())
        return;
    // Leaving the grid drops a new row that nothing was typed into.
    Dataset* ds = dataset();
    if (m_model->isAttached() && ds->state() == DatasetState::Insert && !ds->isModified())
        runCommand([ds] { ds->cancel(); });
}

// The rows about to be painted are read in one go: over a network a read a row would cost a
// round trip each.
void DBGrid::paintEvent(QPaintEvent* event)
{
    Dataset* d = dataset();
    const int count = model() ? model()->rowCount() : 0;
    if (d && d->isActive() && count > 0) {
        const int first = std::max(0, rowAt(0));
        int last = rowAt(viewport()->height() - 1);
        if (last < 0)
            last = count - 1;
        std::vector<int> rows;
        for (int r = first; r <= last; ++r)
            rows.push_back(r);
        d->prefetchRows(rows);
    }
    QTableView::paintEvent(event);
}
