// Stars, satellites and meteors.

#include "DesktopWindow/NightSkyLayers.h"
#include "SpriteLayerTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace layertest;

TEST(NightSkyLayers, StarsBlinkOnAPeriodOrTwinkle) {
    struct Case {
        double travel, phase;
        const char* key;
        double period, offset, side;
    } cases[] = {{0, 0.5, "twinkle", 4.0, 2.0, 3}, {2, 0, "blink", 2, 0, 21}};
    for (const Case& c : cases) {
        Sprite s = sprite(Sprite::Kind::star, {50, 60}, c.phase);
        s.travel = c.travel;
        s.size = 1.5;
        auto l = layers::star(s);
        ASSERT_TRUE(l->animation(c.key)) << c.key;
        EXPECT_DOUBLE_EQ(l->animation(c.key)->duration, c.period);
        EXPECT_DOUBLE_EQ(l->animation(c.key)->timeOffset, c.offset);
        EXPECT_DOUBLE_EQ(l->bounds().size.width, c.side);
        EXPECT_EQ(l->contents() != nullptr, c.travel > 0);
        if (c.travel <= 0) continue;
        // Dark from 0.84 s to the end of each period.
        const double shown[][2] = {{0.5, 1}, {0.84, 0}, {1.99, 0}, {2.1, 1}};
        for (const auto& [t, opacity] : shown) EXPECT_EQ(at(l, t).opacity, opacity) << t;
    }
}

TEST(NightSkyLayers, ASatelliteCirclesAFlattenedOrbitLowerHalfFirst) {
    Sprite s = sprite(Sprite::Kind::satellite, {500, 300});
    s.travel = 100;
    auto l = layers::satellite(s);
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
    auto l = layers::meteor(s);
    const auto* flight = member(l, "meteor", "position");
    ASSERT_TRUE(flight);
    EXPECT_EQ(flight->duration, 1.1);
    EXPECT_EQ(flight->segments().size(), 111u);  // 223.6 points resampled every 2
    EXPECT_DOUBLE_EQ(l->animation("meteor")->duration, 16);
    const auto mid = at(l, 0.5);
    EXPECT_GT(mid.opacity, 0);
    EXPECT_NEAR(mid.rotation, std::atan2(-100.0, 200.0), 1e-9);
    for (double t : {1.2, 8.0, 15.9}) EXPECT_EQ(at(l, t).opacity, 0) << t;
    s.path.clear();
    EXPECT_EQ(at(layers::meteor(s), 0.3).position, (cg::Point{0, 0}));
}
