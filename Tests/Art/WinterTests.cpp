// The winter scene: its props, paths and placement rules, the steps that must cope with missing pictures,
// and whole renders by day and by night. A sheet of its figures is written to $VM_TEST_OUT/winter-sheet.png.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>

#include "Art/Winter.h"
#include "ArtTestSupport.h"
#include "Pipeline/Render.h"

namespace {

arttest::Painter winterPainter(bool night = false, double w = 640, double h = 400, double scale = 1) {
    return arttest::painter(w, h, scale, SceneKind::winter, night);
}

SceneSpec winterSpec(bool night) {
    SceneSpec s;
    s.size = {900, 600};
    s.scale = 1;
    s.icons = {{150, 130}, {150, 218}, {600, 170}, {700, 420}};
    s.iconSize = 64;
    s.textSize = 12;
    s.kind = SceneKind::winter;
    s.night = night;
    return s;
}

// The first integer point of the scene that passes `ok`.
std::optional<cg::Point> find(double w, double h, const std::function<bool(cg::Point)>& ok) {
    for (double y = 8; y < h; y += 3)
        for (double x = 8; x < w; x += 3)
            if (ok({x, y})) return cg::Point{x, y};
    return std::nullopt;
}

cg::ImageRef dummyFrame() { return cg::Image::fromARGB32(2, 2, std::vector<uint32_t>(4, 0xFF808080u)); }

}  // namespace

// --- Props ---

TEST(WinterProps, ShorelineGivesStepsPlusOnePointsExactlyAStepApart) {
    auto p = winterPainter();
    Art::Winter winter(*p.art);
    struct Case {
        cg::Point at;
        int64_t steps;
        double step;
    };
    for (const Case& c : {Case{{320, 200}, 9, 7}, Case{{100, 40}, 12, 10}, Case{{600, 380}, 5, 8}, Case{{5, 5}, 0, 3}}) {
        const auto line = winter.shoreline(c.at, c.steps, c.step);
        ASSERT_EQ(line.size(), static_cast<std::size_t>(c.steps) + 1);
        EXPECT_EQ(line.front(), c.at);
        for (std::size_t i = 1; i < line.size(); ++i)
            EXPECT_NEAR(std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y), c.step, 1e-9);
    }
}

TEST(WinterProps, ShorelineFollowsTheHeightOfItsStart) {
    auto p = winterPainter();
    Art::Winter winter(*p.art);
    Art& art = *p.art;
    const auto start = find(640, 400, [&](cg::Point q) { return art.value(q) > 0.11f && art.value(q) < 0.135f; });
    ASSERT_TRUE(start);
    const float v0 = art.value(*start);
    for (const cg::Point& q : winter.shoreline(*start, 12, 4)) EXPECT_NEAR(art.value(q), v0, 0.02f);
}

TEST(WinterProps, EqualKGivesAnEqualFloeWhereverItIsDrawn) {
    for (const double k : {0.0, 0.37, 0.999}) {
        auto p = winterPainter(false, 100, 40);
        Art::Winter(*p.art).floe({20, 20}, 12, k);
        Art::Winter(*p.art).floe({70, 20}, 12, k);
        int inked = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 45; ++x) {
                // Positions differ in their last bits, so edge coverage may round one step apart.
                const auto a = cgtest::at(*p.bitmap, x, y), b = cgtest::at(*p.bitmap, x + 50, y);
                ASSERT_LE(std::abs(a.a - b.a) + std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b), 2) << k;
                inked += a.a > 0;
            }
        EXPECT_GT(inked, 200);
    }
}

