#pragma once
// Eight floats at once for the pixel shading, on GCC vector types; the helpers themselves are written
// once for every width in VecLanes.inc (Vec16.h has them at sixteen lanes). Every helper gives, lane by
// lane, bit for bit what the scalar expression it mirrors gives: IEEE add, subtract, multiply, divide and
// square root round the same in a vector, comparisons and selects are exact, and nothing is fused (the
// build keeps -ffp-contract=off). Callers write each formula in the scalar order.
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

// The eight-lane paths run only on x86-64 with AVX2. Elsewhere, and in builds made with VM_SCALAR_ONLY,
// the same code compiles as plain GCC vectors without any instruction-set attribute and is never taken:
// avx2() is false and the scalar forms give the pictures, with the same bytes.
#if defined(__x86_64__)
#define VEC_CPU_SUPPORTS(feature) (__builtin_cpu_supports(feature) != 0)
#else
#define VEC_CPU_SUPPORTS(feature) false
#endif
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

namespace vec_detail {

// A count of live scopes that keep one vector path from running, so that tests can take the paths of
// processors without it. Tag tells the counts apart.
template <class Tag>
class Held {
public:
    static bool any() { return count().load(std::memory_order_relaxed) != 0; }
    Held() { count().fetch_add(1); }
    ~Held() { count().fetch_sub(1); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    static std::atomic<int>& count() {
        static std::atomic<int> n{0};
        return n;
    }
};

// Whether the processor has what `probe` asks VEC_CPU_SUPPORTS about; asked once per probe. Never where
// the vector paths are compiled out.
template <class Probe>
bool cpuHas([[maybe_unused]] Probe probe) {
#if VEC8_X86
    static const bool has = [&] {
        __builtin_cpu_init();
        return probe();
    }();
    return has;
#else
    return false;
#endif
}

}  // namespace vec_detail

namespace vec8 {

// Makes avx2() false while alive.
class ScalarScope : vec_detail::Held<ScalarScope> {};

// Whether the eight-lane entry points may run: the processor has AVX2 and no ScalarScope is alive.
inline bool avx2() {
    return vec_detail::cpuHas([] { return VEC_CPU_SUPPORTS("avx2"); }) &&
           !vec_detail::Held<ScalarScope>::any();
}

}  // namespace vec8

// Value-noise corners hashed ahead for a box of lattice cells (NoiseGrid): corner (ix0 + i, iy0 + j) at
// corners[j · stride + i], `cells` × `rows` cells, one spare row below and a full vector's spare floats at
// the end of every row. Without corners every point hashes its own.
struct CornerTable {
    const float* corners = nullptr;
    std::size_t stride = 0;
    int32_t ix0 = 0, iy0 = 0;
    uint32_t cells = 0, rows = 0;
    uint32_t seed = 0;
};

// A run's noise along one lattice row pair (NoiseRow): per point its cell (NaN out of range) and smoothed
// fraction, per cell from `first` the folded terms a, b − a, sy·(c − a), d + ((a − b) − c). `direct` runs
// hash every point at (cx, cy).
struct RowTables {
    const float *cx, *cell, *sx;
    const float *a, *ba, *ca, *e;
    float cy, sy, first;
    uint32_t seed;
    bool direct;
};

// A run's noise at scattered points (NoiseCloud): per point its cell and smoothed fractions, and the
// corners of the box of cells the run covers, corner (ix0 + i, iy0 + j) at corners[j · stride + i] with a
// full vector's spare floats at the end of every row. Without `table` every point hashes its own.
struct CloudTables {
    const float *cx, *cy;
    const int32_t *col, *row;
    const float *sx, *sy;
    const float* corners;
    std::size_t stride;
    int32_t ix0, iy0;
    uint32_t seed;
    bool table;
};

#define VEC_NS vec8
#define VEC_N 8
#define VEC_INLINE VEC8_INLINE
#define VEC_LAMBDA VEC8_LAMBDA
#define VEC_X86 VEC8_X86
#include "Renderer/VecLanes.inc"

using Vec8 = vec8::Vf;
using Ivec8 = vec8::Vi;
using Uvec8 = vec8::Vu;

namespace vec8 {
using Rgb8 = Rgb;
}  // namespace vec8
