// Motion tolerance: transforms round to a lattice close to the exact one, exact values survive,
// and slow movers stop damaging every frame.

#include "AnimationTestSupport.h"

#include "Platform/Animation/Damage.h"
#include "Platform/Animation/Snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

using namespace ca;

namespace {

// Largest distance a corner of `box` lands from where `exact` puts it.
double cornerError(const cg::Transform& exact, const cg::Transform& settled, const cg::Rect& box) {
    double worst = 0;
    for (double x : {box.minX(), box.maxX()})
        for (double y : {box.minY(), box.maxY()}) {
            const cg::Point p{x, y}, a = exact.apply(p), b = settled.apply(p);
            worst = std::max(worst, std::hypot(a.x - b.x, a.y - b.y));
        }
    return worst;
}

cg::Transform turned(double angle, double scale, double tx, double ty) {
    const cg::Transform r = cg::Transform::rotation(angle);
    return {r.a * scale, r.b * scale, r.c * scale, r.d * scale, tx, ty};
}

}  // namespace

TEST(MotionTolerance, SettledTransformsStayWithinTheToleranceAndKeepExactValues) {
    const struct {
        cg::Transform t;
        cg::Rect box;
        bool rigid;
        double tolerance;
        bool unchanged;
    } rows[] = {
        {cg::Transform{2, 0, 0, 2, 100.25, 40.5}, cg::Rect(0, 0, 34, 36), false, 0.25, true},  // dyadic, quarters
        {cg::Transform{0.5, 0, 0, -1, 7.75, 12}, cg::Rect(0, 0, 34, 36), false, 0.25, true},   // a flip
        {cg::Transform{1.3, 0.1, -0.1, 1.3, 3.3, 4.4}, cg::Rect(0, 0, 34, 36), false, 0, true},  // no tolerance
        {turned(0.0371, 2, 512.37, 90.11), cg::Rect(0, 0, 68, 72), false, 0.25, false},
        {turned(2.5, 0.37, 1000.51, 2000.49), cg::Rect(0, 0, 380, 222), false, 0.5, false},
        {cg::Transform{2.13, 0.02, 0.4, 1.87, 33.3, 44.4}, cg::Rect(0, 0, 40, 24), false, 0.25, false},  // shear
        {turned(0.2, 2, 10, 10), cg::Rect(300, 300, 10, 10), false, 0.25, false},  // far from its origin
        {cg::Transform{1.7, 0.3, -0.2, 1.1, 20, 30}, cg::Rect(0, 0, 34, 36), true, 0.25, false},
    };
    for (const auto& row : rows) {
        const cg::Transform s = Snapshot::settled(row.t, row.box, row.rigid, row.tolerance);
        EXPECT_EQ(s == row.t, row.unchanged) << row.t.a << " " << row.t.tx;
        EXPECT_LE(cornerError(row.t, s, row.box), row.tolerance) << row.t.a << " " << row.t.tx;
        if (row.rigid) {
            EXPECT_TRUE(s.a == row.t.a && s.b == row.t.b && s.c == row.t.c && s.d == row.t.d);
        }
    }
    // A hairline keeps its scale and angle within 1/128 instead of being flattened by a lattice
    // sized to its width.
    const cg::Transform s = Snapshot::settled(turned(0.3, 2, 10.1, 20.2), cg::Rect(0, 0, 0.01, 40), false, 0.25);
    EXPECT_NEAR(std::hypot(s.a, s.b), 2, 1.0 / 128);
    EXPECT_NEAR(std::atan2(s.b, s.a), 0.3, 1.0 / 128);
}

