#pragma once
#include <QString>
#include <QVariant>

enum class ColumnType { Any, Integer, Text, Boolean, Date, Real };

struct Column {
    QString name;
    ColumnType type = ColumnType::Any;
    int size = 0;          // maximum characters of a text column, 0 when unlimited
    bool readOnly = false; // auto-numbers and the hidden row identity
};

// The year a birthday or anniversary without one is stored with: phones write it for "no year"
// (it is a leap year, so 29 February comes through), and the reminders read only month and day.
constexpr int kNoYear = 1604;

// Converts between the values the datasets hold and the values SQLite stores.
namespace ColumnValue {
QVariant fromDatabase(const QVariant& stored, ColumnType type);
QVariant toDatabase(const QVariant& value, ColumnType type);
ColumnType typeFromDeclaration(const QString& declared, int* size);
int compare(const QVariant& a, const QVariant& b); // null first, numbers numerically, text ignoring case
}
