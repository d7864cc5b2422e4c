#include "FieldBinding.h"

#include "data/ViewReaction.h"
#include "data/DataSource.h"
#include "data/Dataset.h"
#include "data/TextLimit.h"
#include "UpperCaseValidator.h"
#include "platform/ErrorDisplay.h"

#include <QAbstractButton>
#include <QWidget>
#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QFocusEvent>
#include <QLineEdit>
#include <QLocale>
#include <QValidator>

#include <algorithm>

// Keeps a one-line field within its column, whether the text is typed or pasted: line breaks,
// NUL and other control characters are dropped, letters optionally become capitals, and text
// beyond the column's width is cut from what was just put in, never inside a character.
// QLineEdit's own maximum counts UTF-16 units and would split an emoji.
class ColumnTextValidator : public QValidator {
public:
    ColumnTextValidator(QObject* parent, bool upperCase) : QValidator(parent), m_upperCase(upperCase) {}
    void setLimit(int characters) { m_limit = characters; }
    int limit() const { return m_limit; }

    State validate(QString& input, int& pos) const override
    {
        if (m_upperCase)
            input = UpperCaseValidator::upperCased(input);
        input = TextLimit::oneLine(input, &pos);
        pos = std::clamp(pos, 0, int(input.size()));
        if (m_limit > 0) {
            int excess = TextLimit::length(input) - m_limit;
            int start = pos;
            while (excess > 0 && start > 0) {
                const bool pair = start >= 2 && input[start - 1].isLowSurrogate() && input[start - 2].isHighSurrogate();
                start -= pair ? 2 : 1;
                --excess;
            }
            input.remove(start, pos - start);
            pos = start;
            if (excess > 0)
                input = TextLimit::left(input, m_limit);
            pos = std::min(pos, int(input.size()));
        }
        return Acceptable;
    }

private:
    bool m_upperCase;
    int m_limit = 0;
};

namespace {
// A field without the focus shows the beginning of its text, like a freshly loaded value; a
// line edit left alone keeps the end of what was last typed in view.
class ShowBeginningWhenLeft : public QObject {
public:
    ShowBeginningWhenLeft(QWidget* focusTaker, QLineEdit* edit) : QObject(focusTaker), m_edit(edit)
    {
        focusTaker->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut) {
            // Not while the focus only visits a popup (the list, a menu) or another window.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                m_edit->setCursorPosition(0);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QLineEdit* m_edit;
};
} // namespace

QWidget* FieldBinding::widget() const { return static_cast<QWidget*>(parent()); }

FieldBinding::FieldBinding(DataSource* source, const QString& column, QWidget* widget)
    : QObject(widget), m_source(source), m_column(column)
{
    connect(source, &DataSource::changed, this, [this] { reactOutsideEmission(this, [this] { read(); }); });
    connect(source, &DataSource::fieldChanged, this, [this](int col) {
        reactOutsideEmission(this, [&] {
            if (m_index < 0)
                m_index = dataset()->columnIndex(m_column);
            if (col == m_index)
                read();
        });
    });
}

Dataset* FieldBinding::dataset() const { return m_source->dataset(); }

void FieldBinding::read()
{
    if (m_showing)
        return;
    m_showing = true;
    const Dataset* ds = dataset();
    show(ds->isActive() && ds->hasColumn(m_column) ? ds->value(m_column) : QVariant());
    m_showing = false;
}

void FieldBinding::write(const QVariant& value)
{
    if (m_showing)
        return;
    m_showing = true; // the control already shows what the user did
    const bool ok = runCommand([&] {
        Dataset* ds = dataset();
        if (!ds->isEditing())
            ds->edit();
        ds->setValue(m_column, value);
    });
    m_showing = false;
    if (!ok)
        read();
}

// ---- text ------------------------------------------------------------------------------------

TextFieldBinding::TextFieldBinding(DataSource* source, const QString& column, QLineEdit* edit, bool upperCase)
    : FieldBinding(source, column, edit), m_edit(edit), m_validator(new ColumnTextValidator(edit, upperCase))
{
    edit->setValidator(m_validator);
    connect(edit, &QLineEdit::textEdited, this, [this](const QString& text) { write(text); });
    new ShowBeginningWhenLeft(edit, edit);
}

void TextFieldBinding::show(const QVariant& value)
{
    m_validator->setLimit(dataset()->columnSize(column()));
    const QString text = value.toString();
    const bool changed = m_edit->text() != text;
    if (changed)
        m_edit->setText(text);
    if (changed || !m_edit->hasFocus())
        m_edit->setCursorPosition(0); // show the beginning of a long value
}

QString DateFieldBinding::format(const QVariant& value)
{
    if (value.isNull())
        return {};
    const QLocale locale = QLocale::system();
    const auto day = [&locale](const QDate& date) {
        if (date.year() != kNoYear)
            return locale.toString(date, QLocale::ShortFormat);
        // The year and the separators beside it: "M/d/yy" gives "M/d", "yyyy-MM-dd" "MM-dd",
        // "dd.MM.yy" "dd.MM".
        QString f = locale.dateFormat(QLocale::ShortFormat);
        static const QRegularExpression year(R"([^dM]*y+[^dM]*)");
        f.remove(year);
        return locale.toString(date, f);
    };
    if (value.metaType().id() == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        return day(dt.date()) + ' ' + locale.toString(dt.time(), QLocale::ShortFormat);
    }
    if (value.metaType().id() == QMetaType::QDate)
        return day(value.toDate());
    return value.toString();
}

DateFieldBinding::DateFieldBinding(DataSource* source, const QString& column, QLineEdit* edit)
    : FieldBinding(source, column, edit), m_edit(edit)
{
    edit->setReadOnly(true);
}

void DateFieldBinding::show(const QVariant& value)
{
    m_edit->setText(format(value));
    m_edit->setCursorPosition(0);
}

// ---- lists -----------------------------------------------------------------------------------

ComboBinding::ComboBinding(DataSource* source, const QString& column, QComboBox* combo)
    : FieldBinding(source, column, combo), m_combo(combo)
{
    if (combo->isEditable()) {
        m_validator = new ColumnTextValidator(combo, false);
        combo->lineEdit()->setValidator(m_validator);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // Typed text is stored as typed: no completion that would show one value and store another.
        combo->setCompleter(nullptr);
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
            matchItem(text);
            write(text);
        });
        new ShowBeginningWhenLeft(combo, combo->lineEdit());
    }
    combo->view()->installEventFilter(this);
    connect(combo, &QComboBox::activated, this, [this](int index) {
        QString text = m_combo->itemText(index);
        if (m_size > 0)
            text = TextLimit::left(text, m_size);
        if (m_combo->isEditable())
            m_combo->setEditText(text);
        write(text);
    });
}

