#pragma once
#include "data/Schema.h"

#include <QRegularExpression>
#include <QStringList>

// The statements that take a current file back to the first delivered files: what every step
// and the base's later additions made, taken away in the reverse order, and the version number
// back to 0. Tests and benchmarks of the upgrade run them on a file of their own.
inline QStringList olderSchemaStatements()
{
    static const QRegularExpression named(R"re(^CREATE\s+(INDEX|TABLE|TRIGGER)\s+"([^"]+)")re",
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression added(R"re(^ALTER\s+TABLE\s+"([^"]+)"\s+ADD\s+COLUMN\s+"([^"]+)")re",
                                          QRegularExpression::CaseInsensitiveOption);
    QStringList made = Schema::addedStatements();
    for (const Schema::Step& step : Schema::steps())
        made += Schema::statements(step.sql);
    QStringList undo;
    for (auto it = made.crbegin(); it != made.crend(); ++it) {
        if (const auto m = named.match(*it); m.hasMatch())
            undo << QString("DROP %1 IF EXISTS \"%2\"").arg(m.captured(1).toUpper(), m.captured(2));
        else if (const auto c = added.match(*it); c.hasMatch())
            undo << QString("ALTER TABLE \"%1\" DROP COLUMN \"%2\"").arg(c.captured(1), c.captured(2));
    }
    undo << "PRAGMA user_version = 0";
    return undo;
}
