// The pond: its waterline rule, paths, pad clusters, koi groups and shimmer curve, the props' determinism,
// the lantern's lights, and whole renders by day and night.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Art/Geometry2D.h"
#include "Art/Pond.h"
#include "ArtTestSupport.h"
#include "PoseSupport.h"
#include "Pipeline/Render.h"
#include "SelfTest/SelfTest.h"

namespace {

constexpr float kShore = 0.235f;  // the pond palette's shore level

// A pond painter over a made-up terrain, with the keep rectangles given.
arttest::Painter shaped(double w, double h, const std::function<float(double, double)>& height,
                        std::vector<cg::Rect> keep = {}) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = 1;
    s.kind = SceneKind::pond;
    const int64_t cols = Terrain::columnsFor(w), rows = Terrain::rowsFor(h);
    auto v = std::make_shared<Grid>(cols, rows, 0.0f);
    for (int64_t j = 0; j < rows; ++j)
        for (int64_t i = 0; i < cols; ++i) v->at(i, j) = height(4.0 * i, 4.0 * j);
    Terrain t{v, v, v, v, v};
    arttest::Painter p;
    p.bitmap = cg::Context::makeBitmap(static_cast<int>(w), static_cast<int>(h), 1);
    p.art = std::make_unique<Art>(p.bitmap.get(), s, std::move(t), std::move(keep),
                                  Look(SceneKind::pond, false, static_cast<float>(h)), PlacementMap{});
    return p;
}

arttest::Painter pondPainter(double w, double h, bool night = false) {
    return arttest::painter(w, h, 1, SceneKind::pond, night);
}

}  // namespace

TEST(Pond, ShoreLevelIsTheFirstLandBand) {
    auto p = pondPainter(320, 240);
    EXPECT_EQ(Art::Pond(*p.art).e, kShore);
}

TEST(Pond, WaterlineCellNeedsCornersOnBothSidesAndCountsTheLevelAsLand) {
    const float e = kShore;
    struct Case {
        float a, b, c, d;
        bool waterline;
    } cases[] = {
        {0.1f, 0.2f, 0.2f, 0.23f, false},  // all under water
        {0.3f, e, 0.24f, 0.5f, false},     // all land, one corner exactly at the level
        {e, e, e, e, false},
        {0.1f, 0.1f, 0.1f, e, true},       // a corner at the level is land
        {0.5f, 0.2f, 0.5f, 0.5f, true},
    };
    for (const Case& k : cases) EXPECT_EQ(Art::Pond::waterline(k.a, k.b, k.c, k.d, e), k.waterline) << k.a << " " << k.d;
}

TEST(Pond, ShoreStonesSitOnTheWaterlineClearOfIconsLowestLast) {
    SceneSpec s = SelfTest::sampleDesktop(SceneKind::pond, false);
    s.scale = 1;
    Look look(s.kind, false, static_cast<float>(s.size.height));
    auto keep = Renderer::keepRects(s);
    Art art(nullptr, s, Renderer::terrain(s, look, keep), keep, look, {});
    const Art::Pond pond(art);
    const auto stones = pond.shoreStones();
    ASSERT_GT(stones.size(), 50u);
    for (std::size_t i = 0; i < stones.size(); ++i) {
        const auto [c, r] = stones[i];
        if (i > 0) {
            EXPECT_LE(stones[i - 1].first.y, c.y);
        }
        EXPECT_GE(r, 2);
        EXPECT_LT(r, 8.2);
        // The box reaches r + 2 below the centre.
        EXPECT_TRUE(pond.clear(cg::Rect(c.x - r - 1, c.y - r - 1, 2 * r + 2, 2 * r + 3)));
        const int64_t col = static_cast<int64_t>(c.x / 4), row = static_cast<int64_t>(c.y / 4);
        const Grid& v = *art.t.v;
        EXPECT_TRUE(Art::Pond::waterline(v.at(col, row), v.at(col + 1, row), v.at(col, row + 1),
                                         v.at(col + 1, row + 1), pond.e));
    }
}

