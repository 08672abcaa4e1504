#pragma once

#include <QStringView>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

// Storage for the table's texts: characters are appended into large blocks that never move, so a row
// costs no allocation of its own and rows filled one after another lie next to each other in memory.
// Space is given back only all at once, by clear().
class TextArena
{
public:
    static constexpr size_t BlockChars = 256 * 1024;

    // Room for `count` characters that stays where it is until clear().
    char16_t* allocate(size_t count)
    {
        if (count > m_left || m_next == nullptr) {
            const size_t size = std::max(BlockChars, count);
            m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(size));
            m_next = m_blocks.back().get();
            m_left = size;
        }
        char16_t* at = m_next;
        m_next += count;
        m_left -= count;
        return at;
    }

    // Appends `text` right after `end` when `end` is where the last allocation stopped and there is room,
    // so the block that ends there grows in place; false when it cannot.
    bool extend(const char16_t* end, QStringView text)
    {
        if (end != m_next || size_t(text.size()) > m_left)
            return false;
        std::memcpy(m_next, text.utf16(), size_t(text.size()) * sizeof(char16_t));
        m_next += text.size();
        m_left -= size_t(text.size());
        return true;
    }

    void clear()
    {
        m_blocks.clear();
        m_next = nullptr;
        m_left = 0;
    }

private:
    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    char16_t* m_next = nullptr;
    size_t m_left = 0;
};
