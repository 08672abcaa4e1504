#pragma once

#include "BlockMemory.h"

#include <cstddef>
#include <string_view>

// Bytes for an open file descriptor, gathered in one buffer and written out a chunk at a time with every
// write checked. Once a write fails nothing more is written and error() tells why.
class FileOutput
{
public:
    static constexpr size_t ChunkBytes = 256 * 1024;

    explicit FileOutput(int fd);

    // Room for `count` more bytes at the end of the buffer: write into it, then hand the end of what was
    // written to commit(). Writing through a pointer spares a bounds check per byte.
    char* room(size_t count)
    {
        if (m_capacity - m_size < count)
            grow(count);
        return m_data.get() + m_size;
    }
    void commit(const char* end) { m_size = size_t(end - m_data.get()); }
    void append(std::string_view bytes);
    // Call after appending: writes out the buffer once it holds a chunk.
    bool flushIfFull() { return m_size < ChunkBytes || flush(); }
    // Writes out the whole buffer; false when the output has failed.
    bool flush();
    // Flushes and closes the descriptor, where a delayed write error may still surface.
    bool close();
    // The errno value of the failure, 0 while the output is good. EPIPE: the reader has gone.
    int error() const { return m_error; }

    // Writes all of `bytes`; the errno value on failure, else 0.
    static int writeAll(int fd, std::string_view bytes);
    // Puts /dev/null on a closed stdin, stdout or stderr, so that no socket or file the program opens later
    // takes its number and receives the output. A stdout put there cannot be written, which reports
    // itself as a write error.
    static void fillClosedStandardDescriptors();

private:
    void grow(size_t count);

    int m_fd;
    BlockMemory::Block m_data;
    size_t m_size = 0;
    size_t m_capacity = 0;
    int m_error = 0;
};
