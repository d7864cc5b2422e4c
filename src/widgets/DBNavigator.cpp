#include "DBNavigator.h"

#include "data/DataSource.h"
#include "data/Dataset.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include <cmath>

namespace {
constexpr int kGlyph = 16;

// Drawn rather than taken from the style, so each button shows the same picture everywhere.
QIcon glyph(DBNavigator::Button which)
{
    using B = DBNavigator::Button;
    QPixmap pm(kGlyph * 2, kGlyph * 2);
    pm.setDevicePixelRatio(2);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(20, 20, 20);
    auto triangle = [&](double x, bool right) {
        QPainterPath t;
        if (right) {
            t.moveTo(x, 3.5);
            t.lineTo(x + 5.5, 8);
            t.lineTo(x, 12.5);
        } else {
            t.moveTo(x + 5.5, 3.5);
            t.lineTo(x, 8);
            t.lineTo(x + 5.5, 12.5);
        }
        t.closeSubpath();
        p.fillPath(t, ink);
    };
    auto bar = [&](double x) { p.fillRect(QRectF(x, 3.5, 1.8, 9), ink); };
    switch (which) {
    case B::First:
        bar(4);
        triangle(6.5, false);
        break;
    case B::Prior:
        triangle(5, false);
        break;
    case B::Next:
        triangle(5.5, true);
        break;
    case B::Last:
        triangle(4, true);
        bar(10.2);
        break;
    case B::Insert:
        p.fillRect(QRectF(7.1, 3, 1.8, 10), ink);
        p.fillRect(QRectF(3, 7.1, 10, 1.8), ink);
        break;
    case B::Delete:
        p.fillRect(QRectF(3, 7.1, 10, 1.8), ink);
        break;
    case B::Post:
        p.setPen(QPen(QColor(0, 110, 0), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF{QPointF(3.5, 8.5), QPointF(6.5, 11.5), QPointF(12.5, 4.5)});
        break;
    case B::Cancel:
        p.setPen(QPen(QColor(170, 0, 0), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4.5, 4.5), QPointF(11.5, 11.5));
        p.drawLine(QPointF(11.5, 4.5), QPointF(4.5, 11.5));
        break;
    case B::Refresh: {
        p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(QRectF(3.5, 3.5, 9, 9), 100 * 16, 280 * 16);
        QPainterPath head;
        head.moveTo(8.5, 1.8);
        head.lineTo(11.5, 3.9);
        head.lineTo(8.3, 6.1);
        head.closeSubpath();
        p.fillPath(head, ink);
        break;
    }
    }
    return QIcon(pm);
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
        b->setIcon(glyph(Button(i)));
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
    connect(source, &DataSource::changed, this, &DBNavigator::updateButtons);
    connect(source, &DataSource::moved, this, &DBNavigator::updateButtons);
    updateButtons();
}

Dataset* DBNavigator::dataset() const { return m_source->dataset(); }

bool DBNavigator::confirmDelete()
{
    MessageBox::Request ask;
    ask.icon = MessageBox::Icon::Warning;
    ask.text = "Delete record?";
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
    switch (which) {
    case Button::First: runCommand([ds] { ds->first(); }); break;
    case Button::Prior: runCommand([ds] { ds->prior(); }); break;
    case Button::Next: runCommand([ds] { ds->next(); }); break;
    case Button::Last: runCommand([ds] { ds->last(); }); break;
    case Button::Insert: runCommand([ds] { ds->insert(); }); break;
    case Button::Delete:
        if (!ds->isEmpty() && confirmDelete())
            runCommand([ds] { ds->remove(); });
        break;
    // A new row that nothing was typed into is dropped, not saved empty.
    case Button::Post: runCommand([ds] { ds->settle(); }); break;
    case Button::Refresh: runCommand([ds] { ds->refresh(); }); break;
    case Button::Cancel: break;
    }
    if (finished)
        finished();
}