TEST(Pond, OnlyTheFirstAndFourthPadOfAClusterFlower) {
    // Open water everywhere: every candidate that keeps its distance is accepted.
    auto p = shaped(900, 700, [](double, double) { return 0.05f; });
    const Art::Pond pond(*p.art);
    std::map<std::size_t, int> flowers, pads;
    for (double x = 120; x < 800; x += 37)
        for (double y = 120; y < 600; y += 41) {
            const auto cluster = pond.cluster({x, y});
            for (std::size_t j = 0; j < cluster.size(); ++j) {
                ++pads[j];
                if (cluster[j].bloom > 0) {
                    ++flowers[j];
                    EXPECT_GE(cluster[j].bloom, 7.5);
                    EXPECT_LT(cluster[j].bloom, 10);
                }
            }
        }
    EXPECT_EQ(flowers.size(), 2u);
    EXPECT_NEAR(static_cast<double>(flowers[0]) / pads[0], 0.6, 0.1);
    EXPECT_NEAR(static_cast<double>(flowers[3]) / pads[3], 0.35, 0.1);
}

TEST(Pond, KoiGroupsShareRouteTravelBeatAndTrailByBodyLengths) {
    std::map<double, double> lengthOfSize;
    for (const Art::Fish& f : Art::Pond::kKoi) lengthOfSize[Art::fishCanvas(f).width] = f.length;
    ASSERT_EQ(lengthOfSize.size(), 8u) << "a koi is told by its frame size";

    // On a small screen the route is short, and a follower can fall a whole lap behind.
    for (double side : {360.0, 1710.0}) {
        auto p = pondPainter(side, 0.65 * side);
        const Art::Pond pond(*p.art);
        std::set<std::size_t> sizes;
        bool negative = false;
        for (int i = 0; i < 300; ++i) {
            const cg::Point at{0.3 * side + i * 1.37, 0.2 * side + i * 0.71};
            const auto group = pond.koiGroup(at, {});
            ASSERT_GE(group.size(), 1u);
            ASSERT_LE(group.size(), 3u);
            sizes.insert(group.size());
            std::vector<cg::Point> route;
            for (const cg::Point& q : group[0].path) route.push_back(p->flip(q));
            const double L = pathLength(rounded(route, true, 2));
            for (std::size_t j = 0; j < group.size(); ++j) {
                const Sprite& fish = group[j];
                EXPECT_EQ(fish.path, group[0].path);
                EXPECT_EQ(fish.at, fish.path.front());
                EXPECT_EQ(fish.travel, group[0].travel);
                EXPECT_EQ(fish.beat, group[0].beat);
                EXPECT_TRUE(fish.closed && fish.face);
                EXPECT_GT(fish.phase, -1);
                EXPECT_LT(fish.phase, 1);
                negative = negative || fish.phase < 0;
                if (j == 0) continue;
                // Behind the fish ahead by 1.6 of its lengths, modulo whole laps.
                const double gap = group[j - 1].phase - fish.phase - 1.6 * lengthOfSize.at(group[j - 1].size) / L;
                EXPECT_NEAR(gap - std::round(gap), 0, 1e-9);
            }
        }
        EXPECT_EQ(sizes.size(), 3u);
        EXPECT_EQ(negative, side < 1000) << "followers keep a negative phase only where routes are short";
    }
}

TEST(Pond, SteppingPathStopsAtItsFirstFailingPoint) {
    // A bank rising to the right, so the path heads along +x.
    auto bank = [](double x, double) { return kShore - 0.02f + 0.002f * static_cast<float>(x / 4); };
    // A start whose path is long enough to be cut twice.
    cg::Point start{60, 100};
    auto plain = shaped(400, 300, bank);
    while (Art::Pond(*plain.art).steps(start).size() < 6 && start.y < 200) start.y += 1;
    const auto free = Art::Pond(*plain.art).steps(start);
    ASSERT_GE(free.size(), 6u);

    struct Case {
        const char* what;
        std::function<float(double, double)> height;
        std::vector<cg::Rect> keep;
    } cases[] = {
        {"a thin icon across the third slab", bank, {cg::Rect(free[2].x - 1, 0, 2, 300)}},
        {"a ditch under the fourth slab",
         [&](double x, double y) { return std::abs(x - free[3].x) < 6 ? 0.1f : bank(x, y); },
         {}},
    };
    for (const Case& c : cases) {
        auto p = shaped(400, 300, c.height, c.keep);
        const auto path = Art::Pond(*p.art).steps(start);
        ASSERT_LT(path.size(), free.size()) << c.what;
        ASSERT_GE(path.size(), 2u) << c.what;
        for (std::size_t i = 0; i < path.size(); ++i) EXPECT_EQ(path[i], free[i]) << c.what;
    }
    // A start already at the waterline gives no slab at all.
    EXPECT_TRUE(Art::Pond(*shaped(400, 300, bank).art).steps({4, 150}).empty());
}

