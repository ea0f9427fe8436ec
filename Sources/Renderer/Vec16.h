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

// Makes avx512() false while alive, so that tests can take the paths of processors with AVX2 alone.
class NarrowScope : vec_detail::Held<NarrowScope> {};

// Whether the sixteen-lane entry points may run: the eight-lane ones may, the processor has AVX-512F and
// no NarrowScope is alive.
inline bool avx512() {
    return vec_detail::cpuHas([] { return VEC_CPU_SUPPORTS("avx512f"); }) && vec8::avx2() &&
           !vec_detail::Held<NarrowScope>::any();
}

}  // namespace vec16

#define VEC_NS vec16
#define VEC_N 16
#define VEC_INLINE VEC16_INLINE
#define VEC_LAMBDA VEC16_LAMBDA
#define VEC_X86 VEC8_X86
#include "Renderer/VecLanes.inc"

using Vec16 = vec16::Vf;
using Ivec16 = vec16::Vi;
using Uvec16 = vec16::Vu;
