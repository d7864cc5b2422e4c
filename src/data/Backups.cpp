#include "Backups.h"

#include "Connection.h"
#include "data/DataError.h"
#include "storage/sqlite/SqliteCopy.h"
#include "storage/sqlite/SqliteFailure.h"
#include "storage/sqlite/SqliteStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Flushes a file or a folder to the disk, so a rename that follows is not seen before the data.
void syncToDisk(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

namespace Backups {
namespace {
std::function<QDateTime()>& clock()
{
    static std::function<QDateTime()> c;
    return c;
}

const QRegularExpression& copyName()
{
    static const QRegularExpression named(R"(^Vantrel-(\d{4})-(\d{2})-(\d{2})(?:-(\d{2})(\d{2})(\d{2})-before-restore)?\.vt$)");
    return named;
}

int countPeople(const QString& path) { return SqliteCopy::countPeople(path); }
} // namespace

QString folder(const QString& databasePath) { return QFileInfo(databasePath).absolutePath() + "/backups"; }
QString dailyName(const QDate& day) { return "Vantrel-" + day.toString("yyyy-MM-dd") + ".vt"; }
QString beforeRestoreName(const QDateTime& localTime)
{
    return "Vantrel-" + localTime.toString("yyyy-MM-dd-HHmmss") + "-before-restore.vt";
}

QDateTime now() { return clock() ? clock()() : QDateTime::currentDateTime(); }
void setClock(std::function<QDateTime()> c) { ::Backups::clock() = std::move(c); }

QVector<Copy> list(const QString& databasePath, bool withPeople)
{
    QVector<Copy> out;
    const QDir dir(folder(databasePath));
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files, QDir::Name)) {
        const auto m = copyName().match(file.fileName());
        if (!m.hasMatch())
            continue;
        Copy c;
        c.path = file.absoluteFilePath();
        c.day = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!c.day.isValid())
            continue;
        c.beforeRestore = !m.captured(4).isEmpty();
        c.made = c.beforeRestore
                     ? QDateTime(c.day, QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()))
                     : file.lastModified();
        c.size = file.size();
        if (withPeople)
            c.people = countPeople(c.path);
        out << c;
    }
    std::sort(out.begin(), out.end(), [](const Copy& a, const Copy& b) {
        return a.day != b.day ? a.day > b.day : a.made > b.made;
    });
    return out;
}

QList<QDate> kept(QList<QDate> days)
{
    std::sort(days.begin(), days.end(), std::greater<QDate>());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    QList<QDate> keep = days.mid(0, kDaily);
    QList<QDate> weeks;
    for (qsizetype i = kDaily; i < days.size() && weeks.size() < kWeekly; ++i) {
        const QDate monday = days[i].addDays(1 - days[i].dayOfWeek());
        if (weeks.contains(monday))
            continue;
        weeks << monday;
        keep << days[i];
    }
    return keep;
}

int rotate(const QString& databasePath)
{
    const QDir dir(folder(databasePath));
    // Pieces of copies that never finished (the program was killed while making one).
    for (const QString& piece : dir.entryList({"Vantrel-*.vt.part", "Vantrel-*.vt.part-*"}, QDir::Files))
        QFile::remove(dir.filePath(piece));
    QList<QDate> days;
    const QVector<Copy> copies = list(databasePath, false);
    for (const Copy& c : copies)
        if (!c.beforeRestore)
            days << c.day;
    const QList<QDate> keep = kept(days);
    int dropped = 0;
    for (const Copy& c : copies)
        if (!c.beforeRestore && !keep.contains(c.day) && QFile::remove(c.path))
            ++dropped;
    return dropped;
}

void restore(Connection& c, const QString& backupPath, const QString& keptAs)
{
    const QString name = QFileInfo(backupPath).fileName();
    const QString check = SqliteCopy::checkFile(backupPath);
    if (check.isEmpty())
        throw DataError(QString("The backup %1 cannot be opened. Nothing was changed.").arg(name));
    if (check != "ok")
        throw DataError(QString("The backup %1 is damaged (%2). Nothing was changed; choose another backup.")
                            .arg(name, check.section('\n', 0, 0)));
    if (countPeople(backupPath) < 0)
        throw DataError(QString("%1 is not a backup of Vantrel's data. Nothing was changed.").arg(name));
    if (c.transactionDepth() > 0 || !c.file())
        throw DataError("The database is busy with another change. Nothing was changed; try again.");
    BackupJob keep(c, keptAs);
    if (!keep.runToEnd())
        throw DataError(QString("%1 as it is now could not be kept as a copy of its own: %2 Nothing was changed.")
                            .arg(c.fileName(), keep.error()));
    // One transaction of the database itself: other programs, and a crash, see all of it or none.
    try {
        SqliteCopy::copyInto(*c.file(), backupPath);
    } catch (const DataError& e) {
        throw DataError(QString("The backup could not be put in place: %1 Nothing was changed.").arg(e.text()));
    }
    c.forgetColumns();
    c.checkpoint();
}
} // namespace Backups

