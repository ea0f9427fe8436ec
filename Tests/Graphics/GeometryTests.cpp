#include "Platform/Graphics/Geometry.h"

#include <cmath>
#include <gtest/gtest.h>

using cg::Point;
using cg::Rect;
using cg::Transform;

TEST(Rect, IntersectsIsStrictAtSharedEdges) {
    const Rect a(0, 0, 10, 10);
    EXPECT_FALSE(a.intersects(Rect(10, 0, 5, 5)));
    EXPECT_FALSE(a.intersects(Rect(0, 10, 5, 5)));
    EXPECT_TRUE(a.intersects(Rect(9.999, 9.999, 5, 5)));
    EXPECT_TRUE(a.intersection(Rect(10, 0, 5, 5)).isNull());
    EXPECT_EQ(a.intersection(Rect(5, -5, 10, 10)), Rect(5, 0, 5, 5));
    EXPECT_FALSE(a.intersects(Rect::null()));
}

TEST(Rect, ContainsPointIsHalfOpenAndContainsRectInclusive) {
    const Rect a(0, 0, 10, 10);
    EXPECT_TRUE(a.contains(Point{0, 0}));
    EXPECT_FALSE(a.contains(Point{10, 5}));
    EXPECT_FALSE(a.contains(Point{5, 10}));
    EXPECT_TRUE(a.contains(Point{9.999, 9.999}));
    EXPECT_TRUE(a.contains(a));
    EXPECT_TRUE(a.contains(Rect(0, 0, 10, 5)));
    EXPECT_FALSE(a.contains(Rect(0, 0, 10.01, 5)));
}

TEST(Rect, NegativeSizesAreStandardised) {
    const Rect r(10, 10, -4, -6);
    EXPECT_EQ(r.minX(), 6);
    EXPECT_EQ(r.maxY(), 10);
    EXPECT_EQ(r.width(), 4);
    EXPECT_TRUE(r.contains(Point{7, 5}));
    EXPECT_EQ(r, Rect(6, 4, 4, 6));
}

TEST(Rect, InsetGrowsWhenNegativeAndVanishesWhenTooLarge) {
    const Rect r(0, 0, 10, 10);
    EXPECT_EQ(r.insetBy(-2, -3), Rect(-2, -3, 14, 16));
    EXPECT_EQ(r.insetBy(2, 1), Rect(2, 1, 6, 8));
    EXPECT_TRUE(r.insetBy(6, 0).isNull());
}

TEST(Rect, UnionSkipsNullRects) {
    const Rect a(0, 0, 1, 1), b(5, 5, 1, 2);
    EXPECT_EQ(a.unionWith(b), Rect(0, 0, 6, 7));
    EXPECT_EQ(Rect::null().unionWith(b), b);
    EXPECT_EQ(a.unionWith(Rect::null()), a);
    EXPECT_TRUE(Rect::null().unionWith(Rect::null()).isNull());
}

TEST(Transform, StepsComposeLikeTheReference) {
    // Translate then scale: the scale acts first on the point, in the translated space.
    const Transform t = Transform::identity().translatedBy(10, 20).scaledBy(2, 3);
    const Point p = t.apply(Point{1, 1});
    EXPECT_EQ(p.x, 12);
    EXPECT_EQ(p.y, 23);
    const Transform r = Transform::identity().rotatedBy(M_PI / 2);
    const Point q = r.apply(Point{1, 0});
    EXPECT_NEAR(q.x, 0, 1e-12);
    EXPECT_NEAR(q.y, 1, 1e-12);
    const Point back = t.inverted().apply(p);
    EXPECT_NEAR(back.x, 1, 1e-12);
    EXPECT_NEAR(back.y, 1, 1e-12);
    EXPECT_EQ(Transform::scale(0, 0).inverted(), Transform::scale(0, 0));
    const Rect turned = Rect(0, 0, 2, 1).applying(r);
    EXPECT_NEAR(turned.minX(), -1, 1e-12);
    EXPECT_NEAR(turned.maxX(), 0, 1e-12);
    EXPECT_NEAR(turned.maxY(), 2, 1e-12);
    EXPECT_EQ(Rect(0.5, -0.25, 1, 1).integral(), Rect(0, -1, 2, 2));
}

TEST(Rect, NaNOnEitherSideMeetsNothingAndAddsNothing) {
    const double nan = std::nan("");
    const Rect a(0, 0, 10, 10);
    for (const Rect& bad : {Rect(nan, nan, 48, 48), Rect(2, 2, nan, 4), Rect(nan, 1, 1, 1)}) {
        EXPECT_FALSE(a.intersects(bad));
        EXPECT_FALSE(bad.intersects(a));
        EXPECT_TRUE(a.intersection(bad).isNull());
        EXPECT_TRUE(bad.intersection(a).isNull());
        EXPECT_FALSE(a.contains(bad));
        EXPECT_FALSE(bad.contains(a));
        EXPECT_EQ(a.unionWith(bad), a);
        EXPECT_EQ(bad.unionWith(a), a);
    }
}
