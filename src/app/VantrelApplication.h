#pragma once
#include <QApplication>

// The application object. An error that escapes an event handler is shown in a message box and
// ends only the command that raised it, never the program with the user's unsaved work.
class VantrelApplication : public QApplication {
public:
    VantrelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
