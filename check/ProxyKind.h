#pragma once

#include <QStringView>

#include <optional>

// How a proxy is spoken to. SOCKS4a and SOCKS5 both hand a host name to the proxy, which resolves it, so
// a check never looks up the judge's name itself once it goes through one.
enum class ProxyKind
{
    Http,
    Socks4a,
    Socks5,
};

// The kind a list row's type cell names, letter case ignored: "socks5" anywhere in it a SOCKS5 proxy,
// else "socks4" a SOCKS4a one, anything else (HTTP, HTTPS, anonymous, empty) an HTTP proxy.
ProxyKind proxyKindOfType(QStringView type);

// The kind the command line names: "http", "socks4" or "socks5".
std::optional<ProxyKind> proxyKindNamed(QStringView name);
QStringView proxyKindName(ProxyKind kind);
