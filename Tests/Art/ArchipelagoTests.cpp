#include <gtest/gtest.h>

#include "SelfTest/SelfTest.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "Art/Archipelago.h"
#include "Art/Art.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Pipeline/Render.h"
#include "Renderer/TerrainLayout.h"

namespace {

constexpr double kPi = std::numbers::pi;

// The self-test's sample desktop, at one pixel per point.
SceneSpec desktop(bool night, cg::Size size = {1710, 1112}) {
    SceneSpec s = SelfTest::sampleDesktop(SceneKind::archipelago, night);
    s.size = size;
    s.scale = 1;
    return s;
}

SceneSpec open(cg::Size size, bool night = false, double scale = 1) {
    SceneSpec s;
    s.size = size;
    s.scale = scale;
    s.kind = SceneKind::archipelago;
    s.night = night;
    return s;
}

struct Painter {
    std::unique_ptr<cg::Context> bitmap;
    std::unique_ptr<Art> art;
    Art* operator->() const { return art.get(); }
};

// A painter over the scene's own terrain, drawing into a bitmap of one pixel per point.
Painter painter(const SceneSpec& s, PlacementMap before = {}) {
    Look look(s.kind, s.night, static_cast<float>(s.size.height));
    auto keep = Renderer::keepRects(s);
    Terrain t = Renderer::terrain(s, look, keep);
    Painter p;
    p.bitmap = cg::Context::makeBitmap(static_cast<int>(s.size.width), static_cast<int>(s.size.height), 1);
    p.art = std::make_unique<Art>(p.bitmap.get(), s, std::move(t), keep, std::move(look), std::move(before));
    return p;
}

// A painter over a made-up terrain: height and solid body from `height` at every grid point.
Painter shaped(const SceneSpec& s, const std::function<float(double, double)>& height) {
    const int64_t cols = Terrain::columnsFor(s.size.width), rows = Terrain::rowsFor(s.size.height);
    auto v = std::make_shared<Grid>(cols, rows, 0.0f);
    for (int64_t j = 0; j < rows; ++j)
        for (int64_t i = 0; i < cols; ++i) v->at(i, j) = height(4.0 * i, 4.0 * j);
    Terrain t;
    t.v = v;
    t.body = v;
    t.shade = std::make_shared<Grid>(cols, rows, 0.0f);
    t.depth = std::make_shared<Grid>(cols, rows, 0.0f);
    t.tex = std::make_shared<Grid>(cols, rows, 0.0f);
    Look look(s.kind, s.night, static_cast<float>(s.size.height));
    Painter p;
    p.bitmap = cg::Context::makeBitmap(static_cast<int>(s.size.width), static_cast<int>(s.size.height), 1);
    p.art = std::make_unique<Art>(p.bitmap.get(), s, std::move(t), Renderer::keepRects(s), std::move(look),
                                  PlacementMap{});
    return p;
}

const std::vector<cg::Point>& at(const Art& art, uint64_t salt) {
    static const std::vector<cg::Point> none;
    const auto it = art.placed.find(art.key(salt));
    return it == art.placed.end() ? none : it->second;
}

std::size_t count(const std::vector<Sprite>& sprites, Sprite::Kind kind) {
    return static_cast<std::size_t>(
        std::count_if(sprites.begin(), sprites.end(), [kind](const Sprite& sp) { return sp.kind == kind; }));
}

double swell(cg::Point p, uint64_t seed) {
    const double c = static_cast<double>(seed % 628) / 100;
    const double d = static_cast<double>((seed / 628) % 628) / 100;
    return 0.6 * std::sin(p.x / 150 + c) * std::sin(p.y / 110 + d) +
           0.4 * std::sin((0.8 * p.x + 0.6 * p.y) / 90 + c - d);
}

double distance(cg::Point a, cg::Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// The ape's patrol of a painted scene, rebuilt from its placements: none when no ape was placed.
std::vector<cg::Point> patrolOf(Art& art) {
    Art::Archipelago isles(art);
    isles.huts = at(art, 3);
    for (uint64_t salt : {707u, 708u, 709u}) {
        const auto& found = at(art, salt);
        if (found.empty()) continue;
        const auto r = isles.room(found[0]);
        return isles.beat(found[0], r ? *r : 0);
    }
    return {};
}

}  // namespace

// --- Routes and paths ---

TEST(ArchipelagoPaths, WanderingRoutesHaveFixedLengthsAndStepsAndDependOnlyOnTheStart) {
    auto p = painter(open({800, 500}));
    Art::Archipelago isles(*p.art);
    const cg::Point start{321.5, 144.25};
    struct Case {
        std::vector<cg::Point> route, again;
        std::size_t points;
        double step;
    };
    const Case cases[] = {{isles.cruise(start), isles.cruise(start), 7, 90},
                          {isles.race(start), isles.race(start), 8, 80},
                          {isles.downwind(start), isles.downwind(start), 6, 55}};
    for (const Case& c : cases) {
        ASSERT_EQ(c.route.size(), c.points);
        EXPECT_EQ(c.route, c.again);
        EXPECT_EQ(c.route.front(), start);
        for (std::size_t i = 1; i < c.route.size(); ++i)
            EXPECT_NEAR(distance(c.route[i - 1], c.route[i]), c.step, 1e-9);
    }
    // The squall sets out on its fixed heading, give or take the first turn.
    const auto wind = isles.downwind(start);
    const double heading = std::atan2(wind[1].y - start.y, wind[1].x - start.x);
    EXPECT_NEAR(heading, 0.64 + (Art::rand(start, 151) - 0.5) * 0.24, 1e-12);
}

TEST(ArchipelagoPaths, ContourPathsHaveTheirLengthsAndStartAtThePoint) {
    auto p = painter(desktop(false));
    Art::Archipelago isles(*p.art);
    for (cg::Point q : {cg::Point{300, 200}, cg::Point{640, 870}, cg::Point{1200, 500}}) {
        const auto loop = isles.circuit(q, 0.12, 6);
        ASSERT_EQ(loop.size(), 12u);
        EXPECT_EQ(loop.front(), q);
        const auto line = isles.glide(q, 0.12, 8);
        ASSERT_EQ(line.size(), 9u);
        EXPECT_EQ(line.front(), q);
        EXPECT_EQ(isles.circuit(q, 0.10, 12).size(), 24u);
    }
}

TEST(ArchipelagoPaths, OnFlatTerrainContourPathsStayOnThePoint) {
    auto p = shaped(open({400, 300}), [](double, double) { return 0.12f; });
    Art::Archipelago isles(*p.art);
    const cg::Point q{150, 90};
    for (const cg::Point& r : isles.circuit(q, 0.2, 6)) EXPECT_EQ(r, q);
    for (const cg::Point& r : isles.glide(q, 0.05, 8)) EXPECT_EQ(r, q);
}

TEST(ArchipelagoPaths, ContourStepsRunAcrossTheSlopeAndArePulledBackToTheLevel) {
    // Height grows to the east: the contour runs north–south.
    auto p = shaped(open({600, 400}), [](double x, double) { return static_cast<float>(0.001 * x); });
    Art::Archipelago isles(*p.art);
    for (cg::Point q : {cg::Point{120, 200}, cg::Point{120.0625, 180.5}}) {
        const double s = Art::rand(q, 1) < 0.5 ? 1 : -1;
        const auto line = isles.glide(q, 0.12, 3);
        for (std::size_t i = 1; i < line.size(); ++i) {
            EXPECT_NEAR(line[i].y - line[i - 1].y, 20 * s, 1e-3);
            EXPECT_NEAR(line[i].x, 120, 0.1);
        }
    }
    // Off the level the pull moves toward it, at most 6 points a step.
    const auto low = isles.glide({100, 200}, 0.12, 1);  // 0.02 below: pull 3 uphill (east)
    EXPECT_NEAR(low[1].x, 103, 1e-3);
    const auto far = isles.glide({50, 200}, 0.12, 1);  // pull clamped
    EXPECT_NEAR(far[1].x, 56, 1e-3);
    const auto high = isles.glide({200, 200}, 0.12, 1);
    EXPECT_NEAR(high[1].x, 194, 1e-3);
    // The loop goes out along the higher level and back along the lower one.
    const auto loop = isles.circuit({120, 200}, 0.12, 4);
    ASSERT_EQ(loop.size(), 8u);
    const double s = Art::rand({120, 200}, 1) < 0.5 ? 1 : -1;
    EXPECT_NEAR(loop[1].y - loop[0].y, 20 * s, 1e-3);
    EXPECT_GT(loop[1].x, 120);
    EXPECT_NEAR(loop[5].y - loop[4].y, -20 * s, 1e-3);
}

TEST(ArchipelagoPaths, BeatAndRoomOnAPlateau) {
    // A plateau of 130 × 250 points west of x = 600, land enough for the longest patrol.
    auto p = shaped(open({800, 500}), [](double x, double y) {
        return x > 150 && x < 640 && y > 120 && y < 420 ? 0.6f : 0.0f;
    });
    Art::Archipelago isles(*p.art);
    const cg::Point q{300, 300};
    EXPECT_EQ(isles.beat(q, 0), std::vector<cg::Point>{q});
    EXPECT_EQ(isles.beat(q, -5), std::vector<cg::Point>{q});
    const auto path = isles.beat(q, 130);
    EXPECT_EQ(path.front(), q);
    EXPECT_NEAR(distance(path.front(), path.back()), 130, 1e-9);
    const double a = (Art::rand(q, 1) - 0.5) * 0.5;
    EXPECT_NEAR(path.back().x, q.x + 130 * std::cos(a), 1e-9);
    EXPECT_NEAR(path.back().y, q.y + 130 * std::sin(a), 1e-9);
    for (std::size_t i = 1; i < path.size(); ++i) EXPECT_LT(distance(path[i - 1], path[i]), 2.6);
    ASSERT_TRUE(isles.room(q).has_value());
    EXPECT_EQ(*isles.room(q), 130);
    // Close to the plateau's east edge only a shorter patrol fits.
    const auto shorter = isles.room({540, 300});
    ASSERT_TRUE(shorter.has_value());
    EXPECT_LT(*shorter, 130);
    EXPECT_GE(*shorter, 40);
    // Water: no room at all.
    EXPECT_FALSE(isles.room({700, 300}).has_value());
    // A hut in the ape's way takes it away.
    isles.huts = {{320, 320}};
    EXPECT_FALSE(isles.room(q).has_value());
    isles.huts = {{320, 150}};  // far enough above
    EXPECT_TRUE(isles.room(q).has_value());
}

TEST(ArchipelagoPaths, RoomIsZeroWhereOnlyTheBarePointFits) {
    // A round islet of radius 32: the ape can stand in its middle but not walk 40 points.
    const cg::Point c{400, 300};
    auto p = shaped(open({800, 500}), [c](double x, double y) {
        return std::hypot(x - c.x, y - c.y) <= 32 ? 0.6f : 0.0f;
    });
    Art::Archipelago isles(*p.art);
    ASSERT_TRUE(isles.room(c).has_value());
    EXPECT_EQ(*isles.room(c), 0);
    EXPECT_FALSE(isles.room({400, 360}).has_value());
    // The same islet under an icon's keep rectangle has no room.
    SceneSpec covered = open({800, 500});
    covered.icons = {{400, 260}};
    covered.iconSize = 48;
    covered.textSize = 10;
    auto q = shaped(covered, [c](double x, double y) { return std::hypot(x - c.x, y - c.y) <= 32 ? 0.6f : 0.0f; });
    Art::Archipelago under(*q.art);
    EXPECT_FALSE(under.room(c).has_value());
}

TEST(ArchipelagoPaths, KongPassesGivesTheExtentNearX) {
    auto p = painter(open({400, 300}));
    Art::Archipelago isles(*p.art);
    EXPECT_FALSE(isles.kongPasses(100).has_value());
    isles.patrol = {{100, 50}, {110, 62}, {130, 40}, {200, 70}};
    const auto near = isles.kongPasses(105);
    ASSERT_TRUE(near.has_value());
    EXPECT_EQ(near->lo, 40);
    EXPECT_EQ(near->hi, 62);
    EXPECT_FALSE(isles.kongPasses(236).has_value());  // exactly 36 away is not near
    const auto edge = isles.kongPasses(235.5);
    ASSERT_TRUE(edge.has_value());
    EXPECT_EQ(edge->lo, 70);
    EXPECT_EQ(edge->hi, 70);
}

TEST(ArchipelagoPaths, OpenSeaSeenFromTheLighthouse) {
    // Land right east of the lamp, farther out to the north (up the screen), none west or south.
    const cg::Point lamp{400, 300};
    auto p = shaped(open({800, 600}), [](double x, double y) {
        const bool east = x >= 410 && x <= 424 && std::fabs(y - 300) < 10;
        const bool north = y >= 190 && y <= 210 && std::fabs(x - 400) < 10;
        return east || north ? 1.0f : 0.0f;
    });
    Art::Archipelago isles(*p.art);
    isles.lighthouse = lamp;
    EXPECT_EQ(isles.open(0), 0.08);
    EXPECT_EQ(isles.open(kPi / 2), 0.5);  // 100 points up: y decreases in the scene
    EXPECT_EQ(isles.open(kPi), 1);
    EXPECT_EQ(isles.open(-kPi / 2), 1);
}

TEST(ArchipelagoPaths, SurfaceFramesAreTakenModuloTheFramesThatExist) {
    auto p = painter(open({200, 100}));
    std::vector<cg::ImageRef> frames;
    for (int i = 0; i < 4; ++i) frames.push_back(p->offscreen(2 + i, 2, [] {}));
    EXPECT_EQ(Art::Archipelago::frameFor(frames, 0.8), frames[3]);
    EXPECT_EQ(Art::Archipelago::frameFor(frames, 0.3), frames[1]);
    const std::vector<cg::ImageRef> three(frames.begin(), frames.begin() + 3);
    EXPECT_EQ(Art::Archipelago::frameFor(three, 0.8), three[0]);  // number 3 of three frames
    EXPECT_EQ(Art::Archipelago::frameFor(three, 0.6), three[2]);
    EXPECT_EQ(Art::Archipelago::frameFor({}, 0.5), nullptr);
}

TEST(ArchipelagoPaths, SquallAndBeamImagesAreDrawnInsideTheirCanvases) {
    auto p = painter(open({200, 100}));
    Art::Archipelago isles(*p.art);
    const auto squall = p->offscreen(330, 250, [&] { isles.squall(); });
    const auto again = p->offscreen(330, 250, [&] { isles.squall(); });
    ASSERT_TRUE(squall && again);
    EXPECT_EQ(std::vector<uint32_t>(squall->data(), squall->data() + 330 * 250),
              std::vector<uint32_t>(again->data(), again->data() + 330 * 250));
    EXPECT_NE(squall->pixel(150, 250 - 140) >> 24, 0u);  // the rain centre is covered
    EXPECT_EQ(squall->pixel(2, 2), 0u);                   // the corners are clear
    const auto beam = p->offscreen(220, 60, [&] { isles.beam(); });
    ASSERT_TRUE(beam);
    const uint32_t lamp = beam->pixel(60, 30) >> 24, out = beam->pixel(200, 30) >> 24;
    EXPECT_GT(lamp, out);                         // brightest at the lamp, fading outward
    EXPECT_EQ(beam->pixel(20, 2) >> 24, 0u);      // outside every cone
    EXPECT_NE(beam->pixel(150, 30 - 10) >> 24, 0u);  // inside the widest cone only
}

// --- The painter ---

TEST(Archipelago, SameRequestAndPlacementsGiveTheSamePictureAndSprites) {
    for (bool night : {false, true}) {
        const SceneSpec s = desktop(night);
        const auto first = Renderer::render(s, {});
        ASSERT_TRUE(first.has_value());
        const auto a = Renderer::render(s, first->placed);
        const auto b = Renderer::render(s, first->placed);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->sprites.size(), b->sprites.size());
        ASSERT_EQ(a->sprites.size(), first->sprites.size());
        for (std::size_t i = 0; i < a->sprites.size(); ++i) {
            EXPECT_EQ(a->sprites[i].identity(), b->sprites[i].identity());
            EXPECT_EQ(a->sprites[i].identity(), first->sprites[i].identity());
        }
        EXPECT_EQ(a->placed, b->placed);
        const auto px = [](const cg::Image& img) {
            return std::vector<uint32_t>(img.data(), img.data() + std::size_t(img.pixelWidth()) * img.pixelHeight());
        };
        EXPECT_TRUE(px(*a->image) == px(*b->image));
        EXPECT_TRUE(px(*a->image) == px(*first->image));
    }
}

