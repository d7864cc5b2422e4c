#include "PgWait.h"

#include <libpq-fe.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

namespace PgWait {
namespace {

std::atomic<int> s_limit{0};

// Waits for the socket to be readable (and writable, when asked) for at most limitMs, counted
// afresh from the call: the caller calls again after every byte that moved.
Outcome await(PGconn* c, bool write, int limitMs, bool* readable)
{
    const int fd = PQsocket(c);
    if (fd < 0)
        return Outcome::Failed;
    pollfd p{fd, short(POLLIN | (write ? POLLOUT : 0)), 0};
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        const int n = ::poll(&p, 1, int(std::max<long long>(0, left.count())));
        if (n > 0) {
            *readable = p.revents & (POLLIN | POLLHUP | POLLERR);
            return Outcome::Done;
        }
        if (n == 0)
            return Outcome::Silent;
        if (errno != EINTR)
            return Outcome::Failed;
    }
}

} // namespace

int silenceLimit()
{
    const int shorter = s_limit.load(std::memory_order_relaxed);
    return shorter > 0 ? shorter : kSilenceLimitMs;
}

void setSilenceLimit(int ms) { s_limit.store(ms, std::memory_order_relaxed); }

Outcome flush(PGconn* c, int limitMs)
{
    for (;;) {
        const int left = PQflush(c);
        if (left == 0)
            return Outcome::Done;
        if (left < 0)
            return Outcome::Failed;
        // The server may answer before it has read all: what it sends is read meanwhile, or
        // both sides would wait for the other.
        bool readable = false;
        const Outcome o = await(c, true, limitMs, &readable);
        if (o != Outcome::Done)
            return o;
        if (readable && PQconsumeInput(c) != 1)
            return Outcome::Failed;
    }
}

Outcome awaitResult(PGconn* c, int limitMs)
{
    const Outcome sent = flush(c, limitMs);
    if (sent != Outcome::Done)
        return sent;
    while (PQisBusy(c)) {
        bool readable = false;
        const Outcome o = await(c, false, limitMs, &readable);
        if (o != Outcome::Done)
            return o;
        if (PQconsumeInput(c) != 1)
            return Outcome::Failed; // PQgetResult tells why, without waiting: the socket is closed
    }
    return Outcome::Done;
}

bool ended(PGconn* c)
{
    const int fd = PQsocket(c);
    if (fd < 0)
        return true;
    // The server's last words and the end of the stream may take more than one read.
    for (int reads = 0; reads < 8 && PQstatus(c) == CONNECTION_OK; ++reads) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || PQconsumeInput(c) != 1)
            break;
    }
    PQisBusy(c); // parses what came before the end, which a failed read leaves unparsed
    return PQstatus(c) != CONNECTION_OK;
}

void cut(PGconn* c)
{
    const int fd = PQsocket(c);
    if (fd < 0)
        return;
    ::shutdown(fd, SHUT_RDWR);
    // libpq reads the end now and marks the connection bad, so that nothing waits on it again.
    PQconsumeInput(c);
}

} // namespace PgWait
