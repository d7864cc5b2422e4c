#include "TAboutForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutForm");
    setWindowTitle("About Vantrel (Belcarre)");
    auto* layout = new QVBoxLayout(this);
    auto* banner = new QLabel(this);
    banner->setPixmap(QPixmap(":/splash-pc.png"));
    layout->addWidget(banner);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}
