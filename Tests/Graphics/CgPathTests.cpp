// Path construction: curves, arcs, shapes, orientation and bounds.

#include "CgTestSupport.h"

#include "Platform/Graphics/Path.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

using namespace cg;
using E = Path::Element;

namespace {

// Twice the signed area of the polygon through every stored point: positive when the shapes run
// counter-clockwise in y-up space.
double signedArea(const Path& p) {
    const auto& pts = p.points();
    double s = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const Point a = pts[i], b = pts[(i + 1) % pts.size()];
        s += a.x * b.y - b.x * a.y;
    }
    return s;
}

Point cubicAt(Point p0, Point p1, Point p2, Point p3, double t) {
    const double u = 1 - t;
    return {u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
            u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y};
}

void expectRectNear(const Rect& a, const Rect& b, double tol) {
    EXPECT_NEAR(a.minX(), b.minX(), tol);
    EXPECT_NEAR(a.minY(), b.minY(), tol);
    EXPECT_NEAR(a.maxX(), b.maxX(), tol);
    EXPECT_NEAR(a.maxY(), b.maxY(), tol);
}

}  // namespace

TEST(CgPath, QuadraticBecomesTheSameCubic) {
    Path p;
    p.moveTo({0, 0});
    p.quadCurveTo({3, 6}, {6, 0});
    ASSERT_EQ(p.elements(), (std::vector<E>{E::moveTo, E::curveTo}));
    const auto& q = p.points();
    EXPECT_EQ(q[1], (Point{2, 4}));
    EXPECT_EQ(q[2], (Point{4, 4}));
    EXPECT_EQ(q[3], (Point{6, 0}));
    // Quadratic midpoint: 0.25·p0 + 0.5·c + 0.25·p2.
    const Point m = cubicAt(q[0], q[1], q[2], q[3], 0.5);
    EXPECT_NEAR(m.x, 3, 1e-12);
    EXPECT_NEAR(m.y, 3, 1e-12);
    // Bounds: control points versus the curve itself.
    EXPECT_EQ(p.boundingBox(), Rect(0, 0, 6, 4));
    expectRectNear(p.pathBoundingBox(), Rect(0, 0, 6, 3), 1e-9);
}

TEST(CgPath, ArcsRunBothWaysInYUpSpace) {
    Path ccw;
    ccw.addArc({0, 0}, 10, 0, std::numbers::pi / 2, false);
    expectRectNear(ccw.pathBoundingBox(), Rect(0, 0, 10, 10), 1e-6);
    EXPECT_NEAR(ccw.currentPoint()->x, 0, 1e-9);
    EXPECT_NEAR(ccw.currentPoint()->y, 10, 1e-9);
    EXPECT_GT(signedArea(ccw), 0);

    Path cw;
    cw.addArc({0, 0}, 10, 0, std::numbers::pi / 2, true);  // the long way round, through y = −10
    expectRectNear(cw.pathBoundingBox(), Rect(-10, -10, 20, 20), 1e-6);
    EXPECT_NEAR(cw.currentPoint()->y, 10, 1e-9);

    // A quarter circle stays within 0.03 % of its radius.
    const auto& pts = ccw.points();
    for (double t : {0.25, 0.5, 0.75}) {
        const Point m = cubicAt(pts[0], pts[1], pts[2], pts[3], t);
        EXPECT_NEAR(std::hypot(m.x, m.y), 10, 0.003);
    }

    // An existing current point is joined to the arc with a line.
    Path joined;
    joined.moveTo({-5, 0});
    joined.addArc({0, 0}, 2, 0, std::numbers::pi, false);
    EXPECT_EQ(joined.elements()[1], E::lineTo);
    EXPECT_EQ(joined.points()[1], (Point{2, 0}));

    // Counter-clockwise from a larger start angle wraps round; a full turn is a circle.
    Path wrap;
    wrap.addArc({0, 0}, 1, std::numbers::pi / 2, 0, false);
    expectRectNear(wrap.pathBoundingBox(), Rect(-1, -1, 2, 2), 1e-6);
    Path relative;
    relative.addRelativeArc({0, 0}, 1, 0, -std::numbers::pi / 2);
    EXPECT_NEAR(relative.currentPoint()->y, -1, 1e-12);
}

