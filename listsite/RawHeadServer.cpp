#include "RawHeadServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Milliseconds = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// httplib's own read buffer is as large; its line reader asks for one byte at a time.
constexpr std::size_t ReadChunkBytes = 4096;
// How often a connection waiting for its first byte looks whether the server is stopping.
constexpr Milliseconds StopCheckInterval(50);

thread_local const std::string* t_received = nullptr;

bool waitFor(int socket, short events, Milliseconds timeout)
{
    pollfd entry { socket, events, 0 };
    int ready = 0;
    do {
        ready = poll(&entry, 1, int(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void addressOf(const sockaddr_storage& address, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof(text));
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof(text));
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

// A socket as httplib reads and writes it, with a buffer for its byte-at-a-time reads, keeping the first
// bytes received.
class RecordingStream final : public httplib::Stream
{
public:
    RecordingStream(int socket, Milliseconds readTimeout, Milliseconds writeTimeout, std::string& received)
        : m_socket(socket)
        , m_readTimeout(readTimeout)
        , m_writeTimeout(writeTimeout)
        , m_received(received)
    { }

    bool is_readable() const override
    {
        return m_offset < m_buffered.size() || waitFor(m_socket, POLLIN, m_readTimeout);
    }

    bool is_writable() const override { return waitFor(m_socket, POLLOUT, m_writeTimeout); }

    ssize_t read(char* to, std::size_t size) override
    {
        if (m_offset == m_buffered.size()) {
            if (!waitFor(m_socket, POLLIN, m_readTimeout))
                return -1;
            m_buffered.resize(ReadChunkBytes);
            const ssize_t got = recv(m_socket, m_buffered.data(), m_buffered.size(), 0);
            m_buffered.resize(got > 0 ? std::size_t(got) : 0);
            m_offset = 0;
            if (got <= 0)
                return got;
            const std::size_t room = RawHeadServer::MaxReceivedBytes - m_received.size();
            m_received.append(m_buffered, 0, std::min(room, m_buffered.size()));
        }
        const std::size_t count = std::min(size, m_buffered.size() - m_offset);
        m_buffered.copy(to, count, m_offset);
        m_offset += count;
        return ssize_t(count);
    }

    ssize_t write(const char* from, std::size_t size) override
    {
        if (!is_writable())
            return -1;
        return send(m_socket, from, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address {};
        socklen_t length = sizeof(address);
        if (getpeername(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            addressOf(address, ip, port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address {};
        socklen_t length = sizeof(address);
        if (getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            addressOf(address, ip, port);
    }

    socket_t socket() const override { return m_socket; }

private:
    int m_socket;
    Milliseconds m_readTimeout;
    Milliseconds m_writeTimeout;
    std::string& m_received;
    std::string m_buffered;
    std::size_t m_offset = 0;
};

Milliseconds timeout(time_t seconds, time_t microseconds)
{
    return std::chrono::duration_cast<Milliseconds>(
        std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds));
}

} // namespace

std::string_view RawHeadServer::receivedBytes()
{
    return t_received ? std::string_view(*t_received) : std::string_view();
}

// What httplib does for a connection, for the one request this server serves on it: wait up to the
// keep-alive timeout for the request to start (giving up at once when the server stops), serve it, close.
bool RawHeadServer::process_and_close_socket(socket_t socket)
{
    const auto waitUntil = Clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
    bool started = false;
    while (!started && svr_sock_ != INVALID_SOCKET && Clock::now() < waitUntil)
        started = waitFor(socket, POLLIN, StopCheckInterval);

    bool served = false;
    if (started) {
        std::string received;
        RecordingStream stream(socket, timeout(read_timeout_sec_, read_timeout_usec_),
            timeout(write_timeout_sec_, write_timeout_usec_), received);
        t_received = &received;
        bool closed = false;
        served = process_request(stream, true, closed, nullptr);
        t_received = nullptr;
    }
    shutdown(socket, SHUT_RDWR);
    close(socket);
    return served;
}
