// Whitecap and swash frames, the glint and the water shimmer.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "ArtTestSupport.h"
#include "PoseSupport.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Art/Geometry2D.h"
#include "Renderer/Palette.h"

using cg::Point;
using cg::Rect;

namespace {

// Where a frame's blobs and dots reach, from its generator: the union of their ellipses, cut to the
// canvas. Checked against the drawn pixels, it pins the seed and the order of the draws.
Rect whitecapReach(uint64_t seed) {
    RNG r(seed);
    const double f = 2.5 + 2 * r.next();
    const double h = 0.6 + r.next();
    Rect box = Rect::null();
    for (int k = 0; k < 9; ++k) {
        const double rr = k / 4.0 - 1, t = 1 - rr * rr;
        const double rx = (0.45 + 0.6 * t) * (0.8 + 0.4 * r.next());
        const double cx = 15 + h * t + (0.6 * r.next() - 0.3);
        const double ry = (0.8 + 0.4 * r.next()) * rx;
        r.next();
        box = box.unionWith(Rect(cx - rx, 6 + f * rr - ry, 2 * rx, 2 * ry));
    }
    for (int k = 0; k < 16; ++k) {
        const double a = r.next(), b = r.next(), e = r.next(), d = r.next();
        const double rho = (0.3 + 0.5 * b) * (1 - 0.5 * a);
        const Point c{14 - 11 * a + (e - 0.5), 6 + (2 * d - 1) * f * (1 - 0.4 * a)};
        box = box.unionWith(Rect(c.x - rho, c.y - rho, 2 * rho, 2 * rho));
    }
    return box.intersection(Rect(0, 0, 20, 12));
}

Rect swashReach(uint64_t seed) {
    RNG r(seed);
    const double f = 0.6 + 0.8 * r.next();
    Rect box = Rect::null();
    for (int k = 0; k < 13; ++k) {
        const double rr = k / 6.0 - 1, t = 1 - rr * rr;
        const double ry = (0.45 + 0.4 * t) * (0.8 + 0.4 * r.next());
        const double cx = 9 + 7.5 * rr + (0.6 * r.next() - 0.3);
        r.next();
        box = box.unionWith(Rect(cx - 1.3 * ry, 5.2 + f * t - ry, 2.6 * ry, 2 * ry));
    }
    for (int k = 0; k < 18; ++k) {
        const double a = r.next(), b = r.next(), e = r.next(), d = r.next();
        const double rx = 0.25 + 0.35 * e, ry = 0.25 + 0.25 * d;
        box = box.unionWith(Rect(2 + 14 * b - rx, 4.6 - 3.6 * a - ry, 2 * rx, 2 * ry));
    }
    return box.intersection(Rect(0, 0, 18, 8));
}

void expectReach(const cg::Image& img, double scale, const Rect& want) {
    const auto got = posetest::extent(img, scale);
    ASSERT_TRUE(got);
    const double pixel = 1 / scale + 0.005;
    EXPECT_NEAR(got->minX(), want.minX(), pixel);
    EXPECT_NEAR(got->maxX(), want.maxX(), pixel);
    EXPECT_NEAR(got->minY(), want.minY(), pixel);
    EXPECT_NEAR(got->maxY(), want.maxY(), pixel);
}

bool allTransparent(const cg::Image& img) {
    for (int y = 0; y < img.pixelHeight(); ++y)
        for (int x = 0; x < img.pixelWidth(); ++x)
            if (img.pixel(x, y) != 0) return false;
    return true;
}

}  // namespace

TEST(Whitecaps, FramesFollowTheirSeedsOnly) {
    const double scale = 8;
    auto p = arttest::painter(200, 100, scale);
    const auto frames = p->whitecaps(0xFFFFFF, 1);
    ASSERT_EQ(frames.size(), 4u);
    const uint64_t seeds[4] = {3, 7922, 15841, 23760};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i]->pixelWidth(), 160);
        EXPECT_EQ(frames[i]->pixelHeight(), 96);
        expectReach(*frames[i], scale, whitecapReach(seeds[i]));
        for (int j = 0; j < i; ++j) EXPECT_FALSE(posetest::samePixels(*frames[i], *frames[j]));
    }
    // Another scene, size and time of day draw the same frames.
    auto q = arttest::painter(640, 480, scale, SceneKind::archipelago, true);
    const auto again = q->whitecaps(0xFFFFFF, 1);
    ASSERT_EQ(again.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(posetest::samePixels(*frames[i], *again[i]));
}

