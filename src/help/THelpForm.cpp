#include "THelpForm.h"

#include "app/AppWindows.h"
#include "platform/Platform.h"
#include "app/TDataEntryForm.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpForm::THelpForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("HelpForm");
    setWindowTitle("Vantrel Help");
    auto* layout = new QVBoxLayout(this);
    // An OK like every other dialog's, not a coloured flat one.
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("SpeedButton2");
    ok->setMinimumWidth(75);
    layout->addWidget(ok, 0, Qt::AlignRight);
    WebBrowser1 = new QTextBrowser(this);
    WebBrowser1->setObjectName("WebBrowser1");
    WebBrowser1->setFocusPolicy(Qt::NoFocus);
    WebBrowser1->setFixedSize(455, 427);
    layout->addWidget(WebBrowser1);
    setFixedSize(sizeHint());
    connect(ok, &QPushButton::clicked, this, &THelpForm::SpeedButton2Click);
}

void THelpForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

void THelpForm::FormShow()
{
    if (TDataEntryForm* main = appWindows().DataEntryForm) {
        const QRect m = main->frameGeometry();
        move(m.left() + m.width() - frameGeometry().width(), m.top() + 20);
    }
    WebBrowser1->setSource(QUrl::fromLocalFile(AppPaths::executableDir() + "help/Help.htm"));
}

void THelpForm::SpeedButton2Click() { hide(); }