TEST(MotionTolerance, SlowMoversDamageFewerFramesAndFastOnesEveryFrame) {
    // A 20-point sprite at scale 2 leaning 0.05 rad each way over 4 s (its tip moves about 0.04 px
    // a frame), and one crossing 100 points in 2 s (3.3 px a frame); damaged frames of 30.
    const auto lean = catest::looping(catest::keyframes("transform.rotation.z", {-0.05, 0.05, -0.05}), 4, 0);
    const auto cross = catest::looping(catest::keyframes("position", {cg::Point{10, 50}, cg::Point{110, 50}}), 2, 0);
    const struct {
        KeyframeAnimation animation;
        double tolerance;
        int fewest, most;
    } rows[] = {{lean, 0, 30, 30}, {lean, 0.25, 1, 10}, {cross, 0.25, 30, 30}};
    for (const auto& row : rows) {
        Layer root;
        root.addSublayer(std::make_shared<Layer>());
        Layer& sprite = *root.sublayers()[0];
        sprite.setContents(cg::Image::fromARGB32(1, 1, {0xFF336699u}));
        sprite.setFrame(cg::Rect(40, 40, 20, 20));
        sprite.add(row.animation, "motion");
        root.commit(0);
        Snapshot a, b;
        a.setMotionTolerance(row.tolerance);
        b.setMotionTolerance(row.tolerance);
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
        EXPECT_GE(damaged, row.fewest) << row.tolerance;
        EXPECT_LE(damaged, row.most) << row.tolerance;
    }
}

TEST(MotionTolerance, OpacityRoundsToHalfALevelAndTheFaintestVanish) {
    Layer root;
    root.setContents(cg::Image::fromARGB32(1, 1, {0xFF336699u}));
    root.setFrame(cg::Rect(0, 0, 10, 10));
    Snapshot s;
    s.setMotionTolerance(0.25);
    for (const auto& [opacity, drawn] : {std::pair{1.0, 1.0}, {0.5, 0.5}, {0.3, 38 / 128.0}, {0.002, 0.0}}) {
        root.setOpacity(opacity);
        s.capture(root, 0, {});
        EXPECT_EQ(s.entries()[0].visible ? s.entries()[0].alpha : 0, drawn) << opacity;
    }
}

// The lattice of positions is exp2(floor(log2(tolerance))), now worked out from the exponent where
// that gives the same step: tolerances at, just above and just below powers of two (where log2
// rounds up to the power) land on the same step as the logarithm gives, and so do odd ones.
TEST(MotionTolerance, ThePositionLatticeIsTheLogarithmsPowerOfTwoForEveryTolerance) {
    const double tolerances[] = {0.25,
                                 std::nextafter(0.25, 0.0),
                                 std::nextafter(0.25, 1.0),
                                 0.3,
                                 1,
                                 1 - 0x1p-40,
                                 std::nextafter(1.0, 0.0),
                                 4 * std::nextafter(1.0, 0.0),
                                 3,
                                 0x1p-20 * (1 - 0x1p-45),
                                 1e-300,
                                 4e-320};
    for (double tolerance : tolerances) {
        SCOPED_TRACE(tolerance);
        const double step = std::exp2(std::floor(std::log2(tolerance)));
        // A box centred 1.25 steps from the origin moves to the nearest lattice point, one step;
        // twice the step would take it to two steps, half of it to 1.5 (or 1) steps.
        const cg::Rect box(-1, -1, 2, 2);
        const cg::Transform at = cg::Transform::translation(1.25 * step, 1.25 * step);
        const cg::Transform got = Snapshot::settled(at, box, true, tolerance);
        EXPECT_EQ(got.tx, step);
        EXPECT_EQ(got.ty, step);
        // A captured snapshot uses the same lattice.
        Layer l;
        l.setBounds(cg::Rect(-1, -1, 2, 2));
        l.setAnchorPoint({0.5, 0.5});
        l.setPosition({1.25 * step, 1.25 * step});
        l.setBackgroundColor(cg::Color::rgb(0x102030));
        Snapshot snap;
        snap.setMotionTolerance(tolerance);
        snap.capture(l, 0, cg::Transform{});
        EXPECT_EQ(snap.entries()[0].toDevice.tx, step);
    }
}

