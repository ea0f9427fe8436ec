// Light builders: the flicker's draws, fireflies, beams and windows.

#include "BuilderTestSupport.h"

#include "DesktopWindow/LightLayers.h"
#include "Renderer/Random.h"

#include <gtest/gtest.h>

using namespace buildertest;

namespace {

Sprite lamp(double phase, double pulse, double travel = 0) {
    Sprite s;
    s.at = {50, 60};
    s.to = {58, 72};
    s.size = 1;
    s.phase = phase;
    s.pulse = pulse;
    s.travel = travel;
    return s;
}

}  // namespace

TEST(LightLayers, FlickerDrawsWeightsThenBrightnessThenScales) {
    struct Case { double pulse, depth; bool leap; };
    for (const Case c : {Case{0, 0.12, false}, {0.29, 0.29, false}, {0.3, 0.3, true}}) {
        const auto f = LightLayers::flicker(lamp(0.37, c.pulse));
        RNG rng(370007);
        double w[11], total = 0, run = 0;
        for (double& x : w) total += (x = rng.next() + 0.4);
        for (int k = 0; k < 11; ++k) EXPECT_DOUBLE_EQ(f.keyTimes[k + 1], (run += w[k]) / total);
        EXPECT_EQ(f.keyTimes.back(), 1);
        for (int k = 0; k < 11; ++k) EXPECT_EQ(f.brightness[k], 1 - c.depth * rng.next());
        EXPECT_EQ(f.brightness[11], f.brightness[0]);
        EXPECT_NEAR(f.period, 0.74 + 1.6 + 3 * (1 - c.depth), 1e-12);
        const auto layer = LightLayers::light(lamp(0.37, c.pulse));
        ASSERT_EQ(layer->animation("leap") != nullptr, c.leap) << c.pulse;
        if (!c.leap) continue;
        for (int k = 0; k < 11; ++k) EXPECT_EQ(f.scales[k], 0.85 + 0.35 * rng.next());
        for (int j = 0; j < 12; ++j) EXPECT_EQ(f.leapTimes[j], 1 - f.keyTimes[11 - j]);
        EXPECT_EQ(anim<ca::KeyframeAnimation>(*layer, "leap").duration, 0.37 + 1.1);
    }
    // Lights of one colour share one glow picture.
    EXPECT_EQ(LightLayers::light(lamp(0.1, 0))->contents(), LightLayers::light(lamp(0.9, 0.5))->contents());
}

TEST(LightLayers, FirefliesBeamsAndWindows) {
    const auto still = LightLayers::firefly(lamp(0.5, 0, 0));  // no loop radius: it only blinks
    for (const auto& v : anim<ca::KeyframeAnimation>(*still, "wander").values) EXPECT_EQ(v.point(), (cg::Point{50, 60}));
    EXPECT_EQ(anim<ca::KeyframeAnimation>(*still, "wander").duration, 8.5);
    EXPECT_EQ(anim<ca::KeyframeAnimation>(*still, "blink").duration, 3.1);

    Sprite b = lamp(0.5, 0);
    b.angle = 1;
    EXPECT_EQ(anim<ca::AnimationGroup>(*LightLayers::beam(b), "motion").animations.size(), 1u);  // turns, full opacity
    b.dim = {1, 0.2};
    const auto dimmed = LightLayers::beam(b);
    const auto& levels = child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*dimmed, "motion"), 1);
    EXPECT_EQ(levels.keyTimes, (std::vector<double>{0, 0.5, 1}));
    EXPECT_EQ(levels.values[2].number(), 1);
    b.travel = 0.5;
    const auto sweep = LightLayers::beam(b);
    EXPECT_EQ(anim<ca::AnimationGroup>(*sweep, "motion").duration, 21);
    EXPECT_EQ(child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*sweep, "motion"), 0).values[2].number(), 1.5);

    struct Case { double pulse; std::vector<double> lit; };  // at 1, 4.9, 5.1 and 19 s of a 20 s period
    for (const Case& c : {Case{0.25, {1, 1, 0, 0}}, {0, {0, 0, 0, 0}}, {1, {1, 1, 1, 1}}}) {
        const auto w = LightLayers::windowLight(lamp(0, c.pulse, 20));
        EXPECT_EQ(w->frame(), cg::Rect(50, 60, 8, 12));
        const double at[] = {1, 4.9, 5.1, 19};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(w->presentation(at[i]).opacity, c.lit[i]) << c.pulse << " " << at[i];
    }
}
