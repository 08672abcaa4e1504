#include "CheckInput.h"

#include "HexDigit.h"

#include "CheckNetworks.h"

#include <array>

namespace {

constexpr std::array<const char*, 4> FieldNames = { "address", "port", "type", "country" };
// A diagnostic quotes this much of a field at most: enough to find the line, short enough to read.
constexpr qsizetype MostQuotedCharacters = 60;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

QString quoted(QByteArrayView text)
{
    const QString whole = QString::fromUtf8(text);
    QString shown = u'\'' + whole.left(MostQuotedCharacters);
    if (whole.size() > MostQuotedCharacters)
        shown += u"...";
    return shown + u'\'';
}

// A tsv field with tarnwick-search's escapes undone, or none when it holds one that tarnwick-search does
// not write: a backslash before anything else, "\u{" without four hexadecimal digits and "}", or a
// surrogate, which is no character.
std::optional<QByteArray> unescaped(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\') {
            bytes += c;
            continue;
        }
        const char next = i + 1 < field.size() ? field[i + 1] : '\0';
        if (next == '\\' || next == 't' || next == 'n' || next == 'r') {
            bytes += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
            ++i;
            continue;
        }
        // "\u{XXXX}": eight bytes from the backslash.
        if (next != 'u' || i + 8 > field.size() || field[i + 2] != '{' || field[i + 7] != '}')
            return std::nullopt;
        char32_t code = 0;
        for (qsizetype at = i + 3; at < i + 7; ++at) {
            const int digit = hexDigitValue(field[at]);
            if (digit < 0)
                return std::nullopt;
            code = code << 4 | char32_t(digit);
        }
        if (code >= 0xD800 && code <= 0xDFFF)
            return std::nullopt;
        bytes += QString(QChar(char16_t(code))).toUtf8();
        i += 7;
    }
    return bytes;
}

// 1 to 65535 in decimal digits.
std::optional<quint16> port(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535 ? std::optional(quint16(value)) : std::nullopt;
}

} // namespace

std::optional<CheckInput::Row> CheckInput::readLine(QByteArrayView line, QString& error)
{
    if (!line.isValidUtf8()) {
        error = QStringLiteral("not UTF-8");
        return std::nullopt;
    }
    Row row;
    QByteArrayView address;
    QByteArrayView portText;
    if (line.contains('\t')) {
        std::array<QByteArray, 4> fields;
        qsizetype count = 0;
        // Each pass takes one field off the line.
        for (qsizetype start = 0; start <= line.size(); ++count) {
            const qsizetype tab = line.indexOf('\t', start);
            const qsizetype end = tab < 0 ? line.size() : tab;
            if (count < 4) {
                const auto field = unescaped(line.sliced(start, end - start));
                if (!field) {
                    error = QStringLiteral("a backslash that starts no escape in the ")
                        + QLatin1String(FieldNames[size_t(count)]);
                    return std::nullopt;
                }
                fields[size_t(count)] = *field;
            }
            start = end + 1;
        }
        if (count != 4) {
            error = QString::number(count) + QStringLiteral(" tab-separated fields, not 4");
            return std::nullopt;
        }
        row.address = fields[0];
        row.port = fields[1];
        row.type = fields[2];
        row.country = fields[3];
        address = trimmed(row.address);
        if (address.startsWith('[') && address.endsWith(']'))
            address = address.sliced(1, address.size() - 2);
        portText = trimmed(row.port);
    } else {
        const QByteArrayView key = trimmed(line);
        const qsizetype colon = key.lastIndexOf(':');
        if (colon < 0) {
            error = QStringLiteral("not address:port: ") + quoted(key);
            return std::nullopt;
        }
        address = key.first(colon);
        portText = key.sliced(colon + 1);
        if (address.startsWith('[') && address.endsWith(']')) {
            address = address.sliced(1, address.size() - 2);
        } else if (address.contains(':')) {
            error = QStringLiteral("an IPv6 address is written [address]:port: ") + quoted(key);
            return std::nullopt;
        }
        row.address = address.toByteArray();
        row.port = portText.toByteArray();
    }

    const QString addressText = QString::fromUtf8(address);
    const auto portNumber = port(portText);
    if (!IpAddress::parse(addressText) && !CheckNetworks::isHostName(addressText)) {
        error = QStringLiteral("not an address: ") + quoted(address);
        return std::nullopt;
    }
    if (!portNumber) {
        error = QStringLiteral("not a port: ") + quoted(portText);
        return std::nullopt;
    }
    row.check = { addressText, *portNumber, proxyKindOfType(QString::fromUtf8(row.type)) };
    return row;
}

CheckInput CheckInput::read(QByteArrayView text)
{
    CheckInput input;
    qsizetype lineNumber = 0;
    // Each pass takes one line off the text.
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype feed = text.indexOf('\n', start);
        const qsizetype end = feed < 0 ? text.size() : feed;
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        ++lineNumber;
        // A file written with CR LF line ends.
        if (line.endsWith('\r'))
            line.chop(1);
        if (trimmed(line).isEmpty())
            continue;
        QString error;
        if (auto row = readLine(line, error))
            input.m_rows.append(std::move(*row));
        else
            input.m_diagnostics.append(
                QStringLiteral("line ") + QString::number(lineNumber) + QStringLiteral(": ") + error);
    }
    return input;
}