TEST(WinterProps, CabinSpritesByDayAndByNight) {
    for (const bool night : {false, true}) {
        auto p = winterPainter(night);
        const auto smoke = Art::Winter(*p.art).puff(0xF2F5F8, 0.6);
        ASSERT_TRUE(smoke);
        Art::Winter(*p.art).cabin({100, 100}, smoke);
        const auto& sp = p->sprites;
        ASSERT_EQ(sp.size(), night ? 5u : 3u);
        const std::size_t first = night ? 2 : 0;
        if (night) {
            EXPECT_EQ(sp[0].kind, Sprite::Kind::light);
            EXPECT_FALSE(sp[0].glow) << "the window light comes first";
            EXPECT_EQ(sp[1].kind, Sprite::Kind::light);
            EXPECT_TRUE(sp[1].glow);
            EXPECT_EQ(sp[1].size, 40);
        }
        for (std::size_t k = first; k < sp.size(); ++k) {
            EXPECT_EQ(sp[k].kind, Sprite::Kind::trip);
            EXPECT_EQ(sp[k].image, smoke);
            EXPECT_FALSE(sp[k].face);
            EXPECT_DOUBLE_EQ(sp[k].phase, static_cast<double>(k - first) / 3);
        }
    }
}

TEST(WinterFrames, SleighShadowHoldsOnlyTheShadowColour) {
    for (const bool night : {false, true}) {
        auto p = winterPainter(night);
        const auto frame = p->offscreen(185, 48, [&] { Art::Winter(*p.art).sleigh(0.3, true); });
        ASSERT_TRUE(frame);
        int inked = 0;
        for (int y = 0; y < frame->pixelHeight(); ++y)
            for (int x = 0; x < frame->pixelWidth(); ++x) {
                const auto px = cgtest::unpack(frame->pixel(x, y));
                if (px.a == 0) continue;
                ++inked;
                ASSERT_LE(px.a, night ? 31 : 57) << "one flat layer at the shadow's alpha";
                ASSERT_EQ(px.r, 0);
                ASSERT_LE(px.b, px.a);
            }
        EXPECT_GT(inked, 500);
    }
}

// --- Paths and rules ---

TEST(WinterPaths, EndsAndSidesOfTheDriftSteamAndFall) {
    for (const cg::Point p : {cg::Point{0, 0}, cg::Point{123.4, 56.7}, cg::Point{900, 20}}) {
        const auto drift = Art::Winter::current(p), rise = Art::Winter::steamPath(p), fall = Art::Winter::fall(p);
        EXPECT_EQ(drift.front(), p);
        EXPECT_EQ(drift.back(), (cg::Point{p.x + 140, p.y + 20}));
        EXPECT_EQ(rise.back(), (cg::Point{p.x + 130, p.y - 25}));
        ASSERT_GE(fall.size(), 3u);
        EXPECT_EQ(fall.front(), p);
        EXPECT_NEAR(fall.back().x, p.x - 30, 1e-9);
        EXPECT_NEAR(fall.back().y, p.y + 150, 1e-9);
        // Inner points alternate sides of the fall line, the first on the negative side.
        for (std::size_t k = 1; k + 1 < fall.size(); ++k) {
            const double side = (-30) * (fall[k].y - p.y) - 150 * (fall[k].x - p.x);
            EXPECT_EQ(side < 0, k % 2 == 1) << k;
        }
    }
}

TEST(WinterPaths, FoxLoopGoesOutAndComesBackBesideTheTrail) {
    std::vector<cg::Point> trail;
    for (int i = 0; i <= 12; ++i) trail.push_back({10.0 * i, 50});
    const auto loop = Art::Winter::foxLoop(trail);
    ASSERT_EQ(loop.size(), 26u);
    for (int i = 0; i <= 12; ++i) {
        EXPECT_EQ(loop[static_cast<std::size_t>(i)], trail[static_cast<std::size_t>(i)]);
        EXPECT_EQ(loop[static_cast<std::size_t>(25 - i)], (cg::Point{10.0 * i, 53})) << i;
    }
}

TEST(WinterPaths, WobbleStaysWithinAThirdOfAPoint) {
    for (const cg::Point p : {cg::Point{10, 10}, cg::Point{400.25, 3}}) {
        const auto loop = Art::Winter::wobble(p);
        ASSERT_EQ(loop.size(), 4u);
        for (const cg::Point& q : loop) EXPECT_NEAR(std::hypot(q.x - p.x, q.y - p.y), 0.3, 1e-12);
    }
}

