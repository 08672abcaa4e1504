#pragma once

#include "BlockMemory.h"

#include <algorithm>
#include <cstddef>
#include <vector>

// Storage for the table's texts (UTF-8): bytes are appended into large blocks that never move, so a row
// costs no allocation of its own and rows filled one after another lie next to each other in memory.
// Space is given back only all at once, by clear(), or the last allocation right after it was made.
class TextArena
{
public:
    // A small first block, so that a table of a few rows costs little; then blocks of a huge page.
    static constexpr size_t FirstBlockBytes = 64 * 1024;
    static constexpr size_t BlockBytes = BlockMemory::HugePageBytes;

    // Room for `count` bytes that stays where it is until clear().
    char* allocate(size_t count)
    {
        if (count > m_left) {
            const size_t size = std::max(m_blocks.empty() ? FirstBlockBytes : BlockBytes, count);
            m_blocks.push_back(BlockMemory::allocate(size));
            m_next = m_blocks.back().get();
            m_left = size;
        }
        char* at = m_next;
        m_next += count;
        m_left -= count;
        m_inUse += count;
        return at;
    }

    // Takes back the `count` bytes that the last allocate() handed out.
    void giveBackLast(size_t count)
    {
        m_next -= count;
        m_left += count;
        m_inUse -= count;
    }

    // Bytes handed out and not given back.
    size_t bytesInUse() const { return m_inUse; }

    void clear()
    {
        m_blocks.clear();
        m_next = nullptr;
        m_left = 0;
        m_inUse = 0;
    }

private:
    std::vector<BlockMemory::Block> m_blocks;
    char* m_next = nullptr;
    size_t m_left = 0;
    size_t m_inUse = 0;
};
