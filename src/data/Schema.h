#pragma once
#include <QString>

// Makes the delivered database: the schema script with its required rows. Used by the build
// and by tests; the program reads only the statements that an older file may lack.
namespace Schema {
QString script();
// The script's statements that make what an older file may lack: the indexes, and the change
// log of People with its triggers, in the script's order.
QStringList addedStatements();
// Creates the database at path; refuses (and returns false) when a file is already there.
bool createDatabase(const QString& path, QString* error = nullptr);
}
