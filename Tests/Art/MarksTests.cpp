// Art::marks and Art::quadPieces: the thin marks leave the state shape() leaves, and a curve cut into
// pieces stays on the curve.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ArtTestSupport.h"

TEST(ArtMarks, LeaveTheColourWidthCapAndJoinAsShapeDoes) {
    auto viaShape = arttest::painter(40, 40, 2);
    auto viaMarks = arttest::painter(40, 40, 2);
    const cg::Point pair[] = {{5, 5}, {30, 20}};
    viaShape.art->shape(0x336699, 0.5, 1.5, [&](cg::Path& p) {
        p.moveTo(pair[0]);
        p.lineTo(pair[1]);
    });
    viaMarks.art->marks(0x336699, 0.5, 1.5, pair);
    const cg::Context& a = *viaShape.bitmap;
    const cg::Context& b = *viaMarks.bitmap;
    EXPECT_EQ(a.lineWidth(), b.lineWidth());
    EXPECT_EQ(a.lineCap(), b.lineCap());
    EXPECT_EQ(a.lineJoin(), b.lineJoin());
    EXPECT_EQ(a.strokeColor().r, b.strokeColor().r);
    EXPECT_EQ(a.strokeColor().a, b.strokeColor().a);
    // And the same mark: the middle of the segment has the colour at half alpha.
    const cgtest::Px mid = cgtest::up(b, 35, 25);
    EXPECT_NEAR(mid.a, 128, 2);
    EXPECT_NEAR(mid.a, cgtest::up(a, 35, 25).a, 2);
}

TEST(ArtMarks, QuadPiecesFollowTheCurveEndToEnd) {
    struct Case {
        cg::Point a, c, b;
        int pieces;
    };
    const Case cases[] = {
        {{0, 0}, {5, 10}, {12, 0}, 8},      // a frond's spine
        {{3, 3}, {3, 3}, {3, 3}, 4},        // all in one point
        {{0, 0}, {-20, 40}, {30, 10}, 16},  // a wide bend
        {{1, 2}, {4, 6}, {7, 10}, 1},       // straight, one piece
    };
    for (const Case& k : cases) {
        std::vector<cg::Point> pairs{{99, 99}, {98, 98}};  // what was there stays
        Art::quadPieces(pairs, k.a, k.c, k.b, k.pieces);
        ASSERT_EQ(pairs.size(), 2 + 2 * static_cast<std::size_t>(k.pieces));
        EXPECT_EQ(pairs[0].x, 99);
        EXPECT_EQ(pairs[2].x, k.a.x);
        EXPECT_EQ(pairs[2].y, k.a.y);
        EXPECT_EQ(pairs.back().x, k.b.x);
        EXPECT_EQ(pairs.back().y, k.b.y);
        for (std::size_t i = 3; i + 1 < pairs.size(); i += 2) {
            // Pieces join end to start, and each end lies on the curve.
            EXPECT_EQ(pairs[i].x, pairs[i + 1].x);
            EXPECT_EQ(pairs[i].y, pairs[i + 1].y);
            const double t = static_cast<double>((i - 1) / 2) / k.pieces;
            const double u = 1 - t;
            EXPECT_NEAR(pairs[i].x, u * u * k.a.x + 2 * u * t * k.c.x + t * t * k.b.x, 1e-12);
            EXPECT_NEAR(pairs[i].y, u * u * k.a.y + 2 * u * t * k.c.y + t * t * k.b.y, 1e-12);
        }
    }
}
