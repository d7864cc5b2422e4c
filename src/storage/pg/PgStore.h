#pragma once
#include "storage/Store.h"

#include <QHash>

#include <atomic>
#include <optional>
#include <vector>
#include <memory>
#include <mutex>

#include "PgSql.h"

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;
typedef struct pg_cancel PGcancel;

class PgStatement;

// The store on a PostgreSQL server: one libpq connection, opened from a connection string
// (key=value or a postgresql:// address; the password comes from libpq's password file or from
// the caller, never from the string kept on disk). Every value goes to the server as a bound
// parameter. A connection lost between commands is made again at the next command.
class PgStore : public storage::Store {
public:
    PgStore();
    ~PgStore() override;

    // Throws DataError in plain words: the server unreachable (with its host and why), the
    // password wrong or missing, the database missing, no rights to log in. password: only
    // when the server asks for one and the user typed it; kept in memory for a reconnection.
    void open(const QString& connection, int busyTimeoutMs = 5000, const QString& password = {});
    QString connectionString() const { return m_connection; }
    bool mayRead() const { return m_mayRead; } // the login may read the people at all
    QString login() const { return m_login; }  // as the server names the session's user

    QString displayName() const override;
    bool isOpen() const override { return m_conn != nullptr; }
    void close() override;
    bool readOnly() const override { return m_readOnly; }

    std::unique_ptr<storage::Statement> prepare(const QByteArray& sql) override;
    void giveBack(const QByteArray& sql, std::unique_ptr<storage::Statement> statement) override;
    qint64 changes() const override { return m_changes; }
    qint64 lastInsertId() const override { return m_lastInsertId; }

    // In one COPY, behind a savepoint: a failure takes back only these rows.
    void insertRows(const QString& table, const QStringList& quotedColumns, const storage::Rows& rows) override;
    bool prefersBatches() const override { return true; }
    qint64 nextKey(const QString& table, const QString& key) override;

    // The session's set-up told already whether it may write; the lock is another user's for the
    // moment of a save, no reason to refuse a start.
    void probeWriteLock() override {}
    void begin() override;
    void beginRead() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override;
    qint64 changeToken() override;
    qint64 knownChangeToken() const override;
    // Before open(): the session listens for other sessions' commits (othersWrote()).
    void listen() { m_listening = true; }
    int othersSignal() const override;
    bool othersWrote() override;

    QStringList schemaObjects() override;
    QStringList tables() override;
    QVector<storage::ColumnInfo> columns(const QString& table) override;
    int schemaVersion() override;
    void setSchemaVersion(int version) override;
    QByteArray triggerDefinition(const QString& name) override;

    storage::Flush flush(bool wait) override;
    void setBulkLoad(bool on) override;
    bool lostOwnFiles() override { return false; }
    bool reopenOnOwnFiles(bool) override { return false; }
    void interrupt() override;

    QString rowKey(const QString& table) override;
    QString inKeys(const QString& name, const QString& placeholder) const override;
    QVariant keyList(const QVector<qint64>& keys) const override;
    QString sameAs(const QString& left, const QString& right) const override;
    QString equalFoldingAZ(const QString& left, const QString& right) const override;
    QString foldedAZ(const QString& text) const override;
    QString beyondAscii(const QString& name) const override;
    QString insertSkippingDuplicates(const QString& table, const QString& rest) const override;

    // Runs statements of the server's own text (the schema's), without placeholders.
    void execScript(const QString& sql);
    // The session's process on the server, for tests that end it from another connection.
    int serverProcess() const;
    // Message exchanges with a server so far, of every store in the process (a pipelined batch
    // counts once): what a slow link costs, for the benchmarks.
    static qint64 roundTrips() { return s_roundTrips.load(std::memory_order_relaxed); }

private:
    friend class PgStatement;
    struct Plan {
        QByteArray name; // of the prepared statement on the server
        PgSql::Translated text;
        QString keyOfInsert; // the key an INSERT returns, quoted; empty otherwise
        bool write = false;  // INSERT, UPDATE or DELETE: a failure is taken back alone
        bool changesSchema = false; // CREATE, ALTER or DROP: the schema's description is read again
        qint64 generation = -1; // of the connection it was prepared on
        int round = 0;          // of the store's plans, all dropped when too many were kept
        // Its columns as the server described them, kept while the plan and the schema stay.
        std::shared_ptr<PGresult> description;
        qint64 describedAs = -1; // the schema's description round it was asked in
    };
    using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

