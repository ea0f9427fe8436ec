#include "Platform/Graphics/PixelStore.h"

#include "Platform/Graphics/Context.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
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

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

}  // namespace

// Scratch blocks: any free block at least as long serves, the smallest that fits and among equals the
// one given back last; fresh ones are whole huge pages; the pictures' blocks are never handed out for
// scratch, nor scratch blocks for pictures.
TEST(PixelStoreScratch, TheSmallestFreeBlockThatFitsServes) {
    struct Case {
        std::string name;
        std::vector<std::size_t> freed;  // taken then given back in this order
        std::size_t asked;
        int served;                      // index into `freed` of the block that serves; -1: a fresh one
        std::size_t capacity;            // what the taken block holds
    };
    const Case cases[] = {
        {"same size", {3 * kMiB}, 3 * kMiB, 0, 4 * kMiB},
        {"smaller ask", {5 * kMiB}, 1 * kMiB, 0, 6 * kMiB},
        {"too small", {3 * kMiB}, 5 * kMiB, -1, 6 * kMiB},
        {"smallest that fits", {9 * kMiB, 3 * kMiB, 5 * kMiB}, 4 * kMiB + 1, 2, 6 * kMiB},
        {"last given back among equals", {3 * kMiB, 4 * kMiB, 3 * kMiB + 4096}, 2 * kMiB, 2, 4 * kMiB},
        {"rounded to huge pages", {}, 1, -1, 2 * kMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PixelStore::release();
        std::vector<const uint32_t*> memory;
        {
            std::vector<cg::PixelBuffer> held;
            for (std::size_t bytes : c.freed) {
                held.push_back(PixelStore::takeScratch(bytes));
                ASSERT_TRUE(held.back());
                memory.push_back(held.back().get());
            }
            for (cg::PixelBuffer& b : held) b.reset();
        }
        EXPECT_EQ(PixelStore::freeScratchBlocks(), c.freed.size());
        cg::PixelBuffer taken = PixelStore::takeScratch(c.asked);
        ASSERT_TRUE(taken);
        EXPECT_EQ(taken.get_deleter().kept, c.capacity);
        taken[c.capacity / 4 - 1] = 0xFF00FF00u;  // the whole capacity is there to write
        if (c.served >= 0) {
            EXPECT_EQ(taken.get(), memory[static_cast<std::size_t>(c.served)]);
            EXPECT_EQ(PixelStore::freeScratchBlocks(), c.freed.size() - 1);
        } else {
            EXPECT_EQ(std::find(memory.begin(), memory.end(), taken.get()), memory.end());
            EXPECT_EQ(PixelStore::freeScratchBlocks(), c.freed.size());
        }
        // Neither kind of block serves the other kind.
        EXPECT_EQ(PixelStore::freeBlocks(), 0u);
        cg::PixelBuffer picture = PixelStore::take(std::max(c.capacity, PixelStore::kMinBytes));
        ASSERT_TRUE(picture);
        EXPECT_EQ(std::find(memory.begin(), memory.end(), picture.get()), memory.end());
        const uint32_t* const pictureMemory = picture.get();
        picture.reset();
        EXPECT_EQ(PixelStore::freeBlocks(), 1u);
        cg::PixelBuffer scratch = PixelStore::takeScratch(c.capacity);
        ASSERT_TRUE(scratch);
        EXPECT_NE(scratch.get(), pictureMemory);
    }
    PixelStore::release();
    EXPECT_EQ(PixelStore::freeScratchBlocks(), 0u);
    EXPECT_EQ(PixelStore::freeScratchBytes(), 0u);
}

// Past either limit, giving one back lets the oldest go, the one just given back too when it alone is
// over the byte limit; release gives every one back.
TEST(PixelStoreScratch, KeepsWithinItsLimitsAndReleasesThemAll) {
    struct Case {
        std::string name;
        std::size_t count, bytes;   // blocks of this size, given back in turn
        std::size_t kept;           // then free
    };
    const std::size_t big = PixelStore::kMaxFreeScratchBytes / 3;  // a whole number of huge pages
    const Case cases[] = {
        {"count", PixelStore::kMaxFreeScratch + 3, 2 * kMiB, PixelStore::kMaxFreeScratch},
        {"bytes", 5, big, 3},
        {"one over the byte limit", 1, PixelStore::kMaxFreeScratchBytes + 2 * kMiB, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PixelStore::release();
        std::vector<cg::PixelBuffer> held;
        std::vector<const uint32_t*> memory;
        for (std::size_t i = 0; i < c.count; ++i) {
            held.push_back(PixelStore::takeScratch(c.bytes));
            ASSERT_TRUE(held.back());
            memory.push_back(held.back().get());
        }
        for (std::size_t i = 0; i < c.count; ++i) {
            held[i].reset();
            EXPECT_LE(PixelStore::freeScratchBlocks(), PixelStore::kMaxFreeScratch);
            EXPECT_LE(PixelStore::freeScratchBytes(), PixelStore::kMaxFreeScratchBytes);
        }
        EXPECT_EQ(PixelStore::freeScratchBlocks(), c.kept);
        EXPECT_EQ(PixelStore::freeScratchBytes(), c.kept * c.bytes);
        // The newest stayed: taking them all back gives exactly the last `kept` blocks given back.
        std::vector<const uint32_t*> again;
        std::vector<cg::PixelBuffer> retaken;
        for (std::size_t i = 0; i < c.kept; ++i) {
            retaken.push_back(PixelStore::takeScratch(c.bytes));
            again.push_back(retaken.back().get());
        }
        std::vector<const uint32_t*> newest(memory.end() - static_cast<std::ptrdiff_t>(c.kept), memory.end());
        std::sort(again.begin(), again.end());
        std::sort(newest.begin(), newest.end());
        EXPECT_EQ(again, newest);
        retaken.clear();
        PixelStore::release();
        EXPECT_EQ(PixelStore::freeScratchBlocks(), 0u);
        EXPECT_EQ(PixelStore::freeScratchBytes(), 0u);
    }
}

// Threads taking and giving back scratch blocks at once never hold the same memory: each fills its
// block with its own mark and finds it intact before giving it back.
TEST(PixelStoreScratch, ThreadsNeverShareABlock) {
    PixelStore::release();
    constexpr int kThreads = 8, kRounds = 200;
    std::atomic<int> clashes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &clashes] {
            for (int r = 0; r < kRounds; ++r) {
                const std::size_t bytes = (1 + static_cast<std::size_t>((t + r) % 3)) * kMiB;
                cg::PixelBuffer b = PixelStore::takeScratch(bytes);
                if (!b) {
                    clashes += 1;
                    continue;
                }
                const uint32_t mark = 0x01000000u * static_cast<uint32_t>(t + 1) + static_cast<uint32_t>(r);
                const std::size_t n = bytes / 4;
                for (std::size_t i = 0; i < n; i += 1021) b[i] = mark;
                b[n - 1] = mark;
                std::this_thread::yield();
                bool intact = b[n - 1] == mark;
                for (std::size_t i = 0; i < n; i += 1021) intact = intact && b[i] == mark;
                if (!intact) clashes += 1;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(clashes.load(), 0);
    EXPECT_GE(PixelStore::freeScratchBlocks(), 1u);
    EXPECT_LE(PixelStore::freeScratchBlocks(), PixelStore::kMaxFreeScratch);
    PixelStore::release();
}

// A band's private rows come from scratch blocks whose bytes are whatever an earlier user left: a band
// drawn over blocks filled with garbage still gives the bytes of one pass, and its rows go back for the
// next band.
TEST(PixelStoreScratch, BandsDrawnOverUsedBlocksGiveTheBytesOfOnePass) {
    constexpr int kW = 300, kH = 240;
    const cg::Gradient g({cg::Color::rgb(0xFF8000), cg::Color::rgb(0x0040FF, 0.5)}, {0, 1});
    auto draw = [&](cg::Context& c) {
        c.setFillColor(cg::Color::rgb(0x204060, 0.8));
        c.fill(cg::Rect(0, 0, kW, kH));
        c.drawRadialGradient(g, {150, 120}, 0, {150, 120}, 140, {});
        c.saveGState();
        c.setShadow({3, -4}, 6, cg::Color::rgb(0x000000, 0.6));
        c.setFillColor(cg::Color::rgb(0xE0C040, 0.7));
        c.fillEllipse(cg::Rect(40, 30, 200, 170));
        c.restoreGState();
        c.setBlendMode(cg::BlendMode::sourceIn);
        c.drawLinearGradient(g, {0, 20}, {kW, 200}, {});
        c.setBlendMode(cg::BlendMode::normal);
        c.drawText("scratch", cg::Rect(30, 100, 200, 40), cg::TextStyle{});
    };
    auto whole = cg::Context::makeBitmap(kW, kH);
    ASSERT_TRUE(whole);
    draw(*whole);
    for (const uint8_t garbage : {uint8_t{0x00}, uint8_t{0xAB}, uint8_t{0xFF}}) {
        SCOPED_TRACE(static_cast<int>(garbage));
        PixelStore::release();
        {
            std::vector<cg::PixelBuffer> used;
            for (std::size_t bytes : {kMiB, 2 * kMiB + 4096, 3 * kMiB}) {
                used.push_back(PixelStore::takeScratch(bytes));
                ASSERT_TRUE(used.back());
                std::memset(used.back().get(), garbage, used.back().get_deleter().kept);
            }
        }
        ASSERT_EQ(PixelStore::freeScratchBlocks(), 3u);
        auto c = cg::Context::makeBitmap(kW, kH);
        ASSERT_TRUE(c);
        for (int top = 0; top < kH; top += 40) {
            auto band = cg::Context::makeBand(*c, top, top + 40);
            ASSERT_TRUE(band);
            draw(*band);
            band.reset();
            // The band's rows went back: no new block was made for it.
            EXPECT_EQ(PixelStore::freeScratchBlocks(), 3u) << "band at " << top;
        }
        c->pixelsChanged();
        for (int y = 0; y < kH; ++y)
            ASSERT_EQ(0, std::memcmp(c->row(y), whole->row(y), kW * 4)) << "row " << y;
    }
    PixelStore::release();
}
