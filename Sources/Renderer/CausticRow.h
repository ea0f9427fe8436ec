#pragma once
// caustic(x, y) along a run of points on one row. The warp noises separate in x and y and come from
// per-cell tables; the ridge noises sit at warped points and are hashed per point.

#include <cstddef>

#include "Renderer/NoiseRow.h"
#include "Renderer/Vec8.h"

class CausticRow {
public:
    // x holds n points (a multiple of 8, at most NoiseRow::kPoints), increasing; it must outlive at().
    VEC8_INLINE void build(const float* x, std::size_t n, float y) {
        using namespace vec8;
        x_ = x;
        y_ = y;
        for (std::size_t k = 0; k < n; k += kLanes) {
            const Vec8 v = load(x + k);
            store(u_ + k, v / 45.0f);
            store(w_ + k, v / 45.0f + 7.3f);
        }
        wx_.build(u_, n, y / 45.0f, 91);
        wy_.build(w_, n, y / 45.0f, 92);
    }

    // The caustic at points k … k + 7.
    VEC8_INLINE Vec8 at(std::size_t k) const {
        using namespace vec8;
        const Vec8 x = load(x_ + k);
        const Vec8 wx = x + 10.0f * wx_.at(k);
        const Vec8 wy = y_ + 10.0f * wy_.at(k);
        const Vec8 a = 1.0f - fabs(valueNoise(wx / 16.0f, wy / 16.0f, 93));
        const Vec8 b = 1.0f - fabs(valueNoise(wx / 11.0f + 3.1f, wy / 11.0f, 94));
        const Vec8 a2 = a * a, a4 = a2 * a2, a8 = a4 * a4;
        const Vec8 b2 = b * b, b4 = b2 * b2, b8 = b4 * b4;
        const Vec8 sum = a8 * a4 + 0.8f * (b8 * b4);  // palette::pow12 of each
        return select(sum < 1.0f, sum, splat(1.0f));
    }

private:
    const float* x_ = nullptr;
    float y_ = 0;
    alignas(32) float u_[NoiseRow::kPoints], w_[NoiseRow::kPoints];
    NoiseRow wx_, wy_;
};
