// The sea: its routes, laps and open-water test, the seabed props, and whole sea renders by day and night.
#include <gtest/gtest.h>

#include "SelfTest/SelfTest.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "Art/Geometry2D.h"
#include "ArtTestSupport.h"

namespace {

// A sea painter over a transparent bitmap, with icons and the keep rectangles a render would have.
struct SeaDesk {
    std::unique_ptr<cg::Context> bitmap;
    std::unique_ptr<Art> art;
    Art* operator->() const { return art.get(); }
};

SceneSpec seaSpec(double w, double h, std::vector<cg::Point> icons, bool night = false, double scale = 1) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = scale;
    s.icons = std::move(icons);
    s.iconSize = 48;
    s.textSize = 10;
    s.kind = SceneKind::sea;
    s.night = night;
    return s;
}

SeaDesk desk(const SceneSpec& s) {
    Look look(s.kind, s.night, static_cast<float>(s.size.height));
    auto keep = Renderer::keepRects(s);
    Terrain t = Renderer::terrain(s, look, keep);
    SeaDesk d;
    d.bitmap = cg::Context::makeBitmap(static_cast<int>(std::ceil(s.size.width * s.scale)),
                                       static_cast<int>(std::ceil(s.size.height * s.scale)), s.scale);
    d.art = std::make_unique<Art>(d.bitmap.get(), s, std::move(t), keep, std::move(look), PlacementMap{});
    return d;
}

// The self-test's sample desktop: two columns of icons on the right, four in the middle, one on the left.
std::vector<cg::Point> sampleIcons() { return SelfTest::sampleDesktop(SceneKind::sea, false).icons; }

double signedArea(const std::vector<cg::Point>& loop) {
    double sum = 0;
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const cg::Point a = loop[i], b = loop[(i + 1) % loop.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum / 2;
}

// Spots spread over a canvas, including its edges and points left of and above it.
std::vector<cg::Point> someSpots() {
    std::vector<cg::Point> pts;
    for (int i = 0; i < 400; ++i) pts.push_back({-20 + (i * 137) % 1500 + 0.37 * i, -10 + (i * 59) % 900 + 0.11 * i});
    return pts;
}

enum class Group { shark, ray, grouper, turtle, tuna, school, dolphin, jelly, shimmer, other };

// Which group a trip sprite belongs to, told apart by the beat each group swims at.
Group groupOf(const Sprite& sp) {
    if (sp.kind != Sprite::Kind::trip) return Group::other;
    if (sp.glow) return Group::shimmer;
    if (!sp.face) return Group::jelly;
    if (sp.beat == 1.7) return Group::shark;
    if (sp.beat == 2.6) return Group::ray;
    if (sp.beat == 1.1) return Group::grouper;
    if (sp.beat == 2.8) return Group::turtle;
    if (sp.beat == 0.62) return Group::tuna;
    if (sp.beat == 0.42) return Group::school;
    if (sp.beat == 0.8) return Group::dolphin;
    return Group::other;
}

struct Census {
    std::map<Group, std::vector<const Sprite*>> trips;
    std::map<Sprite::Kind, std::vector<const Sprite*>> kinds;
    std::size_t count(Group g) const { return trips.count(g) ? trips.at(g).size() : 0; }
    std::size_t count(Sprite::Kind k) const { return kinds.count(k) ? kinds.at(k).size() : 0; }
};

Census census(const std::vector<Sprite>& sprites) {
    Census c;
    for (const Sprite& sp : sprites) {
        c.kinds[sp.kind].push_back(&sp);
        if (sp.kind == Sprite::Kind::trip) c.trips[groupOf(sp)].push_back(&sp);
    }
    return c;
}

// Most a channel of two equally sized pictures differs, over a window of w × h pixels at the given origins.
int windowDifference(const cg::Context& a, int ax, int ay, const cg::Context& b, int bx, int by, int w, int h) {
    int worst = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t p = a.pixel(ax + x, ay + y), q = b.pixel(bx + x, by + y);
            for (int shift = 0; shift < 32; shift += 8)
                worst = std::max(worst, std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)));
        }
    return worst;
}

int inkedPixels(const cg::Context& c) {
    int n = 0;
    for (int y = 0; y < c.pixelHeight(); ++y)
        for (int x = 0; x < c.pixelWidth(); ++x) n += (c.pixel(x, y) >> 24) ? 1 : 0;
    return n;
}

