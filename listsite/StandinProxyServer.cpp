#include "StandinProxyServer.h"

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

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Every connection ends within this time, whatever it is doing.
constexpr seconds ConnectionLifetime(30);
// How long a target may take to take the connection and to start its answer: then 504, as proxies say.
constexpr seconds TargetTimeout(10);
// After its last bytes a connection is shut for writing and read until the client closes, so the client
// gets them all rather than a reset; a client that stays is closed after this time.
constexpr seconds DrainTime(2);
// Poll at least this often, so no pass waits long whatever the timers say.
constexpr milliseconds LongestWait(1000);

// Read in pieces of this size, and read no more from a side while this much waits for the other.
constexpr std::size_t Chunk = 16 * 1024;
// A request head, or what a client sends before its request is taken, at most.
constexpr std::size_t MaxRequestBytes = 16 * 1024;
// An answer an altering proxy holds whole to change it: the judge's page is far smaller.
constexpr std::size_t MaxHeldAnswer = 1024 * 1024;
// Bytes passed each way on one connection: more than the largest list page (200,000 rows, about 23 MB).
constexpr std::size_t MaxRelayBytes = 64 * 1024 * 1024;
// Connections taken from one proxy's queue in one pass, so a busy proxy does not keep the others waiting.
constexpr int AcceptBurst = 16;
constexpr int ListenBacklog = 64;

constexpr std::string_view NotLoopback = "tarnwick-listsite: this proxy connects to loopback targets only";

std::string addressText(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof(text));
    else if (address.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof(text));
    return text;
}

bool isSocks(StandinKind kind)
{
    return kind == StandinKind::Socks5 || kind == StandinKind::Socks4;
}

ProxyHeaders headersAdded(StandinKind kind)
{
    if (kind == StandinKind::HttpTransparent)
        return ProxyHeaders::ViaAndForwardedFor;
    if (kind == StandinKind::HttpAnonymous)
        return ProxyHeaders::Via;
    return ProxyHeaders::None;
}

std::string_view statusText(int status)
{
    switch (status) {
    case 403:
        return "tarnwick-listsite: access denied";
    case 405:
        return "tarnwick-listsite: GET and HEAD only";
    case 431:
        return "tarnwick-listsite: request head too large";
    default:
        return "tarnwick-listsite: request not served";
    }
}

} // namespace

struct StandinProxyServer::Connection
{
    enum class Step
    {
        Request, // reading the request: an HTTP head, or a SOCKS greeting and request
        Waiting, // the proxy's delay before it connects on
        Connecting, // to the target
        Holding, // an altering proxy: request sent on, reading the whole answer
        Relaying, // bytes from the target to the client, and for SOCKS from the client to the target
        Replying, // writing the last bytes to the client
        Draining, // shut for writing: reading until the client closes
        Swallowing, // a silent proxy: reading, never answering
        Done,
    };

    const StandinProxy* proxy = nullptr;
    int client = -1;
    int upstream = -1;
    Step step = Step::Request;
    std::string clientAddress;
    std::string fromClient; // read and not yet used: the request, then what SOCKS passes on once connected
    std::string toClient;
    std::string toUpstream;
    std::string held; // Holding: the answer so far
    std::string socks4Request; // the SOCKS4 request's port and address, echoed in the reply
    bool greeted = false; // SOCKS5: the greeting is answered
    bool answered = false; // the target has sent a byte
    bool clientEnded = false;
    bool upstreamEnded = false;
    bool upstreamShut = false;
    std::size_t swallowed = 0;
    std::size_t relayedUp = 0;
    std::size_t relayedDown = 0;
    LoopbackTarget target;
    Clock::time_point deadline; // the end of the connection's life
    Clock::time_point stepDeadline; // Waiting, Connecting, Holding, HTTP Relaying unanswered, Draining

