#include "TAboutForm.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutForm");
    setWindowTitle("About Vantrel (Belcarre)");
    auto* layout = new QVBoxLayout(this);
    auto* banner = new QLabel(this);
    banner->setPixmap(QPixmap(":/splash-pc.png"));
    layout->addWidget(banner);
    // A plain OK at the lower right, like every other dialog's; a button box would add the
    // desktop theme's icon to it.
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("SpeedButton2");
    ok->setMinimumWidth(75);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TAboutForm::SpeedButton2Click);
    layout->addWidget(ok, 0, Qt::AlignRight);
    setFixedSize(sizeHint());
}

void TAboutForm::SpeedButton2Click() { accept(); }
