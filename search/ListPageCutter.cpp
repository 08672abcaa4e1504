#include "ListPageCutter.h"

namespace {

// Both delimiters end in CR LF, and a line feed is rarer in a list page than '<', so the scan jumps from
// line feed to line feed (a vectorised character search) and looks back for a delimiter ending there.
constexpr qsizetype RowStartLf = 18; // offset of the line feed inside the row start
constexpr qsizetype CellEndLf = 6; // offset of the line feed inside the cell end

static_assert(ListPageCutter::RowStart[RowStartLf] == u'\n');
static_assert(ListPageCutter::CellEnd[CellEndLf] == u'\n');

// The delimiters are ASCII; for their letters, ignoring case by folding ASCII alone agrees with Unicode
// simple case folding (no other character folds to one of them).
inline bool matchesIgnoringAsciiCase(const QChar* text, QStringView lowerDelimiter)
{
    for (qsizetype i = 0; i < lowerDelimiter.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + (u'a' - u'A'));
        if (c != lowerDelimiter[i].unicode())
            return false;
    }
    return true;
}

} // namespace

ListPageCutter::ListPageCutter(QStringView html)
    : m_text(html)
{
    const qsizetype first = findRowStart(0);
    m_rowBegin = first < 0 ? -1 : first + RowStart.size();
}

qsizetype ListPageCutter::findRowStart(qsizetype from) const
{
    const QChar* data = m_text.data();
    qsizetype lf = from + RowStartLf;
    while ((lf = m_text.indexOf(u'\n', lf)) >= 0) {
        const qsizetype start = lf - RowStartLf;
        if (start + RowStart.size() <= m_text.size() && matchesIgnoringAsciiCase(data + start, RowStart))
            return start;
        ++lf;
    }
    return -1;
}

bool ListPageCutter::next(ProxyRecord& record)
{
    const QChar* data = m_text.data();
    while (m_rowBegin >= 0) {
        const qsizetype begin = m_rowBegin;
        // One pass over the row: cell ends up to the fourth, and the row start that ends the piece.
        qsizetype cellEnds[4];
        int cellCount = 0;
        qsizetype cellBegin = begin;
        qsizetype pieceEnd = m_text.size();
        qsizetype nextBegin = -1;
        qsizetype lf = begin;
        while ((lf = m_text.indexOf(u'\n', lf)) >= 0) {
            const qsizetype rowStart = lf - RowStartLf;
            if (rowStart >= begin && lf - RowStartLf + RowStart.size() <= m_text.size()
                && matchesIgnoringAsciiCase(data + rowStart, RowStart)) {
                pieceEnd = rowStart;
                nextBegin = rowStart + RowStart.size();
                break;
            }
            const qsizetype cellEnd = lf - CellEndLf;
            if (cellCount < 4 && cellEnd >= cellBegin && matchesIgnoringAsciiCase(data + cellEnd, CellEnd)) {
                cellEnds[cellCount++] = cellEnd;
                cellBegin = lf + 1;
                if (cellCount == 4) {
                    // The rest of the piece is not used; only the next row start matters.
                    const qsizetype following = findRowStart(cellBegin);
                    if (following >= 0) {
                        pieceEnd = following;
                        nextBegin = following + RowStart.size();
                    }
                    break;
                }
            }
            ++lf;
        }
        m_rowBegin = nextBegin;

        if (cellCount < 3) {
            ++m_shortRows;
            continue;
        }
        const qsizetype cell3End = cellCount == 4 ? cellEnds[3] : pieceEnd;
        const auto cell = [&](qsizetype from, qsizetype to) { return m_text.sliced(from, to - from); };
        record.address = cell(begin, cellEnds[0]);
        record.port = removeCellTags(cell(cellEnds[0] + CellEnd.size(), cellEnds[1]), m_port);
        record.type = removeCellTags(cell(cellEnds[1] + CellEnd.size(), cellEnds[2]), m_type);
        record.country = removeCellTags(cell(cellEnds[2] + CellEnd.size(), cell3End), m_country);
        m_key.resize(0);
        m_key.reserve(record.address.size() + 1 + record.port.size());
        m_key.append(record.address).append(u':').append(record.port);
        record.key = m_key;
        return true;
    }
    return false;
}

QStringView ListPageCutter::removeCellTags(QStringView cell, QString& scratch)
{
    // Fast paths on a character search: no markup at all, or the cell's own tag and plain text after it.
    const qsizetype firstTag = cell.indexOf(u'<');
    if (firstTag < 0)
        return cell;
    if (firstTag == 0 && cell.startsWith(CellTag) && cell.indexOf(u'<', CellTag.size()) < 0)
        return cell.sliced(CellTag.size());
    qsizetype found = cell.indexOf(CellTag, firstTag);
    if (found < 0)
        return cell;
    scratch.resize(0);
    qsizetype from = 0;
    while (found >= 0) {
        scratch.append(cell.sliced(from, found - from));
        from = found + CellTag.size();
        found = cell.indexOf(CellTag, from);
    }
    scratch.append(cell.sliced(from));
    return scratch;
}
