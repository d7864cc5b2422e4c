#pragma once
#include <QList>
#include <QPointer>

class QButtonGroup;
class QWidget;

// An explicit Tab order in reading order. A group of round buttons is one stop, entered on its
// chosen button (or its first); stops that the user cannot see or use are passed over, so Tab
// never lands on a control outside the window.
class TabChain {
public:
    void add(QWidget* control);
    void add(QButtonGroup* group);
    void clear() { m_stops.clear(); }

    // Moves the keyboard focus from the control that has it to the next or previous stop, round
    // the end. False when the focus is on none of the stops.
    bool move(bool next) const;
    // The controls that Tab visits now, in order, each as the widget that would get the focus.
    QList<QWidget*> reachable() const;

private:
    struct Stop {
        QPointer<QWidget> control;
        QPointer<QButtonGroup> group;
    };
    QWidget* target(const Stop& stop) const;
    bool usable(const Stop& stop) const;
    bool holds(const Stop& stop, const QWidget* focus) const;

    QList<Stop> m_stops;
};
