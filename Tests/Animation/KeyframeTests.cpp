// Keyframe interpolation, timing functions, paths and the transform sub-key-paths.

#include "AnimationTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using namespace ca;
using catest::keyframes;
using catest::looping;

namespace {

constexpr double kPi = std::numbers::pi;

// A layer with one animation of duration 1 added at media time 0: presentation(t) samples the
// animation at fraction t.
template <class A>
std::unique_ptr<Layer> withAnimation(A a, std::unique_ptr<Layer> l = std::make_unique<Layer>()) {
    a.duration = 1;
    a.fillMode = FillMode::forwards;
    a.isRemovedOnCompletion = false;
    l->add(a, "k");
    l->commit(0);
    return l;
}

cg::ImageRef pixel(uint32_t argb) { return cg::Image::fromARGB32(1, 1, {argb}); }

}  // namespace

// --- Discrete mode ---

TEST(Discrete, NPlusOneKeyTimesHoldEachValueUntilTheNextKeyTime) {
    // The window light: [1, 0] at [0, pulse, 1].
    KeyframeAnimation w = keyframes("opacity", {1.0, 0.0}, {0, 0.3, 1});
    w.calculationMode = CalculationMode::discrete;
    auto l = withAnimation(w);
    EXPECT_EQ(l->presentation(0).opacity, 1.0);
    EXPECT_EQ(l->presentation(0.2999).opacity, 1.0);
    EXPECT_EQ(l->presentation(0.3).opacity, 0.0);
    EXPECT_EQ(l->presentation(0.99).opacity, 0.0);
    // The drizzle: 4 positions at 5 key times.
    KeyframeAnimation d = keyframes("position", {cg::Point{0, 0}, cg::Point{1, 0}, cg::Point{2, 0}, cg::Point{3, 0}},
                                    {0, 0.1, 0.5, 0.6, 1});
    d.calculationMode = CalculationMode::discrete;
    auto m = withAnimation(d);
    EXPECT_EQ(m->presentation(0.05).position.x, 0);
    EXPECT_EQ(m->presentation(0.45).position.x, 1);
    EXPECT_EQ(m->presentation(0.55).position.x, 2);
    EXPECT_EQ(m->presentation(0.95).position.x, 3);
}

TEST(Discrete, WithoutKeyTimesNValuesShareNIntervals) {
    const auto a = pixel(0xFF000001u), b = pixel(0xFF000002u), c = pixel(0xFF000003u), d = pixel(0xFF000004u);
    KeyframeAnimation k = keyframes("contents", {a, b, c, d});
    k.calculationMode = CalculationMode::discrete;
    auto l = withAnimation(k);
    EXPECT_EQ(l->presentation(0.0).contents, a);
    EXPECT_EQ(l->presentation(0.26).contents, b);
    EXPECT_EQ(l->presentation(0.74).contents, c);  // the same shared picture, not a copy
    EXPECT_EQ(l->presentation(0.76).contents, d);
    EXPECT_EQ(l->presentation(5).contents, d);  // filled forwards
}

// --- Linear mode and per-segment timing functions ---

TEST(Linear, KeyTimesAndPerSegmentTimingFunctions) {
    // The ripple container: [0, 1, 0.45, 0] at [0, 0.08, 0.45, 1], [easeOut, easeIn, easeOut].
    KeyframeAnimation k = keyframes("opacity", {0.0, 1.0, 0.45, 0.0}, {0, 0.08, 0.45, 1});
    using N = TimingFunction::Name;
    k.timingFunctions = {TimingFunction::named(N::easeOut), TimingFunction::named(N::easeIn),
                         TimingFunction::named(N::easeOut)};
    auto l = withAnimation(k);
    EXPECT_DOUBLE_EQ(l->presentation(0.08).opacity, 1.0);
    EXPECT_DOUBLE_EQ(l->presentation(0.45).opacity, 0.45);
    const double u = (0.265 - 0.08) / (0.45 - 0.08);
    EXPECT_DOUBLE_EQ(l->presentation(0.265).opacity, 1.0 + (0.45 - 1.0) * TimingFunction::named(N::easeIn)(u));
}

