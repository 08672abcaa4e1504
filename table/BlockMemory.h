#pragma once

#include <cstddef>
#include <memory>

// Zero-filled memory for the table's large parts. The rows of a long list fill fresh memory, and on
// Linux each 4 KiB page of it costs a page fault of several microseconds: more than cutting the row. A
// block of 2 MiB or more is therefore mapped on its own, aligned, and marked for transparent huge pages,
// so the system may fill it with one fault. Smaller blocks, and every block elsewhere, come from the heap.
namespace BlockMemory {

constexpr size_t HugePageBytes = size_t(2) << 20;

struct Release
{
    size_t mappedBytes = 0; // 0 for a block from the heap

    void operator()(char* block) const;
};

using Block = std::unique_ptr<char[], Release>;

// At least `bytes` of zeroes.
Block allocate(size_t bytes);

} // namespace BlockMemory
