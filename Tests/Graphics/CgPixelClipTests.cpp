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

TEST(CgPixelClip, DrawUnclippedBlendsEdgesInsteadOfCuttingThem) {
    auto img = Image::fromARGB32(4, 4, std::vector<uint32_t>(16, 0xFFFF0000u));
    auto c = bitmap(20, 20, 2);
    c->drawUnclipped(*img, Rect(2.25, 3, 2, 2));  // 4 × 4 px at x = 4.5 px: half a pixel off
    EXPECT_EQ(up(*c, 6, 7).a, 255);
    EXPECT_NEAR(up(*c, 4, 7).a, 128, 2);  // the first column straddles the edge
    EXPECT_NEAR(up(*c, 8, 7).a, 128, 2);
    EXPECT_EQ(up(*c, 9, 7).a, 0);
    // Drawn larger than its pixels it is cut at the rect like draw().
    auto d = bitmap(20, 20);
    d->drawUnclipped(*img, Rect(5, 5, 10, 10));
    EXPECT_EQ(up(*d, 5, 5).a, 255);
    EXPECT_EQ(up(*d, 4, 5).a, 0);
}

TEST(CgPixelClip, DrawPixelAlignedIgnoresTheTransformButNotTheClip) {
    auto img = Image::fromARGB32(2, 1, {0xFF0000FFu, 0xFF00FF00u});
    auto c = bitmap(10, 10, 3);
    c->rotateBy(1);
    c->drawPixelAligned(*img, 4, 6);
    EXPECT_EQ(up(*c, 4, 6).b, 255);
    EXPECT_EQ(up(*c, 5, 6).g, 255);
    EXPECT_EQ(up(*c, 4, 7).a, 0);
    const Rect keep[] = {Rect(0, 0, 5, 10)};
    auto d = bitmap(10, 10);
    d->clipToPixelRects(keep);
    d->setAlpha(0.5);
    d->drawPixelAligned(*img, 4, 6);
    EXPECT_NEAR(up(*d, 4, 6).b, 128, 1);
    EXPECT_EQ(up(*d, 5, 6).a, 0);
}

TEST(CgPixelClip, EnlargedPicturesWithAClearBorderNeedNoCutAndLookTheSame) {
    // 6 × 6 red texels with a clear ring around the inner 4 × 4, or red to the edge.
    std::vector<uint32_t> ringed(36, 0), full(36, 0xFFFF0000u);
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 5; ++x) ringed[size_t(y * 6 + x)] = 0xFFFF0000u;
    const struct {
        const char* what;
        std::vector<uint32_t> pixels;
        double turn;
    } rows[] = {{"ringed", ringed, 0}, {"ringed, turned", ringed, 0.3}, {"red to the edge, turned", full, 0.3}};
    for (const auto& row : rows) {
        const auto img = Image::fromARGB32(6, 6, row.pixels);
        auto unclipped = bitmap(40, 40), clipped = bitmap(40, 40);
        for (Context* c : {unclipped.get(), clipped.get()}) {
            c->translateBy(20, 20);
            c->rotateBy(row.turn);
        }
        const Rect r(-8.3, -7.6, 16, 15);  // 6 texels over 16 × 15 pixels
        unclipped->drawUnclipped(*img, r);
        clipped->draw(*img, r);
        int worst = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) worst = std::max(worst, std::abs(up(*unclipped, x, y).a - up(*clipped, x, y).a));
        EXPECT_LE(worst, 2) << row.what;
        EXPECT_EQ(up(*unclipped, 20, 20).r, 255) << row.what;
    }
}
