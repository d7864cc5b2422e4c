#pragma once
#include <QString>

#include <functional>

// Where the program's files are. A program in a folder that its user may write (a build folder, a
// copy on a USB stick) keeps its data and help pages beside itself; an installed program
// (<prefix>/bin/vantrel) reads its help from <prefix>/share/vantrel and keeps the data of each
// user in that user's data folder, made from the installed empty database at the first start.
//
// Every folder ends in a separator.
namespace AppPaths {
QString executableDir();
void setExecutableDir(const QString& dir); // empty: the running executable's folder

// Whether this user may write into a folder. Tests answer it for the program's folder, since the
// administrator, who runs them in CI, may write any folder.
void setWritableCheck(std::function<bool(const QString& dir)> check); // empty: the file system's answer

QString installedDir();  // <prefix>/share/vantrel/ for <prefix>/bin/vantrel
QString templatePath();  // the installed empty database, copied for each new user
QString userDataDir();   // $XDG_DATA_HOME/Vantrel/, normally ~/.local/share/Vantrel/
bool dataBesideProgram();

// The one place that decides where the user's data lives: the database Vantrel.vt, the
// connection settings Vantrel.connection and the backups all go into this folder.
QString dataDir();
QString databasePath(); // dataDir() + "Vantrel.vt"
QString connectionPath(); // dataDir() + "Vantrel.connection"
// Where the data is, for the user to read: the file's path, or the team database and the
// connection file that names it.
QString dataDescription();

// What start-up opens. With a Vantrel.connection in dataDir() the team database it names, and
// never Vantrel.vt in its place: a team member must not go on working, unaware, where the team
// does not see it. A Vantrel.connection that cannot be used is an error naming the file.
struct Target {
    enum class Kind { File, Server };
    Kind kind = Kind::File;
    QString connectionString; // for Server
    QString error;            // why the named server cannot even be tried; empty when none
};
Target target();
QString helpDir();      // the help pages

// Before the database is opened. At the first start of a user's data folder (no folder yet) the
// database is made there, from the installed template or, without one, from the schema the
// program carries. Where the folder is there but the file is not (beside the program, or a data
// folder whose file has gone), nothing is made unasked: the file may only have been moved, and
// the user is asked before makeDatabase() puts an empty one there. A second start that races
// this one for the same file uses the one that was made first.
struct Preparation {
    bool made = false; // a new, empty database is in place: the user is told once
    bool gone = false; // the folder is there without its Vantrel.vt: ask before making one
    QString error;     // why no database could be made, for the user; empty when none was needed
};
Preparation prepareDatabase();
Preparation makeDatabase(); // an empty Vantrel.vt in dataDir() now
} // namespace AppPaths
