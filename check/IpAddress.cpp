#include "IpAddress.h"

#include <QList>

#include <algorithm>

namespace {

constexpr std::array<quint8, 12> MappedPrefix = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff };
// An IPv6 address is eight groups of 16 bits.
constexpr int GroupCount = 8;

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int hexValue(QChar c)
{
    if (isDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Four decimal numbers 0 to 255 separated by dots, none with a leading zero.
std::optional<std::array<quint8, 4>> parseIpv4(QStringView text)
{
    std::array<quint8, 4> bytes {};
    qsizetype count = 0;
    for (const QStringView number : text.tokenize(u'.')) {
        if (count == 4 || number.isEmpty() || number.size() > 3 || (number.size() > 1 && number[0] == u'0'))
            return std::nullopt;
        int value = 0;
        for (const QChar c : number) {
            if (!isDigit(c))
                return std::nullopt;
            value = value * 10 + (c.unicode() - u'0');
        }
        if (value > 255)
            return std::nullopt;
        bytes[size_t(count++)] = quint8(value);
    }
    return count == 4 ? std::optional(bytes) : std::nullopt;
}

// The groups of one side of "::" (or of the whole address without one): one to four hexadecimal digits
// each, separated by single colons, the last one perhaps an IPv4 address when `tailMayBeIpv4`.
bool parseGroups(QStringView text, bool tailMayBeIpv4, QList<quint16>& groups)
{
    if (text.isEmpty())
        return true;
    const QList<QStringView> groupTexts = text.split(u':');
    for (qsizetype i = 0; i < groupTexts.size(); ++i) {
        const QStringView group = groupTexts[i];
        if (tailMayBeIpv4 && i + 1 == groupTexts.size() && group.contains(u'.')) {
            const auto ipv4 = parseIpv4(group);
            if (!ipv4)
                return false;
            groups.append(quint16((*ipv4)[0] << 8 | (*ipv4)[1]));
            groups.append(quint16((*ipv4)[2] << 8 | (*ipv4)[3]));
            continue;
        }
        if (group.isEmpty() || group.size() > 4)
            return false;
        int value = 0;
        for (const QChar c : group) {
            const int digit = hexValue(c);
            if (digit < 0)
                return false;
            value = value * 16 + digit;
        }
        groups.append(quint16(value));
    }
    return groups.size() <= GroupCount;
}

} // namespace

std::optional<IpAddress> IpAddress::parse(QStringView text)
{
    IpAddress address;
    if (!text.contains(u':')) {
        const auto ipv4 = parseIpv4(text);
        if (!ipv4)
            return std::nullopt;
        std::copy(MappedPrefix.begin(), MappedPrefix.end(), address.m_bytes.begin());
        std::copy(ipv4->begin(), ipv4->end(), address.m_bytes.begin() + MappedPrefix.size());
        return address;
    }
    // Longer than any IPv6 text ("ffff:" seven times and an IPv4 tail): no need to look further.
    if (text.size() > 45)
        return std::nullopt;
    const qsizetype gap = text.indexOf(u"::");
    if (gap >= 0 && text.indexOf(u"::", gap + 1) >= 0)
        return std::nullopt;
    QList<quint16> head;
    QList<quint16> tail;
    if (gap < 0) {
        if (!parseGroups(text, true, head) || head.size() != GroupCount)
            return std::nullopt;
    } else {
        const QStringView after = text.sliced(gap + 2);
        // "::" stands for at least one group of zeros; an IPv4 tail ends the address.
        if (!parseGroups(text.first(gap), false, head) || !parseGroups(after, true, tail)
            || head.size() + tail.size() >= GroupCount)
            return std::nullopt;
    }
    const auto putGroup = [&address](qsizetype at, quint16 group) {
        address.m_bytes[size_t(2 * at)] = quint8(group >> 8);
        address.m_bytes[size_t(2 * at + 1)] = quint8(group & 0xff);
    };
    for (qsizetype i = 0; i < head.size(); ++i)
        putGroup(i, head[i]);
    for (qsizetype i = 0; i < tail.size(); ++i)
        putGroup(GroupCount - tail.size() + i, tail[i]);
    return address;
}

bool IpAddress::isIpv4() const
{
    return std::equal(MappedPrefix.begin(), MappedPrefix.end(), m_bytes.begin());
}

bool IpAddress::isIn(const IpAddress& network, int prefixLength) const
{
    if (isIpv4() != network.isIpv4() || prefixLength < 0 || prefixLength > bitCount())
        return false;
    // An IPv4 network's prefix counts from the first bit after the mapped prefix.
    int bits = prefixLength + (isIpv4() ? int(MappedPrefix.size()) * 8 : 0);
    for (size_t i = 0; bits > 0; ++i, bits -= 8) {
        const int mask = bits >= 8 ? 0xff : (0xff << (8 - bits)) & 0xff;
        if ((m_bytes[i] & mask) != (network.m_bytes[i] & mask))
            return false;
    }
    return true;
}
