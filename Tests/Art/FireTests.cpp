#include <gtest/gtest.h>

#include <cmath>

#include "ArtTestSupport.h"

using cg::Point;

TEST(Fire, AppendsFlameLightPoolAndTwoSparksFromThePointAlone) {
    auto p = arttest::painter(200, 100, 2);
    const Point at{60.25, 40.5};
    p->fire(at);
    ASSERT_EQ(p->sprites.size(), 4u);
    const double phi = Art::rand(at, 0);

    Sprite flame;
    flame.kind = Sprite::Kind::light;
    flame.at = {60.25, 40};
    flame.size = 6;
    flame.phase = phi;
    flame.anchor = {0.5, 0.12};
    flame.pulse = 0.5;
    EXPECT_EQ(p->sprites[0].identity(), flame.identity());
    ASSERT_TRUE(p->sprites[0].image);
    EXPECT_EQ(p->sprites[0].image.get(), p->flames().get());
    EXPECT_EQ(p->sprites[0].image->pixelWidth(), 24);
    EXPECT_EQ(p->sprites[0].image->pixelHeight(), 32);

    Sprite pool;
    pool.kind = Sprite::Kind::light;
    pool.at = {60.25, 42.5};
    pool.size = 68;
    pool.phase = phi;
    pool.pulse = 0.5;
    pool.glow = true;
    EXPECT_EQ(p->sprites[1].identity(), pool.identity());
    ASSERT_TRUE(p->sprites[1].image);
    EXPECT_EQ(p->sprites[1].image->pixelWidth(), 136);

    for (int i = 0; i < 2; ++i) {
        Sprite spark;
        spark.kind = Sprite::Kind::firefly;
        spark.at = {60.25, 49.5};
        spark.size = 1;
        spark.phase = Art::rand(at, 1 + i);
        spark.travel = 6;
        spark.color = 0xFFB347;
        EXPECT_EQ(p->sprites[2 + i].identity(), spark.identity());
        EXPECT_FALSE(p->sprites[2 + i].image);
    }
    EXPECT_NE(p->sprites[2].phase, p->sprites[3].phase);

    // The same point again gives the same sprites; the scene context is back in place.
    p->fire(at);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p->sprites[4 + i].identity(), p->sprites[i].identity());
    EXPECT_EQ(p->ctx, p.bitmap.get());
}

TEST(Fire, EveryFlameOfARenderSharesOneImage) {
    auto p = arttest::painter(200, 100);
    p->fire({30, 30});
    p->fire({120, 60});
    const cg::ImageRef wreck = p->flames();
    ASSERT_EQ(p->sprites.size(), 8u);
    EXPECT_EQ(p->sprites[0].image, wreck);
    EXPECT_EQ(p->sprites[4].image, wreck);
    // The light pools are drawn per call.
    EXPECT_NE(p->sprites[1].image, p->sprites[5].image);
    // Another render draws its own flames, pixel for pixel the same.
    auto q = arttest::painter(200, 100);
    ASSERT_TRUE(q->flames() && wreck);
    EXPECT_NE(q->flames(), wreck);
    EXPECT_EQ(arttest::pixels(*q->flames()), arttest::pixels(*wreck));
}

TEST(Fire, PaintsGlowStonesAndLogsAroundThePoint) {
    auto p = arttest::painter(100, 100, 2);
    p->fire({50, 50});
    const cg::Context& c = *p.bitmap;
    // Logs cross at the centre (dark brown), a stone at angle 0 sits 5 points to the right.
    const auto centre = cgtest::up(c, 100, 100 + 1);
    EXPECT_EQ(centre.a, 255);
    EXPECT_LT(centre.r, 0x50);
    const auto stone = cgtest::up(c, 110, 100);
    EXPECT_EQ(stone.a, 255);
    EXPECT_EQ(stone.r, 0x5B);
    EXPECT_EQ(stone.b, 0x60);
    // Warm glow fades out at 18 points.
    const auto glow = cgtest::up(c, 100, 100 + 20);
    EXPECT_GT(glow.a, 0);
    EXPECT_GT(glow.r, glow.b);
    EXPECT_EQ(cgtest::up(c, 100, 100 + 37).a, 0);
}

TEST(Fire, MissingBitmapsLeaveSpritesWithoutImagesAndTheAbsenceIsKept) {
    // Scale 0: no offscreen bitmap can be made (and the painter has no scene bitmap either).
    auto p = arttest::painter(100, 100, 0);
    EXPECT_FALSE(p->flames_.has_value());
    EXPECT_FALSE(p->flames());
    EXPECT_TRUE(p->flames_.has_value());
    EXPECT_FALSE(p->flames());
    p->firelight({10, 10}, 20, 0.3, 0.4, 1);
    ASSERT_EQ(p->sprites.size(), 1u);
    EXPECT_FALSE(p->sprites[0].image);
    EXPECT_EQ(p->sprites[0].size, 40);
}

