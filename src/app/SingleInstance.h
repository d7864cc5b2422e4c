#pragma once
#include <QByteArray>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// One copy of the program per database. The first start on a file holds a lock named after the
// file and listens on a local socket of the same name; a later start on the same file reaches it
// there, asks it to bring its window to the front, and ends. The lock, not the socket, decides
// who is first, so two starts at the same moment cannot both take the socket.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& databasePath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this start should end because a copy already running on the file was asked to
    // come to the front. A second copy that was asked for explicitly runs all the same; so does a
    // start whose running copy does not answer. Either way a start that finds no copy running
    // becomes the one that later starts reach.
    bool handOver(bool secondCopyWanted);
    bool isFirst() const { return m_lock != nullptr; }
    QString name() const { return m_name; } // of the socket, in the user's runtime folder

signals:
    // A later start on the same file asked for this copy's window, with the desktop's
    // activation token of that start (empty where the desktop gave none).
    void frontRequested(const QByteArray& activationToken);

private:
    bool claim();
    bool askRunningCopy(const QDeadlineTimer& deadline);
    void serve();
    void watchForTheFirstToEnd();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