// The opaque colour of a pixel as 0xRRGGBB.
uint32_t rgbAt(const cg::Context& c, int x, int yUp) {
    return c.pixel(x, c.pixelHeight() - 1 - yUp) & 0xFFFFFF;
}

}  // namespace

// --- Routes and laps ---

TEST(SeaRoute, SameEveryTimeStartsAtTheSpotWithSevenToTenPoints) {
    std::set<std::size_t> sizes;
    for (const cg::Point& p : someSpots()) {
        const auto route = Art::seaRoute(p, 380, 0.3);
        EXPECT_EQ(route, Art::seaRoute(p, 380, 0.3));
        ASSERT_FALSE(route.empty());
        EXPECT_EQ(route.front(), p);
        EXPECT_GE(route.size(), 7u);
        EXPECT_LE(route.size(), 10u);
        sizes.insert(route.size());
    }
    EXPECT_EQ(sizes.size(), 4u) << "every step count from 6 to 9 occurs";
}

TEST(SeaRoute, WithoutBendStraightAndBetweenPoint7And1Point3OfItsLength) {
    for (const cg::Point& p : someSpots()) {
        const double L = 500;
        const auto straight = Art::seaRoute(p, L, 0);
        const cg::Point a = straight.front(), b = straight.back();
        for (const cg::Point& q : straight) {
            const double cross = (b.x - a.x) * (q.y - a.y) - (b.y - a.y) * (q.x - a.x);
            EXPECT_NEAR(cross / std::hypot(b.x - a.x, b.y - a.y), 0, 1e-9);
        }
        for (double bend : {0.0, 0.35, 2.0}) {
            const double length = pathLength(Art::seaRoute(p, L, bend));
            EXPECT_GE(length, 0.7 * L - 1e-9);
            EXPECT_LE(length, 1.3 * L + 1e-9);
        }
    }
    // A bend curls the route away from the straight line of its first step.
    const cg::Point p{300, 200};
    const auto curly = Art::seaRoute(p, 500, 0.4);
    const auto line = Art::seaRoute(p, 500, 0);
    EXPECT_EQ(curly.size(), line.size());
    EXPECT_NE(curly.back(), line.back());
}

TEST(SeaLap, SixToEightPointsWithinOnePoint1RadiiRunningTheWayItsHashSays) {
    std::set<std::size_t> sizes;
    int forward = 0, backward = 0;
    for (const cg::Point& p : someSpots()) {
        const double r = 120;
        const auto lap = Art::seaLap(p, r);
        EXPECT_EQ(lap, Art::seaLap(p, r));
        EXPECT_GE(lap.size(), 6u);
        EXPECT_LE(lap.size(), 8u);
        sizes.insert(lap.size());
        for (const cg::Point& q : lap) {
            EXPECT_LE(std::fabs(q.x - p.x), 1.1 * r);
            EXPECT_LE(std::fabs(q.y - p.y), 1.1 * r);
        }
        // The points go round p once; the reversed loops run the other way round the same points.
        const bool reversed = !(Art::rand(p, 24) < 0.5);
        EXPECT_EQ(signedArea(lap) < 0, reversed);
        (reversed ? backward : forward) += 1;
    }
    EXPECT_EQ(sizes.size(), 3u);
    EXPECT_GT(forward, 0);
    EXPECT_GT(backward, 0);
}

// --- The open-water test ---

TEST(SeaOpen, CanvasBoundsAreStrict) {
    auto d = desk(seaSpec(400, 300, {}));
    EXPECT_FALSE(d->seaOpen({{0, 50}, {100, 50}}, 5, false));
    EXPECT_TRUE(d->seaOpen({{0.5, 50}, {100, 50}}, 5, false));
    EXPECT_FALSE(d->seaOpen({{100, 50}, {400, 50}}, 5, false));
    EXPECT_FALSE(d->seaOpen({{100, 0}, {100, 50}}, 5, false));
    EXPECT_FALSE(d->seaOpen({{100, 50}, {100, 300}}, 5, false));
    EXPECT_TRUE(d->seaOpen({{100, 50}, {100, 299.9}}, 5, false));
    // An empty path has no point that could fail.
    EXPECT_TRUE(d->seaOpen({}, 5, false));
}

