// The canyon: its props, routes, the jeep's run and whole renders by day and by night.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "Art/Canyon.h"
#include "Art/Geometry2D.h"
#include "ArtTestSupport.h"
#include "Pipeline/Render.h"
#include "SelfTest/SelfTest.h"

namespace {

SceneSpec canyonSpec(double w, double h, std::vector<cg::Point> icons, bool night) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = 1;
    s.icons = std::move(icons);
    s.iconSize = 64;
    s.textSize = 12;
    s.kind = SceneKind::canyon;
    s.night = night;
    return s;
}

arttest::Painter desk(const SceneSpec& s) { return arttest::painterFor(s); }

std::vector<SceneSpec> desks(bool night) {
    SceneSpec sample = SelfTest::sampleDesktop(SceneKind::canyon, night);
    sample.scale = 1;
    return {sample, canyonSpec(900, 600, {{150, 130}, {430, 170}}, night), canyonSpec(2400, 1400, {}, night)};
}

double distance(cg::Point a, cg::Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

std::vector<const Sprite*> trips(const std::vector<Sprite>& sprites, double size) {
    std::vector<const Sprite*> out;
    for (const Sprite& sp : sprites)
        if (sp.kind == Sprite::Kind::trip && sp.size == size) out.push_back(&sp);
    return out;
}

}  // namespace

// --- Props ---

TEST(CanyonProps, BouldersShareAnOutlineExactlyWhenTheirSeedsAgree) {
    // |31x + 17y| is 2600 at p and at the first two others, 2631 at the third.
    struct Case {
        cg::Point other;
        bool same;
    };
    const cg::Point p{40, 80};
    for (const Case& c : {Case{{57, 49}, true}, Case{{-40, -80}, true}, Case{{41, 80}, false}}) {
        auto a = arttest::painter(60, 60, 2, SceneKind::canyon);
        auto b = arttest::painter(60, 60, 2, SceneKind::canyon);
        // Each boulder drawn at the middle of its own bitmap.
        a->ctx->translateBy(30 - p.x, 30 - p.y);
        Art::Canyon(*a.art).boulder(p);
        b->ctx->translateBy(30 - c.other.x, 30 - c.other.y);
        Art::Canyon(*b.art).boulder(c.other);
        const auto pa = arttest::pixels(*a.bitmap->makeImage()), pb = arttest::pixels(*b.bitmap->makeImage());
        EXPECT_EQ(pa == pb, c.same) << c.other.x;
    }
}

TEST(CanyonProps, EveryPropAndCreatureLeavesTheGraphicsStateAsItFoundIt) {
    auto p = arttest::painter(120, 120, 2, SceneKind::canyon, true);
    Art::Canyon c(*p.art);
    cg::Context& g = *p->ctx;
    g.translateBy(10, 10);
    g.setAlpha(0.7);
    g.setLineWidth(3);
    g.setFillColor(cg::Color::rgb(0x123456));
    const std::vector<std::function<void()>> draws = {
        [&] { c.boulder({20, 20}); },       [&] { c.cactus({20, 20}, true); },  [&] { c.cactus({20, 20}, false); },
        [&] { c.campTent({20, 20}, 0xD9873F, 0x7A3E22); }, [&] { c.coyote(1); }, [&] { c.jeep(); },
        [&] { c.roadrunner(std::nullopt); }, [&] { c.roadrunner(-1.0); },       [&] { c.dustDevil(); },
        [&] { c.balloon({0x2F6FB5}); },     [&] { c.headlights(); },            [&] { c.tumbleweed(); },
        [&] { c.dustTrail(); },             [&] { c.flashGlow(); }};
    for (std::size_t i = 0; i < draws.size(); ++i) {
        draws[i]();
        EXPECT_EQ(g.ctm(), cg::Transform::scale(2, 2).translatedBy(10, 10)) << i;
        EXPECT_EQ(g.alpha(), 0.7) << i;
        EXPECT_EQ(g.lineWidth(), 3) << i;
        EXPECT_EQ(g.fillColor(), cg::Color::rgb(0x123456)) << i;
        EXPECT_EQ(g.blendMode(), cg::BlendMode::normal) << i;
    }
}