TEST(Firelight, StrengthZeroIsAllBlackAndPhaseAndPulsePassThrough) {
    auto p = arttest::painter(100, 100, 2);
    p->firelight({40, 30}, 10, 0.7, 0.25, 0);
    ASSERT_EQ(p->sprites.size(), 1u);
    const Sprite& sp = p->sprites[0];
    EXPECT_EQ(sp.kind, Sprite::Kind::light);
    EXPECT_EQ(sp.at, (Point{40, 30}));
    EXPECT_EQ(sp.size, 20);
    EXPECT_EQ(sp.phase, 0.7);
    EXPECT_EQ(sp.pulse, 0.25);
    EXPECT_TRUE(sp.glow);
    ASSERT_TRUE(sp.image);
    EXPECT_EQ(sp.image->pixelWidth(), 40);
    for (uint32_t v : arttest::pixels(*sp.image)) ASSERT_EQ(v, 0xFF000000u);

    p->firelight({40, 30}, 10, 0, 0, 1);
    const cg::Image& lit = *p->sprites[1].image;
    const auto mid = cgtest::unpack(lit.pixel(20, 20));
    EXPECT_EQ(mid.a, 255);
    // Full strength at the centre, 0.45 of it at 0.3 r: the pixel a quarter point off centre is ~0.94.
    EXPECT_NEAR(mid.r, 0.94 * 0xA0, 3);
    EXPECT_NEAR(mid.b, 0.94 * 0x50, 3);
    EXPECT_EQ(lit.pixel(0, 0), 0xFF000000u);  // the corners stay black
    // Nothing of the offscreen drawing reached the scene.
    for (int y = 0; y < p.bitmap->pixelHeight(); ++y)
        for (int x = 0; x < p.bitmap->pixelWidth(); ++x) ASSERT_EQ(p.bitmap->pixel(x, y), 0u);
}

TEST(Impact, LeavesTheDrawingStateAsItFoundIt) {
    auto p = arttest::painter(100, 100, 2);
    cg::Context& c = *p.bitmap;
    c.translateBy(3, 4);
    c.setFillColor(cg::Color::rgb(0x123456, 0.5));
    c.setStrokeColor(cg::Color::rgb(0x654321, 0.25));
    c.setLineWidth(2.5);
    c.setLineCap(cg::LineCap::square);
    c.setLineJoin(cg::LineJoin::bevel);
    c.setAlpha(0.9);
    c.clipToRect({0, 0, 80, 80});
    const cg::Transform ctm = c.ctm();
    const cg::Rect clip = c.clipBoundingBox();

    p->impact({40, 40}, 12, 0xC8C0B8, 0x8A8078, 0x4A4440);

    EXPECT_EQ(c.fillColor(), cg::Color::rgb(0x123456, 0.5));
    EXPECT_EQ(c.strokeColor(), cg::Color::rgb(0x654321, 0.25));
    EXPECT_EQ(c.lineWidth(), 2.5);
    EXPECT_EQ(c.lineCap(), cg::LineCap::square);
    EXPECT_EQ(c.lineJoin(), cg::LineJoin::bevel);
    EXPECT_EQ(c.alpha(), 0.9);
    EXPECT_EQ(c.blendMode(), cg::BlendMode::normal);
    EXPECT_TRUE(c.ctm() == ctm);
    EXPECT_TRUE(c.clipBoundingBox() == clip);
    EXPECT_TRUE(c.isPathEmpty());
    EXPECT_TRUE(p->sprites.empty());
}

TEST(Impact, HaloOnlyAboveRadiusFourAndBowlLitFromTheUpperLeft) {
    const double scale = 4;
    auto pixelAt = [&](const cg::Context& c, double x, double y) {
        return cgtest::up(c, static_cast<int>(x * scale), static_cast<int>(y * scale));
    };
    for (double r : {4.0, 4.25}) {
        auto p = arttest::painter(40, 40, scale);
        p->impact({20, 20}, r, 0xFF0000, 0x00FF00, 0x0000FF);
        // 1.6 r to the left: past the rim and the shadow, inside a halo of 2.2 r.
        const auto left = pixelAt(*p.bitmap, 20 - 1.6 * r, 20);
        if (r > 4) {
            EXPECT_GT(left.a, 0);
        } else {
            EXPECT_EQ(left.a, 0);
        }
        EXPECT_EQ(pixelAt(*p.bitmap, 20 - 2.3 * r, 20).a, 0);
    }
    const double r = 10;
    auto p = arttest::painter(40, 40, scale);
    p->impact({20, 20}, r, 0xFF0000, 0x00FF00, 0x0000FF);
    const cg::Context& c = *p.bitmap;
    const auto upperLeft = pixelAt(c, 20 - 0.4 * r, 20 + 0.4 * 0.82 * r);
    EXPECT_EQ(upperLeft.a, 255);
    EXPECT_EQ(upperLeft.g, 255);  // flat floor over the first 40 %
    EXPECT_EQ(upperLeft.r, 0);
    const auto lowerRight = pixelAt(c, 20 + 0.6 * r, 20 - 0.6 * 0.82 * r);
    EXPECT_GT(lowerRight.b, 200);
    EXPECT_LT(lowerRight.g, 60);
    // Between the bowl (r) and the rim (1.12 r) only rim, halo and shadow show: no floor or wall colour.
    const auto rim = pixelAt(c, 20 - 1.06 * r, 20);
    EXPECT_GT(rim.r, 100);
    EXPECT_EQ(rim.g, 0);
    EXPECT_EQ(rim.b, 0);
    // Flattened to 0.82 of its height: 0.9 r up is already outside the bowl.
    const auto top = pixelAt(c, 20, 20 + 0.9 * r);
    EXPECT_EQ(top.g, 0);
    // The shadow falls to the lower right, beyond the rim there.
    const auto shadow = pixelAt(c, 20 + 1.2 * r, 20 - 0.3 * 0.82 * r);
    const auto mirror = pixelAt(c, 20 - 1.2 * r, 20 + 0.3 * 0.82 * r);
    EXPECT_LT(shadow.r + 15, shadow.a);  // black under the red halo
    EXPECT_EQ(mirror.r, mirror.a);       // the halo alone
}
