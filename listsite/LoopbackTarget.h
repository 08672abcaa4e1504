#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include <sys/socket.h>

// Where a stand-in proxy may connect: to loopback addresses only (127.0.0.0/8, ::1). No name is looked up,
// so no query can leave the machine: "localhost" (letter case ignored) stands for 127.0.0.1 and every
// other name is refused, as is every address off loopback and port 0.
struct LoopbackTarget
{
    sockaddr_storage address {};
    socklen_t length = 0;
};

// The target for a host written as an IPv4 address, an IPv6 address (without brackets) or "localhost",
// and a port; nullopt when it is not on loopback.
std::optional<LoopbackTarget> loopbackTarget(std::string_view host, std::uint16_t port);

// Whether a socket address is on loopback: checked again just before any connection is made.
bool isLoopback(const sockaddr_storage& address);
