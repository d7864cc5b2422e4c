#include "VantrelApplication.h"

#include "platform/ErrorDisplay.h"

VantrelApplication::VantrelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VantrelApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    runCommand([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
