#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "Art/Geometry2D.h"
#include "ArtTestSupport.h"

using cg::Point;

TEST(Rounded, ShortListsComeBackUnchanged) {
    EXPECT_TRUE(rounded({}, false, 1).empty());
    EXPECT_EQ(rounded({{3, 4}}, true, 1), (std::vector<Point>{{3, 4}}));
}

TEST(Rounded, TwoPointsGiveAnEvenlySpacedLineWithBothEnds) {
    EXPECT_EQ(rounded({{0, 0}, {10, 0}}, false, 2.5),
              (std::vector<Point>{{0, 0}, {2.5, 0}, {5, 0}, {7.5, 0}, {10, 0}}));
    // `closed` does not matter for two points; a step longer than the line keeps just the ends.
    EXPECT_EQ(rounded({{0, 0}, {10, 0}}, true, 2.5).size(), 5u);
    EXPECT_EQ(rounded({{1, 1}, {2, 2}}, false, 5), (std::vector<Point>{{1, 1}, {2, 2}}));
    // 9.99 / 2.5 truncates to 3 pieces.
    EXPECT_EQ(rounded({{0, 0}, {0, 9.99}}, false, 2.5).size(), 4u);
}

TEST(Rounded, OpenLineKeepsItsEndsAndPassesThroughInnerMidpoints) {
    // Every piece shorter than the step: 2 (first line) + 2 (the curve) + 1 (last line without its start).
    const auto small = rounded({{0, 0}, {1, 0}, {1, 1}}, false, 10);
    ASSERT_EQ(small.size(), 5u);
    EXPECT_EQ(small.front(), (Point{0, 0}));
    EXPECT_EQ(small[1], (Point{0.5, 0}));
    EXPECT_EQ(small[3], (Point{1, 0.5}));
    EXPECT_EQ(small.back(), (Point{1, 1}));

    const auto big = rounded({{0, 0}, {10, 0}, {10, 10}, {20, 10}}, false, 1);
    EXPECT_EQ(big.front(), (Point{0, 0}));
    EXPECT_EQ(big.back(), (Point{20, 10}));
    auto has = [&](Point p) { return std::find(big.begin(), big.end(), p) != big.end(); };
    EXPECT_TRUE(has({5, 0}));
    EXPECT_TRUE(has({10, 5}));
    EXPECT_TRUE(has({15, 10}));
    // Resampled about a step apart, and no point repeated at the joins.
    for (std::size_t i = 1; i < big.size(); ++i) {
        const double d = std::hypot(big[i].x - big[i - 1].x, big[i].y - big[i - 1].y);
        EXPECT_GT(d, 0.3) << i;
        EXPECT_LE(d, 1.0 + 1e-9) << i;
    }
}

TEST(Rounded, ClosedTriangleEndsOnTheMidpointOfItsClosingEdge) {
    const auto tri = rounded({{0, 0}, {4, 0}, {0, 4}}, true, 100);
    // The start point plus three curves of two points each.
    ASSERT_EQ(tri.size(), 7u);
    EXPECT_EQ(tri.front(), (Point{0, 2}));
    EXPECT_EQ(tri.back(), tri.front());
    EXPECT_EQ(tri[2], (Point{2, 0}));
    EXPECT_EQ(tri[4], (Point{2, 2}));
    // A finer step subdivides each curve by its control polygon: (2 + 2) / 0.5 = 8 points.
    EXPECT_EQ(rounded({{0, 0}, {4, 0}, {0, 4}}, true, 0.5).front(), (Point{0, 2}));
    EXPECT_EQ(rounded({{0, 0}, {4, 0}, {4, 4}, {0, 4}}, true, 0.5).size(), 1u + 4 * 8);
}

TEST(PathLength, SumsTheSegments) {
    EXPECT_EQ(pathLength({}), 0);
    EXPECT_EQ(pathLength({{7, 7}}), 0);
    EXPECT_DOUBLE_EQ(pathLength({{0, 0}, {3, 4}, {3, 10}}), 11);
}

TEST(SortByY, IsStableForPointsAndPairs) {
    std::vector<Point> pts{{1, 5}, {2, 3}, {3, 5}, {4, 1}, {5, 3}};
    sortByY(pts);
    EXPECT_EQ(pts, (std::vector<Point>{{4, 1}, {2, 3}, {5, 3}, {1, 5}, {3, 5}}));
    std::vector<std::pair<Point, bool>> props{{{0, 2}, true}, {{1, 1}, false}, {{2, 2}, false}, {{3, 1}, true}};
    sortByY(props);
    EXPECT_EQ(props[0].first.x, 1);
    EXPECT_EQ(props[1].first.x, 3);
    EXPECT_EQ(props[2].first.x, 0);
    EXPECT_EQ(props[3].first.x, 2);
}

