#include "PgStore.h"

#include "PgFailure.h"
#include "PgStatement.h"
#include "PgWait.h"

#include <QRegularExpression>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Longer than any pause of the program inside a transaction of its own; a copy that hangs
// with the write lock is ended after it.
const char* const kIdleInTransactionLimit = "60s";

using PgSql::bareName;
using PgSql::quoted;

} // namespace


std::atomic<qint64> PgStore::s_roundTrips{0};

PgStore::PgStore() = default;
PgStore::~PgStore() { close(); }

QString PgStore::displayName() const
{
    if (!m_conn)
        return QStringLiteral("the team database");
    const QString db = QString::fromUtf8(PQdb(m_conn));
    QString host = QString::fromUtf8(PQhost(m_conn));
    if (host.startsWith('/'))
        host = "this computer";
    return QString("the team database %1 on %2").arg(db, host);
}

void PgStore::open(const QString& connection, int busyTimeoutMs, const QString& password)
{
    close();
    m_connection = connection;
    m_password = password.toUtf8();
    m_busyTimeout = busyTimeoutMs;
    connect();
}

void PgStore::connect()
{
    // Defaults first, so that the connection string overrides them; the encoding last, since
    // every text the program sends and reads is UTF-8. A link that dies without a word (a
    // router gone, a laptop's network changed) is found by the keep-alives while the program
    // waits, and by the limit on unanswered bytes while it sends; a connection is given up as
    // long as a silent exchange is.
    const QByteArray conninfo = m_connection.toUtf8();
    const int limit = PgWait::silenceLimit();
    const QByteArray seconds = QByteArray::number(std::max(2, (limit + 999) / 1000));
    const QByteArray unanswered = QByteArray::number(limit);
    std::vector<const char*> keys{"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                                  "keepalives_count", "tcp_user_timeout", "application_name", "dbname"};
    std::vector<const char*> values{seconds.constData(), "1", "5", "2", "3", unanswered.constData(), "Vantrel",
                                    conninfo.constData()};
    if (!m_password.isEmpty()) {
        keys.push_back("password");
        values.push_back(m_password.constData());
    }
    keys.push_back("client_encoding");
    values.push_back("UTF8");
    keys.push_back(nullptr);
    values.push_back(nullptr);
    ++s_roundTrips; // the start-up and the login, counted as one
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        QString where = "The database server";
        if (conn && PQhost(conn) && *PQhost(conn)) {
            const QString host = QString::fromUtf8(PQhost(conn));
            where = QString("The database server %1 (port %2)")
                        .arg(host.startsWith('/') ? QString("on this computer") : host, QString::fromUtf8(PQport(conn)));
        }
        DataError error = PgFailure::connecting(conn, where);
        PQfinish(conn);
        throw error;
    }
    // The server's notices ("already exists, skipping", the warning before a shutdown) are for a
    // person at a console; the program tells its user what matters in its own words. Only why the
    // server ended a session is kept: between commands libpq takes that for a notice.
    PQsetNoticeReceiver(
        conn,
        [](void* store, const PGresult* notice) {
            const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
            const char* state = PQresultErrorField(notice, PG_DIAG_SQLSTATE);
            if (severity && state && (qstrcmp(severity, "FATAL") == 0 || qstrcmp(severity, "PANIC") == 0))
                static_cast<PgStore*>(store)->m_endedBy = state;
        },
        this);
    m_conn = conn;
    m_broken = false;
    try {
        setUpSession();
    } catch (...) {
        close();
        throw;
    }
}

