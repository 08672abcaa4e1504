#pragma once

#include "CheckOptions.h"
#include "CheckWriter.h"
#include "ProxyKind.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// What tarnwick-check's command line asks for, read as tarnwick-search reads its own: only "--name value"
// and "--name=value" are options.
struct CheckCommandLine
{
    static constexpr double LeastTimeoutSeconds = 0.1;
    static constexpr double MostTimeoutSeconds = 60;

    QUrl judge = defaultJudge();
    int timeoutMs = CheckOptions::DefaultTimeoutMs;
    int concurrency = CheckOptions::DefaultConcurrency;
    std::optional<ProxyKind> forcedKind;
    CheckWriter::Format format = CheckWriter::Format::Tsv;
    bool answering = false;
    bool help = false;
    bool version = false;
    QString error; // what is wrong with the command line, for people; empty when it is good

    // `arguments` without the program's name.
    static CheckCommandLine parse(const QStringList& arguments);
    // The judge compiled in: CMake's TARNWICK_JUDGE, or when that is empty the list site's "/judge".
    static QUrl defaultJudge();
    static QString helpText();
};
