#pragma once

#include <QStringView>

#include <array>
#include <optional>

// An IPv4 or IPv6 address, read strictly from its usual text, for deciding where a check may go. Only the
// forms every resolver reads alike are taken: IPv4 as four decimal numbers 0 to 255 without leading zeros
// (inet_aton reads "010" as octal 8 and "127.1", "2130706433" or "0x7f.1" as 127.0.0.1, so a looser
// reading here could allow one address and connect to another), IPv6 as RFC 4291 text (hexadecimal
// groups, at most one "::", an IPv4 tail), without brackets or zone. An IPv4-mapped IPv6 address
// (::ffff:a.b.c.d) is the IPv4 address it maps: a connection to it goes there.
class IpAddress
{
public:
    static std::optional<IpAddress> parse(QStringView text);

    bool isIpv4() const;
    // The bits an address has: 32 for IPv4, 128 for IPv6.
    int bitCount() const { return isIpv4() ? 32 : 128; }
    // Whether this address lies in the network of `network`'s first `prefixLength` bits (0 to its
    // bitCount()); an IPv4 address lies in IPv4 networks only, an IPv6 one in IPv6 networks only.
    bool isIn(const IpAddress& network, int prefixLength) const;

    friend bool operator==(const IpAddress&, const IpAddress&) = default;

private:
    // IPv4 stored mapped, ::ffff:a.b.c.d, so that both forms of one address compare equal.
    std::array<quint8, 16> m_bytes {};
};
