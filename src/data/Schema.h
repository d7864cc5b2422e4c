#pragma once
#include <QString>

// Makes the delivered database: the schema script with its required rows. Used by the build
// and by tests; the program reads only the script's indexes, to add those an older file lacks.
namespace Schema {
QString script();
// The script's CREATE INDEX statements.
QStringList indexStatements();
// Creates the database at path; refuses (and returns false) when a file is already there.
bool createDatabase(const QString& path, QString* error = nullptr);
}