TEST(TimingFunctions, NamedAndControlPointCurves) {
    const TimingFunction easeOut = TimingFunction::named(TimingFunction::Name::easeOut);
    EXPECT_EQ(easeOut(0), 0);
    EXPECT_EQ(easeOut(1), 1);
    // x(u) = 0.5 at u = 0.5 for a curve symmetric in time: y(0.5) of (0.42,0,0.58,1) is 0.5.
    EXPECT_NEAR(TimingFunction::named(TimingFunction::Name::easeInEaseOut)(0.5), 0.5, 1e-14);
    // Known point of (0.2, 0.5, 0.3, 1.0): u = 0.5 gives x = 0.3125, y = 0.6875.
    const TimingFunction ripple(0.2, 0.5, 0.3, 1.0);
    EXPECT_NEAR(ripple(0.3125), 0.6875, 1e-12);
}

// --- Cubic mode ---

TEST(Cubic, PassesThroughItsKeyframesAndFollowsCatmullRom) {
    auto l = withAnimation([] {
        KeyframeAnimation k = keyframes("opacity", {0.0, 1.0, 0.0});
        k.calculationMode = CalculationMode::cubic;
        return k;
    }());
    EXPECT_EQ(l->presentation(0).opacity, 0.0);
    EXPECT_EQ(l->presentation(0.5).opacity, 1.0);
    EXPECT_EQ(l->presentation(1).opacity, 0.0);
    // Segment 0 at u = 0.5: tangents (1 − 0)/2 at the end keyframe and (0 − 0)/2 at the peak.
    // h00·0 + h10·0.5 + h01·1 + h11·0 = 0.125·0.5 + 0.5 = 0.5625.
    EXPECT_DOUBLE_EQ(l->presentation(0.25).opacity, 0.5625);
    EXPECT_DOUBLE_EQ(l->presentation(0.75).opacity, 0.5625);  // symmetric
}

TEST(Cubic, UnevenKeyTimesScaleTheTangents) {
    // [0.5, 1.1, 0.7] at [0, 0.45, 1] (drifting's scale.x). Tangent at the middle keyframe:
    // (0.7 − 0.5)/2 = 0.1, scaled by 2·0.45/(0.45 + 0.55) = 0.9 on the first segment.
    KeyframeAnimation k = keyframes("transform.scale.x", {0.5, 1.1, 0.7}, {0, 0.45, 1});
    k.calculationMode = CalculationMode::cubic;
    auto l = withAnimation(k);
    const double h00 = 0.5, h10 = 0.125, h01 = 0.5, h11 = -0.125;  // Hermite weights at u = 0.5
    const double mOut = 0.5 * (1.1 - 0.5) * 1.0, mIn = 0.1 * 0.9;
    EXPECT_NEAR(l->presentation(0.225).scaleX, h00 * 0.5 + h10 * mOut + h01 * 1.1 + h11 * mIn, 1e-12);
    EXPECT_EQ(l->presentation(0.45).scaleX, 1.1);
}

// --- Paths ---

TEST(PathKeyframes, TimeIsSpreadEvenlyOverTheElements) {
    cg::Path path;
    path.moveTo({0, 0});
    path.lineTo({100, 0});  // long
    path.lineTo({100, 10});  // short
    KeyframeAnimation k("position");
    k.setPath(path);
    auto l = withAnimation(k);
    EXPECT_EQ(l->presentation(0.25).position, (cg::Point{50, 0}));
    EXPECT_EQ(l->presentation(0.5).position, (cg::Point{100, 0}));
    EXPECT_EQ(l->presentation(0.75).position, (cg::Point{100, 5}));
}

