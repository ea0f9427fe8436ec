#pragma once
// Value noise along a run of points whose noise coordinates separate: point k sits at (cx[k], cy) with
// cx non-decreasing, as for every noise taken at (x/d, y/d) along a pixel row. The corner hashes are then
// taken once per lattice cell of the run instead of once per point, and the per-cell parts of the
// interpolation are folded in ahead; each point still gets exactly valueNoise(cx[k], cy, seed).
//
// What depends on cx alone (the lattice cell ⌊cx⌋ and the smoothed fraction) can be worked out once
// per picture with NoiseRow::columns() and handed to every row as NoiseColumns.

#include <cstddef>
#include <cstdint>
#include <limits>

#include "Renderer/Random.h"
#include "Renderer/Vec16.h"

// The points of a run with their lattice columns: cell[k] = ⌊cx[k]⌋ as a float (NaN beyond ±2²⁴, where
// rows hash every point) and sx[k] the smoothed fraction, as valueNoise takes them.
struct NoiseColumns {
    const float* cx = nullptr;
    const float* cell = nullptr;
    const float* sx = nullptr;

    NoiseColumns from(std::size_t k) const { return {cx + k, cell + k, sx + k}; }
};

class NoiseRow {
public:
    static constexpr std::size_t kPoints = 512;  // longest run
    static constexpr std::size_t kCells = 320;   // lattice cells one run may cross
    static constexpr std::size_t kWindow = vec16::kLanes;  // the widest window a lookup reads

    // Fills the columns of n points cx (plain scalar code, for tables made once per picture).
    static void columns(const float* cx, std::size_t n, float* cell, float* sx) {
        for (std::size_t k = 0; k < n; ++k) {
            const float x = cx[k];
            const bool inside = x > -16777216.0f && x < 16777216.0f;
            const float fx = inside ? random_detail::floorf32(x) : 0.0f;
            const float tx = x - fx;
            cell[k] = inside ? fx : std::numeric_limits<float>::quiet_NaN();
            sx[k] = tx * tx * (3.0f - 2.0f * tx);
        }
    }

    // A row at cy over n points (a multiple of 8, at most kPoints) with non-decreasing cx; the arrays
    // behind `c` must outlive the lookups.
    VEC8_INLINE void build(const NoiseColumns& c, std::size_t n, float cy, uint32_t seed) {
        cx_ = c.cx;
        cy_ = cy;
        seed_ = seed;
        cell_ = c.cell;
        sx_ = c.sx;
        direct_ = true;
        if (n == 0 || n > kPoints || !(cy > -16777216.0f && cy < 16777216.0f)) return;
        // Non-decreasing, so a point out of range shows at one end (a NaN span).
        const float span = c.cell[n - 1] - c.cell[0];  // cells crossed, minus one
        if (!(span >= 0 && span + 1 + kWindow <= static_cast<float>(kCells))) return;
        tables(static_cast<int32_t>(c.cell[0]), static_cast<std::size_t>(span) + 2, cy, seed);
        direct_ = false;
    }

    // The same, working the columns out here (into the row's own arrays).
    VEC8_INLINE void build(const float* cx, std::size_t n, float cy, uint32_t seed) {
        using namespace vec8;
        const Vec8 nan = splat(std::numeric_limits<float>::quiet_NaN());
        for (std::size_t k = 0; k < n && k < kPoints; k += kLanes) {
            const Vec8 x = load(cx + k);
            const Vec8 fx = floorTrunc(x);
            const Vec8 tx = x - fx;
            store(ownCell_ + k, select((x > -16777216.0f) & (x < 16777216.0f), fx, nan));
            store(ownSx_ + k, tx * tx * (3.0f - 2.0f * tx));
        }
        build(NoiseColumns{cx, ownCell_, ownSx_}, n, cy, seed);
    }

    // The noise at points k … k + 7 (k a multiple of 8), and at k … k + 15 (k a multiple of 16).
    VEC8_INLINE Vec8 at(std::size_t k) const { return vec8::rowNoise(view(), k); }
    VEC16_INLINE Vec16 at16(std::size_t k) const { return vec16::rowNoise(view(), k); }

private:
    // Corner values along the two lattice rows from column `first`, `corners` of them, then per cell
    // a, b − a, sy·(c − a) and d + ((a − b) − c). The tables run a few entries further so that every
    // window read in at() and at16() sees initialised values.
    VEC8_INLINE void tables(int32_t first, std::size_t corners, float cy, uint32_t seed) {
        using namespace vec8;
        first_ = static_cast<float>(first);
        const float fy = random_detail::floorf32(cy);
        const auto iy = static_cast<uint32_t>(static_cast<int32_t>(fy));
        const float ty = cy - fy;
        sy_ = ty * ty * (3.0f - 2.0f * ty);
        const uint32_t sh = seed * 0x9E3779B1u;
        const Uvec8 iy0 = (Uvec8)splati(static_cast<int32_t>(iy)), iy1 = iy0 + 1u;
        alignas(32) float top[kCells + 3 * kWindow], bottom[kCells + 3 * kWindow];
        for (std::size_t i = 0; i < corners + 2 * kWindow - 2; i += kLanes) {
            const Uvec8 ix = (Uvec8)splati(first) + static_cast<uint32_t>(i) + (Uvec8)iota();
            store(top + i, cornerValue(ix, iy0, sh));
            store(bottom + i, cornerValue(ix, iy1, sh));
        }
        const Vec8 sy = splat(sy_);
        for (std::size_t i = 0; i < corners + kWindow - 2; i += kLanes) {
            const Vec8 a = load(top + i), b = load(top + i + 1), c = load(bottom + i), d = load(bottom + i + 1);
            store(a_ + i, a);
            store(ba_ + i, b - a);
            store(ca_ + i, sy * (c - a));
            store(e_ + i, d + ((a - b) - c));
        }
    }

    const float* cx_ = nullptr;
    const float* cell_ = nullptr;
    const float* sx_ = nullptr;
    float cy_ = 0, sy_ = 0, first_ = 0;
    uint32_t seed_ = 0;
    bool direct_ = true;  // hash every point (runs too long for the tables, or coordinates out of range)
    alignas(32) float ownCell_[kPoints], ownSx_[kPoints];
    alignas(32) float a_[kCells + 2 * kWindow], ba_[kCells + 2 * kWindow], ca_[kCells + 2 * kWindow],
        e_[kCells + 2 * kWindow];

    RowTables view() const { return {cx_, cell_, sx_, a_, ba_, ca_, e_, cy_, sy_, first_, seed_, direct_}; }
};
