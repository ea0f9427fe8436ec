#include <gtest/gtest.h>

#include <cmath>

#include "IslandTestSupport.h"
#include "Renderer/Random.h"

using islandtest::at;
using islandtest::near;
using islandtest::painter;

TEST(Hut, ByDayAppendsNoSprite) {
    auto p = painter(false);
    p.art->hut({60, 50});
    EXPECT_TRUE(p.art->sprites.empty());
    EXPECT_EQ(p.art->ctx, p.bitmap.get());
    // The unlit window and the roof's upper-left light.
    EXPECT_TRUE(near(at(*p.bitmap, {65, 54.3}), 0x4a3220));
    const auto lit = at(*p.bitmap, {56, 66}), shaded = at(*p.bitmap, {68, 58.5});
    EXPECT_GT(lit.r + lit.g + lit.b, shaded.r + shaded.g + shaded.b);

    // Thatch ends hang 0.9 below the eaves at the left, then 0.3, alternating.
    auto fine = painter(false, 8);
    fine.art->hut({60, 50});
    EXPECT_GT(at(*fine.bitmap, {48, 57.2}).a, 0);
    EXPECT_EQ(at(*fine.bitmap, {50, 57.2}).a, 0);
    EXPECT_GT(at(*fine.bitmap, {50, 57.75}).a, 0);
    EXPECT_GT(at(*fine.bitmap, {52, 57.2}).a, 0);
}

TEST(Hut, AtNightAppendsTheWindowLightThenItsGlow) {
    for (const double scale : {1.0, 2.5}) {
        auto p = painter(true, scale);
        const cg::Point foot{60, 50};
        p.art->hut(foot);
        ASSERT_EQ(p.art->sprites.size(), 2u) << scale;
        EXPECT_EQ(p.art->ctx, p.bitmap.get());
        EXPECT_TRUE(near(at(*p.bitmap, {65, 54.3}), 0xffd27a));
        const double r = Art::rand(foot, 0);
        const Sprite& light = p.art->sprites[0];
        const Sprite& glow = p.art->sprites[1];
        EXPECT_EQ(light.kind, Sprite::Kind::light);
        EXPECT_EQ(light.at, (cg::Point{65, 54.3}));
        EXPECT_EQ(light.size, 0.8);
        EXPECT_EQ(light.phase, r);
        EXPECT_EQ(light.color, 0xffc56bu);
        EXPECT_FALSE(light.image);
        EXPECT_FALSE(light.glow);
        EXPECT_EQ(glow.kind, Sprite::Kind::light);
        EXPECT_EQ(glow.at, (cg::Point{65, 49}));
        EXPECT_EQ(glow.size, 32);
        EXPECT_EQ(glow.phase, r);
        EXPECT_EQ(glow.color, 0xffffffu);
        EXPECT_TRUE(glow.glow);
        for (const Sprite* sp : {&light, &glow}) {
            EXPECT_EQ(sp->anchor, (cg::Point{0.5, 0.5}));
            EXPECT_EQ(sp->pulse, 0);
            EXPECT_EQ(sp->beat, 1);
            EXPECT_TRUE(sp->face);
        }
        // The glow image is firelight's light pool of radius 16 at strength 0.6, pixel for pixel.
        ASSERT_TRUE(glow.image);
        const int side = static_cast<int>(std::ceil(32 * scale));
        EXPECT_EQ(glow.image->pixelWidth(), side);
        EXPECT_EQ(glow.image->pixelHeight(), side);
        auto q = painter(true, scale);
        q.art->firelight({0, 0}, 16, 0, 0, 0.6);
        ASSERT_EQ(q.art->sprites.size(), 1u);
        ASSERT_TRUE(q.art->sprites[0].image);
        const cg::Image& pool = *q.art->sprites[0].image;
        ASSERT_EQ(pool.pixelWidth(), side);
        EXPECT_TRUE(std::equal(glow.image->data(), glow.image->data() + side * side, pool.data()));
        // Warm in the middle, black and opaque at the corner.
        const auto mid = at(*glow.image, {16, 16}, scale), corner = at(*glow.image, {0.2, 0.2}, scale);
        EXPECT_GT(mid.r, mid.b);
        EXPECT_GT(mid.r, 40);
        EXPECT_EQ(corner.a, 255);
        EXPECT_EQ(corner.r + corner.g + corner.b, 0);
    }
}

