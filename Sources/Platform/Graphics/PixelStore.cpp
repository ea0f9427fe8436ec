#include "Platform/Graphics/PixelStore.h"

#include <sys/mman.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace cg {

namespace {

constexpr std::size_t kHuge = std::size_t{2} << 20;

struct Block {
    uint32_t* pixels = nullptr;
    std::size_t bytes = 0;
};

struct Free {
    std::mutex lock;
    std::vector<Block> blocks;   // oldest first
    std::vector<Block> scratch;  // oldest first; `bytes` is the whole mapping
};

Free& freeList() {
    static Free* const list = new Free;  // never destroyed: buffers may come back during exit
    return *list;
}

std::size_t mappedSize(std::size_t bytes) { return (bytes + kHuge - 1) & ~(kHuge - 1); }

// A mapping aligned to a huge page, so that all of it can be backed by huge pages.
uint32_t* mapBlock(std::size_t bytes) {
    const std::size_t size = mappedSize(bytes);
    void* raw = mmap(nullptr, size + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHuge - 1) & ~(kHuge - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const std::uintptr_t end = start + size + kHuge;
    if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<uint32_t*>(aligned);
}

void unmapBlock(const Block& b) { munmap(b.pixels, mappedSize(b.bytes)); }

// Takes a free block of exactly `bytes`, the most recently given back (its pages are the likeliest to
// be in memory still).
uint32_t* takeFree(std::size_t bytes) {
    Free& list = freeList();
    const std::lock_guard<std::mutex> hold(list.lock);
    for (auto it = list.blocks.rbegin(); it != list.blocks.rend(); ++it) {
        if (it->bytes != bytes) continue;
        uint32_t* const pixels = it->pixels;
        list.blocks.erase(std::next(it).base());
        return pixels;
    }
    return nullptr;
}

// Takes the smallest free scratch block of at least `bytes`, the most recently given back among equals.
Block takeFreeScratch(std::size_t bytes) {
    Free& list = freeList();
    const std::lock_guard<std::mutex> hold(list.lock);
    auto best = list.scratch.end();
    for (auto it = list.scratch.begin(); it != list.scratch.end(); ++it)
        if (it->bytes >= bytes && (best == list.scratch.end() || it->bytes <= best->bytes)) best = it;
    if (best == list.scratch.end()) return {};
    const Block b = *best;
    list.scratch.erase(best);
    return b;
}

}  // namespace

PixelBuffer PixelStore::takeScratch(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    Block b = takeFreeScratch(bytes);
    if (!b.pixels) b = {mapBlock(bytes), mappedSize(bytes)};
    if (!b.pixels) return nullptr;
    return PixelBuffer(b.pixels, FreePixels{b.bytes, true});
}

void PixelStore::giveBackScratch(uint32_t* pixels, std::size_t bytes) noexcept {
    if (!pixels) return;
    // The list kept to its limits before this block came, so at most all of it and this one go.
    std::array<Block, kMaxFreeScratch + 1> dropped{};
    std::size_t gone = 0;
    {
        Free& list = freeList();
        const std::lock_guard<std::mutex> hold(list.lock);
        try {
            list.scratch.push_back({pixels, bytes});
        } catch (...) {
            dropped[gone++] = {pixels, bytes};
        }
        std::size_t held = 0;
        for (const Block& b : list.scratch) held += b.bytes;
        while (!list.scratch.empty() && gone < dropped.size() &&
               (list.scratch.size() > kMaxFreeScratch || held > kMaxFreeScratchBytes)) {
            held -= list.scratch.front().bytes;
            dropped[gone++] = list.scratch.front();
            list.scratch.erase(list.scratch.begin());
        }
    }
    for (std::size_t i = 0; i < gone; ++i) unmapBlock(dropped[i]);  // outside the lock: unmapping takes a while
}

std::size_t PixelStore::freeScratchBlocks() {
    Free& list = freeList();
    const std::lock_guard<std::mutex> hold(list.lock);
    return list.scratch.size();
}

std::size_t PixelStore::freeScratchBytes() {
    Free& list = freeList();
    const std::lock_guard<std::mutex> hold(list.lock);
    std::size_t sum = 0;
    for (const Block& b : list.scratch) sum += b.bytes;
    return sum;
}

PixelBuffer PixelStore::take(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    if (bytes < kMinBytes) return PixelBuffer(static_cast<uint32_t*>(std::malloc(bytes)));
    uint32_t* pixels = takeFree(bytes);
    if (!pixels) pixels = mapBlock(bytes);
    if (!pixels) return nullptr;
    return PixelBuffer(pixels, FreePixels{bytes});
}

void PixelStore::giveBack(uint32_t* pixels, std::size_t bytes) noexcept {
    if (!pixels) return;
    Block dropped;
    {
        Free& list = freeList();
        const std::lock_guard<std::mutex> hold(list.lock);
        try {
            list.blocks.push_back({pixels, bytes});
        } catch (...) {
            dropped = {pixels, bytes};
        }
        if (!dropped.pixels && list.blocks.size() > kMaxFree) {
            dropped = list.blocks.front();
            list.blocks.erase(list.blocks.begin());
        }
    }
    if (dropped.pixels) unmapBlock(dropped);  // outside the lock: unmapping takes a while
}

void PixelStore::prepare(std::size_t bytes) {
    if (bytes < kMinBytes) return;
    {
        Free& list = freeList();
        const std::lock_guard<std::mutex> hold(list.lock);
        for (const Block& b : list.blocks)
            if (b.bytes == bytes) return;
    }
    uint32_t* const pixels = mapBlock(bytes);
    if (!pixels) return;
    // One write per page brings it in.
    volatile uint32_t* const touch = pixels;
    for (std::size_t at = 0; at < bytes / 4; at += 1024) touch[at] = 0;
    giveBack(pixels, bytes);
}

void PixelStore::release() {
    std::vector<Block> blocks;
    {
        Free& list = freeList();
        const std::lock_guard<std::mutex> hold(list.lock);
        blocks.swap(list.blocks);
        blocks.insert(blocks.end(), list.scratch.begin(), list.scratch.end());
        list.scratch.clear();
    }
    for (const Block& b : blocks) unmapBlock(b);
}

std::size_t PixelStore::freeBlocks() {
    Free& list = freeList();
    const std::lock_guard<std::mutex> hold(list.lock);
    return list.blocks.size();
}

std::size_t PixelStore::freeBytes() {
    Free& list = freeList();
    const std::lock_guard<std::mutex> hold(list.lock);
    std::size_t sum = 0;
    for (const Block& b : list.blocks) sum += b.bytes;
    return sum;
}

}  // namespace cg