void PgStore::setUpSession()
{
    {
        std::lock_guard<std::mutex> hold(m_cancelLock);
        if (m_cancel)
            PQfreeCancel(m_cancel);
        m_cancel = PQgetCancel(m_conn);
    }
    // Every exchange waits on the socket itself, with a limit on its silence.
    if (PQsetnonblocking(m_conn, 1) != 0)
        fail(nullptr);
    m_endedBy.clear();
    m_plans.clear();
    forgetSchema(); // what another connection changed meanwhile
    // A wait for another user's lock ends after the same time as on the file. A transaction left
    // open by a program that hangs (or whose link stalled) is ended by the server, so that the
    // write lock it holds does not stop every other user for ever; unless the administrator
    // chose a limit of their own. What the login may do is asked in the same exchange. A login
    // outside the salespeople's group may not even read: told apart from one that may.
    std::vector<Queued> batch{
        Queued::text("SELECT set_config('lock_timeout', $1, false)", {QByteArray::number(m_busyTimeout) + "ms"}),
        Queued::text("SELECT set_config('idle_in_transaction_session_timeout', $1, false) "
                     "WHERE current_setting('idle_in_transaction_session_timeout') = '0'",
                     {QByteArray(kIdleInTransactionLimit)}),
        Queued::text("SELECT current_setting('transaction_read_only') = 'on' OR pg_is_in_recovery() "
                     "OR (to_regclass('\"People\"') IS NOT NULL AND NOT has_table_privilege('\"People\"', 'INSERT, UPDATE'))"),
        Queued::text("SELECT to_regclass('\"People\"') IS NULL OR has_table_privilege('\"People\"', 'SELECT')"),
        Queued::text("SELECT a.pid, a.backend_start, current_user FROM (SELECT 1) AS one "
                     "LEFT JOIN pg_stat_activity a ON a.pid = pg_backend_pid()"),
    };
    if (m_bulk)
        batch.push_back(Queued::text("SET synchronous_commit TO off"));
    static const QByteArray listen = "LISTEN " + QByteArray(PgSql::kChangeChannel);
    if (m_listening)
        batch.push_back(Queued::text(listen.constData()));
    const std::vector<Result> r = pipelined(batch);
    for (const Result& each : r)
        if (!succeeded(each))
            fail(each.get());
    m_readOnly = PQntuples(r[2].get()) == 1 && QByteArrayView(PQgetvalue(r[2].get(), 0, 0)) == "t";
    m_mayRead = PQntuples(r[3].get()) == 1 && QByteArrayView(PQgetvalue(r[3].get(), 0, 0)) == "t";
    m_session = {};
    if (PQntuples(r[4].get()) == 1) {
        if (!PQgetisnull(r[4].get(), 0, 0))
            m_session = {std::atoi(PQgetvalue(r[4].get(), 0, 0)), QByteArray(PQgetvalue(r[4].get(), 0, 1))};
        m_login = QString::fromUtf8(PQgetvalue(r[4].get(), 0, 2));
    }
}

void PgStore::close()
{
    if (!m_conn)
        return;
    {
        std::lock_guard<std::mutex> hold(m_cancelLock);
        if (m_cancel)
            PQfreeCancel(m_cancel);
        m_cancel = nullptr;
    }
    PQfinish(m_conn); // a transaction still open is taken back by the server
    m_conn = nullptr;
    m_plans.clear();
    forgetSchema();
    m_bulk = false;
}

// What the server said while nobody asked: a session it ended is known before anything is sent
// on it. Inside a transaction, lost with the session, that is told; between transactions the
// next command connects again.
void PgStore::takeInEnd()
{
    if (m_broken || PQstatus(m_conn) != CONNECTION_OK)
        return;
    const PGTransactionStatusType before = PQtransactionStatus(m_conn);
    if (!PgWait::ended(m_conn))
        return;
    m_broken = true;
    if (before == PQTRANS_INTRANS || before == PQTRANS_INERROR)
        throw PgFailure::ended(m_endedBy, displayName());
}