TEST(Hut, GlowWithoutABitmapHasNoImage) {
    auto p = painter(true, 2000);  // no 32-point frame fits at this scale
    p.art->hut({60, 50});
    ASSERT_EQ(p.art->sprites.size(), 2u);
    EXPECT_FALSE(p.art->sprites[1].image);
    EXPECT_TRUE(p.art->sprites[1].glow);
    EXPECT_EQ(p.art->ctx, p.bitmap.get());
}

TEST(Palm, SpriteSwaysOutOfStepByItsX) {
    auto p = painter(false, 1.5);
    p.art->palm({700, 40}, 0.2);
    p.art->palm({640, 40}, -0.2);
    p.art->palm({100, 40}, 0);
    ASSERT_EQ(p.art->sprites.size(), 3u);
    const Sprite& a = p.art->sprites[0];
    EXPECT_EQ(a.kind, Sprite::Kind::sway);
    EXPECT_EQ(a.at, (cg::Point{700, 40}));
    EXPECT_EQ(a.size, 34);
    EXPECT_EQ(a.phase, 0.09375);
    EXPECT_EQ(a.anchor, (cg::Point{0.5, 0.08333333333333333}));
    EXPECT_EQ(a.anchor.y, 3.0 / 36);
    EXPECT_EQ(a.color, 0xffffffu);
    ASSERT_TRUE(a.image);
    EXPECT_EQ(a.image->pixelWidth(), 51);
    EXPECT_EQ(a.image->pixelHeight(), 54);
    EXPECT_EQ(p.art->sprites[1].phase, 0);
    EXPECT_EQ(p.art->sprites[2].phase, 100.0 / 640);
    EXPECT_EQ(p.art->ctx, p.bitmap.get());
}

TEST(Palm, WithoutABitmapLeavesOnlyItsShadow) {
    auto p = painter(false, 2000);
    p.art->palm({100, 60}, 0.1);
    EXPECT_TRUE(p.art->sprites.empty());
    EXPECT_EQ(p.art->ctx, p.bitmap.get());
    // The ground shadow sits 0.4 r to the right of the foot and 1 point down.
    EXPECT_GT(at(*p.bitmap, {103.6, 59}).a, 0);
    EXPECT_EQ(at(*p.bitmap, {100, 66}).a, 0);
}

TEST(Palm, FrondsAreSeededByTheSizeOfTheLean) {
    const auto plus = Art::palmFronds(0.3);
    const auto minus = Art::palmFronds(-0.3);
    ASSERT_EQ(plus.size(), 9u);
    ASSERT_EQ(minus.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(plus[i].angle, minus[i].angle);
        EXPECT_EQ(plus[i].length, minus[i].length);
    }
    const auto other = Art::palmFronds(0.300001);
    EXPECT_NE(other[0].angle, plus[0].angle);

    // Lean 0 seeds the generator with 5: nine angle draws, then one length per frond in drawing order.
    RNG rng(5);
    std::vector<double> angles;
    for (int j = 0; j < 9; ++j) {
        const double u = rng.next();
        angles.push_back((j * 2 * M_PI) / 9 + (-0.25 + 0.5 * u));
    }
    const auto zero = Art::palmFronds(0);
    double lastSine = -2;
    for (const auto& f : zero) {
        EXPECT_NE(std::find(angles.begin(), angles.end(), f.angle), angles.end());
        EXPECT_GE(std::sin(f.angle), lastSine);
        lastSine = std::sin(f.angle);
        EXPECT_EQ(f.length, 10 + 3 * rng.next());
        EXPECT_GE(f.length, 10);
        EXPECT_LT(f.length, 13);
    }
    // Seeds that would not fit convert without fault.
    EXPECT_EQ(Art::palmFronds(std::nan("")).size(), 9u);
    EXPECT_EQ(Art::palmFronds(1e300).size(), 9u);
}