bool ComboBinding::eventFilter(QObject* watched, QEvent* event)
{
    // The list, as it opens, makes its first item current when nothing is: then the first Down
    // lands on the second item. With no current item in the box, none is current in the list,
    // so the first Down lands on the first item.
    // The event's type is looked at first: the box may be half destroyed when its last events come.
    if (event->type() == QEvent::FocusIn && watched == m_combo->view() && m_combo->currentIndex() < 0)
        m_combo->view()->setCurrentIndex(QModelIndex());
    return FieldBinding::eventFilter(watched, event);
}

void ComboBinding::setItems(const QStringList& items)
{
    QStringList current;
    for (int i = 0; i < m_combo->count(); ++i)
        current << m_combo->itemText(i);
    if (current == items)
        return;
    const bool typing = m_combo->isEditable() && m_combo->hasFocus();
    const int cursor = typing ? m_combo->lineEdit()->cursorPosition() : 0;
    m_showing = true;
    m_combo->clear();
    m_combo->addItems(items);
    m_showing = false;
    read();
    if (typing)
        m_combo->lineEdit()->setCursorPosition(cursor);
}

void ComboBinding::matchItem(const QString& text)
{
    // The current item is the one the text names, or none: Down from an empty box gives the
    // first item, not the second.
    const int index = text.isEmpty() ? -1 : m_combo->findText(text, Qt::MatchExactly);
    if (m_combo->currentIndex() == index)
        return;
    QLineEdit* edit = m_combo->lineEdit();
    const int cursor = edit->cursorPosition();
    m_combo->setCurrentIndex(index);
    if (edit->text() != text)
        edit->setText(text);
    edit->setCursorPosition(cursor);
}

void ComboBinding::show(const QVariant& value)
{
    m_size = dataset()->columnSize(column());
    const QString text = value.toString();
    if (m_combo->isEditable()) {
        m_validator->setLimit(m_size);
        const bool changed = m_combo->currentText() != text;
        matchItem(text);
        if (changed)
            m_combo->setEditText(text);
        if (changed || !m_combo->hasFocus())
            m_combo->lineEdit()->setCursorPosition(0); // the beginning of a long value
        return;
    }
    const int index = value.isNull() ? -1 : m_combo->findText(text, Qt::MatchExactly);
    if (m_combo->currentIndex() != index)
        m_combo->setCurrentIndex(index);
}

// ---- buttons ---------------------------------------------------------------------------------

OptionGroupBinding::OptionGroupBinding(DataSource* source, const QString& column, QButtonGroup* group, QWidget* frame)
    : FieldBinding(source, column, frame), m_group(group)
{
    connect(group, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* b) { write(b->text().remove('&')); });
}

void OptionGroupBinding::show(const QVariant& value)
{
    const QString text = value.toString();
    QAbstractButton* match = nullptr;
    for (QAbstractButton* b : m_group->buttons())
        if (!value.isNull() && b->text().remove('&') == text)
            match = b;
    if (match) {
        match->setChecked(true);
        return;
    }
    // No caption matches: no button chosen, and the stored value stays as it is.
    m_group->setExclusive(false);
    for (QAbstractButton* b : m_group->buttons())
        b->setChecked(false);
    m_group->setExclusive(true);
}

CheckBoxBinding::CheckBoxBinding(DataSource* source, const QString& column, QCheckBox* box)
    : FieldBinding(source, column, box), m_box(box)
{
    connect(box, &QCheckBox::clicked, this, [this](bool checked) { write(checked); });
}

void CheckBoxBinding::show(const QVariant& value) { m_box->setChecked(value.toBool()); }
