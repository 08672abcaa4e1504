#include "RadixSort.h"

#include "BlockMemory.h"
#include "FoldedTexts.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

using Counts = std::array<size_t, 256>;

// After a sort the rows come in an order other than their keys', and each key is a read from anywhere
// in megabytes: they are fetched this many rows ahead, so that the reads overlap.
constexpr size_t Ahead = 16;

void prefetch(const void* at)
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(at);
#else
    (void)at;
#endif
}

// A text's entry: the digit it is sorted by, the one after (so that a run of equal digits goes on
// without reading the text), and its length (saturated), which the lengths' round and the comparisons
// need.
struct TextEntry
{
    quint64 key;
    quint64 next;
    quint32 row;
    quint32 length;
};
// The same for texts of at most eight bytes, as ports are, whose next digit is always zero: a third
// fewer bytes for each pass to move.
struct ShortTextEntry
{
    quint64 key;
    quint32 row;
    quint32 length;
};

// Moves [first, last) of `from` into the same places of `to`, stably ordered by `byteOf(item)`, whose
// values `counts` counted.
template <typename T, typename ByteOf>
void scatter(const T* from, T* to, size_t first, size_t last, const Counts& counts, ByteOf byteOf)
{
    Counts next;
    size_t at = first;
    for (size_t b = 0; b < counts.size(); ++b) {
        next[b] = at;
        at += counts[b];
    }
    for (size_t i = first; i < last; ++i)
        to[next[byteOf(from[i])]++] = from[i];
}

// Room for `count` items, left uninitialised: every item is written before it is read. A huge page's
// memory where the system allows, as a million rows take up to sixteen megabytes.
template <typename T> class Buffer
{
public:
    explicit Buffer(size_t count)
        : m_block(BlockMemory::allocate(std::max<size_t>(count, 1) * sizeof(T)))
    { }
    T* get() const { return reinterpret_cast<T*>(m_block.get()); }
    T& operator[](size_t i) const { return get()[i]; }
    void swap(Buffer& other) { m_block.swap(other.m_block); }

private:
    BlockMemory::Block m_block;
};

