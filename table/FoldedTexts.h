#pragma once

#include "BlockMemory.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <array>
#include <vector>

// A column's texts folded for sorting, one after another in one buffer: comparing two folded texts byte
// by byte, a shorter one first where it is the start of the other, orders them as comparing their
// QString::toCaseFolded() forms code unit by code unit. While few of the texts differ it also numbers
// the different ones, so that a column of a handful of types or countries sorts those few and then the
// rows by their ranks.
class FoldedTexts
{
public:
    // Room for `count` texts; equal texts are told apart while at most `mostDistinct` differ.
    FoldedTexts(qsizetype count, qsizetype mostDistinct);

    // At most `count` times.
    void append(QByteArrayView text);

    qsizetype size() const { return m_size; }
    // The length of the longest text.
    qsizetype longest() const { return m_longest; }
    // Text i's folded bytes. The eight bytes after its end can be read: they are the next text's or zero.
    const char* data(qsizetype i) const { return m_bytes.get() + begin(i); }
    qsizetype length(qsizetype i) const { return qsizetype(ends()[i] - begin(i)); }
    // Where text i's place is kept, for fetching it ahead.
    const void* endOf(qsizetype i) const { return ends() + i; }

    // Whether the different texts were numbered: false once more than `mostDistinct` differ.
    bool distinctKnown() const { return m_distinctKnown; }
    // The number of text i among the different texts, in the order they were first appended.
    quint32 distinctIndex(qsizetype i) const { return distinctIndices()[i]; }
    const quint32* distinctIndexAt(qsizetype i) const { return distinctIndices() + i; }
    // The first text of each number.
    const std::vector<quint32>& firstOfEach() const { return m_firstOfEach; }

private:
    // A different text: its first sixteen bytes (zero past its end), its length (saturated) and its
    // number plus one, 0 for an empty slot. Texts of up to sixteen bytes, an address or a country, are
    // told apart without reading them.
    struct Slot
    {
        std::array<quint64, 2> head;
        quint32 length;
        quint32 number;
    };

    quint64 begin(qsizetype i) const { return i == 0 ? 0 : ends()[i - 1]; }
    quint64* ends() const { return reinterpret_cast<quint64*>(m_ends.get()); }
    quint32* distinctIndices() const { return reinterpret_cast<quint32*>(m_distinctIndices.get()); }
    // Room for `count` more bytes and the eight readable ones after them.
    void reserve(qsizetype count);
    void numberLast();
    void stopNumbering();
    void growSlots();
    // Where the text of this hash, head and length is in the slots, or the empty slot where it would go;
    // null past the longest probe allowed.
    Slot* find(quint32 hash, const Slot& wanted, QByteArrayView text);

    // The memory is a huge page's where the system allows: a table of a million rows folds into tens of
    // megabytes, and filling them a small page at a time costs more than folding.
    BlockMemory::Block m_bytes;
    qsizetype m_used = 0;
    qsizetype m_capacity = 0;
    BlockMemory::Block m_ends; // where each text ends
    qsizetype m_size = 0;
    qsizetype m_longest = 0;

    qsizetype m_mostDistinct;
    bool m_distinctKnown = true;
    BlockMemory::Block m_distinctIndices;
    std::vector<quint32> m_firstOfEach;
    std::vector<Slot> m_slots;
    quint64 m_seed;
};
