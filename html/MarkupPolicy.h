#pragma once

#include <QLatin1StringView>
#include <QStringView>
#include <QVarLengthArray>

#include <initializer_list>

// What of a page's markup the strip may show: a list of known elements, each with the attributes it may
// keep and the form each attribute's value must have. Nothing here names a resource (no images, style
// sheets, scripts, frames, backgrounds or style attributes). Any other element loses its tags and keeps
// its text, except the few whose content is no text to show, which are dropped whole.
namespace MarkupPolicy {

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
    quint16 attributes = 0; // the Attribute values it may keep
};

struct AttributeRule
{
    QLatin1StringView name;
    Attribute attribute;
    bool (*accepts)(QStringView value);
};

// An attribute that passed, with its value (trimmed) as the page has it.
struct AcceptedAttribute
{
    const AttributeRule* rule;
    QStringView value;
};
using AttributeList = QVarLengthArray<AcceptedAttribute, 8>;

// How many elements the policy knows, each with a place from 0 to TagCount - 1 (tagIndex()).
inline constexpr qsizetype TagCount = 52;

// The rule of the element `name`, letter case ignored; null for an element that is not known.
const TagRule* findTag(QStringView name);
qsizetype tagIndex(const TagRule& rule);

// The rule of the attribute `name`, letter case ignored, when it is one of `allowed`; else null.
const AttributeRule* findAttribute(QStringView name, quint16 allowed);

} // namespace MarkupPolicy