// Texts ordered by 8-byte digits, most significant first: digit L is bytes [8L, 8L + 8) of the folded
// text read big-endian, zero past the text's end; texts equal in every digit are ordered by length,
// shorter first. That is the order of comparing the bytes, a text first where it is the start of the
// other. Descending, digits and lengths are complemented. A range of entries is sorted a byte of its
// digit at a time, from the most significant byte that differs within it; a range whose digits are all
// equal moves on to the next digit, which its entries hold, or to the lengths once every text has
// ended. Short ranges are sorted by insertion. Only texts longer than the two digits in hand are read
// again.
template <typename Entry> class TextRadix
{
    static constexpr bool Short = std::is_same_v<Entry, ShortTextEntry>;

public:
    TextRadix(const FoldedTexts& texts, bool descending, size_t count)
        : m_texts(texts)
        , m_flip(descending ? ~quint64(0) : 0)
        , m_entries(count)
        , m_spare(count)
    { }

    std::vector<quint32> sort(std::span<const quint32> rows)
    {
        const size_t count = rows.size();
        for (size_t i = 0; i < count; ++i) {
            // Where a text lies, then the text: each a read from anywhere once the rows are permuted.
            if (i + 2 * Ahead < count)
                prefetch(m_texts.endOf(rows[i + 2 * Ahead]));
            if (i + Ahead < count)
                prefetch(m_texts.data(rows[i + Ahead]));
            const quint32 row = rows[i];
            const qsizetype length = m_texts.length(row);
            const auto saturated = quint32(std::min<qsizetype>(length, Saturated));
            if constexpr (Short)
                m_entries[i] = Entry { digit(row, length, 0) ^ m_flip, row, saturated };
            else
                m_entries[i] = Entry { digit(row, length, 0) ^ m_flip, digit(row, length, 1) ^ m_flip, row,
                    saturated };
        }
        if (count > 0)
            m_work.push_back(Range { 0, count, 0, 64, false, false });
        while (!m_work.empty()) {
            const Range range = m_work.back();
            m_work.pop_back();
            sortRange(range);
        }
        std::vector<quint32> sorted(count);
        for (size_t i = 0; i < count; ++i)
            sorted[i] = m_entries[i].row;
        return sorted;
    }

private:
    // Entries [first, last) agree in every digit before `level` and in the key's bits from `bits` up;
    // in the lengths' round (`lengths`) the keys are the lengths.
    struct Range
    {
        size_t first;
        size_t last;
        qsizetype level;
        int bits;
        bool lengths;
        bool inSpare; // the range's entries are in the spare buffer
    };
    // Below this many entries, sorting by insertion costs less than a pass of counting.
    static constexpr size_t SmallRange = 16;
    static constexpr qsizetype Saturated = std::numeric_limits<quint32>::max();

    qsizetype lengthOf(const Entry& e) const
    {
        return e.length == Saturated ? m_texts.length(e.row) : e.length;
    }

    quint64 digit(quint32 row, qsizetype length, qsizetype level) const
    {
        const qsizetype at = level * 8;
        const qsizetype left = length - at;
        if (left <= 0)
            return 0;
        quint64 bytes;
        std::memcpy(&bytes, m_texts.data(row) + at, sizeof(bytes));
        bytes = qFromBigEndian(bytes);
        return left >= 8 ? bytes : bytes & (~quint64(0) << (8 * (8 - left)));
    }

    bool less(const Entry& a, const Entry& b, const Range& range) const
    {
        if (a.key != b.key)
            return a.key < b.key;
        if (range.lengths)
            return false;
        qsizetype at = (range.level + 1) * 8;
        if constexpr (!Short) {
            if (a.next != b.next)
                return a.next < b.next;
            at += 8;
        }
        // Equal in the digits in hand: the bytes after them, then the lengths, ascending.
        const qsizetype lengthA = lengthOf(a);
        const qsizetype lengthB = lengthOf(b);
        int c = 0;
        if (const qsizetype common = std::min(lengthA, lengthB) - at; common > 0)
            c = std::memcmp(m_texts.data(a.row) + at, m_texts.data(b.row) + at, size_t(common));
        if (c == 0)
            c = lengthA < lengthB ? -1 : lengthA > lengthB ? 1 : 0;
        return m_flip != 0 ? c > 0 : c < 0;
    }

    void insertionSort(Entry* e, const Range& range) const
    {
        for (size_t i = range.first + 1; i < range.last; ++i) {
            const Entry moving = e[i];
            size_t j = i;
            for (; j > range.first && less(moving, e[j - 1], range); --j)
                e[j] = e[j - 1];
            e[j] = moving;
        }
    }

    void sortRange(Range range)
    {
        // Each pass of counting moves a range from one buffer to the other; a range done in the spare
        // one moves back once.
        Entry* const e = range.inSpare ? m_spare.get() : m_entries.get();
        const auto done = [&] {
            if (range.inSpare)
                std::memcpy(m_entries.get() + range.first, e + range.first,
                    (range.last - range.first) * sizeof(Entry));
        };
        quint64 differ = 0;
        Counts counts;
        for (;;) {
            if (range.last - range.first <= SmallRange) {
                insertionSort(e, range);
                done();
                return;
            }
            // Which bits differ, and the counts of the highest byte left, which is most often the one
            // that differs first. With no bits left the digit is equal throughout.
            if (range.bits > 0) {
                const int top = range.bits - 8;
                const quint64 firstKey = e[range.first].key;
                differ = 0;
                counts = {};
                for (size_t i = range.first; i < range.last; ++i) {
                    differ |= e[i].key ^ firstKey;
                    ++counts[(e[i].key >> top) & 0xFF];
                }
                if (range.bits < 64)
                    differ &= (quint64(1) << range.bits) - 1;
                if (differ != 0)
                    break;
            }
            if (range.lengths) {
                done();
                return;
            }
            // Equal in this digit: on to the next one, or to the lengths once every text ended in this one.
            const qsizetype end = (range.level + 1) * 8;
            bool longer = false;
            for (size_t i = range.first; i < range.last && !longer; ++i)
                longer = lengthOf(e[i]) > end;
            if (longer) {
                ++range.level;
                for (size_t i = range.first; i < range.last; ++i) {
                    if constexpr (Short) {
                        e[i].key = digit(e[i].row, lengthOf(e[i]), range.level) ^ m_flip;
                    } else {
                        e[i].key = e[i].next;
                        e[i].next = digit(e[i].row, lengthOf(e[i]), range.level + 1) ^ m_flip;
                    }
                }
            } else {
                range.lengths = true;
                for (size_t i = range.first; i < range.last; ++i)
                    e[i].key = quint64(lengthOf(e[i])) ^ m_flip;
            }
            range.bits = 64;
        }
        // By the most significant byte that differs: those above it agree throughout the range.
        const int shift = (63 - std::countl_zero(differ)) & ~7;
        if (shift != range.bits - 8) {
            counts = {};
            for (size_t i = range.first; i < range.last; ++i)
                ++counts[(e[i].key >> shift) & 0xFF];
        }
        Entry* const to = range.inSpare ? m_entries.get() : m_spare.get();
        scatter(e, to, range.first, range.last, counts,
            [shift](const Entry& t) { return (t.key >> shift) & 0xFF; });
        size_t at = range.first;
        for (const size_t count : counts) {
            const Range bucket { at, at + count, range.level, shift, range.lengths, !range.inSpare };
            if (count > 1)
                m_work.push_back(bucket);
            else if (count == 1 && bucket.inSpare)
                m_entries[at] = to[at];
            at += count;
        }
    }

    const FoldedTexts& m_texts;
    quint64 m_flip;
    Buffer<Entry> m_entries;
    Buffer<Entry> m_spare;
    std::vector<Range> m_work;
};

