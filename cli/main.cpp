#include "HeadlessSearch.h"
#include "ListSite.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int UsageError = 2;
constexpr int SomePagesFailed = 3;

int usageError(QTextStream& err, const QString& message)
{
    err << message << Qt::endl << QStringLiteral("Try 'tarnwick-search --help'.") << Qt::endl;
    return UsageError;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick-search"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.00"));

    QTextStream err(stderr);
    err.setEncoding(QStringConverter::Utf8);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Loads the seven list pages of the proxy list site and prints the table of proxy servers."));
    const QCommandLineOption siteOption(QStringLiteral("site"),
        QStringLiteral("Base address of the list site."), QStringLiteral("URL"),
        ListSite::compiledBaseAddress());
    const QCommandLineOption formatOption(QStringLiteral("format"),
        QStringLiteral("tsv (address, port, type, country) or plain (address:port)."),
        QStringLiteral("tsv|plain"), QStringLiteral("tsv"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
        QStringLiteral("Seconds a page may take before it counts as failed."), QStringLiteral("SECONDS"),
        QStringLiteral("30"));
    const QCommandLineOption helpOption = parser.addHelpOption();
    parser.addOptions({ siteOption, formatOption, timeoutOption });

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(err, parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            err, QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first());

    const QString format = parser.value(formatOption);
    if (format != u"tsv" && format != u"plain")
        return usageError(err, QStringLiteral("Unknown format: ") + format);
    bool timeoutOk = false;
    const double timeoutSeconds = parser.value(timeoutOption).toDouble(&timeoutOk);
    if (!timeoutOk || timeoutSeconds <= 0 || timeoutSeconds > 86400)
        return usageError(err, QStringLiteral("The timeout must be a number of seconds above 0."));
    const QString site = parser.value(siteOption);
    const QUrl siteUrl(site, QUrl::StrictMode);
    if (!siteUrl.isValid() || (siteUrl.scheme() != u"http" && siteUrl.scheme() != u"https")
        || siteUrl.host().isEmpty())
        return usageError(err, QStringLiteral("Not an http address: ") + site);

    HeadlessSearch search(site, int(timeoutSeconds * 1000), err);
    QObject::connect(&search, &HeadlessSearch::finished, &app, &QCoreApplication::quit);
    search.start();
    app.exec();

    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return 1;
    out.write(
        search.formatTable(format == u"plain" ? HeadlessSearch::Format::Plain : HeadlessSearch::Format::Tsv));
    out.flush();
    return search.failedPages() == 0 ? 0 : SomePagesFailed;
}
