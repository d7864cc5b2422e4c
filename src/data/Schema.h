#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

// The schema has one source: the base script (what the first delivered file held, version 1)
// and the numbered upgrade steps after it, resources/upgrades/NNN-name.sql. A new file is made
// by the base and every step, an older file is brought up by the steps it lacks, so the two
// cannot drift apart. The file's version is SQLite's user_version.
namespace Schema {
constexpr int kBaseVersion = 1;

struct Step {
    int version = 0; // the file's version once the step is done
    QString name;    // what the step is for, from its file name
    QString sql;
};

QString script();
// Every step after the base, in order of their numbers, each number once.
QVector<Step> steps();
int currentVersion(); // the version this program makes and expects
// A script's statements: one ends with a line ending in ';', a trigger's with "END;"; lines
// beginning with "--" are comments.
QStringList statements(const QString& sql);
// The base script's statements that a file made before them may lack: the indexes, and the
// change log of People with its triggers, in the script's order.
QStringList addedStatements();
// Creates the database at path, at the current version; refuses (and returns false) when a
// file is already there.
bool createDatabase(const QString& path, QString* error = nullptr);

// The group role whose members may read and write a server's data but not change its schema.
inline const QString kServerGroup = QStringLiteral("vantrel_users");
// Makes the schema on the empty server database the connection string names, or brings one made
// before up by the steps it lacks, in one transaction (whole or not at all), and the group
// role with its rights. Returns false, with why in error, when it cannot; done says what it did.
bool makeServerDatabase(const QString& connection, QString* done = nullptr, QString* error = nullptr,
                        const QString& group = kServerGroup);
}