TEST(Archipelago, NightHasNoCreaturesBirdsOrCloudsAndBoatsIgnoreTheWhale) {
    auto p = painter(desktop(true));
    p->archipelago();
    const auto& sprites = p->sprites;
    EXPECT_EQ(count(sprites, Sprite::Kind::trip), 0u);
    EXPECT_EQ(count(sprites, Sprite::Kind::bird), 0u);
    EXPECT_EQ(count(sprites, Sprite::Kind::cloud), 0u);
    for (const Sprite& sp : sprites) EXPECT_FALSE(sp.kind == Sprite::Kind::light && sp.pulse == 0.95);
    for (uint64_t salt : {11u, 12u, 303u, 304u, 305u, 306u, 404u, 31000005u, 8u})
        EXPECT_EQ(p->placed.count(p->key(salt)), 0u) << salt;
    EXPECT_GT(count(sprites, Sprite::Kind::firefly), 0u);
    EXPECT_EQ(count(sprites, Sprite::Kind::beam), 2u);

    // Boats: only their box and the water under the hull decide.
    auto fresh = painter(desktop(true));
    const auto expected = fresh->spots(5, 800, 200, 4, [&](cg::Point q) {
        for (const cg::Rect& r : fresh->keep)
            if (cg::Rect(q.x - 65, q.y - 26, 130, 34).intersects(r)) return false;
        for (int i = 0; i < 16; ++i) {
            const double e = (q.x - 62) + 8 * i;
            if (!(fresh->solid({e, q.y}) < 0.04f) || !(fresh->solid({e, q.y - 18}) < 0.04f)) return false;
        }
        return true;
    });
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(at(*p.art, 5), expected);
    EXPECT_EQ(count(sprites, Sprite::Kind::boat), expected.size());
    for (const Sprite& sp : sprites)
        if (sp.kind == Sprite::Kind::boat) {
            EXPECT_EQ(sp.color, 0xB8C4DAu);
        }
}

