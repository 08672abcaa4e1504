#pragma once

#include "BlockMemory.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

// Bytes appended at the end of one block, which grows by doubling and keeps its room when cleared, so
// page after page lands in memory that is already mapped.
class ByteBuffer
{
public:
    QByteArrayView view() const { return QByteArrayView(m_block.get(), m_size); }
    qsizetype size() const { return m_size; }
    qsizetype capacity() const { return m_capacity; }
    void clear() { m_size = 0; }

    // Room for `bytes` in all, so that appending up to there moves nothing.
    void reserve(qsizetype bytes)
    {
        if (bytes <= m_capacity)
            return;
        BlockMemory::Block block = BlockMemory::allocate(size_t(bytes));
        if (m_size > 0)
            std::memcpy(block.get(), m_block.get(), size_t(m_size));
        m_block = std::move(block);
        m_capacity = bytes;
    }

    void append(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return;
        if (bytes.size() > m_capacity - m_size)
            reserve(std::max(m_capacity * 2, m_size + bytes.size()));
        std::memcpy(m_block.get() + m_size, bytes.data(), size_t(bytes.size()));
        m_size += bytes.size();
    }

private:
    BlockMemory::Block m_block;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};
