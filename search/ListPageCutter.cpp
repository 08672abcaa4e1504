#include "ListPageCutter.h"

#include <array>
#include <bit>
#include <cstring>

// TARNWICK_NO_SIMD builds the scalar path everywhere, so that it is tested on machines that have SSE2.
#if !defined(TARNWICK_NO_SIMD)                                                                               \
    && (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#define TARNWICK_SSE2 1
#include <emmintrin.h>
#endif

namespace {

// Both delimiters end in CR LF, and a line feed is rarer in a list page than '<', so the cutter visits
// the page's line feeds in order and looks back for a delimiter ending at each.
constexpr qsizetype RowStartLf = 18; // offset of the line feed inside the row start
constexpr qsizetype CellEndLf = 6; // offset of the line feed inside the cell end

static_assert(ListPageCutter::RowStart[RowStartLf] == '\n');
static_assert(ListPageCutter::CellEnd[CellEndLf] == '\n');

// Delimiters are compared eight bytes at a time, as words in memory order, so the same code holds on
// either byte order.
using Word = quint64;

Word load(const char* at)
{
    Word word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Eight bytes of a delimiter (lower case), compared ignoring ASCII case: its letters are compared with the
// case bit set, and bytes given as '\0' are not compared. Setting the case bit makes a byte one given
// letter only when it was that letter in either case, so nothing else matches, a multi-byte character's
// bytes included.
struct Pattern
{
    Word caseBits;
    Word compared;
    Word value;

    bool matches(const char* at) const { return ((load(at) | caseBits) & compared) == value; }
};

constexpr Pattern patternOf(const char (&text)[9])
{
    std::array<char, 8> caseBits {}, compared {}, value {};
    for (size_t i = 0; i < 8; ++i) {
        caseBits[i] = text[i] >= 'a' && text[i] <= 'z' ? char(0x20) : char(0);
        compared[i] = text[i] == '\0' ? char(0) : char(0xFF);
        value[i] = text[i];
    }
    return { std::bit_cast<Word>(caseBits), std::bit_cast<Word>(compared), std::bit_cast<Word>(value) };
}

// The row start as three overlapping words, and the cell end as the word whose last byte is its line feed.
constexpr Pattern RowStartHead = patternOf("<tr alig");
constexpr Pattern RowStartMiddle = patternOf("n=middle");
constexpr Pattern RowStartTail = patternOf("e>\r\n<td>");
constexpr Pattern CellEndWord = patternOf("\0</td>\r\n");

// Each byte of the 64 at `at` that equals `byte`, as one bit, the first byte in the lowest bit.
quint64 bytesIn64(const char* at, char byte)
{
    quint64 found = 0;
#ifdef TARNWICK_SSE2
    const __m128i wanted = _mm_set1_epi8(byte);
    for (int i = 0; i < 4; ++i) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
        found |= quint64(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, wanted)))) << (16 * i);
    }
#else
    for (int i = 0; i < 64; i += 8) {
        if constexpr (std::endian::native == std::endian::little) {
            // The top bit of each byte equal to `byte`, exactly (no carry crosses a byte), then those
            // eight bits gathered into the lowest byte.
            constexpr Word low7 = 0x7F7F7F7F7F7F7F7Fu;
            const Word x = load(at + i) ^ (Word(static_cast<unsigned char>(byte)) * 0x0101010101010101u);
            const Word equal = ~(((x & low7) + low7) | x | low7);
            found |= ((equal >> 7) * 0x0102040810204080u >> 56) << i;
        } else {
            for (int j = i; j < i + 8; ++j)
                found |= quint64(at[j] == byte) << j;
        }
    }
#endif
    return found;
}

bool isRowStart(QByteArrayView text, qsizetype start)
{
    if (start < 0 || start + ListPageCutter::RowStart.size() > text.size())
        return false;
    const char* at = text.data() + start;
    return RowStartHead.matches(at) && RowStartMiddle.matches(at + 8) && RowStartTail.matches(at + 15);
}

bool isCellEndAt(QByteArrayView text, qsizetype lf)
{
    // The word read starts one byte before the cell end.
    return lf > CellEndLf && CellEndWord.matches(text.data() + lf - CellEndLf - 1);
}

bool startsWithCellTag(const char* at)
{
    return std::memcmp(at, ListPageCutter::CellTag.data(), size_t(ListPageCutter::CellTag.size())) == 0;
}

