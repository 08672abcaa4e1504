#include "HttpProxyRequest.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace {

constexpr std::string_view LineEnd = "\r\n";
constexpr std::string_view HeadEnd = "\r\n\r\n";
constexpr std::string_view ProxyName = "1.1 tarnwick-standin";
constexpr std::string_view InjectedLine = "Sponsored link: tarnwick-standin\n";
constexpr std::string_view CachedPrefix = "cached-";

constexpr std::array<std::string_view, 8> HopByHop = { "connection", "keep-alive", "proxy-connection",
    "proxy-authorization", "proxy-authenticate", "te", "trailer", "upgrade" };

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view reasonOf(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    case 502:
        return "Bad Gateway";
    case 504:
        return "Gateway Timeout";
    default:
        return "Error";
    }
}

struct HeaderLine
{
    std::string_view name; // empty for a folded line, which belongs to the header before it
    std::string_view value;
    std::string_view line;
};

// The header lines of a head after its request line.
std::vector<HeaderLine> headerLines(std::string_view head)
{
    std::vector<HeaderLine> lines;
    head.remove_prefix(head.find(LineEnd) + LineEnd.size());
    // Each pass takes one line off the head; the blank line ends it.
    while (!head.empty() && !head.starts_with(LineEnd)) {
        const std::size_t end = head.find(LineEnd);
        const std::string_view line = head.substr(0, end);
        head.remove_prefix(end == head.npos ? head.size() : end + LineEnd.size());
        const std::size_t colon = line.find(':');
        if (isBlank(line.front()) || colon == line.npos)
            lines.push_back({ {}, {}, line });
        else
            lines.push_back({ line.substr(0, colon), trimmed(line.substr(colon + 1)), line });
    }
    return lines;
}

bool namedIn(std::string_view name, std::string_view list)
{
    // Each pass takes one comma-separated token off the list.
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (sameName(trimmed(list.substr(0, comma)), name))
            return true;
        list.remove_prefix(comma == list.npos ? list.size() : comma + 1);
    }
    return false;
}

HttpProxyRequest refusal(int status)
{
    HttpProxyRequest request;
    request.status = status;
    return request;
}

} // namespace

