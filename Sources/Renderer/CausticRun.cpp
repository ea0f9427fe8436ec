#include "Renderer/CausticRun.h"

#include <algorithm>

#include "Renderer/CausticRow.h"
#include "Renderer/Palette.h"

namespace Renderer {
namespace {

VEC8_AVX2 void causticRunAvx2(const float* x, std::size_t n, float y, float* out) {
    constexpr std::size_t kRun = NoiseRow::kPoints;
    alignas(32) float xs[kRun], light[kRun], table[CausticRow::kFields * kRun];
    CausticRow row;
    for (std::size_t k0 = 0; k0 < n; k0 += kRun) {
        const std::size_t m = std::min(kRun, n - k0);
        const std::size_t padded = (m + vec8::kLanes - 1) / vec8::kLanes * vec8::kLanes;
        std::copy(x + k0, x + k0 + m, xs);
        std::fill(xs + m, xs + padded, xs[m - 1]);  // the last point again keeps x non-decreasing
        CausticRow::columns(xs, padded, table);
        row.build(xs, CausticRow::warpX(table, padded, 0), CausticRow::warpY(table, padded, 0), padded, y);
        for (std::size_t k = 0; k < padded; k += vec8::kLanes) vec8::store(light + k, row.at(k));
        std::copy(light, light + m, out + k0);
    }
}

}  // namespace

void causticRun(const float* x, std::size_t n, float y, float* out) {
    if (n == 0) return;
    if (vec8::avx2()) {
        causticRunAvx2(x, n, y, out);
        return;
    }
    for (std::size_t k = 0; k < n; ++k) out[k] = caustic(x[k], y);
}

}  // namespace Renderer