TEST(Archipelago, WithoutLandThereAreNoLandPropsButSeaLifeAndBoats) {
    // Shallows around three banks that never reach the shore level.
    const auto banks = [](double x, double y) {
        float v = 0;
        for (cg::Point c : {cg::Point{300, 300}, cg::Point{900, 250}, cg::Point{700, 650}}) {
            const double d = std::hypot(x - c.x, y - c.y);
            v = std::max(v, static_cast<float>(0.22 * std::exp(-d * d / (2 * 110.0 * 110.0))));
        }
        return v;
    };
    for (bool night : {false, true}) {
        auto p = shaped(open({1200, 800}, night), banks);
        p->archipelago();
        for (uint64_t salt : {3u, 4u, 606u, 707u, 708u, 709u}) EXPECT_TRUE(at(*p.art, salt).empty()) << salt;
        EXPECT_EQ(count(p->sprites, Sprite::Kind::act), 0u);
        EXPECT_EQ(count(p->sprites, Sprite::Kind::sway), 0u);
        EXPECT_EQ(count(p->sprites, Sprite::Kind::beam), 0u);
        EXPECT_GT(count(p->sprites, Sprite::Kind::boat), 0u);
        EXPECT_GT(count(p->sprites, Sprite::Kind::wave), 0u);
        EXPECT_FALSE(at(*p.art, 2).empty());  // rocks on the banks
        if (night) {
            EXPECT_TRUE(at(*p.art, 6).empty());
            EXPECT_TRUE(at(*p.art, 9).empty());
        } else {
            EXPECT_FALSE(at(*p.art, 11).empty());
            EXPECT_GT(count(p->sprites, Sprite::Kind::trip), 2u);
            EXPECT_EQ(count(p->sprites, Sprite::Kind::bird), at(*p.art, 8).size());
        }
    }
}

