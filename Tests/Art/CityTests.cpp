// The city: its block plan, arcades, walkers, window panes, vehicles, lanes, flights and roof props, and
// whole city renders by day and by night (remembered keys, sprite limits, stability at night).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "Art/City.h"
#include "Art/Geometry2D.h"
#include "Platform/Dispatch/Dispatch.h"
#include "ArtTestSupport.h"
#include "Renderer/Shading.h"
#include "Renderer/Streets.h"
#include "SelfTest/SelfTest.h"

namespace {

SceneSpec citySpec(double w, double h, double scale, bool night, std::vector<cg::Point> icons = {}) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = scale;
    s.icons = std::move(icons);
    s.iconSize = 48;
    s.textSize = 10;
    s.kind = SceneKind::city;
    s.night = night;
    return s;
}

arttest::Painter desk(const SceneSpec& s) { return arttest::painterFor(s); }

std::vector<const Sprite*> ofKind(const std::vector<Sprite>& sprites, Sprite::Kind kind) {
    std::vector<const Sprite*> out;
    for (const Sprite& sp : sprites)
        if (sp.kind == kind) out.push_back(&sp);
    return out;
}

// The inked columns of pixel row y (counted from the bottom) of a bitmap: first and last, or -1.
std::pair<int, int> inkedSpan(const cg::Context& c, int y) {
    int first = -1, last = -1;
    for (int x = 0; x < c.pixelWidth(); ++x)
        if (cgtest::up(c, x, y).a > 0) {
            if (first < 0) first = x;
            last = x;
        }
    return {first, last};
}

}  // namespace

// --- The block plan ---

TEST(CityBlocks, CellHashAgreesWithTheStreetPlanThatShadesTheGround) {
    int parks = 0, carParks = 0, plazas = 0;
    for (int32_t r = -3; r < 40; ++r)
        for (int32_t c = -3; c < 40; ++c) {
            const Art::City::Block b = Art::City::block(c, r);
            EXPECT_EQ(b == Art::City::Block::park, Streets::park(c, r)) << c << "," << r;
            EXPECT_EQ(b == Art::City::Block::carPark, Streets::carPark(c, r)) << c << "," << r;
            EXPECT_EQ(b == Art::City::Block::plaza, Streets::vacant(c, r) && !Streets::carPark(c, r));
            parks += b == Art::City::Block::park;
            carParks += b == Art::City::Block::carPark;
            plazas += b == Art::City::Block::plaza;
        }
    EXPECT_GT(parks, 0);
    EXPECT_GT(carParks, 0);
    EXPECT_GT(plazas, 0);
}

TEST(CityArcade, StripsFollowTheStreetAndTheRaisedNeighbours) {
    struct Case {
        int64_t i, j;
        bool left, right, up, down;
        std::vector<bool> strips;
    };
    const Case cases[] = {
        {8, 3, false, false, false, false, {false}},            // north-south street
        {3, 7, false, false, false, false, {true}},             // east-west street
        {3, 3, true, true, true, true, {}},                     // a plot, no street
        {8, 7, true, false, false, false, {true}},              // crossing raised east-west only
        {8, 7, false, true, false, true, {true, false}},        // raised both ways
        {8, 7, false, false, true, false, {false}},             // raised north-south only
        {8, 7, false, false, false, false, {false}},            // a lone raised crossing
    };
    for (const Case& k : cases) {
        const auto raised = [&](int64_t dx, int64_t dy) {
            return (dx == -1 && k.left) || (dx == 1 && k.right) || (dy == -1 && k.up) || (dy == 1 && k.down);
        };
        EXPECT_EQ(Art::City::arcade(k.i, k.j, raised), k.strips) << k.i << "," << k.j;
    }
}

