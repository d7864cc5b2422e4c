#include "WorkProgress.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
int& delay()
{
    static int ms = 300;
    return ms;
}
} // namespace

int WorkProgress::showAfter() { return delay(); }
void WorkProgress::setShowAfter(int milliseconds) { delay() = milliseconds; }

WorkProgress::WorkProgress(const QString& caption, const QString& text, bool cancellable, QWidget* parent)
    : QDialog(parent)
{
    setObjectName("WorkProgress");
    setWindowTitle(caption);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (cancellable)
        flags |= Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    Text = new QLabel(text, this);
    Text->setObjectName("Text");
    Text->setMinimumWidth(320);
    layout->addWidget(Text);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 1000);
    ProgressBar->setTextVisible(false);
    layout->addWidget(ProgressBar);
    if (cancellable) {
        CancelButton = new QPushButton("Cancel", this);
        CancelButton->setObjectName("Cancel");
        CancelButton->setAutoDefault(false);
        CancelButton->setDefault(false);
        connect(CancelButton, &QPushButton::clicked, this, &WorkProgress::reject);
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(CancelButton);
        layout->addLayout(row);
        CancelButton->setFocus();
    }
    setFixedSize(sizeHint());
}

void WorkProgress::setPermille(int permille)
{
    if (permille < 0)
        ProgressBar->setRange(0, 0);
    else {
        ProgressBar->setRange(0, 1000);
        ProgressBar->setValue(std::min(permille, 1000));
    }
}

void WorkProgress::keyPressEvent(QKeyEvent* event)
{
    // Enter is no answer here: QDialog would press the focused button with it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void WorkProgress::closeEvent(QCloseEvent* event)
{
    // The window goes when the work ends; closing it asks the work to stop, if it can.
    event->ignore();
    reject();
}

void WorkProgress::reject()
{
    if (!CancelButton || m_cancelRequested)
        return;
    m_cancelRequested = true;
    CancelButton->setEnabled(false);
    Text->setText("Stopping...");
    emit cancelled();
}
