#include "FoldedTexts.h"

#include "Utf8Unit.h"

#include <QHashFunctions>
#include <QString>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Eight readable bytes after the last text, so that a sort reads any text's next eight bytes in one load.
constexpr qsizetype Padding = 8;
// Slots a probe may pass before the numbering gives up: texts whose hashes collide more than that are
// left to the sort that compares them, so no page can make a probe long.
constexpr size_t MostProbes = 64;
// A column of a few types or countries keeps its table in the first level of cache.
constexpr size_t FirstSlots = 1024;

// The text's first eight bytes, zero past its end; the padding makes them readable.
quint64 headOf(const char* text, qsizetype length)
{
    quint64 head;
    std::memcpy(&head, text, sizeof(head));
    return length >= 8 ? head : head & ~(~quint64(0) << (8 * length));
}

// The text's bytes eight at a time, the first sixteen as the slot has them, multiplied and folded onto
// a per-process seed: a hash of a few nanoseconds, where qHash() of a short text takes a hundred.
quint32 hashOf(const std::array<quint64, 2>& head, const char* text, qsizetype length, quint64 seed)
{
    constexpr quint64 Odd = 0x9E3779B97F4A7C15ull;
    quint64 h = seed ^ quint64(length);
    const auto mix = [&h](quint64 word) {
        h = (h ^ word) * Odd;
        h ^= h >> 29;
    };
    mix(head[0]);
    mix(head[1]);
    for (qsizetype at = 16; at < length; at += 8)
        mix(headOf(text + at, length - at));
    h *= Odd;
    return quint32(h >> 32);
}

} // namespace

FoldedTexts::FoldedTexts(qsizetype count, qsizetype mostDistinct)
    : m_ends(BlockMemory::allocate(size_t(count) * sizeof(quint64)))
    , m_mostDistinct(mostDistinct)
    , m_distinctIndices(BlockMemory::allocate(size_t(count) * sizeof(quint32)))
    , m_slots(FirstSlots)
    , m_seed(QHashSeed::globalSeed())
{
    // Most cells are short: a table's addresses take some fifteen bytes.
    reserve(count * 16);
}

void FoldedTexts::reserve(qsizetype count)
{
    if (m_used + count + Padding <= m_capacity)
        return;
    const qsizetype capacity = std::max(m_capacity * 2, m_used + count + Padding);
    BlockMemory::Block bytes = BlockMemory::allocate(size_t(capacity));
    if (m_used > 0)
        std::memcpy(bytes.get(), m_bytes.get(), size_t(m_used));
    m_bytes = std::move(bytes);
    m_capacity = capacity;
}

void FoldedTexts::append(QByteArrayView text)
{
    // A UTF-16 code unit takes at most three bytes, and a text has at most one unit per byte.
    reserve(text.size() * 3);
    char* folded = m_bytes.get() + m_used;
    unsigned char seen = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        seen |= c;
        folded[i] = char(unsigned(c - 'A') < 26u ? c + ('a' - 'A') : c);
    }
    char* end = folded + text.size();
    // ASCII folds by itself; any other text is folded as a QString, since some of its characters fold to
    // ASCII (the Kelvin sign to 'k'). Each UTF-16 code unit is written on its own in UTF-8's pattern,
    // surrogates included: then the byte order is the code unit order, where whole characters in UTF-8
    // would put those beyond U+FFFF after U+E000 to U+FFFF.
    if (seen >= 0x80) {
        const QString units = QString::fromUtf8(text).toCaseFolded();
        reserve(units.size() * 3);
        end = m_bytes.get() + m_used;
        for (const QChar unit : units)
            end = putUtf8Unit(end, unit.unicode());
    }
    m_longest = std::max<qsizetype>(m_longest, end - (m_bytes.get() + m_used));
    m_used = end - m_bytes.get();
    std::memset(end, 0, Padding);
    ends()[m_size++] = quint64(m_used);
    if (m_distinctKnown)
        numberLast();
}

FoldedTexts::Slot* FoldedTexts::find(quint32 hash, const Slot& wanted, QByteArrayView text)
{
    constexpr qsizetype HeadBytes = 16;
    const size_t mask = m_slots.size() - 1;
    for (size_t probe = 0, at = hash & mask; probe < MostProbes; ++probe, at = (at + 1) & mask) {
        Slot& slot = m_slots[at];
        if (slot.number == 0)
            return &slot;
        if (slot.head != wanted.head || slot.length != wanted.length)
            continue;
        if (text.size() <= HeadBytes)
            return &slot;
        const qsizetype first = m_firstOfEach[slot.number - 1];
        if (length(first) == text.size()
            && std::memcmp(data(first) + HeadBytes, text.data() + HeadBytes, size_t(text.size() - HeadBytes))
                == 0)
            return &slot;
    }
    return nullptr;
}

void FoldedTexts::numberLast()
{
    const qsizetype last = m_size - 1;
    const QByteArrayView text(data(last), length(last));
    const Slot wanted { { headOf(text.data(), text.size()),
                            text.size() > 8 ? headOf(text.data() + 8, text.size() - 8) : 0 },
        quint32(std::min<qsizetype>(text.size(), std::numeric_limits<quint32>::max())), 0 };
    Slot* slot = find(hashOf(wanted.head, text.data(), text.size(), m_seed), wanted, text);
    if (slot != nullptr && slot->number != 0) {
        distinctIndices()[last] = slot->number - 1;
        return;
    }
    // Too many to gain by ranks, or hashes that collide too often: the sort compares the texts instead.
    if (slot == nullptr || qsizetype(m_firstOfEach.size()) == m_mostDistinct) {
        stopNumbering();
        return;
    }
    const auto index = quint32(m_firstOfEach.size());
    *slot = wanted;
    slot->number = index + 1;
    m_firstOfEach.push_back(quint32(last));
    distinctIndices()[last] = index;
    // At most half full, so that a probe stays short.
    if (m_firstOfEach.size() * 2 > m_slots.size())
        growSlots();
}

void FoldedTexts::growSlots()
{
    std::vector<Slot> old(m_slots.size() * 2);
    old.swap(m_slots);
    for (const Slot& slot : old) {
        if (slot.number == 0)
            continue;
        const qsizetype first = m_firstOfEach[slot.number - 1];
        const QByteArrayView text(data(first), length(first));
        Slot* empty = find(hashOf(slot.head, text.data(), text.size(), m_seed), slot, text);
        if (empty == nullptr) {
            stopNumbering();
            return;
        }
        *empty = slot;
    }
}

void FoldedTexts::stopNumbering()
{
    m_distinctKnown = false;
    m_slots = {};
    m_firstOfEach = {};
}