std::vector<quint32> sortTexts(const FoldedTexts& texts, std::span<const quint32> rows, bool descending)
{
    if (texts.longest() <= 8)
        return TextRadix<ShortTextEntry>(texts, descending, rows.size()).sort(rows);
    return TextRadix<TextEntry>(texts, descending, rows.size()).sort(rows);
}

} // namespace

namespace RadixSort {

std::vector<quint32> byKey(std::span<const quint32> keys, std::span<const quint32> rows, bool descending)
{
    // Each row and its key in one 64-bit word, sorted by the key's bytes from the least significant,
    // passing over those on which every key agrees.
    const size_t count = rows.size();
    if (count == 0)
        return {};
    const quint32 flip = descending ? ~quint32(0) : 0;
    Buffer<quint64> from(count);
    Buffer<quint64> to(count);
    std::array<Counts, 4> counts {};
    for (size_t i = 0; i < count; ++i) {
        if (i + Ahead < count)
            prefetch(&keys[rows[i + Ahead]]);
        const quint32 key = keys[rows[i]] ^ flip;
        from[i] = (quint64(key) << 32) | rows[i];
        for (size_t b = 0; b < counts.size(); ++b)
            ++counts[b][(key >> (8 * b)) & 0xFF];
    }
    for (size_t b = 0; b < counts.size(); ++b) {
        const int shift = int(32 + 8 * b);
        if (counts[b][(from[0] >> shift) & 0xFF] == count)
            continue;
        scatter(from.get(), to.get(), 0, count, counts[b],
            [shift](quint64 word) { return (word >> shift) & 0xFF; });
        from.swap(to);
    }
    std::vector<quint32> sorted(count);
    for (size_t i = 0; i < count; ++i)
        sorted[i] = quint32(from[i]);
    return sorted;
}

std::vector<quint32> byText(const FoldedTexts& texts, std::span<const quint32> rows, bool descending)
{
    if (!texts.distinctKnown())
        return sortTexts(texts, rows, descending);
    // Few different texts: sort one of each, then count the rows into their texts' places. Equal texts
    // share a place, so they keep their order in either direction.
    const std::vector<quint32>& firsts = texts.firstOfEach();
    const std::vector<quint32> sortedFirsts = sortTexts(texts, firsts, descending);
    std::vector<quint32> rankOfDistinct(firsts.size());
    for (size_t rank = 0; rank < sortedFirsts.size(); ++rank)
        rankOfDistinct[texts.distinctIndex(sortedFirsts[rank])] = quint32(rank);
    Buffer<quint32> ranks(rows.size());
    std::vector<size_t> next(firsts.size() + 1);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i + Ahead < rows.size())
            prefetch(texts.distinctIndexAt(rows[i + Ahead]));
        ranks[i] = rankOfDistinct[texts.distinctIndex(rows[i])];
        ++next[ranks[i] + 1];
    }
    for (size_t rank = 1; rank < next.size(); ++rank)
        next[rank] += next[rank - 1];
    std::vector<quint32> sorted(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        sorted[next[ranks[i]]++] = rows[i];
    return sorted;
}

} // namespace RadixSort