TEST(Pond, ShimmerCurveGrowsFromTheDeepAndFadesBeforeTheShore) {
    const float e = kShore;
    struct Case {
        float v, want;
    } cases[] = {{0, 0}, {0.05f, 0}, {e - 0.04f, 0}, {e, 0}, {0.6f, 0}, {0.13f, 1}, {0.14f, 1}, {e - 0.08f, 1}};
    for (const Case& c : cases) EXPECT_NEAR(Art::Pond::shimmerCurve(c.v, e), c.want, 1e-6) << c.v;
    for (float v : {0.07f, 0.1f, e - 0.06f}) {
        EXPECT_GT(Art::Pond::shimmerCurve(v, e), 0) << v;
        EXPECT_LT(Art::Pond::shimmerCurve(v, e), 1) << v;
    }
}

TEST(Pond, PropsDependOnlyOnTheirVariationValue) {
    using Draw = std::function<void(Art::Pond&, double k)>;
    const std::vector<uint32_t> crownColors{0xb25e84, 0xd888a8, 0xf4bace, 0xffe2ec};
    const std::pair<const char*, Draw> props[] = {
        {"stone", [](Art::Pond& p, double k) { p.stone({60, 60}, 9, k); }},
        {"slab", [](Art::Pond& p, double k) { p.slab({60, 60}, 6, k); }},
        {"gravel", [](Art::Pond& p, double k) { p.gravel({60, 60}, 44, k); }},
        {"crown", [&](Art::Pond& p, double k) { p.crown({60, 60}, 26, crownColors, k); }},
        {"pad", [](Art::Pond& p, double k) { p.lilyPadDraw(60, k, 14, 9); }},
    };
    for (const auto& [name, draw] : props) {
        auto picture = [&](double k) {
            auto p = pondPainter(120, 120);
            Art::Pond pond(*p.art);
            draw(pond, k);
            return arttest::pixels(*p.bitmap->makeImage());
        };
        EXPECT_EQ(picture(0.3141), picture(0.3141)) << name;
        EXPECT_NE(picture(0.3141), picture(0.7321)) << name;
    }
}

TEST(Pond, LanternLightsOnlyAtNightAppendedBeforeItsBody) {
    for (bool night : {false, true}) {
        auto p = pondPainter(120, 120, night);
        Art::Pond pond(*p.art);
        const cg::Point at{60, 40};
        pond.lantern(at);
        // The window's centre, 1.4 × (0, 9.1) above the foot.
        const uint32_t window = p.bitmap->pixel(60, 120 - 1 - static_cast<int>(40 + 12.74)) & 0xFFFFFF;
        if (!night) {
            EXPECT_TRUE(p->sprites.empty());
            EXPECT_EQ(window, 0x2a2824u);
            continue;
        }
        EXPECT_EQ(window, 0xffc66au);
        ASSERT_EQ(p->sprites.size(), 2u);
        const Sprite& flame = p->sprites[0];
        const Sprite& glow = p->sprites[1];
        EXPECT_EQ(flame.kind, Sprite::Kind::light);
        EXPECT_EQ(flame.at, (cg::Point{60, 40 + 12.739999999999998}));
        EXPECT_EQ(flame.size, 0.9);
        EXPECT_FALSE(flame.glow);
        EXPECT_EQ(glow.kind, Sprite::Kind::light);
        EXPECT_EQ(glow.at, (cg::Point{60, 43}));
        EXPECT_EQ(glow.size, 68);
        EXPECT_TRUE(glow.glow && glow.image);
        EXPECT_EQ(flame.phase, Art::rand(at, 0));
        EXPECT_EQ(glow.phase, flame.phase);

        // A painter handed that glow (as every band's is) lights its lanterns with it.
        const cg::ImageRef made = glow.image;
        Art::Pond band(*p.art);
        band.useGlow(made);
        band.lantern({30, 30});
        ASSERT_EQ(p->sprites.size(), 4u);
        EXPECT_EQ(p->sprites.back().image, made);
    }
}

