#pragma once
// Eight floats at once for the pixel shading, on GCC vector types. Every helper gives, lane by lane, bit
// for bit what the scalar expression it mirrors gives: IEEE add, subtract, multiply, divide and square
// root round the same in a vector, comparisons and selects are exact, and nothing is fused (the build
// keeps -ffp-contract=off). Callers write each formula in the scalar order.
//
// The entry points are compiled for AVX2 (VEC8_AVX2) and taken where avx2() says the processor has it;
// elsewhere the callers use their scalar forms, which give the same bits. (Eight-lane code compiled for
// baseline x86-64 is slower than the scalar forms: the compiler splits every 256-bit operation.) The
// helpers are AVX2 code forced inline, so using one outside an AVX2 entry point does not compile; the
// same holds for every lambda that takes or returns a vector (VEC8_LAMBDA), because a 32-byte vector
// passed to a function compiled without AVX travels in a different place.

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Renderer/Float3.h"
#include "Renderer/Random.h"
#include "Renderer/SteadyMath.h"

// Only ever locals: GCC aligns these types to 32 bytes under AVX and to 16 without, so they must not be
// members of objects that code for the other instruction set allocates.
using Vec8 = float __attribute__((vector_size(32)));
using Ivec8 = int32_t __attribute__((vector_size(32)));
using Uvec8 = uint32_t __attribute__((vector_size(32)));

// The eight-lane paths run only on x86-64 with AVX2. Elsewhere, and in builds made with VM_SCALAR_ONLY,
// the same code compiles as plain GCC vectors without any instruction-set attribute and is never taken:
// avx2() is false and the scalar forms give the pictures, with the same bytes.
#if defined(__x86_64__) && !defined(VM_SCALAR_ONLY)
#define VEC8_X86 1
#define VEC8_AVX2 __attribute__((target("avx2")))
#define VEC8_INLINE [[gnu::always_inline]] inline VEC8_AVX2
#define VEC8_LAMBDA __attribute__((always_inline, target("avx2")))
#else
#define VEC8_X86 0
#define VEC8_AVX2
#define VEC8_INLINE [[gnu::always_inline]] inline
#define VEC8_LAMBDA __attribute__((always_inline))
#endif