TEST(CityLamps, PoolsDrawnTogetherMatchPoolsDrawnOneByOne) {
    // Apart and over the edge; a chain of overlapping pools, which must keep their order.
    const std::vector<std::vector<cg::Point>> sets = {{{40, 40}, {140, 60}, {235, 25}},
                                                      {{20, 100}, {40, 110}, {160, 60}, {60, 100}, {80, 90}}};
    // Scale 1 and radius 30.5 give squares of odd height, split into runs of rows of unequal size.
    for (const double scale : {2.0, 1.0})
    for (const int threads : {1, 0})
    for (const auto& centres : sets) {
        const dispatch::ThreadCountScope scope(threads);
        const double radius = scale == 1 ? 30.5 : 30;
        std::vector<std::vector<uint32_t>> pictures;
        for (const bool together : {false, true}) {
            auto p = desk(citySpec(240, 120, scale, true));
            cg::Context& c = *p.bitmap;
            for (int i = 0; i < 12; ++i) {
                c.setFillColor(cg::Color::rgb(0x203040 + 0x0A0B07 * static_cast<uint32_t>(i)));
                c.fill({20.0 * i, 0, 20, 120});
            }
            Art::City city(*p.art);
            if (together) city.lamplights(0x9E7E4A, centres, radius);
            else
                for (const cg::Point& q : centres) city.lamplights(0x9E7E4A, {q}, radius);
            pictures.push_back(arttest::pixels(*c.makeImage()));
        }
        EXPECT_EQ(pictures[0], pictures[1]) << centres.size() << " threads " << threads << " scale " << scale;
    }
}

// The pools lit in place give the general colour-dodged gradient within a rounding level, over
// dark and bright ground, at whole and fractional centres and at every scale; where a pixel under a pool
// is not opaque they fall back to the general drawing and give its very bytes.
TEST(CityLamps, PoolsLitInPlaceMatchTheGeneralDrawingWithinRounding) {
    struct Case {
        double scale, radius;
        cg::Point centre;
        uint32_t ground;  // the left half; the right half is brighter
        double alpha;     // of the ground
        int most;         // largest difference allowed in any channel
    };
    const Case cases[] = {
        {2, 30, {60, 50}, 0x203040, 1, 1},       {2, 18, {61.3, 40.7}, 0x102018, 1, 1},
        {1, 30.5, {70.25, 60.5}, 0x405060, 1, 1}, {1.5, 28, {59.9, 51.1}, 0x000000, 1, 1},
        {2, 30, {118, 10}, 0x203040, 1, 1},      // cut by the picture's edge
        {2, 30, {60, 50}, 0x203040, 0.6, 0},     // translucent ground: the general drawing itself
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << k.scale << " radius " << k.radius << " at " << k.centre.x
                                        << "," << k.centre.y << " alpha " << k.alpha);
        std::vector<std::vector<uint32_t>> pictures;
        for (const int way : {0, 1, 2}) {  // the general drawing, in place, no pool
            auto p = desk(citySpec(120, 100, k.scale, true));
            cg::Context& c = *p.bitmap;
            c.setFillColor(cg::Color::rgb(k.ground, k.alpha));
            c.fill({0, 0, 60, 100});
            c.setFillColor(cg::Color::rgb(0xB0A890, k.alpha));
            c.fill({60, 0, 60, 100});
            Art::City city(*p.art);
            if (way == 0) city.lamplight(0x9E7E4A, k.centre, k.radius);
            if (way == 1) city.lamplights(0x9E7E4A, {k.centre}, k.radius);
            pictures.push_back(arttest::pixels(*c.makeImage()));
        }
        int worst = 0, changed = 0, lit = 0;
        for (std::size_t i = 0; i < pictures[0].size(); ++i) {
            changed += pictures[0][i] != pictures[1][i];
            lit += pictures[1][i] != pictures[2][i];
            for (int shift = 0; shift < 32; shift += 8)
                worst = std::max(worst, std::abs(static_cast<int>((pictures[0][i] >> shift) & 0xFF) -
                                                 static_cast<int>((pictures[1][i] >> shift) & 0xFF)));
        }
        EXPECT_LE(worst, k.most);
        if (k.most == 0) {
            EXPECT_EQ(changed, 0);
        }
        // The pool lit most of its disc (a quarter of it at least, for the one cut by the edge).
        const double disc = 3.14159 * k.radius * k.radius * k.scale * k.scale;
        EXPECT_GT(lit, disc / 4);
    }
}

