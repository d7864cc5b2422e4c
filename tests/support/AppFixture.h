#pragma once
#include "TestDatabase.h"

#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>
#include <memory>

class Program;
class TDataEntryForm;
class TMainDataModule;
class Dataset;

// The whole program started on a real database in a temporary folder, with every platform seam
// answered by the test: message boxes are recorded and answered from a queue, addresses handed
// to the desktop are recorded, modal windows run through a test hook.
class AppFixture {
public:
    explicit AppFixture(ScreenMetrics screen = ScreenMetrics{});
    ~AppFixture();

    TestDatabase db;
    std::unique_ptr<Program> program;
    QList<MessageBox::Request> messages;
    QList<MessageBox::Button> answers; // taken first to last; OK (or the escape button) when empty
    QStringList opened;                // addresses handed to the desktop
    bool desktopOpens = true;          // false: the desktop has no program for them
    std::function<int(QDialog*)> modal; // default: rejects at once

    bool start();                      // start-up, then the main window is shown
    TDataEntryForm* main() const;
    TMainDataModule* data() const;
    Dataset* people() const;
    QStringList messageTexts() const;
    template <class T> T* find(const QString& name) const;
};

#include "app/TDataEntryForm.h"

template <class T> T* AppFixture::find(const QString& name) const
{
    T* w = main()->findChild<T*>(name);
    if (!w)
        qFatal("no control named %s", qPrintable(name));
    return w;
}
