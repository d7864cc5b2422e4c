#include "AltLetterGuard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

void AltLetterGuard::install()
{
    static AltLetterGuard* guard = nullptr;
    if (!guard) {
        guard = new AltLetterGuard(qApp);
        qApp->installEventFilter(guard);
    }
}

bool AltLetterGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers();
    // Alt with Ctrl is AltGr on some keyboards, which types characters.
    if (!(mods & Qt::AltModifier) || (mods & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;
    if (key->text().isEmpty() || !key->text().at(0).isPrint())
        return false; // Alt+Down and the like keep their meaning
    // An open menu picks its item by the letter, with or without Alt.
    if (qobject_cast<QMenu*>(watched) || qobject_cast<QMenuBar*>(watched))
        return false;
    return qobject_cast<QWidget*>(watched) != nullptr;
}
