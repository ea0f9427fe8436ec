// Clouds and fountains: the drift's samples and loops, the ease-out curve and the basin pictures.

#include "DesktopWindow/CloudLayers.h"
#include "SpriteLayerTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using namespace layertest;

TEST(CloudLayers, EasedOutRunsFromZeroToOne) {
    EXPECT_EQ(layers::easedOut(0), 0);
    EXPECT_NEAR(layers::easedOut(1), 1, std::ldexp(1.0, -24));
    EXPECT_NEAR(layers::easedOut(0.5), 0.685, 0.001);
    EXPECT_LT(layers::easedOut(0.2), layers::easedOut(0.21));
}

TEST(CloudLayers, ACloudCrossesOnItsWaveJustPastBothEdges) {
    Sprite s = sprite(Sprite::Kind::cloud, {0, 500});
    s.size = 200;
    s.travel = 1440;
    const auto drift = layers::cloudDrift(s);
    ASSERT_EQ(drift.points.size(), 42u);
    EXPECT_EQ(drift.points.front().x, -100);
    EXPECT_EQ(drift.points.back().x, 1540);
    for (size_t j : {0u, 9u, 30u})
        EXPECT_DOUBLE_EQ(drift.points[j].y,
                         500 + 24 * std::sin(2 * std::numbers::pi * drift.points[j].x / 700));
    // The first leg at 8 points per second with the gust at its zero.
    EXPECT_DOUBLE_EQ(drift.seconds[1],
                     std::hypot(40, drift.points[1].y - drift.points[0].y) / 8);
    auto l = layers::cloud(s);
    EXPECT_EQ(l->animationKeys(), (std::vector<std::string>{"drift", "billow", "heave", "thin"}));
    EXPECT_DOUBLE_EQ(l->animation("drift")->duration, drift.seconds.back());
}

TEST(CloudLayers, ShapeLoopsTakeTheirPeriodsFromThePhase) {
    Sprite s = sprite(Sprite::Kind::cloud, {0, 500}, 0.5);
    s.size = 100;
    s.travel = 800;
    auto l = layers::cloud(s);
    struct Case {
        const char* key;
        double period;
    } cases[] = {{"billow", 41.5}, {"heave", 32.5}, {"thin", 25.5}};
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(l->animation(c.key)->duration, c.period);
        EXPECT_DOUBLE_EQ(l->animation(c.key)->timeOffset, c.period / 2);
    }
}

TEST(CloudLayers, ACloudTooShortToCrossStillBreathes) {
    Sprite s = sprite(Sprite::Kind::cloud, {0, 500});
    s.size = 100;
    s.travel = -500;
    auto l = layers::cloud(s);
    EXPECT_FALSE(l->animation("drift"));
    EXPECT_TRUE(l->animation("thin"));
}

TEST(CloudLayers, RingFramesStartWithAnInvisibleRing) {
    const auto b = layers::basin(0xB0E0FF);
    ASSERT_EQ(b.rings.size(), 20u);
    ASSERT_TRUE(b.spray);
    const auto& f0 = *b.rings[0];
    // Ring 0 at radius 3 has alpha 0; ring 1 (phase 1/3) shows.
    EXPECT_EQ(f0.pixel(48 + 9, 48) >> 24, 0u);
    const double r1 = 3 + 11.8 * layers::easedOut(1.0 / 3);
    EXPECT_GT(f0.pixel(48 + static_cast<int>(std::lround(3 * r1)), 48) >> 24, 40u);
    EXPECT_EQ(b.spray->pixelWidth(), 48);
}

TEST(CloudLayers, FountainsOfOneColourShareTheirPictures) {
    Sprite s = sprite(Sprite::Kind::fountain, {300, 200});
    s.size = 20;
    s.color = 0x99CCFF;
    Sprite t = s;
    t.at = {10, 10};
    auto a = layers::fountain(s), b = layers::fountain(t);
    EXPECT_EQ(sub(a, 0)->contents(), sub(b, 0)->contents());
    EXPECT_EQ(sub(a, 1)->contents(), sub(b, 1)->contents());
    EXPECT_DOUBLE_EQ(sub(a, 0)->bounds().size.width, 40);
    EXPECT_DOUBLE_EQ(sub(a, 1)->bounds().size.width, 18);
    EXPECT_EQ(sub(a, 1)->position(), (cg::Point{300.8, 199.4}));
    const auto* frames = member(sub(a, 0), "rings", "contents");
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->values.size(), 20u);
    EXPECT_EQ(at(sub(a, 0), 0.52).contents, frames->values[10].image());
    EXPECT_DOUBLE_EQ(sub(a, 1)->animation("billow")->duration, 2.6);
}
