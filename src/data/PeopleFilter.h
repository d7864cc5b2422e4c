#pragma once
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWaitCondition>

#include <atomic>
#include <deque>
#include <memory>
#include <vector>

class Connection;
class QThread;

// The filter window's run: the people of one company whose columns each equal a value, with only
// the letters A to Z compared without regard to case, read in the order of their identities (the
// person list's order) on a connection of its own to the same database in another thread. The
// results come back in chunks while the caller's thread goes on serving events, and the run can
// be stopped, keeping what it found until then.
class PeopleFilter : public QObject {
    Q_OBJECT
public:
    struct Condition {
        QString column;
        QString value; // never empty: an empty criterion takes no part
    };
    // The shown columns' texts of each person found, row after row; a NULL is an empty text.
    using Cells = std::vector<QString>;

    PeopleFilter(const Connection& connection, const QVariant& companyId, const QList<Condition>& conditions,
                 const QStringList& shown, QObject* parent = nullptr);
    ~PeopleFilter() override; // stops the run and waits for its thread

    void start();
    void stop(); // the run ends after the part it is reading; what it found stays
    bool isFinished() const { return m_finished; }
    bool wasStopped() const { return m_stopped; }
    QString error() const; // once finished: why the run failed, in plain words; empty when it did not
    int permille() const { return m_permille; } // how far the run has come
    std::vector<Cells> take(); // the chunks found since the last call, in order

    // How many identities each statement of a run covers; tests make it small.
    static void setSpan(qint64 identities);

signals:
    void found();    // a chunk is ready, or the run came further
    void finished(); // the thread is done: found everything, was stopped, or failed

private:
    void run();
    void hand(Cells&& cells);

    const Connection& m_connection; // only its settings are read in the thread, to open another
    QVariant m_companyId;
    QList<Condition> m_conditions;
    QStringList m_shown;
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_stopped{false};
    std::atomic<int> m_permille{0};
    mutable QMutex m_mutex;
    QWaitCondition m_taken;
    std::deque<Cells> m_chunks; // found, not yet taken
    QString m_error;
};
