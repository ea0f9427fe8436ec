// The two additions for the compositor: clipping to rects in pixel space and shadows alone.

#include "CgTestSupport.h"

#include <gtest/gtest.h>

using namespace cg;
using cgtest::bitmap;
using cgtest::up;

TEST(CgPixelClip, RectsInPixelSpaceWhateverTheTransform) {
    auto c = bitmap(40, 40, 2);  // user space scaled by 2
    c->translateBy(3, 5);
    const Rect rects[] = {Rect(0, 0, 10, 10), Rect(30, 30, 10, 10), Rect(5, 5, 10, 10)};
    c->clipToPixelRects(rects);
    c->setFillColor(Color::rgb(0xFF0000));
    c->fill(Rect(-100, -100, 400, 400));
    EXPECT_EQ(up(*c, 0, 0).r, 255);
    EXPECT_EQ(up(*c, 14, 14).r, 255);  // overlapping rects unite
    EXPECT_EQ(up(*c, 35, 35).r, 255);
    EXPECT_EQ(up(*c, 20, 20).a, 0);
    EXPECT_EQ(up(*c, 10, 2).a, 0);
}

TEST(CgPixelClip, FillShadowOnlyDrawsTheShadowAndNotTheShape) {
    auto c = bitmap(40, 40);
    c->setShadow({10, 0}, 0, Color::rgb(0x0000FF));
    c->setFillColor(Color::black());
    Path p;
    p.addRect(Rect(5, 5, 10, 10));
    c->fillShadowOnly(p);
    EXPECT_EQ(up(*c, 8, 8).a, 0);      // the shape itself stays clear
    EXPECT_EQ(up(*c, 18, 8).b, 255);   // its shadow, 10 px to the right
    EXPECT_EQ(up(*c, 30, 8).a, 0);
}
