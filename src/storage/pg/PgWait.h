#pragma once
typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

// Waiting on the server's socket with a limit on its silence. libpq's own calls wait for ever on
// a link that stalls (a VPN that hangs, a router that drops what it is sent); here the connection
// is in libpq's non-blocking mode, what libpq holds is sent and what comes is read, and the wait
// gives up only when nothing at all moved for the limit. So a long answer that keeps coming (an
// export of many rows) is never cut, however long it takes as a whole.
namespace PgWait {

// How long the server may stay silent in the middle of an exchange (milliseconds). A wait for
// another user's lock is silent too: the store adds its lock timeout to this.
inline constexpr int kSilenceLimitMs = 10000;
int silenceLimit();
// For the tests of a stalling link: a shorter limit; 0 brings back the usual one.
void setSilenceLimit(int ms);

enum class Outcome {
    Done,   // all sent, or an answer is ready
    Silent, // nothing moved for the limit
    Failed, // the connection failed: libpq's status and next result tell
};
// Sends all that libpq holds for the server, reading what the server sends meanwhile.
Outcome flush(PGconn* connection, int limitMs);
// Waits until PQgetResult would not block, sending first what libpq still holds.
Outcome awaitResult(PGconn* connection, int limitMs);
// Reads, without waiting, what the server sent while nobody asked; true when the connection
// turns out closed (the server ended the session meanwhile).
bool ended(PGconn* connection);
// Ends the connection's link at once (its socket, not libpq's object, which PQreset makes
// again): nothing more is sent on it nor waited for, and libpq sees it closed.
void cut(PGconn* connection);

} // namespace PgWait
