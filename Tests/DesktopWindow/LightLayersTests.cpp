// Light builders: the flicker's draws, fireflies, beams and windows.

#include "BuilderTestSupport.h"

#include "DesktopWindow/LightLayers.h"
#include "Renderer/Random.h"

#include <numbers>

using namespace buildertest;

namespace {

Sprite lightSprite(Sprite::Kind kind, double phase, double pulse, double travel = 0) {
    Sprite s;
    s.kind = kind;
    s.at = {50, 60};
    s.size = 1;
    s.phase = phase;
    s.pulse = pulse;
    s.travel = travel;
    s.color = 0xFFB040;
    return s;
}

}  // namespace

TEST(LightLayers, FlickerDrawsWeightsThenBrightnessThenScales) {
    struct Case { double pulse; double depth; bool leap; };
    for (const Case c : {Case{0, 0.12, false}, {0.29, 0.29, false}, {0.3, 0.3, true}, {0.6, 0.6, true}}) {
        const Sprite s = lightSprite(Sprite::Kind::light, 0.37, c.pulse);
        const auto f = LightLayers::flicker(s);
        RNG rng(370007);
        double w[11], total = 0, run = 0;
        for (double& x : w) total += (x = rng.next() + 0.4);
        for (int k = 0; k < 11; ++k) EXPECT_DOUBLE_EQ(f.keyTimes[k + 1], (run += w[k]) / total);
        EXPECT_EQ(f.keyTimes.front(), 0);
        EXPECT_EQ(f.keyTimes.back(), 1);
        for (int k = 0; k < 11; ++k) EXPECT_EQ(f.brightness[k], 1 - c.depth * rng.next());
        EXPECT_EQ(f.brightness[11], f.brightness[0]);
        EXPECT_NEAR(f.period, 2 * 0.37 + 1.6 + 3 * (1 - c.depth), 1e-12);
        ASSERT_EQ(!f.scales.empty(), c.leap) << c.pulse;
        const auto layer = LightLayers::light(s);
        EXPECT_EQ(layer->animation("leap") != nullptr, c.leap);
        EXPECT_EQ(anim<ca::KeyframeAnimation>(*layer, "flicker").calculationMode, ca::CalculationMode::cubic);
        if (!c.leap) continue;
        for (int k = 0; k < 11; ++k) EXPECT_EQ(f.scales[k], 0.85 + 0.35 * rng.next());
        for (int j = 0; j < 12; ++j) EXPECT_EQ(f.leapTimes[j], 1 - f.keyTimes[11 - j]);
        EXPECT_EQ(anim<ca::KeyframeAnimation>(*layer, "leap").duration, 0.37 + 1.1);
    }
    // The same phase and depth flicker in step whatever the colour; glows of one colour share a picture.
    Sprite other = lightSprite(Sprite::Kind::light, 0.37, 0);
    other.color = 0x40B0FF;
    EXPECT_EQ(LightLayers::flicker(other).brightness, LightLayers::flicker(lightSprite(Sprite::Kind::light, 0.37, 0)).brightness);
    const auto a = LightLayers::light(other), b = LightLayers::light(other);
    EXPECT_EQ(a->contents(), b->contents());
    EXPECT_EQ(a->bounds(), cg::Rect(0, 0, 2.2 * 22, 2.2 * 22));
}

TEST(LightLayers, FirefliesWanderAboutTheirPlaceAndBlink) {
    for (double travel : {0.0, 12.0}) {
        const auto f = LightLayers::firefly(lightSprite(Sprite::Kind::firefly, 0.5, 0, travel));
        const auto& wander = anim<ca::KeyframeAnimation>(*f, "wander");
        ASSERT_EQ(wander.values.size(), 6u);
        EXPECT_EQ(wander.duration, 3 * 0.5 + 7);
        EXPECT_EQ(anim<ca::KeyframeAnimation>(*f, "blink").duration, 0.5 + 2.6);
        const double a = 6.283 * 0.5 + 2.4, r = travel * (0.6 * std::fabs(std::sin(4.5 + 1.7)) + 0.4);
        EXPECT_NEAR(wander.values[1].point().x, 50 + std::cos(a) * r, 1e-12);
        EXPECT_EQ(wander.values[5].point(), wander.values[0].point());
    }
}

TEST(LightLayers, BeamsSweepOrTurnWithTheirBrightnessLevels) {
    Sprite s = lightSprite(Sprite::Kind::beam, 0.5, 0, 0);
    s.angle = 1;
    const auto turning = LightLayers::beam(s);
    const auto& g = anim<ca::AnimationGroup>(*turning, "motion");
    EXPECT_EQ(keyPaths(g), std::vector<std::string>{"transform.rotation.z"});
    EXPECT_EQ(g.duration, 28);
    EXPECT_EQ(turning->opacity(), 1);
    s.dim = {1, 0.2};
    const auto dimmed = LightLayers::beam(s);
    const auto& dim = child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*dimmed, "motion"), 1);
    EXPECT_EQ(dim.keyTimes, (std::vector<double>{0, 0.5, 1}));
    EXPECT_EQ(numbers(dim.values), (std::vector<double>{1, 0.2, 1}));
    s.travel = 0.5;
    const auto sweep = LightLayers::beam(s);
    const auto& sg = anim<ca::AnimationGroup>(*sweep, "motion");
    EXPECT_EQ(sg.duration, 21);
    EXPECT_EQ(numbers(child<ca::KeyframeAnimation>(sg, 0).values), (std::vector<double>{0.5, 0.5, 1.5, 1.1, 0.5}));
    EXPECT_EQ(sweep->opacity(), 0);
}

TEST(LightLayers, WindowsAreLitForTheirPulseOfEachPeriod) {
    struct Case { double pulse; std::vector<double> lit; };  // at 1, 4.9, 5.1 and 19 s of a 20 s period
    for (const Case& c : {Case{0.25, {1, 1, 0, 0}}, {0, {0, 0, 0, 0}}, {1, {1, 1, 1, 1}}}) {
        Sprite s = lightSprite(Sprite::Kind::window, 0, c.pulse, 20);
        s.to = {58, 72};
        const auto w = LightLayers::windowLight(s);
        EXPECT_EQ(w->frame(), cg::Rect(50, 60, 8, 12));
        w->commit(0);
        const double at[] = {1, 4.9, 5.1, 19};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(w->presentation(at[i]).opacity, c.lit[i]) << c.pulse << " " << at[i];
    }
}

TEST(LightLayers, ContactSheetOfNightLightsFirefliesAndBeams) {
    using K = Sprite::Kind;
    std::vector<SheetRow> rows;
    auto add = [&](K kind, size_t n, LayerRef (*build)(const Sprite&), bool picture = false) {
        auto picked = sprites(SceneKind::archipelago, true, kind, [&](const Sprite& s) {
            return (s.image != nullptr) == picture && s.at.x > 100 && s.at.x < 1610 && s.at.y > 100 && s.at.y < 1012;
        });
        picked.resize(std::min(picked.size(), n));
        for (auto& r : rowsOf(SceneKind::archipelago, true, picked, build, 30)) rows.push_back(r);
    };
    add(K::light, 1, LightLayers::light);
    add(K::light, 1, LightLayers::light, true);
    add(K::firefly, 2, LightLayers::firefly);
    add(K::beam, 1, LightLayers::beam, true);
    ASSERT_EQ(rows.size(), 5u);
    const auto sheet = contactSheet("light-sheet", rows, kSheetTimes);
    ASSERT_TRUE(sheet);
    for (int r = 2; r < 5; ++r) EXPECT_GT(rowChange(*sheet, r, 5), 0.2) << r;
}
