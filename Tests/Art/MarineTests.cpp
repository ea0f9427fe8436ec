// Eagle rays, turtles, jellyfish and seagrass.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>

#include "ArtTestSupport.h"
#include "PoseSupport.h"
#include "Platform/Graphics/Path.h"

using cg::Point;

namespace {

bool hasPoint(const cg::Path& p, Point q, double tol = 1e-9) {
    for (const Point& e : p.points())
        if (std::fabs(e.x - q.x) < tol && std::fabs(e.y - q.y) < tol) return true;
    return false;
}

}  // namespace

TEST(EagleRay, HalfWingspanAndTipsFollowTheBeat) {
    // b = 0 at phases 0 and 0.5: span 19, tips at x = 32, tail straight along y = 22.
    for (double phase : {0.0, 0.5}) {
        SCOPED_TRACE(phase);
        const cg::Rect box = Art::eagleRayBody(phase).pathBoundingBox();
        EXPECT_NEAR(box.maxY(), 22 + 19, 1e-9);
        EXPECT_NEAR(box.minY(), 22 - 19, 1e-9);
        EXPECT_TRUE(hasPoint(Art::eagleRayBody(phase), {32, 41}));
        EXPECT_TRUE(hasPoint(Art::eagleRayBody(phase), {32, 3}));
        const cg::Path tail = Art::eagleRayTail(phase);
        for (const Point& q : tail.points()) EXPECT_NEAR(q.y, 22, 1e-9);
        EXPECT_NEAR(tail.currentPoint()->x, 2, 1e-12);
    }
    // |b| = 1 at 0.25: span 16.34, tips 3 points forward, tail tip at (2, 24).
    const cg::Rect box = Art::eagleRayBody(0.25).pathBoundingBox();
    EXPECT_NEAR(box.maxY(), 22 + 16.34, 1e-9);
    EXPECT_NEAR(box.minY(), 22 - 16.34, 1e-9);
    EXPECT_TRUE(hasPoint(Art::eagleRayBody(0.25), {35, 38.34}));
    EXPECT_TRUE(hasPoint(Art::eagleRayBody(0.25), {35, 22 - 16.34}));
    EXPECT_NEAR(Art::eagleRayTail(0.25).currentPoint()->x, 2, 1e-12);
    EXPECT_NEAR(Art::eagleRayTail(0.25).currentPoint()->y, 24, 1e-12);
    EXPECT_NEAR(Art::eagleRayTail(0.75).currentPoint()->y, 20, 1e-12);
    // The nose stays at x = 48.
    EXPECT_NEAR(box.maxX(), 48, 1e-9);
}

TEST(EagleRay, DrawnPoseSpansTheWingsAndTheShadowIsTheBodyAlone) {
    const double scale = 8;
    auto p = arttest::painter(100, 100, scale);
    for (double phase : {0.0, 0.25}) {
        SCOPED_TRACE(phase);
        const double span = phase == 0 ? 19 : 16.34;
        const auto shadow = posetest::pose(*p.art, 60, 44, [&] { p->eagleRay(phase, true, true); });
        ASSERT_TRUE(shadow);
        const auto box = posetest::extent(*shadow, scale);
        ASSERT_TRUE(box);
        EXPECT_NEAR(box->minY(), 22 - span, 0.2);
        EXPECT_NEAR(box->maxY(), 22 + span, 0.2);
        EXPECT_NEAR(box->maxX(), 48, 0.2);
        // No tail: the body starts at x = 25.
        EXPECT_NEAR(box->minX(), 25, 0.2);
        // Black at alpha 0.25 everywhere, spots or not.
        int inside = 0;
        for (int y = 0; y < shadow->pixelHeight(); ++y)
            for (int x = 0; x < shadow->pixelWidth(); ++x) {
                const auto px = cgtest::unpack(shadow->pixel(x, y));
                EXPECT_EQ(px.r | px.g | px.b, 0);
                EXPECT_LE(px.a, 64);
                inside += px.a >= 63;
            }
        EXPECT_GT(inside, 10000);

        const auto body = posetest::pose(*p.art, 60, 44, [&] { p->eagleRay(phase, false, true); });
        const auto full = posetest::extent(*body, scale);
        EXPECT_NEAR(full->minX(), 2 - 0.4, 0.2);  // the tail's round cap
        // The tail passes x = 10 two thirds of the way along its curve, at y = 22 + 2b/9.
        const double b = std::sin(2 * std::numbers::pi * phase);
        EXPECT_GT(posetest::at(*body, scale, {10, 22 + 2 * b / 9}).a, 100);
    }
}

