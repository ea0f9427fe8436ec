#include "Platform/Dispatch/Heap.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace dispatch {

void keepFreedMemory() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Setting the thresholds also stops the library from moving them at run time, which it does only
        // after the first large block is freed: the first render would still get fresh mappings.
        mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHeapBlockLimit));
        mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapKept));
        // Heaps grow in steps of a few megabytes, not one page-protection change per block.
        mallopt(M_TOP_PAD, 4 << 20);
        const unsigned cores = std::thread::hardware_concurrency();
        mallopt(M_ARENA_MAX, static_cast<int>(cores > 0 ? cores : 8));
    });
}

void warmHeap(std::size_t bytes) {
    if (bytes == 0) return;
    auto* block = static_cast<unsigned char*>(std::malloc(bytes));
    if (!block) return;
    // Huge pages where the block spans whole ones: a few faults instead of one per 4 KiB page, and the
    // heap keeps them for the renders after.
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1), last = (start + bytes) & ~(kHuge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    volatile unsigned char* const touch = block;
    for (std::size_t at = 0; at < bytes; at += 4096) touch[at] = 0;
    touch[bytes - 1] = 0;
    std::free(block);
}

void releaseFreedMemory() { malloc_trim(0); }

}  // namespace dispatch