TEST(SeaOpen, TheSmoothedPathCountsNotItsCorners) {
    auto d = desk(seaSpec(400, 300, {}));
    // The corner (100, −2) is off the canvas, but the smoothed curve dips only to y = 1.
    EXPECT_TRUE(d->seaOpen({{10, 10}, {100, -2}, {190, 10}}, 0.5, false));
    EXPECT_FALSE(d->seaOpen({{10, 10}, {100, -5}, {190, 10}}, 0.5, false));
    // Closed, the same three corners also smooth the closing edge.
    EXPECT_TRUE(d->seaOpen({{50, 50}, {150, 60}, {100, 150}}, 1, true));
    EXPECT_FALSE(d->seaOpen({{5, 50}, {150, -60}, {100, 150}}, 1, true));
}

TEST(SeaOpen, MarginIsASquareAroundEverySmoothedPoint) {
    auto d = desk(seaSpec(800, 600, {{400, 300}}));
    ASSERT_EQ(d->keep.size(), 1u);
    const cg::Rect r = d->keep[0];
    const double m = 20;
    // A horizontal path below the rectangle: exactly m away the squares only touch it.
    const double y = r.maxY() + m;
    EXPECT_TRUE(d->seaOpen({{100, y}, {700, y}}, m, false));
    EXPECT_FALSE(d->seaOpen({{100, y - 0.25}, {700, y - 0.25}}, m, false));
    // Diagonally off a corner the square reaches further than a circle would.
    const cg::Point corner{r.maxX() + 0.9 * m, r.maxY() + 0.9 * m};
    EXPECT_FALSE(d->seaOpen({corner, {corner.x + 50, corner.y + 50}}, m, false));
    EXPECT_TRUE(d->seaOpen({corner, {corner.x + 50, corner.y + 50}}, 0.8 * m, false));
}

// --- Seabed props ---

TEST(SeaProps, RockOfOneSeedIsTheSameNonagonAnywhereScaledWithItsRadius) {
    auto d = desk(seaSpec(80, 60, {}));
    auto a = cg::Context::makeBitmap(80, 60, 1), b = cg::Context::makeBitmap(80, 60, 1);
    d->ctx = a.get();
    d->rock({20, 20}, 6, 0.37);
    d->ctx = b.get();
    d->rock({51, 33}, 6, 0.37);
    // Same picture, moved by (31, 13) points: in memory rows, 13 up.
    EXPECT_GT(inkedPixels(*a), 60);
    EXPECT_LE(windowDifference(*a, 5, 60 - 40, *b, 36, 60 - 53, 30, 30), 2);

    // Twice the radius at scale 1 is the same rock as the radius at scale 2.
    auto big = cg::Context::makeBitmap(80, 60, 1), fine = cg::Context::makeBitmap(80, 60, 2);
    d->ctx = big.get();
    d->rock({40, 30}, 12, 0.37);
    d->ctx = fine.get();
    d->rock({20, 15}, 6, 0.37);
    EXPECT_LE(windowDifference(*big, 0, 0, *fine, 0, 0, 80, 60), 3);

    // Another seed is another rock.
    auto other = cg::Context::makeBitmap(80, 60, 1);
    d->ctx = other.get();
    d->rock({20, 20}, 6, 0.71);
    EXPECT_GT(windowDifference(*a, 0, 0, *other, 0, 0, 80, 60), 20);
}

TEST(SeaProps, SeedsBelowOneMillionthStartTheGeneratorAtThree) {
    auto d = desk(seaSpec(40, 40, {}));
    auto draw = [&](double seed) {
        auto c = cg::Context::makeBitmap(40, 40, 2);
        d->ctx = c.get();
        d->rock({10, 10}, 7, seed);
        return c;
    };
    const auto zero = draw(0);
    // Its first vertex, at angle 0, lies R·(0.75 + 0.25u) right of the centre, u the first draw from 3.
    {
        auto c = cg::Context::makeBitmap(320, 320, 8);
        d->ctx = c.get();
        d->rock({20, 20}, 7, 0);
        RNG three(3);
        const double rho = 7 * (0.75 + 0.25 * three.next());
        const int row = 320 - 1 - 160;
        EXPECT_EQ(c->pixel(static_cast<int>(8 * (20 + rho - 0.4)), row), 0xFF55665Au);
        EXPECT_LT(c->pixel(static_cast<int>(8 * (20 + rho + 0.4)), row) >> 24, 0xFFu);
    }
    EXPECT_EQ(windowDifference(*zero, 0, 0, *draw(4e-7), 0, 0, 40, 40), 0);
    EXPECT_GT(windowDifference(*zero, 0, 0, *draw(1.2e-6), 0, 0, 40, 40), 0);
    // Seeds outside [0, 1) never make the conversion undefined; below zero they act as zero.
    EXPECT_EQ(windowDifference(*zero, 0, 0, *draw(-0.5), 0, 0, 40, 40), 0);
    EXPECT_EQ(windowDifference(*zero, 0, 0, *draw(std::numeric_limits<double>::quiet_NaN()), 0, 0, 40, 40), 0);
    EXPECT_GT(inkedPixels(*draw(std::numeric_limits<double>::infinity())), 0);
}

