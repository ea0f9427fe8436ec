// Whales, surfacing dolphins and swimming dolphins.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ArtTestSupport.h"
#include "PoseSupport.h"

using cg::Point;

namespace {

constexpr double kSurfacingW = 32, kSurfacingH = 18, kSurfacingL = 15;

cg::ImageRef surfacing(Art& art, double phase) {
    return posetest::pose(art, kSurfacingW, kSurfacingH,
                          [&] { art.surfacingDolphin(phase, kSurfacingL, kSurfacingW, kSurfacingH); });
}

int maxAlpha(const cg::Image& img) {
    int m = 0;
    for (int y = 0; y < img.pixelHeight(); ++y)
        for (int x = 0; x < img.pixelWidth(); ++x) m = std::max(m, posetest::alphaAt(img, x, y));
    return m;
}

int brightness(const cgtest::Px& p) { return p.r + p.g + p.b; }

}  // namespace

TEST(Whale, FlukesReachByPhase) {
    // The fluke tips lie t = L(0.15 + 0.05 cos 2πφ) behind their root at x0 − 0.79L: 0.2L at φ = 0 and
    // 0.1L at φ = 0.5. They are the leftmost part of the whale.
    const double scale = 8, L = 30, w = 1.1 * L + 8, h = 0.75 * L + 8;
    auto p = arttest::painter(100, 100, scale);
    const double root = (w + L) / 2 - 0.79 * L;
    for (double phase : {0.0, 0.25, 0.5}) {
        SCOPED_TRACE(phase);
        const auto img = posetest::pose(*p.art, w, h, [&] { p->whale(phase, L, w, h); });
        ASSERT_TRUE(img);
        const auto box = posetest::extent(*img, scale, 8);
        ASSERT_TRUE(box);
        const double reach = L * (0.15 + 0.05 * std::cos(2 * std::numbers::pi * phase));
        EXPECT_NEAR(box->minX(), root - reach, 0.3);
        // The nose at x0 = (w + L)/2, and the flukes 0.17L either side of the mid line.
        EXPECT_NEAR(box->maxX(), (w + L) / 2, 0.3);
        EXPECT_NEAR(box->midY(), h / 2, 0.3);
    }
    // Drawn as one layer at 0.72 over its halo (0.7 of that alpha): nothing is fully opaque.
    const auto img = posetest::pose(*p.art, w, h, [&] { p->whale(0, L, w, h); });
    EXPECT_NEAR(maxAlpha(*img), (0.72 + 0.7 * 0.72 * 0.28) * 255, 1.5);
}

TEST(SurfacingDolphin, LoopsAndFadesAtTheDeepestPoint) {
    const double scale = 4;
    auto p = arttest::painter(100, 100, scale);
    const auto first = surfacing(*p.art, 0);
    const auto last = surfacing(*p.art, 1);
    EXPECT_TRUE(posetest::samePixels(*first, *last));

    // Frame 8 of 16 is the faintest: the body at alpha 0.35 over its widest shadow (0.6 of that alpha).
    const auto row = p->poseRow(16, kSurfacingW, kSurfacingH,
                                [](Art& a, double ph) { a.surfacingDolphin(ph, kSurfacingL, kSurfacingW, kSurfacingH); });
    ASSERT_EQ(row.size(), 16u);
    EXPECT_TRUE(posetest::samePixels(*row[0], *first));
    int faintest = 256;
    std::size_t which = 0;
    for (std::size_t j = 0; j < row.size(); ++j) {
        const int m = maxAlpha(*row[j]);
        if (m < faintest) {
            faintest = m;
            which = j;
        }
    }
    EXPECT_EQ(which, 8u);
    EXPECT_NEAR(faintest, (0.35 + 0.6 * 0.35 * 0.65) * 255, 1.5);
    // The deep pose is blurred by a shadow of 0.12L pixels: it spreads beyond the sharp surface pose.
    const auto deep = posetest::extent(*row[8], scale);
    const auto high = posetest::extent(*row[0], scale, 0);
    EXPECT_LT(deep->minY(), high->minY() - 0.2);
    EXPECT_GT(deep->maxY(), high->maxY() + 0.2);
}

TEST(SurfacingDolphin, BlowsOnlyNearTheSurfaceAndStaysSmall) {
    // The blow centre lies on the dark back stroke at (x0 − 0.24L, cy). Without the blow it has the
    // colour of the back anywhere along the line, e.g. at x0 − 0.6L.
    const double scale = 8;
    auto p = arttest::painter(100, 100, scale);
    const double x0 = (kSurfacingW + kSurfacingL) / 2, cy = kSurfacingH / 2;
    const Point blow{x0 - 0.24 * kSurfacingL, cy + 0.05};
    const Point back{x0 - 0.6 * kSurfacingL, cy + 0.05};
    for (double phase : {0.0, 0.05, 0.1, 0.14, 0.86, 0.9, 0.95}) {
        SCOPED_TRACE(phase);
        const auto img = surfacing(*p.art, phase);
        EXPECT_GT(brightness(posetest::at(*img, scale, blow)), brightness(posetest::at(*img, scale, back)) + 12);
    }
    for (double phase : {1.0 / 6 + 0.002, 0.25, 0.5, 0.75, 5.0 / 6 - 0.002}) {
        SCOPED_TRACE(phase);
        const auto img = surfacing(*p.art, phase);
        EXPECT_NEAR(brightness(posetest::at(*img, scale, blow)), brightness(posetest::at(*img, scale, back)), 3);
    }
    // At full strength the blow's radius is 1.8 points along the body: beyond it the back is untouched.
    const auto img = surfacing(*p.art, 0);
    EXPECT_NEAR(brightness(posetest::at(*img, scale, {blow.x + 1.9, blow.y})),
                brightness(posetest::at(*img, scale, back)), 3);
    EXPECT_NEAR(brightness(posetest::at(*img, scale, {blow.x - 1.9, blow.y})),
                brightness(posetest::at(*img, scale, back)), 3);
    EXPECT_GT(brightness(posetest::at(*img, scale, {blow.x + 1.2, blow.y})),
              brightness(posetest::at(*img, scale, back)) + 6);
}

