// What a stand-in proxy does with a connection's request: an HTTP proxy's absolute-form GET or HEAD, or a
// SOCKS greeting and CONNECT; the target, which must be on loopback; and the proxy's own ways of answering.
#include "StandinProxyServer.h"

#include "HttpProxyRequest.h"
#include "SocksRequest.h"
#include "StandinConnection.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using namespace standin;

namespace {

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
