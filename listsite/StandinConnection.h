#pragma once

// What the stand-in proxy server's two halves share: its bounds, and one client connection with what it
// has read, holds and still has to write. The loop and the sockets are in StandinProxyServer.cpp, what a
// connection's request asks for in StandinProxyRequests.cpp.

#include "LoopbackTarget.h"
#include "StandinProxyServer.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace standin {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Every connection ends within this time, whatever it is doing.
inline constexpr seconds ConnectionLifetime(30);
// How long a target may take to take the connection and to start its answer: then 504, as proxies say.
inline constexpr seconds TargetTimeout(10);
// After its last bytes a connection is shut for writing and read until the client closes, so the client
// gets them all rather than a reset; a client that stays is closed after this time.
inline constexpr seconds DrainTime(2);
// Poll at least this often, so no pass waits long whatever the timers say.
inline constexpr milliseconds LongestWait(1000);

// Read in pieces of this size, and read no more from a side while this much waits for the other.
inline constexpr std::size_t Chunk = 16 * 1024;
// A request head, or what a client sends before its request is taken, at most.
inline constexpr std::size_t MaxRequestBytes = 16 * 1024;
// An answer an altering proxy holds whole to change it: the judge's page is far smaller.
inline constexpr std::size_t MaxHeldAnswer = 1024 * 1024;
// Bytes passed each way on one connection: more than the largest list page (200,000 rows, about 23 MB).
inline constexpr std::size_t MaxRelayBytes = 64 * 1024 * 1024;
// Connections taken from one proxy's queue in one pass, so a busy proxy does not keep the others waiting.
inline constexpr int AcceptBurst = 16;
inline constexpr int ListenBacklog = 64;

inline constexpr std::string_view NotLoopback
    = "tarnwick-listsite: this proxy connects to loopback targets only";

inline std::string addressText(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof(text));
    else if (address.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof(text));
    return text;
}

inline bool isSocks(StandinKind kind)
{
    return kind == StandinKind::Socks5 || kind == StandinKind::Socks4;
}

} // namespace standin

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

    bool socks() const { return standin::isSocks(proxy->kind); }
    bool timedStep() const
    {
        return step == Step::Waiting || step == Step::Connecting || step == Step::Holding
            || (step == Step::Relaying && !answered && !socks()) || step == Step::Draining;
    }
    short clientEvents() const
    {
        short events = toClient.empty() ? 0 : POLLOUT;
        const bool room = step != Step::Relaying || !socks() || toUpstream.size() < standin::Chunk;
        if (!clientEnded && room && step != Step::Done
            && (step != Step::Swallowing || swallowed < standin::MaxRequestBytes))
            events |= POLLIN;
        return events;
    }
    short upstreamEvents() const
    {
        if (step == Step::Connecting)
            return POLLOUT;
        short events = toUpstream.empty() ? 0 : POLLOUT;
        if (!upstreamEnded
            && (step == Step::Holding || (step == Step::Relaying && toClient.size() < standin::Chunk)))
            events |= POLLIN;
        return events;
    }
};
