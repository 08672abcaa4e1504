#include "FileOutput.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

long long writeSome(int fd, const char* data, size_t size)
{
#ifdef _WIN32
    return _write(fd, data, unsigned(size < INT_MAX ? size : INT_MAX));
#else
    return ::write(fd, data, size < SSIZE_MAX ? size : SSIZE_MAX);
#endif
}

} // namespace

FileOutput::FileOutput(int fd)
    : m_fd(fd)
{
    grow(ChunkBytes + ChunkBytes / 4);
}

void FileOutput::grow(size_t count)
{
    const size_t capacity = std::max(m_capacity * 2, m_size + count);
    BlockMemory::Block data = BlockMemory::allocate(capacity);
    if (m_size > 0)
        std::memcpy(data.get(), m_data.get(), m_size);
    m_data = std::move(data);
    m_capacity = capacity;
}

void FileOutput::append(std::string_view bytes)
{
    char* at = room(bytes.size());
    if (!bytes.empty())
        std::memcpy(at, bytes.data(), bytes.size());
    commit(at + bytes.size());
}

int FileOutput::writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const long long written = writeSome(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return EIO; // a write that makes no progress would loop forever
        bytes.remove_prefix(size_t(written));
    }
    return 0;
}

bool FileOutput::flush()
{
    if (m_error == 0)
        m_error = writeAll(m_fd, std::string_view(m_data.get(), m_size));
    m_size = 0;
    return m_error == 0;
}

bool FileOutput::close()
{
    if (!flush())
        return false;
#ifdef _WIN32
    const int closed = _close(m_fd);
#else
    const int closed = ::close(m_fd);
#endif
    // After EINTR the descriptor is gone all the same; nothing was lost that a retry would save.
    if (closed != 0 && errno != EINTR)
        m_error = errno;
    return m_error == 0;
}

void FileOutput::fillClosedStandardDescriptors()
{
#ifndef _WIN32
    // In this order open() takes the lowest free number, which is `fd` itself.
    for (const int fd : { 0, 1, 2 }) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            [[maybe_unused]] const int opened = open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY);
        }
    }
#endif
}