void PgStore::ensureConnected()
{
    if (!m_conn)
        throw DataError("The database connection is not open.");
    takeInEnd();
    if (PQstatus(m_conn) == CONNECTION_OK && !m_broken)
        return;
    const Session previous = m_resetting ? m_resetFrom : m_session;
    m_resetting = false;
    ++s_roundTrips;
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString host = QString::fromUtf8(PQhost(m_conn));
        DataError e = PgFailure::connecting(m_conn, QString("The database server %1 (port %2)")
                                                         .arg(host.startsWith('/') ? QString("on this computer") : host,
                                                              QString::fromUtf8(PQport(m_conn))));
        throw DataError(e.text(), e.cause(), FailureReason::ConnectionLost);
    }
    resumed(previous);
}

void PgStore::resumed(const Session& previous)
{
    m_broken = false;
    ++m_generation; // what others wrote meanwhile: every reader reads again
    setUpSession();
    // The session before may live on where its link stalled rather than closed, with a
    // transaction and the write lock (and a commit on its way that could yet arrive): it is
    // ended, and waited for a while, so that its locks are free and its commit's outcome final.
    // Only that session: its process number with its start, which another never has.
    if (previous.process != 0)
        run("SELECT pg_terminate_backend(pid, $3) FROM pg_stat_activity WHERE pid = $1 AND backend_start = "
            "CAST($2 AS timestamptz)",
            {QByteArray::number(previous.process), previous.start, QByteArray::number(PgWait::silenceLimit() / 2)},
            true);
}