TEST(EagleRay, SpotsAreTheSameInEveryPoseAndOnEveryRay) {
    auto p = arttest::painter(100, 100, 3);
    // Phases 0 and 0.5 have the same wings: the pictures agree only if each pose restarts the spots.
    const auto a = posetest::pose(*p.art, 60, 44, [&] { p->eagleRay(0, false, true); });
    const auto b = posetest::pose(*p.art, 60, 44, [&] { p->eagleRay(0.5, false, true); });
    auto q = arttest::painter(300, 200, 3, SceneKind::reef, true);
    const auto c = posetest::pose(*q.art, 60, 44, [&] { q->eagleRay(0, false, true); });
    EXPECT_TRUE(posetest::samePixels(*a, *b));
    EXPECT_TRUE(posetest::samePixels(*a, *c));
    const auto plain = posetest::pose(*p.art, 60, 44, [&] { p->eagleRay(0, false, false); });
    EXPECT_FALSE(posetest::samePixels(*a, *plain));
    // Spots are pale on the dark back: count bright pixels with and without.
    auto bright = [](const cg::Image& img) {
        int n = 0;
        for (int y = 0; y < img.pixelHeight(); ++y)
            for (int x = 0; x < img.pixelWidth(); ++x) n += cgtest::unpack(img.pixel(x, y)).g > 200;
        return n;
    };
    EXPECT_GT(bright(*a), 100);
    EXPECT_EQ(bright(*plain), 0);
}

TEST(Turtle, ShadowPoseIsOneFlatTintWithASoftFringe) {
    const double scale = 4;
    for (bool night : {false, true}) {
        SCOPED_TRACE(night);
        auto p = arttest::painter(100, 100, scale, SceneKind::sea, night);
        const auto img = posetest::pose(*p.art, 30, 24, [&] { p->turtle(0.3, true); });
        ASSERT_TRUE(img);
        // The silhouette at its tint alpha over its own shadow (the shadow alpha times the silhouette's),
        // which is unblurred deep inside the figure.
        const double tint = night ? 0.2 : 0.38, under = (night ? 0.25 : 0.4) * tint;
        const int flat = static_cast<int>(std::lround((tint + under * (1 - tint)) * 255));
        const auto mid = posetest::at(*img, scale, {15, 12});
        EXPECT_NEAR(mid.a, flat, 1);
        int fringe = 0;
        for (int y = 0; y < img->pixelHeight(); ++y)
            for (int x = 0; x < img->pixelWidth(); ++x) {
                const auto px = cgtest::unpack(img->pixel(x, y));
                EXPECT_LE(px.a, flat + 1);
                // One tint everywhere: each premultiplied channel is the tint's share of the alpha.
                EXPECT_NEAR(px.r, 0x00 * px.a / 255.0, 2);
                EXPECT_NEAR(px.g, 0x13 * px.a / 255.0, 2);
                EXPECT_NEAR(px.b, 0x1f * px.a / 255.0, 2);
                fringe += px.a > 0 && px.a < flat - 2;
            }
        EXPECT_GT(fringe, 200);
    }
}

