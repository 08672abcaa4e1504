#pragma once

#include "CheckInput.h"
#include "CheckRun.h"
#include "CheckWriter.h"

#include <functional>
#include <memory>
#include <optional>

class FileOutput;

// tarnwick-check's work, whatever engine it checks with: the command line, the rows on stdin, the results
// on stdout in input order as soon as every earlier row is done, diagnostics on stderr, the exit status.
class CheckProgram
{
public:
    enum ExitStatus
    {
        SomeAnswered = 0,
        OutputFailed = 1,
        UsageError = 2,
        NoneAnswered = 4,
    };
    using RunFactory = std::function<std::unique_ptr<CheckRun>(CheckOptions)>;

    // Runs the program on its command line, checking with the run `createRun` makes, and returns its exit
    // status.
    static int main(int argc, char* argv[], const RunFactory& createRun);

private:
    CheckProgram(QList<CheckInput::Row> rows, CheckWriter::Format format, bool answering, FileOutput& out);

    // Keeps `result` for the row at `index` and prints every row whose turn has come; false once the output
    // has failed.
    bool take(qsizetype index, const CheckResult& result);
    bool flush();

    QList<CheckInput::Row> m_rows;
    QList<std::optional<CheckResult>> m_results;
    qsizetype m_next = 0;
    qsizetype m_answered = 0;
    bool m_answering;
    FileOutput& m_out;
    CheckWriter m_writer;
};
