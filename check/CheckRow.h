#pragma once

#include "ProxyKind.h"

#include <QString>

// One proxy to check, as a list row names it.
struct CheckRow
{
    // An IPv4 or IPv6 address (without brackets) or a host name, as IpAddress and CheckNetworks read them.
    QString address;
    quint16 port = 0;
    // The kind the row's type cell names; CheckRun puts a kind the options force in its place.
    ProxyKind kind = ProxyKind::Http;
};
