#include "StandinProxy.h"

#include <array>

namespace {

struct KindText
{
    std::string_view name;
    std::string_view verdict;
};

// In the order of ProxyKind.
constexpr std::array<KindText, ProxyKindCount> KindTexts = { {
    { "http-transparent", "transparent" },
    { "http-anonymous", "anonymous" },
    { "http-elite", "elite" },
    { "http-slow", "elite" },
    { "socks5", "elite" },
    { "socks4", "elite" },
    { "refused", "refused" },
    { "silent", "timeout" },
    { "altering", "altered" },
    { "error-status", "error" },
} };

} // namespace

std::string_view proxyKindName(ProxyKind kind)
{
    return KindTexts[std::size_t(kind)].name;
}

std::optional<ProxyKind> proxyKindNamed(std::string_view name)
{
    for (std::size_t kind = 0; kind < KindTexts.size(); ++kind) {
        if (KindTexts[kind].name == name)
            return ProxyKind(kind);
    }
    return std::nullopt;
}

std::string_view expectedVerdict(ProxyKind kind)
{
    return KindTexts[std::size_t(kind)].verdict;
}