// ---- one copy in steps -------------------------------------------------------------------------

BackupJob::BackupJob(Connection& source, QString target, QObject* parent)
    : QObject(parent), m_source(source), m_target(std::move(target)), m_part(m_target + ".part")
{
}

BackupJob::~BackupJob() { drop(); }

bool BackupJob::isRunning() const { return (m_copy && m_copy->copying()) || m_sealing.joinable(); }

bool BackupJob::begin()
{
    const QString dir = QFileInfo(m_target).absolutePath();
    const QString name = QFileInfo(m_target).fileName();
    if (!QDir().mkpath(dir) || !QFileInfo(dir).isDir()) {
        fail(QString("The folder %1 cannot be made.").arg(QDir::toNativeSeparators(dir)));
        return false;
    }
    for (const char* piece : {"", "-journal", "-wal", "-shm"})
        QFile::remove(m_part + piece);
    if (!m_source.file()) {
        fail("The database connection is not open.");
        return false;
    }
    m_copy = std::make_unique<SqliteCopy>();
    try {
        m_copy->begin(*m_source.file(), m_part, name);
    } catch (const DataError& e) {
        fail(e.text());
        return false;
    }
    return true;
}

void BackupJob::start()
{
    if (isRunning() || m_done || !begin())
        return;
    m_timer = new QTimer(this);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (!step())
            m_timer->stop();
    });
    m_timer->start();
}

bool BackupJob::runToEnd()
{
    if (!isRunning() && !m_done && !begin())
        return false;
    // Another program's lock is waited for a few seconds, as any statement waits for one.
    for (int waits = 0; m_copy && m_copy->copying();) {
        if (m_source.transactionDepth() > 0 || waits > 250) {
            fail(SqliteFailure::locked(m_source.fileName()));
            return false;
        }
        m_busy = false;
        step();
        if (m_busy) {
            QThread::msleep(20);
            ++waits;
        }
    }
    return m_done;
}

bool BackupJob::step()
{
    if (!m_copy || !m_copy->copying())
        return false;
    // What a transaction of this program has not committed yet is never copied: wait for it.
    if (m_source.transactionDepth() > 0) {
        if (m_timer)
            m_timer->setInterval(50);
        return true;
    }
    SqliteCopy::Step result;
    try {
        result = m_copy->step(kStepMs);
    } catch (const DataError& e) {
        fail(e.text());
        return false;
    }
    m_total = m_copy->pagesTotal();
    m_left = m_copy->pagesLeft();
    if (result == SqliteCopy::Step::Busy) {
        m_busy = true;
        if (m_timer)
            m_timer->setInterval(50); // another program writes: again in a moment
        return true;
    }
    if (m_timer)
        m_timer->setInterval(0);
    if (result == SqliteCopy::Step::More) {
        emit progress(m_left, m_total);
        return true;
    }
    emit progress(0, m_total);
    if (m_timer) {
        // The source is no longer read; the check of the copy must not hold the window.
        m_copy->endCopy();
        m_sealing = std::thread([this] {
            const QString why = seal();
            QMetaObject::invokeMethod(this, [this, why] { sealed(why); }, Qt::QueuedConnection);
        });
        return false;
    }
    if (complete()) {
        m_done = true;
        emit finished(true, {});
    }
    return false;
}

bool BackupJob::complete()
{
    m_copy->endCopy();
    const QString why = seal();
    if (!why.isEmpty()) {
        fail(why);
        return false;
    }
    return true;
}

void BackupJob::sealed(const QString& why)
{
    if (m_sealing.joinable())
        m_sealing.join();
    if (!why.isEmpty()) {
        fail(why);
        return;
    }
    m_done = true;
    emit finished(true, {});
}

QString BackupJob::seal()
{
    const QString name = QFileInfo(m_target).fileName();
    const QString why = m_copy->seal();
    if (!why.isEmpty())
        return why;
    syncToDisk(m_part);
    if (::rename(QFile::encodeName(m_part).constData(), QFile::encodeName(m_target).constData()) != 0)
        return QString("The copy could not be named %1.").arg(name);
    syncToDisk(QFileInfo(m_target).absolutePath());
    return {};
}

void BackupJob::fail(const QString& why)
{
    drop();
    m_error = why;
    emit finished(false, why);
}

void BackupJob::drop()
{
    if (m_timer)
        m_timer->stop();
    if (m_sealing.joinable()) {
        m_copy->interrupt(); // a check being made is stopped, not waited for
        m_sealing.join();
        // A copy that was whole and named before the interruption stays; anything else goes.
        m_done = m_done || (QFileInfo::exists(m_target) && !QFileInfo::exists(m_part));
    }
    m_copy.reset();
    if (!m_done)
        for (const char* piece : {"", "-journal", "-wal", "-shm"})
            QFile::remove(m_part + piece);
}