TEST(SeaProps, StarfishAndShellColoursByDayAndNight) {
    for (bool night : {false, true}) {
        auto d = desk(seaSpec(40, 40, {}, night));
        auto star = [&](double v) {
            auto c = cg::Context::makeBitmap(40, 40, 4);
            d->ctx = c.get();
            d->starfish({5, 5}, v);
            return rgbAt(*c, 20, 20);
        };
        EXPECT_EQ(star(0.5), night ? 0x8a4a4au : 0xf2a13bu);
        EXPECT_EQ(star(0.49), night ? 0x8a4a4au : 0xe8633au);
        EXPECT_EQ(star(0.99), night ? 0x8a4a4au : 0xf2a13bu);

        auto c = cg::Context::makeBitmap(40, 40, 4);
        d->ctx = c.get();
        d->shell({5, 5});
        // Between the ridges at 1.4 and 1.85 rad, well inside the fan; nothing below the hinge.
        const double a = 1.625;
        EXPECT_EQ(rgbAt(*c, static_cast<int>(4 * (5 + 2.6 * std::cos(a))), static_cast<int>(4 * (5 + 2.6 * std::sin(a)))),
                  night ? 0x9a8fa6u : 0xf6e7d8u);
        EXPECT_EQ(c->pixel(20, 40 - 1 - 16) >> 24, 0u);
        // The ridges darken the fan along their lines.
        const uint32_t ridge = rgbAt(*c, static_cast<int>(4 * (5 + 2.5 * std::cos(1.4))),
                                     static_cast<int>(4 * (5 + 2.5 * std::sin(1.4))));
        EXPECT_LT(ridge & 0xFF, (night ? 0x9a8fa6u : 0xf6e7d8u) & 0xFF);
    }
}

// --- Whole sea renders ---

TEST(SeaScene, DayGroupsStayWithinTheirLimits) {
    for (const SceneSpec& spec : {seaSpec(1710, 1112, sampleIcons()), seaSpec(900, 560, {}), seaSpec(2400, 1400, {})}) {
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const Census c = census(scene->sprites);
        EXPECT_EQ(c.count(Sprite::Kind::cloud), 4u);
        for (const Sprite* cloud : c.kinds.at(Sprite::Kind::cloud)) EXPECT_TRUE(cloud->image);
        EXPECT_LE(c.count(Sprite::Kind::bird), 2u);
        EXPECT_LE(c.count(Group::shark), 2u);
        EXPECT_LE(c.count(Group::grouper), 3u);
        EXPECT_LE(c.count(Group::tuna), 7u);
        EXPECT_LE(c.count(Group::school), 48u);
        EXPECT_EQ(c.count(Group::school) % 16, 0u);
        EXPECT_LE(c.count(Group::ray), 1u);
        EXPECT_LE(c.count(Group::turtle), 1u);
        EXPECT_TRUE(c.count(Group::dolphin) == 0 || (c.count(Group::dolphin) >= 2 && c.count(Group::dolphin) <= 4));
        EXPECT_LE(c.count(Group::shimmer), 4u);
        EXPECT_LE(c.count(Sprite::Kind::wave), 40u);
        EXPECT_EQ(c.count(Group::jelly), 0u);
        EXPECT_EQ(c.count(Sprite::Kind::firefly), 0u);
        EXPECT_EQ(c.count(Sprite::Kind::light), 0u);
        EXPECT_EQ(c.count(Group::other), 0u);
        for (const Sprite* d : c.count(Group::dolphin) ? c.trips.at(Group::dolphin) : std::vector<const Sprite*>{})
            EXPECT_EQ(d->shade.size(), 12u);
    }
    // On the sample desktop every day group is there, so the limits above are not met by an empty sea.
    const auto scene = Renderer::render(seaSpec(1710, 1112, sampleIcons()), {});
    const Census c = census(scene->sprites);
    for (Group g : {Group::shark, Group::ray, Group::grouper, Group::turtle, Group::tuna, Group::school,
                    Group::dolphin, Group::shimmer})
        EXPECT_GT(c.count(g), 0u) << static_cast<int>(g);
    EXPECT_EQ(c.count(Sprite::Kind::bird), 2u);
    EXPECT_EQ(c.count(Group::shark), 2u);
    EXPECT_EQ(c.count(Group::tuna), 7u);
    EXPECT_EQ(c.count(Group::school), 48u);
    EXPECT_GT(c.count(Sprite::Kind::wave), 0u);
}

