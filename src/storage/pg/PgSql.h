#pragma once
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// The SQL text the server is given: the callers' placeholders in the server's own numbering, and
// the file's schema script in the server's words.
namespace PgSql {

QString quoted(const QString& name);   // as a name in a statement
QByteArray bareName(const QString& table); // a table's name, without the quotes it may come in

// A statement with its placeholders ("?", "?N", ":NAME") numbered "$n" the way the file numbers
// them: a bare "?" takes one more than the highest number so far, a name keeps the number it got
// first. Quoted text, quoted names and comments are left as they are.
struct Translated {
    QByteArray sql;
    int parameterCount = 0;
    QHash<QByteArray, int> names; // ":NAME" -> its number
};
Translated translate(const QByteArray& sql);

// The table an INSERT writes to, unquoted; empty for any other statement.
QString insertTarget(const QByteArray& sql);

// Around a write inside a transaction: a failure takes back only that write.
inline constexpr const char* kSavepoint = "SAVEPOINT vantrel_statement";
inline constexpr const char* kRelease = "RELEASE SAVEPOINT vantrel_statement";
inline constexpr const char* kUndoStatement = "ROLLBACK TO SAVEPOINT vantrel_statement";

// The key column added on the server to a table whose file schema names no key of its own (the
// file reads such rows by their hidden rowid; the server has none). Hidden from the description
// of the table's columns, as the file's rowid is.
inline constexpr const char* kAddedKey = "rowid";

// A to Z alone without their case, as the file's NOCASE, in the order of the characters'
// numbers whatever the server's locale (lower() would fold every letter the locale knows). The
// indexes of the columns the file declares NOCASE are on this expression of them.
QString foldedAZ(const QString& text);
inline constexpr const char* kFoldFrom = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr const char* kFoldTo = "abcdefghijklmnopqrstuvwxyz";
// The mark on a column's comment (after the file's declared type) that the file compares the
// column's text by NOCASE.
inline constexpr const char* kNoCaseMark = " COLLATE NOCASE";

// The advisory lock that stands for the file's single write lock: a write transaction takes it
// when it begins, and every write to a table takes it at the latest, so that the writes of two
// programs follow one another, and the change log is numbered in the order of the commits.
inline constexpr qint64 kWriteLock = 0x5654524C; // "VTRL"
inline constexpr const char* kChangeChannel = "vantrel_changes";

// A constraint name as the server keeps it: at most 63 bytes. The width checks' names
// ("<Table>.<Column> is longer than <n> characters") are shortened to "<Table>.<Column> longer
// than <n>"; any other too long name keeps its start and gets a mark of the whole.
QString constraintName(const QString& name);

// The statements that make on the server what one statement of the file's schema script makes.
// The change-log triggers of the file come out empty: changeLog() makes the server's own.
QStringList schemaStatements(const QString& sqliteStatement);
// The change log of People on the server, and the counter of commits every table's writes move
// (the store's change token), with the notice sent on commit. Made after the tables.
QStringList changeLog();
// Brings every table's version trigger and key numbering up to date: run after the base script
// and after every upgrade. group: the role whose members read and write the data.
QStringList finish(const QString& group);
}