TEST(Pond, ShimmerSpritesAreTheWholeShimmerReturned) {
    for (bool night : {false, true}) {
        SceneSpec s = SelfTest::sampleDesktop(SceneKind::pond, night);
        s.scale = 1;
        auto whole = arttest::painterFor(s);
        auto split = arttest::painterFor(s);
        const float e = Art::Pond(*whole.art).e;
        const auto depth = [e](float v) { return Art::Pond::shimmerCurve(v, e); };
        const int64_t limit = night ? 3 : 5;
        const float strength = night ? 0.3f : 0.24f;
        const Art::ShimmerTint tint = night ? Art::ShimmerTint{120, 165, 235} : Art::ShimmerTint{200, 245, 255};
        whole->shimmer(limit, 7700001, strength, tint, depth);

        const std::vector<Sprite> sprites = split->shimmerSprites(limit, 7700001, strength, tint, depth);
        EXPECT_TRUE(split->sprites.empty());
        EXPECT_EQ(split->placed, whole->placed);
        ASSERT_GE(sprites.size(), 2u) << night;
        ASSERT_EQ(sprites.size(), whole->sprites.size());
        for (std::size_t i = 0; i < sprites.size(); ++i) {
            EXPECT_EQ(sprites[i].identity(), whole->sprites[i].identity()) << night << " " << i;
            ASSERT_TRUE(sprites[i].image && whole->sprites[i].image);
            EXPECT_TRUE(posetest::samePixels(*sprites[i].image, *whole->sprites[i].image)) << night << " " << i;
        }
    }
}

TEST(Pond, RiseFramesFadeAndEndEmpty) {
    auto p = pondPainter(120, 120);
    const auto frames = Art::Pond(*p.art).rises(24, 9);
    ASSERT_EQ(frames.size(), 24u);
    auto ink = [](const cg::Image& img) {
        int n = 0;
        const std::size_t size = static_cast<std::size_t>(img.pixelWidth()) * static_cast<std::size_t>(img.pixelHeight());
        for (std::size_t i = 0; i < size; ++i) n += (img.data()[i] >> 24) ? 1 : 0;
        return n;
    };
    EXPECT_GT(ink(*frames[0]), 0);
    EXPECT_GT(ink(*frames[8]), 0);
    for (std::size_t i = 9; i < frames.size(); ++i) EXPECT_EQ(ink(*frames[i]), 0) << i;
}

TEST(Pond, RendersItsCreaturesByDayAndNight) {
    for (bool night : {false, true}) {
        const auto scene = Renderer::render(SelfTest::sampleDesktop(SceneKind::pond, night), {});
        ASSERT_TRUE(scene.has_value());
        std::map<std::string, int> n;
        for (const Sprite& sp : scene->sprites) {
            if (sp.kind == Sprite::Kind::cloud) ++n["cloud"];
            if (sp.kind == Sprite::Kind::firefly) ++n["firefly"];
            if (sp.kind == Sprite::Kind::sway) ++n["pad"];
            if (sp.kind == Sprite::Kind::light) ++n[sp.glow ? "glow" : "flame"];
            if (sp.kind != Sprite::Kind::trip) continue;
            if (sp.glow) {
                ++n["shimmer"];
            } else if (sp.pulse == 0.85) {
                ++n["dragonfly"];
                EXPECT_EQ(sp.frames.size(), 32u);
            } else if (sp.pulse == 0.18) {
                ++n["koi"];
                EXPECT_EQ(sp.frames.size(), 10u);
            }
        }
        EXPECT_GT(n["koi"], 0);
        EXPECT_GT(n["pad"], 0);
        EXPECT_EQ(n["cloud"], night ? 0 : 3);
        EXPECT_EQ(n["dragonfly"] > 0, !night);
        EXPECT_EQ(n["firefly"] > 0, night);
        EXPECT_EQ(n["flame"], n["glow"]);
        EXPECT_EQ(n["flame"] > 0, night);
        EXPECT_LE(n["shimmer"], night ? 3 : 5);
    }
}

TEST(Pond, FarSpritesStayWhenAnIconMovesAtNight) {
    SceneSpec a = SelfTest::sampleDesktop(SceneKind::pond, true);
    SceneSpec b = a;
    const cg::Point from = b.icons.back(), to{720, 760};
    b.icons.back() = to;
    const auto A = Renderer::render(a, {});
    ASSERT_TRUE(A.has_value());
    const auto B = Renderer::render(b, A->placed);
    ASSERT_TRUE(B.has_value());
    std::set<std::string> after;
    for (const Sprite& sp : B->sprites) after.insert(sp.identity());
    int far = 0, kept = 0;
    for (const Sprite& sp : A->sprites) {
        const cg::Point q{sp.at.x, a.size.height - sp.at.y};
        if (std::hypot(q.x - from.x, q.y - from.y) < 500 || std::hypot(q.x - to.x, q.y - to.y) < 500) continue;
        ++far;
        kept += after.count(sp.identity()) ? 1 : 0;
    }
    EXPECT_GT(far, 20);
    EXPECT_EQ(kept, far);
}
