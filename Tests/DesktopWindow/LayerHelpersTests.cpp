// The shared builder helpers: loops, picture layers, courses, glows and guarded conversions.

#include "BuilderTestSupport.h"

#include "DesktopWindow/LayerHelpers.h"

#include <gtest/gtest.h>
#include <numbers>

namespace {

Sprite along(std::vector<cg::Point> path, bool closed, double travel) {
    Sprite s;
    s.path = std::move(path);
    s.closed = closed;
    s.travel = travel;
    return s;
}

}  // namespace

TEST(LayerHelpers, LoopsAndPictureLayers) {
    Sprite s;
    s.phase = 0.25;
    for (bool low : {false, true}) {
        SpriteLayers::setLowPower(low);
        ca::KeyframeAnimation a("opacity");
        SpriteLayers::looping(s, a, 4);
        EXPECT_EQ(a.timeOffset, 1);
        EXPECT_TRUE(std::isinf(a.repeatCount));
        EXPECT_EQ(a.preferredFrameRateRange, low ? (ca::FrameRateRange{8, 15, 15}) : (ca::FrameRateRange{10, 30, 30}));
    }
    SpriteLayers::setLowPower(false);
    s.size = 30;
    s.at = {100, 50};
    s.frames = {cg::Context::makeBitmap(40, 20, 1)->makeImage()};
    ca::Layer l;
    l.setBounds(cg::Rect(0, 0, 5, 6));
    SpriteLayers::imageLayer(s, nullptr, l);
    EXPECT_EQ(l.contents(), s.frames[0]);
    EXPECT_EQ(l.bounds(), cg::Rect(0, 0, 30, 15));
    s.frames.clear();  // no picture: contents cleared, bounds kept, still placed
    s.at = {7, 8};
    SpriteLayers::imageLayer(s, nullptr, l);
    EXPECT_EQ(l.contents(), nullptr);
    EXPECT_EQ(l.bounds(), cg::Rect(0, 0, 30, 15));
    EXPECT_EQ(l.position(), (cg::Point{7, 8}));
}

TEST(LayerHelpers, CoursesTimeThePathByTravelEaseSlowingAndPulse) {
    struct Case { std::vector<cg::Point> path; double travel, ease; bool boat; double duration; };
    const Case cases[] = {
        {{{0, 0}, {100, 0}}, 50, 1, false, 2},               // times follow distance
        {{{0, 0}, {100, 0}}, 50, 3, false, std::log(3.0)},   // 50 → 150 pt/s linearly in distance
        {{{0, 0}, {0, 70}}, 10, 1, true, 20},                // a boat goes 0.35 as fast vertically
        {{{0, 0}, {10, 0}}, 0, 1, false, 20},                // never below half a point per second
        {{{3, 4}}, 10, 1, false, 1},                         // one point: a standing course of 1 s
    };
    for (const Case& c : cases) {
        auto s = along(c.path, false, c.travel);
        s.ease = c.ease;
        const auto k = SpriteLayers::course(s, c.boat ? SpriteLayers::Slowing([](double h) { return 0.35 + 0.65 * std::fabs(std::cos(h)); })
                                                      : SpriteLayers::Slowing());
        EXPECT_NEAR(k.duration, c.duration, c.ease == 1 ? 1e-9 : 0.03) << c.path.size() << " " << c.travel;
        for (size_t i = 0; c.ease == 1 && !c.boat && c.path.size() > 1 && i < k.times.size(); ++i)
            EXPECT_NEAR(k.times[i], k.along[i] / k.along.back(), 1e-12);
    }
    // A closed loop turns steadily (never jumping by 2π) and fits its surge a whole number of times.
    std::vector<cg::Point> ring;
    for (int i = 0; i < 12; ++i) ring.push_back({100 * std::cos(i * std::numbers::pi / 6), 60 * std::sin(i * std::numbers::pi / 6)});
    auto s = along(ring, true, 30);
    s.pulse = 0.3;
    s.beat = 1.7;
    const auto k = SpriteLayers::course(s);
    for (size_t i = 1; i < k.headings.size(); ++i) EXPECT_GE(k.headings[i], k.headings[i - 1] - 1e-9);
    EXPECT_NEAR(k.headings.back() - k.headings.front(), 2 * std::numbers::pi, 0.1);
    EXPECT_NE(k.beat, 1.7);
    EXPECT_NEAR(k.duration / k.beat, std::round(k.duration / k.beat), 1e-3);
}

TEST(LayerHelpers, GlowsAreBlurredDiscsCachedByTheirArguments) {
    // At the centre the blur has the closed form 1 − exp(−R²/2σ²); at the rim of a large disc about half.
    for (auto [R, sigma] : {std::pair{2.0, 3.0}, {1.77, 2.31}, {20.0, 4.0}})
        EXPECT_NEAR(SpriteLayers::blurred(0, R, sigma), 1 - std::exp(-R * R / (2 * sigma * sigma)), 0.005) << R;
    EXPECT_NEAR(SpriteLayers::blurred(20, 20, 4), 0.5, 0.05);
    const auto a = SpriteLayers::glowing(0xFFAA33, 2, 3, 11, 1, 64);
    EXPECT_EQ(a, SpriteLayers::glowing(0xFFAA33, 2, 3, 11, 1, 64));
    EXPECT_NE(a, SpriteLayers::glowing(0xFFAA33, 2, 3, 11, 1.0000000000000002, 64));
    EXPECT_EQ(a->pixel(32, 32) >> 24, 255u);  // opaque core, soft edge, clear corners
    EXPECT_GT(a->pixel(44, 32) >> 24, 0u);
    EXPECT_LT(a->pixel(44, 32) >> 24, 255u);
    EXPECT_EQ(a->pixel(0, 0) >> 24, 0u);
    const size_t before = SpriteLayers::glowCount();
    EXPECT_EQ(SpriteLayers::glowing(0xFFFFFF, 2, 3, 11, 1, 0), nullptr);
    EXPECT_EQ(SpriteLayers::glowCount(), before);
}

TEST(LayerHelpers, ConversionsAreGuarded) {
    struct Case { double x; uint64_t u; int64_t i; };
    for (const Case c : {Case{2.9, 2, 2}, {-2.9, 0, -2}, {NAN, 0, 0}, {1e30, UINT64_MAX, INT64_MAX}, {-1e30, 0, INT64_MIN}}) {
        EXPECT_EQ(SpriteLayers::toUInt64(c.x), c.u) << c.x;
        EXPECT_EQ(SpriteLayers::toInt64(c.x), c.i) << c.x;
    }
    EXPECT_EQ(SpriteLayers::seed(0.4, 7), 400007u);
    EXPECT_EQ(SpriteLayers::seed(1e30, 7), 6u);  // saturates, then wraps
}
