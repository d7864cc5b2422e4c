#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <vector>

class Connection;
namespace storage {
struct RowUpdate;
}

// The history of every saved change of a person: one row of PeopleHistory per column a save
// changed, with the stored value before and after it, when and by whom, written in the save's own
// transaction, so a save and its history are on file together or not at all.
namespace PersonHistory {

// Around the UPDATE of one row, inside the save's transaction: made just before it, it reads what
// the columns being written hold; written() after it records each column whose stored value it
// changed. Anything but table People, and a file without the history's table (one an older start
// could not prepare), records nothing and costs nothing.
class Save {
public:
    Save(Connection& c, const QString& table, const QString& keyColumn, const QVariant& identity,
         const QStringList& columns, bool overOthers);
    ~Save();
    Save(const Save&) = delete;
    Save& operator=(const Save&) = delete;
    // The update gives back the written columns, so that written() need not read them again.
    void readBack(storage::RowUpdate& update);
    void written(); // throws DataError; the save must then not commit

private:
    bool readRow(std::vector<QVariant>& into); // false: no such row
    Connection& m_c;
    QByteArray m_select;
    QVariant m_identity;
    QStringList m_columns;
    bool m_overOthers;
    bool m_active = false;
    qint64 m_personId = 0;
    std::vector<QVariant> m_before; // as stored: same type, same value
    QStringList m_quoted;           // PersonID, then the columns
    std::vector<QVariant> m_returned; // PersonID, then the columns, as the update gave them back
};

struct Entry {
    qint64 id = 0;
    QDateTime when; // UTC
    QString by;
    QString column;     // the column's name in People
    QVariant oldValue;  // as the person dataset holds values of that column
    QVariant newValue;
    bool overOthers = false; // saved over another user's change
};
// The person's changes, newest first. Throws DataError.
QVector<Entry> entries(Connection& c, qint64 personId);
bool available(Connection& c); // the file has the history's table

} // namespace PersonHistory
