#include "MarkupWriter.h"

#include "HtmlCharacters.h"
#include "TextShaping.h"

#include <utility>

using namespace Qt::StringLiterals;
using namespace MarkupPolicy;
using HtmlCharacters::isAsciiAlphanumeric;
using HtmlCharacters::isSpace;

void MarkupWriter::startTag(const TagRule& rule, const AttributeList& attributes)
{
    switch (rule.kind) {
    case Kind::Void:
        lineBreak(startTagText(rule, attributes));
        return;
    case Kind::Inline:
        push(rule, attributes, m_shownFormatting < MarkupBounds::MaxOpenElements);
        return;
    case Kind::Paragraph:
    case Kind::Block: {
        closeParagraph();
        const bool block = takeBlock();
        if (!block)
            put(u" ");
        push(rule, attributes, block && m_shownFormatting < MarkupBounds::MaxOpenElements);
        return;
    }
    case Kind::List:
        closeParagraph();
        push(rule, attributes, m_lists < MarkupBounds::MaxListDepth && takeBlock());
        return;
    case Kind::Item: {
        closeTo(nearest(kinds({ Kind::Item }), kinds({ Kind::List, Kind::Table, Kind::Cell })));
        const qsizetype list = nearest(kinds({ Kind::List }), kinds({ Kind::Table, Kind::Cell }));
        if (list < 0)
            return; // an item outside any list keeps only its text
        const bool shown = m_open[list].shown && takeBlock();
        if (!shown)
            lineBreak();
        push(rule, attributes, shown);
        return;
    }
    case Kind::Table: {
        closeParagraph();
        // A table goes into a shown cell or outside any table, and no deeper than the bound.
        const qsizetype around = nearest(kinds({ Kind::Table, Kind::Row, Kind::Cell }), 0);
        const bool placeable
            = around < 0 || (m_open[around].rule->kind == Kind::Cell && m_open[around].shown);
        push(rule, attributes, placeable && m_tables < MarkupBounds::MaxTableDepth && takeBlock());
        return;
    }
    case Kind::Row:
    case Kind::Cell:
        tablePart(rule, attributes);
        return;
    case Kind::Dropped:
        return;
    }
}

bool MarkupWriter::tablePart(const TagRule& rule, const AttributeList& attributes)
{
    const qsizetype table = nearest(kinds({ Kind::Table }), 0);
    if (table < 0)
        return false;
    const bool row = rule.kind == Kind::Row;
    if (!m_open[table].shown) {
        if (row)
            lineBreak();
        else
            put(u" ");
        return false;
    }
    const KindSet tableOnly = kinds({ Kind::Table });
    if (row) {
        closeTo(nearest(kinds({ Kind::Row }), tableOnly));
    } else {
        closeTo(nearest(kinds({ Kind::Cell }), tableOnly));
        // A cell that would make its row wider than the bound starts the next row.
        const int span = columnSpan(attributes);
        qsizetype rowIndex = nearest(kinds({ Kind::Row }), tableOnly);
        if (rowIndex < 0 || m_open[rowIndex].columns + span > MarkupBounds::MaxRowColumns) {
            if (!tablePart(*findTag(u"tr"), {}))
                return false;
            rowIndex = m_open.size() - 1;
        }
        m_open[rowIndex].columns += span;
    }
    // Each level of nesting lays a table's content out again.
    int& count = row ? m_rows : m_cells;
    count += m_tables;
    if (count > (row ? MarkupBounds::MaxTableRows : MarkupBounds::MaxTableCells)) {
        m_full = true;
        return false;
    }
    return push(rule, attributes, true);
}

int MarkupWriter::columnSpan(const AttributeList& attributes)
{
    for (const AcceptedAttribute& attribute : attributes) {
        if (attribute.rule->attribute == ColSpan)
            return attribute.value.toInt();
    }
    return 1;
}

void MarkupWriter::endTag(const TagRule& rule)
{
    KindSet scope = 0;
    switch (rule.kind) {
    case Kind::Void:
    case Kind::Dropped:
        return;
    case Kind::Table:
        break;
    case Kind::Row:
    case Kind::Cell:
        scope = kinds({ Kind::Table });
        break;
    case Kind::Item:
        scope = kinds({ Kind::List, Kind::Table, Kind::Cell });
        break;
    case Kind::Inline:
    case Kind::Paragraph:
    case Kind::Block:
    case Kind::List:
        scope = kinds({ Kind::Table, Kind::Cell });
        break;
    }
    // End tags of elements not open at all are many in some pages, and cost no search.
    if (m_openOf[size_t(tagIndex(rule))] == 0)
        return;
    for (qsizetype i = m_open.size(); i-- > 0;) {
        if (m_open[i].rule == &rule) {
            closeTo(i);
            return;
        }
        if (contains(scope, m_open[i].rule->kind))
            return;
    }
}

void MarkupWriter::closeParagraph()
{
    closeTo(nearest(
        kinds({ Kind::Paragraph }), kinds({ Kind::Block, Kind::List, Kind::Item, Kind::Table, Kind::Cell })));
}

qsizetype MarkupWriter::nearest(KindSet targets, KindSet barriers) const
{
    for (qsizetype i = m_open.size(); i-- > 0;) {
        if (contains(targets, m_open[i].rule->kind))
            return i;
        if (contains(barriers, m_open[i].rule->kind))
            return -1;
    }
    return -1;
}

