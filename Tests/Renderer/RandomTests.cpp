#include "Renderer/Random.h"
#include "Scene/SceneKind.h"
#include "Scene/SceneSpec.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

TEST(RNG, SeedZeroGivesTheReferenceSequence) {
    RNG r(0);
    EXPECT_EQ(r.next(), 0.8833108082136426);
    EXPECT_EQ(r.s, 0x9E3779B97F4A7C15ULL);
    EXPECT_EQ(r.next(), 0.43152799704850997);
    EXPECT_EQ(r.next(), 0.026433771592597743);
    // The raw outputs behind those fractions.
    EXPECT_EQ(static_cast<uint64_t>(0.8833108082136426 * 9007199254740992.0), 0xE220A8397B1DCDAFULL >> 11);
    EXPECT_EQ(static_cast<uint64_t>(0.43152799704850997 * 9007199254740992.0), 0x6E789E6AA1B965F4ULL >> 11);
    EXPECT_EQ(static_cast<uint64_t>(0.026433771592597743 * 9007199254740992.0), 0x06C45D188009454FULL >> 11);
}

TEST(RNG, SeedIsStoredUnmixedAndWrapsAtTheTop) {
    RNG r(UINT64_MAX);
    EXPECT_EQ(r.s, UINT64_MAX);
    const double u = r.next();
    EXPECT_EQ(r.s, 0x9E3779B97F4A7C14ULL);  // wrapped
    EXPECT_GE(u, 0.0);
    EXPECT_LT(u, 1.0);
}

TEST(RNG, UniformTakesTheSpanInDoublePrecision) {
    RNG a(7), b(7);
    const double u = b.next();
    EXPECT_EQ(a.uniform(0.2, 0.7), 0.2 + 0.49999999999999994 * u);
    RNG c(9), d(9);
    const double v = d.next();
    EXPECT_EQ(c.uniform(0.78, 1.0), 0.78 + 0.21999999999999997 * v);
}

TEST(PointRand, MatchesTheGeneratorAtTheOrigin) {
    EXPECT_EQ(pointRand({0, 0}, 0), 0.8833108082136426);
}

TEST(PointRand, NegativeAndNaNCoordinatesCountAsZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (uint64_t salt : {0ULL, 1ULL, 17ULL, 0xFFFFFFFFFFFFFFFFULL}) {
        EXPECT_EQ(pointRand({-5, 20}, salt), pointRand({0, 20}, salt));
        EXPECT_EQ(pointRand({nan, 20}, salt), pointRand({0, 20}, salt));
        EXPECT_EQ(pointRand({3, nan}, salt), pointRand({3, 0}, salt));
    }
}

TEST(PointRand, QuantisesToSixteenthsOfAPoint) {
    EXPECT_EQ(pointRand({10.0, 20.0}, 5), pointRand({10.05, 20.05}, 5));
    EXPECT_NE(pointRand({10.0, 20.0}, 5), pointRand({10.07, 20.0}, 5));
    EXPECT_NE(pointRand({10.0, 20.0}, 5), pointRand({10.0, 20.0}, 6));
}

TEST(PointRand, HugeAndInfiniteCoordinatesStayDefined) {
    const double inf = std::numeric_limits<double>::infinity();
    const double v = pointRand({inf, 1e300}, 3);
    EXPECT_GE(v, 0.0);
    EXPECT_LT(v, 1.0);
}

TEST(ValueNoise, CornersAndMidpoint) {
    EXPECT_EQ(valueNoise(0, 0, 0), -1.0f);
    // At lattice points the noise is the corner value; halfway all four corners weigh a quarter.
    const float a = valueNoise(3, 5, 11), b = valueNoise(4, 5, 11);
    const float c = valueNoise(3, 6, 11), d = valueNoise(4, 6, 11);
    for (float v : {a, b, c, d}) {
        EXPECT_GE(v, -1.0f);
        EXPECT_LE(v, 1.0f);
    }
    EXPECT_NEAR(valueNoise(3.5f, 5.5f, 11), (a + b + c + d) / 4, 1e-6f);
    EXPECT_NEAR(valueNoise(3.5f, 5.0f, 11), (a + b) / 2, 1e-6f);
}