PgStore::Result PgStore::run(const char* sql, const QVector<QByteArray>& values, bool allowError)
{
    std::vector<const char*> params;
    for (const QByteArray& v : values)
        params.push_back(v.constData());
    ++s_roundTrips;
    Result r = answer(PQsendQueryParams(m_conn, sql, int(params.size()), nullptr, params.data(), nullptr, nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (!allowError && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(r.get());
    return r;
}

PgStore::Result PgStore::answer(int sent)
{
    Result last(nullptr, PQclear);
    if (sent != 1)
        return last; // told as a lost connection
    // As PQexec: the last answer, or the first failure, after which the rest are not run.
    for (;;) {
        if (PgWait::awaitResult(m_conn, silenceLimit()) == PgWait::Outcome::Silent)
            stalled();
        PGresult* r = PQgetResult(m_conn);
        if (!r)
            return last;
        const ExecStatusType status = PQresultStatus(r);
        if (!last || PQresultStatus(last.get()) != PGRES_FATAL_ERROR)
            last.reset(r);
        else
            PQclear(r);
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH)
            return last;
    }
}

int PgStore::silenceLimit() const { return PgWait::silenceLimit() + std::max(0, m_busyTimeout); }

// The link is given up: the connection is made again at the next command, and what was on the
// way is as lost as with a dropped connection.
void PgStore::stalled()
{
    PgWait::cut(m_conn);
    m_broken = true;
    QString where = displayName();
    where[0] = where[0].toUpper();
    const int seconds = std::max(1, (silenceLimit() + 500) / 1000);
    throw DataError(QString("%1 stopped answering: nothing came from its server for %2, so Vantrel stopped waiting. "
                            "What you have not saved yet is still on screen: Vantrel connects again at the next "
                            "command.")
                        .arg(where, seconds == 1 ? QString("a second") : QString("%1 seconds").arg(seconds)),
                    FailureReason::ConnectionLost);
}

// The statements go out together and their answers come back together: one exchange with the
// server however many there are. A statement that fails leaves the rest of the batch unrun (their
// answers stay empty or tell so); what was in the batch before it stands.
std::vector<PgStore::Result> PgStore::pipelined(const std::vector<Queued>& batch)
{
    ++s_roundTrips;
    std::vector<Result> results;
    results.reserve(batch.size());
    for (size_t i = 0; i < batch.size(); ++i)
        results.emplace_back(nullptr, PQclear);
    if (PQenterPipelineMode(m_conn) != 1)
        return results;
    bool sent = true;
    for (const Queued& q : batch) {
        int ok = 0;
        if (q.kind == Queued::Kind::Prepare) {
            ok = PQsendPrepare(m_conn, q.name, q.sql, q.count, q.types);
        } else if (q.kind == Queued::Kind::Prepared) {
            ok = PQsendQueryPrepared(m_conn, q.name, q.count, q.params, q.lengths, q.formats, 0);
        } else {
            std::vector<const char*> params;
            for (const QByteArray& v : q.values)
                params.push_back(q.nulls && v.isNull() ? nullptr : v.constData());
            ok = PQsendQueryParams(m_conn, q.sql, int(params.size()), nullptr, params.data(), nullptr, nullptr, 0);
        }
        if (ok != 1) {
            sent = false;
            break;
        }
    }
    if (sent && PQpipelineSync(m_conn) == 1) {
        // Each statement's answer ends with a null; the batch's end is told by its own answer.
        size_t index = 0;
        bool answered = false;
        for (int nulls = 0; nulls < 2;) {
            if (PgWait::awaitResult(m_conn, silenceLimit()) == PgWait::Outcome::Silent)
                stalled();
            PGresult* r = PQgetResult(m_conn);
            if (!r) {
                if (PQstatus(m_conn) != CONNECTION_OK)
                    break;
                ++nulls;
                if (answered) {
                    ++index;
                    answered = false;
                    nulls = 0;
                }
                continue;
            }
            nulls = 0;
            if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                PQclear(r);
                break;
            }
            if (!answered && index < results.size()) {
                results[index].reset(r);
                answered = true;
            } else {
                PQclear(r);
            }
        }
    }
    // Fails only on a connection that is gone; the next command makes it again.
    if (PQexitPipelineMode(m_conn) != 1)
        m_broken = true;
    return results;
}

bool PgStore::succeeded(const Result& r)
{
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

void PgStore::fail(const PGresult* result)
{
    DataError e = PgFailure::statement(result, m_conn, displayName());
    // The server may end a session with an answer of its own before libpq sees the socket close,
    // or have said why between commands.
    if (e.reason() == FailureReason::ConnectionLost) {
        m_broken = true;
        if (!m_endedBy.isEmpty())
            throw PgFailure::ended(m_endedBy, displayName());
    }
    throw e;
}

void PgStore::execScript(const QString& sql)
{
    ensureConnected();
    forgetSchema();
    if (m_commitXid == 0)
        m_commitXid = -1; // it may write: a lost commit's outcome is not known by its number
    ++s_roundTrips;
    Result r = answer(PQsendQuery(m_conn, sql.toUtf8().constData()));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(r.get());
}

int PgStore::serverProcess() const { return m_conn ? PQbackendPID(m_conn) : 0; }

std::shared_ptr<PgStore::Plan> PgStore::plan(const QByteArray& sql)
{
    if (auto it = m_plans.constFind(sql); it != m_plans.constEnd())
        return *it;
    auto p = std::make_shared<Plan>();
    p->text = PgSql::translate(sql);
    static const QRegularExpression write(R"re(^\s*(INSERT|UPDATE|DELETE|WITH)\b)re", QRegularExpression::CaseInsensitiveOption);
    p->write = write.match(QString::fromUtf8(sql.left(64))).hasMatch();
    static const QRegularExpression ddl(R"re(^\s*(CREATE|ALTER|DROP)\b)re", QRegularExpression::CaseInsensitiveOption);
    p->changesSchema = ddl.match(QString::fromUtf8(sql.left(64))).hasMatch();
    const QString target = PgSql::insertTarget(sql);
    if (!target.isEmpty() && !sql.contains("RETURNING") && !sql.contains("returning")) {
        // The file tells the key of the row an insert added; the server tells it when asked.
        p->keyOfInsert = identityKey(target);
        if (!p->keyOfInsert.isEmpty()) {
            QByteArray& text = p->text.sql;
            while (!text.isEmpty() && (text.back() == ';' || std::isspace(static_cast<unsigned char>(text.back()))))
                text.chop(1);
            text += " RETURNING " + p->keyOfInsert.toUtf8();
        }
    }
    if (m_plans.size() >= 512) {
        run("DEALLOCATE ALL", {}, true);
        m_plans.clear();
        ++m_planRound;
    }
    m_plans.insert(sql, p);
    return p;
}

void PgStore::prepareOnServer(Plan& p)
{
    const int n = p.text.parameterCount;
    // Values go as text of no named type, and the server takes each as what its place in the
    // statement needs. Where nothing tells it ("SELECT ?", "? IS NULL"), the value is text.
    std::vector<Oid> types(n, 0);
    const bool guard = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    static const QRegularExpression unknown(R"re(parameter \$(\d+))re");
    for (int attempt = 0; attempt <= n + 1; ++attempt) {
        p.name = "vt" + QByteArray::number(++m_nextPlan);
        p.description.reset();
        Result r(nullptr, PQclear);
        if (guard) {
            // The savepoint, the statement and the release in one exchange.
            std::vector<Result> answers = pipelined({Queued::text(PgSql::kSavepoint),
                                                     Queued::prepare(p.name.constData(), p.text.sql.constData(), n, types.data()),
                                                     Queued::text(PgSql::kRelease)});
            if (!succeeded(answers[0]))
                fail(answers[0].get());
            r = std::move(answers[1]);
            if (succeeded(r) && !succeeded(answers[2]))
                fail(answers[2].get());
        } else {
            ++s_roundTrips;
            r = answer(PQsendPrepare(m_conn, p.name.constData(), p.text.sql.constData(), n, types.data()));
        }
        if (r && PQresultStatus(r.get()) == PGRES_COMMAND_OK) {
            p.generation = m_generation;
            p.round = m_planRound;
            return;
        }
        if (guard && PQstatus(m_conn) == CONNECTION_OK)
            run(PgSql::kUndoStatement, {}, true);
        const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
        const auto m = unknown.match(QString::fromUtf8(r ? PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY) : ""));
        const int which = m.hasMatch() ? m.captured(1).toInt() : 0;
        const QByteArrayView code = state ? QByteArrayView(state) : QByteArrayView();
        if (code == "42P18" && which >= 1 && which <= n && types[which - 1] != PgStatement::kText) {
            types[which - 1] = PgStatement::kText;
            continue;
        }
        // "? || ?" and the like: no operator or function is told apart by values of no type.
        const bool untyped = std::find(types.begin(), types.end(), Oid(0)) != types.end();
        if ((code == "42725" || code == "42883") && untyped) {
            std::replace(types.begin(), types.end(), Oid(0), PgStatement::kText);
            continue;
        }
        fail(r.get());
    }
    throw DataError("The database reported an error: the statement's values could not be given types.");
}

std::shared_ptr<PGresult> PgStore::describe(Plan& p)
{
    ensureConnected();
    if (p.name.isEmpty() || p.generation != m_generation || p.round != m_planRound)
        prepareOnServer(p);
    // A list read again asks the same of the same plan: the server's answer stands until the
    // plan is made again or the schema changes.
    if (p.description && p.describedAs == m_schemaRound)
        return p.description;
    ++s_roundTrips;
    Result r = answer(PQsendDescribePrepared(m_conn, p.name.constData()));
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK)
        fail(r.get());
    p.description = std::shared_ptr<PGresult>(r.release(), PQclear);
    p.describedAs = m_schemaRound;
    return p.description;
}

