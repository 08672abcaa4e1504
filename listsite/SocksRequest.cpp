#include "SocksRequest.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

constexpr std::uint8_t Socks5Version = 5;
constexpr std::uint8_t Socks4Version = 4;
constexpr std::uint8_t ConnectCommand = 1;
constexpr std::uint8_t NoAuthentication = 0;
constexpr std::uint8_t AddressIPv4 = 1;
constexpr std::uint8_t AddressName = 3;
constexpr std::uint8_t AddressIPv6 = 4;
// SOCKS4's user id and SOCKS4a's name each end with a zero byte; a longer one is refused, as no SOCKS5
// name may be longer either.
constexpr std::size_t MaxSocks4Text = 255;

std::uint8_t byteAt(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint8_t>(bytes[at]);
}

std::uint16_t portAt(std::string_view bytes, std::size_t at)
{
    return std::uint16_t(byteAt(bytes, at) << 8 | byteAt(bytes, at + 1));
}

std::string addressText(int family, const char* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(family, address, text, sizeof(text));
    return text;
}

SocksRequest bad()
{
    SocksRequest request;
    request.step = SocksRequest::Step::Bad;
    return request;
}

// The length of the zero-ended text at `at`, or npos: not ended yet (NeedMore) when `bytes` ends first and
// is still short, too long otherwise.
std::size_t textLength(std::string_view bytes, std::size_t at, bool& tooLong)
{
    const std::size_t end = bytes.find('\0', at);
    tooLong = (end == bytes.npos ? bytes.size() : end) - at > MaxSocks4Text;
    return end == bytes.npos ? bytes.npos : end - at;
}

} // namespace

SocksRequest readSocks5Greeting(std::string_view bytes)
{
    SocksRequest greeting;
    if (!bytes.empty() && byteAt(bytes, 0) != Socks5Version)
        return bad();
    if (bytes.size() < 2 || bytes.size() < 2 + std::size_t(byteAt(bytes, 1)))
        return greeting;
    const std::size_t methods = byteAt(bytes, 1);
    for (std::size_t i = 0; i < methods; ++i)
        greeting.noAuthentication = greeting.noAuthentication || byteAt(bytes, 2 + i) == NoAuthentication;
    greeting.step = SocksRequest::Step::Done;
    greeting.length = 2 + methods;
    return greeting;
}

SocksRequest readSocks5Request(std::string_view bytes)
{
    SocksRequest request;
    // VER CMD RSV ATYP, then the address and two bytes of port.
    if (!bytes.empty() && byteAt(bytes, 0) != Socks5Version)
        return bad();
    if (bytes.size() < 5)
        return request;
    std::size_t addressLength = 0;
    switch (byteAt(bytes, 3)) {
    case AddressIPv4:
        addressLength = 4;
        break;
    case AddressName:
        addressLength = 1 + std::size_t(byteAt(bytes, 4));
        if (addressLength == 1)
            return bad();
        break;
    case AddressIPv6:
        addressLength = 16;
        break;
    default:
        // The rest of the request cannot be measured: refuse it as it stands.
        request.step = SocksRequest::Step::Done;
        request.length = bytes.size();
        request.refusal = Socks5AddressTypeNotSupported;
        return request;
    }
    if (bytes.size() < 4 + addressLength + 2)
        return request;
    const char* address = bytes.data() + 4;
    if (byteAt(bytes, 3) == AddressIPv4)
        request.host = addressText(AF_INET, address);
    else if (byteAt(bytes, 3) == AddressIPv6)
        request.host = addressText(AF_INET6, address);
    else
        request.host = bytes.substr(5, addressLength - 1);
    request.port = portAt(bytes, 4 + addressLength);
    request.step = SocksRequest::Step::Done;
    request.length = 4 + addressLength + 2;
    if (byteAt(bytes, 1) != ConnectCommand)
        request.refusal = Socks5CommandNotSupported;
    return request;
}

SocksRequest readSocks4Request(std::string_view bytes)
{
    SocksRequest request;
    // VN CD DSTPORT DSTIP USERID 0, and with an address 0.0.0.x (x not 0) a name and 0 (SOCKS4a).
    constexpr std::size_t Fixed = 8;
    if (!bytes.empty() && byteAt(bytes, 0) != Socks4Version)
        return bad();
    if (bytes.size() < Fixed)
        return request;
    bool tooLong = false;
    const std::size_t userLength = textLength(bytes, Fixed, tooLong);
    if (tooLong)
        return bad();
    if (userLength == bytes.npos)
        return request;
    std::size_t length = Fixed + userLength + 1;
    const bool named
        = byteAt(bytes, 4) == 0 && byteAt(bytes, 5) == 0 && byteAt(bytes, 6) == 0 && byteAt(bytes, 7) != 0;
    if (named) {
        const std::size_t nameLength = textLength(bytes, length, tooLong);
        if (tooLong || nameLength == 0)
            return bad();
        if (nameLength == bytes.npos)
            return request;
        request.host = bytes.substr(length, nameLength);
        length += nameLength + 1;
    } else {
        request.host = addressText(AF_INET, bytes.data() + 4);
    }
    request.port = portAt(bytes, 2);
    request.step = SocksRequest::Step::Done;
    request.length = length;
    if (byteAt(bytes, 1) != ConnectCommand)
        request.refusal = Socks4Rejected;
    return request;
}

std::string socks5Reply(std::uint8_t code, const sockaddr_storage* bound)
{
    std::string reply = { char(Socks5Version), char(code), 0 };
    if (bound && bound->ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(*bound);
        reply += char(AddressIPv6);
        reply.append(reinterpret_cast<const char*>(&v6.sin6_addr), sizeof(v6.sin6_addr));
        reply.append(reinterpret_cast<const char*>(&v6.sin6_port), sizeof(v6.sin6_port));
    } else if (bound && bound->ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(*bound);
        reply += char(AddressIPv4);
        reply.append(reinterpret_cast<const char*>(&v4.sin_addr), sizeof(v4.sin_addr));
        reply.append(reinterpret_cast<const char*>(&v4.sin_port), sizeof(v4.sin_port));
    } else {
        reply += char(AddressIPv4);
        reply.append(6, '\0');
    }
    return reply;
}

std::string socks4Reply(std::uint8_t code, std::string_view request)
{
    std::string reply = { 0, char(code) };
    reply.append(request.size() >= 8 ? request.substr(2, 6) : std::string_view("\0\0\0\0\0\0", 6));
    return reply;
}
