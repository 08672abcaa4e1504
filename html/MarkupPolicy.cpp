#include "MarkupPolicy.h"

#include "HtmlCharacters.h"
#include "MarkupBounds.h"

#include <iterator>

using namespace Qt::StringLiterals;

namespace MarkupPolicy {
namespace {

using HtmlCharacters::isAsciiAlphanumeric;

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

static_assert(std::size(Tags) == TagCount);

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

// Each attribute that passes, with the form its value must have. A link's address is never loaded by
// the strip, only handed to the default browser on a click, which checks it again.
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
    { "colspan"_L1, ColSpan,
        [](QStringView value) { return isNumber(value, 1, MarkupBounds::MaxRowColumns); } },
    { "bgcolor"_L1, BgColor, isColour },
    { "type"_L1, ListType,
        [](QStringView value) {
            return value.size() == 1 ? QStringView(u"1aAiI").contains(value[0])
                                     : isOneOf(value, { "disc"_L1, "circle"_L1, "square"_L1 });
        } },
};

} // namespace

const TagRule* findTag(QStringView name)
{
    for (const TagRule& rule : Tags) {
        if (name.size() == rule.name.size() && name.compare(rule.name, Qt::CaseInsensitive) == 0)
            return &rule;
    }
    return nullptr;
}

qsizetype tagIndex(const TagRule& rule)
{
    return &rule - Tags;
}

const AttributeRule* findAttribute(QStringView name, quint16 allowed)
{
    for (const AttributeRule& rule : Attributes) {
        if ((allowed & rule.attribute) && name.compare(rule.name, Qt::CaseInsensitive) == 0)
            return &rule;
    }
    return nullptr;
}

} // namespace MarkupPolicy