PgStore::Result PgStore::execute(Plan& p, const std::vector<QByteArray>& values, const std::vector<bool>& nulls,
                                 const std::vector<int>& formats)
{
    ensureConnected();
    const int n = int(values.size());
    std::vector<const char*> params(n);
    std::vector<int> lengths(n);
    for (int i = 0; i < n; ++i) {
        params[i] = nulls[i] ? nullptr : values[i].constData();
        lengths[i] = int(values[i].size());
    }
    const bool guard = p.write && PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    if (guard && m_commitXid == 0)
        m_commitXid = -1; // a write in a transaction begun for reading
    Result r(nullptr, PQclear);
    if (p.name.isEmpty() || p.generation != m_generation || p.round != m_planRound) {
        if (prepareAndRun(p, params.data(), lengths.data(), formats.data(), r))
            return ran(p, std::move(r));
        prepareOnServer(p);
    }
    if (guard)
        return ran(p, guardedWrite(Queued::prepared(p.name.constData(), n, params.data(), lengths.data(), formats.data())));
    ++s_roundTrips;
    r = answer(PQsendQueryPrepared(m_conn, p.name.constData(), n, params.data(), lengths.data(), formats.data(), 0));
    if (!succeeded(r))
        fail(r.get());
    return ran(p, std::move(r));
}

