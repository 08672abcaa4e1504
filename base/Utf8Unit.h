#pragma once

#include <QtGlobal>

// Writes one UTF-16 code unit at `at` in UTF-8's pattern, one to three bytes, and returns where they end.
// A surrogate is written on its own like any other unit: a caller that has only whole characters never
// meets one, and one that folds text unit by unit keeps the units' order in the bytes' order.
inline char* putUtf8Unit(char* at, char16_t unit)
{
    if (unit < 0x80) {
        *at++ = char(unit);
    } else if (unit < 0x800) {
        *at++ = char(0xC0 | (unit >> 6));
        *at++ = char(0x80 | (unit & 0x3F));
    } else {
        *at++ = char(0xE0 | (unit >> 12));
        *at++ = char(0x80 | ((unit >> 6) & 0x3F));
        *at++ = char(0x80 | (unit & 0x3F));
    }
    return at;
}