TEST(WinterRules, SealsNeedAFloeLargerThanEleven) {
    struct Case {
        double size, u;
        bool seal;
    } cases[] = {{11, 0, false}, {std::nextafter(11.0, 12.0), 0.59, true}, {15, 0.6, false}, {6, 0, false}};
    for (const Case& c : cases) EXPECT_EQ(Art::Winter::sealed(c.size, c.u), c.seal) << c.size << " " << c.u;
}

TEST(WinterRules, ChunksSkipAtPointTwoAndGrowTowardTheMiddle) {
    std::vector<cg::Point> ring;
    for (int i = 0; i < 20; ++i) ring.push_back({2.2 * i, 0});
    const auto at = [](double skip) {
        return [skip](uint64_t salt) { return salt >= 600 ? skip : 0.5; };
    };
    EXPECT_TRUE(Art::Winter::chunks(ring, at(0.2)).empty());
    const auto all = Art::Winter::chunks(ring, at(std::nextafter(0.2, 1.0)));
    ASSERT_EQ(all.size(), ring.size());
    EXPECT_EQ(all.front().w, 0.8);
    for (std::size_t m = 1; m < 10; ++m) EXPECT_GT(all[m].w, all[m - 1].w) << m;
}

TEST(WinterRules, PinesAndGlobesKeepTheirDistanceFromCabinsExactBoundsPass) {
    auto p = winterPainter();
    Art::Winter winter(*p.art);
    const auto pine = find(640, 400, [&](cg::Point q) { return winter.pineSpot(q, {}); });
    ASSERT_TRUE(pine);
    EXPECT_TRUE(winter.pineSpot(*pine, {{pine->x + 26, pine->y}}));
    EXPECT_TRUE(winter.pineSpot(*pine, {{pine->x - 10, pine->y + 24}}));
    EXPECT_FALSE(winter.pineSpot(*pine, {{pine->x + 25.999, pine->y}}));

    const auto globe = find(640, 400, [&](cg::Point q) { return winter.globeSpot(q, {}, {}); });
    ASSERT_TRUE(globe);
    EXPECT_TRUE(winter.globeSpot(*globe, {}, {{globe->x, globe->y - 40}}));
    EXPECT_FALSE(winter.globeSpot(*globe, {}, {{globe->x, globe->y - 39.999}}));
    // A pine just above hides the globe; one beside it does not.
    EXPECT_FALSE(winter.globeSpot(*globe, {{globe->x + 15, globe->y - 30}}, {}));
    EXPECT_TRUE(winter.globeSpot(*globe, {{globe->x + 16, globe->y - 30}}, {}));
}

TEST(WinterRules, BackToFrontKeepsCabinsBeforePinesBeforeSnowmenAtEqualY) {
    const auto order = Art::Winter::backToFront({{50, 100}, {0, 20}}, {{10, 100}, {5, 99}}, {{0, 100}});
    const std::vector<std::pair<cg::Point, int>> expected = {
        {{0, 20}, 0}, {{5, 99}, 1}, {{50, 100}, 0}, {{10, 100}, 1}, {{0, 100}, 2}};
    EXPECT_EQ(order, expected);
}

// --- Steps that cope with missing pictures ---

