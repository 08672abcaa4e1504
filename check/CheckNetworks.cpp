#include "CheckNetworks.h"

#include <QtGlobal>

namespace {

// A host name is at most 253 characters in its usual text, and each label 1 to 63 (RFC 1035).
constexpr qsizetype MostHostNameLength = 253;
constexpr qsizetype MostLabelLength = 63;

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isLabelCharacter(QChar c)
{
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'-';
}

// A prefix length: decimal digits without a leading zero, up to `most`.
std::optional<int> prefixLength(QStringView text, int most)
{
    if (text.isEmpty() || text.size() > 3 || (text.size() > 1 && text[0] == u'0'))
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value <= most ? std::optional(value) : std::nullopt;
}

struct Reserved
{
    const char16_t* address;
    int prefixLength;
};

// Addresses no proxy on the internet can have. Loopback is not among them.
constexpr Reserved ReservedNetworks[] = {
    { u"192.0.2.0", 24 }, // documentation (RFC 5737)
    { u"198.51.100.0", 24 },
    { u"203.0.113.0", 24 },
    { u"2001:db8::", 32 }, // documentation (RFC 3849)
    { u"0.0.0.0", 8 }, // "this network" (RFC 1122)
    { u"240.0.0.0", 4 }, // reserved, class E (RFC 1112), with the broadcast address in it
    { u"224.0.0.0", 4 }, // multicast
    { u"ff00::", 8 },
};

} // namespace

CheckNetworks CheckNetworks::fromEnvironment()
{
    const QString name = VariableName.toString();
    if (!qEnvironmentVariableIsSet(name.toLocal8Bit().constData()))
        return {};
    return parse(qEnvironmentVariable(name.toLocal8Bit().constData()));
}

CheckNetworks CheckNetworks::parse(QStringView text)
{
    CheckNetworks guard;
    guard.m_guarded = true;
    const auto fail = [&guard](const QString& why) {
        guard.m_networks.clear();
        guard.m_error = QStringLiteral("%1: %2; no address is checked").arg(VariableName, why);
        return guard;
    };
    if (text.trimmed().isEmpty())
        return fail(QStringLiteral("names no network"));
    for (const QStringView item : text.tokenize(u',')) {
        const QStringView network = item.trimmed();
        const qsizetype slash = network.indexOf(u'/');
        const auto address = IpAddress::parse(slash < 0 ? network : network.first(slash));
        const auto length = !address ? std::nullopt
            : slash < 0              ? std::optional(address->bitCount())
                                     : prefixLength(network.sliced(slash + 1), address->bitCount());
        if (!length)
            return fail(
                QStringLiteral("not a network: '%1' (write them as 127.0.0.0/8,::1/128)").arg(network));
        guard.m_networks.append({ *address, *length });
    }
    return guard;
}

QStringView CheckNetworks::refusal(QStringView address) const
{
    if (const auto ip = IpAddress::parse(address))
        return refusal(*ip);
    // A name is never resolved under a guard. Text that is neither an address nor a name names no network
    // we could allow.
    return m_guarded || !isHostName(address) ? OutsideNetworks : QStringView();
}

QStringView CheckNetworks::refusal(const IpAddress& address) const
{
    if (isReserved(address))
        return ReservedAddress;
    if (!m_guarded)
        return {};
    for (const Network& network : m_networks) {
        if (address.isIn(network.address, network.prefixLength))
            return {};
    }
    return OutsideNetworks;
}

bool CheckNetworks::isReserved(const IpAddress& address)
{
    for (const Reserved& reserved : ReservedNetworks) {
        if (address.isIn(*IpAddress::parse(QStringView(reserved.address)), reserved.prefixLength))
            return true;
    }
    return false;
}

bool CheckNetworks::isHostName(QStringView text)
{
    // One dot may end a fully qualified name.
    const QStringView name = text.endsWith(u'.') ? text.chopped(1) : text;
    if (name.isEmpty() || name.size() > MostHostNameLength)
        return false;
    QStringView last;
    for (const QStringView label : name.tokenize(u'.')) {
        if (label.isEmpty() || label.size() > MostLabelLength || label.startsWith(u'-')
            || label.endsWith(u'-'))
            return false;
        for (const QChar c : label) {
            if (!isLabelCharacter(c))
                return false;
        }
        last = label;
    }
    return isAsciiLetter(last[0]);
}
