#pragma once

#include <QByteArrayView>

#include <array>
#include <cstring>
#include <string_view>

// How csv and json write a field's UTF-8 bytes, shared by the programs that print rows. Writing goes
// through a pointer into room made beforehand, so these spare a bounds check per byte.
namespace FieldEscapes {

// The bytes a format has to take care of. Those of csv and json are all ASCII, so a multi-byte character
// passes through them untouched.
using ByteSet = std::array<bool, 256>;

template <typename Holds> constexpr ByteSet bytesWhere(Holds holds)
{
    ByteSet set {};
    for (unsigned c = 0; c < set.size(); ++c)
        set[c] = holds(c);
    return set;
}

inline constexpr ByteSet CsvQuoted
    = bytesWhere([](unsigned c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
inline constexpr ByteSet JsonEscaped
    = bytesWhere([](unsigned c) { return c == '"' || c == '\\' || c < 0x20; });

// At most this many bytes come of one byte of a field: json writes a control character as "\u00XX".
inline constexpr qsizetype MostJsonBytesPerByte = 6;

inline bool in(const ByteSet& set, char c)
{
    return set[static_cast<unsigned char>(c)];
}

inline char* put(char* at, std::string_view text)
{
    // An empty field's view may hold no pointer at all, which memcpy must not be given.
    if (!text.empty())
        std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// RFC 4180: quoted when the field holds a comma, quote, CR or LF, with its quotes doubled.
inline char* putCsvField(char* at, QByteArrayView text)
{
    bool quote = false;
    for (const char c : text)
        quote |= in(CsvQuoted, c);
    if (!quote)
        return put(at, std::string_view(text.data(), size_t(text.size())));
    *at++ = '"';
    for (const char c : text) {
        *at++ = c;
        if (c == '"')
            *at++ = '"';
    }
    *at++ = '"';
    return at;
}

// A json string: quote, backslash and control characters escaped, everything else as it is.
inline char* putJsonString(char* at, QByteArrayView text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    *at++ = '"';
    for (const char c : text) {
        if (!in(JsonEscaped, c)) {
            *at++ = c;
            continue;
        }
        *at++ = '\\';
        if (c == '"' || c == '\\') {
            *at++ = c;
            continue;
        }
        at = put(at, "u00");
        *at++ = Hex[c >> 4];
        *at++ = Hex[c & 0xF];
    }
    *at++ = '"';
    return at;
}

} // namespace FieldEscapes
