#include "TabChain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QWidget>

void TabChain::add(QWidget* control) { m_stops.push_back(Stop{control, nullptr}); }
void TabChain::add(QButtonGroup* group) { m_stops.push_back(Stop{nullptr, group}); }

QWidget* TabChain::target(const Stop& stop) const
{
    if (stop.control)
        return stop.control;
    if (!stop.group || stop.group->buttons().isEmpty())
        return nullptr;
    if (QAbstractButton* chosen = stop.group->checkedButton())
        return chosen;
    return stop.group->buttons().constFirst();
}

bool TabChain::usable(const Stop& stop) const
{
    QWidget* w = target(stop);
    return w && w->isEnabled() && w->isVisibleTo(w->window()) && w->focusPolicy() != Qt::NoFocus;
}

bool TabChain::holds(const Stop& stop, const QWidget* focus) const
{
    if (!focus)
        return false;
    if (stop.control)
        return stop.control == focus || stop.control->isAncestorOf(focus);
    if (stop.group)
        for (QAbstractButton* b : stop.group->buttons())
            if (b == focus)
                return true;
    return false;
}

bool TabChain::move(bool next) const
{
    const QWidget* focus = QApplication::focusWidget();
    int at = -1;
    for (int i = 0; i < m_stops.size() && at < 0; ++i)
        if (holds(m_stops[i], focus))
            at = i;
    if (at < 0)
        return false;
    const int n = m_stops.size();
    for (int step = 1; step <= n; ++step) {
        const Stop& stop = m_stops[((next ? at + step : at - step) % n + n) % n];
        if (usable(stop)) {
            target(stop)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return true;
}

QList<QWidget*> TabChain::reachable() const
{
    QList<QWidget*> list;
    for (const Stop& stop : m_stops)
        if (usable(stop))
            list << target(stop);
    return list;
}
