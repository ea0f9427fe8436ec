// The bird: its palette, its wing outline, the shadow pass and the flapping rhythm.

#include "DesktopWindow/BirdLayer.h"
#include "SpriteLayerTestSupport.h"

#include <gtest/gtest.h>

using namespace layertest;

namespace {

Sprite flyer(uint32_t color) {
    Sprite s = sprite(Sprite::Kind::bird, {0, 0}, 0.4);
    s.color = color;
    s.path = {{0, 0}, {200, 40}, {260, 200}, {40, 160}};
    s.closed = true;
    s.travel = 30;
    s.beat = 5.5;
    return s;
}

}  // namespace

TEST(BirdLayer, ThePaletteMatchesExactColoursOnly) {
    struct Case {
        uint32_t color, body, tips;
        double span, chord;
    } cases[] = {{0x26241F, 0x2C2B29, 0x161514, 14, 3.4},
                 {0xF7F9FA, 0xC3CCD4, 0x26292D, 17, 2.6},
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

TEST(BirdLayer, WingsKeepTheirLastSampleAndReachTheTips) {
    const auto palette = layers::birdPalette(0xF7F9FA);
    struct Case {
        bool tips;
        size_t perSide;
        double rootX;  // the first leading-edge sample
    } cases[] = {{false, 42, 1.4}, {true, 16, 1.4 * 0.38 * 0.38 + 1.8 * 2 * 0.62 * 0.38 - 1.4 * 0.62 * 0.62}};
    for (const Case& c : cases) {
        cg::Path p;
        layers::addWings(p, palette, c.tips);
        // Two closed subpaths: move, lines, close, per side.
        ASSERT_EQ(p.elements().size(), 2 * (c.perSide + 1));
        const auto& pts = p.points();
        EXPECT_NEAR(pts[0].x, c.rootX, 1e-12);
        const cg::Point far = pts[c.perSide / 2 - 1];  // the last leading-edge sample
        if (c.tips) {
            EXPECT_NEAR(far.y, 0.03 * 0.03 + 0.32 * 17 * 2 * 0.97 * 0.03 + 0.5 * 17 * 0.97 * 0.97, 1e-12);
        } else {
            EXPECT_EQ(far, (cg::Point{-1.4, 8.5}));
            EXPECT_EQ(pts[c.perSide + 20], (cg::Point{-1.4, -8.5}));
        }
    }
}

TEST(BirdLayer, TheShadowFliesAndFlapsInStepOffsetToOneSide) {
    auto root = layers::bird(flyer(0x123456));
    ASSERT_EQ(root->sublayers().size(), 2u);
    auto shadow = sub(root, 0), body = sub(root, 1);
    EXPECT_EQ(sub(shadow, 0)->sublayers().size(), 1u);  // the wings, no tips
    EXPECT_EQ(sub(body, 0)->sublayers().size(), 2u);
    EXPECT_EQ(shadow->sublayers().size(), 3u);

    const auto* ps = member(shadow, "motion", "position");
    const auto* pb = member(body, "motion", "position");
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
    // Three beats in the first 1.65 s, then a glide.
    const double start = 5.5 - std::fmod(d * 0.4, 5.5);
    EXPECT_NEAR(at(sub(body, 0), start + 0.275).scaleY, 0.55, 1e-9);
    EXPECT_NEAR(at(sub(body, 0), start + 1.65).scaleY, 1, 1e-9);
    EXPECT_NEAR(at(sub(body, 0), start + 1.375).scaleY, 0.55, 1e-9);
}

TEST(BirdLayer, BirdsOfOneColourShareTheirPaintings) {
    auto a = layers::bird(flyer(0x4A2F2A)), b = layers::bird(flyer(0x4A2F2A));
    for (size_t pass : {0u, 1u})
        for (size_t part : {1u, 2u}) {
            ASSERT_TRUE(sub(sub(a, pass), part)->contents());
            EXPECT_EQ(sub(sub(a, pass), part)->contents(), sub(sub(b, pass), part)->contents());
        }
    EXPECT_NE(sub(sub(a, 0), 1)->contents(), sub(sub(a, 1), 1)->contents());
}
