#include "CommandLine.h"

#include "ListSite.h"

#include <QUrl>

#include <cmath>
#include <optional>

namespace {

QString quoted(const QString& text)
{
    return u'\'' + text + u'\'';
}

std::optional<TableWriter::Format> formatNamed(const QString& name)
{
    if (name == u"tsv")
        return TableWriter::Format::Tsv;
    if (name == u"plain")
        return TableWriter::Format::Plain;
    if (name == u"csv")
        return TableWriter::Format::Csv;
    if (name == u"json")
        return TableWriter::Format::Json;
    return std::nullopt;
}

// Whole milliseconds; none for text that is no number of seconds within the range, nan and inf included.
std::optional<int> timeoutMilliseconds(const QString& text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= CommandLine::LeastTimeoutSeconds && seconds <= CommandLine::MostTimeoutSeconds))
        return std::nullopt;
    return int(std::lround(seconds * 1000));
}

bool isHttpAddress(const QString& site)
{
    const QUrl url(site, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") && !url.host().isEmpty();
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine result;
    result.site = ListSite::compiledBaseAddress();
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
        if (name == u"--help" || name == u"--version") {
            if (equals >= 0) {
                result.error = QStringLiteral("option ") + quoted(name) + QStringLiteral(" takes no value");
                return result;
            }
            (name == u"--help" ? result.help : result.version) = true;
            continue;
        }
        if (name != u"--site" && name != u"--format" && name != u"--type" && name != u"--country"
            && name != u"--timeout") {
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

        if (name == u"--site") {
            if (!isHttpAddress(value)) {
                result.error = QStringLiteral("not an http or https address: ") + quoted(value);
                return result;
            }
            result.site = value;
        } else if (name == u"--format") {
            const auto format = formatNamed(value);
            if (!format) {
                result.error = QStringLiteral("unknown format ") + quoted(value)
                    + QStringLiteral(" (tsv, plain, csv or json)");
                return result;
            }
            result.format = *format;
        } else if (name == u"--type") {
            result.types.append(value);
        } else if (name == u"--country") {
            result.countries.append(value);
        } else {
            const auto timeout = timeoutMilliseconds(value);
            if (!timeout) {
                result.error
                    = QStringLiteral("--timeout takes seconds from 0.001 to 86400, not ") + quoted(value);
                return result;
            }
            result.timeoutMs = *timeout;
        }
    }
    return result;
}

QString CommandLine::helpText()
{
    return QStringLiteral(
        "Usage: tarnwick-search [OPTION]...\n"
        "Loads the seven list pages of the proxy list site and prints the table of proxy servers\n"
        "on stdout, UTF-8, in table order. Status texts and diagnostics go to stderr, one a line;\n"
        "diagnostics start with \"tarnwick-search: \" and the last one counts the rows.\n"
        "\n"
        "Options:\n"
        "  --site URL         base address of the list site (default %1)\n"
        "  --format FORMAT    how rows are printed (default tsv):\n"
        "                       tsv    address, port, type, country separated by tabs\n"
        "                       plain  the key, address:port\n"
        "                         (in tsv and plain a backslash, tab, line feed and carriage\n"
        "                         return inside a field are written \\\\, \\t, \\n, \\r)\n"
        "                       csv    RFC 4180 with a header line and CR LF line ends\n"
        "                       json   one array of objects: address, port, type, country\n"
        "  --type TEXT        print only rows of this type (letter case ignored); repeat for more\n"
        "  --country TEXT     print only rows of this country (letter case ignored); repeat for more\n"
        "  --timeout SECONDS  time a page may take before it counts as failed, 0.001 to 86400\n"
        "                     (default %2)\n"
        "  --help             print this text and exit\n"
        "  --version          print the version and exit\n"
        "\n"
        "Exit status:\n"
        "  0  all seven pages loaded\n"
        "  1  the output could not be written\n"
        "  2  usage error\n"
        "  3  some pages failed to load\n"
        "  4  every page loaded but none held a row\n")
        .arg(ListSite::compiledBaseAddress(), QString::number(DefaultTimeoutSeconds));
}
