#pragma once
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The one libpq connection string that Vantrel.connection holds, in either of libpq's forms:
// keyword=value pairs (values quoted with '...' where they hold spaces, \' and \\ inside) or a
// postgresql:// address. It never holds a password: that comes from ~/.pgpass (PGPASSFILE) or is
// asked for and kept in memory only, so the file can lie on a shared computer.
namespace ConnectionString {

using Parameter = QPair<QString, QString>; // keyword, value
struct Parsed {
    QList<Parameter> parameters; // in the order written; a URI's parts as their keywords
    QString error;               // why the text is refused, for the user; empty when it is taken
    bool ok() const { return error.isEmpty(); }
    QString value(const QString& keyword) const; // the last one given, as libpq takes it
};

// Parses and checks: every keyword one libpq knows, no password anywhere, nothing left over.
Parsed parse(const QString& text);
// The keyword=value form of these parameters, quoted as libpq reads them back; empty values left out.
QString compose(const QList<Parameter>& parameters);
QString quoted(const QString& value); // one value as compose writes it

// The TLS modes libpq offers, weakest first.
const QStringList& sslModes();

// Vantrel.connection itself. One connection string on its first line that is neither empty nor
// a comment ("#").
struct File {
    bool exists = false;
    QString text;   // the connection string as written
    Parsed parsed;  // its parameters, or why it is refused (which names the file)
};
File read(const QString& path);
// Written under another name beside it and moved into place whole, so a start never reads half
// a file. false with *error in words.
bool write(const QString& path, const QString& connectionString, QString* error);
bool remove(const QString& path, QString* error); // true also when there was none

} // namespace ConnectionString
