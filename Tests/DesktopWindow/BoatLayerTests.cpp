// The boat: white boats against lantern boats, the wake's puffs, the sails' swing, shared paintings
// and a route with no points.

#include "DesktopWindow/BoatLayer.h"
#include "DesktopWindow/SpriteLayer.h"
#include "SpriteLayerTestSupport.h"

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

std::shared_ptr<ca::Layer> wakeOf(const std::shared_ptr<ca::Layer>& root) { return sub(root, 0); }
std::shared_ptr<ca::Layer> carrierOf(const std::shared_ptr<ca::Layer>& root) { return sub(root, 1); }
std::shared_ptr<ca::Layer> bodyOf(const std::shared_ptr<ca::Layer>& root) {
    auto carrier = carrierOf(root);
    return sub(sub(carrier, carrier->sublayers().size() - 1), 0);
}

}  // namespace

TEST(BoatLayer, WhiteBoatsCastASailShadowAndLanternBoatsGlow) {
    struct Case {
        uint32_t color;
        float firstPuff;
        uint32_t puff;  // the puff picture's colour
        size_t carrierParts, bodyParts;
    } cases[] = {{0xFFFFFF, 0.54f, 0xFFFFFF, 3, 5}, {0xC04030, 0.34f, 0x7DEFE0, 2, 6}};
    for (const Case& c : cases) {
        auto root = layers::boat(sailor(c.color));
        ASSERT_EQ(root->sublayers().size(), 2u);
        ASSERT_EQ(wakeOf(root)->sublayers().size(), 22u);
        EXPECT_EQ(sub(wakeOf(root), 0)->opacity(), c.firstPuff);
        const uint32_t px = sub(wakeOf(root), 0)->contents()->pixel(20, 20);
        const double alpha = px >> 24;
        ASSERT_GT(alpha, 240);
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(((px >> shift) & 0xFF) * 255 / alpha, (c.puff >> shift) & 0xFF, 1.5) << shift;
        EXPECT_EQ(carrierOf(root)->sublayers().size(), c.carrierParts);
        EXPECT_EQ(sub(carrierOf(root), 0)->kind() == ca::Layer::Kind::shape, c.carrierParts == 3);
        auto body = bodyOf(root);
        ASSERT_EQ(body->sublayers().size(), c.bodyParts);
        if (c.bodyParts == 6) {
            EXPECT_DOUBLE_EQ(sub(body, 4)->bounds().size.width, 16.2);
        }
        EXPECT_TRUE(body->animation("yaw"));
        EXPECT_TRUE(carrierOf(root)->animation("motion"));
    }
}

TEST(BoatLayer, TheLastPuffIsSmallAndFaint) {
    auto puff21 = sub(wakeOf(layers::boat(sailor(0xFFFFFF))), 21);
    EXPECT_NEAR(puff21->bounds().size.width, 9.2, 1e-12);
    EXPECT_EQ(puff21->opacity(), 0.04f);
}

TEST(BoatLayer, PuffsTrailAQuarterSecondEachWrappedIntoTheCourse) {
    auto wake = wakeOf(layers::boat(sailor(0xFFFFFF)));
    const auto trail = sub(wake, 4)->animation("motion");
    ASSERT_TRUE(trail);
    EXPECT_DOUBLE_EQ(trail->duration, 10);
    EXPECT_DOUBLE_EQ(trail->timeOffset, 9);
    EXPECT_DOUBLE_EQ(sub(wake, 0)->animation("motion")->timeOffset, 0);
    // The stern trails 6 points behind the centre.
    EXPECT_NEAR(at(sub(wake, 0), 5).position.x, 44, 1e-9);
}

TEST(BoatLayer, SailsSwingToLeewardOfTheWind) {
    const double pi = std::numbers::pi;
    struct Case {
        double heading, angle;
    } cases[] = {{0, pi + 0.62}, {pi / 2, pi + 0.22}, {pi, pi - 0.22}};
    for (const Case& c : cases) EXPECT_NEAR(layers::sailAngle(c.heading), c.angle, 1e-12) << c.heading;
}

TEST(BoatLayer, RockingHasItsOwnPeriod) {
    const auto yaw = bodyOf(layers::boat(sailor(0xFFFFFF, 0.5)))->animation("yaw");
    EXPECT_DOUBLE_EQ(yaw->duration, 6.0);
    EXPECT_DOUBLE_EQ(yaw->timeOffset, 3.0);
}

TEST(BoatLayer, BoatsOfOneColourShareEveryPicture) {
    Sprite other = sailor(0x2040C0, 0.3);
    other.path = {{5, 5}, {50, 80}, {90, 10}};
    auto a = layers::boat(sailor(0x2040C0)), b = layers::boat(other);
    auto pictures = [](const std::shared_ptr<ca::Layer>& root) {
        std::vector<const cg::Image*> out;
        auto walk = [&](auto&& self, const std::shared_ptr<ca::Layer>& l) -> void {
            if (l->contents()) out.push_back(l->contents().get());
            for (const auto& c : l->sublayers()) self(self, c);
        };
        walk(walk, root);
        return out;
    };
    const auto pa = pictures(a), pb = pictures(b);
    EXPECT_EQ(pa.size(), 22u + 7u);  // puffs, lee, deck, cockpit, two sails, glow, mast
    EXPECT_EQ(pa, pb);
}

TEST(BoatLayer, AnEmptyRouteLeavesTheBoatStandingWithoutAWake) {
    Sprite s = sailor(0xFFFFFF);
    s.path.clear();
    s.at = {30, 40};
    auto root = layers::layer(s);
    ASSERT_TRUE(root);
    EXPECT_TRUE(wakeOf(root)->sublayers().empty());
    EXPECT_FALSE(carrierOf(root)->animation("motion"));
    EXPECT_EQ(at(carrierOf(root), 3).position, (cg::Point{30, 40}));
}

TEST(BoatLayer, APaintingWithoutAPathIsTheLiveShape) {
    auto live = layers::painted("test nothing", [] { return std::make_shared<ca::ShapeLayer>(); });
    EXPECT_EQ(live->kind(), ca::Layer::Kind::shape);
    EXPECT_FALSE(live->contents());
}
