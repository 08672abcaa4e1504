#pragma once

#include <QChar>

// The character classes that HTML's syntax is written in: ASCII only, whatever Unicode says.
namespace HtmlCharacters {

inline bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

inline bool isAsciiAlphanumeric(QChar c)
{
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9');
}

inline bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

} // namespace HtmlCharacters
