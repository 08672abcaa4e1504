#include "StandinProxyServer.h"

#include "StandinConnection.h"

#include "HttpProxyRequest.h"
#include "LoopbackTarget.h"
#include "SocksRequest.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace standin;

StandinProxyServer::StandinProxyServer(std::vector<StandinProxy> proxies)
    : m_proxies(std::move(proxies))
{ }

StandinProxyServer::~StandinProxyServer()
{
    stop();
    for (const std::unique_ptr<Connection>& connection : m_connections)
        finish(*connection);
    for (const int socket : m_sockets)
        close(socket);
    for (const int end : m_wake) {
        if (end >= 0)
            close(end);
    }
}

std::string StandinProxyServer::bind()
{
    m_sockets.reserve(m_proxies.size());
    for (StandinProxy& proxy : m_proxies) {
        // Any port but 0 to check the address; the socket takes port 0, which the system fills in.
        const std::optional<LoopbackTarget> where = loopbackTarget(proxy.address, 1);
        const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (socket < 0)
            return std::string("cannot make a socket: ") + std::strerror(errno);
        m_sockets.push_back(socket);
        if (!where)
            return "not a loopback address: " + proxy.address;
        sockaddr_storage address = where->address;
        reinterpret_cast<sockaddr_in&>(address).sin_port = 0;
        // A refused proxy's socket is bound and never listens: its port is taken, and a connection to it
        // is refused.
        if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), where->length) != 0
            || (proxy.kind != StandinKind::Refused && listen(socket, ListenBacklog) != 0))
            return "cannot listen on " + proxy.address + ": " + std::strerror(errno);
        socklen_t length = sizeof(address);
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
        proxy.port = ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return std::string("cannot make a pipe: ") + std::strerror(errno);
    return {};
}

