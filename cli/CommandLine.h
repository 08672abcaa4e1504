#pragma once

#include "TableWriter.h"

#include <QString>
#include <QStringList>

// What the command line asks for. Read by our own small parser: only "--name value" and "--name=value"
// are options, so no single-dash word is taken apart into letters and no option of Qt's is accepted.
struct CommandLine
{
    static constexpr int DefaultTimeoutSeconds = 30;
    static constexpr double LeastTimeoutSeconds = 0.001;
    static constexpr double MostTimeoutSeconds = 86400;

    QString site;
    TableWriter::Format format = TableWriter::Format::Tsv;
    QStringList types;
    QStringList countries;
    int timeoutMs = DefaultTimeoutSeconds * 1000;
    bool help = false;
    bool version = false;
    QString error; // what is wrong with the command line, for people; empty when it is good

    // `arguments` without the program's name.
    static CommandLine parse(const QStringList& arguments);
    static QString helpText();
};
