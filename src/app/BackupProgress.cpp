#include "BackupProgress.h"

#include "data/Backups.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

BackupProgress::BackupProgress(QWidget* mainWindow)
    : QFrame(mainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), m_main(mainWindow)
{
    setObjectName("BackupProgress");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::Box);
    BackupLabel = new QLabel("Making today's backup...", this);
    BackupLabel->setObjectName("BackupLabel");
    BackupBar = new QProgressBar(this);
    BackupBar->setObjectName("BackupBar");
    BackupBar->setFixedWidth(140);
    BackupBar->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(BackupLabel);
    layout->addWidget(BackupBar);
}

void BackupProgress::follow(BackupJob* job)
{
    m_job = job;
    BackupBar->setRange(0, 100);
    BackupBar->setValue(0);
    connect(job, &BackupJob::progress, this, [this](int left, int total) {
        if (total > 0)
            BackupBar->setValue(int(100.0 * (total - left) / total));
    });
    connect(job, &BackupJob::finished, this, [this] { hide(); });
    connect(job, &QObject::destroyed, this, [this] { hide(); });
    QTimer::singleShot(kShowAfterMs, this, [this, job] {
        if (m_job == job && job->isRunning() && m_main->isVisible()) {
            place();
            show();
        }
    });
}

void BackupProgress::place()
{
    adjustSize();
    const QRect frame = m_main->geometry();
    move(frame.right() - width() - 8, frame.bottom() - height() - 8);
}
