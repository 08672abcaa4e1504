#include "JudgeAnswer.h"

#include "HexDigit.h"

#include "CheckResult.h"

#include <QRandomGenerator>
#include <QUrlQuery>

#include <algorithm>
#include <optional>

namespace {

// The judge takes a nonce of 1 to 64 letters, digits, "-", ".", "_" or "~": characters a query carries as
// they are.
constexpr qsizetype MostNonceLength = 64;

bool isNonceCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-'
        || c == u'.' || c == u'_' || c == u'~';
}

bool isNonce(QStringView text)
{
    return !text.isEmpty() && text.size() <= MostNonceLength
        && std::all_of(text.begin(), text.end(), [](QChar c) { return isNonceCharacter(c.unicode()); });
}

// `text` with the judge's escapes undone, or none when it holds one the judge does not write.
std::optional<QString> unescaped(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            bytes += '\\';
            ++i;
            continue;
        }
        const int high = i + 3 < text.size() && text[i + 1] == 'x' ? hexDigitValue(text[i + 2]) : -1;
        const int low = high < 0 ? -1 : hexDigitValue(text[i + 3]);
        if (low < 0)
            return std::nullopt;
        bytes += char(high << 4 | low);
        i += 3;
    }
    // Bytes from escapes may be any; a header's text only matters where it is ASCII.
    return QString::fromUtf8(bytes);
}

bool isAddressCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u'.'
        || c == u':';
}

// Whether a header's value carries `ours` as an address of its own, not inside a longer number: the value
// is cut at every character no address has, and each piece read as one, also with a port after an IPv4
// address ("192.0.2.7:8080", "[2001:db8::7]:80" leaves "2001:db8::7" and ":80").
bool carriesAddress(QStringView value, const IpAddress& ours)
{
    qsizetype start = 0;
    for (qsizetype end = 0; end <= value.size(); ++end) {
        if (end < value.size() && isAddressCharacter(value[end]))
            continue;
        const QStringView piece = value.sliced(start, end - start);
        start = end + 1;
        auto address = IpAddress::parse(piece);
        const qsizetype colon = piece.lastIndexOf(u':');
        if (!address && colon > piece.lastIndexOf(u'.') && piece.contains(u'.'))
            address = IpAddress::parse(piece.first(colon));
        if (address && *address == ours)
            return true;
    }
    return false;
}

bool isProxyHeader(QStringView name)
{
    return std::any_of(JudgeAnswer::ProxyHeaders.begin(), JudgeAnswer::ProxyHeaders.end(),
        [name](QStringView header) { return name.compare(header, Qt::CaseInsensitive) == 0; });
}

} // namespace

JudgeAnswer JudgeAnswer::read(QByteArrayView body)
{
    JudgeAnswer answer;
    if (body.size() > MostBytes) {
        answer.m_failure = CheckResult::TooLarge;
        return answer;
    }
    answer.m_failure = CheckResult::NotAJudgeAnswer;
    // Only text: valid UTF-8, no control character but the line feeds, the last line ended.
    const bool control = std::any_of(body.begin(), body.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\n') || byte == 0x7f;
    });
    if (!body.isValidUtf8() || control || !body.endsWith('\n'))
        return answer;

    qsizetype lineNumber = 0;
    // Each pass takes one line off the body.
    for (qsizetype start = 0; start < body.size();) {
        const qsizetype end = body.indexOf('\n', start);
        const QByteArrayView line = body.sliced(start, end - start);
        start = end + 1;
        const qsizetype space = line.indexOf(' ');
        const QByteArrayView keyword = space < 0 ? line : line.first(space);
        const QByteArrayView rest = space < 0 ? QByteArrayView() : line.sliced(space + 1);
        ++lineNumber;
        if (lineNumber == 1) {
            if (line != "tarnwick-judge 1")
                return answer;
        } else if (lineNumber == 2) {
            answer.m_nonce = QString::fromLatin1(rest);
            if (keyword != "nonce" || !isNonce(answer.m_nonce))
                return answer;
        } else if (lineNumber == 3) {
            const auto address = keyword == "address" ? unescaped(rest) : std::nullopt;
            const auto ip = address ? IpAddress::parse(*address) : std::nullopt;
            if (!ip)
                return answer;
            answer.m_address = *ip;
        } else {
            // The judge writes a request's line without a colon whole, as a name.
            const qsizetype colon = rest.indexOf(':');
            const auto name
                = keyword == "header" ? unescaped(colon < 0 ? rest : rest.first(colon)) : std::nullopt;
            const auto value = colon < 0 ? std::optional(QString()) : unescaped(rest.sliced(colon + 1));
            if (!name || name->isEmpty() || !value)
                return answer;
            answer.m_headers.append({ *name, value->trimmed() });
        }
    }
    if (lineNumber < 3)
        return answer;
    answer.m_failure = {};
    return answer;
}

JudgeAnswer JudgeAnswer::read(QByteArrayView body, QStringView nonce)
{
    JudgeAnswer answer = read(body);
    if (answer.isValid() && answer.m_nonce != nonce)
        answer.m_failure = CheckResult::NonceMissing;
    return answer;
}

Anonymity JudgeAnswer::anonymity(const IpAddress& ours) const
{
    bool present = false;
    for (const Header& header : m_headers) {
        if (!isProxyHeader(header.name))
            continue;
        if (carriesAddress(header.value, ours))
            return Anonymity::Transparent;
        present = true;
    }
    return present ? Anonymity::Anonymous : Anonymity::Elite;
}

QString JudgeAnswer::newNonce()
{
    // 16 hexadecimal digits: 64 bits, with zeros in front so the length never varies.
    return QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

QUrl JudgeAnswer::addressWithNonce(const QUrl& judge, const QString& nonce)
{
    QUrlQuery query(judge);
    query.removeAllQueryItems(QStringLiteral("nonce"));
    query.addQueryItem(QStringLiteral("nonce"), nonce);
    QUrl address = judge;
    address.setQuery(query);
    return address;
}
