#pragma once
// How the process's heap treats the memory of renders. A render allocates and frees hundreds of bitmaps,
// tens of megabytes, on every loop thread. By default the C library maps large blocks afresh and hands
// freed memory straight back to the system, so each render's memory arrives as fresh pages, each one a
// page fault on first write. These settings keep freed memory with its heap for the next render, and
// the warm-up brings a heap's memory in before the first render needs it.

#include <cstddef>

namespace dispatch {

// Blocks up to this size come from the thread's heap rather than from a mapping of their own.
inline constexpr std::size_t kHeapBlockLimit = std::size_t{32} << 20;
// Free memory a heap keeps at its top before it gives some back to the system.
inline constexpr std::size_t kHeapKept = std::size_t{64} << 20;
// What each loop thread (and the render worker) brings in at program start: a little more than one loop
// thread's heap holds during a render of a 3420 × 2224 desktop, about 8 MiB, the picture aside. 16 MiB
// made the first render no faster and the process 48 MiB larger.
inline constexpr std::size_t kLoopThreadWarmth = std::size_t{10} << 20;

// Applies the settings above, and gives the process one heap per loop thread at most, so that a thread
// that is not a loop thread (a render started from a program's own worker) shares a heap the loop
// threads have warmed rather than starting a cold one. Call it first thing in main, before any thread
// starts; later calls do nothing.
void keepFreedMemory();

// Brings `bytes` of this thread's heap in (each page written once, huge pages asked for) and frees it
// again: with keepFreedMemory() in force, the heap keeps those pages for the thread's next blocks.
void warmHeap(std::size_t bytes);

// Gives the free memory of every heap back to the system (after a long pause in rendering).
void releaseFreedMemory();

}  // namespace dispatch
