#include "PageCharset.h"

#include "Utf8Unit.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Labels that browsers decode as windows-1252, the Latin-1 names among them.
constexpr std::array Windows1252Labels = {
    "ansi_x3.4-1968",
    "ascii",
    "cp1252",
    "cp819",
    "csisolatin1",
    "ibm819",
    "iso-8859-1",
    "iso-ir-100",
    "iso8859-1",
    "iso88591",
    "iso_8859-1",
    "iso_8859-1:1987",
    "l1",
    "latin1",
    "us-ascii",
    "windows-1252",
    "x-cp1252",
};

constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC,
    0x0081,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0x008D,
    0x017D,
    0x008F,
    0x0090,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0x009D,
    0x017E,
    0x0178,
};

// windows-1252 bytes as UTF-8, written into `out` with its capacity kept. Our own table, so the fallback
// needs no codec library on any platform.
void windows1252ToUtf8(QByteArrayView bytes, QByteArray& out)
{
    out.resize(bytes.size() * 3);
    char* p = out.data();
    qsizetype i = 0;
    while (i < bytes.size()) {
        // Runs of ASCII eight bytes at a time.
        quint64 word;
        if (i + 8 <= bytes.size()
            && (std::memcpy(&word, bytes.data() + i, 8), (word & 0x8080808080808080ULL) == 0)) {
            std::memcpy(p, &word, 8);
            p += 8;
            i += 8;
            continue;
        }
        const auto c = uchar(bytes[i++]);
        p = putUtf8Unit(p, c < 0x80 || c >= 0xA0 ? c : Windows1252High[c - 0x80]);
    }
    out.resize(p - out.data());
}

QByteArray charsetToken(QByteArrayView text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i >= text.size() || text[i] != '=')
        return {};
    ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '"' || text[i] == '\''))
        ++i;
    const qsizetype begin = i;
    while (i < text.size()) {
        const char c = text[i];
        const bool tokenChar = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
            || c == '.' || c == ':';
        if (!tokenChar)
            break;
        ++i;
    }
    return text.sliced(begin, i - begin).toByteArray();
}

// The charset named by a Content-Type value such as `text/html; charset="utf-8"`.
QByteArray charsetFromContentType(const QByteArray& contentType)
{
    const QByteArray lower = contentType.toLower();
    const qsizetype at = lower.indexOf("charset");
    return at < 0 ? QByteArray() : charsetToken(lower, at + 7);
}

// The charset of a <meta charset=...> or <meta http-equiv ... content="...; charset=..."> near the start.
QByteArray charsetFromMeta(QByteArrayView bytes)
{
    const QByteArray head = bytes.first(std::min<qsizetype>(bytes.size(), 4096)).toByteArray().toLower();
    qsizetype meta = 0;
    while ((meta = head.indexOf("<meta", meta)) >= 0) {
        qsizetype end = head.indexOf('>', meta);
        if (end < 0)
            end = head.size();
        const QByteArrayView tag = QByteArrayView(head).sliced(meta, end - meta);
        const qsizetype at = tag.indexOf("charset");
        if (at >= 0) {
            QByteArray token = charsetToken(tag, at + 7);
            if (!token.isEmpty())
                return token;
        }
        meta = end;
    }
    return {};
}

bool isWindows1252Label(const QByteArray& label)
{
    return std::any_of(
        Windows1252Labels.begin(), Windows1252Labels.end(), [&](const char* name) { return label == name; });
}

constexpr QByteArrayView Utf8Bom = "\xEF\xBB\xBF";

bool isAscii(QByteArrayView bytes)
{
    quint64 seen = 0;
    qsizetype i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        quint64 word;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        seen |= word;
    }
    for (; i < bytes.size(); ++i)
        seen |= uchar(bytes[i]);
    return (seen & 0x8080808080808080ULL) == 0;
}

} // namespace

namespace PageCharset {

QByteArray of(QByteArrayView bytes, const QByteArray& contentType)
{
    if (bytes.startsWith(Utf8Bom))
        return "utf-8";
    for (const QByteArray& label : { charsetFromContentType(contentType), charsetFromMeta(bytes) }) {
        if (isWindows1252Label(label))
            return "windows-1252";
        if (label == "utf-8" || label == "utf8" || label == "unicode-1-1-utf-8")
            return "utf-8";
        if (!label.isEmpty() && QStringDecoder(label.constData()).isValid())
            return label;
    }
    return "windows-1252";
}

QString decode(QByteArrayView bytes, const QByteArray& contentType)
{
    const QByteArray charset = of(bytes, contentType);
    if (charset == "windows-1252") {
        QByteArray converted;
        windows1252ToUtf8(bytes, converted);
        return QString::fromUtf8(converted);
    }
    QStringDecoder decoder
        = charset == "utf-8" ? QStringDecoder(QStringDecoder::Utf8) : QStringDecoder(charset.constData());
    return decoder(bytes);
}

QByteArrayView utf8(QByteArrayView bytes, const QByteArray& contentType, QByteArray& converted)
{
    const QByteArray charset = of(bytes, contentType);
    QByteArrayView document = bytes;
    if (charset == "utf-8" && document.startsWith(Utf8Bom))
        document = document.sliced(Utf8Bom.size());
    // Pure ASCII reads the same in windows-1252 and UTF-8; valid UTF-8 is used as it is.
    if (charset == "utf-8" ? document.isValidUtf8() : charset == "windows-1252" && isAscii(document))
        return document;
    if (charset == "windows-1252") {
        windows1252ToUtf8(bytes, converted);
        return converted;
    }
    const QString text = decode(bytes, contentType);
    QStringEncoder encoder(QStringEncoder::Utf8);
    converted.resize(encoder.requiredSpace(text.size()));
    converted.resize(encoder.appendToBuffer(converted.data(), text) - converted.data());
    return converted;
}

} // namespace PageCharset