TEST(WinterSteps, AFoxNeedsAllFourFramesItsTrailIsDrawnAnyway) {
    auto full = winterPainter(), short3 = winterPainter();
    // Track points whose fox would trot.
    std::vector<cg::Point> points;
    for (double x = 20; points.size() < 3; x += 7)
        if (Art::rand({x, 150}, 3) < 0.5 && Art::rand({x, 150}, 4) < 0.8) points.push_back({x, 150});
    Art::Winter(*full.art).tracks(points, std::vector<cg::ImageRef>(4, dummyFrame()));
    Art::Winter(*short3.art).tracks(points, std::vector<cg::ImageRef>(3, dummyFrame()));
    ASSERT_EQ(full->sprites.size(), points.size());
    for (const Sprite& sp : full->sprites) {
        EXPECT_EQ(sp.path.size(), 26u);
        EXPECT_TRUE(sp.closed);
        EXPECT_TRUE(sp.face);
    }
    EXPECT_TRUE(short3->sprites.empty());
    const auto a = full.bitmap->makeImage(), b = short3.bitmap->makeImage();
    EXPECT_EQ(arttest::pixels(*a), arttest::pixels(*b));
    EXPECT_NE(arttest::pixels(*a), arttest::pixels(*winterPainter().bitmap->makeImage())) << "the dots are drawn";
}

TEST(WinterSteps, AMissingSteamStripLeavesItsSpritesWithoutAnImage) {
    auto p = winterPainter();
    std::vector<cg::Point> points;
    std::map<int, int> slots;
    for (double x = 3; slots.size() < 3 || points.size() < 12; x += 11) {
        points.push_back({x, 77});
        ++slots[static_cast<int>(3 * Art::rand({x, 77}, 5))];
    }
    const auto strip = dummyFrame();
    Art::Winter(*p.art).steamSprites(points, {strip, nullptr, strip});
    ASSERT_EQ(p->sprites.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const bool middle = static_cast<int>(3 * Art::rand(points[i], 5)) == 1;
        EXPECT_EQ(p->sprites[i].image == nullptr, middle) << i;
    }
}

// --- Whole renders ---

TEST(WinterRender, SpritesKeysAndFaceByDayAndNight) {
    for (const bool night : {false, true}) {
        const auto scene = Renderer::render(winterSpec(night), {});
        ASSERT_TRUE(scene);
        const std::string style = night ? "winter-night-" : "winter-day-";
        for (int salt = 1; salt <= 13; ++salt)
            EXPECT_EQ(scene->placed.count(style + std::to_string(salt)), salt == 12 && night ? 0u : 1u) << salt;

        std::map<std::string, int> count;
        std::size_t lastGlobe = 0;
        for (std::size_t i = 0; i < scene->sprites.size(); ++i) {
            const Sprite& sp = scene->sprites[i];
            std::string what = "other";
            bool face = true;
            if (sp.kind == Sprite::Kind::trip) {
                if (sp.size == 185) what = "sleigh";
                else if (sp.size == 120) what = "steam";
                else if (sp.size == 12) what = "fox";
                else if (sp.size == 24) what = "snowman", face = false;
                else if (sp.size == 30 && sp.frames.size() == 12) what = "globe", face = false, lastGlobe = i;
                else if (sp.size == 30) what = "floe", face = false;
                else if (sp.size == 9) what = "smoke", face = false;
                else what = "flake", face = false;
            } else if (sp.kind == Sprite::Kind::light && sp.size == 0.8) {
                what = "lamp";
                EXPECT_EQ(lastGlobe + 1, i) << "a lamp follows its globe";
            } else if (sp.kind == Sprite::Kind::bird) what = "bird";
            else if (sp.kind == Sprite::Kind::cloud) what = "cloud";
            EXPECT_EQ(sp.face, face) << what;
            ++count[what];
        }
        EXPECT_EQ(count["sleigh"], 1);
        EXPECT_EQ(count["cloud"], 2);
        EXPECT_EQ(count["bird"] > 0, !night);
        EXPECT_GT(count["globe"], 0);
        EXPECT_EQ(count["lamp"], night ? count["globe"] : 0);
        EXPECT_GT(count["flake"], 0);
        EXPECT_GT(count["steam"], 0);
        EXPECT_GT(count["smoke"], 0);
    }
}

