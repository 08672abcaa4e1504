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
        const auto start = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = (start + HugePageBytes - 1) & ~std::uintptr_t(HugePageBytes - 1);
        if (aligned > start)
            munmap(mapped, aligned - start);
        if (const std::uintptr_t tail = start + HugePageBytes - aligned; tail > 0)
            munmap(reinterpret_cast<void*>(aligned + size), tail);
        // Only a hint: without huge pages the block is filled a page at a time as before.
        madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
        // A fresh mapping reads as zeroes.
        return Block(reinterpret_cast<char*>(aligned), Release { size });
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