TEST(CanyonProps, TheDustTrailStartsAtItsAnchorAndStreamsDownSun) {
    auto p = arttest::painter(320, 240, 1, SceneKind::canyon);
    Art::Canyon c(*p.art);
    const cg::ImageRef trail = p->offscreen(64, 52, 1, [&] { c.dustTrail(); });
    ASSERT_TRUE(trail);
    // Image rows run from the top; the anchor (4, 48) counts from the bottom.
    // Points off the picture are clear.
    auto alphaAt = [&](double x, double yUp) -> uint32_t {
        if (!(x >= 0 && x < 64 && yUp >= 0 && yUp < 52)) return 0;
        return trail->data()[static_cast<std::size_t>(52 - 1 - static_cast<int>(yUp)) * 64 + static_cast<std::size_t>(x)] >> 24;
    };
    const double len = std::hypot(p->look.shadow.x, p->look.shadow.y);
    const double dx = p->look.shadow.x / len, dy = -p->look.shadow.y / len;
    EXPECT_GT(alphaAt(4, 48), 0u);
    EXPECT_GT(alphaAt(4 + 40 * dx, 48 + 40 * dy), 0u);
    EXPECT_EQ(alphaAt(4 - 3 * dx + 20 * dy, 48 - 3 * dy - 20 * dx), 0u);  // well off to the side
}

// --- Routes ---

TEST(CanyonRoutes, TumbleweedsRollSixPointsEastwardWithinTheirBounce) {
    for (const cg::Point p : {cg::Point{0, 0}, cg::Point{120.5, 300.25}, cg::Point{1500, 7}}) {
        const auto path = Art::Canyon::tumbleweedPath(p);
        ASSERT_EQ(path.size(), 6u);
        for (std::size_t k = 0; k < 6; ++k) {
            EXPECT_DOUBLE_EQ(path[k].x, p.x + 46.0 * static_cast<double>(k));
            EXPECT_LE(std::fabs(path[k].y - (p.y - 6)), 3.0);
        }
    }
}

TEST(CanyonRoutes, BalloonsTrimTheirCourseToOnePointBeyondTheScreen) {
    auto p = arttest::painter(900, 600, 1, SceneKind::canyon);
    Art::Canyon c(*p.art);
    auto inside = [](cg::Point q) { return -60 < q.x && q.x < 960 && -60 < q.y && q.y < 660; };
    for (const cg::Point start : {cg::Point{450, 300}, cg::Point{1800, 1300}, cg::Point{10, 590}, cg::Point{5000, 5000}}) {
        const auto course = Art::Canyon::driftCourse(start);
        ASSERT_EQ(course.size(), 51u);
        const auto drift = c.balloonDrift(start);
        const auto firstIn = std::find_if(course.begin(), course.end(), inside);
        if (firstIn == course.end()) {
            EXPECT_TRUE(drift.empty());
            continue;
        }
        ASSERT_FALSE(drift.empty());
        // A contiguous piece of the course that holds every inside point and one more at either end.
        const auto at = std::find(course.begin(), course.end(), drift.front());
        ASSERT_NE(at, course.end());
        const std::size_t a = static_cast<std::size_t>(at - course.begin()), b = a + drift.size() - 1;
        ASSERT_LT(b, course.size());
        for (std::size_t i = 0; i < course.size(); ++i) {
            if (i >= a && i <= b) EXPECT_EQ(drift[i - a], course[i]);
            else EXPECT_FALSE(inside(course[i])) << i;
        }
        EXPECT_TRUE(a == 0 || (!inside(course[a]) && inside(course[a + 1])));
        EXPECT_TRUE(b == 50 || (!inside(course[b]) && inside(course[b - 1])));
    }
    // Courses whose shifted start lies above and left of the screen turn alike.
    const auto one = Art::Canyon::driftCourse({100, 200}), two = Art::Canyon::driftCourse({1000, 800});
    for (std::size_t i = 0; i < one.size(); ++i) {
        EXPECT_NEAR(two[i].x - one[i].x, 900, 1e-9);
        EXPECT_NEAR(two[i].y - one[i].y, 600, 1e-9);
    }
}

// --- The jeep ---

