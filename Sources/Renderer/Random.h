#pragma once
// The three sources of randomness every picture rests on: a SplitMix64 generator, hashed lattice value
// noise and a stateless point hash. All integer arithmetic wraps.

#include <cmath>
#include <cstdint>

#include "Platform/Graphics/Geometry.h"

namespace random_detail {
// Steps 3 to 6 of a SplitMix64 draw: the finaliser and the top 53 bits as a fraction.
inline double finish(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z = z ^ (z >> 31);
    return static_cast<double>(z >> 11) / 9007199254740992.0;  // 2^53
}
}  // namespace random_detail

// SplitMix64 with one 64-bit state. The seed is stored unchanged, without pre-mixing. One generator may
// be handed to nested drawing steps, which draw from the same sequence in turn.
class RNG {
public:
    explicit RNG(uint64_t seed) : s(seed) {}
    RNG(const RNG&) = delete;
    RNG& operator=(const RNG&) = delete;

    // The next draw u, 0 <= u < 1.
    double next() {
        s += 0x9E3779B97F4A7C15ULL;
        return random_detail::finish(s);
    }
    // lo + (hi - lo) * u, the difference taken in double precision.
    double uniform(double lo, double hi) {
        const double span = hi - lo;
        return lo + span * next();
    }

    uint64_t s;
};

namespace random_detail {
// The corner value of lattice point (i, j), with the seed already multiplied in: sh = seed · 0x9E3779B1.
inline float corner(uint32_t i, uint32_t j, uint32_t sh) {
    uint32_t h = (i * 668265261u) ^ (j * 374761393u) ^ sh;
    h = (h ^ (h >> 15)) * 739982445u;
    h = h ^ (h >> 12);
    h = h * 695872825u;
    h = h ^ (h >> 15);
    return static_cast<float>(h & 0xFFFFu) / 32767.5f - 1.0f;
}
}  // namespace random_detail

// The value of the noise lattice at the integer point (i, j), in [-1, 1]: what valueNoise returns there.
inline float valueCorner(int32_t i, int32_t j, uint32_t seed) {
    return random_detail::corner(static_cast<uint32_t>(i), static_cast<uint32_t>(j), seed * 0x9E3779B1u);
}

namespace random_detail {
// floor(x), exact, without the library call that baseline x86-64 needs for it. The sign of a zero result
// may differ from std::floor, which the noise never observes.
inline float floorf32(float x) {
    if (x > -2147483648.0f && x < 2147483648.0f) {
        const float t = static_cast<float>(static_cast<int32_t>(x));
        return t > x ? t - 1.0f : t;
    }
    return std::floor(x);
}

// floor(v) as a lattice index; NaN and values beyond 32 bits clamp instead of being undefined.
inline uint32_t lattice(float f) {
    if (!(f > -2147483648.0f)) return static_cast<uint32_t>(INT32_MIN);
    if (!(f < 2147483648.0f)) return static_cast<uint32_t>(INT32_MAX);
    return static_cast<uint32_t>(static_cast<int32_t>(f));
}

// The four corner values of the last lattice cell each thread asked for, per seed slot. Neighbouring
// pixels mostly fall into the same cell, so this saves most of the hashing; a hit returns exactly the
// values the hash would give.
struct NoiseCell {
    uint32_t seed = 0, ix = 0, iy = 0;
    bool valid = false;
    float a = 0, b = 0, c = 0, d = 0;
};
inline thread_local NoiseCell noiseCells[64];
}  // namespace random_detail

// Hashed lattice value noise in [-1, 1] with unit lattice spacing.
inline float valueNoise(float x, float y, uint32_t seed) {
    const float fx = random_detail::floorf32(x), fy = random_detail::floorf32(y);
    const uint32_t ix = random_detail::lattice(fx), iy = random_detail::lattice(fy);
    random_detail::NoiseCell& cell = random_detail::noiseCells[seed & 63u];
    if (!cell.valid || cell.seed != seed || cell.ix != ix || cell.iy != iy) {
        const uint32_t sh = seed * 0x9E3779B1u;
        using random_detail::corner;
        cell.a = corner(ix, iy, sh);
        cell.b = corner(ix + 1u, iy, sh);
        cell.c = corner(ix, iy + 1u, sh);
        cell.d = corner(ix + 1u, iy + 1u, sh);
        cell.seed = seed;
        cell.ix = ix;
        cell.iy = iy;
        cell.valid = true;
    }
    const float a = cell.a, b = cell.b, c = cell.c, d = cell.d;
    const float tx = x - fx, ty = y - fy;
    const float sx = tx * tx * (3.0f - 2.0f * tx);
    const float sy = ty * ty * (3.0f - 2.0f * ty);
    return ((a + sx * (b - a)) + sy * (c - a)) + ((d + ((a - b) - c)) * sx) * sy;
}

// Stateless hash of a point and a salt to [0, 1). Points are quantised to 1/16 pt; negative and NaN
// coordinates count as 0, and coordinates too large to quantise are clamped rather than left undefined.
inline double pointRand(cg::Point p, uint64_t salt) {
    auto quantise = [](double v) -> uint64_t {
        const double q = (v > 0 ? v : 0.0) * 16.0;
        return q < 18446744073709551616.0 ? static_cast<uint64_t>(q) : UINT64_MAX;
    };
    const uint64_t qx = quantise(p.x), qy = quantise(p.y);
    uint64_t h = (qx * 0x9E3779B9ULL) ^ (salt * 0xC2B2AE35ULL) ^ (qy * 0x85EBCA6BULL);
    h += 0x9E3779B97F4A7C15ULL;
    return random_detail::finish(h);
}
