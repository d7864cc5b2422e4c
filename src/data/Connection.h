#pragma once
#include "Column.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>
#include <limits>
#include <vector>

#include <memory>

#include "storage/Store.h"

class SqliteStore;

// The one connection to the database, over the store that owns the handle: the file Vantrel.vt,
// or a team database on a server. It opens an existing file only (a missing file is an error,
// never silently created), refuses one it cannot write, and keeps a write counter per table so
// that datasets can tell whether a re-read would show anything new.
//
// Every change goes through a write transaction that takes the write lock when it begins, so
// what is read inside it stays true until it commits; the outermost commit is followed by a
// checkpoint, so that Vantrel.vt alone holds every saved change (a copy of that one file is a
// complete backup).
class Connection {
public:
    explicit Connection(const QString& connectionName);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The file system's paths may be longer than the database engine opens.
    static constexpr int kLongestPath = 511;
    static QString tooLong(const QString& path); // the message for such a path

    void setDatabasePath(const QString& path) { m_path = path; }
    QString databasePath() const { return m_path; }
    // A team database on a server instead of the file: a libpq connection string, and the
    // password the user typed when the server asked for one (kept in memory only). Takes effect
    // at the next open(); an empty string goes back to the file.
    void setServer(const QString& connection, const QString& password = {});
    QString serverConnection() const { return m_server; }
    QString fileName() const; // as the user knows it, for messages
    void open();  // throws DataError naming the cause in plain words
    // Opens the team database a libpq connection string names (never holding a password), instead
    // of the file, with the password the user typed when the server asked for one. Throws
    // DataError in the server's terms.
    void openServer(const QString& connectionString, const QString& password = {});
    void close();
    bool isOpen() const;
    storage::Store& store() const; // throws DataError while closed
    // Another handle on the same database, for work done in another thread (one thread at a
    // time uses it); throws DataError as open() does.
    std::unique_ptr<storage::Store> openAnother() const;
    // The file's own store, for what only a file has (its copies, its check); null while closed
    // and on a server.
    SqliteStore* file() const { return isOpen() ? m_file : nullptr; }

    QVector<Column> tableColumns(const QString& table); // from the schema; throws DataError for a missing table
    void forgetColumns() { m_columns.clear(); }         // after the schema changed
    static QString quote(const QString& identifier);
    // Team mode keeps the people on a server, whose login names the user and whose administrator
    // keeps its backups.
    bool onServer() const { return !m_server.isEmpty(); }
    // Who is changing the data, for each person's record of who changed them last and for the
    // history: on a server the login the store connected with; on the file the computer's user.
    // Empty: the computer's user.
    QString userName() const;
    void setUserName(const QString& name) { m_userName = name; }

    // Runs one statement; errors are thrown as DataError in plain words.
    void exec(const QString& sql, const QVariantList& values = {});
    qint64 changes() const;      // rows changed by the last statement
    qint64 lastInsertId() const; // row identity of the last insert
    // The store's insert and conditional update, with values in the program's types: bound as
    // statements here bind them (dates and the rest as the columns store them). Names quoted.
    qint64 insert(const QString& table, const QStringList& columns, const QVariantList& values);
    storage::UpdateOutcome update(storage::RowUpdate change);

    // Before a write: when the journal files this connection has open were deleted from the disk,
    // it is opened again on the files on disk, and the user is told what, if anything, may be
    // missing. Throws DataError when the file cannot be opened again.
    void keepOwnJournal();
    void begin();    // the outermost one checks the journal first
    // The outermost one commits and checkpoints; a writer of many transactions in a row leaves
    // the checkpoint to the end (checkpoint()).
    enum class Checkpoint { Now, Later };
    void commit(Checkpoint when = Checkpoint::Now);
    void rollback(); // undoes the whole transaction, however deeply nested
    int transactionDepth() const { return m_depth; }
    // Called when the current transaction is rolled back, so snapshots that took over its
    // changes can be re-read.
    void onRollback(std::function<void()> handler) { m_rollbackHandlers.push_back(std::move(handler)); }

    class Transaction {
    public:
        explicit Transaction(Connection& connection) : m_connection(connection) { connection.begin(); }
        ~Transaction() { if (!m_done) m_connection.rollback(); }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();
        void rollback() { m_done = true; m_connection.rollback(); }

    private:
        Connection& m_connection;
        bool m_done = false;
    };

    quint64 tableVersion(const QString& table) const { return m_versions.value(table.toLower(), 0); }
    void noteWrite(const QString& table);
    qint64 externalVersion(); // changes whenever another connection committed
    // For work that reads many datasets in one go (opening them all, the lists after a save): the
    // count is asked once, at its first use. Each read then notes a count no later than what it
    // read, so a commit of others meanwhile is taken in at the next command, never missed.
    class VersionHold {
    public:
        explicit VersionHold(Connection& c) : m_c(c) { ++m_c.m_holds; }
        // Right after a commit of this command: the count its commit read serves, when the
        // database told it then.
        enum class AfterCommit { Yes };
        VersionHold(Connection& c, AfterCommit);
        ~VersionHold()
        {
            if (--m_c.m_holds == 0)
                m_c.m_held = kNotHeld;
        }
        VersionHold(const VersionHold&) = delete;
        VersionHold& operator=(const VersionHold&) = delete;

    private:
        Connection& m_c;
    };
    // On a server: from the next open() on, word of others' commits comes without asking (see
    // storage::Store::othersSignal()).
    void listenForOthers() { m_listen = true; }

    // How long a statement waits for another program's lock before it gives up. Tests shorten it.
    static void setDefaultBusyTimeout(int milliseconds);

    // Whether Vantrel.vt itself lags behind the journal beside it: the last checkpoint after a
    // commit could not copy every saved change into the file.
    bool fileBehindJournal() const { return m_behind; }
    // Copies what was committed into Vantrel.vt itself, as every commit through begin() and
    // commit() ends; a writer that committed with Checkpoint::Later calls it when it is done.
    // When the file cannot take it all, the user is told once (a warning, not an error: the
    // commits stand in the journal).
    void checkpoint();

private:
    void useFile();     // a store for the file, closed
    void openFile();    // the checks of the path, then the file's store
    void checkOpened(); // the tables the program needs, and the write lock once; closes on a failure

    QString m_path;
    QString m_userName;
    QHash<QString, QVector<Column>> m_columns;
    QHash<QString, quint64> m_versions;
    int m_depth = 0;
    bool m_behind = false;     // the last checkpoint left saved changes in the journal only
    bool m_toldBehind = false; // the user has been told so since the last complete checkpoint
    QSet<QString> m_transactionTables;
    std::vector<std::function<void()>> m_rollbackHandlers;
    QString m_server;          // the server's connection string; empty: the file
    QString m_serverPassword;
    bool m_listen = false;
    static constexpr qint64 kNotHeld = std::numeric_limits<qint64>::min();
    int m_holds = 0;
    qint64 m_held = kNotHeld;
    std::unique_ptr<storage::Store> m_store;
    SqliteStore* m_file = nullptr; // m_store, when it is the file's
};
