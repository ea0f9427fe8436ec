// Stars, satellites and meteors.

#include "DesktopWindow/NightSkyLayers.h"
#include "SpriteLayerTestSupport.h"

#include <gtest/gtest.h>

using namespace layertest;

TEST(NightSkyLayers, StarsBlinkOnAPeriodOrTwinkle) {
    struct Case {
        double travel, phase;
        const char* key;
        double period, offset;
    } cases[] = {{0, 0.5, "twinkle", 4.0, 2.0}, {-1, 0, "twinkle", 2.5, 0}, {2, 0, "blink", 2, 0}};
    for (const Case& c : cases) {
        Sprite s = sprite(Sprite::Kind::star, {50, 60}, c.phase);
        s.travel = c.travel;
        s.size = 1.5;
        s.color = 0xFFF0D0;
        auto l = layers::star(s);
        const auto a = l->animation(c.key);
        ASSERT_TRUE(a) << c.key;
        EXPECT_DOUBLE_EQ(a->duration, c.period);
        EXPECT_DOUBLE_EQ(a->timeOffset, c.offset);
        const bool blinks = c.travel > 0;
        EXPECT_DOUBLE_EQ(l->bounds().size.width, blinks ? 21 : 3);
        EXPECT_EQ(l->contents() != nullptr, blinks);
        EXPECT_EQ(l->backgroundColor().has_value(), !blinks);
    }
    Sprite s = sprite(Sprite::Kind::star, {0, 0});
    s.travel = 2;
    s.size = 1;
    auto l = layers::star(s);
    EXPECT_EQ(at(l, 0.5).opacity, 1);
    EXPECT_EQ(at(l, 0.84).opacity, 0);
    EXPECT_EQ(at(l, 1.99).opacity, 0);
    EXPECT_EQ(at(l, 2.1).opacity, 1);
}

TEST(NightSkyLayers, ASatelliteCirclesAFlattenedOrbitLowerHalfFirst) {
    Sprite s = sprite(Sprite::Kind::satellite, {500, 300});
    s.travel = 100;
    auto l = layers::satellite(s);
    EXPECT_EQ(l->sublayers().size(), 2u);
    EXPECT_DOUBLE_EQ(l->animation("orbit")->duration, 30);
    struct Case {
        double t;
        cg::Point where;
        double opacity;
    } cases[] = {{0, {400, 300}, 1}, {7.5, {500, 270}, 1}, {15, {600, 300}, 0.5}, {22.5, {500, 330}, 0}};
    for (const Case& c : cases) {
        const auto p = at(l, c.t);
        EXPECT_NEAR(p.position.x, c.where.x, 1e-9) << c.t;
        EXPECT_NEAR(p.position.y, c.where.y, 1e-9) << c.t;
        EXPECT_NEAR(p.opacity, c.opacity, 1e-9) << c.t;
    }
    s.phase = 1;
    EXPECT_DOUBLE_EQ(layers::satellite(s)->animation("orbit")->duration, 40);
}

TEST(NightSkyLayers, AMeteorFlashesAlongItsLineOncePerPeriod) {
    Sprite s = sprite(Sprite::Kind::meteor, {0, 0});
    s.path = {{100, 500}, {300, 400}};
    s.closed = true;  // ignored: a meteor never comes back
    s.color = 0xFFFFFF;
    auto l = layers::meteor(s);
    EXPECT_EQ(l->opacity(), 0);
    EXPECT_EQ(l->anchorPoint(), (cg::Point{1, 0.5}));
    const auto* flight = member(l, "meteor", "position");
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->duration, 1.1);
    EXPECT_EQ(flight->rotationMode, ca::RotationMode::autoRotate);
    // 223.6 points resampled every 2: 111 pieces.
    EXPECT_EQ(flight->segments().size(), 111u);
    EXPECT_DOUBLE_EQ(l->animation("meteor")->duration, 16);
    const auto mid = at(l, 0.5);
    EXPECT_GT(mid.opacity, 0);
    EXPECT_NEAR(mid.rotation, std::atan2(-100.0, 200.0), 1e-9);
    for (double t : {1.2, 8.0, 15.9}) EXPECT_EQ(at(l, t).opacity, 0) << t;
}

TEST(NightSkyLayers, AMeteorWithoutAPathStaysHidden) {
    Sprite s = sprite(Sprite::Kind::meteor, {20, 30});
    auto l = layers::meteor(s);
    const auto p = at(l, 0.3);
    EXPECT_EQ(p.position, (cg::Point{20, 30}));
}
