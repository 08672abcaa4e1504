#pragma once

#include <string>
#include <string_view>

// Bytes for an open file descriptor, gathered in one buffer and written out a chunk at a time with every
// write checked. Once a write fails nothing more is written and error() tells why.
class FileOutput
{
public:
    static constexpr size_t ChunkBytes = 256 * 1024;

    explicit FileOutput(int fd);

    // Append here, then call flushIfFull().
    std::string& buffer() { return m_buffer; }
    bool flushIfFull() { return m_buffer.size() < ChunkBytes || flush(); }
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
    int m_fd;
    std::string m_buffer;
    int m_error = 0;
};
