#include "FileCheck.h"

#include <QFile>
#include <QMetaObject>
#include <QStringList>

#include "storage/sqlite/SqliteStore.h"

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
        if (m_file)
            m_file->interrupt();
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
    {
        // Read-only and without creating anything; the journal of the running copy is read as
        // any reader reads it. A file that cannot be opened is the start-up's concern.
        SqliteStore file;
        try {
            file.open(path, SqliteStore::Access::ReadOnly, 2000);
        } catch (const DataError&) {
        }
        if (file.isOpen()) {
            {
                std::lock_guard<std::mutex> hold(m_lock);
                m_file = &file;
            }
            findings = file.quickCheck(20);
            std::lock_guard<std::mutex> hold(m_lock);
            m_file = nullptr;
        }
    }
    ok = findings.isEmpty();
    m_done = true;
    QMetaObject::invokeMethod(
        this, [this, ok, findings] { emit finished(ok, findings.join('\n')); }, Qt::QueuedConnection);
}
