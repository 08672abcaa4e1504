#include "LoopbackTarget.h"

#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

// The longest address text inet_pton reads, with room to spare; longer text is no address.
constexpr std::size_t MaxAddressText = 64;

bool isLocalhost(std::string_view host)
{
    constexpr std::string_view Name = "localhost";
    if (host.size() != Name.size())
        return false;
    for (std::size_t i = 0; i < Name.size(); ++i) {
        if ((host[i] | 0x20) != Name[i])
            return false;
    }
    return true;
}

} // namespace

bool isLoopback(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        return IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr);
    }
    return false;
}

std::optional<LoopbackTarget> loopbackTarget(std::string_view host, std::uint16_t port)
{
    if (port == 0 || host.empty() || host.size() > MaxAddressText)
        return std::nullopt;
    const std::string text = isLocalhost(host) ? std::string("127.0.0.1") : std::string(host);
    if (text.find('\0') != text.npos)
        return std::nullopt;

    LoopbackTarget target;
    auto& v4 = reinterpret_cast<sockaddr_in&>(target.address);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(target.address);
    if (inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        target.length = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        target.length = sizeof(sockaddr_in6);
    } else {
        return std::nullopt;
    }
    if (!isLoopback(target.address))
        return std::nullopt;
    return target;
}