TEST(WinterRender, AuroraCurtainsAtNight) {
    const auto scene = Renderer::render(winterSpec(true), {});
    ASSERT_TRUE(scene);
    std::vector<const Sprite*> curtains;
    for (const Sprite& sp : scene->sprites)
        if (sp.kind == Sprite::Kind::cloud) curtains.push_back(&sp);
    ASSERT_EQ(curtains.size(), 2u);
    const double H = 600;
    for (std::size_t i = 0; i < 2; ++i) {
        const Sprite& c = *curtains[i];
        ASSERT_TRUE(c.image);
        EXPECT_EQ(c.image->pixelHeight(), 210);
        EXPECT_EQ(c.image->pixelWidth(), static_cast<int>(std::ceil(c.size)));
        EXPECT_GE(c.at.y, H * (0.125 + 0.5 * static_cast<double>(i)));
        EXPECT_LE(c.at.y, H * (0.375 + 0.5 * static_cast<double>(i)));
    }
    const double gap = curtains[1]->phase - curtains[0]->phase;
    EXPECT_NEAR(gap - std::floor(gap), 0.5, 1e-12);
    EXPECT_EQ(&scene->sprites.back(), curtains[1]) << "the sky comes last";
}

// --- A sheet to look at ---

TEST(WinterSheet, EveryFigureAndTheAuroraByDayAndNight) {
    constexpr double sheetW = 1000, halfH = 330;
    auto sheet = winterPainter(false, sheetW, 2 * halfH, 2);
    sheet.bitmap->setFillColor(cg::Color::rgb(0x9FB4C8));
    sheet.bitmap->fill({0, halfH, sheetW, halfH});
    sheet.bitmap->setFillColor(cg::Color::rgb(0x1A2638));
    sheet.bitmap->fill({0, 0, sheetW, halfH});
    for (const bool night : {false, true}) {
        auto p = winterPainter(night, sheetW, 2 * halfH, 2);
        Art::Winter winter(*p.art);
        cg::Context& c = *sheet.bitmap;
        const double top = night ? halfH : 2 * halfH;
        // One row of frames, each drawn `zoom` times its size.
        auto row = [&](int n, double w, double h, double y, const std::function<void(Art&, double)>& pose,
                       double zoom = 2) {
            const auto frames = p->poseRow(n, w, h, pose);
            EXPECT_EQ(frames.size(), static_cast<std::size_t>(n));
            for (std::size_t i = 0; i < frames.size(); ++i)
                c.draw(frames[i], {10 + static_cast<double>(i) * (zoom * w + 6), top - y - zoom * h, zoom * w, zoom * h});
        };
        const uint32_t coat = night ? 0x7E4A30 : 0xC8642E;
        row(4, 16, 8, 10, [coat](Art& a, double t) { Art::Winter(a).fox(t, coat); });
        row(8, 24, 22, 34, [](Art& a, double t) { Art::Winter(a).snowman({12, 3}, t); });
        row(12, 30, 34, 84, [](Art& a, double t) { Art::Winter(a).snowglobe(t); });
        row(4, 185, 48, 160, [](Art& a, double t) { Art::Winter(a).sleigh(t, false); }, 1);
        row(4, 185, 48, 200, [](Art& a, double t) { Art::Winter(a).sleigh(t, true); }, 1);
        // Props on a strip of their own.
        const auto props = p->offscreen(300, 60, [&] {
            for (int i = 0; i < 4; ++i) {
                winter.floe({20 + 40.0 * i, 30}, 14, 0.25 * i);
                winter.seal({20 + 40.0 * i, 30}, i * 1.6);
            }
            winter.pine({200, 30}, 24);
            winter.cabin({250, 22}, nullptr);
        });
        ASSERT_TRUE(props);
        c.draw(props, {400, top - 70, 300, 60});
        p->sprites.clear();
        winter.aurora();
        ASSERT_EQ(p->sprites.size(), 2u);
        ASSERT_TRUE(p->sprites[0].image);
        c.draw(p->sprites[0].image, {10, top - halfH + 5, 980, 70});
    }
    ASSERT_TRUE(sheet.bitmap->makeImage()->writePNG((cgtest::outDir() / "winter-sheet.png").string()));
}
