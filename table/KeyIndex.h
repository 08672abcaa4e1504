#pragma once

#include <QByteArrayView>
#include <QHashFunctions>

#include <cstdint>
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

    // Records `row` under `key`, whose hashOf() is `hash`, and returns true; returns false when a row with
    // that key is present.
    template <typename KeyOf> bool insert(QByteArrayView key, quint32 hash, quint32 row, KeyOf&& keyOf)
    {
        // At most three quarters full, so a probe stays short.
        if ((m_count + 1) * 4 > m_slots.size() * 3)
            grow();
        for (size_t slot = hash & mask();; slot = (slot + 1) & mask()) {
            const quint64 entry = m_slots[slot];
            if (entry == 0) {
                m_slots[slot] = pack(hash, row);
                ++m_count;
                return true;
            }
            if (quint32(entry >> 32) == hash && keyOf(quint32(entry) - 1) == key)
                return false;
        }
    }

    // Follows the rows to new places after they were reordered: the row at r is now at newRowOf[r].
    void renumber(const std::vector<quint32>& newRowOf)
    {
        for (quint64& entry : m_slots) {
            if (entry != 0)
                entry = pack(quint32(entry >> 32), newRowOf[size_t(quint32(entry) - 1)]);
        }
    }

    void clear()
    {
        m_slots.clear();
        m_count = 0;
    }

private:
    static quint64 pack(quint32 hash, quint32 row) { return (quint64(hash) << 32) | (quint64(row) + 1); }
    size_t mask() const { return m_slots.size() - 1; }

    void grow()
    {
        std::vector<quint64> old(m_slots.empty() ? 1024 : m_slots.size() * 2, 0);
        old.swap(m_slots);
        for (const quint64 entry : old) {
            if (entry == 0)
                continue;
            size_t slot = quint32(entry >> 32) & mask();
            while (m_slots[slot] != 0)
                slot = (slot + 1) & mask();
            m_slots[slot] = entry;
        }
    }

    std::vector<quint64> m_slots;
    size_t m_count = 0;
    size_t m_seed;
};
