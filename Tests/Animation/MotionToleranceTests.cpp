// Motion tolerance: transforms round to a lattice close to the exact one, exact values survive,
// and slow movers stop damaging every frame.

#include "AnimationTestSupport.h"

#include "Platform/Animation/Damage.h"
#include "Platform/Animation/Snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

using namespace ca;
using catest::keyframes;
using catest::looping;

namespace {

// Largest distance a corner of `extent` lands from where `exact` puts it.
double cornerError(const cg::Transform& exact, const cg::Transform& settled, const cg::Rect& extent) {
    double worst = 0;
    for (const cg::Point p : std::array<cg::Point, 4>{{{extent.minX(), extent.minY()},
                                                       {extent.maxX(), extent.minY()},
                                                       {extent.minX(), extent.maxY()},
                                                       {extent.maxX(), extent.maxY()}}}) {
        const cg::Point a = exact.apply(p), b = settled.apply(p);
        worst = std::max(worst, std::hypot(a.x - b.x, a.y - b.y));
    }
    return worst;
}

cg::Transform turned(double angle, double scale, double tx, double ty) {
    const cg::Transform r = cg::Transform::rotation(angle);
    return {r.a * scale, r.b * scale, r.c * scale, r.d * scale, tx, ty};
}

}  // namespace

TEST(MotionTolerance, ExactValuesStayExact) {
    const cg::Rect box(0, 0, 34, 36);
    const struct {
        cg::Transform t;
        bool rigid;
    } rows[] = {
        {cg::Transform{}, false},
        {cg::Transform{2, 0, 0, 2, 100, 40}, false},          // whole position, dyadic scale
        {cg::Transform{2, 0, 0, 2, 100.25, 40.5}, false},     // quarter pixels
        {cg::Transform{0.5, 0, 0, -1, 7.75, 12}, false},      // a flip
        {cg::Transform{1.7, 0.3, -0.2, 1.1, 20, 30}, true},   // rigid: the linear part is kept
    };
    for (const auto& row : rows) {
        const cg::Transform s = Snapshot::settled(row.t, box, row.rigid, 0.25);
        EXPECT_EQ(s.a, row.t.a);
        EXPECT_EQ(s.b, row.t.b);
        EXPECT_EQ(s.c, row.t.c);
        EXPECT_EQ(s.d, row.t.d);
        if (!row.rigid) {
            EXPECT_EQ(s.tx, row.t.tx);
            EXPECT_EQ(s.ty, row.t.ty);
        }
        EXPECT_LE(cornerError(row.t, s, box), 0.25);
    }
    const cg::Transform odd{1.3, 0.1, -0.1, 1.3, 3.3, 4.4};
    EXPECT_EQ(Snapshot::settled(odd, box, false, 0), odd);  // no tolerance: untouched
    // An endless extent has no lattice to round the turn to; the result stays finite.
    const cg::Transform endless = Snapshot::settled(odd, cg::Rect(0, 0, 1e308, 1e308), false, 0.25);
    EXPECT_TRUE(std::isfinite(endless.a + endless.b + endless.c + endless.d + endless.tx + endless.ty));
}