TEST(Shape, FillsOrStrokesAndLeavesItsSettingsOnTheContext) {
    auto p = arttest::painter(60, 40);
    cg::Context& c = *p.bitmap;
    p->shape(0xFF0000, 1, 0, [](cg::Path& path) { path.addRect({10, 10, 10, 10}); });
    EXPECT_EQ(cgtest::up(c, 15, 15).r, 255);
    EXPECT_EQ(c.fillColor(), cg::Color::rgb(0xFF0000));
    EXPECT_EQ(c.lineCap(), cg::LineCap::butt);  // a fill touches no line settings

    p->shape(0x00FF00, 0.5, 4, [](cg::Path& path) {
        path.moveTo({30, 20});
        path.lineTo({50, 20});
    });
    EXPECT_EQ(c.strokeColor(), cg::Color::rgb(0x00FF00, 0.5));
    EXPECT_EQ(c.lineWidth(), 4);
    EXPECT_EQ(c.lineCap(), cg::LineCap::round);
    EXPECT_EQ(c.lineJoin(), cg::LineJoin::round);
    EXPECT_TRUE(c.isPathEmpty());
    // Round caps reach past the segment's ends; the stroke is not filled inside the line width only.
    EXPECT_GT(cgtest::up(c, 51, 20).a, 0);
    EXPECT_GT(cgtest::up(c, 40, 21).a, 100);
    EXPECT_EQ(cgtest::up(c, 40, 24).a, 0);
}

TEST(GroundShadow, FlattenedAndShiftedToTheLowerRight) {
    // The foot sits so that the shadow's centre (foot.x + 0.4 r, foot.y − 1) is the pixel centre (57.5, 29.5).
    auto p = arttest::painter(120, 60);
    p->groundShadow({49.5, 30.5}, 20, 0.6);  // 1.7 × 0.6 > 1: an opaque centre
    const cg::Context& c = *p.bitmap;
    EXPECT_EQ(cgtest::up(c, 57, 29).a, 255);
    EXPECT_GT(cgtest::up(c, 57 + 20, 29).a, 0);
    EXPECT_EQ(cgtest::up(c, 57 + 24, 29).a, 0);  // 1.15 r wide
    EXPECT_EQ(cgtest::up(c, 57 - 24, 29).a, 0);
    EXPECT_GT(cgtest::up(c, 57, 29 + 5).a, 0);
    EXPECT_EQ(cgtest::up(c, 57, 29 + 8).a, 0);  // 0.3 × 1.15 r high
    EXPECT_TRUE(c.ctm() == cg::Transform::scale(1, 1));

    auto q = arttest::painter(120, 60);
    q->groundShadow({49.5, 30.5}, 20, 0.3);
    EXPECT_NEAR(cgtest::up(*q.bitmap, 57, 29).a, 0.51 * 255, 2);
}

namespace {
std::vector<uint32_t> block(const cg::Context& c, int x0, int y0, int w, int h) {
    std::vector<uint32_t> out;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) out.push_back(c.pixel(x, y));
    return out;
}
}  // namespace

TEST(Canopy, SameKIsTheSameCrownWherevertItStands) {
    auto p = arttest::painter(300, 100);
    p->canopy({50, 50}, 20, 0x2F5A2A, 0x8CC06A, 0.25);
    p->canopy({150, 50}, 20, 0x2F5A2A, 0x8CC06A, 0.25);
    p->canopy({250, 50}, 20, 0x2F5A2A, 0x8CC06A, 0.26);
    const auto a = block(*p.bitmap, 10, 10, 80, 80);
    const auto b = block(*p.bitmap, 110, 10, 80, 80);
    const auto c = block(*p.bitmap, 210, 10, 80, 80);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    // The crown is opaque at its centre and lit from the upper left.
    const auto light = cgtest::up(*p.bitmap, 50 - 10, 50 + 10), dark = cgtest::up(*p.bitmap, 50 + 12, 50 - 12);
    EXPECT_EQ(cgtest::up(*p.bitmap, 50, 50).a, 255);
    EXPECT_GT(light.g, dark.g);
}

