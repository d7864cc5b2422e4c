#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QFile>

namespace {
constexpr int kWaitMs = 3000;
constexpr int kRetryMs = 25;
constexpr int kWatchMs = 1000;
const QByteArray kRequest = "front";

// The file as the file system knows it, also before it exists: two spellings of one path, or a
// link to its folder, meet on one name.
QString canonical(const QString& path)
{
    QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    QStringList rest;
    while (!info.exists() && !info.isRoot()) {
        rest.prepend(info.fileName());
        info = QFileInfo(info.absolutePath());
    }
    QString known = info.canonicalFilePath();
    for (const QString& part : rest)
        known += '/' + part;
    return known;
}

// A local socket's path may be at most 107 bytes long: a deeper runtime folder gives way to the
// temporary folder, which every start of the same user finds alike.
constexpr int kLongestSocketPath = 107;
constexpr int kNameLength = 8 + 24; // "/vantrel-" and the key

QString runtimeFolder()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!dir.isEmpty() && QFile::encodeName(dir).size() + kNameLength < kLongestSocketPath)
        return dir;
    return QDir::tempPath();
}
} // namespace

SingleInstance::SingleInstance(const QString& databasePath, QObject* parent) : QObject(parent)
{
    const QByteArray key = QCryptographicHash::hash(canonical(databasePath).toUtf8(), QCryptographicHash::Sha256);
    m_name = runtimeFolder() + "/vantrel-" + QString::fromLatin1(key.toHex().left(24));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::handOver(bool secondCopyWanted)
{
    if (claim())
        return false;
    if (secondCopyWanted) {
        watchForTheFirstToEnd();
        return false;
    }
    // The copy that holds the lock may be a moment away from listening, when two starts come
    // at once: it is asked until it answers, until it has ended and this start takes its place,
    // or until the wait is over and this start runs all the same.
    const QDeadlineTimer deadline(kWaitMs);
    do {
        if (askRunningCopy(deadline))
            return true;
        if (claim())
            return false;
        QThread::msleep(kRetryMs);
    } while (!deadline.hasExpired());
    watchForTheFirstToEnd();
    return false;
}

void SingleInstance::watchForTheFirstToEnd()
{
    // A copy that runs beside the first takes its place when the first ends, so that later
    // starts still find a copy to hand over to.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer] {
        if (claim())
            timer->deleteLater();
    });
    timer->start(kWatchMs);
}

bool SingleInstance::claim()
{
    auto lock = std::make_unique<QLockFile>(m_name + ".lock");
    // Held as long as the copy runs; a lock whose copy has ended is taken over at once.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    m_lock = std::move(lock);
    serve();
    return true;
}

void SingleInstance::serve()
{
    QLocalServer::removeServer(m_name); // left behind by a copy that did not end normally
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_name))
        return; // runs all the same, only later starts cannot reach it
    connect(server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto read = [this, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine().trimmed();
                    if (line == kRequest || line.startsWith(kRequest + ' '))
                        emit frontRequested(line.mid(kRequest.size()).trimmed());
                }
            };
            connect(socket, &QLocalSocket::readyRead, this, read);
            read();
        }
    });
    m_server = std::move(server);
}

bool SingleInstance::askRunningCopy(const QDeadlineTimer& deadline)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    socket.write(kRequest + (token.isEmpty() ? QByteArray() : ' ' + token) + '\n');
    // Written is enough: a copy still busy opening a large file reads it when it is ready.
    if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    socket.disconnectFromServer();
    return true;
}
