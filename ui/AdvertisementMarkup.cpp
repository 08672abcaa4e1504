#include "AdvertisementMarkup.h"

#include <QVarLengthArray>

#include <array>
#include <initializer_list>
#include <iterator>

using namespace Qt::StringLiterals;

namespace AdvertisementMarkup {
namespace {

// How an element takes part in the page's structure.
enum class Kind : quint8
{
    Inline,
    Paragraph, // p and headings: another block closes it
    Block,
    Void,
    List,
    Item,
    Table,
    Row,
    Cell,
    Dropped, // dropped with everything inside it
};

using KindSet = quint16;
constexpr KindSet kinds(std::initializer_list<Kind> list)
{
    KindSet set = 0;
    for (Kind kind : list)
        set = KindSet(set | (1u << unsigned(kind)));
    return set;
}
constexpr bool contains(KindSet set, Kind kind)
{
    return (set & (1u << unsigned(kind))) != 0;
}

enum Attribute : quint16
{
    Href = 1 << 0,
    Color = 1 << 1,
    Size = 1 << 2,
    Face = 1 << 3,
    Align = 1 << 4,
    VAlign = 1 << 5,
    Width = 1 << 6,
    Border = 1 << 7,
    CellPadding = 1 << 8,
    CellSpacing = 1 << 9,
    ColSpan = 1 << 10,
    BgColor = 1 << 11,
    ListType = 1 << 12,
};

struct TagRule
{
    QLatin1StringView name;
    Kind kind;
    quint16 attributes = 0;
};

constexpr quint16 TableAttributes = Border | CellPadding | CellSpacing | Width | Align | BgColor;
constexpr quint16 CellAttributes = Align | VAlign | Width | ColSpan | BgColor;

// Every element that passes, and the elements whose content is no text to show. Any other element loses
// its tags and keeps its text.
constexpr TagRule Tags[] = {
    { "a"_L1, Kind::Inline, Href },
    { "b"_L1, Kind::Inline },
    { "big"_L1, Kind::Inline },
    { "blockquote"_L1, Kind::Block },
    { "br"_L1, Kind::Void },
    { "center"_L1, Kind::Block },
    { "code"_L1, Kind::Inline },
    { "dd"_L1, Kind::Item },
    { "div"_L1, Kind::Block, Align },
    { "dl"_L1, Kind::List },
    { "dt"_L1, Kind::Item },
    { "em"_L1, Kind::Inline },
    { "font"_L1, Kind::Inline, Color | Size | Face },
    { "h1"_L1, Kind::Paragraph, Align },
    { "h2"_L1, Kind::Paragraph, Align },
    { "h3"_L1, Kind::Paragraph, Align },
    { "h4"_L1, Kind::Paragraph, Align },
    { "h5"_L1, Kind::Paragraph, Align },
    { "h6"_L1, Kind::Paragraph, Align },
    { "hr"_L1, Kind::Void, Width },
    { "i"_L1, Kind::Inline },
    { "li"_L1, Kind::Item },
    { "ol"_L1, Kind::List, ListType },
    { "p"_L1, Kind::Paragraph, Align },
    { "pre"_L1, Kind::Block },
    { "s"_L1, Kind::Inline },
    { "small"_L1, Kind::Inline },
    { "span"_L1, Kind::Inline },
    { "strike"_L1, Kind::Inline },
    { "strong"_L1, Kind::Inline },
    { "sub"_L1, Kind::Inline },
    { "sup"_L1, Kind::Inline },
    { "table"_L1, Kind::Table, TableAttributes },
    { "td"_L1, Kind::Cell, CellAttributes },
    { "th"_L1, Kind::Cell, CellAttributes },
    { "tr"_L1, Kind::Row, Align | VAlign | BgColor },
    { "tt"_L1, Kind::Inline },
    { "u"_L1, Kind::Inline },
    { "ul"_L1, Kind::List, ListType },
    { "iframe"_L1, Kind::Dropped },
    { "math"_L1, Kind::Dropped },
    { "noembed"_L1, Kind::Dropped },
    { "noframes"_L1, Kind::Dropped },
    { "object"_L1, Kind::Dropped },
    { "plaintext"_L1, Kind::Dropped },
    { "script"_L1, Kind::Dropped },
    { "style"_L1, Kind::Dropped },
    { "svg"_L1, Kind::Dropped },
    { "template"_L1, Kind::Dropped },
    { "textarea"_L1, Kind::Dropped },
    { "title"_L1, Kind::Dropped },
    { "xmp"_L1, Kind::Dropped },
};

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiAlphanumeric(QChar c)
{
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9');
}

bool isHtmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

const TagRule* findTag(QStringView name)
{
    for (const TagRule& rule : Tags) {
        if (name.size() == rule.name.size() && name.compare(rule.name, Qt::CaseInsensitive) == 0)
            return &rule;
    }
    return nullptr;
}

bool isNumber(QStringView value, int low, int high)
{
    if (value.isEmpty() || value.size() > 4)
        return false;
    int number = 0;
    for (QChar c : value) {
        if (c < u'0' || c > u'9')
            return false;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number >= low && number <= high;
}

bool isOneOf(QStringView value, std::initializer_list<QLatin1StringView> words)
{
    for (QLatin1StringView word : words) {
        if (value.compare(word, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isColour(QStringView value)
{
    if (value.isEmpty() || value.size() > 24)
        return false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (!isAsciiAlphanumeric(value[i]) && !(i == 0 && value[i] == u'#'))
            return false;
    }
    return true;
}

bool isFontSize(QStringView value)
{
    if (value.startsWith(u'+') || value.startsWith(u'-'))
        value = value.sliced(1);
    return isNumber(value, 1, 7) && value.size() == 1;
}

bool isFace(QStringView value)
{
    if (value.isEmpty() || value.size() > 64)
        return false;
    for (QChar c : value) {
        if (!isAsciiAlphanumeric(c) && c != u' ' && c != u',' && c != u'-' && c != u'_')
            return false;
    }
    return true;
}

bool isWidth(QStringView value)
{
    if (value.endsWith(u'%'))
        return isNumber(value.chopped(1), 1, 100);
    return isNumber(value, 1, 2000);
}

struct AttributeRule
{
    QLatin1StringView name;
    Attribute attribute;
    bool (*accepts)(QStringView value);
};

// Each attribute that passes, with the form its value must have. A link's address is never loaded by
// the strip, only handed to the browser on a click, which checks it again.
constexpr AttributeRule Attributes[] = {
    { "href"_L1, Href, [](QStringView value) { return value.size() <= 2048; } },
    { "color"_L1, Color, isColour },
    { "size"_L1, Size, isFontSize },
    { "face"_L1, Face, isFace },
    { "align"_L1, Align,
        [](QStringView value) {
            return isOneOf(value, { "left"_L1, "right"_L1, "center"_L1, "justify"_L1 });
        } },
    { "valign"_L1, VAlign,
        [](QStringView value) {
            return isOneOf(value, { "top"_L1, "middle"_L1, "bottom"_L1, "baseline"_L1 });
        } },
    { "width"_L1, Width, isWidth },
    { "border"_L1, Border, [](QStringView value) { return isNumber(value, 0, 8); } },
    { "cellpadding"_L1, CellPadding, [](QStringView value) { return isNumber(value, 0, 16); } },
    { "cellspacing"_L1, CellSpacing, [](QStringView value) { return isNumber(value, 0, 16); } },
    { "colspan"_L1, ColSpan, [](QStringView value) { return isNumber(value, 1, MaxRowColumns); } },
    { "bgcolor"_L1, BgColor, isColour },
    { "type"_L1, ListType,
        [](QStringView value) {
            return value.size() == 1 ? QStringView(u"1aAiI").contains(value[0])
                                     : isOneOf(value, { "disc"_L1, "circle"_L1, "square"_L1 });
        } },
};

struct AcceptedAttribute
{
    const AttributeRule* rule;
    QStringView value;
};
using AttributeList = QVarLengthArray<AcceptedAttribute, 8>;

// Rebuilds the page from its pieces: every tag written anew from what passed, text copied with the
// bounds applied, every element that was opened closed again.
class Sanitiser
{
public:
    explicit Sanitiser(QStringView page)
        : m_page(page.first(qMin(page.size(), MaxPageRead)))
    { }

    QString run()
    {
        while (m_pos < m_page.size() && !m_full) {
            if (m_page[m_pos] == u'<') {
                markup();
            } else {
                qsizetype end = m_page.indexOf(u'<', m_pos);
                if (end < 0)
                    end = m_page.size();
                text(m_page.sliced(m_pos, end - m_pos));
                m_pos = end;
            }
        }
        closeTo(0);
        return m_out;
    }

private:
    struct OpenElement
    {
        const TagRule* rule;
        bool shown;
        int columns = 0; // of a row: the columns its cells span so far
    };
    // Elements kept open, shown or not: end tags are matched against these. Tags beyond it are dropped.
    static constexpr qsizetype MaxOpenKept = 64;

    void markup()
    {
        const QStringView rest = m_page.sliced(m_pos);
        if (rest.startsWith(u"<!--")) {
            const qsizetype end = rest.indexOf(u"-->", 4);
            m_pos = end < 0 ? m_page.size() : m_pos + end + 3;
            return;
        }
        const bool closing = rest.size() > 1 && rest[1] == u'/';
        const qsizetype nameStart = closing ? 2 : 1;
        if (rest.size() > 1
            && (rest[1] == u'!' || rest[1] == u'?'
                || (closing && rest.size() > 2 && !isAsciiLetter(rest[2])))) {
            // A declaration, processing instruction or bogus comment: nothing to show.
            skipPast(u'>');
            return;
        }
        if (rest.size() <= nameStart || !isAsciiLetter(rest[nameStart])) {
            // Text, counted as the character reference is when the output is read again.
            character(u"&lt;");
            ++m_pos;
            return;
        }
        qsizetype nameEnd = nameStart;
        while (nameEnd < rest.size() && !isHtmlSpace(rest[nameEnd]) && rest[nameEnd] != u'/'
            && rest[nameEnd] != u'>')
            ++nameEnd;
        const TagRule* rule = findTag(rest.sliced(nameStart, nameEnd - nameStart));
        m_pos += nameEnd;
        if (closing) {
            skipPast(u'>');
            if (rule)
                endTag(*rule);
            return;
        }
        AttributeList attributes;
        if (!readAttributes(rule ? rule->attributes : 0, attributes))
            return; // the page ends inside the tag
        if (!rule)
            return;
        if (rule->kind == Kind::Dropped) {
            QString endTag = u"</"_s;
            endTag += rule->name;
            const qsizetype end = m_page.indexOf(endTag, m_pos, Qt::CaseInsensitive);
            m_pos = end < 0 ? m_page.size() : end;
            return;
        }
        startTag(*rule, attributes);
    }

    void skipPast(QChar c)
    {
        const qsizetype end = m_page.indexOf(c, m_pos);
        m_pos = end < 0 ? m_page.size() : end + 1;
    }

    // Reads a start tag's attributes up to and past its '>', keeping the first of each allowed one whose
    // value has the right form. False when the page ends first.
    bool readAttributes(quint16 allowed, AttributeList& accepted)
    {
        quint16 seen = 0;
        while (true) {
            while (m_pos < m_page.size() && (isHtmlSpace(m_page[m_pos]) || m_page[m_pos] == u'/'))
                ++m_pos;
            if (m_pos >= m_page.size())
                return false;
            if (m_page[m_pos] == u'>') {
                ++m_pos;
                return true;
            }
            const qsizetype nameStart = m_pos++;
            while (m_pos < m_page.size() && !isHtmlSpace(m_page[m_pos]) && m_page[m_pos] != u'/'
                && m_page[m_pos] != u'>' && m_page[m_pos] != u'=')
                ++m_pos;
            const QStringView name = m_page.sliced(nameStart, m_pos - nameStart);
            skipSpaces();
            QStringView value;
            if (m_pos < m_page.size() && m_page[m_pos] == u'=') {
                ++m_pos;
                skipSpaces();
                if (m_pos >= m_page.size())
                    return false;
                const QChar quote = m_page[m_pos];
                if (quote == u'"' || quote == u'\'') {
                    const qsizetype end = m_page.indexOf(quote, m_pos + 1);
                    if (end < 0)
                        return false;
                    value = m_page.sliced(m_pos + 1, end - m_pos - 1);
                    m_pos = end + 1;
                } else {
                    const qsizetype start = m_pos;
                    while (m_pos < m_page.size() && !isHtmlSpace(m_page[m_pos]) && m_page[m_pos] != u'>')
                        ++m_pos;
                    value = m_page.sliced(start, m_pos - start);
                }
            }
            for (const AttributeRule& rule : Attributes) {
                if ((allowed & rule.attribute) && !(seen & rule.attribute)
                    && name.compare(rule.name, Qt::CaseInsensitive) == 0) {
                    seen = quint16(seen | rule.attribute);
                    value = value.trimmed();
                    if (rule.accepts(value) && (rule.attribute != Face || acceptFace(value)))
                        accepted.append({ &rule, value });
                }
            }
        }
    }

    void skipSpaces()
    {
        while (m_pos < m_page.size() && isHtmlSpace(m_page[m_pos]))
            ++m_pos;
    }

    void startTag(const TagRule& rule, const AttributeList& attributes)
    {
        switch (rule.kind) {
        case Kind::Void:
            lineBreak(startTagText(rule, attributes));
            return;
        case Kind::Inline:
            push(rule, attributes, m_shownFormatting < MaxOpenElements);
            return;
        case Kind::Paragraph:
        case Kind::Block: {
            closeParagraph();
            const bool block = takeBlock();
            if (!block)
                put(u" ");
            push(rule, attributes, block && m_shownFormatting < MaxOpenElements);
            return;
        }
        case Kind::List:
            closeParagraph();
            push(rule, attributes, m_lists < MaxListDepth && takeBlock());
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
            push(rule, attributes, placeable && m_tables < MaxTableDepth && takeBlock());
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

    // A row or cell: in a table that is not shown, only a break or space in its place. True when it is
    // open and shown.
    bool tablePart(const TagRule& rule, const AttributeList& attributes)
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
            if (rowIndex < 0 || m_open[rowIndex].columns + span > MaxRowColumns) {
                if (!tablePart(*findTag(u"tr"), {}))
                    return false;
                rowIndex = m_open.size() - 1;
            }
            m_open[rowIndex].columns += span;
        }
        // Each level of nesting lays a table's content out again.
        int& count = row ? m_rows : m_cells;
        count += m_tables;
        if (count > (row ? MaxTableRows : MaxTableCells)) {
            m_full = true;
            return false;
        }
        return push(rule, attributes, true);
    }

    static int columnSpan(const AttributeList& attributes)
    {
        for (const AcceptedAttribute& attribute : attributes) {
            if (attribute.rule->attribute == ColSpan)
                return attribute.value.toInt();
        }
        return 1;
    }

    void endTag(const TagRule& rule)
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
        if (m_openOf[size_t(&rule - Tags)] == 0)
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

    void closeParagraph()
    {
        closeTo(nearest(kinds({ Kind::Paragraph }),
            kinds({ Kind::Block, Kind::List, Kind::Item, Kind::Table, Kind::Cell })));
    }

    // The innermost open element of one of `targets`, not looking past one of `barriers`; -1 if none.
    qsizetype nearest(KindSet targets, KindSet barriers) const
    {
        for (qsizetype i = m_open.size(); i-- > 0;) {
            if (contains(targets, m_open[i].rule->kind))
                return i;
            if (contains(barriers, m_open[i].rule->kind))
                return -1;
        }
        return -1;
    }

    static QString startTagText(const TagRule& rule, const AttributeList& attributes)
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

    static qsizetype endTagLength(const TagRule& rule) { return rule.name.size() + 3; }

    // Opens an element, true when it is open and shown.
    bool push(const TagRule& rule, const AttributeList& attributes, bool shown)
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
        ++m_openOf[size_t(&rule - Tags)];
        return shown;
    }

    void closeTo(qsizetype index)
    {
        if (index < 0)
            return;
        while (m_open.size() > index) {
            const OpenElement element = m_open.back();
            m_open.removeLast();
            --m_openOf[size_t(element.rule - Tags)];
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

    void count(const TagRule& rule, int change)
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

    bool fits(qsizetype length) const { return m_out.size() + length + m_closingLength <= MaxMarkup; }

    // Writes a piece of markup. Runs of text without a break are counted from the output, never from the
    // page, so that the output read again breaks them in the same places: a space or the tag of a block
    // ends a run, a tag that was left out does not.
    void put(QStringView piece)
    {
        if (m_full || !fits(piece.size())) {
            m_full = true;
            return;
        }
        m_out += piece;
        if (piece.size() == 1 && isHtmlSpace(piece[0]))
            breakRun();
    }

    bool takeBlock()
    {
        if (m_blocks >= MaxBlocks)
            return false;
        ++m_blocks;
        return true;
    }

    // A line break (or rule), or where a tag that is not shown stood; a space once there were enough.
    void lineBreak(QStringView tag = u"<br>")
    {
        if (m_lineBreaks < MaxLineBreaks) {
            ++m_lineBreaks;
            put(tag);
            breakRun();
        } else {
            put(u" ");
        }
    }

    // Whether a font family may be named: one named before, or one of the first few.
    bool acceptFace(QStringView face)
    {
        for (QStringView known : std::as_const(m_faces)) {
            if (known.compare(face, Qt::CaseInsensitive) == 0)
                return true;
        }
        if (m_faces.size() >= MaxFontFaces)
            return false;
        m_faces.append(face);
        return true;
    }

    void breakRun()
    {
        m_run = 0;
        m_marks = 0;
    }

    // Copies text, which holds no '<'. Character references pass whole for the document to read.
    void text(QStringView run)
    {
        qsizetype i = 0;
        while (i < run.size() && !m_full) {
            const QChar c = run[i];
            if (isHtmlSpace(c) || c == QChar(0x200B)) {
                // Preformatted text keeps its line ends, each one a line break; a carriage return there
                // goes, and so breaks nothing.
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

    // Writes one character of text, as `written`, within the bound on unbroken runs.
    void character(QStringView written, bool mark = false)
    {
        if (!mark) {
            m_marks = 0;
            // A line breaker that finds no place to break within a very long word gets slow.
            if (m_run >= MaxUnbrokenRun) {
                put(u"\u200B");
                m_run = 0;
            }
        }
        ++m_run;
        put(written);
    }

    QStringView m_page;
    qsizetype m_pos = 0;
    QString m_out;
    // The end tags still to write, all of which the bound on the markup leaves room for.
    qsizetype m_closingLength = 0;
    bool m_full = false;
    QVarLengthArray<OpenElement, 32> m_open;
    std::array<int, std::size(Tags)> m_openOf {}; // how many of m_open each element is
    int m_shownFormatting = 0;
    int m_tables = 0;
    int m_lists = 0;
    int m_rows = 0;
    int m_cells = 0;
    int m_blocks = 0;
    int m_lineBreaks = 0;
    int m_preformatted = 0;
    QVarLengthArray<QStringView, MaxFontFaces> m_faces;
    int m_run = 0;
    int m_marks = 0;
};

} // namespace

QString sanitised(QStringView page)
{
    return Sanitiser(page).run();
}

} // namespace AdvertisementMarkup
