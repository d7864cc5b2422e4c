#pragma once
#include <QByteArray>

// A start from the desktop's menu makes the desktop show that the program is starting (a busy
// pointer, a "starting" entry) until the program's window appears. A start that hands over to a
// copy already running shows no window of its own, so it ends that feedback itself.
namespace StartupFeedback {
// Taken before the application object is made, which takes it from the environment.
QByteArray takeId();
// Tells the desktop that the start with this id is complete (X11; elsewhere nothing to do).
void complete(const QByteArray& id);
} // namespace StartupFeedback
