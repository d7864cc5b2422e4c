#pragma once
#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

class SqliteStore;

// A check of the whole database file, run on a read-only connection of its own in a thread of
// its own, so that the window never waits for it: a damaged page is found even where nobody
// looks. The result arrives as finished() in the thread that started the check; a check still
// running when the object goes is interrupted and waited for.
class FileCheck : public QObject {
    Q_OBJECT
public:
    explicit FileCheck(QObject* parent = nullptr);
    ~FileCheck() override;
    void start(const QString& path);
    bool running() const { return m_thread.joinable() && !m_done; }
    // Benchmarks measure the program without the check beside it.
    static void setEnabled(bool enabled);

signals:
    // ok, or what the check found (its first findings, one a line).
    void finished(bool ok, const QString& findings);

private:
    void run(const QString& path);

    std::thread m_thread;
    std::atomic<bool> m_done{false};
    std::mutex m_lock; // the store is interrupted only while it is there
    SqliteStore* m_file = nullptr;
};
