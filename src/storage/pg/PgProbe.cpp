#include "PgProbe.h"

#include "PgWait.h"

#include <QByteArray>
#include <QStringList>

#include <libpq-fe.h>

#include <memory>

namespace PgProbe {
namespace {
struct Closer {
    void operator()(PGconn* c) const { PQfinish(c); }
};
struct Clearer {
    void operator()(PGresult* r) const { PQclear(r); }
};

QString text(const char* s) { return s ? QString::fromUtf8(s) : QString(); }

bool ends(const QString& sentence) { return sentence.endsWith('.') || sentence.endsWith('?') || sentence.endsWith('!'); }

// libpq's message without its framing: the reason after "... failed: ", on one line, and never
// the password (no message of libpq's holds it; one of a server might, quoting what was sent).
QString reason(PGconn* c, const QString& password)
{
    QString m = text(PQerrorMessage(c)).trimmed();
    if (const qsizetype failed = m.indexOf(" failed: "); failed >= 0 && m.startsWith("connection to server"))
        m = m.mid(failed + 9);
    m.replace("FATAL:  ", "").replace("ERROR:  ", "").replace("DETAIL:  ", "");
    // Its lines as sentences: the reason, then libpq's hint.
    QString joined;
    for (const QString& l : m.split('\n')) {
        const QString line = l.trimmed();
        if (line.isEmpty())
            continue;
        if (!joined.isEmpty())
            joined += QString(ends(joined) ? " " : ". ");
        joined += line;
    }
    if (!password.isEmpty())
        joined.replace(password, "(the password)");
    if (!joined.isEmpty() && !ends(joined))
        joined += '.';
    return joined;
}

QString where(PGconn* c)
{
    const QString host = text(PQhost(c));
    const QString port = text(PQport(c));
    QString h = host.isEmpty() ? QString("this computer") : host;
    if (host.startsWith('/'))
        h = QString("the socket folder %1").arg(host);
    return port.isEmpty() ? h : QString("%1, port %2").arg(h, port);
}

// One value from a one-row query with bound parameters; empty on any failure. A server that
// stops answering is not waited for longer than the store would: *silent tells it.
QString scalar(PGconn* c, const char* sql, const QByteArray& parameter, bool* silent)
{
    if (*silent)
        return {};
    const char* values[1] = {parameter.constData()};
    if (PQsetnonblocking(c, 1) != 0
        || PQsendQueryParams(c, sql, parameter.isNull() ? 0 : 1, nullptr, parameter.isNull() ? nullptr : values, nullptr,
                             nullptr, 0)
               != 1)
        return {};
    std::unique_ptr<PGresult, Clearer> r;
    for (;;) {
        if (PgWait::awaitResult(c, PgWait::silenceLimit()) == PgWait::Outcome::Silent) {
            *silent = true;
            PgWait::cut(c);
            return {};
        }
        PGresult* next = PQgetResult(c);
        if (!next)
            break;
        if (!r)
            r.reset(next);
        else
            PQclear(next);
    }
    if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1 || PQgetisnull(r.get(), 0, 0))
        return {};
    return text(PQgetvalue(r.get(), 0, 0));
}
} // namespace