// The cell with every upper-case cell tag removed in one left-to-right pass, what a removal joins not
// looked at again: a view of the cell when it holds no tag or only its own in front, else of `scratch`.
QByteArrayView removeCellTags(QByteArrayView cell, QByteArray& scratch)
{
    constexpr QByteArrayView tag = ListPageCutter::CellTag;
    qsizetype found = cell.indexOf(tag);
    if (found < 0)
        return cell;
    const qsizetype second = cell.indexOf(tag, found + tag.size());
    if (found == 0 && second < 0)
        return cell.sliced(tag.size());
    scratch.resize(0);
    qsizetype at = 0;
    while (found >= 0) {
        scratch.append(cell.sliced(at, found - at));
        at = found + tag.size();
        found = cell.indexOf(tag, at);
    }
    scratch.append(cell.sliced(at));
    return scratch;
}

// Whether cells 1 to 3, [cell1, end1), [cell2, end2) and [cell3, end3) of the page, are each their own
// tag and plain text, as nearly every row is: then the only '<' from cell 1 to the end of cell 3 are the
// three tags and the two cell ends between them, found in one block of 64 bytes.
bool isPlainRow(QByteArrayView page, qsizetype cell1, qsizetype end1, qsizetype cell2, qsizetype end2,
    qsizetype cell3, qsizetype end3)
{
    const qsizetype span = end3 - cell1;
    if (span >= 64 || cell1 + 64 > page.size())
        return false;
    const auto bit = [cell1](qsizetype at) { return quint64(1) << (at - cell1); };
    const quint64 expected = bit(cell1) | bit(end1) | bit(cell2) | bit(end2) | bit(cell3);
    const char* data = page.data();
    const quint64 inSpan = (quint64(1) << span) - 1;
    return (bytesIn64(data + cell1, '<') & inSpan) == expected && startsWithCellTag(data + cell1)
        && startsWithCellTag(data + cell2) && startsWithCellTag(data + cell3);
}

} // namespace

ListPageCutter::ListPageCutter(QByteArrayView html)
    : m_text(html)
{
    qsizetype lf;
    while ((lf = m_lineFeeds.next(m_text)) >= 0) {
        if (isRowStart(m_text, lf - RowStartLf)) {
            m_rowBegin = lf - RowStartLf + RowStart.size();
            break;
        }
    }
}

void ListPageCutter::LineFeeds::refill(QByteArrayView text)
{
    while (m_pending == 0) {
        m_block += 64;
        if (m_block >= text.size())
            return;
        if (m_block + 64 <= text.size()) {
            m_pending = bytesIn64(text.data() + m_block, '\n');
        } else {
            for (qsizetype i = m_block; i < text.size(); ++i)
                m_pending |= quint64(text[i] == '\n') << (i - m_block);
        }
    }
}

bool ListPageCutter::next(ProxyRecord& record)
{
    while (m_rowBegin >= 0) {
        const qsizetype begin = m_rowBegin;
        // The line feeds up to the next row start: the cell ends among them, of which the first four count.
        // At most one delimiter ends at a line feed (the bytes before it differ), and neither can overlap
        // the row start in front of the row or the cell end before it, so every match counts.
        qsizetype cellEnds[4];
        int cellCount = 0;
        qsizetype pieceEnd = m_text.size();
        m_rowBegin = -1;
        qsizetype lf;
        while ((lf = m_lineFeeds.next(m_text)) >= 0) {
            if (isCellEndAt(m_text, lf)) {
                if (cellCount < 4)
                    cellEnds[cellCount++] = lf - CellEndLf;
            } else if (isRowStart(m_text, lf - RowStartLf)) {
                pieceEnd = lf - RowStartLf;
                m_rowBegin = pieceEnd + RowStart.size();
                break;
            }
        }

        if (cellCount < 3) {
            ++m_shortRows;
            continue;
        }
        const qsizetype cell1 = cellEnds[0] + CellEnd.size();
        const qsizetype cell2 = cellEnds[1] + CellEnd.size();
        const qsizetype cell3 = cellEnds[2] + CellEnd.size();
        const qsizetype cell3End = cellCount == 4 ? cellEnds[3] : pieceEnd;
        const auto cell = [&](qsizetype from, qsizetype to) { return m_text.sliced(from, to - from); };
        record.address = cell(begin, cellEnds[0]);
        if (isPlainRow(m_text, cell1, cellEnds[1], cell2, cellEnds[2], cell3, cell3End)) {
            record.port = cell(cell1 + CellTag.size(), cellEnds[1]);
            record.type = cell(cell2 + CellTag.size(), cellEnds[2]);
            record.country = cell(cell3 + CellTag.size(), cell3End);
        } else {
            QByteArray(&scratch)[3] = m_scratch[m_turn];
            m_turn = (m_turn + 1) % (Lookahead + 1);
            record.port = removeCellTags(cell(cell1, cellEnds[1]), scratch[0]);
            record.type = removeCellTags(cell(cell2, cellEnds[2]), scratch[1]);
            record.country = removeCellTags(cell(cell3, cell3End), scratch[2]);
        }
        return true;
    }
    return false;
}
