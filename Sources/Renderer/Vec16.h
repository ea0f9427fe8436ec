#pragma once
// Sixteen floats at once: the lane helpers of Vec8.h at twice the width, compiled for AVX-512F and taken
// where avx512() says the processor has it. Each lane gives the same bits as at eight lanes and as the
// scalar forms, so a picture does not depend on which width shades it.

#include "Renderer/Vec8.h"

#if VEC8_X86
#define VEC16_AVX512 __attribute__((target("avx512f")))
#define VEC16_INLINE [[gnu::always_inline]] inline VEC16_AVX512
#define VEC16_LAMBDA __attribute__((always_inline, target("avx512f")))
#else
#define VEC16_AVX512
#define VEC16_INLINE [[gnu::always_inline]] inline
#define VEC16_LAMBDA __attribute__((always_inline))
#endif

namespace vec16 {

inline std::atomic<int>& narrowForced() {
    static std::atomic<int> count{0};
    return count;
}

// Whether the sixteen-lane entry points may run: the eight-lane ones may, the processor has AVX-512F and
// no NarrowScope is alive.
inline bool avx512() {
#if VEC8_X86
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
#else
    constexpr bool has = false;
#endif
    return has && vec8::avx2() && narrowForced().load(std::memory_order_relaxed) == 0;
}

// Makes avx512() false while alive, so that tests can take the paths of processors with AVX2 alone.
class NarrowScope {
public:
    NarrowScope() { narrowForced().fetch_add(1); }
    ~NarrowScope() { narrowForced().fetch_sub(1); }
    NarrowScope(const NarrowScope&) = delete;
    NarrowScope& operator=(const NarrowScope&) = delete;
};

}  // namespace vec16

#define VEC_NS vec16
#define VEC_N 16
#define VEC_INLINE VEC16_INLINE
#define VEC_LAMBDA VEC16_LAMBDA
#define VEC_X86 VEC8_X86
#include "Renderer/VecLanes.inc"
#undef VEC_NS
#undef VEC_N
#undef VEC_INLINE
#undef VEC_LAMBDA
#undef VEC_X86

using Vec16 = vec16::Vf;
using Ivec16 = vec16::Vi;
using Uvec16 = vec16::Vu;
