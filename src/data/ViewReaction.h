#pragma once
#include <QMetaObject>
#include <QObject>

#include <exception>
#include <utility>

// Runs a view's reaction to a dataset's signal. What the reaction throws (a deferred read that
// fails, say) must not unwind through the emission, which Qt leaves undefined: it is caught here
// and thrown again from the event loop, where the program shows it as the failure of any command
// is shown, after the dataset has finished what it was doing.
template<typename Reaction>
void reactOutsideEmission(QObject* context, Reaction&& reaction)
{
    try {
        std::forward<Reaction>(reaction)();
    } catch (...) {
        QMetaObject::invokeMethod(
            context, [e = std::current_exception()] { std::rethrow_exception(e); }, Qt::QueuedConnection);
    }
}