TEST(CanyonJeep, NoJeepForARunOf300PointsOrLessAndOutAndBackOtherwise) {
    auto p = arttest::painter(1440, 900, 1, SceneKind::canyon, true);
    Art::Canyon c(*p.art);
    struct Case {
        Art::Canyon::JeepRun run;
        std::size_t stops;  // 0: no jeep
    };
    for (const Case& k : {Case{{-60, 240, 1}, 0}, Case{{1500, 1200, -1}, 0}, Case{{-60, 240.5, 1}, 12},
                          Case{{-60, 270, 1}, 13}, Case{{1500, 700, -1}, 28}}) {
        const auto path = c.jeepPath(k.run);
        if (k.stops == 0) {
            EXPECT_TRUE(path.empty());
            continue;
        }
        const double S = k.run.start, E = k.run.end, d = k.run.dir;
        const std::size_t turn = path.size() - 2 * k.stops;
        ASSERT_TRUE(turn == 1 || turn == 3) << path.size();
        EXPECT_EQ(path.front(), (cg::Point{S, c.washY(S) + 4 * d}));
        EXPECT_EQ(path[k.stops - 1], (cg::Point{E, c.washY(E) + 4 * d}));
        EXPECT_EQ(path[k.stops + turn], (cg::Point{E, c.washY(E) - 4 * d}));
        EXPECT_EQ(path.back(), (cg::Point{S, c.washY(S) - 4 * d}));
        if (turn == 1) {
            EXPECT_EQ(path[k.stops], (cg::Point{E + 8 * d, c.washY(E + 8 * d)}));
        }
    }
}

TEST(CanyonJeep, IconsOnTheWashNearBothEdgesLeaveNoJeepAtNight) {
    auto probe = desk(canyonSpec(1440, 900, {}, true));
    const Art::Canyon bare(*probe.art);
    const auto scene = Renderer::render(
        canyonSpec(1440, 900, {{220, bare.washY(220)}, {1220, bare.washY(1220)}}, true), {});
    ASSERT_TRUE(scene);
    EXPECT_TRUE(trips(scene->sprites, 30).empty());
    EXPECT_TRUE(trips(scene->sprites, 300).empty());
}

TEST(CanyonJeep, TakesTheLongerRunAndDrivesItUpToTheBlock) {
    // Blocked on the left by an icon on the wash: the jeep comes in from the right.
    auto probe = desk(canyonSpec(1440, 900, {}, true));
    const double x = 220;
    auto d = desk(canyonSpec(1440, 900, {{x, Art::Canyon(*probe.art).washY(x)}}, true));
    d->canyon();
    const Art::Canyon c(*d.art);
    const Art::Canyon::JeepRun run = c.jeepRun();
    EXPECT_EQ(run.dir, -1);
    EXPECT_EQ(run.start, 1500);
    // The last sample passed the road test and the next one failed it.
    const double last = run.end + 25 * run.dir;
    EXPECT_TRUE(c.road(last));
    EXPECT_FALSE(c.road(last + 10 * run.dir));
    const auto path = c.jeepPath(run);
    ASSERT_FALSE(path.empty());
    const auto jeeps = trips(d->sprites, 30);
    ASSERT_EQ(jeeps.size(), 1u);
    ASSERT_EQ(jeeps[0]->path.size(), path.size());
    for (std::size_t i = 0; i < path.size(); ++i) EXPECT_EQ(jeeps[0]->path[i], (cg::Point{path[i].x, 900 - path[i].y}));
}

// --- Whole renders ---

TEST(CanyonScene, CactiKeepClearOfBouldersBushesTheWashAndTheIcons) {
    for (bool night : {false, true})
        for (const SceneSpec& spec : desks(night)) {
            auto d = desk(spec);
            d->canyon();
            const Art::Canyon c(*d.art);
            const std::string k = d->style() + "-";
            const auto& cacti = d->placed.at(k + "2");
            EXPECT_FALSE(cacti.empty());
            for (const cg::Point& p : cacti) {
                for (const cg::Point& b : d->placed.at(k + "1")) EXPECT_GE(distance(p, b), 16);
                for (const cg::Point& s : d->placed.at(k + "8")) EXPECT_GE(distance(p, s), 10);
                for (const cg::Point& t : d->placed.at(k + "1000014")) EXPECT_GE(distance(p, t), 10);
                EXPECT_GT(c.bank(p), 4);
                EXPECT_TRUE(c.clear({p.x - 8, p.y - 24, 16, 27}));
                EXPECT_TRUE(c.openFloor(p));
            }
        }
}