// The savepoint, the statement and the release in one exchange: a failure takes back only the
// statement, and the transaction goes on.
PgStore::Result PgStore::guardedWrite(const Queued& statement)
{
    std::vector<Result> answers = pipelined({Queued::text(PgSql::kSavepoint), statement, Queued::text(PgSql::kRelease)});
    if (!succeeded(answers[0]))
        fail(answers[0].get());
    if (!succeeded(answers[1])) {
        if (PQstatus(m_conn) == CONNECTION_OK)
            run(PgSql::kUndoStatement, {}, true);
        fail(answers[1].get());
    }
    if (!succeeded(answers[2]))
        fail(answers[2].get());
    return std::move(answers[1]);
}

PgStore::Result PgStore::ran(const Plan& p, Result r)
{
    if (p.changesSchema)
        forgetSchema();
    if (p.write)
        m_changes = std::atoll(PQcmdTuples(r.get()));
    return r;
}

// A statement's first run makes its plan in the same exchange (inside a transaction behind a
// savepoint, so a failure takes back only the statement). False: the server could not make the
// plan with values of no named type, and it is made the long way (prepareOnServer).
bool PgStore::prepareAndRun(Plan& p, const char* const* params, const int* lengths, const int* formats, Result& out)
{
    const int n = p.text.parameterCount;
    const bool inTransaction = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    p.name = "vt" + QByteArray::number(++m_nextPlan);
    p.description.reset();
    const std::vector<Oid> types(n, 0);
    std::vector<Queued> batch;
    if (inTransaction)
        batch.push_back(Queued::text(PgSql::kSavepoint));
    batch.push_back(Queued::prepare(p.name.constData(), p.text.sql.constData(), n, types.data()));
    batch.push_back(Queued::prepared(p.name.constData(), n, params, lengths, formats));
    if (inTransaction)
        batch.push_back(Queued::text(PgSql::kRelease));
    std::vector<Result> answers = pipelined(batch);
    const size_t made = inTransaction ? 1 : 0;
    if (inTransaction && !succeeded(answers[0]))
        fail(answers[0].get());
    auto undo = [&] {
        if (inTransaction && PQstatus(m_conn) == CONNECTION_OK)
            run(PgSql::kUndoStatement, {}, true);
    };
    if (!succeeded(answers[made])) {
        undo();
        if (PQstatus(m_conn) != CONNECTION_OK)
            fail(answers[made].get());
        return false;
    }
    p.generation = m_generation;
    p.round = m_planRound;
    if (!succeeded(answers[made + 1])) {
        undo();
        fail(answers[made + 1].get());
    }
    if (inTransaction && !succeeded(answers[made + 2]))
        fail(answers[made + 2].get());
    out = std::move(answers[made + 1]);
    return true;
}

std::unique_ptr<storage::Statement> PgStore::prepare(const QByteArray& sql)
{
    ensureConnected();
    if (sql.trimmed().isEmpty())
        throw DataError(QString("The database reported an error: an empty statement."));
    // Made on the server with its first run, in the same exchange: a mistake in the text shows
    // when the statement runs.
    return std::make_unique<PgStatement>(*this, plan(sql));
}

