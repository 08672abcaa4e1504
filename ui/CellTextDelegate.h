#pragma once

#include <QStyledItemDelegate>

// Draws the list's cells. A cell shows at most the beginning of its text, then an ellipsis, and at most
// MaxCombiningMarks combining marks on one character: laying out a whole cell of a megabyte, or a letter
// carrying thousands of accents, on every repaint would hold the window for seconds. Only what is drawn is
// cut; the row keeps its whole text.
class CellTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Characters (UTF-16 code units) of a cell drawn before the ellipsis.
    static constexpr qsizetype MaxShownLength = 256;

    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant& value, const QLocale& locale) const override;

protected:
    // The list's unit is the row, which shows its selection whole: no cell draws a focus frame of its own.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

    // What is drawn of `text`: all of it when short, else its beginning cut where a character ends
    // (between grapheme clusters where one ends near the cut) and an ellipsis; without the combining
    // marks beyond the first few on any one character.
    static QString shownText(const QString& text);
};
