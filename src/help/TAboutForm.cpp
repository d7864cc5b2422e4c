#include "TAboutForm.h"

#include "HelpWidgets.h"
#include "platform/FocusFrame.h"
#include "platform/Platform.h"

#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kMargin = 8;
} // namespace

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName("AboutForm");
    setWindowTitle("About Vantrel (Belcarre)");
    HelpWidgets::paintWhite(this);
    Image1 = HelpWidgets::banner(this);
    Image1->move(kMargin, kMargin);
    SpeedButton2 = HelpWidgets::okButton(this);
    SpeedButton2->setDefault(true);
    const int width = kMargin + HelpWidgets::kBannerWidth + kMargin + SpeedButton2->width() + kMargin;
    const int height = kMargin + HelpWidgets::kBannerHeight + kMargin;
    // Lower right, beside the banner.
    SpeedButton2->move(width - kMargin - SpeedButton2->width(), height - kMargin - SpeedButton2->height());
    setFixedSize(width, height);
    connect(SpeedButton2, &QPushButton::clicked, this, &TAboutForm::SpeedButton2Click);
    // OK has the focus, and Enter and Space press it: let it look so from the start.
    FocusFrame::showFromStart(this);
}

void TAboutForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Screen::centre(this);
    SpeedButton2->setFocus();
}

void TAboutForm::SpeedButton2Click() { accept(); }