Result probe(const QString& connectionString, const QString& password)
{
    const QByteArray conninfo = connectionString.toUtf8();
    const QByteArray secret = password.toUtf8();
    // A probe must not hang on a host that drops what is sent to it.
    const bool ownTimeout = !connectionString.contains("connect_timeout");
    const char* keys[4] = {"dbname", nullptr, nullptr, nullptr};
    const char* values[4] = {conninfo.constData(), nullptr, nullptr, nullptr};
    int n = 1;
    if (ownTimeout) {
        keys[n] = "connect_timeout";
        values[n++] = "10";
    }
    if (!password.isEmpty()) {
        keys[n] = "password";
        values[n++] = secret.constData();
    }
    // expand_dbname: the string's own settings win over those given here, except the password,
    // which the string never holds.
    std::unique_ptr<PGconn, Closer> c(PQconnectdbParams(keys, values, 1));
    Result r;
    if (!c) {
        r.message = "The client library of PostgreSQL could not start a connection (no memory).";
        return r;
    }
    const QString user = text(PQuser(c.get()));
    const QString db = text(PQdb(c.get()));
    if (PQstatus(c.get()) != CONNECTION_OK) {
        const QString why = reason(c.get(), password);
        const QString raw = text(PQerrorMessage(c.get()));
        if (PQconnectionNeedsPassword(c.get())) {
            r.outcome = Outcome::PasswordNeeded;
            r.message = QString("The server asks for the password of %1. Type it in Password and test again; it is "
                                "kept only until this window closes. For every start, put it in the .pgpass file "
                                "of this computer's user.")
                            .arg(user);
        } else if (raw.contains("password authentication failed") || (!password.isEmpty() && PQconnectionUsedPassword(c.get()) && raw.contains("authentication failed"))) {
            r.outcome = Outcome::WrongPassword;
            r.message = QString("The server refused the password of %1.").arg(user);
        } else if (raw.contains("database \"") && raw.contains("does not exist")) {
            r.outcome = Outcome::NoDatabase;
            r.message = QString("The server at %1 has no database \"%2\".").arg(where(c.get()), db);
        } else if (raw.contains("permission denied") || raw.contains("no pg_hba.conf entry")
                   || (raw.contains("role \"") && raw.contains("does not exist"))) {
            r.outcome = Outcome::NoRights;
            r.message = QString("%1 may not connect to the database \"%2\": %3").arg(user, db, why);
        } else if (!raw.contains("FATAL") && (raw.contains("could not translate host name") || raw.contains("Connection refused")
                   || raw.contains("timeout expired") || raw.contains("No such file or directory")
                   || raw.contains("No route to host") || raw.contains("Network is unreachable")
                   || raw.contains("could not connect") || raw.contains("Connection timed out"))) {
            r.outcome = Outcome::Unreachable;
            r.message = QString("The server at %1 cannot be reached: %2").arg(where(c.get()), why);
        } else {
            r.outcome = Outcome::Refused;
            r.message = QString("The server at %1 refused the connection: %2").arg(where(c.get()), why);
        }
        return r;
    }
    r.outcome = Outcome::Connected;
    const int version = PQserverVersion(c.get());
    r.message = QString("Connected to the database \"%1\" at %2 as %3 (PostgreSQL %4.%5).")
                    .arg(db, where(c.get()), user)
                    .arg(version / 10000)
                    .arg(version % 10000);
    bool silent = false;
    const QString tables = scalar(c.get(), "SELECT to_regclass($1)::text", "\"People\"", &silent);
    const QString reads = scalar(c.get(), "SELECT has_table_privilege($1, 'SELECT')::text", "\"People\"", &silent);
    const QString writes =
        scalar(c.get(), "SELECT has_table_privilege($1, 'INSERT, UPDATE, DELETE')::text", "\"People\"", &silent);
    if (silent) {
        r.outcome = Outcome::Unreachable;
        r.message = QString("The server at %1 let %2 into the database \"%3\", then stopped answering. Check the "
                            "network between this computer and the server, then test again.")
                        .arg(where(c.get()), user, db);
    } else if (tables.isEmpty())
        r.message += " It holds no Vantrel tables yet: the administrator makes them with vantrel-makedb --server.";
    else if (reads != "true")
        r.message += QString(" %1 may neither read nor change the people there: the administrator adds %1 to the "
                             "group role of the salespeople.")
                         .arg(user);
    else if (writes != "true")
        r.message += QString(" %1 may read the people there but not change them: the administrator adds %1 to the "
                             "group role of the salespeople.")
                         .arg(user);
    else
        r.message += " Its people may be read and changed.";
    return r;
}

} // namespace PgProbe
