#pragma once

#include "ProxyRecord.h"

#include <QByteArray>
#include <QByteArrayView>

#include <bit>

// Cuts the body of one list page (UTF-8) into proxy records at the fixed row and cell delimiters.
// No HTML parsing: the text is split at the row start (letter case ignored), each row at the cell end
// (letter case ignored), and the upper-case cell tag is removed from cells 1 to 3. Nothing is trimmed.
// The delimiters are ASCII, so the cuts never fall inside a multi-byte character.
//
// Rows are cut lazily, one per next(), so the appender can take each record as soon as it exists. A
// record stays valid while the cutter cuts the next Lookahead rows, so the appender may look that far
// ahead. The page must outlive the cutter.
class ListPageCutter
{
public:
    static constexpr QByteArrayView RowStart = "<tr align=middle>\r\n<td>";
    static constexpr QByteArrayView CellEnd = "</td>\r\n";
    static constexpr QByteArrayView CellTag = "<TD>";

    static constexpr int Lookahead = 2;

    explicit ListPageCutter(QByteArrayView html);

    // Cuts the next complete row into `record`; false once the page has no further row.
    // Rows with fewer than four cells are passed over and counted.
    bool next(ProxyRecord& record);

    qsizetype shortRows() const { return m_shortRows; }

private:
    // The page's line feeds, visited in order: the page is read in blocks of 64 bytes, each turned once
    // into a mask with a bit per line feed.
    class LineFeeds
    {
    public:
        // The next line feed; -1 after the last.
        qsizetype next(QByteArrayView text)
        {
            if (m_pending == 0) {
                refill(text);
                if (m_pending == 0)
                    return -1;
            }
            const qsizetype lf = m_block + std::countr_zero(m_pending);
            m_pending &= m_pending - 1;
            return lf;
        }

    private:
        void refill(QByteArrayView text);

        qsizetype m_block = -64;
        quint64 m_pending = 0; // the line feeds of the block at m_block not visited yet
    };

    QByteArrayView m_text;
    qsizetype m_rowBegin = -1; // start of the next row piece, -1 once the page is used up
    qsizetype m_shortRows = 0;
    LineFeeds m_lineFeeds;
    // Where a cell's extra tags are cut out: a set for each record that must stay valid, used by turns.
    QByteArray m_scratch[Lookahead + 1][3];
    int m_turn = 0;
};
