#include "VisibleText.h"

#include <algorithm>

namespace {

bool anyMayStartEscape(QByteArrayView utf8)
{
    return std::any_of(utf8.begin(), utf8.end(),
        [](char c) { return mayStartVisibleEscape(static_cast<unsigned char>(c)); });
}

char* putCodePoint(char* at, char32_t c)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    *at++ = '\\';
    *at++ = 'u';
    *at++ = '{';
    for (int shift = 12; shift >= 0; shift -= 4)
        *at++ = Hex[(c >> shift) & 0xF];
    *at++ = '}';
    return at;
}

// The bidirectional control that E2 `second` `third` encodes, or 0.
char32_t bidiControl(unsigned char second, unsigned char third)
{
    const char32_t c = 0x2000 | char32_t((second & 0x3F) << 6) | (third & 0x3F);
    const bool continuations = (second & 0xC0) == 0x80 && (third & 0xC0) == 0x80;
    const bool bidi
        = c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    return continuations && bidi ? c : 0;
}

} // namespace

char* putVisible(char* at, QByteArrayView utf8)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p != end) {
        const unsigned char c = *p;
        if (!mayStartVisibleEscape(c)) {
            *at++ = char(c);
            ++p;
            continue;
        }
        if (c == '\\' || c == '\t' || c == '\n' || c == '\r') {
            *at++ = '\\';
            *at++ = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\\';
            ++p;
        } else if (c < 0x20 || c == 0x7F) {
            at = putCodePoint(at, c);
            ++p;
        } else if (c == 0xC2 && end - p >= 2 && p[1] >= 0x80 && p[1] <= 0x9F) {
            at = putCodePoint(at, p[1]);
            p += 2;
        } else if (const char32_t bidi = c == 0xE2 && end - p >= 3 ? bidiControl(p[1], p[2]) : 0; bidi != 0) {
            at = putCodePoint(at, bidi);
            p += 3;
        } else {
            *at++ = char(c);
            ++p;
        }
    }
    return at;
}

void appendVisible(QByteArray& out, QByteArrayView utf8)
{
    if (!anyMayStartEscape(utf8)) {
        out += utf8;
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + MostVisibleBytesPerByte * utf8.size());
    out.resize(putVisible(out.data() + at, utf8) - out.constData());
}

QString visibleText(QByteArrayView utf8)
{
    if (!anyMayStartEscape(utf8))
        return QString::fromUtf8(utf8);
    QByteArray visible;
    appendVisible(visible, utf8);
    return QString::fromUtf8(visible);
}
