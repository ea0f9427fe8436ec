#pragma once
// Value noise at the points of a run whose noise coordinates do not separate (warped or turned, as the
// caustic's ridges and the ripples take them). The points of a run stay within a small box of lattice
// cells, so the corner values of that box are hashed once into a table; each group of eight then reads
// its corners from the table. Every point still gets exactly valueNoise(cx[k], cy[k], seed).

#include <cstddef>
#include <cstdint>

#include "Renderer/Vec16.h"

class NoiseCloud {
public:
    static constexpr int32_t kCols = 64;  // corner columns the table holds
    static constexpr int32_t kRows = 8;   // corner rows
    static constexpr std::size_t kPoints = 512;  // longest run

    // n points (a multiple of 8, at most kPoints) at (cx[k], cy[k]); both arrays must outlive the lookups.
    VEC8_INLINE void build(const float* cx, const float* cy, std::size_t n, uint32_t seed) {
        using namespace vec8;
        cx_ = cx;
        cy_ = cy;
        seed_ = seed;
        table_ = false;
        if (n == 0) return;
        if (n > kPoints) return;
        Ivec8 lo = splati(INT32_MAX), hi = splati(INT32_MIN);
        for (std::size_t k = 0; k < n; k += kLanes) {
            const Vec8 x = load(cx + k), y = load(cy + k);
            if (!all((x > -16777216.0f) & (x < 16777216.0f) & (y > -16777216.0f) & (y < 16777216.0f))) return;
            const Vec8 fx = floorInRange(x), fy = floorInRange(y);
            const Ivec8 ix = __builtin_convertvector(fx, Ivec8), iy = __builtin_convertvector(fy, Ivec8);
            // What the lookups need: the cells and the smoothed fractions.
            const Vec8 tx = x - fx, ty = y - fy;
            storei(col_ + k, ix);
            storei(row_ + k, iy);
            store(sx_ + k, tx * tx * (3.0f - 2.0f * tx));
            store(sy_ + k, ty * ty * (3.0f - 2.0f * ty));
            // Columns in the low lanes of the bounds, rows in the high ones.
            const Ivec8 both = __builtin_shufflevector(ix, iy, 0, 1, 2, 3, 12, 13, 14, 15);
            const Ivec8 rest = __builtin_shufflevector(ix, iy, 4, 5, 6, 7, 8, 9, 10, 11);
            lo = lo < both ? lo : both;
            lo = lo < rest ? lo : rest;
            hi = hi > both ? hi : both;
            hi = hi > rest ? hi : rest;
        }
        int32_t ixLo = INT32_MAX, ixHi = INT32_MIN, iyLo = INT32_MAX, iyHi = INT32_MIN;
        for (int l = 0; l < 4; ++l) {
            ixLo = std::min(ixLo, lo[l]);
            ixHi = std::max(ixHi, hi[l]);
            iyLo = std::min(iyLo, lo[l + 4]);
            iyHi = std::max(iyHi, hi[l + 4]);
        }
        // Corners run one past the last cell; the last window read ends kWindow − 1 entries further.
        if (static_cast<int64_t>(ixHi) - ixLo + 2 > kCols || static_cast<int64_t>(iyHi) - iyLo + 2 > kRows) return;
        ix0_ = ixLo;
        iy0_ = iyLo;
        const uint32_t sh = seed * 0x9E3779B1u;
        const auto cols = static_cast<std::size_t>(ixHi - ixLo + 2);
        for (int32_t j = 0; j <= iyHi - iyLo + 1; ++j) {
            const Uvec8 iy = (Uvec8)splati(iyLo) + static_cast<uint32_t>(j);
            for (std::size_t i = 0; i < cols + kWindow - 1; i += kLanes)
                store(corner_[j] + i, cornerValue((Uvec8)splati(ixLo) + static_cast<uint32_t>(i) + (Uvec8)iota(), iy, sh));
        }
        table_ = true;
    }

    // The noise at points k … k + 7 (k a multiple of 8), and at k … k + 15 (k a multiple of 16).
    VEC8_INLINE Vec8 at(std::size_t k) const { return vec8::cloudNoise(view(), k); }
    VEC16_INLINE Vec16 at16(std::size_t k) const { return vec16::cloudNoise(view(), k); }

private:
    const float* cx_ = nullptr;
    const float* cy_ = nullptr;
    uint32_t seed_ = 0;
    bool table_ = false;
    int32_t ix0_ = 0, iy0_ = 0;
    static constexpr std::size_t kWindow = vec16::kLanes;  // the widest window a lookup reads
    alignas(32) float corner_[kRows][kCols + kWindow];        // corner(ix0 + i, iy0 + j) at [j][i]
    alignas(32) int32_t col_[kPoints], row_[kPoints];       // each point's cell
    alignas(32) float sx_[kPoints], sy_[kPoints];           // and smoothed fractions

    CloudTables view() const {
        return {cx_, cy_, col_, row_, sx_, sy_, &corner_[0][0], kCols + kWindow, ix0_, iy0_, seed_, table_};
    }
};
