#pragma once
// caustic(x, y) along a run of points on one row. The warp noises separate in x and y and come from
// per-cell tables; the ridge noises sit at warped points, and their corners come from a table of the few
// cells the run's warped points cover.

#include <cstddef>
#include <vector>

#include "Renderer/NoiseCloud.h"
#include "Renderer/NoiseRow.h"
#include "Renderer/Vec16.h"

class CausticRow {
public:
    // The columns of both warp noises, x/45 and x/45 + 7.3, for n points, written to out[0 … 6n): the
    // layout of a ground's column table, six fields.
    static constexpr std::size_t kFields = 6;
    static void columns(const float* x, std::size_t n, float* out) {
        for (std::size_t k = 0; k < n; ++k) {
            out[k] = x[k] / 45.0f;
            out[3 * n + k] = x[k] / 45.0f + 7.3f;
        }
        NoiseRow::columns(out, n, out + n, out + 2 * n);
        NoiseRow::columns(out + 3 * n, n, out + 4 * n, out + 5 * n);
    }
    // The two warps' columns in such a table with `stride` between fields, from its point k0.
    static NoiseColumns warpX(const float* table, std::size_t stride, std::size_t k0) {
        return {table + k0, table + stride + k0, table + 2 * stride + k0};
    }
    static NoiseColumns warpY(const float* table, std::size_t stride, std::size_t k0) {
        return {table + 3 * stride + k0, table + 4 * stride + k0, table + 5 * stride + k0};
    }

    // The run of n points at x (a multiple of 8, at most NoiseRow::kPoints) with the warps' columns.
    VEC8_INLINE void build(const float* x, const NoiseColumns& warpX, const NoiseColumns& warpY, std::size_t n,
                           float y) {
        using namespace vec8;
        NoiseRow wx, wy;
        wx.build(warpX, n, y / 45.0f, 91);
        wy.build(warpY, n, y / 45.0f, 92);
        for (std::size_t k = 0; k < n; k += kLanes) {
            const Vec8 px = load(x + k) + 10.0f * wx.at(k);
            const Vec8 py = y + 10.0f * wy.at(k);
            store(ax_ + k, px / 16.0f);
            store(ay_ + k, py / 16.0f);
            store(bx_ + k, px / 11.0f + 3.1f);
            store(by_ + k, py / 11.0f);
        }
        a_.build(ax_, ay_, n, 93);
        b_.build(bx_, by_, n, 94);
    }

    // The caustic at points k … k + 7, and at k … k + 15.
    VEC8_INLINE Vec8 at(std::size_t k) const { return vec8::caustic(a_.at(k), b_.at(k)); }
    VEC16_INLINE Vec16 at16(std::size_t k) const { return vec16::caustic(a_.at16(k), b_.at16(k)); }

private:
    alignas(32) float ax_[NoiseRow::kPoints], ay_[NoiseRow::kPoints], bx_[NoiseRow::kPoints],
        by_[NoiseRow::kPoints];
    NoiseCloud a_, b_;
};
