#pragma once

#include "ProxyRecord.h"

#include <QString>
#include <QStringView>

// Cuts the body text of one list page into proxy records at the fixed row and cell delimiters.
// No HTML parsing: the text is split at the row start (letter case ignored), each row at the cell end
// (letter case ignored), and the upper-case cell tag is removed from cells 1 to 3. Nothing is trimmed.
//
// Rows are cut lazily, one per next(), so the appender can take each record as soon as it exists.
// The page text must outlive the cutter.
class ListPageCutter
{
public:
    static constexpr QStringView RowStart = u"<tr align=middle>\r\n<td>";
    static constexpr QStringView CellEnd = u"</td>\r\n";
    static constexpr QStringView CellTag = u"<TD>";

    explicit ListPageCutter(QStringView html);

    // Cuts the next complete row into `record`; false once the page has no further row.
    // Rows with fewer than four cells are passed over and counted.
    bool next(ProxyRecord& record);

    qsizetype shortRows() const { return m_shortRows; }

    // Removes every upper-case cell tag in one left-to-right pass; what a removal joins is not rescanned.
    // Returns a view of `cell` itself when there is nothing to remove, else a view of `scratch`.
    static QStringView removeCellTags(QStringView cell, QString& scratch);

private:
    qsizetype findRowStart(qsizetype from) const;

    QStringView m_text;
    qsizetype m_rowBegin = -1; // start of the current row piece, -1 once the page is used up
    qsizetype m_shortRows = 0;
    QString m_port;
    QString m_type;
    QString m_country;
    QString m_key;
};
