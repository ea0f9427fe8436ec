#pragma once
// The two-octave grain noise of the shading, 0.6·vn(x/4.5, y/4.5, 71) + 0.4·vn(x/1.8, y/1.8, 72), along a
// run of points on one row.

#include <cstddef>
#include <vector>

#include "Renderer/NoiseRow.h"
#include "Renderer/Vec16.h"

class GrainRow {
public:
    // The columns of both noises for every point of a picture's rows, worked out once.
    class Columns {
    public:
        Columns(const float* x, std::size_t n) : n_(n), data_(6 * n) {
            for (std::size_t k = 0; k < n; ++k) {
                data_[k] = x[k] / 4.5f;
                data_[3 * n + k] = x[k] / 1.8f;
            }
            NoiseRow::columns(data_.data(), n, data_.data() + n, data_.data() + 2 * n);
            NoiseRow::columns(data_.data() + 3 * n, n, data_.data() + 4 * n, data_.data() + 5 * n);
        }
        NoiseColumns coarse() const { return {data_.data(), data_.data() + n_, data_.data() + 2 * n_}; }
        NoiseColumns fine() const { return {data_.data() + 3 * n_, data_.data() + 4 * n_, data_.data() + 5 * n_}; }

    private:
        std::size_t n_;
        std::vector<float> data_;
    };

    // The run of n points from point k0 of the columns (n a multiple of 8, at most NoiseRow::kPoints).
    VEC8_INLINE void build(const Columns& c, std::size_t k0, std::size_t n, float y) {
        a_.build(c.coarse().from(k0), n, y / 4.5f, 71);
        b_.build(c.fine().from(k0), n, y / 1.8f, 72);
    }
    // The run of n points at x, increasing, its columns worked out here.
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
    VEC16_INLINE Vec16 at16(std::size_t k) const { return 0.6f * a_.at16(k) + 0.4f * b_.at16(k); }

private:
    alignas(32) float coarse_[NoiseRow::kPoints], fine_[NoiseRow::kPoints];
    NoiseRow a_, b_;
};
