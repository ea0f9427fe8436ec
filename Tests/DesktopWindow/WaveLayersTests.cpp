// Waves, streaks and surf: the arc picture, the drift's bow and period, the whitecap's slide and the
// surf's run-up.

#include "DesktopWindow/WaveLayers.h"
#include "SpriteLayerTestSupport.h"

#include "Platform/Graphics/Context.h"

#include <gtest/gtest.h>

using namespace layertest;

TEST(WaveLayers, TheDriftBowsUpOrDownByPhaseAndPeaksHalfway) {
    struct Case {
        double phase, period, midY;
    } cases[] = {{0.2, 5.6, 310}, {0.5, 6.5, 290}};
    for (const Case& c : cases) {
        Sprite s = sprite(Sprite::Kind::wave, {200, 300}, c.phase);
        s.travel = 100;
        auto l = layers::drifting(s, 5, 3.2, 1.3, 0.6f);
        EXPECT_EQ(l->bounds(), (cg::Rect{0, 0, 12.6, 4.2}));
        EXPECT_DOUBLE_EQ(l->anchorPoint().y, 1.3 / 4.2);
        EXPECT_DOUBLE_EQ(l->animation("motion")->duration, c.period);
        const double t = c.period * (c.phase < 0.5 ? 0.5 - c.phase : 1.5 - c.phase);
        const auto p = at(l, t);
        EXPECT_NEAR(p.position.x, 200, 1e-9);
        EXPECT_NEAR(p.position.y, c.midY, 1e-9) << c.phase;
        EXPECT_NEAR(p.opacity, 0.6f, 1e-12);
    }
}

TEST(WaveLayers, MarksOfOneColourShareTheirArcPicture) {
    const auto a = layers::arcImage(16, 1.2, 1.1, 0x336699);
    ASSERT_TRUE(a);
    EXPECT_EQ(a, layers::arcImage(16, 1.2, 1.1, 0x336699));
    EXPECT_NE(a, layers::arcImage(16, 1.2, 1.1, 0x336698));
    EXPECT_NE(a, layers::arcImage(5, 3.2, 1.3, 0x336699));
    EXPECT_EQ(a->pixelWidth(), 137);  // ⌈4 · 2 · (16 + 1.1)⌉
    EXPECT_EQ(a->pixelHeight(), 12);
}

TEST(WaveLayers, AWhitecapSlidesOffAndStaysGoneToTheEndOfItsCycle) {
    Sprite s = sprite(Sprite::Kind::wave, {100, 100});
    s.image = cg::Context::makeBitmap(40, 20, 1)->makeImage();
    s.size = 20;
    s.travel = 50;
    auto box = layers::whitecap(s);
    EXPECT_NEAR(box->transformParts().rotation, -0.6435011087932844, 1e-15);
    for (double f : {0.6, 0.8, 0.999}) {
        const auto p = at(box, 6 * f);
        EXPECT_NEAR(p.position.x, 140, 1e-9);
        EXPECT_NEAR(p.position.y, 70, 1e-9);
        EXPECT_EQ(p.opacity, 0) << f;
    }
    EXPECT_NEAR(at(sub(box, 0), 3.6).scaleX, 1.4, 1e-9);
}

TEST(WaveLayers, SurfRunsUpToItsTopAndFallsBackHalfway) {
    Sprite s = sprite(Sprite::Kind::surf, {0, 0});
    s.to = {10, 20};
    s.color = 0xFFEEDD;
    auto box = layers::surf(s);
    auto* arc = dynamic_cast<ca::ShapeLayer*>(sub(box, 0).get());
    ASSERT_NE(arc, nullptr);
    EXPECT_EQ(arc->lineWidth(), 1.5);
    EXPECT_EQ(arc->strokeColor(), cg::Color::rgb(0xFFEEDD));
    EXPECT_DOUBLE_EQ(arc->path()->pathBoundingBox().width(), 14);
    EXPECT_NEAR(at(box, 1.8).position.y, 20, 1e-9);
    EXPECT_NEAR(at(box, 3.6 - 1e-9).position.x, 5, 1e-6);
    EXPECT_NEAR(at(box, 3.6 - 1e-9).position.y, 10, 1e-6);
}
