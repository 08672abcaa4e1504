#include "CellTextDelegate.h"

#include "TextShaping.h"

#include <QTextBoundaryFinder>

namespace {

QString cutShort(const QString& text)
{
    constexpr qsizetype max = CellTextDelegate::MaxShownLength;
    if (text.size() <= max)
        return text;
    // The finder sees one character past the cut, so that it knows whether a cluster ends there.
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, QStringView(text).first(max + 1));
    clusters.setPosition(max);
    qsizetype cut = clusters.isAtBoundary() ? max : clusters.toPreviousBoundary();
    // One cluster that fills most of the beginning (a letter with endless accents) is cut inside, yet
    // never between the two halves of a surrogate pair.
    if (cut < max / 2) {
        cut = max;
        if (text[cut].isLowSurrogate() && text[cut - 1].isHighSurrogate())
            --cut;
    }
    return text.first(cut) + QChar(0x2026);
}

// Shaping a character with many marks takes time that grows faster than their number.
QString withoutPiledMarks(const QString& text)
{
    QString kept;
    int marks = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length
            = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const char32_t codePoint
            = length == 2 ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        marks = QChar::isMark(codePoint) ? marks + 1 : 0;
        if (marks > MaxCombiningMarks && kept.isNull())
            kept = text.first(i);
        if (!kept.isNull() && marks <= MaxCombiningMarks)
            kept += QStringView(text).sliced(i, length);
        i += length;
    }
    return kept.isNull() ? text : kept;
}

} // namespace

QString CellTextDelegate::displayText(const QVariant& value, const QLocale& locale) const
{
    if (value.userType() == QMetaType::QString)
        return shownText(value.toString());
    return QStyledItemDelegate::displayText(value, locale);
}

void CellTextDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_HasFocus;
}

QString CellTextDelegate::shownText(const QString& text)
{
    return withoutPiledMarks(cutShort(text));
}