TEST(Whitecaps, AlphaZeroIsTransparent) {
    auto p = arttest::painter(200, 100, 2);
    const auto frames = p->whitecaps(0xA9C2E0, 0);
    EXPECT_EQ(frames.size(), 4u);
    for (const auto& f : frames) EXPECT_TRUE(allTransparent(*f));
}

TEST(Swash, FramesFollowTheirSeedsAtFixedOpacities) {
    const double scale = 8;
    auto p = arttest::painter(200, 100, scale);
    const auto frames = p->swash(0xFFFFFF);
    ASSERT_EQ(frames.size(), 4u);
    const uint64_t seeds[4] = {11, 104740, 209469, 314198};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i]->pixelWidth(), 144);
        EXPECT_EQ(frames[i]->pixelHeight(), 64);
        expectReach(*frames[i], scale, swashReach(seeds[i]));
    }
    auto night = arttest::painter(300, 100, scale, SceneKind::archipelago, true);
    const auto again = night->swash(0xFFFFFF);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(posetest::samePixels(*frames[i], *again[i]));
}

TEST(Sparkle, FullColourAtTheCentreAndNothingFromSixPointsOut) {
    auto p = arttest::painter(100, 100, 3);
    const auto img = p->sparkle(0xFFF4DA);
    ASSERT_TRUE(img);
    ASSERT_EQ(img->pixelWidth(), 36);
    // Pixel 18 covers 6 … 6.33 points: its centre is 0.24 points from the middle.
    const auto c = posetest::at(*img, 3, {6.1, 6.1});
    EXPECT_GE(c.a, 245);
    EXPECT_NEAR(posetest::straight(c.r, c.a), 0xFF, 2);
    EXPECT_NEAR(posetest::straight(c.g, c.a), 0xF4, 2);
    EXPECT_NEAR(posetest::straight(c.b, c.a), 0xDA, 2);
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 36; ++x)
            if (std::hypot((x + 0.5) / 3 - 6, (y + 0.5) / 3 - 6) >= 6) {
                EXPECT_EQ(posetest::alphaAt(*img, x, y), 0);
            }
}

TEST(SurfaceFrames, NoBitmapGivesNoFrames) {
    // A painter whose scale makes every frame impossible: rows come back empty, the glint absent.
    auto p = arttest::painter(100, 100, 0);
    EXPECT_TRUE(p->whitecaps(0xFFFFFF, 1).empty());
    EXPECT_TRUE(p->swash(0xFFFFFF).empty());
    EXPECT_FALSE(p->sparkle(0xFFFFFF));
    EXPECT_TRUE(p->poseRow(16, 60, 44, [](Art& a, double ph) { a.eagleRay(ph, false, true); }).empty());
}

TEST(Shimmer, SwellDriftsFiftyByThirtyFiveWithItsMiddlePushedAside) {
    for (const Point p : {Point{300, 200}, Point{731.4, 88.8}, Point{0, 0}}) {
        const auto path = Art::shimmerSwell(p);
        ASSERT_EQ(path.size(), 3u);
        EXPECT_EQ(path[0], p);
        EXPECT_EQ(path[2], (Point{p.x + 50, p.y + 35}));
        const double e = (Art::rand(p, 1) - 0.5) * 0.3;
        EXPECT_DOUBLE_EQ(path[1].x, p.x + 25 + 35 * e);
        EXPECT_DOUBLE_EQ(path[1].y, p.y + 17.5 - 50 * e);
        EXPECT_LE(std::fabs(e), 0.15);
    }
}

namespace {

constexpr Art::ShimmerTint kDayTint{200, 245, 255};

// The caustic light a patch pixel should carry: the square's corner is p + (25, 17.5) − 170.
uint8_t expectedChannel(Point p, float strength, float tint, int j, int a) {
    const float o = static_cast<float>(Art::rand(p, 6)) * 5000.0f;
    const float x = static_cast<float>(p.x + 25 - 170) + static_cast<float>(j);
    const float y = static_cast<float>(p.y + 17.5 - 170) + static_cast<float>(a);
    const float dx = 2.0f * static_cast<float>(j) / 340.0f - 1.0f, dy = 2.0f * static_cast<float>(a) / 340.0f - 1.0f;
    const float k = 1.0f - dx * dx - dy * dy;
    if (!(k > 0)) return 0;
    const float D = strength * (k * k) * 1.0f * caustic(x + o, y);
    const float v = tint * D;
    return static_cast<uint8_t>(v < 255.0f ? v : 255.0f);
}

}  // namespace

