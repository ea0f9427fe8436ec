// The bird: its palette, its wing outline, the shadow pass and the flapping rhythm.

#include "DesktopWindow/BirdLayer.h"
#include "SpriteLayerTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace layertest;

TEST(BirdLayer, ThePaletteMatchesExactColoursOnly) {
    struct Case {
        uint32_t color, body, tips;
        double span, chord;
    } cases[] = {{0x26241F, 0x2C2B29, 0x161514, 14, 3.4}, {0xF7F9FA, 0xC3CCD4, 0x26292D, 17, 2.6},
                 {0x4A2F2A, 0x7A5642, 0x2E1E1A, 17, 4.2},
                 {0x123456, 0x8C94A0, 0x353A42, 12, 3},
                 {0xF7F9FB, 0x8C94A0, 0x353A42, 12, 3}};
    for (const Case& c : cases) {
        const auto p = layers::birdPalette(c.color);
        EXPECT_EQ(p.body, c.body) << std::hex << c.color;
        EXPECT_EQ(p.tips, c.tips);
        EXPECT_EQ(p.span, c.span);
        EXPECT_EQ(p.chord, c.chord);
    }
}

TEST(BirdLayer, WingsKeepTheirLastSample) {
    struct Case {
        bool tips;
        size_t perSide;  // leading and trailing samples
        double lastT;
    } cases[] = {{false, 42, 1}, {true, 16, 0.97}};
    for (const Case& c : cases) {
        cg::Path p;
        layers::addWings(p, layers::birdPalette(0xF7F9FA), c.tips);
        ASSERT_EQ(p.elements().size(), 2 * (c.perSide + 1));  // per side: move, lines, close
        const double t = c.lastT, u = 1 - t;
        const cg::Point last = p.points()[c.perSide / 2 - 1];
        EXPECT_NEAR(last.x, 1.4 * u * u + 1.8 * 2 * t * u - 1.4 * t * t, 1e-12);
        EXPECT_NEAR(last.y, u * u + 0.32 * 17 * 2 * t * u + 8.5 * t * t, 1e-12);
        EXPECT_LT(p.points()[c.perSide + c.perSide / 2].y, 0);  // the other wing
    }
}

TEST(BirdLayer, TheShadowFliesAndFlapsInStepOffsetToOneSide) {
    Sprite s = sprite(Sprite::Kind::bird, {0, 0}, 0.4);
    s.color = 0x123456;
    s.path = {{0, 0}, {200, 40}, {260, 200}, {40, 160}};
    s.closed = true;
    s.travel = 30;
    s.beat = 5.5;
    auto root = layers::bird(s);
    auto shadow = sub(root, 0), body = sub(root, 1);
    EXPECT_EQ(sub(shadow, 0)->sublayers().size(), 1u);  // the wings, no tips
    EXPECT_EQ(sub(body, 0)->sublayers().size(), 2u);
    EXPECT_EQ(sub(layers::bird(s), 1)->sublayers()[1]->contents(), body->sublayers()[1]->contents());

    const auto *ps = member(shadow, "motion", "position"), *pb = member(body, "motion", "position");
    ASSERT_TRUE(ps && pb);
    ASSERT_EQ(ps->values.size(), pb->values.size());
    EXPECT_EQ(ps->keyTimes, pb->keyTimes);
    for (size_t i = 0; i < ps->values.size(); i += 7) {
        EXPECT_DOUBLE_EQ(ps->values[i].point().x, pb->values[i].point().x + 13);
        EXPECT_DOUBLE_EQ(ps->values[i].point().y, pb->values[i].point().y - 12);
    }
    const auto flap = sub(body, 0)->animation("flap");
    const double d = body->animation("motion")->duration;
    EXPECT_DOUBLE_EQ(flap->duration, 5.5);
    EXPECT_DOUBLE_EQ(flap->timeOffset, d * 0.4);
    EXPECT_EQ(sub(shadow, 0)->animation("flap")->timeOffset, flap->timeOffset);
    // Three beats within the first 1.65 s of each period.
    const double start = 5.5 - std::fmod(d * 0.4, 5.5);
    EXPECT_NEAR(at(sub(body, 0), start + 1.375).scaleY, 0.55, 1e-9);
    EXPECT_NEAR(at(sub(body, 0), start + 1.65).scaleY, 1, 1e-9);
}
