#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <sys/socket.h>

// The SOCKS requests a stand-in proxy reads from the start of what its client sent: the SOCKS5 greeting
// and CONNECT request (RFC 1928, no authentication) and the SOCKS4 CONNECT request with SOCKS4a's names.
struct SocksRequest
{
    enum class Step
    {
        NeedMore, // not all of it has come yet
        Bad, // not this protocol, or malformed: close without a reply
        Done,
    };
    Step step = Step::NeedMore;
    std::size_t length = 0; // Done: how many bytes it took
    bool noAuthentication = false; // a SOCKS5 greeting: whether "no authentication" was offered
    std::uint8_t refusal = 0; // a request: the reply code refusing it, 0 when it may go ahead
    std::string host; // a request: a name, or an address as text
    std::uint16_t port = 0;
};

// SOCKS5 reply codes a stand-in proxy sends.
inline constexpr std::uint8_t Socks5Succeeded = 0x00;
inline constexpr std::uint8_t Socks5GeneralFailure = 0x01;
inline constexpr std::uint8_t Socks5NotAllowed = 0x02; // the target is not on loopback
inline constexpr std::uint8_t Socks5ConnectionRefused = 0x05;
inline constexpr std::uint8_t Socks5CommandNotSupported = 0x07;
inline constexpr std::uint8_t Socks5AddressTypeNotSupported = 0x08;
// SOCKS4 reply codes.
inline constexpr std::uint8_t Socks4Granted = 0x5a;
inline constexpr std::uint8_t Socks4Rejected = 0x5b;

SocksRequest readSocks5Greeting(std::string_view bytes);
SocksRequest readSocks5Request(std::string_view bytes);
SocksRequest readSocks4Request(std::string_view bytes);

// A SOCKS5 reply: the code and the address the proxy connected from (zero when there is none).
std::string socks5Reply(std::uint8_t code, const sockaddr_storage* bound = nullptr);
// A SOCKS4 reply: the code, and the target's port and IPv4 address as the request gave them.
std::string socks4Reply(std::uint8_t code, std::string_view request = {});
