#pragma once
#include <mutex>
#include <thread>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class Connection;
class QTimer;
class SqliteCopy;

// The backups the program makes of its own file: once a day a copy in the folder "backups" beside
// the database, Vantrel-YYYY-MM-DD.vt, made with SQLite's online backup (so it is whole even while
// the program or another one writes), checked, and only then given its name; the last 7 daily and
// 4 weekly copies are kept. A restore keeps the file it replaces as a copy of its own,
// Vantrel-YYYY-MM-DD-HHMMSS-before-restore.vt, which the rotation never deletes.
namespace Backups {
constexpr int kDaily = 7;
constexpr int kWeekly = 4;

QString folder(const QString& databasePath);
QString dailyName(const QDate& day);
QString beforeRestoreName(const QDateTime& localTime);

struct Copy {
    QString path;
    QDate day;          // the day it was made (local)
    QDateTime made;     // the file's time; for a copy before a restore, the time in its name
    bool beforeRestore = false;
    qint64 size = 0;
    int people = -1;    // -1: the copy cannot be read
};
// Every copy in the folder, newest first; the people are counted when countPeople.
QVector<Copy> list(const QString& databasePath, bool countPeople = true);
// Of the days that have a daily copy, those the rotation keeps: the newest kDaily, and of the
// older ones the newest of each of the kWeekly latest weeks (weeks begin on Monday).
QList<QDate> kept(QList<QDate> days);
// Deletes the daily copies the rotation does not keep, and pieces of copies that never finished.
// Returns how many copies went.
int rotate(const QString& databasePath);

// Puts the copy at backupPath in place of the connection's database, in one transaction of the
// database itself, after a copy of the database as it is now is kept as keptAs; the copy being put
// in place is checked first. Throws DataError and then the database is as it was.
void restore(Connection& c, const QString& backupPath, const QString& keptAs);

// The clock the daily backup goes by; tests set a fake one. Empty: the real clock.
QDateTime now();
void setClock(std::function<QDateTime()> clock);
} // namespace Backups

// One copy of the database being made in steps on the event loop: each step copies for a few
// milliseconds, so the window never waits long. The copy is written to target + ".part" and moved
// to target only once it is whole and checked; a copy killed on the way leaves only the ".part",
// which no list shows and the next rotation deletes. Made in steps, the copy's check (seconds for
// a large file) runs in a thread of its own, on the copy alone.
class BackupJob : public QObject {
    Q_OBJECT
public:
    static constexpr int kStepMs = 12;
    BackupJob(Connection& source, QString target, QObject* parent = nullptr);
    ~BackupJob() override; // an unfinished copy is dropped
    void start();    // the steps run on the event loop; finished() comes at the end
    bool runToEnd(); // every step at once; false when it failed (error() says why)
    bool isRunning() const;
    bool isDone() const { return m_done; }
    QString error() const { return m_error; }
    QString target() const { return m_target; }
    int pagesTotal() const { return m_total; }
    int pagesLeft() const { return m_left; }

signals:
    void progress(int pagesLeft, int pagesTotal);
    void finished(bool ok, const QString& error);

private:
    bool begin();
    bool step(); // false: ended (successfully or not)
    void fail(const QString& why);
    void drop();
    bool complete();
    QString seal(); // checks, closes and names the whole copy; touches the copy alone; empty: done
    void sealed(const QString& why);

    Connection& m_source;
    QString m_target, m_part;
    std::unique_ptr<SqliteCopy> m_copy; // while a copy is being made or sealed
    QTimer* m_timer = nullptr;
    int m_total = 0, m_left = 0;
    bool m_done = false;
    bool m_busy = false; // the last step met another program's lock
    QString m_error;
    std::thread m_sealing;
};