TEST(Turtle, NightFramesUseTheNightPalette) {
    const double scale = 4;
    auto day = arttest::painter(100, 100, scale, SceneKind::sea, false);
    auto night = arttest::painter(100, 100, scale, SceneKind::sea, true);
    const auto d = posetest::pose(*day.art, 30, 24, [&] { day->turtle(0, false); });
    const auto n = posetest::pose(*night.art, 30, 24, [&] { night->turtle(0, false); });
    // Head skin (0x7f9a68 by day, 0x4a5e4c at night), clear of the eyes.
    const auto hd = posetest::at(*d, scale, {27, 12});
    const auto hn = posetest::at(*n, scale, {27, 12});
    EXPECT_EQ(hd.a, 255);
    EXPECT_NEAR(hd.r, 0x7f, 2);
    EXPECT_NEAR(hd.g, 0x9a, 2);
    EXPECT_NEAR(hd.b, 0x68, 2);
    EXPECT_NEAR(hn.r, 0x4a, 2);
    EXPECT_NEAR(hn.g, 0x5e, 2);
    EXPECT_NEAR(hn.b, 0x4c, 2);
    // The shell is darker at night.
    EXPECT_LT(posetest::at(*n, scale, {15, 8}).r + 20, posetest::at(*d, scale, {15, 8}).r);
}

namespace {

// Distance from the jellyfish centre of the farthest drawn pixel, and the outer edge of the rim along a
// direction that passes between two fringe strokes.
struct JellyMeasure {
    double reach = 0;
    double rim = 0;
};

JellyMeasure measureJelly(double phase) {
    const double scale = 10;
    auto p = arttest::painter(100, 100, scale);
    const auto img = posetest::pose(*p.art, 20, 20, [&] { p->jellyfish(phase); });
    JellyMeasure m;
    for (int y = 0; y < img->pixelHeight(); ++y)
        for (int x = 0; x < img->pixelWidth(); ++x)
            if (posetest::alphaAt(*img, x, y) > 0)
                m.reach = std::max(m.reach, std::hypot((x + 0.5) / scale - 10, (y + 0.5) / scale - 10));
    const double a = 0.16;  // between the stroke ending at 0.12 and the next starting at pi/16
    for (double r = 3; r < 9.5; r += 0.01) {
        const Point q{10 + r * std::cos(a), 10 + r * std::sin(a)};
        if (posetest::at(*img, scale, q).a > 20) m.rim = r;
    }
    return m;
}

}  // namespace

TEST(Jellyfish, BellRadiusAndFringeFollowThePulse) {
    // Phase 0: R = 7, fringe reaching 1.4 beyond it; phase 0.5: R = 5.74, fringe 2.4 beyond. The rim
    // stroke is 0.5 wide and the fringe strokes 0.35 with round ends.
    const JellyMeasure relaxed = measureJelly(0);
    EXPECT_NEAR(relaxed.rim, 7 + 0.25, 0.12);
    EXPECT_NEAR(relaxed.reach, 7 + 1.4 + 0.175, 0.12);
    const JellyMeasure tight = measureJelly(0.5);
    EXPECT_NEAR(tight.rim, 5.74 + 0.25, 0.12);
    EXPECT_NEAR(tight.reach, 5.74 + 2.4 + 0.175, 0.12);
    // A quarter of the way: c = 0.5.
    const JellyMeasure quarter = measureJelly(0.25);
    EXPECT_NEAR(quarter.rim, 7 * 0.91 + 0.25, 0.12);
    EXPECT_NEAR(quarter.reach, 7 * 0.91 + 1.9 + 0.175, 0.12);
}

TEST(Jellyfish, GlowStaysInsideTheBell) {
    // The glow is a shadow of blur 4 pixels; the bell's clip cuts it, so nothing lights up between
    // the fringe strokes just outside the rim.
    auto p = arttest::painter(100, 100, 1);
    const auto img = posetest::pose(*p.art, 20, 20, [&] { p->jellyfish(0.5); });
    const double R = 5.74;
    int lit = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const double d = std::hypot(x + 0.5 - 10, y + 0.5 - 10);
            if (d > R + 2.4 + 1.2) lit += posetest::alphaAt(*img, x, y) > 0;
        }
    EXPECT_EQ(lit, 0);
    // Inside, the bell is tinted and translucent: denser at the rim than in the middle.
    const auto centre = posetest::at(*img, 1, {10.5, 14.5});
    EXPECT_GT(centre.a, 0);
    EXPECT_LT(centre.a, 200);
}

