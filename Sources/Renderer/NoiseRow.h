#pragma once
// Value noise along a run of points whose noise coordinates separate: point k sits at (cx[k], cy) with
// cx non-decreasing, as for every noise taken at (x/d, y/d) along a pixel row. The corner hashes are then
// taken once per lattice cell of the run instead of once per point, and the per-cell parts of the
// interpolation are folded in ahead; each point still gets exactly valueNoise(cx[k], cy, seed).

#include <cstddef>
#include <cstdint>

#include "Renderer/Vec8.h"

class NoiseRow {
public:
    static constexpr std::size_t kPoints = 256;  // longest run
    static constexpr std::size_t kCells = 288;   // lattice cells one run may cross

    // cx holds n points, n a multiple of 8 and at most kPoints; it must outlive the lookups.
    VEC8_INLINE void build(const float* cx, std::size_t n, float cy, uint32_t seed) {
        using namespace vec8;
        cx_ = cx;
        cy_ = cy;
        seed_ = seed;
        direct_ = true;
        if (n == 0 || n > kPoints || !(cy > -2147483648.0f && cy < 2147483648.0f)) return;
        const float fy = random_detail::floorf32(cy);
        const auto iy = static_cast<uint32_t>(static_cast<int32_t>(fy));
        const float ty = cy - fy;
        sy_ = ty * ty * (3.0f - 2.0f * ty);

        for (std::size_t k = 0; k < n; k += kLanes) {
            const Vec8 x = load(cx + k);
            if (!all(inIntRange(x))) return;
            const Vec8 fx = floorTrunc(x);
            const Vec8 tx = x - fx;
            store(sx_ + k, tx * tx * (3.0f - 2.0f * tx));
            storei(ix_ + k, __builtin_convertvector(fx, Ivec8));
        }
        const int32_t first = ix_[0];
        const int64_t span = static_cast<int64_t>(ix_[n - 1]) - first;  // cells crossed, minus one
        if (span < 0 || span + 1 + kLanes > static_cast<int64_t>(kCells)) return;

        // Corner values along the two lattice rows, one past the last cell. The tables run a few entries
        // further so that every 8-wide window read in at() sees initialised values.
        const uint32_t sh = seed * 0x9E3779B1u;
        const Uvec8 iy0 = (Uvec8)splati(static_cast<int32_t>(iy)), iy1 = iy0 + 1u;
        const std::size_t corners = static_cast<std::size_t>(span) + 2;
        alignas(32) float top[kCells + 3 * kLanes], bottom[kCells + 3 * kLanes];
        for (std::size_t i = 0; i < corners + 14; i += kLanes) {
            const Uvec8 ix = (Uvec8)splati(first) + static_cast<uint32_t>(i) + (Uvec8)iota();
            store(top + i, cornerValue(ix, iy0, sh));
            store(bottom + i, cornerValue(ix, iy1, sh));
        }
        // Per cell: a, b − a, sy·(c − a) and d + ((a − b) − c).
        const Vec8 sy = splat(sy_);
        for (std::size_t i = 0; i < corners + 6; i += kLanes) {
            const Vec8 a = load(top + i), b = load(top + i + 1), c = load(bottom + i), d = load(bottom + i + 1);
            store(a_ + i, a);
            store(ba_ + i, b - a);
            store(ca_ + i, sy * (c - a));
            store(e_ + i, d + ((a - b) - c));
        }
        for (std::size_t k = 0; k < n; k += kLanes) storei(ix_ + k, loadi(ix_ + k) - first);
        direct_ = false;
    }

    // The noise at points k … k + 7 (k a multiple of 8).
    VEC8_INLINE Vec8 at(std::size_t k) const {
        using namespace vec8;
        if (direct_) return valueNoise(load(cx_ + k), splat(cy_), seed_);
        Window w;
        w.base = ix_[k];
        storei(w.off, loadi(ix_ + k) - static_cast<int32_t>(w.base));
        w.window = w.off[kLanes - 1] < kLanes;
        const Vec8 a = take(a_, w, 0), ba = take(ba_, w, 0), ca = take(ca_, w, 0), e = take(e_, w, 0);
        const Vec8 sx = load(sx_ + k);
        return ((a + sx * ba) + ca) + (e * sx) * sy_;
    }

private:
    const float* cx_ = nullptr;
    float cy_ = 0, sy_ = 0;
    uint32_t seed_ = 0;
    bool direct_ = true;  // hash every point (runs too long for the tables, or coordinates out of range)
    alignas(32) float sx_[kPoints];
    alignas(32) int32_t ix_[kPoints];  // lattice column, then the offset from the first
    alignas(32) float a_[kCells + 2 * vec8::kLanes], ba_[kCells + 2 * vec8::kLanes],
        ca_[kCells + 2 * vec8::kLanes], e_[kCells + 2 * vec8::kLanes];
};