TEST(Shimmer, PatchIsCausticLightInsideItsDiscAndBlackOutside) {
    auto p = arttest::painter(800, 600, 2);
    const Point centre{310.25, 240.5};
    const auto img = p->shimmerPatch(centre, 0.26f, kDayTint, [](float) { return 1.0f; });
    ASSERT_TRUE(img);
    ASSERT_EQ(img->pixelWidth(), 340);
    ASSERT_EQ(img->pixelHeight(), 340);
    int lit = 0;
    for (int a = 0; a < 340; ++a)
        for (int j = 0; j < 340; ++j) {
            const auto px = cgtest::unpack(img->pixel(j, a));  // row 0 is the top: the smallest scene y
            ASSERT_EQ(px.a, 255);
            const float dx = 2.0f * j / 340.0f - 1.0f, dy = 2.0f * a / 340.0f - 1.0f;
            if (1.0f - dx * dx - dy * dy <= 0) {
                ASSERT_EQ(px.r | px.g | px.b, 0) << j << "," << a;
            } else {
                lit += px.b > 0;
            }
        }
    EXPECT_GT(lit, 1000);
    for (const auto& [j, a] : {std::pair{170, 170}, std::pair{100, 250}, std::pair{300, 160}, std::pair{57, 92}}) {
        const auto px = cgtest::unpack(img->pixel(j, a));
        EXPECT_EQ(px.r, expectedChannel(centre, 0.26f, kDayTint.r, j, a)) << j << "," << a;
        EXPECT_EQ(px.g, expectedChannel(centre, 0.26f, kDayTint.g, j, a)) << j << "," << a;
        EXPECT_EQ(px.b, expectedChannel(centre, 0.26f, kDayTint.b, j, a)) << j << "," << a;
    }
}

TEST(Shimmer, DepthOutsideItsRangeIsBlackOrSaturatedNeverUndefined) {
    auto p = arttest::painter(800, 600, 1);
    const Point centre{300, 250};
    for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
        const auto img = p->shimmerPatch(centre, 0.3f, kDayTint, [bad](float) { return bad; });
        ASSERT_TRUE(img);
        for (int a = 0; a < 340; a += 3)
            for (int j = 0; j < 340; j += 3) ASSERT_EQ(img->pixel(j, a), 0xFF000000u) << bad;
    }
    const auto hot = p->shimmerPatch(centre, 0.3f, kDayTint, [](float) { return 1e30f; });
    int saturated = 0, lit = 0;
    for (int a = 100; a < 240; ++a)
        for (int j = 100; j < 240; ++j) {
            const auto px = cgtest::unpack(hot->pixel(j, a));
            lit += px.r > 0;
            saturated += px.r == 255 && px.g == 255 && px.b == 255;
            EXPECT_TRUE(px.r == 0 || px.r == 255);
        }
    EXPECT_GT(saturated, 0);
    EXPECT_EQ(saturated, lit);
}

TEST(Shimmer, PatchIsBitIdenticalAtAnyThreadCount) {
    auto p = arttest::painter(800, 600, 1);
    auto ramp = [](float v) { return palette::S((v - 0.05f) / (0.15f - 0.05f)); };
    const Point centre{420.5, 300.25};
    cg::ImageRef one, three, all;
    {
        dispatch::ThreadCountScope scope(1);
        one = p->shimmerPatch(centre, 0.34f, {120, 165, 235}, ramp);
    }
    {
        dispatch::ThreadCountScope scope(3);
        three = p->shimmerPatch(centre, 0.34f, {120, 165, 235}, ramp);
    }
    all = p->shimmerPatch(centre, 0.34f, {120, 165, 235}, ramp);
    EXPECT_TRUE(posetest::samePixels(*one, *three));
    EXPECT_TRUE(posetest::samePixels(*one, *all));
}

