#include "TAboutForm.h"

#include "HelpWidgets.h"
#include "platform/FocusFrame.h"
#include "platform/Platform.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QtMath>

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
    // Under the banner: where this user's data is, which an installed program keeps apart from it.
    // Text that can be copied, and a long path wraps where it must rather than being cut off.
    DataFolder = new QTextEdit(this);
    DataFolder->setObjectName("DataFolder");
    DataFolder->setReadOnly(true);
    DataFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    DataFolder->setFocusPolicy(Qt::NoFocus); // the keys stay OK's
    DataFolder->setFrameShape(QFrame::NoFrame);
    DataFolder->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DataFolder->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DataFolder->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    DataFolder->document()->setDocumentMargin(0);
    DataFolder->viewport()->setAutoFillBackground(false);
    DataFolder->setFixedWidth(HelpWidgets::kBannerWidth);
    DataFolder->move(kMargin, kMargin + HelpWidgets::kBannerHeight + kMargin);
    layOut();
    connect(SpeedButton2, &QPushButton::clicked, this, &TAboutForm::SpeedButton2Click);
    // OK has the focus, and Enter and Space press it: let it look so from the start.
    FocusFrame::showFromStart(this);
}

void TAboutForm::layOut()
{
    DataFolder->setPlainText("Your data: " + AppPaths::dataDescription() + "\nHelp pages: "
                             + QDir::toNativeSeparators(AppPaths::helpDir()));
    DataFolder->document()->setTextWidth(DataFolder->width());
    DataFolder->setFixedHeight(qCeil(DataFolder->document()->size().height()));
    const int width = kMargin + HelpWidgets::kBannerWidth + kMargin + SpeedButton2->width() + kMargin;
    const int height = DataFolder->geometry().bottom() + 1 + kMargin;
    // Lower right, beside the banner and the data folder.
    SpeedButton2->move(width - kMargin - SpeedButton2->width(), height - kMargin - SpeedButton2->height());
    setFixedSize(width, height);
}

void TAboutForm::showEvent(QShowEvent* event)
{
    layOut(); // the folder as it is now, as a test may set it after start-up
    QDialog::showEvent(event);
    Screen::centre(this);
    SpeedButton2->setFocus();
}

void TAboutForm::SpeedButton2Click() { accept(); }
