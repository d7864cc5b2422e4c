#pragma once
#include "storage/DataError.h"

#include <QString>
#include <QStringList>

#include <mutex>

class SqliteStore;
struct sqlite3;
struct sqlite3_backup;

// A copy of an open database into a new file with SQLite's online backup, made in steps so that
// the caller decides how long each may take: the copy is whole even while this program or
// another one writes. The new file is written without a journal (it is thrown away on failure)
// and gets one of its own only when it is sealed.
class SqliteCopy {
public:
    enum class Step { More, Busy, Done };

    SqliteCopy() = default;
    ~SqliteCopy(); // drops what is unfinished; the file is the caller's to remove
    SqliteCopy(const SqliteCopy&) = delete;
    SqliteCopy& operator=(const SqliteCopy&) = delete;

    // Throws DataError naming the copy by name.
    void begin(SqliteStore& source, const QString& path, const QString& name);
    bool copying() const { return m_backup != nullptr; }
    Step step(int milliseconds); // throws DataError
    int pagesTotal() const { return m_total; }
    int pagesLeft() const { return m_left; }
    void endCopy(); // the source is no longer read
    // Gives the copy a journal of its own, checks it and closes it; touches the copy alone, so it
    // may run in another thread. Returns why it failed; empty: done.
    QString seal();
    void interrupt(); // stops a seal being made, from any thread

    // What SQLite's quick check found in the file at path, one finding a line: "ok" when sound.
    // Empty when the file cannot be opened.
    static QString checkFile(const QString& path);
    // The number of people in the file at path; -1 when it is not one this program can read.
    static int countPeople(const QString& path);
    // Puts the file at path in place of the store's database, in one transaction of the
    // database itself. Throws DataError and then the database is as it was.
    static void copyInto(SqliteStore& target, const QString& path);

private:
    sqlite3* m_dest = nullptr;
    sqlite3_backup* m_backup = nullptr;
    QString m_name;
    int m_total = 0, m_left = 0;
    std::mutex m_destLock; // the copy's handle is interrupted only while it is open
};