TEST(Shimmer, PatchesKeepTheirMarginsDepthAndIconClearance) {
    auto p = arttest::painter(1440, 900, 1);
    const auto deep = [](float) { return 1.0f; };
    // Deep water everywhere: the patches pack the scene up to its margins, 260 points apart.
    p->shimmer(40, 7700001, 0.26f, kDayTint, deep);
    const auto& centres = p->placed.at(p->key(7700001));
    ASSERT_GE(centres.size(), 8u);
    ASSERT_EQ(p->sprites.size(), centres.size());
    for (std::size_t i = 0; i < centres.size(); ++i) {
        const Point c = centres[i];
        EXPECT_GT(c.x, 90);
        EXPECT_LT(c.x, 1440 - 140);
        EXPECT_GT(c.y, 90);
        EXPECT_LT(c.y, 900 - 125);
        for (std::size_t j = 0; j < i; ++j) EXPECT_GE(std::hypot(c.x - centres[j].x, c.y - centres[j].y), 260);
        const Sprite& s = p->sprites[i];
        const auto swell = Art::shimmerSwell(c);
        EXPECT_EQ(s.kind, Sprite::Kind::trip);
        ASSERT_EQ(s.path.size(), 3u);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(s.path[k], p->flip(swell[k]));
        EXPECT_EQ(s.at, s.path[0]);
        EXPECT_EQ(s.size, 340);
        EXPECT_EQ(s.phase, Art::rand(c, 4));
        EXPECT_EQ(s.travel, 2 + Art::rand(c, 2));
        EXPECT_EQ(s.rest, 0.3 + 0.6 * Art::rand(c, 5));
        EXPECT_TRUE(s.glow);
        EXPECT_FALSE(s.face);
        EXPECT_FALSE(s.closed);
        EXPECT_EQ(s.beat, 1);
        EXPECT_EQ(s.color, 0xFFFFFFu);
        ASSERT_TRUE(s.image);
        EXPECT_TRUE(s.frames.empty() && s.shade.empty() && s.dim.empty());
    }

    // Icons: every point of the smoothed drift keeps its 120-point square off their keep rectangles.
    SceneSpec spec = p->s;
    spec.icons = {{400, 300}, {700, 450}, {1000, 300}, {300, 650}};
    Look look(spec.kind, spec.night, 900);
    const auto keep = Renderer::keepRects(spec);
    Art withIcons(nullptr, spec, Renderer::terrain(spec, look, keep), keep, look, {});
    withIcons.shimmer(6, 7700001, 0.26f, kDayTint, deep);
    ASSERT_FALSE(withIcons.sprites.empty());
    for (const Point c : withIcons.placed.at(withIcons.key(7700001)))
        for (const Point q : rounded(Art::shimmerSwell(c), false, 6))
            for (const Rect& r : keep) EXPECT_FALSE(Rect(q.x - 60, q.y - 60, 120, 120).intersects(r));
}

TEST(Shimmer, NoPatchWhereDepthIsAtMostPointSixOrTheLimitIsZero) {
    auto p = arttest::painter(1440, 900, 1);
    p->shimmer(4, 7700001, 0.26f, kDayTint, [](float) { return 0.6f; });
    EXPECT_TRUE(p->sprites.empty());
    EXPECT_TRUE(p->placed.at(p->key(7700001)).empty());
    p->shimmer(0, 7700001, 0.26f, kDayTint, [](float) { return 1.0f; });
    EXPECT_TRUE(p->sprites.empty());
    // The sea's own ramp over its terrain: every patch stands where the ramp passes 0.6.
    auto ramp = [](float v) { return palette::S((v - 0.05f) / (0.15f - 0.05f)); };
    p->shimmer(4, 7700001, 0.26f, kDayTint, ramp);
    for (const Point c : p->placed.at(p->key(7700001))) EXPECT_GT(ramp(p->value(c)), 0.6f);
    EXPECT_EQ(p->sprites.size(), p->placed.at(p->key(7700001)).size());
}

TEST(Shimmer, CentresAreWhereTheSpritesGoAndAreRecordedTheSame) {
    auto ramp = [](float v) { return palette::S((v - 0.05f) / (0.15f - 0.05f)); };
    struct Case {
        int64_t limit;
        std::function<float(float)> depth;
    };
    const Case cases[] = {{40, [](float) { return 1.0f; }}, {4, ramp}, {3, ramp}, {0, [](float) { return 1.0f; }},
                          {5, [](float) { return 0.6f; }}};
    for (const Case& c : cases) {
        auto whole = arttest::painter(1440, 900, 1);
        auto split = arttest::painter(1440, 900, 1);
        const std::vector<Sprite> sprites = whole->shimmerSprites(c.limit, 7700001, 0.26f, kDayTint, c.depth);
        const std::vector<Point> centres = split->shimmerCentres(c.limit, 7700001, c.depth);
        EXPECT_EQ(split->placed.at(split->key(7700001)), whole->placed.at(whole->key(7700001)));
        ASSERT_EQ(centres.size(), sprites.size()) << "limit " << c.limit;
        for (std::size_t i = 0; i < centres.size(); ++i) {
            const Sprite made = split->shimmerSprite(centres[i], split->shimmerPatch(centres[i], 0.26f, kDayTint, c.depth));
            EXPECT_EQ(made.at, sprites[i].at);
            EXPECT_EQ(made.path, sprites[i].path);
            EXPECT_EQ(made.phase, sprites[i].phase);
            ASSERT_TRUE(made.image && sprites[i].image);
            EXPECT_EQ(arttest::pixels(*made.image), arttest::pixels(*sprites[i].image)) << "patch " << i;
        }
    }
}
