#pragma once
#include <QFrame>
#include <QPointer>

class BackupJob;
class QLabel;
class QProgressBar;

// How far the daily backup has come, in a small window at the foot of the main window that takes
// no focus: shown only when the copy takes longer than half a second, gone when it ends.
class BackupProgress : public QFrame {
    Q_OBJECT
public:
    static constexpr int kShowAfterMs = 500;
    explicit BackupProgress(QWidget* mainWindow);
    void follow(BackupJob* job);

    QLabel* BackupLabel;
    QProgressBar* BackupBar;

private:
    void place();
    QWidget* m_main;
    QPointer<BackupJob> m_job;
};
