#include "FocusFrame.h"

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace {
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(QWidget* window) : QObject(window) { window->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            static_cast<QWidget*>(watched)->setAttribute(Qt::WA_KeyboardFocusChange);
        return false;
    }
};
} // namespace

void FocusFrame::showFromStart(QWidget* window) { new ShowWatcher(window); }
