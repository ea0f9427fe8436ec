// The damage index against a plain scan: every query over rectangles that fill the index's grid,
// its last column and row included, gives the answer a linear search gives.

#include "Platform/Animation/RectIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using ca::detail::RectIndex;

namespace {

bool sameRect(const cg::Rect& a, const cg::Rect& b) {
    return a.minX() == b.minX() && a.minY() == b.minY() && a.maxX() == b.maxX() && a.maxY() == b.maxY();
}

void expectLikeAScan(RectIndex& index, const std::vector<cg::Rect>& rects, const cg::Rect& q) {
    std::vector<cg::Rect> hits;
    bool contained = false;
    for (const cg::Rect& r : rects) {
        if (r.isEmpty() || !r.intersects(q)) continue;
        contained = contained || r.contains(q);
        hits.push_back(r);
    }
    EXPECT_EQ(index.intersectsAny(q), !hits.empty()) << q.minX() << "," << q.minY() << " " << q.width() << "x" << q.height();
    std::vector<cg::Rect> out;
    const bool whole = index.collect(q, out);
    EXPECT_EQ(whole, contained);
    if (whole) return;  // it may stop early
    ASSERT_EQ(out.size(), hits.size()) << q.minX() << "," << q.minY();
    for (const cg::Rect& h : hits)
        EXPECT_TRUE(std::any_of(out.begin(), out.end(), [&](const cg::Rect& o) { return sameRect(o, h); }));
}

}  // namespace

TEST(RectIndex, AnswersLikeAPlainScanFewOrManyRectangles) {
    std::mt19937 random(7);  // a fixed seed: the same rectangles every run
    for (const int count : {3, 8, 40, 300}) {
        std::uniform_real_distribution<double> x(0, 2560), y(0, 1440), side(1, 200);
        std::vector<cg::Rect> rects;
        for (int i = 0; i < count; ++i) rects.emplace_back(x(random), y(random), side(random), side(random));
        rects.emplace_back(2500, 1400, 60, 40);  // the far corner: the grid's last column and row
        rects.emplace_back(0, 0, 0, 0);          // empty ones are never hits
        RectIndex index;
        index.build(rects);
        for (int i = 0; i < 2000; ++i)
            expectLikeAScan(index, rects, cg::Rect(x(random) - 100, y(random) - 100, side(random), side(random)));
        // Queries at the edges of the whole box, and thin ones along them.
        for (const cg::Rect& q : {cg::Rect(2559, 1439, 1, 1), cg::Rect(2555, 0, 2, 1440), cg::Rect(0, 1438, 2560, 2),
                                  cg::Rect(-50, -50, 51, 51), cg::Rect(3000, 3000, 5, 5)})
            expectLikeAScan(index, rects, q);
    }
}

TEST(RectIndex, RebuildingForgetsTheOldRectangles) {
    RectIndex index;
    std::vector<cg::Rect> many;
    for (int i = 0; i < 20; ++i) many.emplace_back(i * 100.0, 0, 50, 50);
    index.build(many);
    EXPECT_TRUE(index.intersectsAny(cg::Rect(1910, 10, 5, 5)));
    index.build(std::vector<cg::Rect>{cg::Rect(0, 0, 10, 10)});
    EXPECT_FALSE(index.intersectsAny(cg::Rect(1910, 10, 5, 5)));
    EXPECT_TRUE(index.intersectsAny(cg::Rect(5, 5, 1, 1)));
    std::vector<cg::Rect> out;
    EXPECT_TRUE(index.collect(cg::Rect(2, 2, 3, 3), out));  // contained whole
    EXPECT_FALSE(index.collect(cg::Rect(8, 8, 5, 5), out));
    ASSERT_EQ(out.size(), 1u);
}
