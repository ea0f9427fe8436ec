// The shared builder helpers: loops, picture layers, courses, glows and guarded conversions.

#include "DesktopWindow/LayerHelpers.h"

#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Graphics/Context.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace {

Sprite pathSprite(std::vector<cg::Point> path, bool closed, double travel) {
    Sprite s;
    s.kind = Sprite::Kind::trip;
    s.path = std::move(path);
    s.closed = closed;
    s.travel = travel;
    return s;
}

cg::ImageRef blank(int w, int h) { return cg::Context::makeBitmap(w, h, 1)->makeImage(); }

}  // namespace

TEST(LayerHelpers, LoopingRepeatsForeverAdvancedByThePhaseAtTheCappedRate) {
    Sprite s;
    s.phase = 0.25;
    for (bool low : {false, true}) {
        SpriteLayers::setLowPower(low);
        ca::KeyframeAnimation a("opacity");
        SpriteLayers::looping(s, a, 4);
        EXPECT_EQ(a.duration, 4);
        EXPECT_EQ(a.timeOffset, 1);
        EXPECT_TRUE(std::isinf(a.repeatCount));
        EXPECT_EQ(a.preferredFrameRateRange.maximum, low ? 15 : 30);
        EXPECT_EQ(a.preferredFrameRateRange.minimum, low ? 8 : 10);
    }
    SpriteLayers::setLowPower(false);
}

TEST(LayerHelpers, ImageLayerSizesByAspectAndFallsBackToTheFirstFrame) {
    Sprite s;
    s.size = 30;
    s.anchor = {0.5, 0.2};
    s.at = {100, 50};
    s.frames = {blank(40, 20), blank(10, 10)};
    ca::Layer l;
    SpriteLayers::imageLayer(s, nullptr, l);
    EXPECT_EQ(l.contents(), s.frames[0]);
    EXPECT_EQ(l.bounds(), cg::Rect(0, 0, 30, 15));
    EXPECT_EQ(l.anchorPoint(), (cg::Point{0.5, 0.2}));
    EXPECT_EQ(l.position(), (cg::Point{100, 50}));

    const auto given = blank(10, 30);
    SpriteLayers::imageLayer(s, given, l);
    EXPECT_EQ(l.contents(), given);
    EXPECT_EQ(l.bounds(), cg::Rect(0, 0, 30, 90));

    // No picture at all: contents cleared, bounds untouched, placement still set.
    Sprite bare;
    bare.at = {7, 8};
    ca::Layer m;
    m.setBounds(cg::Rect(0, 0, 5, 6));
    m.setContents(given);
    SpriteLayers::imageLayer(bare, nullptr, m);
    EXPECT_EQ(m.contents(), nullptr);
    EXPECT_EQ(m.bounds(), cg::Rect(0, 0, 5, 6));
    EXPECT_EQ(m.position(), (cg::Point{7, 8}));
}

TEST(LayerHelpers, StraightCourseTimesFollowDistance) {
    const auto c = SpriteLayers::course(pathSprite({{0, 0}, {100, 0}}, false, 50));
    ASSERT_EQ(c.points.size(), 51u);
    EXPECT_DOUBLE_EQ(c.duration, 2);
    for (size_t k = 0; k < c.points.size(); ++k) {
        EXPECT_NEAR(c.times[k], c.along[k] / 100, 1e-12);
        EXPECT_EQ(c.headings[k], 0);
    }
    EXPECT_EQ(c.beat, 1);  // the sprite's beat: no surge to fit on an open path
}

TEST(LayerHelpers, EaseScalesTheSpeedWithDistanceAndSlowingWithHeading) {
    // Ease 3: the speed grows from 50 to almost 150, so the trip takes ln(3)·100/(2·50) s.
    auto s = pathSprite({{0, 0}, {100, 0}}, false, 50);
    s.ease = 3;
    EXPECT_NEAR(SpriteLayers::course(s).duration, std::log(3.0) * 100 / 100, 0.03);
    // A vertical path at a slow-down of 0.35 by heading, as boats go.
    auto v = pathSprite({{0, 0}, {0, 70}}, false, 10);
    const auto c = SpriteLayers::course(v, [](double h) { return 0.35 + 0.65 * std::fabs(std::cos(h)); });
    EXPECT_NEAR(c.duration, 70 / 3.5, 1e-9);
    // Speeds below half a point per second are raised to it.
    EXPECT_NEAR(SpriteLayers::course(pathSprite({{0, 0}, {10, 0}}, false, 0)).duration, 20, 1e-9);
}

