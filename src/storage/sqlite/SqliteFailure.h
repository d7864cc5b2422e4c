#pragma once
#include "storage/DataError.h"

#include <QString>

struct sqlite3;

// Turns SQLite's result codes into sentences a salesperson can act on, and into the reason the
// layers above act on. fileName is the database file as the user knows it ("Vantrel.vt").
namespace SqliteFailure {
QString describe(int extendedCode, const QString& sqliteMessage, const QString& fileName);
FailureReason reason(int extendedCode, const QString& sqliteMessage = {});
// What a lock held by another program is said as, where no statement failed to say it.
QString locked(const QString& fileName);
DataError error(int extendedCode, const QString& sqliteMessage, const QString& fileName);
// The last failure on this handle; rc where the handle has none of the same kind (or no handle).
DataError lastError(sqlite3* db, int rc, const QString& fileName);
}
