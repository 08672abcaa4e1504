#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A request as an HTTP proxy gets it, in absolute form ("GET http://host:port/path HTTP/1.1"), and the
// request the proxy sends on to the host for it.
struct HttpProxyRequest
{
    int status = 0; // 0 when the request can be passed on; otherwise the status to answer it with
    std::string host; // as written: a name, an IPv4 address or an IPv6 address without its brackets
    std::uint16_t port = 80;
    std::string forward; // the head to send on, in origin form, ending with "Connection: close"
};

// What a proxy adds to the headers it passes on, telling the host of itself and of its client.
enum class ProxyHeaders
{
    None,
    Via, // "Via: 1.1 tarnwick-standin"
    ViaAndForwardedFor, // and "X-Forwarded-For: <client address>"
};

// Reads a complete request head (up to and including its blank line). GET and HEAD only, without a body;
// the client's headers are passed on in their order, as they are, except the hop-by-hop ones (Connection,
// the headers it names, Keep-Alive, Proxy-Connection, Proxy-Authorization, TE, Trailer, Upgrade), and a
// Host header is added when the client sent none.
HttpProxyRequest readProxyRequest(std::string_view head, ProxyHeaders added, std::string_view clientAddress);

// A whole answer with a short text body, closing the connection.
std::string statusAnswer(int status, std::string_view text);

// Changes an HTTP answer's body, setting its Content-Length to match: replaces the value on a line
// "nonce ..." (the judge's) with "cached-" and the value, or puts a line before the body when
// `replaceNonce` is false or the body holds no such line.
void alterAnswer(std::string& answer, bool replaceNonce);
