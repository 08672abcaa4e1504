#pragma once

#include "StandinProxy.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct LoopbackTarget;

// Serves the stand-in proxies, all of them on one thread with one poll() loop: each proxy is a socket bound
// to its own loopback address, listening unless it is a refused one. Connections are bounded in number,
// bytes and time, and a proxy connects on only to loopback targets (LoopbackTarget.h). Logs nothing.
class StandinProxyServer
{
public:
    // At most this many client connections at once; more wait in the system's queue until one ends.
    static constexpr std::size_t MaxConnections = 512;
    // File descriptors the server may hold for `proxyCount` proxies: one per proxy, two per connection and
    // the wake-up pipe.
    static std::size_t descriptorsNeeded(std::size_t proxyCount)
    {
        return proxyCount + 2 * MaxConnections + 2;
    }

    explicit StandinProxyServer(std::vector<StandinProxy> proxies);
    ~StandinProxyServer();
    StandinProxyServer(const StandinProxyServer&) = delete;
    StandinProxyServer& operator=(const StandinProxyServer&) = delete;

    // Binds every proxy's address with a port the system picks, and sets the proxies' ports. Returns why
    // it failed, or an empty string.
    std::string bind();

    const std::vector<StandinProxy>& proxies() const { return m_proxies; }

    // Serves on a thread of its own until stop(). Call after bind() succeeded.
    bool start();
    void stop();

    struct Connection;

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void accept(std::size_t proxy);
    void onReadable(Connection& connection, bool upstream);
    void onWritable(Connection& connection, bool upstream);
    void onTime(Connection& connection, Clock::time_point now);
    void takeRequest(Connection& connection);
    void takeHttpRequest(Connection& connection);
    void takeSocksRequest(Connection& connection);
    void goAhead(Connection& connection, const LoopbackTarget& target);
    void connectUpstream(Connection& connection);
    void onConnected(Connection& connection);
    void failConnect(Connection& connection, int error);
    void onAnswered(Connection& connection);
    // Writes the last bytes to the client; the connection ends once they are sent.
    void reply(Connection& connection, std::string_view bytes);
    void flush(Connection& connection, bool upstream);
    void finish(Connection& connection);

    std::vector<StandinProxy> m_proxies;
    std::vector<int> m_sockets; // one per proxy, in the order of m_proxies
    std::vector<std::unique_ptr<Connection>> m_connections;
    int m_wake[2] = { -1, -1 };
    std::thread m_thread;
};