TEST(Archipelago, TreesKeepClearOfHutsAndOfTheApesStrip) {
    int near = 0;
    for (cg::Size size : {cg::Size{1710, 1112}, cg::Size{1440, 900}, cg::Size{1280, 800}, cg::Size{1920, 1080},
                          cg::Size{2560, 1440}}) {
        for (bool night : {false, true}) {
            auto p = painter(desktop(night, size));
            p->archipelago();
            const auto& huts = at(*p.art, 3);
            const auto& trees = at(*p.art, 4);
            ASSERT_GT(trees.size(), 50u);
            for (const cg::Point& t : trees)
                for (const cg::Point& h : huts) EXPECT_GE(distance(t, h), 24);

            Art::Archipelago isles(*p.art);
            isles.patrol = patrolOf(*p.art);
            EXPECT_EQ(count(p->sprites, Sprite::Kind::act), isles.patrol.empty() ? 0u : 1u);
            for (const cg::Point& t : trees) {
                const auto strip = isles.kongPasses(t.x);
                if (!strip) continue;
                ++near;
                const double below = Art::rand(t, 0) < 0.72 ? 2 : 16;
                EXPECT_FALSE(t.y > strip->lo - 3 && t.y < strip->hi + below) << t.x << " " << t.y;
            }
        }
    }
    EXPECT_GT(near, 20);
}