    void connect();            // throws
    void ensureConnected();    // makes a lost connection again between transactions; throws
    void takeInEnd();          // throws when the server ended the session inside a transaction
    void setUpSession();       // throws
    Result run(const char* sql, const QVector<QByteArray>& values = {}, bool allowError = false);
    // The answer to the one command just sent (sent: what libpq's send call returned), waited
    // for without blocking for ever: a link silent for too long is cut and told as lost.
    Result answer(int sent);
    int silenceLimit() const; // milliseconds; a wait for a lock is silent too
    [[noreturn]] void stalled();
    void putCopyData(const QByteArray& data); // throws; the COPY is taken back on the server
    void insertFew(const QString& table, const QStringList& quotedColumns, const storage::Rows& rows);
    [[noreturn]] void fail(const PGresult* result);
    // One statement of a batch sent in one exchange (pointers stay the caller's until it returns).
    struct Queued {
        enum class Kind { Text, Prepare, Prepared } kind = Kind::Text;
        const char* sql = nullptr;  // Text, Prepare
        const char* name = nullptr; // Prepare, Prepared
        QVector<QByteArray> values; // Text
        bool nulls = false;         // Text: a null value goes as NULL, not as empty text
        int count = 0;              // Prepare, Prepared
        const unsigned int* types = nullptr;
        const char* const* params = nullptr;
        const int* lengths = nullptr;
        const int* formats = nullptr;
        static Queued text(const char* sql, QVector<QByteArray> values = {})
        {
            Queued q;
            q.sql = sql;
            q.values = std::move(values);
            return q;
        }
        static Queued prepare(const char* name, const char* sql, int count, const unsigned int* types)
        {
            Queued q;
            q.kind = Kind::Prepare;
            q.name = name, q.sql = sql, q.count = count, q.types = types;
            return q;
        }
        static Queued prepared(const char* name, int count, const char* const* params, const int* lengths,
                               const int* formats)
        {
            Queued q;
            q.kind = Kind::Prepared;
            q.name = name, q.count = count, q.params = params, q.lengths = lengths, q.formats = formats;
            return q;
        }
    };
    std::vector<Result> pipelined(const std::vector<Queued>& batch);
    Result guardedWrite(const Queued& statement); // inside a transaction; throws
    static bool succeeded(const Result& result);
    std::shared_ptr<Plan> plan(const QByteArray& sql);
    void prepareOnServer(Plan& plan);
    // Runs a prepared plan with the statement's values; inside a transaction a failed write is
    // taken back alone, as the file takes back only the statement that failed.
    Result execute(Plan& plan, const std::vector<QByteArray>& values, const std::vector<bool>& nulls,
                   const std::vector<int>& formats);
    std::shared_ptr<PGresult> describe(Plan& plan); // the statement's columns, before it runs
    bool prepareAndRun(Plan& plan, const char* const* params, const int* lengths, const int* formats, Result& out);
    Result ran(const Plan& plan, Result r); // what a run of the plan leaves behind
    QString identityKey(const QString& table); // quoted; empty when the table has none
    bool checkLostCommit();
    void noteVersion(qint64 version, int own);
    bool reconnectQuietly();
    struct TableInfo {
        QVector<storage::ColumnInfo> columns;
        QString identity; // quoted; empty when the table has none
    };
    bool describeSchema();
    const TableInfo* describedTable(const QString& name);
    void forgetSchema();

    static std::atomic<qint64> s_roundTrips;

    QString m_connection;
    bool m_mayRead = true;
    QString m_login;
    QByteArray m_password;
    int m_busyTimeout = 5000;
    PGconn* m_conn = nullptr;
    std::mutex m_cancelLock; // interrupt() comes from other threads
    PGcancel* m_cancel = nullptr;
    QHash<QByteArray, std::shared_ptr<Plan>> m_plans; // by the caller's text, for this connection
    QHash<QString, QString> m_keys;                   // table -> its identity key, quoted
    QHash<QString, TableInfo> m_tables;               // the schema's tables as described
    QStringList m_tableNames;                         // in the order the server gave them
    bool m_described = false;
    // Asked with the description, and taken by the first caller after it: start-up asks for all
    // three at once.
    std::optional<QStringList> m_objectsAhead;
    std::optional<int> m_versionAhead;
    qint64 m_schemaRound = 0; // moves whenever the schema's description is forgotten
    int m_nextPlan = 0;
    int m_planRound = 0;
    qint64 m_generation = 0; // connections made again: every reader reads anew
    qint64 m_changes = 0;
    qint64 m_lastInsertId = 0;
    // The transaction being committed, to ask after a lost answer: 0 when it wrote nothing, -1
    // when it may have written but its number is not known.
    qint64 m_commitXid = 0;
    struct Session {
        int process = 0;
        QByteArray start; // when the server started it, as the server writes it
    } m_session; // the server's side of the connection, told apart from any later one
    void resumed(const Session& previous); // after a connection was made again; throws
    bool m_resetting = false; // a connection being made again without waiting
    Session m_resetFrom;      // the session lost, while it is
    qint64 m_knownVersion = -1; // the commits counter as this session last saw it
    qint64 m_othersCommits = 0; // times it was seen moved by other sessions
    bool m_readOnly = false;
    bool m_broken = false; // the connection was lost: made again at the next command
    QByteArray m_endedBy;  // the code the server gave when it ended the session, if it did
    bool m_bulk = false;
    bool m_listening = false;
    bool m_unflushed = false; // commits of a bulk load that may not be on the server's disk yet
};