TEST(CityPieces, APictureLaidDownMatchesTheDrawingWithinRounding) {
    for (const double scale : {1.0, 1.5, 2.0})
        for (const cg::Point foot : {cg::Point{30.3, 40.7}, cg::Point{61.77, 22.2}}) {
            std::vector<std::vector<uint32_t>> pictures;
            for (const bool laid : {false, true}) {
                auto p = desk(citySpec(100, 60, scale, false));
                p.bitmap->setFillColor(cg::Color::rgb(0xD5D9DE));
                p.bitmap->fill({0, 0, 100, 60});
                Art::City city(*p.art);
                const Art::City::Piece piece = city.treePiece(foot, 6.5);
                if (laid) city.lay(piece, city.pictures({piece})[0]);
                else piece.draw(city);
                pictures.push_back(arttest::pixels(*p.bitmap->makeImage()));
            }
            int worst = 0;
            for (std::size_t i = 0; i < pictures[0].size(); ++i)
                for (int shift = 0; shift < 32; shift += 8)
                    worst = std::max(worst, std::abs(static_cast<int>((pictures[0][i] >> shift) & 0xFF) -
                                                     static_cast<int>((pictures[1][i] >> shift) & 0xFF)));
            EXPECT_LE(worst, 3) << scale << " " << foot.x;
        }
}

// --- Walkers ---

TEST(CityWalkers, SaltPicksPictureAndPaceAndReversedRoutesStartAtTheOtherEnd) {
    auto p = desk(citySpec(320, 240, 2, false));
    Art::City city(*p.art);
    const std::vector<cg::Point> route = {{10, 20}, {60, 20}, {60, 90}};
    city.stroll(route, 0.5);
    EXPECT_TRUE(p->sprites.empty()) << "no pictures, no walker";

    city.walkers = city.walkerImages();
    ASSERT_EQ(city.walkers.size(), 8u);
    city.stroll(route, 0);
    std::vector<cg::Point> back(route.rbegin(), route.rend());
    city.stroll(back, 0.25);
    city.stroll({}, 0.3);
    ASSERT_EQ(p->sprites.size(), 2u);
    const Sprite& a = p->sprites[0];
    EXPECT_EQ(a.image, city.walkers[0]);
    EXPECT_EQ(a.phase, 0);
    EXPECT_EQ(a.travel, 3.2);
    EXPECT_EQ(a.rest, 0.4);
    EXPECT_FALSE(a.face);
    EXPECT_EQ(a.at, (cg::Point{10, 220}));
    const Sprite& b = p->sprites[1];
    EXPECT_EQ(b.at, (cg::Point{60, 150}));
    EXPECT_EQ(b.path.back(), a.path.front());
    EXPECT_EQ(b.image, city.walkers[249 % 8]);
    EXPECT_NEAR(b.phase, 0.825, 1e-12);
}

// --- Window panes ---

TEST(CityWindows, PanesSnapToPixelsAndMatchTheLitWindowsOfThePicture) {
    const SceneSpec spec = citySpec(640, 400, 2, true, {{150, 130}, {430, 170}});
    auto p = desk(spec);
    Art::City city(*p.art);
    // The shaded walls alone, before any prop or light pool is drawn over them.
    std::vector<uint32_t> shaded(1280 * 800);
    Renderer::paint(reinterpret_cast<uint8_t*>(shaded.data()), 1280 * 4, 1280, 800, 2, p->t, p->look);
    const float land = p->look.landAt();
    int found = 0, lit = 0, deep = 0;
    for (double y = 1; y < 399; y += 0.7)
        for (double x = 1; x < 639; x += 1.3) {
            const cg::Point q{x, y};
            const bool wall = p->solid(q) > land + 0.05f && p->value(q) < land - 0.05f;
            const auto pane = city.pane(q);
            if (!wall || p->t.depth->sample(q) >= 15) {
                EXPECT_FALSE(pane) << x << "," << y;
                deep += wall;
                continue;
            }
            if (!pane) continue;
            ++found;
            const cg::Rect r = pane->rect;
            // The pixel columns whose centres lie inside the pane's 2.6 points: 5a − 1 to 5a + 2 at scale 2.
            const double a = std::floor((x + 2) / 5);
            EXPECT_EQ(r.minX(), 5 * a - 1);
            EXPECT_EQ(r.maxX(), 5 * a + 2);
            EXPECT_LE(r.height() * 2, 17);
            EXPECT_EQ(r.minY() * 2, std::round(r.minY() * 2));
            // The pane's middle pixel shows the facade's own lit colour exactly when the pane counts as lit.
            const uint32_t px =
                shaded[static_cast<std::size_t>(r.midY() * 2) * 1280 + static_cast<std::size_t>(r.midX() * 2)] & 0xFFFFFF;
            EXPECT_EQ(px == 0xFFD27F, pane->lit) << std::hex << px << " at " << r.midX() << "," << r.midY();
            lit += pane->lit;
        }
    EXPECT_GT(found, 100);
    EXPECT_GT(lit, 10);
    EXPECT_GT(deep, 0) << "walls deeper than the three window rows exist and carry no pane";
}