TEST(LayerHelpers, HeadingsUnwrapAcrossTheHalfTurn) {
    // A loop round a circle: the headings keep turning the same way, never jumping by 2π.
    std::vector<cg::Point> ring;
    for (int i = 0; i < 12; ++i) ring.push_back({100 * std::cos(i * std::numbers::pi / 6), 100 * std::sin(i * std::numbers::pi / 6)});
    const auto c = SpriteLayers::course(pathSprite(ring, true, 40));
    for (size_t k = 1; k < c.headings.size(); ++k) {
        EXPECT_LE(std::fabs(c.headings[k] - c.headings[k - 1]), std::numbers::pi);
        EXPECT_GE(c.headings[k], c.headings[k - 1] - 1e-9);  // counter-clockwise throughout
    }
    EXPECT_NEAR(c.headings.back() - c.headings.front(), 2 * std::numbers::pi, 0.1);
    EXPECT_EQ(c.points.front(), c.points.back());
    EXPECT_EQ(c.times.front(), 0);
    EXPECT_DOUBLE_EQ(c.times.back(), 1);
}

TEST(LayerHelpers, ClosedCoursesFitTheSurgeAWholeNumberOfTimes) {
    std::vector<cg::Point> loop{{0, 0}, {200, 20}, {240, 160}, {40, 190}};
    auto s = pathSprite(loop, true, 30);
    s.pulse = 0.3;
    s.beat = 1.7;
    const auto c = SpriteLayers::course(s);
    const double turns = c.duration / c.beat;
    EXPECT_NE(c.beat, 1.7);
    EXPECT_NEAR(turns, std::round(turns), 1e-3) << turns;
    // Without a surge the beat stays as given (at least 0.1).
    s.pulse = 0;
    s.beat = 0.02;
    EXPECT_EQ(SpriteLayers::course(s).beat, 0.1);
}

TEST(LayerHelpers, ShortPathsGiveAStandingCourseOfOneSecond) {
    for (std::vector<cg::Point> path : {std::vector<cg::Point>{}, std::vector<cg::Point>{{3, 4}}}) {
        auto s = pathSprite(path, false, 10);
        s.beat = 0.7;
        const auto c = SpriteLayers::course(s);
        EXPECT_EQ(c.points, path);
        EXPECT_EQ(c.times, std::vector<double>{0});
        EXPECT_EQ(c.duration, 1);
        EXPECT_EQ(c.beat, 0.7);
    }
}

TEST(LayerHelpers, BlurredDiscIsOneInsideHalfAtTheRimAndZeroFarOut) {
    // At the centre the integral has the closed form 1 − exp(−R²/2σ²).
    for (auto [R, sigma] : {std::pair{2.0, 3.0}, {1.77, 2.31}, {20.0, 4.0}})
        EXPECT_NEAR(SpriteLayers::blurred(0, R, sigma), 1 - std::exp(-R * R / (2 * sigma * sigma)), 0.005) << R;
    EXPECT_NEAR(SpriteLayers::blurred(20, 20, 4), 0.5, 0.05);  // a little below: the rim curves away
    EXPECT_NEAR(SpriteLayers::blurred(60, 20, 4), 0, 1e-6);
}

TEST(LayerHelpers, GlowsAreCachedByArgumentsAndPaintedRound) {
    const auto a = SpriteLayers::glowing(0xFFAA33, 2, 3, 11, 1, 64);
    ASSERT_TRUE(a);
    EXPECT_EQ(a, SpriteLayers::glowing(0xFFAA33, 2, 3, 11, 1, 64));
    EXPECT_NE(a, SpriteLayers::glowing(0xFFAA33, 2, 3, 11, 1.0000000000000002, 64));
    EXPECT_NE(SpriteLayers::glowKey(1, 0.1, 1, 1, 1, 2), SpriteLayers::glowKey(1, 0.1000000000000001, 1, 1, 1, 2));
    EXPECT_EQ(a->pixelWidth(), 64);
    // Opaque core, soft falloff, clear corners.
    EXPECT_EQ(a->pixel(32, 32) >> 24, 255u);
    const uint32_t mid = a->pixel(32 + 12, 32) >> 24;
    EXPECT_GT(mid, 0u);
    EXPECT_LT(mid, 255u);
    EXPECT_EQ(a->pixel(0, 0) >> 24, 0u);
    const size_t before = SpriteLayers::glowCount();
    EXPECT_EQ(SpriteLayers::glowing(0xFFFFFF, 2, 3, 11, 1, 0), nullptr);
    EXPECT_EQ(SpriteLayers::glowCount(), before);
}

TEST(LayerHelpers, ConversionsAreGuarded) {
    struct Case { double x; uint64_t u; int64_t i; };
    const Case cases[] = {{2.9, 2, 2}, {-2.9, 0, -2}, {NAN, 0, 0}, {1e30, UINT64_MAX, INT64_MAX},
                          {-1e30, 0, INT64_MIN}, {INFINITY, UINT64_MAX, INT64_MAX}};
    for (const Case& c : cases) {
        EXPECT_EQ(SpriteLayers::toUInt64(c.x), c.u) << c.x;
        EXPECT_EQ(SpriteLayers::toInt64(c.x), c.i) << c.x;
    }
    EXPECT_EQ(SpriteLayers::seed(0.4, 7), 400007u);
    EXPECT_EQ(SpriteLayers::seed(1e30, 7), 6u);  // saturates, then wraps
}
