#pragma once
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

class Connection;

// Merging a group of duplicates into one person, each merge in one transaction, and undoing it
// later, in this run of the program or another, as long as the kept person was not changed since.
namespace DuplicateMerge {

// Takes people out of table People: the one place that does, so that a later rule for removed
// people (keeping them, logging them) applies to every removal at once. Runs inside the caller's
// transaction. Throws DataError.
void removePeople(Connection& connection, const QVector<qint64>& people);

// Gives kept the values (People column -> value; the others keep theirs), moves every follow-up
// activity and buying role of the others to kept, keeps the questionnaire answers of whoever of
// the group answered most questions (kept on a tie), and removes the others. Returns the merge's
// number for undo(). Throws DataError, and then the file is as it was.
qint64 merge(Connection& connection, qint64 kept, const QVector<qint64>& others, const QHash<QString, QVariant>& values);

struct Record {
    qint64 id = 0;
    QDateTime at;
    qint64 kept = 0;
    QString names; // of everyone merged, the kept person first
};
// The merges not undone yet, latest first. Throws DataError.
QVector<Record> merges(Connection& connection);

enum class Undo { Done, KeptChanged, KeptGone, NumberTaken, AlreadyUndone };
// Brings back every person of the merge as they were, their activities, roles and answers
// included; changes nothing unless the result is Done. Throws DataError.
Undo undo(Connection& connection, qint64 mergeId);
QString undoRefusal(Undo result); // what to tell the user for a result other than Done

// A person of a group as the comparison shows them.
struct Stored {
    qint64 id = 0;
    QHash<QString, QVariant> values; // every People column by name, as stored
    qint64 recency = 0;              // higher: later in the log of changes, or added later
    QString changedAt;               // the last saved change or import known, UTC text; empty: none
    bool byImport = false;           // changedAt is when an import added them, with no save since
};
// Whether a was changed more recently than b: by the times this program recorded where both have
// one; a person without one was added after an import of the other when their number is higher;
// otherwise by the log of changes and the numbers.
bool changedLater(const Stored& a, const Stored& b);
// The people with these numbers, in that order, leaving out any no longer on file. Throws DataError.
QVector<Stored> read(Connection& connection, const QVector<qint64>& people);

// Remembers that these people are not duplicates of one another: no pair of them is shown again.
void markNotDuplicates(Connection& connection, const QVector<qint64>& people);

// For tests: called between the steps of a merge, inside its transaction.
void setStepHook(std::function<void(const char* step)> hook);

} // namespace DuplicateMerge