QString MarkupWriter::startTagText(const TagRule& rule, const AttributeList& attributes)
{
    QString tag;
    tag += u'<';
    tag += rule.name;
    for (const AcceptedAttribute& attribute : attributes) {
        tag += u' ';
        tag += attribute.rule->name;
        tag += u"=\"";
        for (QChar c : attribute.value) {
            if (c == u'"')
                tag += u"&quot;";
            else if (c == u'<')
                tag += u"&lt;";
            else if (c == u'>')
                tag += u"&gt;";
            else
                tag += c;
        }
        tag += u'"';
    }
    return tag + u'>';
}

bool MarkupWriter::push(const TagRule& rule, const AttributeList& attributes, bool shown)
{
    if (m_open.size() >= MaxOpenKept)
        return false;
    if (shown) {
        // The end tag's room is taken now, so that whatever comes, every shown element can be closed.
        const QString tag = startTagText(rule, attributes);
        if (!fits(tag.size() + endTagLength(rule))) {
            m_full = true;
            return false;
        }
        m_out += tag;
        m_closingLength += endTagLength(rule);
        count(rule, +1);
        if (rule.kind != Kind::Inline)
            breakRun();
    }
    m_open.append({ &rule, shown });
    ++m_openOf[size_t(tagIndex(rule))];
    return shown;
}

void MarkupWriter::closeTo(qsizetype index)
{
    if (index < 0)
        return;
    while (m_open.size() > index) {
        const OpenElement element = m_open.back();
        m_open.removeLast();
        --m_openOf[size_t(tagIndex(*element.rule))];
        if (!element.shown)
            continue;
        m_out += u"</";
        m_out += element.rule->name;
        m_out += u'>';
        m_closingLength -= endTagLength(*element.rule);
        count(*element.rule, -1);
        if (element.rule->kind != Kind::Inline)
            breakRun();
    }
}

void MarkupWriter::count(const TagRule& rule, int change)
{
    switch (rule.kind) {
    case Kind::Table:
        m_tables += change;
        break;
    case Kind::List:
        m_lists += change;
        break;
    case Kind::Inline:
    case Kind::Paragraph:
    case Kind::Block:
        m_shownFormatting += change;
        if (rule.name == "pre"_L1)
            m_preformatted += change;
        break;
    default:
        break;
    }
}

void MarkupWriter::put(QStringView piece)
{
    if (m_full || !fits(piece.size())) {
        m_full = true;
        return;
    }
    m_out += piece;
    if (piece.size() == 1 && isSpace(piece[0]))
        breakRun();
}

bool MarkupWriter::takeBlock()
{
    if (m_blocks >= MarkupBounds::MaxBlocks)
        return false;
    ++m_blocks;
    return true;
}

void MarkupWriter::lineBreak(QStringView tag)
{
    if (m_lineBreaks < MarkupBounds::MaxLineBreaks) {
        ++m_lineBreaks;
        put(tag);
        breakRun();
    } else {
        put(u" ");
    }
}

bool MarkupWriter::acceptFace(QStringView face)
{
    for (QStringView known : std::as_const(m_faces)) {
        if (known.compare(face, Qt::CaseInsensitive) == 0)
            return true;
    }
    if (m_faces.size() >= MarkupBounds::MaxFontFaces)
        return false;
    m_faces.append(face);
    return true;
}

void MarkupWriter::breakRun()
{
    m_run = 0;
    m_marks = 0;
}

void MarkupWriter::text(QStringView run)
{
    qsizetype i = 0;
    while (i < run.size() && !m_full) {
        const QChar c = run[i];
        if (isSpace(c) || c == QChar(0x200B)) {
            // Preformatted text keeps its line ends, each one a line break; a carriage return there goes,
            // and so breaks nothing.
            if (m_preformatted > 0 && c == u'\n') {
                lineBreak(u"\n");
            } else if (m_preformatted == 0 || c != u'\r') {
                put(run.sliced(i, 1));
                breakRun();
            }
            ++i;
            continue;
        }
        qsizetype length = 1;
        char32_t codePoint = c.unicode();
        if (c == u'&') {
            while (i + length < run.size() && length < 34
                && (isAsciiAlphanumeric(run[i + length]) || (length == 1 && run[i + length] == u'#')))
                ++length;
            if (i + length < run.size() && run[i + length] == u';')
                ++length;
        } else if (c.isHighSurrogate() && i + 1 < run.size() && run[i + 1].isLowSurrogate()) {
            length = 2;
            codePoint = QChar::surrogateToUcs4(c, run[i + 1]);
        }
        const bool mark = QChar::isMark(codePoint);
        if (mark && ++m_marks > MaxCombiningMarks) {
            i += length;
            continue;
        }
        if (c == u'>')
            character(u"&gt;", mark);
        else if (QChar::isSurrogate(codePoint))
            character(u"\uFFFD", mark);
        else
            character(run.sliced(i, length), mark);
        i += length;
    }
}

void MarkupWriter::character(QStringView written, bool mark)
{
    if (!mark) {
        m_marks = 0;
        // A line breaker that finds no place to break within a very long word gets slow.
        if (m_run >= MarkupBounds::MaxUnbrokenRun) {
            put(u"\u200B");
            m_run = 0;
        }
    }
    ++m_run;
    put(written);
}

QString MarkupWriter::finish()
{
    closeTo(0);
    return std::move(m_out);
}
