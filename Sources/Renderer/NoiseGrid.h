#pragma once
// Value noise whose corner values over a whole picture's box of lattice cells are hashed once, for noise
// taken at turned points (the ripples), which neither separate by rows nor stay in a small box per run.
// Every point still gets exactly valueNoise(x, y, seed): the same corners, the same interpolation.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Renderer/Vec8.h"

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
        stride_ = static_cast<std::size_t>(cols) + vec8::kLanes;
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

    // valueNoise(x, y, seed) in every lane.
    VEC8_INLINE Vec8 at(Vec8 x, Vec8 y) const {
        using namespace vec8;
        if (corners_.empty() || !all(inIntRange(x) & inIntRange(y))) return valueNoise(x, y, seed_);
        const Vec8 fx = floorInRange(x), fy = floorInRange(y);
        const Uvec8 i = (Uvec8)__builtin_convertvector(fx, Ivec8) - static_cast<uint32_t>(ix0_);
        const Uvec8 j = (Uvec8)__builtin_convertvector(fy, Ivec8) - static_cast<uint32_t>(iy0_);
        if (any((Ivec8)((i >= cells_) | (j >= cellRows_)))) return valueNoise(x, y, seed_);
        const uint32_t i0 = i[0], j0 = j[0] < j[kLanes - 1] ? j[0] : j[kLanes - 1];
        const Uvec8 off = i - i0, down = j - j0;
        Vec8 a, b, c, d;
        if (!any((Ivec8)((off > 6u) | (down > 1u)))) {
            // Columns within one window and at most two lattice rows: loads and permutes.
            const float* p = corners_.data() + j0 * stride_ + i0;
            const Vec8 r0 = load(p), r1 = load(p + stride_);
            const Ivec8 o = (Ivec8)off, o1 = o + 1;
            a = __builtin_shuffle(r0, o);
            b = __builtin_shuffle(r0, o1);
            c = __builtin_shuffle(r1, o);
            d = __builtin_shuffle(r1, o1);
            if (any((Ivec8)(down != 0u))) {
                const Vec8 r2 = load(p + 2 * stride_);
                const Ivec8 lower = (Ivec8)(down != 0u);
                a = select(lower, c, a);
                b = select(lower, d, b);
                c = select(lower, __builtin_shuffle(r2, o), c);
                d = select(lower, __builtin_shuffle(r2, o1), d);
            }
        } else {
            for (int l = 0; l < kLanes; ++l) {
                const float* p = corners_.data() + j[l] * stride_ + i[l];
                a[l] = p[0];
                b[l] = p[1];
                c[l] = p[stride_];
                d[l] = p[stride_ + 1];
            }
        }
        const Vec8 tx = x - fx, ty = y - fy;
        const Vec8 sx = tx * tx * (3.0f - 2.0f * tx);
        const Vec8 sy = ty * ty * (3.0f - 2.0f * ty);
        return ((a + sx * (b - a)) + sy * (c - a)) + ((d + ((a - b) - c)) * sx) * sy;
    }

private:
    uint32_t seed_ = 0;
    int32_t ix0_ = 0, iy0_ = 0;
    uint32_t cells_ = 0, cellRows_ = 0;  // cells across and down
    std::size_t stride_ = 0;             // floats per corner row, a window's spare included
    std::vector<float> corners_;         // corner (ix0 + i, iy0 + j) at [j · stride + i]
};
