// Waves, streaks and surf: the arc picture, the drift's bow and period, the whitecap's slide and the
// surf's run-up.

#include "DesktopWindow/SpriteLayer.h"
#include "DesktopWindow/WaveLayers.h"
#include "SpriteLayerTestSupport.h"

#include "Platform/Graphics/Context.h"

#include <gtest/gtest.h>

using namespace layertest;

namespace {
cg::ImageRef crest() { return cg::Context::makeBitmap(40, 20, 1)->makeImage(); }
}  // namespace

TEST(WaveLayers, AWaveDriftsOnABowThatItsPhaseTurnsOver) {
    struct Case {
        double phase, period, midY;
    } cases[] = {{0.2, 5.6, 310}, {0.5, 6.5, 290}};
    for (const Case& c : cases) {
        Sprite s = sprite(Sprite::Kind::wave, {200, 300}, c.phase);
        s.travel = 100;
        s.color = 0xE0F0FF;
        auto l = layers::layer(s);
        ASSERT_TRUE(l->sublayers().empty());  // no picture: the arc, not the whitecap
        EXPECT_DOUBLE_EQ(l->bounds().size.width, 12.6);
        EXPECT_DOUBLE_EQ(l->bounds().size.height, 4.2);
        EXPECT_DOUBLE_EQ(l->anchorPoint().y, 1.3 / 4.2);
        EXPECT_EQ(l->opacity(), 0);
        const auto group = anim(l, "motion");
        ASSERT_TRUE(group);
        EXPECT_DOUBLE_EQ(group->duration, c.period);
        // Halfway through its cycle the arc is at the middle of its bow, at its peak opacity.
        double t = c.period * (0.5 - c.phase);
        if (t < 0) t += c.period;
        const auto p = at(l, t);
        EXPECT_NEAR(p.position.x, 200, 1e-9) << c.phase;
        EXPECT_NEAR(p.position.y, c.midY, 1e-9) << c.phase;
        EXPECT_NEAR(p.opacity, 0.6f, 1e-7);
    }
}

TEST(WaveLayers, MarksOfOneColourShareTheirArcPicture) {
    Sprite a = sprite(Sprite::Kind::streak, {10, 10}), b = sprite(Sprite::Kind::streak, {90, 40}, 0.7);
    a.color = b.color = 0x336699;
    Sprite c = a;
    c.color = 0x336698;
    Sprite wave = a;
    wave.kind = Sprite::Kind::wave;
    const auto la = layers::layer(a), lb = layers::layer(b), lc = layers::layer(c), lw = layers::layer(wave);
    ASSERT_TRUE(la->contents());
    EXPECT_EQ(la->contents(), lb->contents());
    EXPECT_NE(la->contents(), lc->contents());
    EXPECT_NE(la->contents(), lw->contents());
    // 2 (16 + 1.1) points wide at four pixels per point.
    EXPECT_EQ(la->contents()->pixelWidth(), 137);
    EXPECT_EQ(la->contents()->pixelHeight(), 12);
}

TEST(WaveLayers, AWhitecapSlidesOffAndIsGoneForTheLastPartOfItsCycle) {
    Sprite s = sprite(Sprite::Kind::wave, {100, 100});
    s.image = crest();
    s.size = 20;
    s.travel = 50;
    auto box = layers::layer(s);
    ASSERT_EQ(box->sublayers().size(), 1u);
    EXPECT_NEAR(box->transformParts().rotation, -0.6435011087932844, 1e-15);
    EXPECT_DOUBLE_EQ(sub(box, 0)->bounds().size.height, 10);
    for (double f : {0.6, 0.8, 0.999}) {
        const auto p = at(box, 6 * f);
        EXPECT_NEAR(p.position.x, 140, 1e-9);
        EXPECT_NEAR(p.position.y, 70, 1e-9);
        EXPECT_EQ(p.opacity, 0) << f;
    }
    EXPECT_NEAR(at(box, 0.3).opacity, 0.9, 1e-9);
    EXPECT_NEAR(at(sub(box, 0), 3.6).scaleX, 1.4, 1e-9);
}

TEST(WaveLayers, SurfRunsUpToItsTopAndFallsBackHalfway) {
    Sprite s = sprite(Sprite::Kind::surf, {0, 0});
    s.to = {10, 20};
    s.color = 0xFFEEDD;
    auto box = layers::layer(s);
    auto* arc = dynamic_cast<ca::ShapeLayer*>(sub(box, 0).get());
    ASSERT_NE(arc, nullptr);
    EXPECT_EQ(arc->lineWidth(), 1.5);
    EXPECT_EQ(arc->strokeColor(), cg::Color::rgb(0xFFEEDD));
    EXPECT_FALSE(arc->fillColor());
    EXPECT_DOUBLE_EQ(arc->path()->pathBoundingBox().width(), 14);
    const auto half = at(box, 1.8), end = at(box, 3.6 - 1e-9);
    EXPECT_NEAR(half.position.x, 10, 1e-9);
    EXPECT_NEAR(half.position.y, 20, 1e-9);
    EXPECT_NEAR(end.position.x, 5, 1e-6);
    EXPECT_NEAR(end.position.y, 10, 1e-6);

    s.image = crest();
    s.size = 30;
    auto pictured = layers::layer(s);
    EXPECT_EQ(sub(pictured, 0)->kind(), ca::Layer::Kind::plain);
    EXPECT_EQ(sub(pictured, 0)->contents(), s.image);
    EXPECT_DOUBLE_EQ(sub(pictured, 0)->bounds().size.width, 30);
}
