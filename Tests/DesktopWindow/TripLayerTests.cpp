// The trip builder: fades, rests, turning, growing, hops, frame cycles, spout and drizzle.

#include "BuilderTestSupport.h"

#include "DesktopWindow/LayerHelpers.h"
#include "DesktopWindow/TripLayer.h"
#include "Renderer/Random.h"

#include <numbers>
#include <set>

using namespace buildertest;

namespace {

cg::ImageRef pic(int w = 20, int h = 10) { return cg::Context::makeBitmap(w, h, 1)->makeImage(); }

Sprite tripAlong(double length, bool closed = false) {
    Sprite s;
    s.kind = Sprite::Kind::trip;
    s.size = 20;
    s.travel = 8;
    s.image = pic();
    s.path = closed ? std::vector<cg::Point>{{0, 0}, {length, 0}, {length, length}, {0, length}}
                    : std::vector<cg::Point>{{0, 0}, {length, 0}};
    s.closed = closed;
    return s;
}

const ca::AnimationGroup& motion(const LayerRef& container, size_t sub) {
    return anim<ca::AnimationGroup>(*container->sublayers()[sub], "motion");
}

}  // namespace

TEST(TripLayer, FadesAndPeriodsDependOnTheShapeOfThePath) {
    struct Case { double length; bool closed; double grow, rest; std::vector<double> fadeTimes; double period; };
    const Case cases[] = {
        {80, false, 1, 0.5, {0, 0.2, 0.8, 1}, 15},  // Tc 10 s, beat 1.5 s: 1.5·ceil(15/1.5)
        {40, false, 1, 0, {0, 0.3, 0.7, 1}, 6},     // 16/40 capped at 0.3
        {1000, false, 1, 0, {0, 0.016, 0.984, 1}, 126},
        {80, false, 2, 0, {0, 0.12, 1}, 10.5},
        {80, true, 1, 0, {}, 0},                    // closed: no fade, period = trip
    };
    for (const Case& c : cases) {
        Sprite s = tripAlong(c.length, c.closed);
        s.beat = 1.5;
        s.grow = c.grow;
        s.rest = c.rest;
        const auto trip = TripLayer::trip(s);
        ASSERT_EQ(trip->sublayers().size(), 1u);
        const auto& body = *trip->sublayers()[0];
        const auto& g = motion(trip, 0);
        const auto course = SpriteLayers::course(s);
        EXPECT_EQ(g.duration, c.closed ? course.duration : c.period) << c.length;
        EXPECT_EQ(body.opacity(), c.closed ? 1 : 0);
        const auto paths = keyPaths(g);
        EXPECT_EQ(paths.back() == "opacity", !c.closed);
        if (!c.closed) {
            const auto& fade = child<ca::KeyframeAnimation>(g, paths.size() - 1);
            ASSERT_EQ(fade.keyTimes.size(), c.fadeTimes.size());
            for (size_t i = 0; i < c.fadeTimes.size(); ++i) EXPECT_NEAR(fade.keyTimes[i], c.fadeTimes[i], 1e-12);
            EXPECT_EQ(fade.duration, course.duration);
        }
        if (c.grow != 1) {
            const auto& grow = child<ca::BasicAnimation>(g, 2);
            EXPECT_EQ(grow.keyPath(), "transform.scale");
            EXPECT_EQ(grow.toValue.number(), 2);
            EXPECT_EQ(grow.timingFunction, ca::TimingFunction::named(ca::TimingFunction::Name::easeOut));
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
    const double top = 3 * (0.55 + 0.45 * std::fabs(std::sin(7 * 0.3)));
    EXPECT_NEAR(TripLayer::hopHeight(s, 9), top, 1e-12);
    const auto& shadowScale = child<ca::KeyframeAnimation>(motion(trip, 1), 1);
    const auto& lift = child<ca::KeyframeAnimation>(motion(trip, 2), 0);
    const auto along = SpriteLayers::course(s).along;
    for (size_t i : {0, 9, 18, 27}) {  // every 18 points: on the ground
        EXPECT_NEAR(along[i], 2.0 * i, 1e-9);
        EXPECT_NEAR(lift.values[i].point().y, 0, 1e-9);
        EXPECT_NEAR(shadowScale.values[i].number(), 1, 1e-9);
    }
    EXPECT_NEAR(shadowScale.values[4].number(), 1 - 0.4 * TripLayer::hopHeight(s, 8) / 3, 1e-12);
    // The shade sits down and to the right and does not hop.
    const auto& shadePos = child<ca::KeyframeAnimation>(motion(trip, 0), 0);
    EXPECT_EQ(shadePos.values[4].point(), (cg::Point{8 + 0.07 * 20 + 3, -(0.09 * 20 + 4)}));
    // A tiny hop has a stride of one point.
    s.hop = 0.1;
    EXPECT_NEAR(TripLayer::hopHeight(s, 1), 0, 1e-12);
    EXPECT_GT(TripLayer::hopHeight(s, 0.5), 0);
    EXPECT_LE(TripLayer::hopHeight(s, 0.5), 0.1);
}

TEST(TripLayer, SpinTurnsOnceOverTheRouteAndFramesCycleByTheBeat) {
    Sprite s = tripAlong(80, true);
    s.face = false;
    s.spin = 2 * std::numbers::pi;
    s.frames = {pic(), pic()};
    s.image = nullptr;
    s.beat = 0.5;
    s.phase = 0.25;
    s.stroke = 0.5;
    const auto trip = TripLayer::trip(s);
    const auto& body = *trip->sublayers()[0];
    const auto& turn = child<ca::KeyframeAnimation>(motion(trip, 0), 1);
    EXPECT_EQ(turn.keyPath(), "transform.rotation.z");
    EXPECT_EQ(turn.values.front().number(), 0);
    EXPECT_NEAR(turn.values.back().number(), 2 * std::numbers::pi, 1e-12);
    const auto& stroke = anim<ca::KeyframeAnimation>(body, "stroke");
    const auto c = SpriteLayers::course(s);
    EXPECT_EQ(stroke.duration, c.beat);
    EXPECT_NEAR(stroke.timeOffset, c.duration * 0.25 + c.beat * 0.5, 1e-12);
    s.frames.pop_back();
    EXPECT_FALSE(TripLayer::trip(s)->sublayers()[0]->animation("stroke"));
}

TEST(TripLayer, SpoutKeyTimesStayInsideThePeriod) {
    struct Case { double blow, a; std::vector<double> times; };
    const Case cases[] = {{6.4, 0.12, {0, 0.06, 0.5, 1}}, {3.2, 0.3, {0, 0.3, 1, 1}}, {1.6, 0.12, {0, 0.12, 1, 1}}};
    for (const Case& c : cases) {
        const auto t = TripLayer::spoutTimes(c.blow, c.a);
        for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(t[i], c.times[i], 1e-12) << c.blow;
    }
    Sprite s = tripAlong(80);
    s.blow = 19;
    s.rain = 30;
    const auto body = TripLayer::trip(s)->sublayers()[0];
    ASSERT_EQ(body->sublayers().size(), 2u);  // spout, then drizzle
    EXPECT_EQ(body->sublayers()[0]->kind(), ca::Layer::Kind::gradient);
    EXPECT_EQ(anim<ca::AnimationGroup>(*body->sublayers()[0], "motion").duration, 19);
    EXPECT_EQ(body->sublayers()[1]->sublayers().size(), 15u);
}

TEST(TripLayer, DrizzleDrawsNineNumbersPerDropInOrder) {
    struct Case { double rain; int64_t drops; };
    for (const Case c : {Case{30, 15}, {7, 0}, {7.75, 1}, {-30, 15}, {NAN, 0}, {1e200, TripLayer::kMaxDrops}})
        EXPECT_EQ(TripLayer::dropCount(c.rain), c.drops) << c.rain;
    Sprite s = tripAlong(80);
    s.rain = 11;  // two drops
    s.phase = 0.4;
    s.anchor = {0.5, 0.25};
    const auto rain = TripLayer::drizzle(s, cg::Rect(0, 0, 20, 10));
    ASSERT_EQ(rain->sublayers().size(), 2u);
    RNG rng(400013);
    for (const auto& drop : rain->sublayers()) {
        const auto& g = anim<ca::AnimationGroup>(*drop, "motion");
        const auto& spots = child<ca::KeyframeAnimation>(g, 0);
        for (int k = 0; k < 4; ++k) {
            const double ua = rng.next();
            const double r = 11 * std::pow(rng.next(), 0.75);
            const double a = 2 * std::numbers::pi * ua;
            EXPECT_EQ(spots.values[k].point(), (cg::Point{10 + std::cos(a) * r, 2.5 + 0.75 * std::sin(a) * r}));
        }
        EXPECT_EQ(g.timeOffset, 4.8 * rng.next());
        EXPECT_EQ(child<ca::KeyframeAnimation>(g, 1).values.size(), 72u);
        EXPECT_EQ(drop->bounds(), cg::Rect(0, 0, 6.7, 6.7));
    }
    ASSERT_EQ(TripLayer::splashes().size(), 18u);
    EXPECT_EQ(TripLayer::splashes()[5]->pixelWidth(), 27);
}

TEST(TripLayer, ContactSheetOfSeaAndArchipelagoTravellers) {
    // Travellers in view during the sheet's times, each shown round where it is at 2 s.
    std::vector<SheetRow> rows;
    std::set<std::string> shown;
    auto add = [&](SceneKind kind, size_t n, const std::function<bool(const Sprite&)>& pick) {
        for (const Sprite& s : sprites(kind, false, Sprite::Kind::trip, pick)) {
            if (n == 0) break;
            if (!shown.insert(s.identity()).second) continue;
            SheetRow row;
            row.layer = TripLayer::trip(s);
            const auto& body = *row.layer->sublayers().back();
            if (body.presentation(2).opacity < 0.3) continue;  // resting between trips
            const cg::Point p = body.presentation(2).position;
            const double half = std::max(1.5 * s.size, 50.0);
            row.region = cg::Rect(p.x - half, p.y - half, 2 * half, 2 * half);
            row.ground = scene(kind, false).image;
            rows.push_back(row);
            --n;
        }
    };
    add(SceneKind::sea, 1, [](const Sprite& s) { return s.size > 90 && s.size < 300; });  // whale
    add(SceneKind::sea, 2, [](const Sprite& s) { return !s.shade.empty() && s.size < 90; });  // fish
    add(SceneKind::archipelago, 1, [](const Sprite& s) { return s.blow > 0; });       // spouting whale
    add(SceneKind::archipelago, 1, [](const Sprite& s) { return s.size == 32; });     // dolphin
    add(SceneKind::archipelago, 1, [](const Sprite& s) { return s.rain > 0; });       // squall
    ASSERT_GE(rows.size(), 4u);
    const auto sheet = contactSheet("trip-sheet", rows, kSheetTimes);
    ASSERT_TRUE(sheet);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) EXPECT_GT(rowChange(*sheet, r, 5), 0.5) << r;
}
