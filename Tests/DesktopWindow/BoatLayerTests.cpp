// The boat: white boats against lantern boats, the wake, the sails' swing, shared paintings and a
// route with no points.

#include "DesktopWindow/BoatLayer.h"
#include "SpriteLayerTestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using namespace layertest;

namespace {

// A straight run of 100 points to the right at 10 points per second: a 10 s course.
Sprite sailor(uint32_t color, double phase = 0) {
    Sprite s = sprite(Sprite::Kind::boat, {0, 0}, phase);
    s.color = color;
    s.path = {{0, 0}, {100, 0}};
    s.travel = 10;
    return s;
}

// Root: the wake, then the carrier (sail shadow?, lee holder, hull holder holding the body).
LayerRef bodyOf(const LayerRef& root) {
    const auto carrier = sub(root, 1);
    return sub(sub(carrier, carrier->sublayers().size() - 1), 0);
}

}  // namespace

TEST(BoatLayer, WhiteBoatsCastASailShadowAndLanternBoatsGlow) {
    struct Case {
        uint32_t color, puff;
        float firstPuff;
        size_t carrierParts, bodyParts;
    } cases[] = {{0xFFFFFF, 0xFFFFFF, 0.54f, 3, 5}, {0xC04030, 0x7DEFE0, 0.34f, 2, 6}};
    for (const Case& c : cases) {
        auto root = layers::boat(sailor(c.color));
        const auto wake = sub(root, 0);
        ASSERT_EQ(wake->sublayers().size(), 22u);
        EXPECT_EQ(sub(wake, 0)->opacity(), c.firstPuff);
        EXPECT_EQ(sub(wake, 21)->opacity(), 0.04f);
        EXPECT_NEAR(sub(wake, 21)->bounds().size.width, 9.2, 1e-12);
        const uint32_t px = sub(wake, 0)->contents()->pixel(20, 20);
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(((px >> shift) & 0xFF) * 255.0 / (px >> 24), (c.puff >> shift) & 0xFF, 1.5);
        EXPECT_EQ(sub(root, 1)->sublayers().size(), c.carrierParts);
        ASSERT_EQ(bodyOf(root)->sublayers().size(), c.bodyParts);
        EXPECT_DOUBLE_EQ(sub(bodyOf(root), 4)->bounds().size.width, c.bodyParts == 6 ? 16.2 : 4.2);  // glow, or mast
    }
}

TEST(BoatLayer, PuffsTrailAQuarterSecondEachWrappedIntoTheCourse) {
    const auto wake = sub(layers::boat(sailor(0xFFFFFF)), 0);
    EXPECT_DOUBLE_EQ(sub(wake, 4)->animation("motion")->duration, 10);
    EXPECT_DOUBLE_EQ(sub(wake, 4)->animation("motion")->timeOffset, 9);
    EXPECT_NEAR(at(sub(wake, 0), 5).position.x, 44, 1e-9);  // 6 points behind the centre
}

TEST(BoatLayer, SailsSwingToLeewardAndTheHullRocksOnItsOwnPeriod) {
    const double pi = std::numbers::pi;
    struct Case {
        double heading, angle;
    } cases[] = {{0, pi + 0.62}, {pi / 2, pi + 0.22}, {pi, pi - 0.22}, {-pi / 2, pi - 0.52}};
    for (const Case& c : cases) EXPECT_NEAR(layers::sailAngle(c.heading), c.angle, 1e-12) << c.heading;
    const auto yaw = bodyOf(layers::boat(sailor(0xFFFFFF, 0.5)))->animation("yaw");
    EXPECT_DOUBLE_EQ(yaw->duration, 6.0);
    EXPECT_DOUBLE_EQ(yaw->timeOffset, 3.0);
}

TEST(BoatLayer, BoatsOfOneColourShareEveryPicture) {
    Sprite other = sailor(0x2040C0, 0.3);
    other.path = {{5, 5}, {50, 80}, {90, 10}};
    auto pictures = [](const LayerRef& root) {
        std::vector<cg::ImageRef> out{sub(sub(root, 0), 0)->contents(), sub(sub(sub(root, 1), 0), 0)->contents()};
        for (const auto& l : bodyOf(root)->sublayers()) out.push_back(l->contents());
        return out;
    };
    const auto pa = pictures(layers::boat(sailor(0x2040C0))), pb = pictures(layers::boat(other));
    EXPECT_EQ(std::count(pa.begin(), pa.end(), nullptr), 0);  // puff, lee, deck, cockpit, sails, glow, mast
    EXPECT_EQ(pa, pb);
}

TEST(BoatLayer, AnEmptyRouteLeavesTheBoatStandingWithoutAWake) {
    Sprite s = sailor(0xFFFFFF);
    s.path.clear();
    s.at = {30, 40};
    auto root = layers::boat(s);
    EXPECT_TRUE(sub(root, 0)->sublayers().empty());
    EXPECT_FALSE(sub(root, 1)->animation("motion"));
    EXPECT_EQ(at(sub(root, 1), 3).position, (cg::Point{30, 40}));
    EXPECT_TRUE(bodyOf(root)->animation("yaw"));
}
