#include "HtmlBody.h"

#include <QChar>
#include <QString>

#include <algorithm>

namespace {

// Whether `tag` (lower case) is at `at`, in any letter case.
bool isTagAt(QByteArrayView text, qsizetype at, QByteArrayView tag)
{
    return text.size() - at >= tag.size()
        && text.sliced(at, tag.size()).compare(tag, Qt::CaseInsensitive) == 0;
}

// Where `tag`, which starts with '<', first occurs from `from` on.
qsizetype indexOfTag(QByteArrayView text, QByteArrayView tag, qsizetype from)
{
    qsizetype at = text.indexOf('<', from);
    while (at >= 0 && !isTagAt(text, at, tag))
        at = text.indexOf('<', at + 1);
    return at;
}

qsizetype lastIndexOfTag(QByteArrayView text, QByteArrayView tag)
{
    qsizetype at = text.lastIndexOf('<');
    while (at > 0 && !isTagAt(text, at, tag))
        at = text.lastIndexOf('<', at - 1);
    return at >= 0 && isTagAt(text, at, tag) ? at : -1;
}

// Whether the character at `at` of a UTF-8 text ends a tag name: '>', '/' or a space character.
bool endsTagName(QByteArrayView text, qsizetype at)
{
    const auto c = uchar(text[at]);
    if (c < 0x80)
        return c == '>' || c == '/' || QChar::isSpace(c);
    // Some spaces lie beyond ASCII; the first UTF-16 unit decides, as it would in the decoded text.
    return QString::fromUtf8(text.sliced(at, std::min<qsizetype>(4, text.size() - at))).front().isSpace();
}

} // namespace

namespace HtmlBody {

QByteArrayView bodyOf(QByteArrayView document)
{
    qsizetype tag = -1;
    for (qsizetype from = 0; (tag = indexOfTag(document, "<body", from)) >= 0; from = tag + 5) {
        if (tag + 5 >= document.size())
            return document;
        if (endsTagName(document, tag + 5))
            break;
    }
    if (tag < 0)
        return document;
    // The start tag ends at the first '>' outside a quoted attribute value.
    char quote = 0;
    qsizetype i = tag + 5;
    for (; i < document.size(); ++i) {
        const char c = document[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    if (i >= document.size())
        return {};
    const qsizetype begin = i + 1;
    // The last end tag, as a browser moves whatever follows an early one back into the body; searching
    // from the end also finds it at once in a large page.
    qsizetype end = lastIndexOfTag(document, "</body");
    if (end < begin)
        end = document.size();
    return document.sliced(begin, end - begin);
}

} // namespace HtmlBody