TEST(Archipelago, BoatsKeepOutOfTheWhalesWay) {
    for (cg::Size size : {cg::Size{1710, 1112}, cg::Size{1440, 900}, cg::Size{1920, 1080}, cg::Size{2560, 1440}}) {
        auto p = painter(desktop(false, size));
        p->archipelago();
        const auto& whale = at(*p.art, 11);
        if (whale.empty()) continue;
        Art::Archipelago isles(*p.art);
        const auto route = isles.cruise(whale[0]);
        for (const cg::Point& b : at(*p.art, 5))
            for (std::size_t i = 0; i + 1 < route.size(); ++i)
                for (int k = 0; k < 6; ++k) {
                    const double f = k / 6.0;
                    const cg::Point q{route[i].x + (route[i + 1].x - route[i].x) * f,
                                      route[i].y + (route[i + 1].y - route[i].y) * f};
                    EXPECT_GT(distance(q, {b.x, b.y - 5}), 90);
                }
    }
}

TEST(Archipelago, PalmsBelowTheApeAreDrawnAfterItAndEverythingBackToFront) {
    // Layouts whose ape has palms standing just below its path.
    int checked = 0;
    for (cg::Size size : {cg::Size{1710, 1112}, cg::Size{1440, 900}, cg::Size{1280, 800}, cg::Size{1920, 1080}}) {
        auto p = painter(desktop(false, size));
        p->archipelago();
        Art::Archipelago isles(*p.art);
        isles.patrol = patrolOf(*p.art);
        if (isles.patrol.empty()) continue;
        std::vector<cg::Point> front;
        for (const cg::Point& t : at(*p.art, 4)) {
            if (!(Art::rand(t, 0) < 0.72)) continue;
            const auto strip = isles.kongPasses(t.x);
            if (strip && t.y >= strip->hi + 2) front.push_back(t);
        }
        std::stable_sort(front.begin(), front.end(), [](cg::Point a, cg::Point b) { return a.y < b.y; });

        const auto& sprites = p->sprites;
        const auto ape = std::find_if(sprites.begin(), sprites.end(),
                                      [](const Sprite& sp) { return sp.kind == Sprite::Kind::act; });
        ASSERT_NE(ape, sprites.end());
        std::vector<cg::Point> behind, after;
        for (auto it = sprites.begin(); it != sprites.end(); ++it)
            if (it->kind == Sprite::Kind::sway)
                (it < ape ? behind : after).push_back({it->at.x, size.height - it->at.y});
        ASSERT_EQ(after.size(), front.size());
        for (std::size_t i = 0; i < front.size(); ++i) {
            EXPECT_NEAR(after[i].x, front[i].x, 1e-9);
            EXPECT_NEAR(after[i].y, front[i].y, 1e-9);
        }
        for (std::size_t i = 1; i < behind.size(); ++i) EXPECT_LE(behind[i - 1].y, behind[i].y + 1e-9);
        if (!front.empty()) ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(Archipelago, WhitecapsRideTheSeedsSwellAndThinOutAtNight) {
    auto day = painter(desktop(false));
    day->archipelago();
    auto night = painter(desktop(true));
    night->archipelago();
    const uint64_t seed = day->s.seed();
    const auto& caps = at(*day.art, 1);
    const auto& dark = at(*night.art, 1);
    ASSERT_FALSE(caps.empty());
    ASSERT_FALSE(dark.empty());
    EXPECT_LT(dark.size(), caps.size());
    int low = 0;
    for (const cg::Point& q : caps) {
        EXPECT_GT(swell(q, seed), 0.2);
        if (swell(q, seed) <= 0.35) ++low;
    }
    EXPECT_GT(low, 0);
    for (const cg::Point& q : dark) EXPECT_GT(swell(q, seed), 0.35);
    // Another screen size reseeds the swell: these crests would not all stand there.
    const uint64_t other = desktop(false, {1440, 900}).seed();
    ASSERT_NE(other, seed);
    int off = 0;
    for (const cg::Point& q : caps) off += swell(q, other) <= 0.2;
    EXPECT_GT(off, 0);
    EXPECT_EQ(count(day->sprites, Sprite::Kind::wave), caps.size());
}

TEST(Archipelago, GlitterLiesUnderTheSunMeasuredByTheHeightOnWideScreens) {
    auto p = painter(open({2400, 600}));
    p->archipelago();
    const auto& glints = at(*p.art, 31000005);
    ASSERT_GT(glints.size(), 10u);
    for (const cg::Point& q : glints) {
        const double e = std::hypot((q.x - 0.46 * 600) / (0.3 * 600), (q.y - 0.32 * 600) / (0.17 * 600));
        EXPECT_LT(e, 1);
        EXPECT_LT(q.x, 0.76 * 600);
    }
}

TEST(Archipelago, WhenFrameBitmapsFailSurfSpritesAreLeftOutAndCreaturesKeepEmptyFrames) {
    // At this scale no frame bitmap can be made.
    SceneSpec s = desktop(false);
    s.scale = 5000;
    auto p = painter(s);
    p->archipelago();
    EXPECT_FALSE(at(*p.art, 1).empty());
    EXPECT_FALSE(at(*p.art, 7).empty());
    EXPECT_EQ(count(p->sprites, Sprite::Kind::wave), 0u);
    EXPECT_EQ(count(p->sprites, Sprite::Kind::surf), 0u);
    EXPECT_EQ(count(p->sprites, Sprite::Kind::sway), 0u);
    ASSERT_GT(count(p->sprites, Sprite::Kind::trip), 0u);
    for (const Sprite& sp : p->sprites)
        if (sp.kind == Sprite::Kind::trip) {
            EXPECT_TRUE(sp.frames.empty() && sp.shade.empty());
        }
}

TEST(Archipelago, SpritesStandInDrawingSpace) {
    const SceneSpec s = desktop(false);
    auto p = painter(s);
    p->archipelago();
    for (const Sprite& sp : p->sprites) {
        if (sp.kind != Sprite::Kind::boat) continue;
        // The boat's loop hangs below its spot in the scene, so above it in drawing space.
        ASSERT_EQ(sp.path.size(), 6u);
        EXPECT_EQ(sp.path[0].y, sp.at.y);
        EXPECT_NEAR(sp.path[3].y, sp.at.y + 10, 1e-9);
        EXPECT_TRUE(sp.closed);
    }
    bool whale = false;
    for (const Sprite& sp : p->sprites) {
        if (sp.kind != Sprite::Kind::trip || sp.blow == 0) continue;
        ASSERT_EQ(sp.path.size(), 7u);
        EXPECT_EQ(sp.at, sp.path.front());
        if (sp.blow == 19) {
            const cg::Point start = at(*p.art, 11).at(0);
            EXPECT_EQ(sp.at, (cg::Point{start.x, s.size.height - start.y}));
            whale = true;
        }
    }
    EXPECT_TRUE(whale);
}

TEST(Archipelago, MovingAnIconKeepsFarBoatsAndCreatures) {
    const SceneSpec a = desktop(false);
    SceneSpec b = a;
    b.icons.back() = {720, 760};
    const auto first = Renderer::render(a, {});
    ASSERT_TRUE(first.has_value());
    const auto second = Renderer::render(b, first->placed);
    ASSERT_TRUE(second.has_value());
    std::vector<std::string> after;
    for (const Sprite& sp : second->sprites) after.push_back(sp.identity());
    int far = 0;
    for (const Sprite& sp : first->sprites) {
        if (sp.kind != Sprite::Kind::boat && sp.kind != Sprite::Kind::trip) continue;
        bool away = true;
        for (const cg::Point& q : sp.path) {
            const cg::Point scene{q.x, a.size.height - q.y};
            away = away && distance(scene, {420, 760}) > 420 && distance(scene, {720, 760}) > 420;
        }
        if (!away) continue;
        ++far;
        EXPECT_NE(std::find(after.begin(), after.end(), sp.identity()), after.end()) << Sprite::kindName(sp.kind);
    }
    EXPECT_GT(far, 3);
}