TEST(Dolphin, TailBeatsThroughLengthAndFlukeSpread) {
    // The fluke tips sit at m − o − 1.5 (+3 for the canvas margin): m = 54 − 44(0.6 + 0.27l) with
    // l = 1 − 0.1 sin²2πφ, o = 5.5(0.3 + 0.7|cos πφ|): 5.5 at φ = 0 and 1.65 at φ = 0.5.
    const double scale = 8;
    auto p = arttest::painter(100, 100, scale);
    struct Case {
        double phase, tip;
    };
    for (const Case c : {Case{0, 54 - 38.28 - 5.5 - 1.5 + 3}, Case{0.5, 54 - 38.28 - 1.65 - 1.5 + 3},
                         Case{0.25, 54 - 44 * (0.6 + 0.27 * 0.9) - 5.5 * (0.3 + 0.7 * std::sqrt(0.5)) - 1.5 + 3},
                         Case{0.75, 54 - 44 * (0.6 + 0.27 * 0.9) - 5.5 * (0.3 + 0.7 * std::sqrt(0.5)) - 1.5 + 3}}) {
        SCOPED_TRACE(c.phase);
        const auto img = posetest::pose(*p.art, 64, 30, [&] { p->dolphin(c.phase, false); });
        const auto box = posetest::extent(*img, scale, 8);
        ASSERT_TRUE(box);
        EXPECT_NEAR(box->minX(), c.tip, 0.3);
        EXPECT_NEAR(box->maxX(), 54 + 3, 0.3);  // the nose never moves
    }
}

TEST(Dolphin, ShadowPoseIsOneColourAndNeverGlows) {
    const double scale = 4;
    auto day = arttest::painter(100, 100, scale, SceneKind::sea, false);
    auto night = arttest::painter(100, 100, scale, SceneKind::sea, true);
    const auto d = posetest::pose(*day.art, 64, 30, [&] { day->dolphin(0.3, true); });
    const auto n = posetest::pose(*night.art, 64, 30, [&] { night->dolphin(0.3, true); });
    EXPECT_TRUE(posetest::samePixels(*d, *n));
    // 0x00131f at 0.34 over its own soft shadow (0.4 of that) deep inside the body.
    const int flat = static_cast<int>(std::lround((0.34 + 0.4 * 0.34 * 0.66) * 255));
    EXPECT_NEAR(posetest::at(*d, scale, {33, 15}).a, flat, 1);
    for (int y = 0; y < d->pixelHeight(); ++y)
        for (int x = 0; x < d->pixelWidth(); ++x) {
            const auto px = cgtest::unpack(d->pixel(x, y));
            EXPECT_LE(px.a, flat + 1);
            EXPECT_NEAR(px.r, 0x00 * px.a / 255.0, 2);
            EXPECT_NEAR(px.g, 0x13 * px.a / 255.0, 2);
            EXPECT_NEAR(px.b, 0x1f * px.a / 255.0, 2);
        }
}

TEST(Dolphin, NightDarkensTheBodyAndPutsAGlowBehindIt) {
    const double scale = 2;
    auto day = arttest::painter(100, 100, scale, SceneKind::sea, false);
    auto night = arttest::painter(100, 100, scale, SceneKind::sea, true);
    const auto d = posetest::pose(*day.art, 64, 30, [&] { day->dolphin(0, false); });
    const auto n = posetest::pose(*night.art, 64, 30, [&] { night->dolphin(0, false); });
    // A flank point: darker at night.
    const Point flank{33, 15 + 2.5};
    EXPECT_EQ(posetest::at(*d, scale, flank).a, 255);
    EXPECT_LT(brightness(posetest::at(*n, scale, flank)) + 100, brightness(posetest::at(*d, scale, flank)));
    // Just off the body's edge (half-thickness 4.27 there): clear water by day, a pale green-blue glow
    // at night.
    const Point off{33, 15 + 4.27 + 0.9};
    EXPECT_EQ(posetest::at(*d, scale, off).a, 0);
    const auto glow = posetest::at(*n, scale, off);
    EXPECT_GT(glow.a, 20);
    EXPECT_GT(glow.g, glow.r);
    EXPECT_GT(glow.b, glow.r);
}
