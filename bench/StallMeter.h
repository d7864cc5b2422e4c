#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// The longest time the GUI thread's event loop went without serving events while an operation
// ran: a timer asks to be served every millisecond, and the largest gap between two servings
// (from the start to the first, and from the last to the end, included) is the stall the user
// meets as a window that neither paints nor answers.
class StallMeter : public QObject {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { note(); });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    // The longest stall in milliseconds since start().
    double stop()
    {
        note();
        m_timer.stop();
        return m_longest / 1e6;
    }

private:
    void note()
    {
        const qint64 now = m_clock.nsecsElapsed();
        if (now - m_last > m_longest)
            m_longest = now - m_last;
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};
