#pragma once

#include <cstddef>
#include <memory>

// Memory for large buffers that fill up once and stay: the page as it arrives, the table's rows and
// texts, its key index. On Linux each fresh 4 KiB page costs a page fault of several microseconds, more
// than cutting a row. A block of 2 MiB or more is therefore mapped on its own, aligned, and marked for
// transparent huge pages, so the system may fill it with one fault. Smaller blocks, and every block
// elsewhere, come from the heap.
namespace BlockMemory {

constexpr size_t HugePageBytes = size_t(2) << 20;

struct Release
{
    size_t mappedBytes = 0; // 0 for a block from the heap

    void operator()(char* block) const;
};

using Block = std::unique_ptr<char[], Release>;

// At least `bytes`, of undefined contents.
Block allocate(size_t bytes);
// At least `bytes` of zeroes.
Block allocateZeroed(size_t bytes);

} // namespace BlockMemory