HttpProxyRequest readProxyRequest(std::string_view head, ProxyHeaders added, std::string_view clientAddress)
{
    const std::string_view requestLine = head.substr(0, head.find(LineEnd));
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t lastSpace = requestLine.rfind(' ');
    if (firstSpace == requestLine.npos || firstSpace == lastSpace)
        return refusal(400);
    const std::string_view method = requestLine.substr(0, firstSpace);
    const std::string_view target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    const std::string_view version = requestLine.substr(lastSpace + 1);
    if (method != "GET" && method != "HEAD")
        return refusal(405);
    constexpr std::string_view Scheme = "http://";
    if ((version != "HTTP/1.1" && version != "HTTP/1.0") || target.size() <= Scheme.size()
        || !sameName(target.substr(0, Scheme.size()), Scheme))
        return refusal(400);

    // http://authority/path?query
    const std::string_view rest = target.substr(Scheme.size());
    const std::size_t pathStart = rest.find_first_of("/?");
    const std::string_view authority = rest.substr(0, pathStart);
    const std::string path = pathStart == rest.npos ? std::string("/")
        : rest[pathStart] == '?'                    ? '/' + std::string(rest.substr(pathStart))
                                                    : std::string(rest.substr(pathStart));
    if (authority.empty() || authority.find_first_of("@ \t") != authority.npos)
        return refusal(400);

    HttpProxyRequest request;
    std::string_view hostText = authority;
    std::string_view after; // ":port", or empty
    if (authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == authority.npos)
            return refusal(400);
        hostText = authority.substr(1, close - 1);
        after = authority.substr(close + 1);
    } else if (const std::size_t colon = authority.find(':'); colon != authority.npos) {
        hostText = authority.substr(0, colon);
        after = authority.substr(colon);
    }
    if (!after.empty() && (after.front() != ':' || after.size() == 1))
        return refusal(400);
    request.host = hostText;
    const std::string_view portText = after.empty() ? after : after.substr(1);
    if (!portText.empty()) {
        unsigned port = 0;
        const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (error != std::errc() || end != portText.data() + portText.size() || port == 0 || port > 65535)
            return refusal(400);
        request.port = std::uint16_t(port);
    }

    const std::vector<HeaderLine> lines = headerLines(head);
    std::string_view connection;
    bool hasHost = false;
    for (const HeaderLine& line : lines) {
        if (sameName(line.name, "connection"))
            connection = line.value;
        if (sameName(line.name, "host"))
            hasHost = true;
        // A body is not passed on, and a request that has one is not taken.
        if (sameName(line.name, "transfer-encoding")
            || (sameName(line.name, "content-length") && line.value != "0"))
            return refusal(400);
    }

    std::string& out = request.forward;
    out.append(method).append(" ").append(path).append(" ").append(version).append(LineEnd);
    bool passing = true; // whether the header that a folded line continues is passed on
    for (const HeaderLine& line : lines) {
        if (!line.name.empty()) {
            passing = true;
            for (const std::string_view name : HopByHop)
                passing = passing && !sameName(line.name, name);
            passing = passing && !namedIn(line.name, connection);
        }
        if (passing)
            out.append(line.line).append(LineEnd);
    }
    if (!hasHost)
        out.append("Host: ").append(authority).append(LineEnd);
    if (added != ProxyHeaders::None)
        out.append("Via: ").append(ProxyName).append(LineEnd);
    if (added == ProxyHeaders::ViaAndForwardedFor)
        out.append("X-Forwarded-For: ").append(clientAddress).append(LineEnd);
    out.append("Connection: close").append(HeadEnd);
    return request;
}

std::string statusAnswer(int status, std::string_view text)
{
    std::string answer = "HTTP/1.1 " + std::to_string(status) + ' ' + std::string(reasonOf(status));
    answer.append(LineEnd).append("Content-Type: text/plain; charset=utf-8").append(LineEnd);
    answer.append("Content-Length: ").append(std::to_string(text.size() + 1)).append(LineEnd);
    answer.append("Connection: close").append(HeadEnd);
    answer.append(text).append("\n");
    return answer;
}

void alterAnswer(std::string& answer, bool replaceNonce)
{
    const std::size_t headEnd = answer.find(HeadEnd);
    if (headEnd == answer.npos)
        return;
    const std::size_t bodyStart = headEnd + HeadEnd.size();
    std::size_t bodySize = answer.size() - bodyStart;

    const std::size_t nonceLine
        = answer.compare(bodyStart, 6, "nonce ") == 0 ? bodyStart : answer.find("\nnonce ", bodyStart);
    if (replaceNonce && nonceLine != answer.npos) {
        const std::size_t value = answer.find(' ', nonceLine) + 1;
        answer.insert(value, CachedPrefix);
        bodySize += CachedPrefix.size();
    } else {
        answer.insert(bodyStart, InjectedLine);
        bodySize += InjectedLine.size();
    }

    // The Content-Length header, if any, to the new size.
    const std::string_view head(answer.data(), headEnd + LineEnd.size());
    std::size_t lineStart = head.find(LineEnd) + LineEnd.size();
    while (lineStart < head.size()) {
        const std::size_t lineEnd = head.find(LineEnd, lineStart);
        const std::string_view line = head.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != line.npos && sameName(trimmed(line.substr(0, colon)), "content-length")) {
            const std::string value = std::to_string(bodySize);
            answer.replace(lineStart + colon + 1, line.size() - colon - 1, 1, ' ');
            answer.insert(lineStart + colon + 2, value);
            break;
        }
        lineStart = lineEnd + LineEnd.size();
    }
}
