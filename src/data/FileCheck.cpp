#include "FileCheck.h"

#include <QFile>
#include <QMetaObject>
#include <QStringList>

#include <sqlite3.h>

namespace {
bool& enabled()
{
    static bool on = true;
    return on;
}
} // namespace

FileCheck::FileCheck(QObject* parent) : QObject(parent) {}

FileCheck::~FileCheck()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_db)
            sqlite3_interrupt(m_db);
    }
    if (m_thread.joinable())
        m_thread.join();
}

void FileCheck::setEnabled(bool on) { enabled() = on; }

void FileCheck::start(const QString& path)
{
    if (!enabled() || m_thread.joinable())
        return;
    m_thread = std::thread([this, path] { run(path); });
}

void FileCheck::run(const QString& path)
{
    bool ok = true;
    QStringList findings;
    sqlite3* db = nullptr;
    // Read-only and without creating anything; the journal of the running copy is read as any
    // reader reads it.
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_db = db;
        }
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA quick_check(20)", -1, &s, nullptr) == SQLITE_OK) {
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
                const QString line = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
                if (line != QLatin1String("ok"))
                    findings << line;
            }
            // Interrupted (the program is ending) or busy: no finding either way.
            if (rc != SQLITE_DONE && rc != SQLITE_INTERRUPT && rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
                findings << QString::fromUtf8(sqlite3_errmsg(db));
        } else {
            findings << QString::fromUtf8(sqlite3_errmsg(db));
        }
        sqlite3_finalize(s);
        std::lock_guard<std::mutex> hold(m_lock);
        m_db = nullptr;
    }
    sqlite3_close(db);
    ok = findings.isEmpty();
    m_done = true;
    QMetaObject::invokeMethod(
        this, [this, ok, findings] { emit finished(ok, findings.join('\n')); }, Qt::QueuedConnection);
}
