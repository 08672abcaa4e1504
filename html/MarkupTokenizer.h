#pragma once

#include <QLatin1StringView>
#include <QStringView>

// Reads a page's markup as HTML's syntax has it: text, start tags with their attributes, end tags, and a
// '<' that opens no tag. Comments, declarations and processing instructions pass unseen. It keeps no
// state beyond its place in the page, and every token is a view into the page.
class MarkupTokenizer
{
public:
    enum class Token
    {
        End, // the page is used up
        Text, // holds no '<'
        StrayLessThan, // a '<' that opens no tag, to be shown as a character
        StartTag,
        EndTag,
    };

    explicit MarkupTokenizer(QStringView page)
        : m_page(page)
    { }

    // The next token. After a start tag, its attributes come first (nextAttribute()).
    Token next();
    // A Text token's text, or a tag's name.
    QStringView text() const { return m_text; }

    // The start tag's next attribute: its name and its value as written, without quotes; an attribute
    // without a value has an empty one. False at the tag's end.
    bool nextAttribute(QStringView& name, QStringView& value);
    // After the last attribute: whether the tag was closed by its '>' rather than the end of the page.
    bool tagEnded() const { return m_tagEnded; }

    // Passes over the content of the element just started, whose content is no text, up to its end tag.
    void skipContentOf(QLatin1StringView name);

private:
    void skipPast(QChar c);
    void skipSpaces();

    QStringView m_page;
    qsizetype m_pos = 0;
    QStringView m_text;
    bool m_tagEnded = false;
};
