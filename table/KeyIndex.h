#pragma once

#include "BlockMemory.h"

#include <QByteArrayView>
#include <QHashFunctions>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

// The set of row keys, as an open-addressing table of (hash, row) pairs: one probe into a flat array per
// lookup, where a node-based set would chase a pointer per key. The keys themselves stay in the rows; the
// caller lends them through `keyOf(row)`, which is read only when two hashes agree. Keeping the hash in
// the slot lets the table grow without reading a key. The hash is seeded per process, so a page cannot
// be crafted to make every key collide.
class KeyIndex
{
public:
    KeyIndex()
        : m_seed(QHashSeed::globalSeed())
    { }

    quint32 hashOf(QByteArrayView key) const
    {
        const size_t h = qHash(key, m_seed);
        return quint32(h ^ (quint64(h) >> 32));
    }

    // Starts fetching the slot where a key of hash `hash` would go, for an insert() soon after.
    void prefetch(quint32 hash) const
    {
#if defined(__GNUC__) || defined(__clang__)
        if (m_slotCount > 0)
            __builtin_prefetch(m_slots.get() + (hash & mask()) * sizeof(quint64));
#else
        (void)hash;
#endif
    }

    // Records `row` under `key`, whose hashOf() is `hash`, and returns true; returns false when a row with
    // that key is present.
    template <typename KeyOf> bool insert(QByteArrayView key, quint32 hash, quint32 row, KeyOf&& keyOf)
    {
        // At most three quarters full, so a probe stays short.
        if ((m_count + 1) * 4 > m_slotCount * 3)
            grow();
        for (size_t slot = hash & mask();; slot = (slot + 1) & mask()) {
            quint64& entry = entries()[slot];
            if (entry == 0) {
                entry = pack(hash, row);
                ++m_count;
                return true;
            }
            if (quint32(entry >> 32) == hash && keyOf(quint32(entry) - 1) == key)
                return false;
        }
    }

    void clear()
    {
        m_slots.reset();
        m_slotCount = 0;
        m_count = 0;
    }

private:
    // A small table stays small; once it outgrows that, a huge page's worth at once, room for about two
    // hundred thousand keys, where doubling would fill and drop a dozen tables on the way.
    static constexpr size_t InitialSlots = 1024;
    static constexpr size_t LargeSlots = BlockMemory::HugePageBytes / sizeof(quint64);

    static quint64 pack(quint32 hash, quint32 row)
    {
        return (quint64(hash) << 32) | (quint64(row) + 1);
    }
    size_t mask() const
    {
        return m_slotCount - 1;
    }
    std::span<quint64> entries() const
    {
        return { reinterpret_cast<quint64*>(m_slots.get()), m_slotCount };
    }

    void grow()
    {
        const std::span<quint64> old = entries();
        BlockMemory::Block oldBlock = std::move(m_slots);
        m_slotCount = m_slotCount == 0 ? InitialSlots : std::max(m_slotCount * 2, LargeSlots);
        m_slots = BlockMemory::allocateZeroed(m_slotCount * sizeof(quint64));
        const std::span<quint64> fresh = entries();
        for (const quint64 entry : old) {
            if (entry == 0)
                continue;
            size_t slot = quint32(entry >> 32) & mask();
            while (fresh[slot] != 0)
                slot = (slot + 1) & mask();
            fresh[slot] = entry;
        }
    }

    BlockMemory::Block m_slots; // m_slotCount entries, 0 for an empty slot
    size_t m_slotCount = 0;
    size_t m_count = 0;
    size_t m_seed;
};
