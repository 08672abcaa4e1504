#include "CheckCommandLine.h"

#include "ListSite.h"

#include <cmath>

namespace {

QString quoted(const QString& text)
{
    return u'\'' + text + u'\'';
}

std::optional<CheckWriter::Format> formatNamed(const QString& name)
{
    if (name == u"tsv")
        return CheckWriter::Format::Tsv;
    if (name == u"csv")
        return CheckWriter::Format::Csv;
    if (name == u"json")
        return CheckWriter::Format::Json;
    return std::nullopt;
}

// Whole milliseconds; none for text that is no number of seconds within the range, nan and inf included.
std::optional<int> timeoutMilliseconds(const QString& text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok
        || !(seconds >= CheckCommandLine::LeastTimeoutSeconds
            && seconds <= CheckCommandLine::MostTimeoutSeconds))
        return std::nullopt;
    return int(std::lround(seconds * 1000));
}

// Decimal digits only, so "+8", " 8" and "0x8" are refused rather than read some way.
std::optional<int> concurrencyOf(const QString& text)
{
    if (text.isEmpty() || text.size() > 4)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value >= 1 && value <= CheckOptions::MostConcurrency ? std::optional(value) : std::nullopt;
}

QUrl httpAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    const bool http
        = url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") && !url.host().isEmpty();
    return http ? url : QUrl();
}

} // namespace

QUrl CheckCommandLine::defaultJudge()
{
    return ListSite::judgeAddress(ListSite::compiledBaseAddress());
}

CheckCommandLine CheckCommandLine::parse(const QStringList& arguments)
{
    CheckCommandLine result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(u"--")) {
            result.error = (argument.startsWith(u'-') ? QStringLiteral("unknown option ")
                                                      : QStringLiteral("unexpected argument "))
                + quoted(argument);
            return result;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = equals < 0 ? argument : argument.left(equals);
        if (name == u"--help" || name == u"--version" || name == u"--answering") {
            if (equals >= 0) {
                result.error = QStringLiteral("option ") + quoted(name) + QStringLiteral(" takes no value");
                return result;
            }
            (name == u"--help"             ? result.help
                    : name == u"--version" ? result.version
                                           : result.answering)
                = true;
            continue;
        }
        if (name != u"--judge" && name != u"--timeout" && name != u"--concurrency" && name != u"--proxy-type"
            && name != u"--format") {
            result.error = QStringLiteral("unknown option ") + quoted(argument);
            return result;
        }
        QString value;
        if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            result.error = QStringLiteral("option ") + quoted(name) + QStringLiteral(" needs a value");
            return result;
        }

        if (name == u"--judge") {
            result.judge = httpAddress(value);
            if (result.judge.isEmpty())
                result.error = QStringLiteral("not an http or https address: ") + quoted(value);
        } else if (name == u"--timeout") {
            const auto timeout = timeoutMilliseconds(value);
            result.timeoutMs = timeout.value_or(0);
            if (!timeout)
                result.error = QStringLiteral("--timeout takes seconds from 0.1 to 60, not ") + quoted(value);
        } else if (name == u"--concurrency") {
            const auto count = concurrencyOf(value);
            result.concurrency = count.value_or(0);
            if (!count)
                result.error = QStringLiteral("--concurrency takes a whole number from 1 to 1024, not ")
                    + quoted(value);
        } else if (name == u"--proxy-type") {
            result.forcedKind = proxyKindNamed(value);
            if (!result.forcedKind)
                result.error = QStringLiteral("unknown proxy type ") + quoted(value)
                    + QStringLiteral(" (http, socks4 or socks5)");
        } else {
            const auto format = formatNamed(value);
            result.format = format.value_or(CheckWriter::Format::Tsv);
            if (!format)
                result.error = QStringLiteral("unknown format ") + quoted(value)
                    + QStringLiteral(" (tsv, csv or json)");
        }
        if (!result.error.isEmpty())
            return result;
    }
    return result;
}

QString CheckCommandLine::helpText()
{
    return QStringLiteral(
        "Usage: tarnwick-check [OPTION]...\n"
        "Reads proxies on stdin, one a line: address:port ([address]:port for IPv6), or the tsv rows\n"
        "tarnwick-search prints (address, port, type, country). Asks the judge through each one and\n"
        "prints each row, in input order, with three more fields: answer (milliseconds until the\n"
        "judge's whole answer came back, empty for none), anonymity (transparent, anonymous or\n"
        "elite; empty for none) and reason (why it did not answer; empty when it did). Diagnostics\n"
        "go to stderr and start with \"tarnwick-check: \"; a malformed line is one and is skipped.\n"
        "The type field's letters choose the proxy's kind: socks5 in it SOCKS5, socks4 SOCKS4a,\n"
        "anything else HTTP.\n"
        "\n"
        "Options:\n"
        "  --judge URL          the judge to ask (default %1)\n"
        "  --timeout SECONDS    time a proxy may take to answer, 0.1 to 60 (default %2)\n"
        "  --concurrency N      proxies checked at once, 1 to 1024 (default %3)\n"
        "  --proxy-type TYPE    check every proxy as http, socks4 or socks5, whatever its type\n"
        "  --format FORMAT      how rows are printed (default tsv):\n"
        "                         tsv   address, port, type, country, answer, anonymity, reason\n"
        "                               separated by tabs; a backslash, tab, line feed and\n"
        "                               carriage return inside a field are written \\\\, \\t, \\n, \\r\n"
        "                         csv   RFC 4180 with a header line and CR LF line ends\n"
        "                         json  one array of objects with those keys, every field a string\n"
        "  --answering          print only the proxies that answered\n"
        "  --help               print this text and exit\n"
        "  --version            print the version and exit\n"
        "\n"
        "TARNWICK_CHECK_NETWORKS, when set, names the only networks a proxy or the judge may be in\n"
        "(e.g. 127.0.0.0/8,::1/128); other proxies are not checked. Documentation, multicast and\n"
        "other reserved addresses are never checked.\n"
        "\n"
        "Exit status:\n"
        "  0  some proxy answered\n"
        "  1  the output could not be written\n"
        "  2  usage error, a judge that may not be asked, or stdin could not be read\n"
        "  4  no proxy answered\n")
        .arg(defaultJudge().toString(), QString::number(CheckOptions::DefaultTimeoutMs / 1000),
            QString::number(CheckOptions::DefaultConcurrency));
}