TEST(CgPath, ArcsNeverSweepMoreThanOneTurn) {
    const double pi = std::numbers::pi;
    struct Case {
        double start, end;
        bool clockwise;
    } cases[] = {{0, 4.5 * pi, false}, {0, 2 * pi + 0.1, false}, {0, -4.5 * pi, true}, {pi, -3.2 * pi, true}};
    for (const Case& c : cases) {
        Path over, turn;
        over.addArc({0, 0}, 5, c.start, c.end, c.clockwise);
        turn.addRelativeArc({0, 0}, 5, c.start, c.clockwise ? -2 * pi : 2 * pi);
        EXPECT_EQ(over.points().size(), turn.points().size()) << c.start << " → " << c.end;
        EXPECT_NEAR(signedArea(over), signedArea(turn), 1e-9) << c.start << " → " << c.end;
    }
}

TEST(CgPath, ShapesRunCounterClockwiseAndBoundTheirRect) {
    const Rect r(2, 3, 20, 10);
    Path rect, ellipse, rounded, capsule;
    rect.addRect(r);
    ellipse.addEllipse(r);
    rounded.addRoundedRect(r, 6, 3);
    capsule.addCapsule({0, 0}, {10, 0}, 2);
    for (const Path* p : {&rect, &ellipse, &rounded, &capsule}) {
        EXPECT_GT(signedArea(*p), 0);
        EXPECT_EQ(p->elements().back(), E::close);
        EXPECT_EQ(p->elements().front(), E::moveTo);
    }
    EXPECT_EQ(rect.pathBoundingBox(), r);
    expectRectNear(ellipse.pathBoundingBox(), r, 1e-9);
    expectRectNear(rounded.pathBoundingBox(), r, 1e-9);
    expectRectNear(capsule.pathBoundingBox(), Rect(-2, -2, 14, 4), 1e-6);
    EXPECT_EQ(ellipse.points().front(), (Point{22, 8}));  // starts on the right

    // Elliptical corners: the straight edges start cornerWidth / cornerHeight in.
    const auto& pts = rounded.points();
    EXPECT_NE(std::find(pts.begin(), pts.end(), Point{22, 6}), pts.end());
    EXPECT_NE(std::find(pts.begin(), pts.end(), Point{16, 13}), pts.end());
    // Oversized corners are clamped to half the rect; none at all gives a plain rect.
    Path big;
    big.addRoundedRect(r, 50, 50);
    expectRectNear(big.pathBoundingBox(), r, 1e-9);
    Path flat;
    flat.addRoundedRect(r, 0, 4);
    EXPECT_EQ(flat, rect);
    Path degenerate;
    degenerate.addCapsule({3, 3}, {3, 3}, 1);
    expectRectNear(degenerate.pathBoundingBox(), Rect(2, 2, 2, 2), 1e-9);
}

TEST(CgPath, CapsulesUniteWithOtherShapesUnderWinding) {
    Path p;
    p.addCapsule({5, 10}, {25, 10}, 4);
    p.addEllipse(Rect(10, 4, 12, 12));
    p.addRect(Rect(12, 8, 4, 4));
    auto c = cgtest::bitmap(30, 20);
    c->fill(p, FillRule::winding);
    for (int x = 3; x < 27; ++x) EXPECT_EQ(cgtest::up(*c, x, 10).a, 255) << x;
    EXPECT_EQ(cgtest::up(*c, 16, 14).a, 255);  // ellipse only
    EXPECT_EQ(cgtest::up(*c, 2, 17).a, 0);
}

