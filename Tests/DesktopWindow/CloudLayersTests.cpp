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
}

TEST(CloudLayers, ACloudCrossesOnItsWaveJustPastBothEdges) {
    Sprite s = sprite(Sprite::Kind::cloud, {0, 500});
    s.size = 200;
    s.travel = 1440;
    const auto drift = layers::cloudDrift(s);
    ASSERT_EQ(drift.points.size(), 42u);
    EXPECT_EQ(drift.points.back().x, 1540);
    for (size_t j : {0u, 9u, 30u})
        EXPECT_DOUBLE_EQ(drift.points[j].y, 500 + 24 * std::sin(2 * std::numbers::pi * drift.points[j].x / 700));
    EXPECT_DOUBLE_EQ(drift.seconds[1], std::hypot(40, drift.points[1].y - drift.points[0].y) / 8);
    auto l = layers::cloud(s);
    EXPECT_EQ(l->animationKeys(), (std::vector<std::string>{"drift", "billow", "heave", "thin"}));
    EXPECT_DOUBLE_EQ(l->animation("drift")->duration, drift.seconds.back());

    s.phase = 0.5;
    const struct {
        const char* key;
        double period;
    } loops[] = {{"billow", 41.5}, {"heave", 32.5}, {"thin", 25.5}};
    l = layers::cloud(s);
    for (const auto& [key, period] : loops) EXPECT_DOUBLE_EQ(l->animation(key)->duration, period);
    // A cloud too short to cross has nothing to drift along, but still breathes.
    s.travel = -500;
    EXPECT_EQ(layers::cloud(s)->animationKeys(), (std::vector<std::string>{"billow", "heave", "thin"}));
}

TEST(CloudLayers, FountainsShareRingFramesThatStartWithAnInvisibleRing) {
    Sprite s = sprite(Sprite::Kind::fountain, {300, 200});
    s.size = 20;
    s.color = 0xB0E0FF;
    Sprite t = s;
    t.at = {10, 10};
    auto a = layers::fountain(s), b = layers::fountain(t);
    EXPECT_EQ(sub(a, 0)->contents(), sub(b, 0)->contents());
    EXPECT_EQ(sub(a, 1)->contents(), sub(b, 1)->contents());
    EXPECT_EQ(sub(a, 1)->position(), (cg::Point{300.8, 199.4}));
    const auto* frames = member(sub(a, 0), "rings", "contents");
    ASSERT_TRUE(frames && frames->values.size() == 20);
    EXPECT_EQ(at(sub(a, 0), 0.52).contents, frames->values[10].image());
    // In frame 0 ring 0 (radius 3) has alpha 0 and ring 1 (phase 1/3) shows.
    const auto& f0 = *frames->values[0].image();
    EXPECT_EQ(f0.pixel(48 + 9, 48) >> 24, 0u);
    EXPECT_GT(f0.pixel(48 + int(std::lround(3 * (3 + 11.8 * layers::easedOut(1.0 / 3)))), 48) >> 24, 40u);
}
