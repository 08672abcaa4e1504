#include "StandinProxy.h"

#include <array>

namespace {

struct KindText
{
    std::string_view name;
    std::string_view verdict;
};

// In the order of StandinKind.
constexpr std::array<KindText, StandinKindCount> KindTexts = { {
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

std::string_view standinKindName(StandinKind kind)
{
    return KindTexts[std::size_t(kind)].name;
}

std::optional<StandinKind> standinKindNamed(std::string_view name)
{
    for (std::size_t kind = 0; kind < KindTexts.size(); ++kind) {
        if (KindTexts[kind].name == name)
            return StandinKind(kind);
    }
    return std::nullopt;
}

std::string_view expectedVerdict(StandinKind kind)
{
    return KindTexts[std::size_t(kind)].verdict;
}