// --- Vehicles and lanes ---

TEST(CityTraffic, LaneStretchesAndVehicleCounts) {
    const auto all = Art::City::stretches(1512, [](double) { return true; });
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0], (std::pair<double, double>{4, 1504}));
    EXPECT_EQ(Art::City::carsFor(all[0].second - all[0].first), 5);

    const auto split = Art::City::stretches(400, [](double a) { return a < 100 || a > 200; });
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0], (std::pair<double, double>{4, 94}));
    EXPECT_EQ(split[1], (std::pair<double, double>{202, 394}));
    EXPECT_TRUE(Art::City::stretches(9, [](double) { return true; }).empty());

    const std::pair<double, int64_t> counts[] = {{119, 0}, {120, 1}, {599, 1}, {600, 2}, {1500, 5}, {-5, 0}};
    for (const auto& [length, n] : counts) EXPECT_EQ(Art::City::carsFor(length), n) << length;
}

TEST(CityTraffic, LanesAreScannedInTheirOrderAtAnyThreadCount) {
    const SceneSpec spec = citySpec(1710, 1112, 1, false, SelfTest::sampleDesktop(SceneKind::city, false).icons);
    auto p = desk(spec);
    Art& art = *p.art;
    const auto open = [&art](cg::Point q) { return art.solid(q) < 0.03f; };
    std::vector<std::vector<Art::City::Run>> found;
    for (const int threads : {1, 0}) {
        const dispatch::ThreadCountScope scope(threads);
        found.push_back(Art::City(art).runs(open));
    }
    ASSERT_GT(found[0].size(), 20u);
    ASSERT_EQ(found[0].size(), found[1].size());
    for (std::size_t i = 0; i < found[0].size(); ++i) {
        const Art::City::Run &a = found[0][i], &b = found[1][i];
        EXPECT_EQ(std::tie(a.lane.eastWest, a.lane.line, a.lane.forward, a.first, a.last),
                  std::tie(b.lane.eastWest, b.lane.line, b.lane.forward, b.first, b.last))
            << i;
        if (i == 0) continue;
        // East-west lanes first, then north-south, each kind from the top or the left; along one lane the
        // runs come in order.
        const Art::City::Run& before = found[0][i - 1];
        EXPECT_GE(before.lane.eastWest, a.lane.eastWest) << i;
        if (before.lane.eastWest != a.lane.eastWest) continue;
        EXPECT_LE(before.lane.line, a.lane.line + 9) << i;
        if (before.lane.line == a.lane.line) {
            EXPECT_LT(before.last, a.first) << i;
        }
    }
}

