#include "Renderer/CausticRun.h"

#include <algorithm>

#include "Renderer/CausticRow.h"
#include "Renderer/Palette.h"

namespace Renderer {
namespace {

// The caustic at the padded points of a built row, eight or sixteen at a time.
VEC8_AVX2 void lights8(const CausticRow& row, std::size_t padded, float* light) {
    for (std::size_t k = 0; k < padded; k += vec8::kLanes) vec8::store(light + k, row.at(k));
}
VEC16_AVX512 void lights16(const CausticRow& row, std::size_t padded, float* light) {
    for (std::size_t k = 0; k < padded; k += vec16::kLanes) vec16::store(light + k, row.at16(k));
}

VEC8_AVX2 void causticRunAvx2(const float* x, std::size_t n, float y, float* out, bool wide) {
    constexpr std::size_t kRun = NoiseRow::kPoints;
    alignas(64) float xs[kRun], light[kRun], table[CausticRow::kFields * kRun];
    CausticRow row;
    const std::size_t lanes = wide ? vec16::kLanes : vec8::kLanes;
    for (std::size_t k0 = 0; k0 < n; k0 += kRun) {
        const std::size_t m = std::min(kRun, n - k0);
        const std::size_t padded = (m + lanes - 1) / lanes * lanes;
        std::copy(x + k0, x + k0 + m, xs);
        std::fill(xs + m, xs + padded, xs[m - 1]);  // the last point again keeps x non-decreasing
        CausticRow::columns(xs, padded, table);
        row.build(xs, CausticRow::warpX(table, padded, 0), CausticRow::warpY(table, padded, 0), padded, y);
        if (wide) lights16(row, padded, light);
        else lights8(row, padded, light);
        std::copy(light, light + m, out + k0);
    }
}

}  // namespace

void causticRun(const float* x, std::size_t n, float y, float* out) {
    if (n == 0) return;
    if (vec8::avx2()) {
        causticRunAvx2(x, n, y, out, vec16::avx512());
        return;
    }
    for (std::size_t k = 0; k < n; ++k) out[k] = caustic(x[k], y);
}

}  // namespace Renderer
