// Our own exp, sin and cos: the eight-lane forms give the bits of the one-value forms, and both stay
// within a few units in the last place of the C library's results.
#include "Renderer/SteadyMath.h"
#include "Renderer/Vec16.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

uint32_t bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Units in the last place between two finite floats (denormal steps included), across zero too.
int64_t ulps(float a, float b) {
    auto ordered = [](float f) {
        const int64_t u = bits(f) & 0x7FFFFFFFu;
        return (bits(f) >> 31) != 0 ? -u : u;
    };
    const int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

// atan2 is taken along the line (x, 0.75 − x), which crosses every quadrant.
enum class Fn { exp, sin, cos, atan2 };

VEC8_AVX2 void eightLanes(Fn f, const float* in, std::size_t n, float* out) {
    for (std::size_t k = 0; k < n; k += vec8::kLanes) {
        const Vec8 x = vec8::load(in + k);
        vec8::store(out + k, f == Fn::exp   ? vec8::exp(x)
                             : f == Fn::sin ? vec8::sin(x)
                             : f == Fn::cos ? vec8::cos(x)
                                            : vec8::atan2(x, 0.75f - x));
    }
}

VEC16_AVX512 void sixteenLanes(Fn f, const float* in, std::size_t n, float* out) {
    for (std::size_t k = 0; k < n; k += vec16::kLanes) {
        const Vec16 x = vec16::load(in + k);
        vec16::store(out + k, f == Fn::exp   ? vec16::exp(x)
                              : f == Fn::sin ? vec16::sin(x)
                              : f == Fn::cos ? vec16::cos(x)
                                             : vec16::atan2(x, 0.75f - x));
    }
}

float one(Fn f, float x) {
    return f == Fn::exp ? steady::exp(x) : f == Fn::sin ? steady::sin(x) : f == Fn::cos ? steady::cos(x) : steady::atan2(x, 0.75f - x);
}
float library(Fn f, float x) {
    return f == Fn::exp ? std::exp(x) : f == Fn::sin ? std::sin(x) : f == Fn::cos ? std::cos(x) : std::atan2(x, 0.75f - x);
}

// Arguments over [lo, hi] in even steps, with the edge cases every function must meet alike.
std::vector<float> arguments(float lo, float hi, int count) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> xs = {0.0f, -0.0f, inf, -inf, nan, -nan, 1e-30f, -1e-30f, 1e-40f, -1e-40f,
                             88.72f, 88.73f, -87.33f, -87.34f, -100.0f, -103.9f, -104.0f, -110.0f, 3e38f, -3e38f,
                             1.5707964f, 3.1415927f, 6.2831855f, 1e6f, -1e6f, 33554432.0f, 1e9f, 710.0f};
    for (int i = 0; i < count; ++i) xs.push_back(lo + (hi - lo) * static_cast<float>(i) / static_cast<float>(count));
    for (uint64_t u = 0; u < (uint64_t{1} << 32); u += 65521) {  // every exponent, both signs, NaN payloads
        float f;
        const auto b = static_cast<uint32_t>(u);
        std::memcpy(&f, &b, sizeof f);
        xs.push_back(f);
    }
    while (xs.size() % vec16::kLanes != 0) xs.push_back(0.5f);
    return xs;
}

struct Case {
    Fn fn;
    const char* name;
    float lo, hi;       // the sweep of arguments
    int64_t maxUlps;    // allowed distance from the library inside the sweep
};

const Case kCases[] = {
    {Fn::exp, "exp", -104.0f, 89.0f, 2},
    {Fn::exp, "exp near 0", -1.0f, 1.0f, 2},
    {Fn::exp, "exp below the normal range", -104.0f, -87.4f, 2},
    {Fn::sin, "sin", -2000.0f, 2000.0f, 2},
    {Fn::sin, "sin near 0", -4.0f, 4.0f, 2},
    {Fn::cos, "cos", -2000.0f, 2000.0f, 2},
    {Fn::atan2, "atan2", -1e4f, 1e4f, 3},
    {Fn::atan2, "atan2 near the origin", -2.0f, 2.0f, 3},
};

// Sixteen lanes only where the processor has AVX-512F.
TEST(SteadyMath, EveryWidthGivesTheBitsOfOneValue) {
    ASSERT_TRUE(vec8::avx2()) << "the eight-lane forms run only on processors with AVX2";
    for (const Case& c : kCases) {
        const std::vector<float> xs = arguments(c.lo, c.hi, 200003);
        std::vector<float> lanes(xs.size());
        for (int width : {8, 16}) {
            if (width == 16 && !vec16::avx512()) continue;
            (width == 8 ? eightLanes : sixteenLanes)(c.fn, xs.data(), xs.size(), lanes.data());
            for (std::size_t k = 0; k < xs.size(); ++k)
                ASSERT_EQ(bits(lanes[k]), bits(one(c.fn, xs[k])))
                    << c.name << "(" << xs[k] << "), " << width << " lanes";
        }
    }
}

TEST(SteadyMath, StaysWithinAFewUlpsOfTheLibrary) {
    for (const Case& c : kCases) {
        for (const float x : arguments(c.lo, c.hi, 200003)) {
            if (!(x >= c.lo && x <= c.hi)) continue;
            const float want = library(c.fn, x), got = one(c.fn, x);
            ASSERT_EQ(std::isfinite(got), std::isfinite(want)) << c.name << "(" << x << ") = " << got;
            if (!std::isfinite(want)) continue;
            ASSERT_LE(ulps(got, want), c.maxUlps) << c.name << "(" << x << ") = " << got << ", library " << want;
        }
    }
}

TEST(SteadyMath, EdgesFollowTheLibrary) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (const Fn fn : {Fn::exp, Fn::sin, Fn::cos})
        for (const float x : {inf, -inf, nan, 0.0f, -0.0f, -110.0f, 100.0f, -1e-40f}) {
            const float want = library(fn, x), got = one(fn, x);
            if (std::isnan(want)) {
                EXPECT_TRUE(std::isnan(got)) << static_cast<int>(fn) << "(" << x << ")";
            } else {
                EXPECT_EQ(bits(got), bits(want)) << static_cast<int>(fn) << "(" << x << ") = " << got;
            }
        }
    // atan2 on signed zeros and infinities: the quadrant comes from the signs.
    const float pairs[][2] = {{0.0f, 0.0f}, {-0.0f, 0.0f}, {0.0f, -0.0f}, {-0.0f, -0.0f}, {0.0f, -2.0f}, {-0.0f, -2.0f},
                              {3.0f, 0.0f}, {-3.0f, -0.0f}, {inf, inf}, {inf, -inf}, {-inf, -inf}, {1.0f, -inf}, {-1.0f, inf}};
    for (const auto& yx : pairs) {
        const float got = steady::atan2(yx[0], yx[1]), want = std::atan2(yx[0], yx[1]);
        EXPECT_LE(ulps(got, want), 1) << "atan2(" << yx[0] << ", " << yx[1] << ") = " << got << ", library " << want;
        EXPECT_EQ(std::signbit(got), std::signbit(want)) << "atan2(" << yx[0] << ", " << yx[1] << ")";
    }
    // Beyond the reduction's reach the values stay sines.
    for (const float x : {1e9f, -3e38f}) {
        EXPECT_LE(std::fabs(steady::sin(x)), 1.0f) << x;
        EXPECT_LE(std::fabs(steady::cos(x)), 1.0f) << x;
    }
}

}  // namespace
