#pragma once
#include <QObject>
#include <QTimer>

#include <memory>

class Connection;
class QSocketNotifier;

// Word that another copy of the program saved, as a team database sends it: othersWrote() is
// emitted between commands, never in the middle of a transaction of this program's, so a list
// can take in what was written while the user only looks at it; a connection lost meanwhile
// is made again, without waiting, once the server is back. The file sends no word; its copies
// catch up at their next command.
class OthersWatch : public QObject {
    Q_OBJECT
public:
    explicit OthersWatch(Connection& connection, QObject* parent = nullptr);
    ~OthersWatch() override;
    void start(); // once the connection is open
    void stop();

signals:
    void othersWrote();

private:
    void check();
    void rearm(); // the descriptor changes when a lost connection is made again

    Connection& m_connection;
    std::unique_ptr<QSocketNotifier> m_notifier;
    // Word read along with the answer to a command leaves nothing on the socket to wake the
    // notifier, and word that came during a transaction waits for its end: both are taken here.
    QTimer m_timer;
    bool m_pending = false;
};