TEST(PathKeyframes, AutoRotateFollowsTheTangentAndTurnsAtACorner) {
    cg::Path path;
    path.moveTo({0, 0});
    path.lineTo({10, 0});   // heading 0
    path.lineTo({10, 10});  // heading π/2
    KeyframeAnimation k("position");
    k.setPath(path);
    k.rotationMode = RotationMode::autoRotate;
    auto layer = std::make_unique<Layer>();
    layer->setAffineTransform(cg::Transform::rotation(0.1));  // the model rotation stays under it
    auto l = withAnimation(k, std::move(layer));
    EXPECT_NEAR(l->presentation(0.25).rotation, 0.1, 1e-15);
    EXPECT_NEAR(l->presentation(0.4999).rotation, 0.1, 1e-15);
    EXPECT_NEAR(l->presentation(0.5).rotation, 0.1 + kPi / 2, 1e-15);  // at the corner: the next leg
    EXPECT_NEAR(l->presentation(0.75).rotation, 0.1 + kPi / 2, 1e-15);
    const cg::Transform t = l->presentation(0.75).transform;
    EXPECT_NEAR(t.a, std::cos(0.1 + kPi / 2), 1e-15);
    EXPECT_NEAR(t.b, std::sin(0.1 + kPi / 2), 1e-15);
}

TEST(PathKeyframes, QuadCurveWithTimingFunctionAndAutoReverse) {
    // A tracer: from (0, 0) to (100, 0) over the control (50, 20).
    cg::Path path;
    path.moveTo({0, 0});
    path.quadCurveTo({50, 20}, {100, 0});
    KeyframeAnimation k("position");
    k.setPath(path);
    k.rotationMode = RotationMode::autoReverse;
    k.timingFunction = TimingFunction(0.2, 0.5, 0.6, 1);
    auto l = withAnimation(k);
    const double f = TimingFunction(0.2, 0.5, 0.6, 1)(0.5);
    const Presentation p = l->presentation(0.5);
    EXPECT_NEAR(p.position.x, 100 * f, 1e-9);
    EXPECT_NEAR(p.position.y, 40 * f * (1 - f), 1e-9);
    EXPECT_NEAR(p.rotation, std::atan2(20 * (1 - 2 * f), 50) + kPi, 1e-9);
}

TEST(PathKeyframes, AnArcUnderATransformIsAnEllipticOrbit) {
    // The satellite: the arc π → 3π of radius 100 under translate(500, 300)·scale(1, 0.3).
    cg::Path orbit;
    const cg::Transform t = cg::Transform::scale(1, 0.3).concatenating(cg::Transform::translation(500, 300));
    orbit.addArc({0, 0}, 100, kPi, 3 * kPi, false, t);
    KeyframeAnimation k("position");
    k.setPath(orbit);
    auto l = withAnimation(k);
    EXPECT_NEAR(l->presentation(0).position.x, 400, 1e-9);
    EXPECT_NEAR(l->presentation(0).position.y, 300, 1e-9);
    EXPECT_NEAR(l->presentation(0.25).position.x, 500, 1e-9);  // lowest point after a quarter
    EXPECT_NEAR(l->presentation(0.25).position.y, 270, 1e-9);
    EXPECT_NEAR(l->presentation(0.75).position.y, 330, 1e-9);
}

// --- Shape key paths ---

TEST(ShapeKeyPaths, PathAndLineWidthInterpolate) {
    cg::Path small, big;
    small.addEllipse(cg::Rect(-2, -2, 4, 4));
    big.addEllipse(cg::Rect(-36, -36, 72, 72));
    AnimationGroup g;
    BasicAnimation p("path");
    p.fromValue = small;
    p.toValue = big;
    g.add(p);
    BasicAnimation w("lineWidth");
    w.fromValue = 1.6;
    w.toValue = 1.6 * 0.35;
    g.add(w);
    auto l = withAnimation(g, std::make_unique<ShapeLayer>());
    const Presentation mid = l->presentation(0.5);
    EXPECT_TRUE(mid.hasPath);
    EXPECT_NEAR(mid.path.pathBoundingBox().width(), 38, 1e-9);
    EXPECT_NEAR(mid.lineWidth, 0.5 * (1.6 + 0.56), 1e-12);
}