bool StandinProxyServer::start()
{
    if (m_wake[0] < 0 || m_thread.joinable())
        return false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void StandinProxyServer::stop()
{
    if (!m_thread.joinable())
        return;
    const char byte = 'q';
    [[maybe_unused]] const ssize_t written = write(m_wake[1], &byte, 1);
    m_thread.join();
}

void StandinProxyServer::run()
{
    // One pollfd per listening proxy and per connection side, and beside each the side it stands for.
    struct Side
    {
        Connection* connection = nullptr; // nullptr: a proxy's listening socket
        std::size_t proxy = 0;
        bool upstream = false;
    };
    std::vector<pollfd> polled;
    std::vector<Side> sides;

    for (;;) { // until stop(); each pass waits at most LongestWait
        polled.assign(1, pollfd { m_wake[0], POLLIN, 0 });
        sides.assign(1, Side {});
        if (m_connections.size() < MaxConnections) {
            for (std::size_t proxy = 0; proxy < m_proxies.size(); ++proxy) {
                if (m_proxies[proxy].kind != StandinKind::Refused) {
                    polled.push_back({ m_sockets[proxy], POLLIN, 0 });
                    sides.push_back({ nullptr, proxy, false });
                }
            }
        }
        auto wake = Clock::now() + LongestWait;
        for (const std::unique_ptr<Connection>& connection : m_connections) {
            polled.push_back({ connection->client, connection->clientEvents(), 0 });
            sides.push_back({ connection.get(), 0, false });
            if (connection->upstream >= 0 && !(connection->upstreamEnded && connection->toUpstream.empty())) {
                polled.push_back({ connection->upstream, connection->upstreamEvents(), 0 });
                sides.push_back({ connection.get(), 0, true });
            }
            wake = std::min(wake, connection->deadline);
            if (connection->timedStep())
                wake = std::min(wake, connection->stepDeadline);
        }
        // Rounded up, so a timer is not polled for again just before it is due.
        const auto wait
            = std::chrono::ceil<milliseconds>(std::max(wake - Clock::now(), Clock::duration::zero()));
        if (poll(polled.data(), polled.size(), int(wait.count())) < 0 && errno != EINTR) {
            std::fprintf(
                stderr, "tarnwick-listsite: the stand-in proxies stopped: %s\n", std::strerror(errno));
            return;
        }
        if (polled[0].revents != 0)
            return;

        for (std::size_t i = 1; i < polled.size(); ++i) {
            const short events = polled[i].revents;
            Connection* connection = sides[i].connection;
            if (events == 0)
                continue;
            if (!connection) {
                accept(sides[i].proxy);
                continue;
            }
            // The side may have been closed, or its descriptor used again, earlier in this pass.
            const int socket = sides[i].upstream ? connection->upstream : connection->client;
            if (connection->step == Connection::Step::Done || socket != polled[i].fd)
                continue;
            if (!sides[i].upstream && (events & (POLLERR | POLLHUP)) != 0) {
                finish(*connection); // the client is gone: nothing more can reach it
                continue;
            }
            // A connection under way is done when the socket turns writable, and read only after.
            const bool connecting = sides[i].upstream && connection->step == Connection::Step::Connecting;
            if ((events & (POLLIN | POLLERR | POLLHUP)) != 0 && !connecting)
                onReadable(*connection, sides[i].upstream);
            if ((events & (POLLOUT | POLLERR | POLLHUP)) != 0 && connection->step != Connection::Step::Done)
                onWritable(*connection, sides[i].upstream);
        }
        const auto now = Clock::now();
        for (const std::unique_ptr<Connection>& connection : m_connections)
            onTime(*connection, now);
        std::erase_if(m_connections, [](const std::unique_ptr<Connection>& connection) {
            return connection->step == Connection::Step::Done;
        });
    }
}

void StandinProxyServer::accept(std::size_t proxy)
{
    for (int taken = 0; taken < AcceptBurst && m_connections.size() < MaxConnections; ++taken) {
        sockaddr_storage peer {};
        socklen_t length = sizeof(peer);
        const int socket = accept4(
            m_sockets[proxy], reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0)
            return;
        auto connection = std::make_unique<Connection>();
        connection->proxy = &m_proxies[proxy];
        connection->client = socket;
        connection->clientAddress = addressText(peer);
        connection->deadline = Clock::now() + ConnectionLifetime;
        if (m_proxies[proxy].kind == StandinKind::Silent)
            connection->step = Connection::Step::Swallowing;
        m_connections.push_back(std::move(connection));
    }
}

void StandinProxyServer::onReadable(Connection& connection, bool upstream)
{
    using Step = Connection::Step;
    std::array<char, Chunk> buffer;
    const ssize_t got
        = recv(upstream ? connection.upstream : connection.client, buffer.data(), buffer.size(), 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    const std::string_view bytes(buffer.data(), got > 0 ? std::size_t(got) : 0);

    if (upstream) {
        connection.upstreamEnded = got <= 0;
        connection.answered = connection.answered || got > 0;
        if (connection.step == Step::Holding) {
            connection.held += bytes;
            if (connection.held.size() > MaxHeldAnswer)
                reply(connection, statusAnswer(502, "tarnwick-listsite: answer too large"));
            else if (connection.upstreamEnded)
                onAnswered(connection);
            return;
        }
        if (connection.upstreamEnded && !connection.answered && !connection.socks()) {
            reply(connection, statusAnswer(502, "tarnwick-listsite: the target closed without answering"));
            return;
        }
        connection.toClient += bytes;
        connection.relayedDown += bytes.size();
        if (connection.relayedDown > MaxRelayBytes) {
            finish(connection);
            return;
        }
        flush(connection, false);
        return;
    }

    if (got <= 0) {
        connection.clientEnded = true;
        switch (connection.step) {
        case Step::Relaying:
            flush(connection, true); // passes the end on once all that came before it has gone
            return;
        case Step::Waiting:
        case Step::Connecting:
        case Step::Holding:
        case Step::Replying:
            return; // the answer may still be wanted
        default:
            finish(connection);
            return;
        }
    }
    switch (connection.step) {
    case Step::Swallowing:
        connection.swallowed += bytes.size();
        return;
    case Step::Draining:
        return;
    case Step::Relaying:
        if (connection.socks()) {
            connection.toUpstream += bytes;
            connection.relayedUp += bytes.size();
            if (connection.relayedUp > MaxRelayBytes)
                finish(connection);
            else
                flush(connection, true);
        }
        return; // an HTTP proxy passes the request head alone on
    default:
        break;
    }
    connection.fromClient += bytes;
    if (connection.fromClient.size() > MaxRequestBytes + Chunk) {
        finish(connection); // far more than any request before it has been taken
        return;
    }
    if (connection.step == Step::Request)
        takeRequest(connection);
}

void StandinProxyServer::onWritable(Connection& connection, bool upstream)
{
    if (upstream && connection.step == Connection::Step::Connecting)
        onConnected(connection);
    else
        flush(connection, upstream);
}

void StandinProxyServer::onTime(Connection& connection, Clock::time_point now)
{
    using Step = Connection::Step;
    if (connection.step == Step::Done)
        return;
    if (now >= connection.deadline) {
        finish(connection);
        return;
    }
    if (!connection.timedStep() || now < connection.stepDeadline)
        return;
    switch (connection.step) {
    case Step::Waiting:
        connectUpstream(connection);
        break;
    case Step::Connecting:
        failConnect(connection, ETIMEDOUT);
        break;
    case Step::Holding:
    case Step::Relaying:
        reply(connection, statusAnswer(504, "tarnwick-listsite: the target did not answer"));
        break;
    default:
        finish(connection);
        break;
    }
}

void StandinProxyServer::flush(Connection& connection, bool upstream)
{
    using Step = Connection::Step;
    const int socket = upstream ? connection.upstream : connection.client;
    std::string& out = upstream ? connection.toUpstream : connection.toClient;
    while (!out.empty() && socket >= 0) { // each pass sends some bytes or leaves
        const ssize_t sent = send(socket, out.data(), out.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (sent <= 0) {
            finish(connection);
            return;
        }
        out.erase(0, std::size_t(sent));
    }
    if (!out.empty())
        return;

    if (upstream) {
        // A SOCKS client's end is passed on once all it sent has gone.
        if (connection.step == Step::Relaying && connection.socks() && connection.clientEnded
            && !connection.upstreamShut) {
            shutdown(connection.upstream, SHUT_WR);
            connection.upstreamShut = true;
        }
        return;
    }
    const bool lastSent = connection.step == Step::Replying
        || (connection.step == Step::Relaying && connection.upstreamEnded);
    if (lastSent) {
        if (connection.upstream >= 0) {
            close(connection.upstream);
            connection.upstream = -1;
        }
        if (connection.clientEnded) {
            finish(connection);
            return;
        }
        shutdown(connection.client, SHUT_WR);
        connection.step = Step::Draining;
        connection.stepDeadline = Clock::now() + DrainTime;
    }
}

void StandinProxyServer::finish(Connection& connection)
{
    for (int* socket : { &connection.client, &connection.upstream }) {
        if (*socket >= 0)
            close(*socket);
        *socket = -1;
    }
    connection.step = Connection::Step::Done;
}
