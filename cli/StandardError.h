#pragma once

#include <QStringView>

// The program's lines on stderr, each written at once as UTF-8. Nothing can be reported about stderr
// itself, so its failures are dropped.
namespace StandardError {

// Starts every diagnostic line, to tell it apart from the status texts.
inline constexpr QStringView Prefix = u"tarnwick-search: ";

void printLine(QStringView text);
// A line after the prefix. Control characters, which could come from a site, are shown as "?".
void printDiagnostic(QStringView text);

} // namespace StandardError
