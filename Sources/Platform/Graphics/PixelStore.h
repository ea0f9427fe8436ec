#pragma once
// Memory for whole pictures, kept between renders. A picture is tens of megabytes; fresh memory of that
// size is thousands of page faults on its first write, and the program draws a picture of the same size
// again at every scene change. Pictures of at least kMinBytes take their memory here; when the last
// image holding one goes, its memory waits here for the next picture of that size, pages still in
// memory. Blocks are asked for in huge pages (a dozen faults rather than thousands), can be brought in
// ahead (prepare) and are given back after a long pause (release).
// Safe from any thread.

#include <cstddef>

#include "Platform/Graphics/Image.h"

namespace cg {

class PixelStore {
public:
    // Smaller buffers come from the heap, which keeps them well enough.
    static constexpr std::size_t kMinBytes = std::size_t{4} << 20;
    // At most this many free blocks are kept; giving back one more lets the oldest go to the system.
    static constexpr std::size_t kMaxFree = 4;

    // Memory for `bytes` of pixels, its contents unspecified: a free block of exactly that size when
    // there is one, else fresh memory (in huge pages where it spans them). Destroying the buffer brings
    // its memory back here. Null when the system has none.
    static PixelBuffer take(std::size_t bytes);
    // Makes sure a free block of `bytes` is here with its pages in memory (huge ones where the system
    // gives them), so that the next take of that size costs no page fault: for the first picture, while
    // the program starts. Nothing for sizes below kMinBytes.
    static void prepare(std::size_t bytes);
    // Gives every free block back to the system.
    static void release();
    // Free blocks held, and their bytes.
    static std::size_t freeBlocks();
    static std::size_t freeBytes();

    // Scratch memory drawn into for a moment and given back, such as a band's private rows: many
    // blocks of a few megabytes, taken and dropped by every band of every render. Any block at least
    // `bytes` long will do, so a free one is reused whatever its size (the smallest that fits, the most
    // recently given back among equals); fresh ones are whole huge pages. Contents unspecified. Kept
    // apart from the pictures' blocks, so that neither pushes the other out; release() frees them too.
    static constexpr std::size_t kMaxFreeScratch = 16;
    static constexpr std::size_t kMaxFreeScratchBytes = std::size_t{192} << 20;
    static PixelBuffer takeScratch(std::size_t bytes);
    static std::size_t freeScratchBlocks();
    static std::size_t freeScratchBytes();

    // Called by the buffer's deleter.
    static void giveBack(uint32_t* pixels, std::size_t bytes) noexcept;
    static void giveBackScratch(uint32_t* pixels, std::size_t bytes) noexcept;
};

}  // namespace cg
