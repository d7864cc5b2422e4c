#pragma once
// A slow link on loopback without touching the machine's own network: a TCP listener on
// 127.0.0.1 that forwards every connection to a server's Unix socket and holds each direction's
// bytes for half the round-trip delay, in a thread of its own. cut() drops every connection at
// once, as a pulled cable or a failing VPN would; hold() stalls the connections open now, in one
// direction or both, as a link that hangs does, while new connections pass.
#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DelayProxy {
public:
    using Clock = std::chrono::steady_clock;

    DelayProxy(const QByteArray& unixSocket, int roundTripMs) : m_target(unixSocket), m_delayMs(roundTripMs)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0; // any free port
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listener, 64) != 0) {
            ::close(m_listener);
            m_listener = -1;
            return;
        }
        socklen_t length = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &length);
        m_port = ntohs(a.sin_port);
        ::pipe(m_wake);
        m_thread = std::thread([this] { loop(); });
    }

    ~DelayProxy()
    {
        m_stop = true;
        wake();
        if (m_thread.joinable())
            m_thread.join();
        for (Link& l : m_links)
            closeLink(l);
        if (m_listener >= 0)
            ::close(m_listener);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

    int port() const { return m_port; }
    void setRoundTrip(int ms) { m_delayMs = ms; }
    // Every open connection ends at once; new ones are taken as before.
    void cut()
    {
        m_cut = true;
        wake();
        while (m_cut)
            std::this_thread::yield();
    }
    // While stalled nothing passes in either direction, and nothing is closed either.
    void setStalled(bool on)
    {
        m_stalled = on;
        wake();
    }
    int connections() const { return m_count; }

    // Every connection made from now on holds both ways at its first statement, once it is
    // logged in: a link that stalls right after the start. false: they pass again.
    void holdAtFirstStatement(bool on) { m_holdAtStatement = on; }

    // What the connections open now are sent stays in the proxy (read, never passed on, nor
    // their end): toServer, toClient or both. Connections made later pass as before; cut()
    // ends the held ones.
    void hold(bool toServer, bool toClient)
    {
        m_holdRequest = (toServer ? 1 : 0) | (toClient ? 2 : 0) | 4;
        wake();
        while (m_holdRequest != 0)
            std::this_thread::yield();
    }

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes; // empty: the sender closed its side
    };
    struct Direction {
        int from = -1, to = -1;
        std::deque<Chunk> queue;
        bool ended = false; // the sender closed; nothing more is read
        bool held = false;  // what is read stays here
    };
    struct Link {
        Direction up, down; // client to server, server to client
        bool dead = false;
        bool holdAtStatement = false; // at the client's first Query or Parse message
    };

    void wake()
    {
        const char c = 0;
        [[maybe_unused]] ssize_t n = ::write(m_wake[1], &c, 1);
    }

    static void closeLink(Link& l)
    {
        if (l.up.from >= 0)
            ::close(l.up.from);
        if (l.up.to >= 0)
            ::close(l.up.to);
        l.up.from = l.up.to = l.down.from = l.down.to = -1;
        l.dead = true;
    }

    void accept()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un u{};
        u.sun_family = AF_UNIX;
        std::strncpy(u.sun_path, m_target.constData(), sizeof u.sun_path - 1);
        if (::connect(server, reinterpret_cast<sockaddr*>(&u), sizeof u) != 0) {
            ::close(client);
            ::close(server);
            return;
        }
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Link l;
        l.up.from = client;
        l.up.to = server;
        l.down.from = server;
        l.down.to = client;
        l.holdAtStatement = m_holdAtStatement;
        m_links.push_back(std::move(l));
        ++m_count;
    }

    // Reads what arrived; it leaves after half the round trip.
    void read(Direction& d, Link& l)
    {
        char buffer[65536];
        const ssize_t n = ::recv(d.from, buffer, sizeof buffer, 0);
        const auto due = Clock::now() + std::chrono::microseconds(m_delayMs.load() * 500);
        if (n <= 0) {
            d.ended = true;
            d.queue.push_back({due, {}});
            return;
        }
        // The start-up messages begin with their length; the statements with their letter.
        if (&d == &l.up && l.holdAtStatement && (buffer[0] == 'Q' || buffer[0] == 'P'))
            l.up.held = l.down.held = true;
        d.queue.push_back({due, std::string(buffer, size_t(n))});
    }

    // Sends what is due; false when the link is to be closed.
    bool send(Direction& d)
    {
        if (d.held)
            return true;
        const auto now = Clock::now();
        while (!d.queue.empty() && d.queue.front().due <= now) {
            Chunk& c = d.queue.front();
            if (c.bytes.empty())
                return false;
            size_t sent = 0;
            while (sent < c.bytes.size()) {
                const ssize_t n = ::send(d.to, c.bytes.data() + sent, c.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return false;
                sent += size_t(n);
            }
            d.queue.pop_front();
        }
        return true;
    }

    void loop()
    {
        while (!m_stop) {
            if (m_cut) {
                for (Link& l : m_links)
                    closeLink(l);
                m_links.clear();
                m_cut = false;
            }
            if (const int request = m_holdRequest) {
                for (Link& l : m_links) {
                    l.up.held = request & 1;
                    l.down.held = request & 2;
                }
                m_holdRequest = 0;
            }
            std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
            std::vector<Direction*> owners{nullptr, nullptr};
            auto next = Clock::now() + std::chrono::seconds(1);
            for (Link& l : m_links) {
                for (Direction* d : {&l.up, &l.down}) {
                    if (!d->ended && !m_stalled) {
                        fds.push_back({d->from, POLLIN, 0});
                        owners.push_back(d);
                    }
                    if (!d->queue.empty() && !m_stalled && !d->held)
                        next = std::min(next, d->queue.front().due);
                }
            }
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
            ::poll(fds.data(), nfds_t(fds.size()), int(std::max<long long>(0, wait + (wait >= 0 ? 0 : 0))));
            if (fds[0].revents & POLLIN) {
                char drain[64];
                [[maybe_unused]] ssize_t n = ::read(m_wake[0], drain, sizeof drain);
            }
            if (fds[1].revents & POLLIN)
                accept();
            for (size_t i = 2; i < fds.size(); ++i) {
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                    for (Link& l : m_links)
                        if (&l.up == owners[i] || &l.down == owners[i])
                            read(*owners[i], l);
                }
            }
            if (m_stalled)
                continue;
            for (Link& l : m_links) {
                if (!send(l.up) || !send(l.down))
                    closeLink(l);
            }
            m_links.remove_if([](const Link& l) { return l.dead; });
        }
    }

    QByteArray m_target;
    std::atomic<int> m_delayMs;
    std::atomic<bool> m_stop{false}, m_cut{false}, m_stalled{false};
    std::atomic<int> m_count{0};
    std::atomic<int> m_holdRequest{0};
    std::atomic<bool> m_holdAtStatement{false};
    int m_listener = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::list<Link> m_links; // the proxy's thread alone
    std::thread m_thread;
};
