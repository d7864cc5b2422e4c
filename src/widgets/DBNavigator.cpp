#include "DBNavigator.h"

#include "WaitCursor.h"
#include "data/ViewReaction.h"
#include "data/DataSource.h"
#include "data/Dataset.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace {
constexpr int kGlyph = 16;

// The program's own pictures, the same first, prior, next, last and refresh as the People page.
QIcon picture(DBNavigator::Button which)
{
    static const char* const names[DBNavigator::kButtons] = {"first", "prior", "next", "last", "insert",
                                                             "remove", "post", "cancel-edit", "refresh"};
    return QIcon(QString(":/icons/%1-16.png").arg(names[int(which)]));
}
} // namespace

DBNavigator::DBNavigator(DataSource* source, QWidget* parent) : QWidget(parent), m_source(source)
{
    static const char* const names[kButtons] = {"First", "Prior", "Next", "Last", "Insert",
                                                "Delete", "Post", "Cancel", "Refresh"};
    static const char* const hints[kButtons] = {"First record", "Prior record", "Next record",
                                                "Last record", "Insert record", "Delete record",
                                                "Post edit", "Cancel edit", "Refresh data"};
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kButtons; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(names[i]);
        b->setToolTip(hints[i]);
        b->setIcon(picture(Button(i)));
        b->setIconSize(QSize(kGlyph, kGlyph));
        b->setAutoRaise(true);
        // Clicking a button leaves the focus where the user was typing.
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(26, 25);
        layout->addWidget(b);
        connect(b, &QToolButton::clicked, this, [this, i] { click(Button(i)); });
        m_buttons[i] = b;
    }
    setFixedSize(sizeHint());
    connect(source, &DataSource::changed, this, [this] { reactOutsideEmission(this, [this] { updateButtons(); }); });
    connect(source, &DataSource::moved, this, [this] { reactOutsideEmission(this, [this] { updateButtons(); }); });
    updateButtons();
}

Dataset* DBNavigator::dataset() const { return m_source->dataset(); }

bool DBNavigator::confirmDelete()
{
    MessageBox::Request ask;
    ask.icon = MessageBox::Icon::Warning;
    ask.text = "Delete record?";
    ask.caption = "Confirm";
    ask.buttons = {MessageBox::Button::Ok, MessageBox::Button::Cancel};
    ask.defaultButton = MessageBox::Button::Ok;
    ask.escapeButton = MessageBox::Button::Cancel;
    return MessageBox::show(ask) == MessageBox::Button::Ok;
}

void DBNavigator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateButtons();
}

void DBNavigator::updateButtons()
{
    // A hidden bar asks nothing of its dataset, which may read its rows only when needed.
    if (!isVisible())
        return;
    Dataset* ds = dataset();
    const bool active = ds->isActive();
    const bool empty = !active || ds->isEmpty();
    const bool editing = active && ds->isEditing();
    const bool atFirst = empty || ds->bof();
    const bool atLast = empty || ds->eof();
    button(Button::First)->setEnabled(active && !atFirst);
    button(Button::Prior)->setEnabled(active && !atFirst);
    button(Button::Next)->setEnabled(active && !atLast);
    button(Button::Last)->setEnabled(active && !atLast);
    button(Button::Insert)->setEnabled(active);
    button(Button::Delete)->setEnabled(active && !empty);
    button(Button::Post)->setEnabled(editing);
    button(Button::Cancel)->setEnabled(editing);
    button(Button::Refresh)->setEnabled(active);
}

void DBNavigator::click(Button which)
{
    Dataset* ds = dataset();
    if (!ds->isActive())
        return;
    if (which == Button::Cancel) {
        if (discardPending)
            discardPending();
        runCommand([ds] { ds->cancel(); });
        if (finished)
            finished();
        return;
    }
    if (commitPending && !commitPending())
        return;
    // Every other button saves a pending row first or reads or writes the database.
    auto run = [](const std::function<void()>& step) {
        runCommand([&] {
            WaitCursor busy;
            step();
        });
    };
    switch (which) {
    case Button::First: run([ds] { ds->first(); }); break;
    case Button::Prior: run([ds] { ds->prior(); }); break;
    case Button::Next: run([ds] { ds->next(); }); break;
    case Button::Last: run([ds] { ds->last(); }); break;
    case Button::Insert: run([ds] { ds->insert(); }); break;
    case Button::Delete:
        if (!ds->isEmpty() && confirmDelete())
            run([ds] { ds->remove(); });
        break;
    // A new row that nothing was typed into is dropped, not saved empty.
    case Button::Post: run([ds] { ds->settle(); }); break;
    case Button::Refresh: run([ds] { ds->refresh(); }); break;
    case Button::Cancel: break;
    }
    if (finished)
        finished();
}