TEST(CityTraffic, GlidersKeepToTheRightAndPoliceLeadsOnly) {
    const SceneSpec spec = citySpec(1710, 1112, 1, false, SelfTest::sampleDesktop(SceneKind::city, false).icons);
    const auto scene = Renderer::render(spec, {});
    ASSERT_TRUE(scene);
    const auto glides = ofKind(scene->sprites, Sprite::Kind::glide);
    ASSERT_GT(glides.size(), 40u);
    int police = 0;
    for (const Sprite* g : glides) {
        const double dx = g->to.x - g->at.x, dy = g->to.y - g->at.y;  // drawing space, y up
        EXPECT_NEAR(g->angle, std::atan2(dy, dx), 1e-12);
        EXPECT_GE(std::hypot(dx, dy), 120);
        EXPECT_GE(g->phase, 0);
        EXPECT_LT(g->phase, 1);
        if (dy == 0) {
            // East-west: eastbound on the lane 4.5 south of the centre line.
            const double lane = std::fmod(1112 - g->at.y, 140) - 8;
            EXPECT_DOUBLE_EQ(lane, dx > 0 ? 4.5 : -4.5);
        } else {
            const double lane = std::fmod(g->at.x, 160) - 8;
            EXPECT_DOUBLE_EQ(lane, dy > 0 ? 4.5 : -4.5);
        }
        if (!g->frames.empty()) {
            ++police;
            EXPECT_EQ(g->frames.size(), 4u);
            EXPECT_EQ(g->beat, 0.6);
            // It leads its run: no vehicle of the same run starts ahead of it.
            for (const Sprite* o : glides)
                if (o != g && o->at == g->at && o->to == g->to) {
                    EXPECT_GT(o->phase, g->phase);
                }
        }
    }
    EXPECT_LE(police * 10, static_cast<int>(glides.size()));
}

TEST(CityTraffic, AShortColourListWrapsInsteadOfReadingPastIt) {
    auto p = desk(citySpec(640, 400, 1, false));
    Art::City city(*p.art);
    const std::vector<uint32_t> colors = {0xFF0000, 0x00FF00};
    city.traffic(colors, [&](cg::Point q) { return p->solid(q) < 0.03f; });
    const auto cars = city.vehicles(colors);
    ASSERT_EQ(cars.size(), 6u);
    int plain = 0;
    for (const Sprite& sp : p->sprites) {
        if (sp.size != 26 || !sp.frames.empty() || !sp.image) continue;
        bool known = false;
        for (std::size_t k : {0, 1, 2})  // the two cars and the taxi
            known = known || arttest::pixels(*sp.image) == arttest::pixels(*cars[k].image);
        EXPECT_TRUE(known);
        ++plain;
    }
    EXPECT_GT(plain, 0);
}

TEST(CityVehicles, DayCarsHaveNoBeamNoLampsAndIgnoreDim) {
    struct Case {
        bool night;
        double dim;
    };
    std::vector<std::vector<uint32_t>> pictures;
    for (const Case& k : {Case{false, 0.1}, Case{false, 0.9}, Case{true, 0.1}, Case{true, 0.9}}) {
        auto p = desk(citySpec(40, 10, 4, k.night));
        Art::City(*p.art).car(0x2E4C7C, false, k.dim, 0, 0);
        // The beam reaches past the front bumper only at night.
        EXPECT_EQ(cgtest::up(*p.bitmap, 20 * 4, 4 * 4).a > 0, k.night);
        pictures.push_back(arttest::pixels(*p.bitmap->makeImage()));
    }
    EXPECT_EQ(pictures[0], pictures[1]);
    EXPECT_NE(pictures[2], pictures[3]);
}

// --- Air traffic ---

