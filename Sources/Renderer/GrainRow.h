#pragma once
// The two-octave grain noise of the shading, 0.6·vn(x/4.5, y/4.5, 71) + 0.4·vn(x/1.8, y/1.8, 72), along a
// run of points on one row.

#include <cstddef>

#include "Renderer/NoiseRow.h"
#include "Renderer/Vec8.h"

class GrainRow {
public:
    // x holds n points (a multiple of 8, at most NoiseRow::kPoints), increasing.
    VEC8_INLINE void build(const float* x, std::size_t n, float y) {
        using namespace vec8;
        for (std::size_t k = 0; k < n; k += kLanes) {
            const Vec8 v = load(x + k);
            store(coarse_ + k, v / 4.5f);
            store(fine_ + k, v / 1.8f);
        }
        a_.build(coarse_, n, y / 4.5f, 71);
        b_.build(fine_, n, y / 1.8f, 72);
    }
    VEC8_INLINE Vec8 at(std::size_t k) const { return 0.6f * a_.at(k) + 0.4f * b_.at(k); }

private:
    alignas(32) float coarse_[NoiseRow::kPoints], fine_[NoiseRow::kPoints];
    NoiseRow a_, b_;
};
