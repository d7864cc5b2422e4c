#include "PgStore.h"

#include <libpq-fe.h>

#include <cstdlib>

// What the store learns of other sessions' commits: the commits counter it compares, and the
// notices the server sends without being asked.

// The commits counter, moved by every write of every table and read as committed: a number
// from a sequence could belong to a commit still to come. Each new connection adds its own part,
// since what others wrote while there was none cannot be told.
qint64 PgStore::changeToken()
{
    try {
        ensureConnected();
        // Inside a transaction that wrote, the counter read holds its own move, not yet committed.
        Result r = run("SELECT \"Version\", current_setting('vantrel.noted', true) = "
                       "txid_current_if_assigned()::text FROM \"DataVersion\"", {}, true);
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1)
            return -1;
        const bool own = !PQgetisnull(r.get(), 0, 1) && QByteArrayView(PQgetvalue(r.get(), 0, 1)) == "t";
        noteVersion(std::atoll(PQgetvalue(r.get(), 0, 0)) - (own ? 1 : 0), 0);
        return (m_generation << 40) + m_othersCommits;
    } catch (const DataError&) {
        return -1;
    }
}

qint64 PgStore::knownChangeToken() const
{
    return m_conn && !m_broken && m_knownVersion >= 0 ? (m_generation << 40) + m_othersCommits : -1;
}

// The counter moves once for each transaction that wrote: by `own` for this session's, and
// whatever more it moved was others'.
void PgStore::noteVersion(qint64 version, int own)
{
    if (m_knownVersion < 0 || version != m_knownVersion + own)
        ++m_othersCommits;
    m_knownVersion = version;
}

int PgStore::othersSignal() const
{
    return m_conn && m_listening && (!m_broken || m_resetting) ? PQsocket(m_conn) : -1;
}

// Reads what the server sent without waiting; the session's own commits are told too, and left
// out. A connection found lost is made again here too, a step at each call, never waiting: a
// copy that is only being looked at hears of others' saves again once the server is back.
bool PgStore::othersWrote()
{
    if (!m_conn || !m_listening)
        return false;
    if (m_broken || PQstatus(m_conn) != CONNECTION_OK)
        return reconnectQuietly();
    if (!PQconsumeInput(m_conn)) {
        m_broken = true;
        return false;
    }
    bool others = false;
    const int own = PQbackendPID(m_conn);
    while (PGnotify* notice = PQnotifies(m_conn)) {
        others = others || notice->be_pid != own;
        PQfreemem(notice);
    }
    return others;
}

// True once connected again: what others wrote meanwhile is then to be read.
bool PgStore::reconnectQuietly()
{
    if (m_commitXid != 0)
        return false; // whether that commit is in is asked by the next command, which tells the user
    if (!m_resetting) {
        m_resetFrom = m_session;
        if (!PQresetStart(m_conn))
            return false;
        m_resetting = true;
    }
    const PostgresPollingStatusType state = PQresetPoll(m_conn);
    if (state == PGRES_POLLING_FAILED)
        m_resetting = false; // tried again at the next call
    if (state != PGRES_POLLING_OK)
        return false;
    m_resetting = false;
    ++s_roundTrips;
    try {
        resumed(m_resetFrom);
    } catch (const DataError&) {
        m_broken = true; // the next command says why
        return false;
    }
    return true;
}