TEST(MotionTolerance, SettledCornersStayWithinTheTolerance) {
    const struct {
        cg::Transform t;
        cg::Rect extent;
        double tolerance;
    } rows[] = {
        {turned(0.0371, 2, 512.37, 90.11), cg::Rect(0, 0, 68, 72), 0.25},
        {turned(-1.234, 1, 3.9, -7.06), cg::Rect(-10, -4, 20, 8), 0.25},
        {turned(2.5, 0.37, 1000.51, 2000.49), cg::Rect(0, 0, 380, 222), 0.5},
        {cg::Transform{2.13, 0.02, 0.4, 1.87, 33.3, 44.4}, cg::Rect(0, 0, 40, 24), 0.25},  // scale and shear
        {turned(0.2, 2, 10, 10), cg::Rect(300, 300, 10, 10), 0.25},  // far from its origin
    };
    for (const auto& row : rows) {
        const cg::Transform s = Snapshot::settled(row.t, row.extent, false, row.tolerance);
        EXPECT_LE(cornerError(row.t, s, row.extent), row.tolerance) << row.t.a << " " << row.t.b;
        EXPECT_FALSE(s == row.t);  // something was rounded
    }
    // A hairline (a stroke along a 0.01-point-wide box) keeps its scale and angle within a step of
    // 1/64 instead of being flattened by a lattice sized to its width.
    const cg::Transform hair = turned(0.3, 2, 10.1, 20.2);
    const cg::Transform s = Snapshot::settled(hair, cg::Rect(0, 0, 0.01, 40), false, 0.25);
    EXPECT_NEAR(std::hypot(s.a, s.b), 2, 1.0 / 128);
    EXPECT_NEAR(std::atan2(s.b, s.a), 0.3, 1.0 / 128);
}

TEST(MotionTolerance, SlowMoversDamageFewerFramesAndFastOnesEveryFrame) {
    // A 20-point sprite at scale 2 leaning 0.05 rad each way over 4 s (its tip moves about 0.04 px
    // a frame), and one crossing 100 points in 2 s (3.3 px a frame).
    struct Case {
        const char* what;
        KeyframeAnimation animation;
        double tolerance;
        int fewest, most;  // damaged frames of 30
    };
    const Case cases[] = {
        {"lean, exact", looping(keyframes("transform.rotation.z", {-0.05, 0.05, -0.05}), 4, 0), 0, 30, 30},
        {"lean", looping(keyframes("transform.rotation.z", {-0.05, 0.05, -0.05}), 4, 0), 0.25, 1, 10},
        {"cross", looping(keyframes("position", {cg::Point{10, 50}, cg::Point{110, 50}}), 2, 0), 0.25, 30, 30},
    };
    for (const Case& c : cases) {
        Layer root;
        root.setFrame(cg::Rect(0, 0, 200, 100));
        auto sprite = std::make_shared<Layer>();
        sprite->setContents(cg::Image::fromARGB32(1, 1, {0xFF336699u}));
        sprite->setFrame(cg::Rect(40, 40, 20, 20));
        sprite->add(c.animation, "motion");
        root.addSublayer(sprite);
        root.commit(0);
        Snapshot a, b;
        a.setMotionTolerance(c.tolerance);
        b.setMotionTolerance(c.tolerance);
        Damage damage;
        std::vector<cg::Rect> rects;
        a.capture(root, 0.2, cg::Transform::scale(2, 2));
        int damaged = 0;
        for (int f = 1; f <= 30; ++f) {
            b.capture(root, 0.2 + f / 30.0, cg::Transform::scale(2, 2));
            damage.compute(a, b, rects);
            damaged += rects.empty() ? 0 : 1;
            std::swap(a, b);
        }
        EXPECT_GE(damaged, c.fewest) << c.what;
        EXPECT_LE(damaged, c.most) << c.what;
    }
}

TEST(MotionTolerance, OpacityRoundsToHalfALevelAndTheFaintestVanish) {
    const struct {
        double opacity, drawn;
        bool visible;
    } rows[] = {{1, 1, true}, {0.5, 0.5, true}, {0.3, 38 / 128.0, true}, {0.002, 0, false}};
    for (const auto& row : rows) {
        Layer root;
        root.setFrame(cg::Rect(0, 0, 10, 10));
        root.setContents(cg::Image::fromARGB32(1, 1, {0xFF336699u}));
        root.setOpacity(row.opacity);
        Snapshot s;
        s.setMotionTolerance(0.25);
        s.capture(root, 0, {});
        EXPECT_EQ(s.entries()[0].visible, row.visible) << row.opacity;
        if (row.visible) {
            EXPECT_EQ(s.entries()[0].alpha, row.drawn) << row.opacity;
        }
    }
}
