#pragma once
#include <QString>
#include <QVariant>

// A person's columns as the People page names and shows them: for the history, which speaks of
// fields the user knows, never of the columns behind them.
namespace PersonFields {
// The caption of the field on the page; one that several groups of the page share is named with
// its group ("Home address: City"). A column the page does not show keeps its own name.
QString caption(const QString& column);
// The value as the page shows it: dates in the user's short format, a reminder as "Yes" or "No",
// a choice as its text.
QString display(const QString& column, const QVariant& value);
}
