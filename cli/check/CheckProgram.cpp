#include "CheckProgram.h"

#include "CheckCommandLine.h"
#include "FileOutput.h"
#include "StandardError.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
// SIGPIPE's action when the program started. The engine's network code may ignore the signal for its
// sockets; the output is written under the action the caller chose, so a closed pipe ends the program
// the way the caller expects.
struct sigaction startPipeAction = {};
#endif

void restoreStartPipeAction()
{
#ifndef _WIN32
    sigaction(SIGPIPE, &startPipeAction, nullptr);
#endif
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// All of stdin, or the errno value of the read that failed.
QByteArray readStandardInput(int& error)
{
    QByteArray bytes;
    // Read a block at a time; the array doubles as it fills, so a long list costs few copies.
    constexpr qsizetype BlockBytes = 64 * 1024;
    error = 0;
    while (true) {
        const qsizetype size = bytes.size();
        bytes.resize(size + BlockBytes);
#ifdef _WIN32
        const long long got = _read(0, bytes.data() + size, unsigned(BlockBytes));
#else
        const long long got = ::read(0, bytes.data() + size, size_t(BlockBytes));
#endif
        bytes.resize(size + (got > 0 ? qsizetype(got) : 0));
        if (got == 0)
            return bytes;
        if (got < 0 && errno != EINTR) {
            error = errno;
            return bytes;
        }
    }
}

// Closes stdout after everything is written. A reader that has gone away ends the program quietly: by
// SIGPIPE when that signal has its default action, here when it is ignored.
bool finishOutput(FileOutput& out, bool written, int& status)
{
    if (written && out.close())
        return true;
    if (out.error() != EPIPE) {
        StandardError::printDiagnostic(QStringLiteral("write error: ") + errorText(out.error()));
        status = CheckProgram::OutputFailed;
    }
    return false;
}

} // namespace

CheckProgram::CheckProgram(
    QList<CheckInput::Row> rows, CheckWriter::Format format, bool answering, FileOutput& out)
    : m_rows(std::move(rows))
    , m_results(m_rows.size())
    , m_answering(answering)
    , m_out(out)
    , m_writer(format, out)
{ }

bool CheckProgram::flush()
{
    restoreStartPipeAction();
    return m_out.flush();
}

bool CheckProgram::take(qsizetype index, const CheckResult& result)
{
    m_results[index] = result;
    m_answered += result.answered ? 1 : 0;
    const qsizetype first = m_next;
    for (; m_next < m_rows.size() && m_results[m_next]; ++m_next) {
        const CheckResult& done = *m_results[m_next];
        const CheckInput::Row& row = m_rows[m_next];
        if (!m_answering || done.answered)
            m_writer.write(row.address, row.port, row.type, row.country, done);
        // A printed row is not needed again.
        m_results[m_next].reset();
        m_rows[m_next] = {};
    }
    return m_next == first || flush();
}

int CheckProgram::main(int argc, char* argv[], const RunFactory& createRun)
{
    FileOutput::fillClosedStandardDescriptors();
    StandardError::setProgramName(u"tarnwick-check");
#ifndef _WIN32
    sigaction(SIGPIPE, nullptr, &startPipeAction);
#endif
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CheckCommandLine commandLine = CheckCommandLine::parse(arguments);
    if (!commandLine.error.isEmpty()) {
        StandardError::printDiagnostic(commandLine.error);
        StandardError::printLine(u"Try 'tarnwick-check --help' for the options.");
        return UsageError;
    }
    FileOutput out(1);
    if (commandLine.help || commandLine.version) {
        out.append((commandLine.help ? CheckCommandLine::helpText()
                                     : QStringLiteral("tarnwick-check " TARNWICK_VERSION_TEXT "\n"))
                       .toStdString());
        int status = SomeAnswered;
        finishOutput(out, true, status);
        return status;
    }

    CheckOptions options;
    options.judge = commandLine.judge;
    options.timeoutMs = commandLine.timeoutMs;
    options.concurrency = commandLine.concurrency;
    options.forcedKind = commandLine.forcedKind;
    options.networks = CheckNetworks::fromEnvironment();
    if (!options.networks.error().isEmpty())
        StandardError::printDiagnostic(options.networks.error());
    // Without a judge no row can be checked; better said once than on every row.
    if (const QStringView refusal = options.networks.refusal(options.judge.host()); !refusal.isEmpty()) {
        StandardError::printDiagnostic(QStringLiteral("judge %1: %2").arg(options.judge.toString(), refusal));
        return UsageError;
    }

    int readError = 0;
    CheckInput input = CheckInput::read(readStandardInput(readError));
    if (readError != 0) {
        StandardError::printDiagnostic(QStringLiteral("read error: ") + errorText(readError));
        return UsageError;
    }
    for (const QString& diagnostic : input.diagnostics())
        StandardError::printDiagnostic(diagnostic);
    QList<CheckRow> checks;
    checks.reserve(input.rows().size());
    for (const CheckInput::Row& row : input.rows())
        checks.append(row.check);

    // Only the program's name reaches Qt, so no argument is taken for one of Qt's own options.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    CheckProgram program(input.takeRows(), commandLine.format, commandLine.answering, out);
    program.m_writer.begin();
    bool written = program.flush();
    if (written) {
        const std::unique_ptr<CheckRun> run = createRun(options);
        QObject::connect(
            run.get(), &CheckRun::checked, run.get(), [&](qsizetype index, const CheckResult& result) {
                if (written && !program.take(index, result)) {
                    written = false;
                    run->cancel();
                    QCoreApplication::quit();
                }
            });
        QObject::connect(run.get(), &CheckRun::finished, &app, &QCoreApplication::quit);
        run->start(checks);
        app.exec();
    }
    if (written)
        program.m_writer.end();
    restoreStartPipeAction();
    int status = program.m_answered > 0 ? SomeAnswered : NoneAnswered;
    if (!finishOutput(out, written, status))
        return status;
    StandardError::printDiagnostic(
        QStringLiteral("%1 of %2 proxies answered")
            .arg(QString::number(program.m_answered), QString::number(checks.size())));
    return status;
}
