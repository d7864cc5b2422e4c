#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>

class Connection;
namespace storage {
class Store;
}

// The trash: a deleted person goes, with her follow-up activities and questionnaire answers, into
// tables of their own in the same file, from where she comes back with the same PersonID, or is
// deleted for ever; after 90 days a start-up drops her. Table People holds exactly the people on
// file, as it always has, so other programs reading it see nothing new.
//
// Each import that added people is recorded with a fingerprint of every person it added, so the
// import can be taken back (its people go to the trash together) while none of them has changed.
//
// Every function is one transaction: it throws DataError and then nothing has changed.
namespace Trash {
constexpr int kKeptDays = 90;

QString userName(); // the computer's user name, recorded with every deletion and import
QDateTime now();    // the clock the trash goes by (UTC)
// A time as the safety net's tables store it: UTC of fixed width, so the text sorts as the time.
QString stamp(const QDateTime& t);
QDateTime fromStamp(const QString& text);
void setClock(std::function<QDateTime()> clock); // for tests; empty: the real clock

// Moves the people with these PersonIDs (those still on file) to the trash; returns how many.
int movePeople(Connection& c, const QList<qint64>& personIds);
// Moves every person of the company (NULL: the people without one) to the trash.
int moveCompany(Connection& c, const QVariant& companyId);

struct Entry {
    enum class Kind { Person, Import, UndoneImport };
    Kind kind = Kind::Person;
    qint64 id = 0;        // TrashID of a person, ImportID of an import
    QString name;         // the person's name; the file's name for an import
    QString company;
    QDateTime when;       // deleted; imported; or when the import was taken back
    QString by;
    int count = 0;        // people of an import: added, or taken back
};
// Everything the window lists, newest first: the people in the trash on their own, and the
// imports, taken back or not.
QVector<Entry> entries(Connection& c);

struct Restored {
    QList<qint64> personIds; // as they are on file now
    int renumbered = 0;      // whose PersonID another person had taken meanwhile
};
Restored restore(Connection& c, const QList<qint64>& trashIds);
int purge(Connection& c, const QList<qint64>& trashIds); // deletes for ever; returns how many
int dropExpired(Connection& c); // those deleted more than kKeptDays ago; returns how many

struct Undo {
    int taken = 0;        // people moved to the trash
    QStringList changed;  // names of the people changed since the import (then nothing moved)
    bool alreadyUndone = false;
};
Undo undoImport(Connection& c, qint64 importId);
Restored restoreImport(Connection& c, qint64 importId); // brings back what its undo took
int purgeImport(Connection& c, qint64 importId);        // deletes what its undo took for ever

// What a batch that imports writes into each of its own transactions: the import, and the
// fingerprints of the people added in that transaction.
class ImportRecord {
public:
    // user: who imports, as every other record of who did what names them.
    ImportRecord(QString fileName, QString user) : m_fileName(std::move(fileName)), m_user(std::move(user)) {}
    // The people first..last were added in the open transaction, which is about to commit.
    // A failure means the transaction must not commit.
    void record(storage::Store& store, qint64 first, qint64 last, int count); // throws DataError
    void rolledBack(); // the open transaction was taken back
    void committed() { m_madeInOpen = false; }
    qint64 id() const { return m_id; }

private:
    QString m_fileName;
    QString m_user;
    qint64 m_id = 0;
    bool m_madeInOpen = false; // the import's row was written in the open transaction
};

} // namespace Trash
