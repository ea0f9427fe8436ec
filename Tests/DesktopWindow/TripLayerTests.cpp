// The trip builder: fades, rests, turning, growing, hops, frame cycles, spout and drizzle.

#include "BuilderTestSupport.h"

#include "DesktopWindow/LayerHelpers.h"
#include "DesktopWindow/TripLayer.h"
#include "Renderer/Random.h"

#include <gtest/gtest.h>
#include <numbers>

using namespace buildertest;

namespace {

cg::ImageRef pic() { return cg::Context::makeBitmap(20, 10, 1)->makeImage(); }

// 8 points a second along a straight line, or round a square when closed.
Sprite tripAlong(double length, bool closed = false) {
    Sprite s;
    s.size = 20;
    s.travel = 8;
    s.beat = 1.5;
    s.image = pic();
    s.path = closed ? std::vector<cg::Point>{{0, 0}, {length, 0}, {length, length}, {0, length}}
                    : std::vector<cg::Point>{{0, 0}, {length, 0}};
    s.closed = closed;
    return s;
}

const ca::AnimationGroup& motion(const LayerRef& trip, size_t sub) {
    return anim<ca::AnimationGroup>(*trip->sublayers()[sub], "motion");
}

}  // namespace

TEST(TripLayer, FadesAndPeriodsFollowThePath) {
    struct Case { double length; bool closed; double grow, rest; std::vector<double> fade; double period; };
    const Case cases[] = {
        {80, false, 1, 0.5, {0, 0.2, 0.8, 1}, 15},  // 10 s of travel, 5 s hidden: 1.5·ceil(15 / 1.5)
        {40, false, 1, 0, {0, 0.3, 0.7, 1}, 6},     // 16 / 40 capped at 0.3
        {1000, false, 1, 0, {0, 0.016, 0.984, 1}, 126},
        {80, false, 2, 0, {0, 0.12, 1}, 10.5},      // growing: in by 12 %, then out to the end
        {80, false, 1, -3, {0, 0.2, 0.8, 1}, 10.5}, // a negative rest never cuts the trip short
        {80, true, 1, 0.5, {}, 10},                 // closed: always visible, looping with the trip
    };
    for (const Case& c : cases) {
        Sprite s = tripAlong(c.length, c.closed);
        s.grow = c.grow;
        s.rest = c.rest;
        const auto trip = TripLayer::trip(s);
        const auto& g = motion(trip, 0);
        EXPECT_NEAR(g.duration, c.closed ? SpriteLayers::course(s).duration : c.period, 1e-12) << c.length;
        EXPECT_EQ(trip->sublayers()[0]->opacity(), c.closed ? 1 : 0);
        const auto& last = dynamic_cast<const ca::PropertyAnimation&>(*g.animations.back());
        ASSERT_EQ(last.keyPath() == "opacity", !c.closed);
        if (c.closed) continue;
        const auto& fade = dynamic_cast<const ca::KeyframeAnimation&>(last);
        for (size_t i = 0; i < c.fade.size(); ++i) EXPECT_NEAR(fade.keyTimes.at(i), c.fade[i], 1e-12) << c.length;
        if (c.grow != 1) {
            EXPECT_EQ(child<ca::BasicAnimation>(g, 2).toValue.number(), 2);
        }
    }
}

TEST(TripLayer, HopsLiftTheBodyAndShrinkItsShadowBetweenStrides) {
    Sprite s = tripAlong(80);
    s.hop = 3;
    s.phase = 0.3;
    s.shade = {pic(), pic()};
    const auto trip = TripLayer::trip(s);
    ASSERT_EQ(trip->sublayers().size(), 3u);  // shade, hop shadow, body
    EXPECT_NEAR(TripLayer::hopHeight(s, 9), 3 * (0.55 + 0.45 * std::fabs(std::sin(7 * 0.3))), 1e-12);
    const auto& squash = child<ca::KeyframeAnimation>(motion(trip, 1), 1);
    const auto& lift = child<ca::KeyframeAnimation>(motion(trip, 2), 0);
    for (size_t i : {0, 9, 18, 27}) {  // every 18 points (a point every 2): on the ground
        EXPECT_NEAR(lift.values[i].point().y, 0, 1e-9);
        EXPECT_NEAR(squash.values[i].number(), 1, 1e-9);
    }
    EXPECT_NEAR(squash.values[4].number(), 1 - 0.4 * TripLayer::hopHeight(s, 8) / 3, 1e-12);
    EXPECT_EQ(child<ca::KeyframeAnimation>(motion(trip, 0), 0).values[4].point(), (cg::Point{8 + 4.4, -5.8}));
    s.hop = 0.1;  // a stride of one point: a shiver of at most 0.1
    EXPECT_NEAR(TripLayer::hopHeight(s, 1), 0, 1e-12);
    EXPECT_LE(TripLayer::hopHeight(s, 0.5), 0.1);
}

