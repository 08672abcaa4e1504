#include "JudgePage.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::string_view LineEnd = "\r\n";
constexpr std::string_view HeadEnd = "\r\n\r\n";

bool isNonceCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
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

void appendVisible(std::string& out, std::string_view bytes)
{
    constexpr std::string_view Hex = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7f) {
            out += c;
        } else {
            out += "\\x";
            out += Hex[byte >> 4];
            out += Hex[byte & 0xf];
        }
    }
}

} // namespace

std::optional<std::string> judgeNonce(std::string_view target)
{
    const std::size_t question = target.find('?');
    if (question == target.npos)
        return std::nullopt;
    std::string_view query = target.substr(question + 1);
    std::optional<std::string> nonce;
    // Each pass takes one parameter off the query, so the loop ends after at most query.size() + 1 passes.
    while (true) {
        const std::size_t amp = query.find('&');
        const std::string_view parameter = query.substr(0, amp);
        if (parameter.starts_with("nonce=") || parameter == "nonce") {
            const std::string_view value = parameter.substr(std::min(parameter.size(), std::size_t(6)));
            if (nonce || value.empty() || value.size() > JudgeNonceMaxLength)
                return std::nullopt;
            for (const char c : value) {
                if (!isNonceCharacter(c))
                    return std::nullopt;
            }
            nonce = std::string(value);
        }
        if (amp == query.npos)
            break;
        query.remove_prefix(amp + 1);
    }
    return nonce;
}

std::optional<std::string> judgePage(
    std::string_view nonce, std::string_view address, std::string_view received)
{
    const std::size_t headEnd = received.find(HeadEnd);
    if (headEnd == received.npos)
        return std::nullopt;
    std::string_view rest = received.substr(0, headEnd + LineEnd.size());
    rest.remove_prefix(rest.find(LineEnd) + LineEnd.size()); // the request line

    // Header lines with folded lines joined, as name and value.
    struct Header
    {
        std::string name;
        std::string value;
        bool colon = true;
    };
    std::vector<Header> headers;
    while (!rest.empty()) {
        const std::size_t end = rest.find(LineEnd);
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + LineEnd.size());
        if (!line.empty() && isBlank(line.front()) && !headers.empty() && headers.back().colon) {
            headers.back().value.append(" ").append(trimmed(line));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == line.npos) {
            headers.push_back({ std::string(line), {}, false });
            continue;
        }
        headers.push_back(
            { std::string(line.substr(0, colon)), std::string(trimmed(line.substr(colon + 1))) });
    }

    std::string page = "tarnwick-judge 1\nnonce ";
    page.append(nonce).append("\naddress ");
    appendVisible(page, address);
    page += '\n';
    for (const Header& header : headers) {
        page += "header ";
        appendVisible(page, header.name);
        if (header.colon) {
            page += ": ";
            appendVisible(page, trimmed(header.value));
        }
        page += '\n';
    }
    return page;
}
