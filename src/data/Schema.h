#pragma once
#include <QString>

// Makes the delivered database: the schema script with its required rows. Used by the build
// (never by the program itself) and by tests.
namespace Schema {
QString script();
// Creates the database at path; refuses (and returns false) when a file is already there.
bool createDatabase(const QString& path, QString* error = nullptr);
}
