#pragma once
#include <QCursor>
#include <QGuiApplication>

// The hourglass for as long as a step may keep the user waiting on the database, such as a save
// that waits for another program to let go of its lock. It goes with the step, also when the
// step throws, so that a message about a failure shows the ordinary pointer.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