namespace vec8 {

constexpr int kLanes = 8;

inline std::atomic<int>& scalarForced() {
    static std::atomic<int> count{0};
    return count;
}

// Whether the eight-lane entry points may run: the processor has AVX2 and no ScalarScope is alive.
inline bool avx2() {
#if VEC8_X86
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
#else
    constexpr bool has = false;
#endif
    return has && scalarForced().load(std::memory_order_relaxed) == 0;
}

// Makes avx2() false while alive, so that tests can take the paths of processors without AVX2.
class ScalarScope {
public:
    ScalarScope() { scalarForced().fetch_add(1); }
    ~ScalarScope() { scalarForced().fetch_sub(1); }
    ScalarScope(const ScalarScope&) = delete;
    ScalarScope& operator=(const ScalarScope&) = delete;
};

// Broadcasts through the instruction: GCC 12 builds {s, s, …} from a loaded s element by element.
#if VEC8_X86
VEC8_INLINE Vec8 splat(float s) {
    using Vec4 = float __attribute__((vector_size(16)));
    return __builtin_ia32_vbroadcastss_ps256(Vec4{s, 0, 0, 0});
}
VEC8_INLINE Ivec8 splati(int32_t s) {
    using Ivec4 = int32_t __attribute__((vector_size(16)));
    return (Ivec8)__builtin_ia32_pbroadcastd256(Ivec4{s, 0, 0, 0});
}
#else
VEC8_INLINE Vec8 splat(float s) { return Vec8{s, s, s, s, s, s, s, s}; }
VEC8_INLINE Ivec8 splati(int32_t s) { return Ivec8{s, s, s, s, s, s, s, s}; }
#endif
VEC8_INLINE Ivec8 iota() { return Ivec8{0, 1, 2, 3, 4, 5, 6, 7}; }

VEC8_INLINE Vec8 load(const float* p) {
    Vec8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
VEC8_INLINE Ivec8 loadi(const int32_t* p) {
    Ivec8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
VEC8_INLINE void store(float* p, Vec8 v) { std::memcpy(p, &v, sizeof v); }
VEC8_INLINE void storei(int32_t* p, Ivec8 v) { std::memcpy(p, &v, sizeof v); }

// Lane masks are all-ones or zero per lane, as comparisons give them.
VEC8_INLINE bool any(Ivec8 m) {
#if VEC8_X86
    using Qvec4 = long long __attribute__((vector_size(32)));
    return !__builtin_ia32_ptestz256((Qvec4)m, (Qvec4)m);
#else
    int32_t bits = 0;
    for (int l = 0; l < 8; ++l) bits |= m[l];
    return bits != 0;
#endif
}
VEC8_INLINE bool all(Ivec8 m) { return !any(~m); }

VEC8_INLINE Vec8 select(Ivec8 m, Vec8 a, Vec8 b) { return m ? a : b; }

// std::max(a, b) and std::min(a, b) exactly: (a < b) ? b : a and (b < a) ? b : a, NaN included.
// The instructions: maxps(x, y) is x > y ? x : y and minps(x, y) is x < y ? x : y, lane by lane,
// whatever x and y hold (NaN and signed zeros included).
#if VEC8_X86
VEC8_INLINE Vec8 maxps(Vec8 x, Vec8 y) { return __builtin_ia32_maxps256(x, y); }
VEC8_INLINE Vec8 minps(Vec8 x, Vec8 y) { return __builtin_ia32_minps256(x, y); }
#else
VEC8_INLINE Vec8 maxps(Vec8 x, Vec8 y) { return x > y ? x : y; }
VEC8_INLINE Vec8 minps(Vec8 x, Vec8 y) { return x < y ? x : y; }
#endif
VEC8_INLINE Vec8 stdMax(Vec8 a, Vec8 b) { return maxps(b, a); }
VEC8_INLINE Vec8 stdMin(Vec8 a, Vec8 b) { return minps(b, a); }
// z < lo ? lo : (z > hi ? hi : z) for lo ≤ hi: if z < lo, z is also below hi and the outer max gives
// lo; otherwise the inner min is z or hi, both ≥ lo, and passes; NaN passes both.
VEC8_INLINE Vec8 clamp(Vec8 z, float lo, float hi) {
    return maxps(splat(lo), minps(splat(hi), z));
}
// t²(3 − 2t) with t = clamp(z, 0, 1).
VEC8_INLINE Vec8 S(Vec8 z) {
    const Vec8 t = clamp(z, 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}
// S((z − e0)/(e1 − e0)) with the span taken from the edges as given.
VEC8_INLINE Vec8 smoothstep(float e0, float e1, Vec8 z) { return S((z - e0) / (e1 - e0)); }
VEC8_INLINE Vec8 smoothstep(Vec8 e0, Vec8 e1, Vec8 z) { return S((z - e0) / (e1 - e0)); }

VEC8_INLINE Vec8 fabs(Vec8 v) {
    Uvec8 u;
    std::memcpy(&u, &v, sizeof u);
    u &= 0x7FFFFFFFu;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

// Square root, exact (and free of the errno path that keeps std::sqrt from vectorising).
#if VEC8_X86
VEC8_INLINE Vec8 sqrt(Vec8 v) { return __builtin_ia32_sqrtps256(v); }
#else
VEC8_INLINE Vec8 sqrt(Vec8 v) {
    for (int l = 0; l < 8; ++l) v[l] = std::sqrt(v[l]);
    return v;
}
#endif

VEC8_INLINE Vec8 toFloat(Ivec8 i) { return __builtin_convertvector(i, Vec8); }

// True in the lanes where |v| < 2³¹, the range in which truncation to int32 is defined.
VEC8_INLINE Ivec8 inIntRange(Vec8 v) { return (v > -2147483648.0f) & (v < 2147483648.0f); }

// Truncation toward zero for lanes inside the int32 range (others give 0).
VEC8_INLINE Ivec8 truncate(Vec8 v) {
    const Vec8 safe = select(inIntRange(v), v, splat(0.0f));
    return __builtin_convertvector(safe, Ivec8);
}

// random_detail::floorf32 for lanes inside the int32 range: the truncation, one less where it rounded
// up. A zero result is +0.
VEC8_INLINE Vec8 floorTrunc(Vec8 x) {
    const Vec8 t = toFloat(truncate(x));
    return select(t > x, t - 1.0f, t);
}

// floorTrunc for lanes already checked to lie inside the int32 range.
VEC8_INLINE Vec8 floorInRange(Vec8 x) {
    const Vec8 t = toFloat(__builtin_convertvector(x, Ivec8));
    return select(t > x, t - 1.0f, t);
}

// std::floor for lanes inside the int32 range, including the sign of a zero result.
VEC8_INLINE Vec8 floorStd(Vec8 x) {
    Vec8 f = floorTrunc(x);
    Uvec8 fu, xu;
    std::memcpy(&fu, &f, sizeof fu);
    std::memcpy(&xu, &x, sizeof xu);
    const Uvec8 zero = (Uvec8)(f == 0.0f);
    fu |= xu & zero & 0x80000000u;
    std::memcpy(&f, &fu, sizeof f);
    return f;
}

// f(lane) for each lane where the mask is set; the other lanes keep `rest`. For the library functions
// (sin, exp, …), whose results the shading must reproduce exactly: they are called once per needed lane.
template <class F>
VEC8_INLINE Vec8 eachLane(Ivec8 mask, Vec8 rest, F f) {
    for (int l = 0; l < kLanes; ++l)
        if (mask[l]) rest[l] = f(l);
    return rest;
}
template <class F>
VEC8_INLINE Vec8 eachLane(F f) {
    Vec8 out;
    for (int l = 0; l < kLanes; ++l) out[l] = f(l);
    return out;
}

// ---------------------------------------------------------------------------------------------------
// Gathers. The shading reads tables at indices that never decrease across the lanes (the points of a
// run go left to right), so usually the eight entries lie within eight of the first: one unaligned load
// and one permute then fetch them.

// Where the eight lanes of a group read a table: lane l reads entry base + off[l]. `window` is set when
// the entries a caller reads (off, or off and off + 1) fit one 8-wide load from base that is readable.
// Plain arrays only: a vector member would take the alignment of whichever instruction set compiled the
// code that allocated it.
struct Window {
    int64_t base = 0;
    int32_t off[kLanes] = {};
    bool window = false;
};

// Entry base + off[l] + plus of the table, plus 0 or 1.
VEC8_INLINE Vec8 take(const float* a, const Window& w, int plus) {
    if (w.window) return __builtin_shuffle(load(a + w.base), loadi(w.off) + plus);
    Vec8 out;
    const float* p = a + w.base + plus;
    for (int l = 0; l < kLanes; ++l) out[l] = p[w.off[l]];
    return out;
}

// ---------------------------------------------------------------------------------------------------
// Value noise, eight points at once.

VEC8_INLINE Vec8 cornerValue(Uvec8 ix, Uvec8 iy, uint32_t sh) {
    Uvec8 h = (ix * 668265261u) ^ (iy * 374761393u) ^ sh;
    h = (h ^ (h >> 15)) * 739982445u;
    h = h ^ (h >> 12);
    h = h * 695872825u;
    h = h ^ (h >> 15);
    return __builtin_convertvector((Ivec8)(h & 0xFFFFu), Vec8) / 32767.5f - 1.0f;
}

// valueNoise(x, y, seed) in every lane, hashing all four corners per lane.
VEC8_INLINE Vec8 valueNoise(Vec8 x, Vec8 y, uint32_t seed) {
    if (!all(inIntRange(x) & inIntRange(y)))  // far outside any scene: the scalar path clamps
        return eachLane([&](int l) VEC8_LAMBDA { return ::valueNoise(x[l], y[l], seed); });
    const Vec8 fx = floorInRange(x), fy = floorInRange(y);
    const Uvec8 ix = (Uvec8)__builtin_convertvector(fx, Ivec8), iy = (Uvec8)__builtin_convertvector(fy, Ivec8);
    const uint32_t sh = seed * 0x9E3779B1u;
    const Vec8 a = cornerValue(ix, iy, sh);
    const Vec8 b = cornerValue(ix + 1u, iy, sh);
    const Vec8 c = cornerValue(ix, iy + 1u, sh);
    const Vec8 d = cornerValue(ix + 1u, iy + 1u, sh);
    const Vec8 tx = x - fx, ty = y - fy;
    const Vec8 sx = tx * tx * (3.0f - 2.0f * tx);
    const Vec8 sy = ty * ty * (3.0f - 2.0f * ty);
    return ((a + sx * (b - a)) + sy * (c - a)) + ((d + ((a - b) - c)) * sx) * sy;
}

// ---------------------------------------------------------------------------------------------------
// Colours: three channels of eight lanes.

struct Rgb8 {
    Vec8 r, g, b;
};

VEC8_INLINE Rgb8 splat(Float3 c) { return {splat(c.x), splat(c.y), splat(c.z)}; }
VEC8_INLINE Rgb8 operator*(Rgb8 c, Vec8 k) { return {c.r * k, c.g * k, c.b * k}; }
VEC8_INLINE Rgb8 operator*(Rgb8 c, float k) { return {c.r * k, c.g * k, c.b * k}; }
VEC8_INLINE Rgb8 operator*(Rgb8 c, Float3 k) { return {c.r * k.x, c.g * k.y, c.b * k.z}; }
VEC8_INLINE Rgb8 operator+(Rgb8 a, Rgb8 b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
// Float3 × lanes: the constant colour times each lane's factor.
VEC8_INLINE Rgb8 operator*(Float3 c, Vec8 k) { return {c.x * k, c.y * k, c.z * k}; }
// p + (q − p)·f.
VEC8_INLINE Rgb8 mix(Rgb8 p, Rgb8 q, Vec8 f) { return {p.r + (q.r - p.r) * f, p.g + (q.g - p.g) * f, p.b + (q.b - p.b) * f}; }
VEC8_INLINE Rgb8 mix(Float3 p, Float3 q, Vec8 f) {
    const Float3 d = q - p;
    return {p.x + d.x * f, p.y + d.y * f, p.z + d.z * f};
}
VEC8_INLINE Rgb8 mix(Rgb8 p, Float3 q, Vec8 f) { return {p.r + (q.x - p.r) * f, p.g + (q.y - p.g) * f, p.b + (q.z - p.b) * f}; }
VEC8_INLINE Rgb8 select(Ivec8 m, Rgb8 a, Rgb8 b) { return {m ? a.r : b.r, m ? a.g : b.g, m ? a.b : b.b}; }
VEC8_INLINE Rgb8 select(Ivec8 m, Float3 a, Rgb8 b) { return select(m, splat(a), b); }
VEC8_INLINE Float3 lane(const Rgb8& c, int l) { return {c.r[l], c.g[l], c.b[l]}; }
VEC8_INLINE void setLane(Rgb8& c, int l, Float3 v) {
    c.r[l] = v.x;
    c.g[l] = v.y;
    c.b[l] = v.z;
}

// ---------------------------------------------------------------------------------------------------
// steady::exp, sin and cos, eight lanes at once with the same operations in the same order.

using Dvec4 = double __attribute__((vector_size(32)));
using Fvec4 = float __attribute__((vector_size(16)));
using Ivec4 = int32_t __attribute__((vector_size(16)));

VEC8_INLINE Vec8 fromBits(Ivec8 u) {
    Vec8 f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// steady::exp in every lane.
VEC8_INLINE Vec8 exp(Vec8 x) {
    using namespace steady;
    const Ivec8 under = x < kExpLow, nan = x != x;
    Vec8 z = select(under | nan, splat(0.0f), x);
    z = select(z < kExpHigh, z, splat(kExpHigh));
    const Vec8 n = (z * kLog2e + kRoundF) - kRoundF;
    const Vec8 r = (z - n * kLn2Hi) - n * kLn2Lo;
    const Vec8 p = ((((kE0 * r + kE1) * r + kE2) * r + kE3) * r + kE4) * r + kE5;
    const Vec8 y = (p * (r * r) + r) + 1.0f;
    const Ivec8 e = __builtin_convertvector(n, Ivec8);
    const Ivec8 tiny = e < kMinNormal;
    // Each lane scales by exponents that keep its own form clear of underflow (0 where it is unused).
    const Ivec8 en = tiny ? splati(0) : e;
    const Ivec8 e1 = en >> 1, e2 = en - e1;
    Vec8 out = (y * fromBits((e1 + 127) << 23)) * fromBits((e2 + 127) << 23);
    if (any(tiny)) {
        const Vec8 steps = y * fromBits(((tiny ? e + 149 : splati(0)) + 127) << 23);
        out = select(tiny, fromBits(__builtin_convertvector((steps + kRoundSteps) - kRoundSteps, Ivec8)), out);
    }
    return select(nan, x, select(under, splat(0.0f), out));
}

// steady::reduce of four lanes.
VEC8_INLINE void reduce4(Fvec4 x, Fvec4& r, Ivec4& q) {
    using namespace steady;
    Dvec4 d = __builtin_convertvector(x, Dvec4);
    const Dvec4 lo = {-kTrigLimit, -kTrigLimit, -kTrigLimit, -kTrigLimit};
    const Dvec4 hi = {kTrigLimit, kTrigLimit, kTrigLimit, kTrigLimit};
    d = d > lo ? d : lo;
    d = d < hi ? d : hi;
    const Dvec4 j = (d * kTwoOverPi + kRoundD) - kRoundD;
    const Dvec4 rd = ((d - j * kPio2A) - j * kPio2B) - j * kPio2C;
    r = __builtin_convertvector(rd, Fvec4);
    q = __builtin_convertvector(j, Ivec4) & 3;
}
VEC8_INLINE void reduce(Vec8 x, Vec8& r, Ivec8& q) {
    Fvec4 r0, r1;
    Ivec4 q0, q1;
    reduce4(__builtin_shufflevector(x, x, 0, 1, 2, 3), r0, q0);
    reduce4(__builtin_shufflevector(x, x, 4, 5, 6, 7), r1, q1);
    r = __builtin_shufflevector(r0, r1, 0, 1, 2, 3, 4, 5, 6, 7);
    q = __builtin_shufflevector(q0, q1, 0, 1, 2, 3, 4, 5, 6, 7);
    r = select(x != x, x, r);
}
VEC8_INLINE Vec8 quadrant(Vec8 r, Ivec8 q) {
    using namespace steady;
    const Vec8 z = r * r;
    const Vec8 s = select(r == 0.0f, r, ((kS0 * z + kS1) * z + kS2) * z * r + r);
    const Vec8 c = (((kC0 * z + kC1) * z + kC2) * z * z - 0.5f * z) + 1.0f;
    const Vec8 v = select((q & 1) != 0, c, s);
    return select((q & 2) != 0, -v, v);
}

// steady::sin and steady::cos in every lane.
VEC8_INLINE Vec8 sin(Vec8 x) {
    Vec8 r;
    Ivec8 q;
    reduce(x, r, q);
    const Vec8 bad = x - x;
    return select(bad != 0.0f, bad, quadrant(r, q));
}
VEC8_INLINE Vec8 cos(Vec8 x) {
    Vec8 r;
    Ivec8 q;
    reduce(x, r, q);
    const Vec8 bad = x - x;
    return select(bad != 0.0f, bad, quadrant(r, (q + 1) & 3));
}

// steady::atan2 in every lane.
VEC8_INLINE Vec8 atan2(Vec8 y, Vec8 x) {
    using namespace steady;
    const Vec8 ax = select(x < 0.0f, -x, x), ay = select(y < 0.0f, -y, y);
    const Ivec8 steep = ay > ax;
    const Vec8 big = select(steep, ay, ax), small = select(steep, ax, ay);
    Vec8 q = small / big;
    q = select(big == 0.0f, splat(0.0f), q);
    q = select((ax == kInf) & (ay == kInf), splat(1.0f), q);
    const Ivec8 mid = q > kTanEighthPi;
    const Vec8 u = select(mid, (q - 1.0f) / (q + 1.0f), q);
    const Vec8 z = u * u;
    const Vec8 p = (((kA0 * z + kA1) * z + kA2) * z + kA3) * z * u + u;
    Vec8 a = select(mid, splat(kQuarterPi), splat(0.0f)) + p;
    a = select(steep, kHalfPi - a, a);
    Ivec8 xb, yb, ab;
    std::memcpy(&xb, &x, sizeof xb);
    std::memcpy(&yb, &y, sizeof yb);
    a = select(xb < 0, kPi - a, a);
    std::memcpy(&ab, &a, sizeof ab);
    a = fromBits((ab & 0x7FFFFFFF) | (yb & (int32_t)0x80000000u));
    return select((x != x) | (y != y), x + y, a);
}

}  // namespace vec8
