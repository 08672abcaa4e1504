#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A cell as the list shows it and the tsv and plain formats write it: the characters that could break a
// line or turn the text round are written as escapes, so that what is seen, copied or printed is one line
// that reads as the cell holds it. Those are the control characters (C0, DEL, C1) and the bidirectional
// controls (U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069). A backslash, tab, line feed and carriage
// return become "\\", "\t", "\n" and "\r", every other one "\u{XXXX}" (four upper-case hex digits); the
// backslash is written twice so that no cell can imitate an escape.
//
// The work is on UTF-8 bytes: a C1 control is C2 80 to C2 9F, a bidirectional control E2 80 8E/8F, E2 80 AA
// to AE or E2 81 A6 to A9. Bytes that are not valid UTF-8 are left as they are: a decoder makes them
// U+FFFD, never one of the characters above.

// At most this many bytes come of one byte: a control byte becomes an escape of eight.
inline constexpr qsizetype MostVisibleBytesPerByte = 8;

// Whether `byte` may start something to make visible. A fast test of many bytes at once looks for these.
constexpr bool mayStartVisibleEscape(unsigned char byte)
{
    return byte < 0x20 || byte == '\\' || byte == 0x7F || byte == 0xC2 || byte == 0xE2;
}

// Writes `utf8` made visible at `at`, which has room for MostVisibleBytesPerByte bytes per byte of it, and
// returns where it ends.
char* putVisible(char* at, QByteArrayView utf8);
void appendVisible(QByteArray& out, QByteArrayView utf8);
QString visibleText(QByteArrayView utf8);
