#include "DailyBackup.h"

#include "Backups.h"
#include "Connection.h"
#include "Notices.h"

#include <QDir>
#include <QFileInfo>

namespace {
bool& enabledFlag()
{
    static bool on = true;
    return on;
}
} // namespace

DailyBackup::DailyBackup(Connection& connection, QObject* parent) : QObject(parent), m_connection(connection) {}

DailyBackup::~DailyBackup() = default;

void DailyBackup::setEnabled(bool enabled) { enabledFlag() = enabled; }
bool DailyBackup::enabled() { return enabledFlag(); }

void DailyBackup::check()
{
    // A server's backups are its administrator's concern.
    if (!enabled() || m_job || !m_connection.isOpen() || m_connection.onServer())
        return;
    const QDate today = Backups::now().date();
    if (m_done == today)
        return;
    m_done = today;
    const QString path = m_connection.databasePath();
    const QString target = Backups::folder(path) + "/" + Backups::dailyName(today);
    if (QFileInfo::exists(target))
        return;
    m_job = std::make_unique<BackupJob>(m_connection, target);
    connect(m_job.get(), &BackupJob::finished, this, &DailyBackup::ended, Qt::QueuedConnection);
    emit started(m_job.get());
    m_job->start();
}

void DailyBackup::stop() { m_job.reset(); }

void DailyBackup::ended(bool ok, const QString& error)
{
    if (!m_job)
        return; // stopped meanwhile
    const QString folder = QDir::toNativeSeparators(Backups::folder(m_connection.databasePath()));
    m_job.reset();
    if (ok)
        Backups::rotate(m_connection.databasePath());
    emit finished(ok);
    if (!ok && !m_warned) {
        m_warned = true;
        Notices::warn(QString("Today's backup of %1 could not be made. %2\n\nYour work goes on and is saved as "
                              "before; Vantrel tries again at its next start. The backups are kept in %3.")
                          .arg(m_connection.fileName(), error, folder));
    }
}
