#pragma once
// Value noise whose corner values over a whole picture's box of lattice cells are hashed once, for noise
// taken at turned points (the ripples), which neither separate by rows nor stay in a small box per run.
// Every point still gets exactly valueNoise(x, y, seed): the same corners, the same interpolation.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Renderer/Vec16.h"

class NoiseGrid {
public:
    static constexpr int64_t kMaxCorners = int64_t{1} << 22;  // beyond this every point hashes its corners

    NoiseGrid() = default;
    // Corners for the cells ix0 … ix1 by iy0 … iy1; fill every row with fillRow() before lookups.
    NoiseGrid(int64_t ix0, int64_t ix1, int64_t iy0, int64_t iy1, uint32_t seed) : seed_(seed) {
        const int64_t cols = ix1 - ix0 + 2, rows = iy1 - iy0 + 2;
        if (ix1 < ix0 || iy1 < iy0 || ix0 < INT32_MIN || ix1 > INT32_MAX - 2 || iy0 < INT32_MIN ||
            iy1 > INT32_MAX - 2 || cols * rows > kMaxCorners)
            return;
        ix0_ = static_cast<int32_t>(ix0);
        iy0_ = static_cast<int32_t>(iy0);
        cells_ = static_cast<uint32_t>(cols - 1);
        cellRows_ = static_cast<uint32_t>(rows - 1);
        stride_ = static_cast<std::size_t>(cols) + vec16::kLanes;
        // One spare row so that a lookup may read the row below its lower corners.
        corners_.assign(stride_ * static_cast<std::size_t>(rows + 1), 0.0f);
    }

    std::size_t rows() const { return corners_.empty() ? 0 : static_cast<std::size_t>(cellRows_) + 1; }

    // Hashes the corners of lattice row iy0 + j.
    VEC8_AVX2 void fillRow(std::size_t j) {
        using namespace vec8;
        const uint32_t sh = seed_ * 0x9E3779B1u;
        const Uvec8 iy = (Uvec8)splati(iy0_) + static_cast<uint32_t>(j);
        float* row = corners_.data() + j * stride_;
        for (std::size_t i = 0; i + kLanes <= stride_; i += kLanes)
            store(row + i, cornerValue((Uvec8)splati(ix0_) + static_cast<uint32_t>(i) + (Uvec8)iota(), iy, sh));
    }

    // valueNoise(x, y, seed) in every lane, at either width.
    VEC8_INLINE Vec8 at(Vec8 x, Vec8 y) const { return vec8::tableNoise(table(), x, y); }
    VEC16_INLINE Vec16 at(Vec16 x, Vec16 y) const { return vec16::tableNoise(table(), x, y); }

private:
    uint32_t seed_ = 0;
    int32_t ix0_ = 0, iy0_ = 0;
    uint32_t cells_ = 0, cellRows_ = 0;  // cells across and down
    std::size_t stride_ = 0;             // floats per corner row, the widest window's spare included
    std::vector<float> corners_;         // corner (ix0 + i, iy0 + j) at [j · stride + i]

    CornerTable table() const {
        return {corners_.empty() ? nullptr : corners_.data(), stride_, ix0_, iy0_, cells_, cellRows_, seed_};
    }
};
