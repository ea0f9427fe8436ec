#pragma once
// exp, sin, cos and atan2 in single precision that give the same bits everywhere: on any x86-64 processor, with
// or without AVX2 and whatever the C library picks for its own functions. Each is a range reduction and
// a polynomial made of plain IEEE add, subtract, multiply and conversions (the build keeps
// -ffp-contract=off, so nothing is fused). The eight-lane forms in Vec8.h repeat these operations in the
// same order and so give the same bits. Both are within a few units in the last place of the exact
// results, and the eight-lane forms run as vector code where the library would be called lane by lane.

#include <cstdint>
#include <cstring>


namespace steady {

// exp: x = n·ln 2 + r with |r| ≤ ln 2 / 2 (ln 2 split so that n·kLn2Hi is exact), a polynomial for e^r,
// then 2^n applied in two halves so that results below the normal range round only once.
constexpr float kLog2e = 1.44269504088896341f;
constexpr float kLn2Hi = 0.693359375f;
constexpr float kLn2Lo = -2.12194440e-4f;
constexpr float kExpLow = -104.0f;  // e^x rounds to 0 below about −103.97
constexpr float kExpHigh = 89.0f;   // and overflows above about 88.72
constexpr float kRoundF = 12582912.0f;  // 1.5·2²³: (t + it) − it rounds t to an integer, |t| < 2²²
constexpr float kRoundSteps = 8388608.0f;  // 2²³: the same for 0 ≤ t < 2²³
constexpr int32_t kMinNormal = -126;
// Results below the normal range are made without a multiplication that underflows: processors take a
// slow assist on those, dozens of times the cost of the whole function.
constexpr float kE0 = 1.9875691500e-4f, kE1 = 1.3981999507e-3f, kE2 = 8.3334519073e-3f;
constexpr float kE3 = 4.1665795894e-2f, kE4 = 1.6666665459e-1f, kE5 = 5.0000001201e-1f;

// sin and cos: x = j·π/2 + r with |r| ≤ π/4, reduced in double with π/2 in three parts (j·kPio2A and
// j·kPio2B are exact for |j| < 2²⁵), then the sine or cosine polynomial of r by the quadrant j mod 4.
// Arguments are taken within ±2²⁵, far beyond any scene; larger ones give the value at ±2²⁵.
constexpr double kTwoOverPi = 0.6366197723675814;
constexpr double kPio2A = 1.570796325802803;         // the first 28 bits of π/2
constexpr double kPio2B = 9.920935739593517e-10;     // the next 28
constexpr double kPio2C = 5.721188726109832e-18;     // the rest
constexpr double kRoundD = 6755399441055744.0;       // 1.5·2⁵²
constexpr double kTrigLimit = 33554432.0;            // 2²⁵
constexpr float kS0 = -1.9515295891e-4f, kS1 = 8.3321608736e-3f, kS2 = -1.6666654611e-1f;
constexpr float kC0 = 2.443315711809948e-5f, kC1 = -1.388731625493765e-3f, kC2 = 4.166664568298827e-2f;

inline float fromBits(uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

inline float exp(float x) {
    // Arguments below kExpLow give 0 and NaN itself; both are worked out from 0 meanwhile, which keeps
    // the conversion to an integer defined and the multiplications clear of underflow.
    const bool under = x < kExpLow, nan = x != x;
    float z = under || nan ? 0.0f : x;
    z = z < kExpHigh ? z : kExpHigh;
    const float n = (z * kLog2e + kRoundF) - kRoundF;
    const float r = (z - n * kLn2Hi) - n * kLn2Lo;
    const float p = ((((kE0 * r + kE1) * r + kE2) * r + kE3) * r + kE4) * r + kE5;
    const float y = (p * (r * r) + r) + 1.0f;
    const int32_t e = static_cast<int32_t>(n);
    float out;
    if (e >= kMinNormal) {
        // 2^e in two halves: 2^128 itself is no float.
        const int32_t e1 = e >> 1, e2 = e - e1;
        out = (y * fromBits(static_cast<uint32_t>(e1 + 127) << 23)) * fromBits(static_cast<uint32_t>(e2 + 127) << 23);
    } else {
        // A subnormal result counts steps of 2^−149: y·2^(e+149), in [0.35, 2²²], rounded to an integer
        // the way the multiplication would round it, is its bit pattern.
        const float steps = y * fromBits(static_cast<uint32_t>(e + 149 + 127) << 23);
        out = fromBits(static_cast<uint32_t>((steps + kRoundSteps) - kRoundSteps));
    }
    return nan ? x : (under ? 0.0f : out);
}

// The reduced argument r and its quadrant j mod 4, for |x| within the limit (NaN gives r = NaN).
struct Reduced {
    float r;
    int32_t q;
};
inline Reduced reduce(float x) {
    double d = x;
    d = d > -kTrigLimit ? d : -kTrigLimit;
    d = d < kTrigLimit ? d : kTrigLimit;
    const double j = (d * kTwoOverPi + kRoundD) - kRoundD;
    const double r = ((d - j * kPio2A) - j * kPio2B) - j * kPio2C;
    return {x != x ? x : static_cast<float>(r), static_cast<int32_t>(j) & 3};
}
// A zero r is returned as it is, so that sin keeps the sign of a zero argument.
inline float sinPoly(float r) {
    const float z = r * r;
    const float s = ((kS0 * z + kS1) * z + kS2) * z * r + r;
    return r == 0.0f ? r : s;
}
inline float cosPoly(float r) {
    const float z = r * r;
    return (((kC0 * z + kC1) * z + kC2) * z * z - 0.5f * z) + 1.0f;
}
// Quadrant q of the sine: sin, cos, −sin, −cos of r.
inline float quadrant(float r, int32_t q) {
    const float v = (q & 1) ? cosPoly(r) : sinPoly(r);
    return (q & 2) ? -v : v;
}
inline float sin(float x) {
    const Reduced a = reduce(x);
    return x - x != 0.0f ? x - x : quadrant(a.r, a.q);  // NaN for NaN and ±∞
}
inline float cos(float x) {
    const Reduced a = reduce(x);
    return x - x != 0.0f ? x - x : quadrant(a.r, (a.q + 1) & 3);
}

// atan2: the ratio q of the smaller to the larger of |x| and |y| lies in [0, 1]; above tan(π/8) it is
// moved next to 0 around π/4, a polynomial gives atan q, and the octant, the side of x (its sign bit,
// so that −0 counts as negative) and the sign of y place the angle. Zeros and infinities give what the
// library gives: atan2(±0, −0) = ±π, atan2(±∞, −∞) = ±3π/4 and so on.
constexpr float kPi = 3.14159265358979f, kHalfPi = 1.57079632679490f, kQuarterPi = 0.785398163397448f;
constexpr float kTanEighthPi = 0.414213562373095f;
constexpr float kA0 = 8.05374449538e-2f, kA1 = -1.38776856032e-1f, kA2 = 1.99777106478e-1f, kA3 = -3.33329491539e-1f;
constexpr float kInf = __builtin_huge_valf();

inline uint32_t toBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

inline float atan2(float y, float x) {
    const float ax = x < 0.0f ? -x : x, ay = y < 0.0f ? -y : y;
    const bool steep = ay > ax;
    const float big = steep ? ay : ax, small = steep ? ax : ay;
    float q = small / big;
    q = big == 0.0f ? 0.0f : q;
    q = ax == kInf && ay == kInf ? 1.0f : q;
    const bool mid = q > kTanEighthPi;
    const float u = mid ? (q - 1.0f) / (q + 1.0f) : q;
    const float z = u * u;
    const float p = (((kA0 * z + kA1) * z + kA2) * z + kA3) * z * u + u;
    float a = (mid ? kQuarterPi : 0.0f) + p;
    a = steep ? kHalfPi - a : a;
    a = (toBits(x) >> 31) != 0 ? kPi - a : a;
    a = fromBits((toBits(a) & 0x7FFFFFFFu) | (toBits(y) & 0x80000000u));
    return x != x || y != y ? x + y : a;
}

}  // namespace steady