    bool socks() const { return isSocks(proxy->kind); }
    bool timedStep() const
    {
        return step == Step::Waiting || step == Step::Connecting || step == Step::Holding
            || (step == Step::Relaying && !answered && !socks()) || step == Step::Draining;
    }
    short clientEvents() const
    {
        short events = toClient.empty() ? 0 : POLLOUT;
        const bool room = step != Step::Relaying || !socks() || toUpstream.size() < Chunk;
        if (!clientEnded && room && step != Step::Done
            && (step != Step::Swallowing || swallowed < MaxRequestBytes))
            events |= POLLIN;
        return events;
    }
    short upstreamEvents() const
    {
        if (step == Step::Connecting)
            return POLLOUT;
        short events = toUpstream.empty() ? 0 : POLLOUT;
        if (!upstreamEnded && (step == Step::Holding || (step == Step::Relaying && toClient.size() < Chunk)))
            events |= POLLIN;
        return events;
    }
};

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

void StandinProxyServer::takeRequest(Connection& connection)
{
    if (connection.socks())
        takeSocksRequest(connection);
    else
        takeHttpRequest(connection);
}

void StandinProxyServer::takeHttpRequest(Connection& connection)
{
    const StandinProxy& proxy = *connection.proxy;
    const std::size_t headEnd = connection.fromClient.find("\r\n\r\n");
    if (headEnd == std::string::npos ? connection.fromClient.size() > MaxRequestBytes
                                     : headEnd + 4 > MaxRequestBytes) {
        reply(connection, statusAnswer(431, statusText(431)));
        return;
    }
    if (headEnd == std::string::npos)
        return;
    if (proxy.kind == StandinKind::ErrorStatus) {
        reply(connection, statusAnswer(proxy.errorStatus, statusText(proxy.errorStatus)));
        return;
    }
    const HttpProxyRequest request
        = readProxyRequest(std::string_view(connection.fromClient).substr(0, headEnd + 4),
            headersAdded(proxy.kind), connection.clientAddress);
    if (request.status != 0) {
        reply(connection, statusAnswer(request.status, statusText(request.status)));
        return;
    }
    // The check comes before any connection is tried: a target off loopback is never contacted.
    const std::optional<LoopbackTarget> target = loopbackTarget(request.host, request.port);
    if (!target) {
        reply(connection, statusAnswer(403, NotLoopback));
        return;
    }
    connection.toUpstream = request.forward;
    goAhead(connection, *target);
}

void StandinProxyServer::takeSocksRequest(Connection& connection)
{
    using Step = SocksRequest::Step;
    const bool socks5 = connection.proxy->kind == StandinKind::Socks5;
    if (socks5 && !connection.greeted) {
        const SocksRequest greeting = readSocks5Greeting(connection.fromClient);
        if (greeting.step == Step::NeedMore)
            return;
        if (greeting.step == Step::Bad) {
            finish(connection);
            return;
        }
        connection.fromClient.erase(0, greeting.length);
        connection.greeted = true;
        if (!greeting.noAuthentication) {
            reply(connection, std::string("\x05\xff", 2));
            return;
        }
        connection.toClient += std::string("\x05\x00", 2);
        flush(connection, false);
        if (connection.step == Connection::Step::Done)
            return;
    }
    const SocksRequest request
        = socks5 ? readSocks5Request(connection.fromClient) : readSocks4Request(connection.fromClient);
    if (request.step == Step::NeedMore)
        return;
    if (request.step == Step::Bad) {
        finish(connection);
        return;
    }
    if (!socks5)
        connection.socks4Request = connection.fromClient.substr(0, 8);
    connection.fromClient.erase(0, request.length);
    const auto refuse = [&](std::uint8_t code) {
        reply(connection, socks5 ? socks5Reply(code) : socks4Reply(Socks4Rejected, connection.socks4Request));
    };
    if (request.refusal != 0) {
        refuse(request.refusal);
        return;
    }
    // The check comes before any connection is tried: a target off loopback is never contacted.
    const std::optional<LoopbackTarget> target = loopbackTarget(request.host, request.port);
    if (!target) {
        refuse(Socks5NotAllowed);
        return;
    }
    goAhead(connection, *target);
}

