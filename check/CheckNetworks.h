#pragma once

#include "IpAddress.h"

#include <QList>
#include <QString>

// Where checks may go. The environment variable TARNWICK_CHECK_NETWORKS, when set, is a guard: a
// comma-separated list of networks ("127.0.0.0/8,::1/128"; a lone address is a network of its own) that
// every proxy and the judge must lie in. Guard or no guard, addresses that can never be a proxy on the
// internet are refused: the documentation ranges, "this network", the reserved class E, multicast and
// the broadcast address (loopback stays allowed, for tests and a proxy of one's own). Everything is
// decided on the text before any connection; a host name is refused under a guard, since resolving it
// would itself be traffic, and allowed without one, where the engine resolves it and asks again about
// each address it would connect to.
class CheckNetworks
{
public:
    static constexpr QStringView VariableName = u"TARNWICK_CHECK_NETWORKS";
    static constexpr QStringView ReservedAddress = u"not checked: reserved address";
    static constexpr QStringView OutsideNetworks = u"not checked: outside the allowed networks";

    // No guard.
    CheckNetworks() = default;
    // The guard the environment sets; none when the variable is unset.
    static CheckNetworks fromEnvironment();
    // The guard `text` writes. A malformed one allows nothing, never everything, and error() tells why.
    static CheckNetworks parse(QStringView text);

    bool isGuarded() const { return m_guarded; }
    // Why the variable's value allows nothing, for people; empty when it was read.
    const QString& error() const { return m_error; }

    // Why a proxy or judge at `address` (an IPv4 or IPv6 address, or a host name) may not be checked:
    // ReservedAddress, OutsideNetworks, or an empty view when it may.
    QStringView refusal(QStringView address) const;
    // The same for an address itself, such as one a host name resolved to.
    QStringView refusal(const IpAddress& address) const;

    static bool isReserved(const IpAddress& address);
    // Whether `text` is a host name: dot-separated labels of letters, digits and inner hyphens, the last
    // one starting with a letter. Numbers such as "127.1" or "0x7f000001" are left out: a resolver reads
    // them as addresses.
    static bool isHostName(QStringView text);

private:
    struct Network
    {
        IpAddress address;
        int prefixLength = 0;
    };

    QList<Network> m_networks;
    bool m_guarded = false;
    QString m_error;
};