// --- Transform sub-key-paths ---

TEST(TransformParts, ScaleComposesWithTheModelRotationAboutTheAnchor) {
    Layer l;
    l.setBounds(cg::Rect(0, 0, 20, 10));
    l.setAnchorPoint({0, 0.5});
    l.setPosition({100, 100});
    l.setAffineTransform(cg::Transform::rotation(kPi / 2));
    KeyframeAnimation k = keyframes("transform.scale.x", {2.0, 2.0});
    l.add(looping(k, 1, 0), "s");
    l.commit(0);
    const Presentation p = l.presentation(0.5);
    EXPECT_NEAR(p.rotation, kPi / 2, 1e-15);
    EXPECT_EQ(p.scaleX, 2);
    // The far end of the layer (20, 5) lies 40 points up from the anchor.
    const cg::Point far = p.toSuperlayer().apply(cg::Point{20, 5});
    EXPECT_NEAR(far.x, 100, 1e-12);
    EXPECT_NEAR(far.y, 140, 1e-12);
    EXPECT_NEAR(p.frame().height(), 40, 1e-12);
}


// A layer lays out its own copies of keyframes flat, and a group the keyframes that join it, when
// all their values are numbers or all are points: key times first, then the values; the caller's
// animations stay as they were.
TEST(KeyframeLayout, ALayerLaysOutItsOwnCopiesOfNumbersAndPointsFlat) {
    using Flat = KeyframeAnimation::Flat;
    const struct {
        const char* name;
        std::vector<Value> values;
        std::vector<double> keyTimes;
        Flat kind;
        std::vector<double> flat;
    } rows[] = {
        {"numbers", {0.0, 1.0, 0.5}, {}, Flat::numbers, {0.0, 1.0, 0.5}},
        {"numbers at key times", {0.0, 1.0, 0.5}, {0, 0.25, 1}, Flat::numbers, {0, 0.25, 1, 0.0, 1.0, 0.5}},
        {"points", {cg::Point{0, 1}, cg::Point{5, 3}}, {0, 1}, Flat::points, {0, 1, 0, 1, 5, 3}},
        {"mixed", {0.0, cg::Point{5, 3}}, {}, Flat::none, {}},
        {"a missing value", {0.0, Value()}, {}, Flat::none, {}},
        {"none", {}, {}, Flat::none, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        KeyframeAnimation k = keyframes("opacity", row.values, row.keyTimes);
        AnimationGroup g;
        g.add(k);
        Layer l;
        l.add(k, "k");
        l.add(g, "g");
        const auto& own = static_cast<const KeyframeAnimation&>(*l.animation("k"));
        EXPECT_EQ(own.flatKind(), row.kind);
        EXPECT_EQ(std::vector<double>(own.flat().begin(), own.flat().end()), row.flat);
        const auto& child =
            static_cast<const KeyframeAnimation&>(*static_cast<const AnimationGroup&>(*l.animation("g")).animations[0]);
        EXPECT_EQ(child.flatKind(), row.kind);
        EXPECT_EQ(std::vector<double>(child.flat().begin(), child.flat().end()), row.flat);
        EXPECT_TRUE(k.flat().empty());
        EXPECT_EQ(static_cast<const KeyframeAnimation&>(*g.animations[0]).flatKind(), row.kind);
    }
    // Laid out again after its values are edited, a copy follows them.
    KeyframeAnimation k = keyframes("opacity", {0.0, 1.0});
    k.layOutFlat();
    k.values = {0.25, 0.5, 0.75};
    k.layOutFlat();
    EXPECT_EQ(std::vector<double>(k.flat().begin(), k.flat().end()), (std::vector<double>{0.25, 0.5, 0.75}));
}