void StandinProxyServer::goAhead(Connection& connection, const LoopbackTarget& target)
{
    connection.target = target;
    if (connection.proxy->delayMs > 0) {
        connection.step = Connection::Step::Waiting;
        connection.stepDeadline = Clock::now() + milliseconds(connection.proxy->delayMs);
        return;
    }
    connectUpstream(connection);
}

void StandinProxyServer::connectUpstream(Connection& connection)
{
    const sockaddr_storage& address = connection.target.address;
    if (!isLoopback(address)) { // not reached: every target was checked when the request was taken
        finish(connection);
        return;
    }
    const int socket = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        finish(connection);
        return;
    }
    connection.upstream = socket;
    // From the proxy's own address, so the target sees the proxy and not the client. Should that fail,
    // the system picks the address, and the connection goes ahead all the same.
    if (address.ss_family == AF_INET) {
        sockaddr_in own {};
        own.sin_family = AF_INET;
        inet_pton(AF_INET, connection.proxy->address.c_str(), &own.sin_addr);
        [[maybe_unused]] const int bound
            = ::bind(socket, reinterpret_cast<const sockaddr*>(&own), sizeof(own));
    }
    connection.step = Connection::Step::Connecting;
    connection.stepDeadline = Clock::now() + TargetTimeout;
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), connection.target.length) == 0
        || errno == EINPROGRESS)
        return; // onWritable tells when it is done
    failConnect(connection, errno);
}

void StandinProxyServer::onConnected(Connection& connection)
{
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(connection.upstream, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        failConnect(connection, error);
        return;
    }
    const StandinKind kind = connection.proxy->kind;
    connection.stepDeadline = Clock::now() + TargetTimeout;
    if (kind == StandinKind::Socks5 || kind == StandinKind::Socks4) {
        sockaddr_storage own {};
        socklen_t ownLength = sizeof(own);
        getsockname(connection.upstream, reinterpret_cast<sockaddr*>(&own), &ownLength);
        connection.toClient += kind == StandinKind::Socks5
            ? socks5Reply(Socks5Succeeded, &own)
            : socks4Reply(Socks4Granted, connection.socks4Request);
        connection.toUpstream = std::move(connection.fromClient);
        connection.fromClient.clear();
        connection.step = Connection::Step::Relaying;
        flush(connection, false);
        if (connection.step != Connection::Step::Done)
            flush(connection, true);
        return;
    }
    connection.step = kind == StandinKind::Altering ? Connection::Step::Holding : Connection::Step::Relaying;
    flush(connection, true);
}

void StandinProxyServer::failConnect(Connection& connection, int error)
{
    const StandinKind kind = connection.proxy->kind;
    if (kind == StandinKind::Socks5)
        reply(
            connection, socks5Reply(error == ECONNREFUSED ? Socks5ConnectionRefused : Socks5GeneralFailure));
    else if (kind == StandinKind::Socks4)
        reply(connection, socks4Reply(Socks4Rejected, connection.socks4Request));
    else
        reply(connection, statusAnswer(502, "tarnwick-listsite: cannot connect to the target"));
}

void StandinProxyServer::onAnswered(Connection& connection)
{
    if (connection.held.empty()) {
        reply(connection, statusAnswer(502, "tarnwick-listsite: the target closed without answering"));
        return;
    }
    alterAnswer(connection.held, connection.proxy->replacesNonce);
    reply(connection, connection.held);
}

void StandinProxyServer::reply(Connection& connection, std::string_view bytes)
{
    connection.toClient += bytes;
    connection.step = Connection::Step::Replying;
    if (connection.upstream >= 0) {
        close(connection.upstream);
        connection.upstream = -1;
    }
    flush(connection, false);
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