TEST(TripLayer, SpinTurnsOnceOverTheRouteAndFramesCycleByTheBeat) {
    Sprite s = tripAlong(80, true);
    s.face = false;
    s.spin = 2 * std::numbers::pi;
    s.frames = {pic(), pic()};
    s.phase = 0.25;
    s.stroke = 0.5;
    const auto trip = TripLayer::trip(s);
    const auto& turn = child<ca::KeyframeAnimation>(motion(trip, 0), 1);
    EXPECT_EQ(turn.values.front().number(), 0);
    EXPECT_NEAR(turn.values.back().number(), 2 * std::numbers::pi, 1e-12);
    const auto& stroke = anim<ca::KeyframeAnimation>(*trip->sublayers()[0], "stroke");
    const auto c = SpriteLayers::course(s);
    EXPECT_EQ(stroke.duration, c.beat);
    EXPECT_NEAR(stroke.timeOffset, c.duration * 0.25 + c.beat * 0.5, 1e-12);
    s.frames.pop_back();
    EXPECT_FALSE(TripLayer::trip(s)->sublayers()[0]->animation("stroke"));
}

TEST(TripLayer, SpoutsStayInTheirPeriodAndDrizzleDrawsNineNumbersPerDrop) {
    struct Spout { double blow, a; std::vector<double> times; };
    for (const Spout& c : {Spout{6.4, 0.12, {0, 0.06, 0.5, 1}}, {3.2, 0.3, {0, 0.3, 1, 1}}, {1.6, 0.12, {0, 0.12, 1, 1}}}) {
        const auto t = TripLayer::spoutTimes(c.blow, c.a);
        for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(t[i], c.times[i], 1e-12) << c.blow;
    }
    for (auto [rain, drops] : {std::pair{30.0, 15L}, {7.0, 0L}, {7.75, 1L}, {NAN, 0L}, {1e200, TripLayer::kMaxDrops}})
        EXPECT_EQ(TripLayer::dropCount(rain), drops) << rain;
    Sprite s = tripAlong(80);
    s.blow = 19;
    s.rain = 11;  // two drops
    s.phase = 0.4;
    s.anchor = {0.5, 0.25};
    const auto body = TripLayer::trip(s)->sublayers()[0];
    ASSERT_EQ(body->sublayers().size(), 2u);  // spout, then drizzle
    EXPECT_EQ(anim<ca::AnimationGroup>(*body->sublayers()[0], "motion").duration, 19);
    RNG rng(400013);
    for (const auto& drop : body->sublayers()[1]->sublayers()) {
        const auto& g = anim<ca::AnimationGroup>(*drop, "motion");
        for (int k = 0; k < 4; ++k) {
            const double a = 2 * std::numbers::pi * rng.next(), r = 11 * std::pow(rng.next(), 0.75);
            EXPECT_EQ(child<ca::KeyframeAnimation>(g, 0).values[k].point(), (cg::Point{10 + std::cos(a) * r, 2.5 + 0.75 * std::sin(a) * r}));
        }
        EXPECT_EQ(g.timeOffset, 4.8 * rng.next());
        EXPECT_EQ(child<ca::KeyframeAnimation>(g, 1).values.size(), 72u);
    }
    ASSERT_EQ(TripLayer::splashes().size(), 18u);
}