// The plan stays with the store; the statement's rows and values go with the object.
void PgStore::giveBack(const QByteArray&, std::unique_ptr<storage::Statement>) {}

// The file's BEGIN IMMEDIATE takes its single write lock at once. The server has no such lock
// of its own, so every write transaction takes one advisory lock that stands for it: writers of
// the team database follow one another, as the file's writers do, what a transaction reads stays
// true until it commits without the conflicts of a stricter isolation, and the change log, which
// takes the same lock, is numbered in the order of the commits. A wait longer than the lock
// timeout fails as Busy, as on the file. The transaction's number is taken with the lock: if
// the answer to its commit is lost, with the link or in a stall, it is what the server is asked
// about (a standby gives none, and takes no writes either).
void PgStore::begin()
{
    ensureConnected();
    m_commitXid = -1;
    std::vector<Result> r = pipelined({Queued::text("BEGIN"),
                                       Queued::text("SELECT pg_advisory_xact_lock($1), CASE WHEN pg_is_in_recovery() "
                                                    "THEN NULL ELSE txid_current() END",
                                                    {QByteArray::number(PgSql::kWriteLock)})});
    if (!succeeded(r[0]))
        fail(r[0].get());
    if (!succeeded(r[1])) {
        const DataError e = PgFailure::statement(r[1].get(), m_conn, displayName());
        if (e.reason() == FailureReason::ConnectionLost)
            m_broken = true;
        else
            run("ROLLBACK", {}, true);
        throw e;
    }
    m_commitXid = PQgetisnull(r[1].get(), 0, 1) ? 0 : std::atoll(PQgetvalue(r[1].get(), 0, 1));
}

// A snapshot taken at once: the first statement of a repeatable-read transaction takes it.
void PgStore::beginRead()
{
    ensureConnected();
    m_commitXid = 0; // nothing written so far
    const std::vector<Result> r = pipelined({Queued::text("BEGIN ISOLATION LEVEL REPEATABLE READ"), Queued::text("SELECT 1")});
    for (const Result& each : r)
        if (!succeeded(each))
            fail(each.get());
}

void PgStore::commit()
{
    if (!m_conn)
        throw DataError("The database connection is not open.");
    takeInEnd(); // the transaction is certainly not in when the server ended its session
    const PGTransactionStatusType state = PQtransactionStatus(m_conn);
    if (state == PQTRANS_INERROR) {
        m_commitXid = 0;
        run("ROLLBACK", {}, true);
        throw DataError("The changes were undone, because a part of them could not be saved.");
    }
    if (m_broken || state == PQTRANS_UNKNOWN || PQstatus(m_conn) != CONNECTION_OK)
        fail(nullptr);
    // The transaction's number comes in the same exchange as the commit's answer, before it: it
    // is known when the answer to the commit itself is lost (a write transaction knows it since
    // it began). So does the commits counter as this transaction leaves it (under the write lock,
    // so no other commit comes between), with whether this transaction moved it: this session's
    // own commits are no one else's.
    const bool counted = m_described && m_tables.contains(QStringLiteral("DataVersion"));
    std::vector<Result> answers;
    try {
        answers = pipelined(
            {Queued::text(counted ? "SELECT txid_current_if_assigned(), (SELECT \"Version\" FROM \"DataVersion\"), "
                                    "current_setting('vantrel.noted', true) = txid_current_if_assigned()::text"
                                  : "SELECT txid_current_if_assigned()"),
             Queued::text("COMMIT")});
    } catch (const DataError& e) {
        if (e.reason() != FailureReason::ConnectionLost)
            throw;
    }
    if (!answers.empty() && succeeded(answers[0])) {
        const Result& id = answers[0];
        m_commitXid = PQgetisnull(id.get(), 0, 0) ? 0 : std::atoll(PQgetvalue(id.get(), 0, 0));
    }
    const Result* r = answers.empty() ? nullptr : &answers[1];
    const ExecStatusType status = r && *r ? PQresultStatus(r->get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK) {
        m_commitXid = 0;
        if (QByteArrayView(PQcmdStatus(r->get())) != "COMMIT")
            throw DataError("The changes were undone, because a part of them could not be saved.");
        if (m_bulk)
            m_unflushed = true;
        if (const Result& id = answers[0]; counted && succeeded(id) && !PQgetisnull(id.get(), 0, 1)) {
            const qint64 version = std::atoll(PQgetvalue(id.get(), 0, 1));
            const bool own = !PQgetisnull(id.get(), 0, 2) && QByteArrayView(PQgetvalue(id.get(), 0, 2)) == "t";
            noteVersion(version, own ? 1 : 0);
        }
        return;
    }
    if (r && PQstatus(m_conn) == CONNECTION_OK && !m_broken) {
        const Result& told = succeeded(answers[0]) ? *r : answers[0];
        if (PgFailure::statement(told.get(), m_conn, {}).reason() != FailureReason::ConnectionLost) {
            m_commitXid = 0;
            fail(told.get()); // the server refused the commit and undid it
        }
    }
    m_broken = true;
    // The answer to the commit was lost with the connection: the server is asked, once it is
    // back, whether the transaction is in, and only then is it told as saved.
    if (!checkLostCommit())
        throw DataError(QString("The connection to %1 was lost while your changes were being saved, and they were "
                                "not saved. They are still on screen: save them again.")
                            .arg(displayName()),
                        FailureReason::ConnectionLost);
}

