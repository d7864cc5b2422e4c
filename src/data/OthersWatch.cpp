#include "OthersWatch.h"

#include "Connection.h"
#include "data/DataError.h"

#include <QSocketNotifier>

OthersWatch::OthersWatch(Connection& connection, QObject* parent) : QObject(parent), m_connection(connection)
{
    // Often enough that a list catches up within a second of another copy's save, with the
    // time the catch-up itself takes; each look only reads what came, without waiting.
    m_timer.setInterval(250);
    connect(&m_timer, &QTimer::timeout, this, &OthersWatch::check);
}

OthersWatch::~OthersWatch() = default;

void OthersWatch::start()
{
    m_pending = false;
    rearm();
    if (m_notifier)
        m_timer.start();
}

void OthersWatch::stop()
{
    m_timer.stop();
    m_notifier.reset();
    m_pending = false;
}

void OthersWatch::rearm()
{
    int socket = -1;
    try {
        if (m_connection.isOpen())
            socket = m_connection.store().othersSignal();
    } catch (const DataError&) {
    }
    if (m_notifier && m_notifier->socket() == socket)
        return;
    m_notifier.reset();
    if (socket < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &OthersWatch::check);
}

void OthersWatch::check()
{
    if (!m_connection.isOpen())
        return;
    // Inside a transaction of this program's (in a window it shows meanwhile) the word waits,
    // and so does making a lost connection again.
    if (m_connection.transactionDepth() > 0) {
        if (m_notifier)
            m_notifier->setEnabled(false);
        return;
    }
    if (m_connection.store().othersWrote())
        m_pending = true;
    rearm();
    if (m_notifier)
        m_notifier->setEnabled(true);
    if (m_pending) {
        m_pending = false;
        emit othersWrote();
    }
}