TEST(ValueNoise, NegativeCoordinatesWrapWithoutOverflow) {
    const float v = valueNoise(-1000.25f, -3.75f, 0xFFFFFFFFu);
    EXPECT_GE(v, -1.0f);
    EXPECT_LE(v, 1.0f);
    // Lattice neighbours across zero join continuously.
    EXPECT_NEAR(valueNoise(-1e-6f, 2, 4), valueNoise(0, 2, 4), 1e-4f);
}

TEST(SceneSpec, SeedsOfTheReferenceExamples) {
    SceneSpec s;
    s.size = {1440, 900};
    s.kind = SceneKind::archipelago;
    EXPECT_EQ(s.seed(), 2665840029ULL);
    s.kind = SceneKind::pond;
    EXPECT_EQ(s.seed(), 26555761950ULL);
    s.size = {0, 0};
    s.kind = SceneKind::archipelago;
    EXPECT_EQ(s.seed(), 2654435769ULL);
}

TEST(SceneSpec, SeedIgnoresIconsScaleAndNightAndTruncatesSizes) {
    SceneSpec a;
    a.size = {1440.9, 900.7};
    SceneSpec b = a;
    b.size = {1440, 900};
    b.icons = {{10, 10}, {-50, 3}};
    b.scale = 2;
    b.night = true;
    EXPECT_EQ(a.seed(), b.seed());
    SceneSpec c;
    c.size = {-0.5, -0.9};
    EXPECT_EQ(c.seed(), 2654435769ULL);
}

TEST(SceneKind, RawValuesAndOrder) {
    const char* names[] = {"archipelago", "canyon", "orbit", "city", "skyline",
                           "winter",      "reef",   "warzone", "sea", "pond"};
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(scene_kind::position(scene_kind::allCases[i]), i);
        EXPECT_EQ(scene_kind::rawValue(scene_kind::allCases[i]), names[i]);
        EXPECT_EQ(scene_kind::fromRawValue(names[i]), scene_kind::allCases[i]);
    }
    EXPECT_FALSE(scene_kind::fromRawValue("Archipelago"));
    EXPECT_FALSE(scene_kind::fromRawValue("sea "));
    EXPECT_FALSE(scene_kind::fromRawValue(" sea"));
    EXPECT_FALSE(scene_kind::fromRawValue(""));
    EXPECT_FALSE(scene_kind::fromRawValue("City 2"));
}

TEST(ValueNoise, CornerEqualsTheNoiseAtLatticePoints) {
    EXPECT_EQ(valueCorner(0, 0, 0), -1.0f);
    for (int32_t j : {-7, -1, 0, 3, 100000})
        for (int32_t i : {-40000, -2, 0, 1, 9})
            for (uint32_t seed : {0u, 11u, 24301u, 0xFFFFFFFFu})
                EXPECT_EQ(valueCorner(i, j, seed), valueNoise(static_cast<float>(i), static_cast<float>(j), seed));
}

TEST(ValueNoise, SeedsSharingACacheSlotKeepTheirOwnValues) {
    // Seeds 64 apart share a slot of the per-thread cell cache; alternating them on one cell must still
    // give each its own lattice.
    for (uint32_t seed : {3u, 11u, 0xFFFFFFC0u}) {
        const uint32_t other = seed + 64;
        ASSERT_NE(valueCorner(7, 9, seed), valueCorner(7, 9, other));
        for (int round = 0; round < 2; ++round)
            for (uint32_t s : {seed, other}) {
                EXPECT_EQ(valueNoise(7, 9, s), valueCorner(7, 9, s)) << "seed " << s;
                const float mid = (valueCorner(7, 9, s) + valueCorner(8, 9, s) + valueCorner(7, 10, s) +
                                   valueCorner(8, 10, s)) / 4;
                EXPECT_NEAR(valueNoise(7.5f, 9.5f, s), mid, 1e-6f) << "seed " << s;
            }
    }
}
