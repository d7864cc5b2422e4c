#include "HelpWidgets.h"

#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {
// The style leaves the focus out of a flat button's look; this one draws it as the style draws
// any focus frame, so it shows under the same rule as on the other buttons.
class FlatButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPushButton::paintEvent(event);
        if (!hasFocus() || !isFlat())
            return;
        QStyleOptionButton button;
        initStyleOption(&button);
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &button, this);
        frame.backgroundColor = palette().color(QPalette::Window);
        QStylePainter(this).drawPrimitive(QStyle::PE_FrameFocusRect, frame);
    }
};
} // namespace

namespace HelpWidgets {

QLabel* banner(QWidget* parent)
{
    auto* image = new QLabel(parent);
    image->setObjectName("Image1");
    image->setPixmap(QPixmap(":/banner.png"));
    image->setFixedSize(kBannerWidth, kBannerHeight);
    return image;
}

QPushButton* okButton(QWidget* parent)
{
    auto* ok = new FlatButton(QIcon(":/icons/post-16.png"), "OK", parent);
    ok->setObjectName("SpeedButton2");
    ok->setFlat(true);
    ok->setCursor(Qt::PointingHandCursor);
    QFont font = ok->font();
    font.setBold(true);
    ok->setFont(font);
    QPalette palette = ok->palette();
    palette.setColor(QPalette::ButtonText, QColor(0, 128, 0));
    ok->setPalette(palette);
    // Enter presses it when it has the focus, in a plain window as in a dialog.
    ok->setAutoDefault(true);
    // Narrower than a push button's usual 80 pixels: it stands beside the banner.
    ok->setFixedSize(64, 26);
    return ok;
}

void paintWhite(QWidget* window)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::white);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

} // namespace HelpWidgets
