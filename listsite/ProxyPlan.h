#pragma once

#include "StandinProxy.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The stand-in proxies that the list site starts and lists, made from the seed alone: the same seed and
// count give the same kinds, addresses, delays and places on the pages. The ports come from the system
// when the proxies' sockets are bound.

inline constexpr int StandinProxyMax = 4096;

// `count` proxies (0 to StandinProxyMax) for pages of `rowsPerPage` made-up rows. Proxy i listens on
// 127.10.(i / 254).(i % 254 + 1). With ten or more, every kind is among the first ten; the rest are drawn,
// refused ones the most common.
std::vector<StandinProxy> planProxies(std::uint64_t seed, int count, int rowsPerPage);

// How many proxies of each kind, in the order of StandinKind.
using ProxyMix = std::array<int, StandinKindCount>;

// The proxies of `mix` (each count 0 or more, StandinProxyMax in all at most) in an order drawn from the
// seed, proxy i on the address planProxies gives it. Here an http-slow proxy waits 0 to 200 ms, so a mix
// of them alone spreads the answers over all of that time.
std::vector<StandinProxy> planProxies(std::uint64_t seed, const ProxyMix& mix, int rowsPerPage);

// The proxy list file: a line "address:port<TAB>kind<TAB>expected verdict<TAB>delay in ms" for each proxy.
std::string proxyListText(const std::vector<StandinProxy>& proxies);
