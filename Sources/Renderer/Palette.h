#pragma once
// The small pure functions the ground colours are written in, and the three patterns they share with
// the pixel shading and the painters: the caustic network, the galaxy band and the canyon's dry wash.
// Everything is float arithmetic in the order the formulas are written, so results are bit-stable.

#include <cmath>
#include <cstdint>

#include "Renderer/Float3.h"
#include "Renderer/Random.h"
#include "Renderer/SteadyMath.h"

namespace palette {

// z limited to [lo, hi]. NaN passes through (callers never produce it); ±inf clamps.
constexpr float clamp(float z, float lo, float hi) { return z < lo ? lo : (z > hi ? hi : z); }

// t²(3 − 2t) with t = clamp(z, 0, 1).
constexpr float S(float z) {
    const float t = clamp(z, 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// S((z − e0)/(e1 − e0)); the denominator is taken from the edges as given, so reversed edges (e1 < e0)
// give a falling step.
constexpr float smoothstep(float e0, float e1, float z) { return S((z - e0) / (e1 - e0)); }

// A float index as a 32-bit signed integer without undefined behaviour: NaN gives 0, out-of-range
// values clamp. Scene coordinates never get near the limits.
inline int32_t toInt32(float v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0f) return INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// The value of valueNoise at the lattice point (i, j): the same 32-bit hash, in [−1, 1].
inline float corner(int32_t i, int32_t j, uint32_t seed) {
    uint32_t h = (static_cast<uint32_t>(i) * 668265261u) ^ (static_cast<uint32_t>(j) * 374761393u) ^
                 (seed * 0x9E3779B1u);
    h = (h ^ (h >> 15)) * 739982445u;
    h = h ^ (h >> 12);
    h = h * 695872825u;
    h = h ^ (h >> 15);
    return static_cast<float>(h & 0xFFFFu) / 32767.5f - 1.0f;
}

// The two-octave grain noise of the shading.
inline float grain(float x, float y) {
    return 0.6f * valueNoise(x / 4.5f, y / 4.5f, 71) + 0.4f * valueNoise(x / 1.8f, y / 1.8f, 72);
}

}  // namespace palette

namespace palette {

// a¹² by repeated squaring, (a²)² squared times (a²)²: the same float on every processor, which the
// library's powf is not (it has separate code for processors with fused multiply-add).
constexpr float pow12(float a) {
    const float a2 = a * a, a4 = a2 * a2, a8 = a4 * a4;
    return a8 * a4;
}

}  // namespace palette

// The caustic light network of shallow water, in [0, 1].
inline float caustic(float x, float y) {
    const float wx = x + 10.0f * valueNoise(x / 45.0f, y / 45.0f, 91);
    const float wy = y + 10.0f * valueNoise(x / 45.0f + 7.3f, y / 45.0f, 92);
    const float a = 1.0f - std::fabs(valueNoise(wx / 16.0f, wy / 16.0f, 93));
    const float b = 1.0f - std::fabs(valueNoise(wx / 11.0f + 3.1f, wy / 11.0f, 94));
    const float sum = palette::pow12(a) + 0.8f * palette::pow12(b);
    return sum < 1.0f ? sum : 1.0f;
}

// Brightness of the orbit sky's diagonal galaxy band, in [0, 1]: a broad glow with a dark, wavy dust
// lane along its core. h is the scene height.
inline float galaxy(float x, float y, float h) {
    const float u = 0.52f * (x - 0.85f * h) + 0.854f * (y - 0.5f * h);
    const float wide = steady::exp(-(u * u) / 28800.0f);
    const float m = 0.45f * valueNoise(x / 85.0f, y / 85.0f, 101) + 0.55f;
    const float lane = u + 18.0f * valueNoise(x / 140.0f, y / 140.0f, 103);
    const float core = steady::exp(-(lane * lane) / 968.0f);
    const float dust = palette::S((valueNoise(x / 55.0f, y / 55.0f, 102) + 0.3f) / 0.8f);
    return wide * m * (1.0f - 0.85f * core * dust);
}

// The canyon's dry wash at column x in a scene of height w: centre line y, the factor k that turns a
// vertical distance from it into a perpendicular one, and the half-width in points.
struct Wash {
    float y = 0;
    float k = 1;
    float half = 0;
};

// Art::wash forwards here; the canyon ground colour calls it directly.
inline Wash washAt(float x, float w) {
    const float y = 0.12f * x + 0.42f * w + 62.0f * std::sin(x / 260.0f + 1.3f) +
                    20.0f * std::sin(x / 97.0f + 4.0f);
    // The exact derivative of y (62/260 and 20/97).
    const float slope = 0.12f + 0.23846154f * std::cos(x / 260.0f + 1.3f) +
                        0.20618556f * std::cos(x / 97.0f + 4.0f);
    const float k = 1.0f / std::sqrt(1.0f + slope * slope);
    const float half = 12.0f + 4.0f * std::sin(x / 140.0f) + 2.5f * std::sin(x / 53.0f + 2.0f);
    return {y, k, half};
}
