#include "MarkupTokenizer.h"

#include "HtmlCharacters.h"

#include <QString>

using namespace Qt::StringLiterals;
using HtmlCharacters::isAsciiLetter;
using HtmlCharacters::isSpace;

MarkupTokenizer::Token MarkupTokenizer::next()
{
    while (m_pos < m_page.size()) {
        if (m_page[m_pos] != u'<') {
            qsizetype end = m_page.indexOf(u'<', m_pos);
            if (end < 0)
                end = m_page.size();
            m_text = m_page.sliced(m_pos, end - m_pos);
            m_pos = end;
            return Token::Text;
        }
        const QStringView rest = m_page.sliced(m_pos);
        if (rest.startsWith(u"<!--")) {
            const qsizetype end = rest.indexOf(u"-->", 4);
            m_pos = end < 0 ? m_page.size() : m_pos + end + 3;
            continue;
        }
        const bool closing = rest.size() > 1 && rest[1] == u'/';
        const qsizetype nameStart = closing ? 2 : 1;
        if (rest.size() > 1
            && (rest[1] == u'!' || rest[1] == u'?'
                || (closing && rest.size() > 2 && !isAsciiLetter(rest[2])))) {
            // A declaration, processing instruction or bogus comment: nothing to show.
            skipPast(u'>');
            continue;
        }
        if (rest.size() <= nameStart || !isAsciiLetter(rest[nameStart])) {
            ++m_pos;
            return Token::StrayLessThan;
        }
        qsizetype nameEnd = nameStart;
        while (nameEnd < rest.size() && !isSpace(rest[nameEnd]) && rest[nameEnd] != u'/'
            && rest[nameEnd] != u'>')
            ++nameEnd;
        m_text = rest.sliced(nameStart, nameEnd - nameStart);
        m_pos += nameEnd;
        if (closing) {
            skipPast(u'>');
            return Token::EndTag;
        }
        m_tagEnded = false;
        return Token::StartTag;
    }
    return Token::End;
}

bool MarkupTokenizer::nextAttribute(QStringView& name, QStringView& value)
{
    while (m_pos < m_page.size() && (isSpace(m_page[m_pos]) || m_page[m_pos] == u'/'))
        ++m_pos;
    if (m_pos >= m_page.size())
        return false;
    if (m_page[m_pos] == u'>') {
        ++m_pos;
        m_tagEnded = true;
        return false;
    }
    const qsizetype nameStart = m_pos++;
    while (m_pos < m_page.size() && !isSpace(m_page[m_pos]) && m_page[m_pos] != u'/' && m_page[m_pos] != u'>'
        && m_page[m_pos] != u'=')
        ++m_pos;
    name = m_page.sliced(nameStart, m_pos - nameStart);
    skipSpaces();
    value = {};
    if (m_pos < m_page.size() && m_page[m_pos] == u'=') {
        ++m_pos;
        skipSpaces();
        if (m_pos >= m_page.size())
            return false;
        const QChar quote = m_page[m_pos];
        if (quote == u'"' || quote == u'\'') {
            const qsizetype end = m_page.indexOf(quote, m_pos + 1);
            // A quote that is never closed: the tag ends nowhere, and what follows the quote is text.
            if (end < 0)
                return false;
            value = m_page.sliced(m_pos + 1, end - m_pos - 1);
            m_pos = end + 1;
        } else {
            const qsizetype start = m_pos;
            while (m_pos < m_page.size() && !isSpace(m_page[m_pos]) && m_page[m_pos] != u'>')
                ++m_pos;
            value = m_page.sliced(start, m_pos - start);
        }
    }
    return true;
}

void MarkupTokenizer::skipContentOf(QLatin1StringView name)
{
    QString endTag = u"</"_s;
    endTag += name;
    const qsizetype end = m_page.indexOf(endTag, m_pos, Qt::CaseInsensitive);
    m_pos = end < 0 ? m_page.size() : end;
}

void MarkupTokenizer::skipPast(QChar c)
{
    const qsizetype end = m_page.indexOf(c, m_pos);
    m_pos = end < 0 ? m_page.size() : end + 1;
}

void MarkupTokenizer::skipSpaces()
{
    while (m_pos < m_page.size() && isSpace(m_page[m_pos]))
        ++m_pos;
}
