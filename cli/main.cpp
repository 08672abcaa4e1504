// tarnwick-search: the window's search without the window, printing the table for scripts.

#include "CommandLine.h"
#include "FileOutput.h"
#include "HeadlessSearch.h"
#include "StandardError.h"
#include "TableWriter.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <csignal>
#endif

namespace {

enum ExitStatus
{
    AllPagesLoaded = 0,
    OutputFailed = 1,
    UsageError = 2,
    SomePagesFailed = 3,
    NoRowsFound = 4,
};

// Closes stdout after everything is written. A reader that has gone away ends the program quietly: by
// SIGPIPE when that signal has its default action, here when it is ignored.
bool finishOutput(FileOutput& out, bool written, int& status)
{
    if (written && out.close())
        return true;
    if (out.error() != EPIPE) {
        StandardError::printDiagnostic(
            QStringLiteral("write error: ") + QString::fromLocal8Bit(std::strerror(out.error())));
        status = OutputFailed;
    }
    return false;
}

QString counted(qsizetype count, const char* one, const char* many)
{
    return QString::number(count) + u' ' + QString::fromLatin1(count == 1 ? one : many);
}

} // namespace

int main(int argc, char* argv[])
{
    FileOutput::fillClosedStandardDescriptors();
#ifndef _WIN32
    // The network code may ignore SIGPIPE for its sockets; the table is written under the action the
    // program was started with, so a closed pipe ends it the way the caller expects.
    struct sigaction startPipeAction = {};
    sigaction(SIGPIPE, nullptr, &startPipeAction);
#endif
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = CommandLine::parse(arguments);
    if (!commandLine.error.isEmpty()) {
        StandardError::printDiagnostic(commandLine.error);
        StandardError::printLine(u"Try 'tarnwick-search --help' for the options.");
        return UsageError;
    }

    FileOutput out(1);
    if (commandLine.help || commandLine.version) {
        out.append((commandLine.help ? CommandLine::helpText()
                                     : QStringLiteral("tarnwick-search " TARNWICK_VERSION_TEXT "\n"))
                       .toStdString());
        int status = AllPagesLoaded;
        finishOutput(out, true, status);
        return status;
    }

    // Only the program's name reaches Qt, so no argument is taken for one of Qt's own options.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    HeadlessSearch search(commandLine.site, commandLine.timeoutMs);
    QObject::connect(&search, &HeadlessSearch::completed, &app, &QCoreApplication::quit);
    search.start();
    app.exec();
#ifndef _WIN32
    sigaction(SIGPIPE, &startPipeAction, nullptr);
#endif

    const SearchSummary& summary = search.summary();
    int status = summary.failedPages > 0 ? SomePagesFailed : summary.rows == 0 ? NoRowsFound : AllPagesLoaded;
    const TableWriter writer(commandLine.format, commandLine.types, commandLine.countries);
    const qsizetype printed = writer.write(search.rows(), out);
    if (!finishOutput(out, printed >= 0, status))
        return status;

    if (status == NoRowsFound)
        StandardError::printDiagnostic(u"every page loaded, but none held a row");
    StandardError::printDiagnostic(counted(printed, "row", "rows") + QStringLiteral(" (")
        + counted(summary.duplicates, "repeated key", "repeated keys") + QStringLiteral(" and ")
        + counted(summary.shortRows, "short row", "short rows") + QStringLiteral(" skipped)"));
    // Everything is written and closed; the table, the loader and the event loop need no tearing down
    // at exit, which for a large table costs more than the writing.
    std::_Exit(status);
}
