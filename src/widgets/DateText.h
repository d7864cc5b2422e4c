#pragma once
#include <QDate>
#include <QString>

// Dates as the user reads and types them: the locale's short format, always with a four-digit
// year so that what is shown can be typed back without guessing a century.
namespace DateText {
QString format(const QDate& date);
QString formatValue(const QVariant& value); // a date column's value; other values as text
// The day, month and year in the order of the user's format, separated by anything but
// digits; a two-digit year falls within fifty years of today; ISO (2024-12-31) is understood
// too. An invalid date when the text cannot be read as a real calendar day.
QDate parse(const QString& text);
}
