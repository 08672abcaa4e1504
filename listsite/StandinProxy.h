#pragma once

#include <optional>
#include <string>
#include <string_view>

// What a stand-in proxy does with what it is sent.
enum class StandinKind
{
    HttpTransparent, // passes a request on, adding X-Forwarded-For (the client's address) and Via
    HttpAnonymous, // passes a request on, adding Via
    HttpElite, // passes a request on, adding no header that tells of a proxy
    HttpSlow, // as HttpElite, after a delay
    Socks5, // SOCKS5 without authentication: CONNECT, then the bytes both ways as they are
    Socks4, // SOCKS4 and SOCKS4a: CONNECT, then the bytes both ways as they are
    Refused, // nothing listens: a connection is refused
    Silent, // takes connections and what comes on them, and never answers
    Altering, // passes a request on, as HttpElite, and changes the page that comes back
    ErrorStatus, // answers every request with an error status
};
inline constexpr int StandinKindCount = 10;

// The kind's name in the proxy list file.
std::string_view standinKindName(StandinKind kind);
// The kind of that name, or none.
std::optional<StandinKind> standinKindNamed(std::string_view name);

// What a proxy checker should conclude of a proxy of the kind: "transparent", "anonymous" or "elite" for
// one that passes the judge's page on unchanged (how much it tells of its client), "refused", "timeout",
// "altered" (an answer, but not the judge's page as sent) or "error" (an error status, no page).
std::string_view expectedVerdict(StandinKind kind);

// One stand-in proxy: where it listens, how it behaves and where the list pages show it.
struct StandinProxy
{
    StandinKind kind = StandinKind::HttpElite;
    std::string address; // in 127.10.0.0/16, one address for each proxy
    int port = 0; // 0 until its socket is bound
    int delayMs = 0; // how long a request waits before it is passed on
    int errorStatus = 0; // ErrorStatus: the status answered (403 or 502)
    bool replacesNonce = false; // Altering: changes the nonce line; otherwise puts a line before the page
    std::string type; // the list's type cell: what the list claims
    std::string country;
    int page = 0; // the list page that shows it
    int place = 0; // shown before this row of the page's made-up rows (after all of them when that many)

    std::string key() const { return address + ':' + std::to_string(port); }
};
