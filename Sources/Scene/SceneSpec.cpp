#include "Scene/SceneSpec.h"

namespace {
// Truncation toward zero; sizes outside what a screen can be are clamped instead of undefined.
uint64_t sizeBits(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}
}  // namespace

uint64_t SceneSpec::seed() const {
    const uint64_t p = scene_kind::position(kind);
    return sizeBits(size.width) * 7919ULL + (p + 1) * 0x9E3779B9ULL + sizeBits(size.height);
}