TEST(SeaScene, NightHasNoTurtleNoGullsAndNoDolphinShadows) {
    for (const SceneSpec& spec : {seaSpec(1710, 1112, sampleIcons(), true), seaSpec(900, 560, {}, true),
                                  seaSpec(2400, 1400, {}, true)}) {
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const Census c = census(scene->sprites);
        EXPECT_EQ(c.count(Sprite::Kind::cloud), 2u);
        EXPECT_EQ(c.count(Sprite::Kind::bird), 0u);
        EXPECT_EQ(c.count(Group::turtle), 0u);
        EXPECT_LE(c.count(Group::shark), 1u);
        EXPECT_LE(c.count(Group::grouper), 3u);
        EXPECT_LE(c.count(Group::tuna), 3u);
        EXPECT_LE(c.count(Group::school), 16u);
        EXPECT_EQ(c.count(Group::school) % 16, 0u);
        EXPECT_LE(c.count(Group::ray), 1u);
        EXPECT_LE(c.count(Group::dolphin), 4u);
        EXPECT_LE(c.count(Group::jelly), 4u);
        EXPECT_LE(c.count(Group::shimmer), 3u);
        EXPECT_LE(c.count(Sprite::Kind::firefly), 30u);
        EXPECT_LE(c.count(Sprite::Kind::light), 90u);
        EXPECT_EQ(c.count(Group::other), 0u);
        for (const Sprite* d : c.count(Group::dolphin) ? c.trips.at(Group::dolphin) : std::vector<const Sprite*>{}) {
            EXPECT_TRUE(d->shade.empty());
            EXPECT_EQ(d->frames.size(), 12u);
        }
        for (const Sprite* j : c.count(Group::jelly) ? c.trips.at(Group::jelly) : std::vector<const Sprite*>{}) {
            EXPECT_TRUE(j->shade.empty());
            EXPECT_EQ(j->frames.size(), 10u);
            EXPECT_GE(j->size, 16);
            EXPECT_LT(j->size, 24);
        }
        for (const Sprite* f : c.count(Sprite::Kind::firefly) ? c.kinds.at(Sprite::Kind::firefly)
                                                             : std::vector<const Sprite*>{})
            EXPECT_EQ(f->color, 0x7fffe0u);
        // The turtle's placement ran with limit 0: its key is stored, empty.
        ASSERT_TRUE(scene->placed.count("sea-night-202"));
        EXPECT_TRUE(scene->placed.at("sea-night-202").empty());
    }
    const auto scene = Renderer::render(seaSpec(1710, 1112, sampleIcons(), true), {});
    const Census c = census(scene->sprites);
    for (Group g : {Group::shark, Group::ray, Group::grouper, Group::tuna, Group::school, Group::dolphin, Group::jelly})
        EXPECT_GT(c.count(g), 0u) << static_cast<int>(g);
    EXPECT_EQ(c.count(Group::school), 16u);
    EXPECT_EQ(c.count(Sprite::Kind::firefly), 30u);
    EXPECT_GT(c.count(Sprite::Kind::light), 10u);
}

