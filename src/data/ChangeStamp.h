#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

class Connection;

// Each person carries who changed them last and when (People.ChangedBy and ChangedAt), written
// with every save of the person, so that the question about another user's change can name that
// user. A file whose upgrade could not add the columns is written as before.
namespace ChangeStamp {

struct Stamp {
    QString by;
    QString at; // as stored: UTC, as the history writes its times
    bool known() const { return !by.isEmpty() && !at.isEmpty(); }
    bool operator==(const Stamp&) const = default;
    QDateTime when() const; // invalid when unknown
};

// Whether writes to this table carry the stamp: People, on a file that has the columns.
bool kept(Connection& c, const QString& table);
// Who is writing, and now. On the file the computer's user and this computer's clock; on a
// server the store's login (Connection::userName), and the time the server store gives.
Stamp current(Connection& c);
// Adds the stamp's columns (quoted) and the current values to a write of table, when it keeps them.
void add(Connection& c, const QString& table, QStringList& quotedColumns, QVariantList& values);
// What the row holds now; unknown when the table keeps no stamp or the row is gone. Throws DataError.
Stamp stored(Connection& c, const QString& table, const QString& keyColumn, const QVariant& identity);

// "by USER at TIME" is said only of a change the stamp tells for sure: one that wrote the stamp
// after editing began (a program that leaves the stamp alone changes the row without it), by
// somebody else than the user who is asked.
Stamp otherWriter(Connection& c, const Stamp& atEditStart, const Stamp& now);

} // namespace ChangeStamp