TEST(CityFlights, DifferentSidesABowEitherWayAndShortCutsRejected) {
    auto p = desk(citySpec(1440, 900, 1, false));
    Art::City city(*p.art);
    auto sideOf = [](cg::Point q) { return q.x < 0 ? 0 : q.y < 0 ? 1 : q.x > 1440 ? 2 : 3; };
    int left = 0, right = 0, short_ = 0;
    for (int i = 0; i < 500; ++i) {
        const cg::Point seed{(i * 389) % 1440 + 0.3, (i * 211) % 900 + 0.7};
        const auto f = city.flight(seed);
        ASSERT_EQ(f.size(), 3u);
        EXPECT_NE(sideOf(f[0]), sideOf(f[2]));
        for (const cg::Point q : {f[0], f[2]})
            EXPECT_TRUE(q.x == -40 || q.y == -40 || q.x == 1480 || q.y == 940) << q.x << "," << q.y;
        const double chord = std::hypot(f[2].x - f[0].x, f[2].y - f[0].y);
        const cg::Point mid{(f[0].x + f[2].x) / 2, (f[0].y + f[2].y) / 2};
        const double bow = std::hypot(f[1].x - mid.x, f[1].y - mid.y) / chord;
        EXPECT_GE(bow, 0.06 - 1e-9);
        EXPECT_LE(bow, 0.16 + 1e-9);
        const double cross = (f[2].x - f[0].x) * (f[1].y - f[0].y) - (f[2].y - f[0].y) * (f[1].x - f[0].x);
        (cross > 0 ? left : right) += 1;
        if (!(pathLength(f) > 900)) {
            ++short_;
            EXPECT_FALSE(city.flightFits(seed));
        } else {
            EXPECT_TRUE(city.flightFits(seed)) << "no icons on this desk";
        }
    }
    EXPECT_GT(left, 100);
    EXPECT_GT(right, 100);
    EXPECT_GT(short_, 0);
}

TEST(CityFlights, NightStrobeShowsInTheFirstOfSixFramesOnly) {
    for (const bool night : {false, true}) {
        auto p = desk(citySpec(1440, 900, 2, night));
        Art::City(*p.art).flyover();
        ASSERT_EQ(p->sprites.size(), 1u);
        const Sprite& plane = p->sprites[0];
        EXPECT_EQ(plane.kind, Sprite::Kind::trip);
        EXPECT_EQ(plane.path.size(), 3u);
        EXPECT_EQ(p->placed.at(night ? "city-night-22" : "city-day-22").size(), 1u);
        if (!night) {
            EXPECT_TRUE(plane.frames.empty());
            EXPECT_TRUE(plane.image);
            continue;
        }
        EXPECT_FALSE(plane.image);
        ASSERT_EQ(plane.frames.size(), 6u);
        EXPECT_NE(arttest::pixels(*plane.frames[0]), arttest::pixels(*plane.frames[1]));
        for (std::size_t i = 2; i < 6; ++i)
            EXPECT_EQ(arttest::pixels(*plane.frames[i]), arttest::pixels(*plane.frames[1])) << i;
    }
}

// --- Roof props ---

TEST(CityRoofs, SkylightRowsAreFourNPlusOneLongWithAllPanesAlike) {
    for (const int64_t n : {3, 4, 5})
        for (const bool lit : {false, true}) {
            auto p = desk(citySpec(40, 20, 4, true));
            Art::City(*p.art).skylights({20, 10}, false, n, lit);
            // Just under the frame's top edge, above the shadow: the frame alone.
            const auto [first, last] = inkedSpan(*p.bitmap, static_cast<int>((10 + 3.5) * 4));
            EXPECT_EQ(last - first + 1, (4 * n + 1) * 4) << n;
            // Every pane's middle has one colour.
            std::set<uint32_t> panes;
            for (int64_t i = 0; i < n; ++i) {
                const double x = 20 - (4.0 * n - 0.6) / 2 + 4.0 * i + 1.7;
                panes.insert(p.bitmap->pixel(static_cast<int>(x * 4), (20 - 10) * 4) & 0xFFFFFF);
            }
            EXPECT_EQ(panes, std::set<uint32_t>{lit ? 0xE8C27Au : 0x1E232Cu});
        }
}

TEST(CityRoofs, TurnedPropsStandUprightWithTheirShadowLowerRight) {
    for (const bool skylight : {false, true}) {
        auto p = desk(citySpec(40, 40, 4, false));
        Art::City city(*p.art);
        if (skylight) city.skylights({20, 20}, true, 3, false);
        else city.airHandler({20, 20}, true);
        const cg::Context& c = *p.bitmap;
        // Taller than wide, shadow below right of the body and nothing above right.
        const auto [first, last] = inkedSpan(c, 20 * 4);
        EXPECT_LE((last - first + 1) / 4.0, 10.5);
        EXPECT_GT(cgtest::up(c, static_cast<int>(24.5 * 4), static_cast<int>(20 * 4)).a, 0);
        EXPECT_EQ(cgtest::up(c, static_cast<int>(24.9 * 4), static_cast<int>(28.3 * 4)).a, 0);
        EXPECT_GT(cgtest::up(c, 20 * 4, static_cast<int>(26 * 4)).a, 0);
    }
}