TEST(CgPath, SubpathsCopiesAndTransforms) {
    Path p;
    EXPECT_TRUE(p.isEmpty());
    EXPECT_FALSE(p.currentPoint().has_value());
    EXPECT_TRUE(p.boundingBox().isNull());
    p.moveTo({0, 0});
    p.lineTo({10, 0});
    p.lineTo({10, 10});
    p.closeSubpath();
    EXPECT_EQ(*p.currentPoint(), (Point{0, 0}));
    p.lineTo({0, 10});  // starts a new subpath at the closed one's start
    EXPECT_EQ(p.elements(), (std::vector<E>{E::moveTo, E::lineTo, E::lineTo, E::close, E::moveTo, E::lineTo}));
    EXPECT_EQ(p.points()[3], (Point{0, 0}));

    Path copy = p;
    copy.lineTo({5, 5});
    EXPECT_EQ(p.elements().size(), 6u);
    EXPECT_EQ(copy.elements().size(), 7u);

    Path moved;
    moved.addPath(p, Transform::translation(100, 0));
    EXPECT_EQ(moved.boundingBox(), Rect(100, 0, 10, 10));
    Path self = p;
    self.addPath(self);
    EXPECT_EQ(self.elements().size(), 12u);

    Path lines;
    const Point pts[] = {{1, 1}, {2, 3}, {4, 1}};
    lines.addLines(pts, Transform::scale(2, 2));
    EXPECT_EQ(lines.boundingBox(), Rect(2, 2, 6, 4));
    EXPECT_EQ(lines.applying(Transform::translation(1, 1)).boundingBox(), Rect(3, 3, 6, 4));
    // A line without a current point starts the path there.
    Path bare;
    bare.lineTo({3, 4});
    EXPECT_EQ(bare.elements().front(), E::moveTo);
}

TEST(CgPath, NonFiniteInputDrawsNothingAndDoesNotBreakTheContext) {
    auto c = cgtest::bitmap(10, 10);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    c->fill(Rect(nan, 0, 5, 5));
    c->moveTo({0, 0});
    c->lineTo({nan, 5});
    c->lineTo({5, 5});
    c->fillPath();
    c->scaleBy(0, 0);  // singular transform
    c->setLineWidth(2);
    const Point s[] = {{0, 0}, {10, 10}};
    c->strokeLineSegments(s);
    c->drawLinearGradient(Gradient({Color::black(), Color::white()}), {0, 0}, {1, 0});
    c->scaleBy(std::numeric_limits<double>::infinity(), 1);
    c->fill(Rect(0, 0, 1, 1));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(c->pixel(x, y), 0u);
    // Still usable afterwards.
    auto d = cgtest::bitmap(10, 10);
    d->fill(Rect(nan, 0, 5, 5));
    d->fill(Rect(0, 0, 5, 5));
    EXPECT_EQ(cgtest::up(*d, 2, 2).a, 255);
}

// A path emptied for reuse (a presentation's path, every frame) equals a new one, whatever it held.
TEST(CgPath, AClearedPathEqualsANewOne) {
    const std::function<void(Path&)> fills[] = {
        [](Path& p) { p.moveTo({3, 4}); },
        [](Path& p) { p.moveTo({3, 4}); p.lineTo({7, 9}); },
        [](Path& p) { p.moveTo({1, 1}); p.curveTo({2, 5}, {6, 5}, {8, 1}); p.closeSubpath(); },
        [](Path& p) { p.addEllipse(Rect(10, 20, 30, 40)); },
    };
    for (size_t i = 0; i < std::size(fills); ++i) {
        Path p;
        fills[i](p);
        EXPECT_FALSE(p == Path()) << i;
        p.clear();
        EXPECT_TRUE(p == Path()) << i;
        EXPECT_TRUE(p.isEmpty()) << i;
        // Drawing again from it draws as a new path does.
        Path fresh;
        p.lineTo({5, 5});
        fresh.lineTo({5, 5});
        p.closeSubpath();
        fresh.closeSubpath();
        EXPECT_TRUE(p == fresh) << i;
    }
}
