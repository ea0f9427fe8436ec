#include "Platform/Graphics/PixelStore.h"

#include "Platform/Graphics/Context.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

using cg::PixelStore;

namespace {

constexpr std::size_t kPicture = std::size_t{3420} * 2224 * 4;

// Whether every page of [p, p + bytes) is in memory.
bool resident(const void* p, std::size_t bytes) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in((bytes + page - 1) / page);
    if (mincore(const_cast<void*>(p), bytes, in.data()) != 0) return false;
    for (unsigned char b : in)
        if (!(b & 1)) return false;
    return true;
}

}  // namespace

// A picture's memory, once its buffer is gone, is what the next picture of exactly that size gets; other
// sizes get their own, and buffers too small to keep go to the heap and never wait here.
TEST(PixelStore, AGonePictureIsTheNextPictureOfItsSize) {
    struct Case {
        std::size_t first, second;
        bool same;       // the second gets the first's memory
        std::size_t kept;  // free blocks between them
    };
    const Case cases[] = {
        {kPicture, kPicture, true, 1},
        {kPicture, kPicture + 4, false, 1},
        {8 << 20, 8 << 20, true, 1},
        {PixelStore::kMinBytes - 4, PixelStore::kMinBytes - 4, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
        PixelStore::release();
        cg::PixelBuffer a = PixelStore::take(c.first);
        ASSERT_TRUE(a);
        a[c.first / 4 - 1] = 0xFF123456u;  // the last pixel is there to write
        const uint32_t* const was = a.get();
        EXPECT_EQ(PixelStore::freeBlocks(), 0u);
        a.reset();
        EXPECT_EQ(PixelStore::freeBlocks(), c.kept);
        EXPECT_EQ(PixelStore::freeBytes(), c.kept ? c.first : 0);
        cg::PixelBuffer b = PixelStore::take(c.second);
        ASSERT_TRUE(b);
        // A small freed block may come back from the heap at the same place: only kept blocks count.
        if (c.kept) {
            EXPECT_EQ(b.get() == was, c.same);
        }
        EXPECT_EQ(PixelStore::freeBlocks(), c.same ? 0u : c.kept);
        b[c.second / 4 - 1] = 1;
    }
    PixelStore::release();
}

// Beyond kMaxFree, giving one back lets the oldest go; release gives every one back.
TEST(PixelStore, KeepsAtMostFourFreeBlocksAndReleasesThemAll) {
    PixelStore::release();
    std::vector<cg::PixelBuffer> buffers;
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < PixelStore::kMaxFree + 2; ++i) {
        sizes.push_back(PixelStore::kMinBytes + i * 4096);
        buffers.push_back(PixelStore::take(sizes.back()));
        ASSERT_TRUE(buffers.back());
    }
    std::size_t newest = 0;
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        buffers[i].reset();
        EXPECT_EQ(PixelStore::freeBlocks(), std::min(i + 1, PixelStore::kMaxFree));
    }
    for (std::size_t i = buffers.size() - PixelStore::kMaxFree; i < buffers.size(); ++i) newest += sizes[i];
    EXPECT_EQ(PixelStore::freeBytes(), newest);
    PixelStore::release();
    EXPECT_EQ(PixelStore::freeBlocks(), 0u);
    EXPECT_EQ(PixelStore::freeBytes(), 0u);
}

// A prepared block has every page in memory before anyone writes it, and it is what the next take of
// its size gets; preparing a size already free adds nothing.
TEST(PixelStore, PreparedMemoryIsInBeforeItsFirstUse) {
    PixelStore::release();
    cg::PixelBuffer fresh = PixelStore::take(kPicture);
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(resident(fresh.get(), kPicture));  // the control: fresh memory is not in yet
    fresh.reset();
    PixelStore::release();

    PixelStore::prepare(kPicture);
    PixelStore::prepare(kPicture);
    PixelStore::prepare(PixelStore::kMinBytes - 4);
    EXPECT_EQ(PixelStore::freeBlocks(), 1u);
    cg::PixelBuffer prepared = PixelStore::take(kPicture);
    ASSERT_TRUE(prepared);
    EXPECT_TRUE(resident(prepared.get(), kPicture));
    EXPECT_EQ(PixelStore::freeBlocks(), 0u);
    prepared.reset();
    PixelStore::release();
}

// The picture's memory lives as long as the image made from it, and then serves the next picture of its
// size, which still shows only what was written into it.
TEST(PixelStore, AnImageHoldsItsPictureMemoryUntilItGoes) {
    PixelStore::release();
    auto first = cg::Context::makeUnsetBitmap(3420, 2224);
    ASSERT_TRUE(first);
    const uint8_t* const memory = first->data();
    for (int y = 0; y < 2224; ++y)
        for (int x = 0; x < 3420; ++x) first->row(y)[x] = 0xFF000000u | static_cast<uint32_t>(x * 7 + y);
    first->pixelsChanged();
    cg::ImageRef image = first->takeImage();
    first.reset();
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelStore::freeBlocks(), 0u);
    EXPECT_EQ(image->pixel(3419, 2223), 0xFF000000u | static_cast<uint32_t>(3419 * 7 + 2223));
    image.reset();
    EXPECT_EQ(PixelStore::freeBlocks(), 1u);

    auto second = cg::Context::makeUnsetBitmap(3420, 2224);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->data(), memory);
    for (int y = 0; y < 2224; ++y)
        for (int x = 0; x < 3420; ++x) second->row(y)[x] = 0xFF0000FFu;
    second->pixelsChanged();
    cg::ImageRef again = second->takeImage();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(again->pixel(3419, 2223), 0xFF0000FFu);
    again.reset();
    second.reset();
    PixelStore::release();
}