// A snapshot remembers lattice steps between frames; a new tolerance must not reuse the old ones.
TEST(MotionTolerance, ANewToleranceTakesEffectOnTheNextCapture) {
    Layer l;
    l.setBounds(cg::Rect(0, 0, 40, 10));
    l.setPosition({100.3, 50.7});
    l.setBackgroundColor(cg::Color::rgb(0x102030));
    l.add(catest::basic("transform.rotation.z", 0.0, 1.0, 10), "turn");
    l.commit(0);
    for (double t : {1.0, 2.5, 4.0}) {
        SCOPED_TRACE(t);
        Snapshot reused;
        reused.setMotionTolerance(0.25);
        reused.capture(l, t, cg::Transform::scale(2, 2));
        reused.setMotionTolerance(4);
        reused.capture(l, t, cg::Transform::scale(2, 2));
        Snapshot fresh;
        fresh.setMotionTolerance(4);
        fresh.capture(l, t, cg::Transform::scale(2, 2));
        EXPECT_EQ(reused.entries()[0].toDevice, fresh.entries()[0].toDevice);
    }
}

namespace {

bool sameBits(const cg::Transform& x, const cg::Transform& y) {
    const double a[] = {x.a, x.b, x.c, x.d, x.tx, x.ty}, b[] = {y.a, y.b, y.c, y.d, y.tx, y.ty};
    for (int i = 0; i < 6; ++i)
        if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i])) return false;
    return true;
}

// R(θ)·[sx k; 0 sy] at device scale 2, placed at (x, y).
cg::Transform shaped(double angle, double sx, double k, double sy, double x, double y) {
    const double cs = std::cos(angle), sn = std::sin(angle);
    return {2 * cs * sx, 2 * sn * sx, 2 * (cs * k - sn * sy), 2 * (sn * k + cs * sy), x, y};
}

// The scale at which a 20 × 20 box's reach at device scale 2 sits on a boundary of the angle
// lattice's eighth-octave steps (tolerance 1/4): the step changes there.
double reachBoundaryScale() { return 0.25 * std::exp2(30.0 / 8) / (2 * std::hypot(10.0, 10.0)); }

}  // namespace

