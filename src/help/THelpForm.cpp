#include "THelpForm.h"

#include "HelpWebBrowser.h"
#include "HelpWidgets.h"
#include "platform/FocusFrame.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kClientWidth = 456;
constexpr int kBrowserWidth = 455;
constexpr int kBrowserHeight = 427;
} // namespace

THelpForm::THelpForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName("HelpForm");
    setWindowTitle("Vantrel Help");
    HelpWidgets::paintWhite(this);
    Image1 = HelpWidgets::banner(this);
    Image1->move(0, 0);
    SpeedButton2 = HelpWidgets::okButton(this);
    // Top right, beside the banner.
    SpeedButton2->move(HelpWidgets::kBannerWidth + (kClientWidth - HelpWidgets::kBannerWidth - SpeedButton2->width()) / 2,
                       8);
    WebBrowser1 = new HelpWebBrowser(this);
    WebBrowser1->setObjectName("WebBrowser1");
    // Not a tab stop; a click lets the keys scroll and follow its links.
    WebBrowser1->setFocusPolicy(Qt::ClickFocus);
    WebBrowser1->setGeometry(0, HelpWidgets::kBannerHeight, kBrowserWidth, kBrowserHeight);
    setFixedSize(kClientWidth, HelpWidgets::kBannerHeight + kBrowserHeight);
    connect(SpeedButton2, &QPushButton::clicked, this, &THelpForm::SpeedButton2Click);
    // The arrow keys scroll the page while the focus rests on OK, which would take them to move
    // the focus; Enter, Space and Escape stay OK's.
    SpeedButton2->installEventFilter(this);
    // OK has the focus on every showing, and Enter and Space press it: let it look so.
    FocusFrame::showFromStart(this);
}

void THelpForm::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        // Runs before the window is on the screen, as a show handler does.
        FormShow();
        QWidget::setVisible(true);
        placeBesideMainWindow(); // again, now that the window's frame is known
        return;
    }
    QWidget::setVisible(visible);
}

void THelpForm::FormShow()
{
    placeBesideMainWindow();
    WebBrowser1->showStartPage();
    SpeedButton2->setFocus();
}

// 20 pixels below the main window's top, the right edges in line; then moved just as far as it
// takes to lie wholly on the screen, for a main window near or over the screen's edge.
void THelpForm::placeBesideMainWindow()
{
    QWidget* main = m_main;
    if (!main)
        return;
    const QRect m = main->frameGeometry();
    const QSize size = Screen::framedSize(this, main);
    const QRect screen = Screen::available(m.center());
    QPoint place(m.left() + m.width() - size.width(), m.top() + 20);
    place.setX(qMax(screen.left(), qMin(place.x(), screen.right() + 1 - size.width())));
    place.setY(qMax(screen.top(), qMin(place.y(), screen.bottom() + 1 - size.height())));
    if (frameGeometry().topLeft() != place)
        move(place);
}

void THelpForm::SpeedButton2Click() { hide(); }

bool THelpForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SpeedButton2 && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            QCoreApplication::sendEvent(WebBrowser1, event);
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void THelpForm::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        // The window has no close box: Escape closes it like OK.
        SpeedButton2Click();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        // The page scrolls from the keyboard wherever the focus rests.
        if (QApplication::focusWidget() != WebBrowser1) {
            QCoreApplication::sendEvent(WebBrowser1, event);
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}