// --- Whole renders ---

TEST(CityScene, RemembersItsPlacementsAndKeepsItsSpriteLimits) {
    const std::set<std::string> expected[] = {
        {"city-day-1", "city-day-2", "city-day-22", "city-day-24", "city-day-3", "city-day-keep"},
        {"city-night-1", "city-night-2", "city-night-22", "city-night-23", "city-night-24", "city-night-keep"}};
    for (const bool night : {false, true}) {
        const auto scene = Renderer::render(SelfTest::sampleDesktop(SceneKind::city, night), {});
        ASSERT_TRUE(scene);
        std::set<std::string> keys;
        for (const auto& entry : scene->placed) keys.insert(entry.first);
        EXPECT_EQ(keys, expected[night]);
        const auto& s = scene->sprites;
        std::size_t walkers = 0, planes = 0;
        for (const Sprite* sp : ofKind(s, Sprite::Kind::trip)) {
            walkers += sp->size == 8;
            planes += sp->size == 40;
        }
        EXPECT_GT(walkers, night ? 5u : 30u);
        EXPECT_LE(planes, 1u);
        EXPECT_GT(ofKind(s, Sprite::Kind::fountain).size(), 0u);
        EXPECT_GT(ofKind(s, Sprite::Kind::glide).size(), 20u);
        EXPECT_LE(ofKind(s, Sprite::Kind::bird).size(), night ? 0u : 2u);
        EXPECT_EQ(ofKind(s, Sprite::Kind::cloud).size(), night ? 0u : 3u);
        EXPECT_EQ(ofKind(s, Sprite::Kind::star).empty(), !night);
        const auto windows = ofKind(s, Sprite::Kind::window);
        EXPECT_LE(windows.size(), 14u);
        EXPECT_EQ(windows.empty(), !night);
        if (night) {
            const auto& panes = scene->placed.at("city-night-23");
            for (std::size_t i = 0; i < panes.size(); ++i)
                for (std::size_t j = 0; j < i; ++j)
                    EXPECT_GE(std::hypot(panes[i].x - panes[j].x, panes[i].y - panes[j].y), 70);
        }
        // Pavement walkers try the line on across the next block first.
        bool across = false;
        for (const Sprite* sp : ofKind(s, Sprite::Kind::trip))
            across = across || (sp->path.size() == 2 && pathLength(sp->path) > 250);
        EXPECT_TRUE(across || night);
    }
}

TEST(CityScene, PlazaUnderAnIconHasNoFountain) {
    // The first plaza of a 1440 × 900 desk, then the same desk with an icon on its fountain.
    for (int64_t r = 0; r <= 5; ++r)
        for (int64_t c = 0; c <= 8; ++c) {
            if (Art::City::block(c, r) != Art::City::Block::plaza) continue;
            const cg::Point m{160.0 * c + 88, 140.0 * r + 78};
            auto fountains = [&](std::vector<cg::Point> icons) {
                const auto scene = Renderer::render(citySpec(1440, 900, 1, false, std::move(icons)), {});
                int n = 0;
                for (const Sprite* sp : ofKind(scene->sprites, Sprite::Kind::fountain)) n += sp->at == cg::Point{m.x, 900 - m.y};
                return n;
            };
            EXPECT_EQ(fountains({}), 1);
            EXPECT_EQ(fountains({m}), 0);
            return;
        }
    FAIL() << "the desk has no plaza to test";
}

