#pragma once

#include <QStringView>

// The program's lines on stderr, each written at once as UTF-8. Nothing can be reported about stderr
// itself, so its failures are dropped.
namespace StandardError {

// The program's name, which starts every diagnostic line ("tarnwick-search: ") to tell it apart from the
// status texts. Set once at the start, before any line is printed; "tarnwick-search" until then.
void setProgramName(QStringView name);

void printLine(QStringView text);
// A line after the program's name and ": ". Control characters, which could come from a site, are shown
// as "?".
void printDiagnostic(QStringView text);

} // namespace StandardError