bool PgStore::checkLostCommit()
{
    const qint64 xid = std::exchange(m_commitXid, 0);
    if (xid == 0)
        return true; // nothing was written
    const DataError unknown(QString("The connection to %1 was lost while your changes were being saved, and it cannot "
                                    "be told whether they were saved. They are still on screen: when the server is "
                                    "back, check the person and save again if needed.")
                                .arg(displayName()),
                            FailureReason::ConnectionLost);
    if (xid < 0)
        throw unknown;
    try {
        ensureConnected(); // which ends the committing session if it lives on
        Result r = run("SELECT txid_status($1)", {QByteArray::number(xid)});
        const QByteArrayView status(PQgetvalue(r.get(), 0, 0));
        if (status == "in progress")
            throw unknown;
        return status == "committed";
    } catch (const DataError&) {
        throw unknown;
    }
}

void PgStore::rollback()
{
    m_commitXid = 0;
    if (m_conn && !m_broken && PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        run("ROLLBACK", {}, true);
}

bool PgStore::inTransaction() const
{
    if (!m_conn || m_broken || PQstatus(m_conn) != CONNECTION_OK)
        return false;
    const PGTransactionStatusType state = PQtransactionStatus(m_conn);
    return state == PQTRANS_INTRANS || state == PQTRANS_INERROR || state == PQTRANS_ACTIVE;
}

// Every commit is on the server's disk when it returns, except in a bulk load: one commit that
// waits for the disk then covers every commit before it.
storage::Flush PgStore::flush(bool)
{
    if (!m_conn || !m_unflushed)
        return {};
    try {
        ensureConnected();
        run("BEGIN");
        run("SET LOCAL synchronous_commit TO on");
        run("SELECT txid_current()");
        run("COMMIT");
        m_unflushed = false;
        return {};
    } catch (const DataError& e) {
        rollback();
        return {false, e.reason()};
    }
}

void PgStore::setBulkLoad(bool on)
{
    if (!m_conn || on == m_bulk || PQstatus(m_conn) != CONNECTION_OK)
        return;
    // Commits do not wait for the server's disk; the flush that ends the load does.
    run(on ? "SET synchronous_commit TO off" : "RESET synchronous_commit", {}, true);
    m_bulk = on;
}

void PgStore::interrupt()
{
    std::lock_guard<std::mutex> hold(m_cancelLock);
    if (m_cancel) {
        char error[256];
        PQcancel(m_cancel, error, sizeof error);
    }
}
