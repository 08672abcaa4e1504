#pragma once

#include <optional>
#include <string>
#include <string_view>

// The judge: a page that tells a client what reached the site, so a proxy checker can see whether a proxy
// passed its request on, what the proxy added, and whether the answer came back unaltered.
//
//   tarnwick-judge 1
//   nonce N
//   address A
//   header Name: value        (one line per request header, in the order received)
//
// Lines end with LF. Names and values are written with printable ASCII as it is, a backslash as "\\" and
// every other byte (controls, DEL, bytes above 127) as "\xHH", so no header can break a line or the UTF-8.
// A header line without a colon is written whole after "header ". A folded line (one starting with a blank)
// joins the header before it, with one space.

inline constexpr std::string_view JudgeContentType = "text/plain; charset=utf-8";
inline constexpr std::size_t JudgeNonceMaxLength = 64;

// The nonce of a request target "/judge?...": exactly one "nonce" parameter, 1 to JudgeNonceMaxLength
// letters, digits, '-', '.', '_' or '~', written as is (no percent escapes). nullopt for anything else.
std::optional<std::string> judgeNonce(std::string_view target);

// The judge's page for a request whose raw bytes, as received, start with `received` (request line,
// headers, blank line). nullopt when `received` holds no complete head.
std::optional<std::string> judgePage(
    std::string_view nonce, std::string_view address, std::string_view received);