// Frame after frame a layer's transform is rounded with what the last frame worked out; that must
// give the same bits as rounding each frame afresh, whichever way the layer turns, grows or flips,
// and right at the lattice's rounding boundaries, where the shortcut must not decide.
TEST(MotionTolerance, RoundingWithTheLastFramesCellsGivesTheBitsOfRoundingAfresh) {
    constexpr double pi = 3.141592653589793;
    const double sb = reachBoundaryScale();
    const struct {
        const char* name;
        cg::Rect box;
        double tolerance;
        int frames;
        cg::Transform (*at)(int f, double sb);
        bool keepsCells;  // the shortcut has cells to use at the end
    } rows[] = {
        {"slow sway", cg::Rect(0, 0, 20, 20), 0.25, 240,
         [](int f, double) { return shaped(0.05 * std::sin(f / 40.0), 1, 0, 1, 300.3, 200.7 + f * 0.01); }, true},
        {"steady spin", cg::Rect(-5, 0, 40, 30), 0.25, 200,
         [](int f, double) { return shaped(0.3 * f, 1.5, 0, 1.5, 100, 100); }, false},
        {"slow turn through pi", cg::Rect(0, 0, 64, 16), 0.25, 200,
         [](int f, double) { return shaped(pi - 0.2 + 0.002 * f, 1, 0, 1, 50, 60); }, false},
        {"slow turn through zero", cg::Rect(0, 0, 16, 64), 0.25, 200,
         [](int f, double) { return shaped(-0.2 + 0.002 * f, 0.75, 0, 0.75, 50, 60); }, false},
        {"growing while turning", cg::Rect(0, 0, 30, 20), 0.25, 300,
         [](int f, double) { return shaped(0.01 * f, 0.3 + 0.01 * f, 0, 0.3 + 0.01 * f, 40, 40); }, false},
        {"flipped", cg::Rect(0, 0, 24, 24), 0.25, 120,
         [](int f, double) { return shaped(0.003 * f, -1, 0, 1, 10, 10); }, true},
        {"sheared", cg::Rect(0, 0, 24, 12), 0.25, 120,
         [](int f, double) { return shaped(0.7 + 0.001 * f, 1.2, 0.3 + 1e-4 * f, 0.8, 10, 10); }, true},
        {"zero height", cg::Rect(0, 0, 30, 0), 0.25, 120,
         [](int f, double) { return shaped(0.004 * f, 1, 0, 1, 10, 10); }, false},
        {"hairline", cg::Rect(0, 0, 0.01, 40), 0.25, 120,
         [](int f, double) { return shaped(0.3 + 0.001 * f, 1, 0, 1, 10.1, 20.2); }, false},
        {"uneven tolerance", cg::Rect(0, 0, 20, 20), 1.0 / 3, 200,
         [](int f, double) { return shaped(0.5 + 0.0015 * f, 1.1, 0, 0.9, 17, 19); }, true},
        // A small box's angle steps are 1/64, and the cell of 201/64 holds π: past it atan2 wraps to −π.
        {"small box turning through pi", cg::Rect(0, 0, 5, 4), 0.25, 200,
         [](int f, double) { return shaped(pi - 0.2 + 0.002 * f, 1, 0, 1, 50, 60); }, false},
        // The x scale a few units in the last place either side of a midpoint of its lattice (steps
        // of 1/64 here), at a new angle each frame so that the estimates' last bits vary.
        {"scale at a midpoint", cg::Rect(0, 0, 20, 20), 0.25, 4000,
         [](int f, double) { return shaped(0.37 * f, (1 + 1.0 / 256) * (1 + (f % 17 - 8) * 0x1p-52), 0, 1, 5, 5); },
         true},
        // The y scale and the shear likewise.
        {"shear at a midpoint", cg::Rect(0, 0, 20, 20), 0.25, 4000,
         [](int f, double) {
             const double e = 1 + (f % 13 - 6) * 0x1p-52;
             return shaped(0.37 * f, 1, 1.0 / 256 * e, (1 + 1.0 / 256) * e, 5, 5);
         },
         true},
        // The reach a few units in the last place either side of where the angle step changes.
        {"reach at a step boundary", cg::Rect(0, 0, 20, 20), 0.25, 4000,
         [](int f, double sb) {
             const double s = sb * (1 + (f % 11 - 5) * 0x1p-52);
             return shaped(0.37 * f, s, 0, s, 5, 5);
         },
         false},
        // The angle crossing a midpoint of its lattice (steps of 1/64 here) by a few units in the last place.
        {"angle at a midpoint", cg::Rect(0, 0, 5, 4), 0.25, 60,
         [](int f, double) { return shaped(2.5 / 64 + (f - 30) * 0x1p-56, 1, 0, 1, 5, 5); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Snapshot::Memo memo;
        int differing = 0;
        for (int f = 0; f < row.frames; ++f) {
            const cg::Transform t = row.at(f, sb);
            const cg::Transform fresh = Snapshot::settled(t, row.box, false, row.tolerance);
            const cg::Transform kept = Snapshot::settled(t, row.box, false, row.tolerance, memo);
            if (!sameBits(fresh, kept)) ++differing;
            // About the tolerance: the angle, the scales and the position each take part of it.
            EXPECT_LE(cornerError(t, kept, row.box), 2 * row.tolerance) << "frame " << f;
        }
        EXPECT_EQ(differing, 0);
        if (row.keepsCells) {
            EXPECT_GT(memo.cellTan, 0);
            EXPECT_GT(memo.reachHiSq, memo.reachLoSq);
        }
    }
}