TEST(Seagrass, OnePointCellGivesOneTuft) {
    auto p = arttest::painter(200, 200, 4);
    const Point a{100.0, 50.0}, b{100.05, 50.05};
    const auto ba = p->seagrassBlades(a), bb = p->seagrassBlades(b);
    ASSERT_EQ(ba.size(), bb.size());
    for (std::size_t i = 0; i < ba.size(); ++i) {
        EXPECT_EQ(ba[i].color, bb[i].color);
        EXPECT_EQ(ba[i].width, bb[i].width);
        EXPECT_EQ(ba[i].length, bb[i].length);
        EXPECT_NEAR(bb[i].root.x - ba[i].root.x, 0.05, 1e-9);
        EXPECT_NEAR(bb[i].tip.y - ba[i].tip.y, 0.05, 1e-9);
    }
    // Drawn where they stand, shifted back by the difference, the two tufts are the same picture.
    const auto ia = posetest::pose(*p.art, 30, 30, [&] {
        p->ctx->translateBy(15 - a.x, 15 - a.y);
        p->seagrass(a);
    });
    const auto ib = posetest::pose(*p.art, 30, 30, [&] {
        p->ctx->translateBy(15 - b.x, 15 - b.y);
        p->seagrass(b);
    });
    EXPECT_TRUE(posetest::samePixels(*ia, *ib));
    // A neighbouring cell gives another tuft.
    const auto other = p->seagrassBlades({100.07, 50.0});
    EXPECT_TRUE(other.size() != ba.size() || other[0].length != ba[0].length);
}

TEST(Seagrass, BladesStayWithinTheirRanges) {
    for (bool night : {false, true}) {
        auto p = arttest::painter(200, 200, 1, SceneKind::sea, night);
        const std::set<uint32_t> colors = night ? std::set<uint32_t>{0x285243, 0x1f453a}
                                                : std::set<uint32_t>{0x4f9a62, 0x3d8656};
        std::set<std::size_t> counts;
        std::set<uint32_t> seen;
        for (int i = 0; i < 400; ++i) {
            const Point q{13.7 * i, 7.1 * i + 3};
            const auto blades = p->seagrassBlades(q);
            counts.insert(blades.size());
            for (const auto& blade : blades) {
                EXPECT_GE(blade.length, 5);
                EXPECT_LT(blade.length, 12);
                EXPECT_GE(blade.width, 0.7);
                EXPECT_LT(blade.width, 1.2);
                EXPECT_TRUE(colors.count(blade.color));
                seen.insert(blade.color);
                EXPECT_LE(std::fabs(blade.root.x - q.x), 1.5);
                EXPECT_LE(std::fabs(blade.root.y - q.y), 1.0);
                // Leaves upward along 0.8 … 1.4 rad and turns by 0.25 … 0.55 toward smaller angles.
                const double lean = std::atan2(blade.control.y - blade.root.y, blade.control.x - blade.root.x);
                const double end = std::atan2(blade.tip.y - blade.root.y, blade.tip.x - blade.root.x);
                EXPECT_GE(lean, 0.8 - 1e-9);
                EXPECT_LE(lean, 1.4 + 1e-9);
                EXPECT_GT(lean - end, 0.25 - 1e-9);
                EXPECT_LT(lean - end, 0.55 + 1e-9);
            }
        }
        EXPECT_EQ(counts, (std::set<std::size_t>{3, 4, 5, 6}));
        EXPECT_EQ(seen, colors);
    }
}

TEST(Seagrass, DrawsAFaintBedAndItsBladesIntoTheScene) {
    auto p = arttest::painter(60, 60, 2);
    p->seagrass({30, 30});
    const auto& c = *p.bitmap;
    // The bed at alpha 0.06 under the blades' roots; nothing far away.
    const auto bed = cgtest::up(c, 2 * 26, 2 * 28);
    EXPECT_GT(bed.a, 0);
    EXPECT_LT(bed.a, 40);
    EXPECT_EQ(cgtest::up(c, 2 * 10, 2 * 10).a, 0);
    int blade = 0;
    for (int y = 0; y < c.pixelHeight(); ++y)
        for (int x = 0; x < c.pixelWidth(); ++x) blade += cgtest::at(c, x, y).a > 150;
    EXPECT_GT(blade, 20);
}
