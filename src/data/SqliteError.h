#pragma once
#include <QString>

// Turns SQLite's result codes into sentences a salesperson can act on. fileName is the database
// file as the user knows it ("Vantrel.vt").
namespace SqliteError {
QString describe(int extendedCode, const QString& sqliteMessage, const QString& fileName);
}
