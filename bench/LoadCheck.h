#pragma once
// The load test's verdict: the copies' logs (LoadLog.h) read back and held against what the
// server holds at the end, and the figures printed with their goals.
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace storage {
class Store;
}

namespace LoadCheck {

struct Run {
    int copies = 0;               // working copies; the watcher is copy 0 besides them
    qint64 start = 0, end = 0;    // when the copies worked, wall clock ms
    qint64 watchedUntil = 0;      // when the watcher stopped looking
    QStringList logs;             // the log of copy 0 (the watcher), 1, 2, ...
    QStringList users;            // the login of each copy, in the same order
    QList<qint64> shared;         // the people every copy saves
    QStringList columns;          // the columns the saves change
    QStringList initial;          // what each of those held before the run
    std::vector<qint64> startups; // each copy's start, ms, to its list shown
    QStringList faults;           // what the benchmark itself saw go wrong (crash, hang, refusal)
    double cpuSeconds = 0;        // user and system time of every copy
    QString load;                 // the machine's load average at the end
    int roundTripMs = 0;
};

// Reads the logs and the server, prints the table of figures and every fault found; returns
// how many faults there were.
int report(const Run& run, storage::Store& server);

} // namespace LoadCheck