TEST(CityScene, AMovedIconGivesTheSameSceneAtOneAndAllThreads) {
    // The placements remembered from the first render and the moved icon take every placing path; the
    // sprites, made while the pictures are drawn, must keep their order.
    for (const bool night : {false, true}) {
        const SceneSpec a = SelfTest::sampleDesktop(SceneKind::city, night);
        SceneSpec b = a;
        b.icons.back().x += 300;
        const auto A = Renderer::render(a, {});
        ASSERT_TRUE(A);
        std::vector<RenderedScene> made;
        for (const int threads : {1, 0}) {
            const dispatch::ThreadCountScope scope(threads);
            auto B = Renderer::render(b, A->placed);
            ASSERT_TRUE(B);
            made.push_back(std::move(*B));
        }
        EXPECT_EQ(arttest::pixels(*made[0].image), arttest::pixels(*made[1].image)) << night;
        EXPECT_EQ(made[0].placed, made[1].placed) << night;
        ASSERT_EQ(made[0].sprites.size(), made[1].sprites.size()) << night;
        for (std::size_t i = 0; i < made[0].sprites.size(); ++i)
            EXPECT_EQ(made[0].sprites[i].identity(), made[1].sprites[i].identity()) << night << " " << i;
    }
}

TEST(CityScene, AtNightFarSpritesAndPixelsStayWhenAnIconMoves) {
    const SceneSpec a = SelfTest::sampleDesktop(SceneKind::city, true);
    SceneSpec b = a;
    const cg::Point from = b.icons.back(), to{from.x + 300, from.y};
    b.icons.back() = to;
    const auto A = Renderer::render(a, {});
    const auto B = Renderer::render(b, A->placed);
    ASSERT_TRUE(A && B);
    const double H = a.size.height;
    auto far = [&](cg::Point q) { return std::hypot(q.x - from.x, q.y - from.y) > 380 && std::hypot(q.x - to.x, q.y - to.y) > 380; };
    std::set<std::string> after;
    for (const Sprite& sp : B->sprites) after.insert(sp.identity());
    std::size_t farCount = 0, kept = 0;
    for (const Sprite& sp : A->sprites) {
        bool away = far({sp.at.x, H - sp.at.y});
        for (const cg::Point& q : sp.path) away = away && far({q.x, H - q.y});
        if (!away) continue;
        ++farCount;
        kept += after.count(sp.identity());
    }
    EXPECT_GT(farCount, 50u);
    EXPECT_GE(kept * 20, farCount * 19);
    std::size_t compared = 0, changed = 0;
    for (int y = 0; y < 1112; y += 2)
        for (int x = 0; x < 1710; x += 2) {
            if (!far({static_cast<double>(x), static_cast<double>(y)})) continue;
            ++compared;
            changed += A->image->pixel(2 * x, 2 * y) != B->image->pixel(2 * x, 2 * y);
        }
    EXPECT_LT(changed * 1000, compared);
}

TEST(CityScene, EveryThreadCountGivesTheOneThreadScene) {
    // The scene's jobs wait on one another's placements and picture sets. With fewer threads than jobs,
    // as many, or more, every job must find what it waits for made, the lamps must be lit where the
    // people's pass put them, and the sprites must keep their order.
    const std::vector<cg::Point> icons = {{60, 60}, {60, 160}, {700, 420}, {1380, 840}};
    for (const bool night : {false, true}) {
        const SceneSpec spec = citySpec(1440, 900, 1, night, icons);
        std::optional<RenderedScene> one;
        {
            const dispatch::ThreadCountScope scope(1);
            one = Renderer::render(spec, {});
        }
        ASSERT_TRUE(one);
        for (const int threads : {2, 3, 4, 5, 0}) {
            const dispatch::ThreadCountScope scope(threads);
            const auto many = Renderer::render(spec, {});
            ASSERT_TRUE(many);
            const std::string label = std::string(night ? "night, " : "day, ") + std::to_string(threads) + " threads";
            EXPECT_EQ(arttest::pixels(*one->image), arttest::pixels(*many->image)) << label;
            EXPECT_EQ(one->placed, many->placed) << label;
            ASSERT_EQ(one->sprites.size(), many->sprites.size()) << label;
            for (std::size_t i = 0; i < one->sprites.size(); ++i)
                EXPECT_EQ(one->sprites[i].identity(), many->sprites[i].identity()) << label << " sprite " << i;
        }
    }
}