TEST(SeaScene, RoutesAndLapsStayOnTheCanvasAndClearOfTheIcons) {
    for (bool night : {false, true}) {
        const SceneSpec spec = seaSpec(1710, 1112, sampleIcons(), night);
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const auto keep = Renderer::keepRects(spec);
        const double H = spec.size.height, W = spec.size.width;
        // Margins the predicates test; the fish of a school stray up to 13 points from their lap on each
        // axis and the flanking dolphins 15, which the margin left to them accounts for.
        const std::map<Group, double> margin = {{Group::shark, 46}, {Group::ray, 34},   {Group::grouper, 26},
                                                {Group::turtle, 22}, {Group::tuna, 22}, {Group::jelly, 18},
                                                {Group::school, 27}, {Group::dolphin, 19}};
        int checked = 0;
        for (const Sprite& sp : scene->sprites) {
            const Group g = groupOf(sp);
            if (!margin.count(g)) continue;
            const bool lap = g == Group::school || g == Group::dolphin;
            EXPECT_EQ(sp.closed, lap);
            EXPECT_GE(sp.path.size(), lap ? 6u : 7u);
            EXPECT_LE(sp.path.size(), lap ? 8u : 10u);
            EXPECT_EQ(sp.at, sp.path.front());
            EXPECT_GE(sp.phase, 0);
            EXPECT_LT(sp.phase, 1);
            std::vector<cg::Point> scenePath;
            for (const cg::Point& q : sp.path) scenePath.push_back({q.x, H - q.y});
            const double m = margin.at(g);
            // Every school fish and the flanking dolphins swim a copy of the tested lap moved aside.
            const bool shifted = g == Group::school || (g == Group::dolphin && sp.stroke != 0);
            for (const cg::Point& q : rounded(scenePath, lap, 6)) {
                if (!shifted) {
                    EXPECT_GT(q.x, 0);
                    EXPECT_LT(q.x, W);
                    EXPECT_GT(q.y, 0);
                    EXPECT_LT(q.y, H);
                }
                for (const cg::Rect& r : keep)
                    ASSERT_FALSE(cg::Rect(q.x - m, q.y - m, 2 * m, 2 * m).intersects(r))
                        << static_cast<int>(g) << " at " << q.x << ", " << q.y;
            }
            ++checked;
        }
        EXPECT_GT(checked, 10);
    }
}

TEST(SeaScene, SchoolsFollowOneLapAndPodsFlankTheirLeader) {
    const auto scene = Renderer::render(seaSpec(1710, 1112, sampleIcons()), {});
    ASSERT_TRUE(scene);
    const Census c = census(scene->sprites);
    const auto& school = c.trips.at(Group::school);
    ASSERT_EQ(school.size() % 16, 0u);
    for (std::size_t s = 0; s < school.size(); s += 16) {
        const Sprite& lead = *school[s];
        for (std::size_t i = s; i < s + 16; ++i) {
            const Sprite& fish = *school[i];
            EXPECT_EQ(fish.travel, lead.travel);
            EXPECT_GE(fish.stroke, 0);
            EXPECT_LT(fish.stroke, 1);
            ASSERT_EQ(fish.path.size(), lead.path.size());
            // The same loop moved by one offset, at most 26 points on each axis from the lead's.
            const double dx = fish.path[0].x - lead.path[0].x, dy = fish.path[0].y - lead.path[0].y;
            EXPECT_LE(std::fabs(dx), 26);
            EXPECT_LE(std::fabs(dy), 26);
            for (std::size_t k = 0; k < fish.path.size(); ++k) {
                EXPECT_NEAR(fish.path[k].x - lead.path[k].x, dx, 1e-9);
                EXPECT_NEAR(fish.path[k].y - lead.path[k].y, dy, 1e-9);
            }
        }
    }

    const auto& pod = c.trips.at(Group::dolphin);
    ASSERT_GE(pod.size(), 2u);
    ASSERT_LE(pod.size(), 4u);
    for (std::size_t i = 0; i < pod.size(); ++i) {
        const Sprite& d = *pod[i];
        EXPECT_DOUBLE_EQ(d.stroke, 0.2 * static_cast<double>(i));
        EXPECT_EQ(d.size, 64);
        EXPECT_EQ(d.travel, pod[0]->travel);
        // Odd dolphins swim 15 points left and below the leader on screen, even ones right and above.
        const double o = i == 0 ? 0 : (i % 2 == 1 ? -15 : 15);
        ASSERT_EQ(d.path.size(), pod[0]->path.size());
        for (std::size_t k = 0; k < d.path.size(); ++k) {
            EXPECT_DOUBLE_EQ(d.path[k].x, pod[0]->path[k].x + o);
            EXPECT_NEAR(d.path[k].y, pod[0]->path[k].y + o, 1e-9);
        }
    }
    // Followers trail their leader round the loop.
    if (pod.size() > 1) {
        EXPECT_NE(pod[1]->phase, pod[0]->phase);
    }
}

