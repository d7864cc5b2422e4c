#pragma once
#include <QDate>
#include <QObject>
#include <QString>

#include <memory>

class BackupJob;
class Connection;

// Once a day, at the first start or save of the day, a copy of the database into the backups
// folder beside it, made in steps while the user works on. A copy that cannot be made is said
// once a run, as a warning; it never stops the user's work or touches what was saved.
class DailyBackup : public QObject {
    Q_OBJECT
public:
    explicit DailyBackup(Connection& connection, QObject* parent = nullptr);
    ~DailyBackup() override;

    // Tests that are not about backups turn them off, so no copy runs beside what they look at.
    static void setEnabled(bool enabled);
    static bool enabled();

    void check();              // makes today's copy when none is there yet
    void stop();               // drops a copy being made (before a restore)
    BackupJob* job() const { return m_job.get(); } // the copy being made; null when none
    bool warned() const { return m_warned; }

signals:
    void started(BackupJob* job);
    void finished(bool ok);

private:
    void ended(bool ok, const QString& error);

    Connection& m_connection;
    QDate m_done;        // the day whose copy is made or was tried
    bool m_warned = false;
    std::unique_ptr<BackupJob> m_job;
};