TEST(Canopy, RadiusSevenHasSevenHighlightDots) {
    // Light red dots on a blue crown: at a dot centre at most 45 % of the crown's blue remains. The dot
    // positions follow the generator seeded with 11 (k = 0) after the 18 lobe draws.
    const double r = 7, scale = 8;
    auto p = arttest::painter(40, 40, scale);
    const Point c{20, 20};
    p->canopy(c, r, 0x0000FF, 0xFF0000, 0);
    RNG rng(11);
    for (int i = 0; i < 18; ++i) rng.next();
    std::vector<Point> dots;
    for (int i = 0; i < 8; ++i) {
        const double a = rng.uniform(1.6, 3.6);
        const double e = r * rng.uniform(0.2, 0.75);
        dots.push_back({c.x + e * std::cos(a), c.y + e * std::sin(a)});
    }
    auto blueAt = [&](Point q) {
        return cgtest::up(*p.bitmap, static_cast<int>(q.x * scale), static_cast<int>(q.y * scale)).b;
    };
    for (int i = 0; i < 7; ++i) EXPECT_LE(blueAt(dots[i]), 116) << "dot " << i;
    // Where an eighth dot would go the crown keeps its own blue.
    EXPECT_GT(blueAt(dots[7]), 130);
}

TEST(CloudShadows, NoCloudsForZero) {
    auto p = arttest::painter();
    p->cloudShadows(0, 0.2, 0);
    EXPECT_TRUE(p->sprites.empty());
}

TEST(CloudShadows, ThreeCloudsInThreeBandsWithTwentyFiveDrawsEach) {
    auto p = arttest::painter(640, 480, 2);
    p->cloudShadows(3, 0.2, 0);
    ASSERT_EQ(p->sprites.size(), 3u);
    RNG rng(p->s.seed() + 77);
    const double H = 480;
    for (int i = 0; i < 3; ++i) {
        const double w = rng.uniform(260, 420);
        const double h = w * rng.uniform(0.45, 0.6);
        for (int j = 0; j < 21; ++j) rng.next();
        const double v1 = rng.next(), v2 = rng.next();
        const Sprite& sp = p->sprites[i];
        EXPECT_EQ(sp.kind, Sprite::Kind::cloud);
        EXPECT_EQ(sp.at.x, 0);
        EXPECT_EQ(sp.at.y, ((0.2 + 0.6000000000000001 * v1) + i) * H / 3);
        EXPECT_GE(sp.at.y, (0.2 + i) * H / 3);
        EXPECT_LT(sp.at.y, (0.8 + i) * H / 3);
        EXPECT_EQ(sp.size, w);
        EXPECT_EQ(sp.phase, v2);
        EXPECT_EQ(sp.travel, 640);
        // One pixel per point whatever the screen scale.
        ASSERT_TRUE(sp.image);
        EXPECT_EQ(sp.image->pixelWidth(), static_cast<int>(std::ceil(w)));
        EXPECT_EQ(sp.image->pixelHeight(), static_cast<int>(std::ceil(h)));
        // Everything else keeps the record's defaults.
        Sprite plain;
        plain.kind = Sprite::Kind::cloud;
        plain.at = sp.at;
        plain.size = sp.size;
        plain.phase = sp.phase;
        plain.travel = sp.travel;
        EXPECT_EQ(sp.identity(), plain.identity());
        EXPECT_TRUE(sp.frames.empty() && sp.shade.empty());
    }
}

TEST(CloudShadows, DarkShadowIsCappedWhileColouredPuffsAdd) {
    auto p = arttest::painter();
    p->cloudShadows(1, 0.2, 0);
    auto q = arttest::painter();
    q->cloudShadows(1, 0.2, 0xFFFFFF);
    ASSERT_TRUE(p->sprites[0].image && q->sprites[0].image);
    auto maxAlpha = [](const cg::Image& img) {
        int m = 0;
        for (uint32_t v : arttest::pixels(img)) m = std::max(m, static_cast<int>(v >> 24));
        return m;
    };
    auto maxRed = [](const cg::Image& img) {
        int m = 0;
        for (uint32_t v : arttest::pixels(img)) m = std::max(m, static_cast<int>((v >> 16) & 0xFF));
        return m;
    };
    // Seven merged opaque puffs at layer alpha 1.5 × 0.2: a flat 0.3 at the core, black.
    EXPECT_NEAR(maxAlpha(*p->sprites[0].image), 77, 1);
    EXPECT_EQ(maxRed(*p->sprites[0].image), 0);
    // White puffs of alpha 0.2 pile up where they overlap.
    EXPECT_GT(maxAlpha(*q->sprites[0].image), 80);
    EXPECT_EQ(maxRed(*q->sprites[0].image), maxAlpha(*q->sprites[0].image));
    // Same seed, same sizes and places.
    EXPECT_EQ(p->sprites[0].size, q->sprites[0].size);
    EXPECT_EQ(p->sprites[0].at, q->sprites[0].at);
}