TEST(SeaScene, WhitecapsGlintsAndSeabedStayInTheirPlaces) {
    for (bool night : {false, true}) {
        const SceneSpec spec = seaSpec(1710, 1112, sampleIcons(), night, 2);
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const Census c = census(scene->sprites);
        std::set<const cg::Image*> caps;
        for (const Sprite* w : c.kinds.at(Sprite::Kind::wave)) {
            ASSERT_TRUE(w->image);
            caps.insert(w->image.get());
            EXPECT_EQ(w->image->pixelWidth(), 40);
            EXPECT_EQ(w->image->pixelHeight(), 24);
            EXPECT_EQ(w->size, 16);
        }
        EXPECT_GE(caps.size(), 2u);
        EXPECT_LE(caps.size(), 4u);

        const double H = spec.size.height;
        if (night) {
            std::set<const cg::Image*> glints;
            for (const Sprite* g : c.kinds.at(Sprite::Kind::light)) {
                const double x = g->at.x, y = H - g->at.y;
                EXPECT_LT(std::hypot((x - 0.46 * H) / (0.27 * H), (y - 0.32 * H) / (0.15 * H)), 1);
                EXPECT_GE(g->size, 2.2);
                EXPECT_LT(g->size, 4.4);
                EXPECT_EQ(g->pulse, 0.92);
                glints.insert(g->image.get());
            }
            EXPECT_EQ(glints.size(), 1u);
        }

        // The seabed props lie on the bands their placements ask for.
        auto d = desk(spec);
        const float landT = d->look.landAt();
        const std::string style = night ? "sea-night-" : "sea-day-";
        const auto& grass = scene->placed.at(style + "1");
        EXPECT_GT(grass.size(), 100u);
        for (const cg::Point& p : grass) {
            EXPECT_GT(d->value(p), landT + 0.1f);
            EXPECT_GT(d->t.tex->sample(p), 0);
        }
        const auto& rocks = scene->placed.at(style + "2");
        EXPECT_GT(rocks.size(), 0u);
        EXPECT_LE(rocks.size(), 40u);
        for (const cg::Point& p : rocks) {
            EXPECT_GT(d->value(p), 0.12f);
            EXPECT_LT(d->value(p), landT + 0.08f);
        }
        const auto& shells = scene->placed.at(style + "3");
        EXPECT_GT(shells.size(), 0u);
        EXPECT_LE(shells.size(), 24u);
        for (const cg::Point& p : shells) {
            EXPECT_GT(d->value(p), landT);
            EXPECT_LT(d->value(p), landT + 0.08f);
        }
        for (const cg::Point& p : scene->placed.at(style + "4")) EXPECT_LT(d->value(p), 0.04f);
    }
}

TEST(SeaScene, FarCreaturesAndPropsStayWhenAnIconMoves) {
    for (bool night : {false, true}) {
        SceneSpec a = seaSpec(1400, 900, {{1300, 80}, {1300, 180}, {700, 450}, {250, 700}}, night);
        SceneSpec b = a;
        b.icons.back() = {330, 620};
        const auto A = Renderer::render(a, {});
        const auto B = Renderer::render(b, A->placed);
        ASSERT_TRUE(A && B);
        std::set<std::string> after;
        for (const Sprite& sp : B->sprites) after.insert(sp.identity());
        // Anything whose every point lies more than 420 points from both icon places stays as it was.
        auto far = [&](const Sprite& sp) {
            std::vector<cg::Point> pts = sp.path;
            pts.push_back(sp.at);
            for (const cg::Point& q : pts)
                for (const cg::Point& icon : {a.icons.back(), b.icons.back()})
                    if (std::hypot(q.x - icon.x, (900 - q.y) - icon.y) <= 420) return false;
            return true;
        };
        std::size_t farCount = 0;
        for (const Sprite& sp : A->sprites) {
            if (!far(sp)) continue;
            ++farCount;
            EXPECT_TRUE(after.count(sp.identity())) << sp.identity();
        }
        EXPECT_GT(farCount, 20u);
        // Rocks and shells far from the change keep their places.
        for (const char* salt : {"2", "3"}) {
            const std::string key = std::string(night ? "sea-night-" : "sea-day-") + salt;
            for (const cg::Point& p : A->placed.at(key))
                if (std::hypot(p.x - 250, p.y - 700) > 300 && std::hypot(p.x - 330, p.y - 620) > 300) {
                    const auto& kept = B->placed.at(key);
                    EXPECT_NE(std::find(kept.begin(), kept.end(), p), kept.end());
                }
        }
    }
}
