#include "TSplashForm.h"

#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QLabel>
#include <QShowEvent>
#include <cmath>

TSplashForm::TSplashForm(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("SplashForm");
    setFixedSize(400, 200);
    setCursor(Qt::WaitCursor);
    PCVTbmp = new QLabel(this);
    PCVTbmp->setObjectName("PCVTbmp");
    PCVTbmp->setPixmap(QPixmap(":/splash-pc.png"));
    PCVTbmp->setGeometry(0, 0, 400, 200);
    NETVTbmp = new QLabel(this);
    NETVTbmp->setObjectName("NETVTbmp");
    NETVTbmp->setPixmap(QPixmap(":/splash-net.png"));
    NETVTbmp->setGeometry(0, 0, 400, 200);
    const ScreenMetrics screen = Screen::metrics();
    move((screen.width - 400) / 2, (screen.height - 200) / 2);
}

void TSplashForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TSplashForm::FormShow()
{
    const ScreenMetrics screen = Screen::metrics();
    if (std::lround(screen.logicalDpi) != 96) {
        MessageBox::show(MessageBox::Icon::Information,
                         "Display font size is NOT set to small fonts (96 dpi). To run correctly, display font size "
                         "must be set to small fonts (96 dpi). Vantrel BC will close now.");
        m_quitRequested = true;
    }
    if (screen.height < 590) {
        MessageBox::show(MessageBox::Icon::Information,
                         "Screen area is less than 800*600. To run correctly, screen area must be set to 800*600 or "
                         "higher. Vantrel BC will close now.");
        m_quitRequested = true;
    }
}