TEST(CanyonScene, FireSitesOnlyAtNightAtMostFourAnd220Apart) {
    for (const SceneSpec& spec : desks(false)) {
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        EXPECT_EQ(scene->placed.count("canyon-day-4"), 0u);
        EXPECT_EQ(scene->placed.count("canyon-day-6"), 1u);
    }
    for (const SceneSpec& spec : desks(true)) {
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const auto& fires = scene->placed.at("canyon-night-4");
        EXPECT_LE(fires.size(), 4u);
        for (std::size_t i = 0; i < fires.size(); ++i)
            for (std::size_t j = i + 1; j < fires.size(); ++j) EXPECT_GE(distance(fires[i], fires[j]), 220);
    }
}

TEST(CanyonScene, DayEndsWithThreeCloudsAndAtMostTwoBalloonsInTheirBounds) {
    for (const SceneSpec& spec : desks(false)) {
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const auto& sprites = scene->sprites;
        const auto firstCloud = std::find_if(sprites.begin(), sprites.end(),
                                             [](const Sprite& sp) { return sp.kind == Sprite::Kind::cloud; });
        ASSERT_GE(sprites.end() - firstCloud, 3);
        const std::size_t balloons = static_cast<std::size_t>(sprites.end() - firstCloud) - 3;
        EXPECT_LE(balloons, 2u);
        for (auto it = firstCloud; it != firstCloud + 3; ++it) EXPECT_EQ(it->kind, Sprite::Kind::cloud);
        const double W = spec.size.width, H = spec.size.height;
        for (auto it = firstCloud + 3; it != sprites.end(); ++it) {
            ASSERT_EQ(it->size, 76);
            EXPECT_GE(it->path.size(), 4u);
            EXPECT_EQ(it->at, it->path.front());
            // Only the first and last points may lie beyond the screen's 60-point margin.
            for (std::size_t i = 1; i + 1 < it->path.size(); ++i) {
                const cg::Point q = it->path[i];
                EXPECT_TRUE(-60 < q.x && q.x < W + 60 && -60 < q.y && q.y < H + 60) << i;
            }
        }
        for (const Sprite* weed : trips(sprites, 16)) {
            EXPECT_EQ(weed->spin, -460.0 / 13);
            EXPECT_EQ(weed->hop, 5);
            EXPECT_FALSE(weed->face);
            EXPECT_EQ(weed->path.size(), 6u);
        }
    }
}

TEST(CanyonScene, NightCoyotesShareARouteAndTheFlashesGlowBeyondOneEdge) {
    for (const SceneSpec& spec : desks(true)) {
        const auto scene = Renderer::render(spec, {});
        ASSERT_TRUE(scene);
        const auto& sprites = scene->sprites;
        ASSERT_GE(sprites.size(), 2u);
        const Sprite& a = sprites[sprites.size() - 2];
        const Sprite& b = sprites.back();
        ASSERT_EQ(a.kind, Sprite::Kind::blast);
        ASSERT_EQ(b.kind, Sprite::Kind::blast);
        const double W = spec.size.width, H = spec.size.height;
        // Flipped into drawing space: 300 points beyond the same edge, 0.18 of that edge apart.
        auto edge = [W, H](cg::Point q) { return q.x == -300 ? 0 : q.y == H + 300 ? 1 : q.x == W + 300 ? 2 : q.y == -300 ? 3 : -1; };
        EXPECT_NE(edge(a.at), -1);
        EXPECT_EQ(edge(a.at), edge(b.at));
        const bool across = edge(a.at) % 2 == 0;
        EXPECT_NEAR(across ? a.at.y - b.at.y : b.at.x - a.at.x, across ? 0.18 * H : 0.18 * W, 1e-6);

        const auto coyotes = trips(sprites, 21);
        ASSERT_TRUE(coyotes.empty() || coyotes.size() == 2);
        if (coyotes.size() == 2) {
            EXPECT_EQ(coyotes[0]->path, coyotes[1]->path);
            EXPECT_NEAR(coyotes[0]->phase - coyotes[1]->phase, 0.02, 1e-12);
            for (const cg::Point& q : rounded(coyotes[0]->path, true, 6))
                for (const cg::Point& f : scene->placed.at("canyon-night-4"))
                    EXPECT_GE(distance(q, {f.x, H - f.y}), 50);
        }
    }
}
