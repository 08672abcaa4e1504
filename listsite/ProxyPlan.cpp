#include "ProxyPlan.h"

#include "ListCountries.h"
#include "ListPages.h"
#include "SplitMix64.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace {

// 254 hosts in each /24, leaving out .0 and .255.
constexpr int HostsPerBlock = 254;

// How often each kind is drawn after the first ten, out of 32, in the order of StandinKind: many lists
// hold more dead proxies than live ones.
constexpr std::array<std::uint64_t, StandinKindCount> KindWeights = { 3, 3, 4, 3, 4, 2, 5, 3, 2, 3 };
constexpr std::uint64_t KindWeightSum = 32;

constexpr std::array<std::string_view, 3> HttpTypes = { "transparent", "anonymous", "high anonymity" };
constexpr std::array<std::string_view, 5> AnyTypes
    = { "transparent", "anonymous", "high anonymity", "socks5", "socks4" };

// A slow proxy waits 50 to 200 ms: slow beside a loopback round trip, quick enough for a test. In a mix
// it waits from 0 ms on.
constexpr int SlowestDelayMs = 200;
constexpr int FastestSlowDelayMs = 50;

StandinKind drawKind(SplitMix64& random)
{
    std::uint64_t draw = random.below(KindWeightSum);
    for (int kind = 0; kind < StandinKindCount; ++kind) {
        if (draw < KindWeights[std::size_t(kind)])
            return StandinKind(kind);
        draw -= KindWeights[std::size_t(kind)];
    }
    return StandinKind::Refused; // not reached: the weights add up to KindWeightSum
}

template <std::size_t Size>
std::string_view drawFrom(SplitMix64& random, const std::array<std::string_view, Size>& texts)
{
    return texts[random.below(Size)];
}

std::string_view typeOf(StandinKind kind, SplitMix64& random)
{
    switch (kind) {
    case StandinKind::HttpTransparent:
        return HttpTypes[0];
    case StandinKind::HttpAnonymous:
        return HttpTypes[1];
    case StandinKind::HttpElite:
    case StandinKind::HttpSlow:
        return HttpTypes[2];
    case StandinKind::Socks5:
        return AnyTypes[3];
    case StandinKind::Socks4:
        return AnyTypes[4];
    case StandinKind::Refused:
    case StandinKind::Silent:
        return drawFrom(random, AnyTypes);
    case StandinKind::Altering:
    case StandinKind::ErrorStatus:
        break;
    }
    return drawFrom(random, HttpTypes);
}

// Proxy i of `kind`: its address, and the rest drawn from its own sequence.
StandinProxy planProxy(int i, StandinKind kind, SplitMix64& random, int fastestDelayMs, int rowsPerPage)
{
    StandinProxy proxy;
    proxy.kind = kind;
    proxy.address
        = "127.10." + std::to_string(i / HostsPerBlock) + '.' + std::to_string(i % HostsPerBlock + 1);
    if (kind == StandinKind::HttpSlow) {
        const int delays = SlowestDelayMs - fastestDelayMs + 1;
        proxy.delayMs = SlowestDelayMs - int(random.below(std::uint64_t(delays)));
    }
    if (kind == StandinKind::ErrorStatus)
        proxy.errorStatus = random.below(2) == 0 ? 403 : 502;
    if (kind == StandinKind::Altering)
        proxy.replacesNonce = random.below(2) == 0;
    proxy.type = typeOf(kind, random);
    proxy.country = ListCountries[random.below(ListCountries.size())];
    proxy.page = int(random.below(ListPageCount));
    proxy.place = int(random.below(std::uint64_t(rowsPerPage) + 1));
    return proxy;
}

// Each proxy draws from its own sequence, as each list row does.
SplitMix64 proxySequence(std::uint64_t seed, int i)
{
    return SplitMix64(SplitMix64::mix(seed) ^ SplitMix64::mix(0x70726f7879000000ULL + std::uint64_t(i)));
}

} // namespace

std::vector<StandinProxy> planProxies(std::uint64_t seed, int count, int rowsPerPage)
{
    if (count < 0 || count > StandinProxyMax)
        throw std::out_of_range("stand-in proxy count out of range");

    // The first ten take each kind once, in an order drawn from the seed.
    std::array<StandinKind, StandinKindCount> firstKinds {};
    SplitMix64 shuffle(SplitMix64::mix(seed) ^ 0x7072787966697273ULL);
    for (int kind = 0; kind < StandinKindCount; ++kind)
        firstKinds[std::size_t(kind)] = StandinKind(kind);
    for (std::size_t i = firstKinds.size() - 1; i > 0; --i)
        std::swap(firstKinds[i], firstKinds[shuffle.below(i + 1)]);

    std::vector<StandinProxy> proxies;
    proxies.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        SplitMix64 random = proxySequence(seed, i);
        const StandinKind kind = i < StandinKindCount ? firstKinds[std::size_t(i)] : drawKind(random);
        proxies.push_back(planProxy(i, kind, random, FastestSlowDelayMs, rowsPerPage));
    }
    return proxies;
}

std::vector<StandinProxy> planProxies(std::uint64_t seed, const ProxyMix& mix, int rowsPerPage)
{
    std::vector<StandinKind> kinds;
    for (int kind = 0; kind < StandinKindCount; ++kind) {
        const int count = mix[std::size_t(kind)];
        if (count < 0 || count > StandinProxyMax - int(kinds.size()))
            throw std::out_of_range("stand-in proxy count out of range");
        kinds.insert(kinds.end(), std::size_t(count), StandinKind(kind));
    }
    SplitMix64 shuffle(SplitMix64::mix(seed) ^ 0x6d69787475726573ULL);
    for (std::size_t i = kinds.size(); i > 1; --i)
        std::swap(kinds[i - 1], kinds[shuffle.below(i)]);

    std::vector<StandinProxy> proxies;
    proxies.reserve(kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        SplitMix64 random = proxySequence(seed, int(i));
        proxies.push_back(planProxy(int(i), kinds[i], random, 0, rowsPerPage));
    }
    return proxies;
}

std::string proxyListText(const std::vector<StandinProxy>& proxies)
{
    std::string text;
    for (const StandinProxy& proxy : proxies) {
        text.append(proxy.key()).append("\t").append(standinKindName(proxy.kind)).append("\t");
        text.append(expectedVerdict(proxy.kind))
            .append("\t")
            .append(std::to_string(proxy.delayMs))
            .append("\n");
    }
    return text;
}
