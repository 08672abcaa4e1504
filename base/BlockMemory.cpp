#include "BlockMemory.h"

#include <cstdint>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace BlockMemory {

void Release::operator()(char* block) const
{
#ifdef __linux__
    if (mappedBytes > 0) {
        munmap(block, mappedBytes);
        return;
    }
#endif
    delete[] block;
}

namespace {

Block allocate(size_t bytes, bool zeroed)
{
#ifdef __linux__
    if (bytes >= HugePageBytes) {
        // Aligned to a huge page, but no longer than asked for to the next small page: each whole 2 MiB
        // of the block may become one huge page, and what lies past the last is filled a small page at a
        // time rather than zeroed 2 MiB at once.
        static const auto SmallPageBytes = size_t(sysconf(_SC_PAGESIZE));
        const size_t size = (bytes + SmallPageBytes - 1) & ~(SmallPageBytes - 1);
        // Over-map by one huge page, then unmap what lies outside the aligned part.
        void* mapped
            = mmap(nullptr, size + HugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        // Offsets from the mapping rather than addresses made from integers, so the compiler keeps track
        // of the pointer.
        char* const start = static_cast<char*>(mapped);
        const size_t misalignment = reinterpret_cast<std::uintptr_t>(mapped) % HugePageBytes;
        const size_t head = misalignment == 0 ? 0 : HugePageBytes - misalignment;
        char* const aligned = start + head;
        if (head > 0)
            munmap(start, head);
        if (const size_t tail = HugePageBytes - head; tail > 0)
            munmap(aligned + size, tail);
        // Only a hint: without huge pages the block is filled a page at a time as before.
        madvise(aligned, size, MADV_HUGEPAGE);
        // A fresh mapping reads as zeroes.
        return Block(aligned, Release { size });
    }
#endif
    return Block(zeroed ? new char[bytes]() : new char[bytes]);
}

} // namespace

Block allocate(size_t bytes)
{
    return allocate(bytes, false);
}

Block allocateZeroed(size_t bytes)
{
    return allocate(bytes, true);
}

} // namespace BlockMemory