TEST(Palm, OppositeLeansDrawTheSameCrownOnTrunksBentApart) {
    // Trunk tops meet at x 17 when the feet sit 8·lean to the other side.
    auto draw = [](double lean) {
        auto p = painter(false, 2, 34, 40);
        p.art->palmTree({17 - 8 * lean, 3}, lean);
        return p;
    };
    auto plus = draw(0.3), minus = draw(-0.3), other = draw(0.31);
    auto same = [](const islandtest::Px& a, const islandtest::Px& b) {
        return a.a == b.a && a.r == b.r && a.g == b.g && a.b == b.b;
    };
    int crown = 0, mirrored = 0, reseeded = 0;
    // Rows above the trunk's top (y 22 and higher) hold only fronds.
    for (double y = 24; y < 40; y += 0.5)
        for (double x = 0; x < 34; x += 0.5) {
            const auto a = at(*plus.bitmap, {x, y});
            if (a.a > 0) ++crown;
            if (!same(a, at(*minus.bitmap, {x, y}))) ++mirrored;
            if (!same(a, at(*other.bitmap, {x, y}))) ++reseeded;
        }
    EXPECT_GT(crown, 50);
    EXPECT_EQ(mirrored, 0);
    EXPECT_GT(reseeded, 0);
    // Below the crown the trunks lean apart.
    int trunk = 0;
    for (double y = 4; y < 20; y += 0.5)
        for (double x = 0; x < 34; x += 0.5)
            if (!same(at(*plus.bitmap, {x, y}), at(*minus.bitmap, {x, y}))) ++trunk;
    EXPECT_GT(trunk, 20);
}

TEST(Palm, LeanZeroStandsStraight) {
    auto p = painter(false, 4, 34, 36);
    p.art->palmTree({17, 3}, 0);
    for (const double y : {4.0, 5.0, 6.0}) {
        EXPECT_EQ(at(*p.bitmap, {17, y}).a, 255) << y;
        EXPECT_EQ(at(*p.bitmap, {17 - 2.2, y}).a, 0) << y;
        EXPECT_EQ(at(*p.bitmap, {17 + 2.2, y}).a, 0) << y;
    }
}

TEST(Lighthouse, RingsFromTheCapOutwardAndAShadowToTheLowerRight) {
    for (const bool night : {false, true}) {
        auto p = painter(night, 4);
        const cg::Point c{100, 100};
        p.art->lighthouse(c);
        EXPECT_TRUE(near(at(*p.bitmap, c), 0x2a2a2e));
        EXPECT_TRUE(near(at(*p.bitmap, {101.8, 100}), night ? 0x6a302c : 0xc8352e));
        EXPECT_TRUE(near(at(*p.bitmap, {102.9, 100}), night ? 0xffe6a8 : 0x3a4652));
        EXPECT_TRUE(near(at(*p.bitmap, {100, 96.05}), night ? 0xa9b0ba : 0xf4f3ee));
        // The cast shadow reaches to the lower right only.
        EXPECT_GT(at(*p.bitmap, {110, 87}).a, 40);
        EXPECT_EQ(at(*p.bitmap, {90, 113}).a, 0);
        // The glint lightens the cap's upper-left side.
        const auto glint = at(*p.bitmap, {99.3, 100.7}), plain = at(*p.bitmap, {100.7, 99.3});
        EXPECT_GT(glint.g, plain.g);
    }
}
