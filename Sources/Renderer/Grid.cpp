#include "Renderer/Grid.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "Platform/Dispatch/Dispatch.h"

namespace {

// Writes every row of a new grid, row blocks side by side once the grid is big enough to be worth it.
void eachRowBlock(int64_t cols, int64_t rows, const std::function<void(std::size_t, std::size_t)>& write) {
    if (cols <= 0 || rows <= 0) return;
    constexpr int64_t kRowsPerBlock = 16;
    constexpr int64_t kWorthIt = 65536;  // cells: below this one thread writes faster
    const auto n = static_cast<std::size_t>(cols * rows);
    if (cols * rows < kWorthIt) {
        write(0, n);
        return;
    }
    const auto blocks = static_cast<std::size_t>((rows + kRowsPerBlock - 1) / kRowsPerBlock);
    const auto cells = static_cast<std::size_t>(cols * kRowsPerBlock);
    dispatch::concurrentPerform(blocks, [&](std::size_t b) { write(b * cells, std::min(n, (b + 1) * cells)); });
}

}  // namespace

Grid::Grid(int64_t c, int64_t r, float fill) : cols(c), rows(r) {
    p.resize(static_cast<std::size_t>(c > 0 && r > 0 ? c * r : 0));
    float* const cells = p.data();
    eachRowBlock(c, r, [cells, fill](std::size_t from, std::size_t to) { std::fill(cells + from, cells + to, fill); });
}

Grid::Grid(CopyTag, const Grid& other) : cols(other.cols), rows(other.rows) {
    p.resize(other.p.size());
    float* const cells = p.data();
    const float* const from = other.p.data();
    eachRowBlock(cols, rows, [cells, from](std::size_t a, std::size_t b) {
        std::memcpy(cells + a, from + a, (b - a) * sizeof(float));
    });
}
