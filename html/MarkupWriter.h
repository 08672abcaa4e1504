#pragma once

#include "MarkupBounds.h"
#include "MarkupPolicy.h"

#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <array>

// Writes the strip's markup from the pieces of a page that passed the policy: every tag anew in one plain
// form, `<name attr="value">`, text as it came, and the bounds of MarkupBounds applied as it goes. An
// element beyond a bound of nesting loses its tags and keeps its text; once the markup is full, nothing
// more is written, yet room is always left to close every element it opened.
class MarkupWriter
{
public:
    void startTag(const MarkupPolicy::TagRule& rule, const MarkupPolicy::AttributeList& attributes);
    void endTag(const MarkupPolicy::TagRule& rule);
    // Copies text, which holds no '<'. Character references pass whole for the document to read.
    void text(QStringView run);
    // A '<' that opens no tag: text, counted as the character reference is when the output is read again.
    void strayLessThan() { character(u"&lt;"); }
    // Whether a font family may be named: one named before, or one of the first few.
    bool acceptFace(QStringView face);

    // Whether the markup has reached its bound, so that nothing more of the page can show.
    bool full() const { return m_full; }
    // The markup, with every element still open closed.
    QString finish();

private:
    struct OpenElement
    {
        const MarkupPolicy::TagRule* rule;
        bool shown;
        int columns = 0; // of a row: the columns its cells span so far
    };
    // Elements kept open, shown or not: end tags are matched against these. Tags beyond it are dropped.
    static constexpr qsizetype MaxOpenKept = 64;

    // A row or cell: in a table that is not shown, only a break or space in its place. True when it is
    // open and shown.
    bool tablePart(const MarkupPolicy::TagRule& rule, const MarkupPolicy::AttributeList& attributes);
    static int columnSpan(const MarkupPolicy::AttributeList& attributes);
    void closeParagraph();
    // The innermost open element of one of `targets`, not looking past one of `barriers`; -1 if none.
    qsizetype nearest(MarkupPolicy::KindSet targets, MarkupPolicy::KindSet barriers) const;
    static QString startTagText(
        const MarkupPolicy::TagRule& rule, const MarkupPolicy::AttributeList& attributes);
    static qsizetype endTagLength(const MarkupPolicy::TagRule& rule) { return rule.name.size() + 3; }
    // Opens an element, true when it is open and shown.
    bool push(const MarkupPolicy::TagRule& rule, const MarkupPolicy::AttributeList& attributes, bool shown);
    void closeTo(qsizetype index);
    void count(const MarkupPolicy::TagRule& rule, int change);
    bool fits(qsizetype length) const
    {
        return m_out.size() + length + m_closingLength <= MarkupBounds::MaxMarkup;
    }
    // Writes a piece of markup. Runs of text without a break are counted from the output, never from the
    // page, so that the output read again breaks them in the same places: a space or the tag of a block
    // ends a run, a tag that was left out does not.
    void put(QStringView piece);
    // Writes one character of text, as `written`, within the bound on unbroken runs.
    void character(QStringView written, bool mark = false);
    bool takeBlock();
    // A line break (or rule), or where a tag that is not shown stood; a space once there were enough.
    void lineBreak(QStringView tag = u"<br>");
    void breakRun();

    QString m_out;
    // The end tags still to write, all of which the bound on the markup leaves room for.
    qsizetype m_closingLength = 0;
    bool m_full = false;
    QVarLengthArray<OpenElement, 32> m_open;
    std::array<int, MarkupPolicy::TagCount> m_openOf {}; // how many of m_open each element is
    int m_shownFormatting = 0;
    int m_tables = 0;
    int m_lists = 0;
    int m_rows = 0;
    int m_cells = 0;
    int m_blocks = 0;
    int m_lineBreaks = 0;
    int m_preformatted = 0;
    QVarLengthArray<QStringView, MarkupBounds::MaxFontFaces> m_faces;
    int m_run = 0; // characters since the last place to break the line
    int m_marks = 0; // combining marks on the last character
};
