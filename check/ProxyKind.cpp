#include "ProxyKind.h"

ProxyKind proxyKindOfType(QStringView type)
{
    // "socks5" first: a cell such as "SOCKS4/SOCKS5" names a proxy that speaks both, and 5 resolves names
    // the same way with more to offer.
    if (type.contains(u"socks5", Qt::CaseInsensitive))
        return ProxyKind::Socks5;
    if (type.contains(u"socks4", Qt::CaseInsensitive))
        return ProxyKind::Socks4a;
    return ProxyKind::Http;
}

std::optional<ProxyKind> proxyKindNamed(QStringView name)
{
    for (const ProxyKind kind : { ProxyKind::Http, ProxyKind::Socks4a, ProxyKind::Socks5 }) {
        if (name == proxyKindName(kind))
            return kind;
    }
    return std::nullopt;
}

QStringView proxyKindName(ProxyKind kind)
{
    switch (kind) {
    case ProxyKind::Http:
        return u"http";
    case ProxyKind::Socks4a:
        return u"socks4";
    case ProxyKind::Socks5:
        return u"socks5";
    }
    return {};
}
