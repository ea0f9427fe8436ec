#include "Renderer/Grid.h"

#include <gtest/gtest.h>
#include <limits>

namespace {
// Fills each cell with 100·column + row.
void ramp(Grid& g) {
    for (int64_t j = 0; j < g.rows; ++j)
        for (int64_t i = 0; i < g.cols; ++i) g.at(i, j) = static_cast<float>(i * 100 + j);
}
}  // namespace

TEST(Grid, SampleAtCellCornersIsExact) {
    Grid g(6, 5, 0);
    ramp(g);
    EXPECT_EQ(g.sample(cg::Point{0, 0}), 0.0f);
    EXPECT_EQ(g.sample(cg::Point{8, 4}), 201.0f);
    EXPECT_EQ(g.sample(cg::Point{12, 8}), 302.0f);
    EXPECT_FLOAT_EQ(g.sample(cg::Point{6, 4}), 151.0f);  // halfway between two columns
}

TEST(Grid, SamplesClampAtEveryEdge) {
    Grid g(6, 5, 0);
    ramp(g);
    EXPECT_EQ(g.sample(cg::Point{-10, -10}), g.sample(cg::Point{0, 0}));
    // Far beyond the right and bottom edges: cell (cols − 2, rows − 2); the last column never counts.
    EXPECT_EQ(g.sample(cg::Point{1e6, 1e6}), g.at(4, 3));
    EXPECT_EQ(g.sample(cg::Point{16, 12}), g.at(4, 3));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(g.sample(cg::Point{nan, nan}), g.at(0, 0));
}

TEST(Grid, CopiesAreIndependent) {
    Grid g(3, 3, 2.5f);
    Grid c(Grid::CopyTag{}, g);
    c.at(1, 1) = 9;
    EXPECT_EQ(g.at(1, 1), 2.5f);
    EXPECT_EQ(c.cols, 3);
    EXPECT_EQ(c.p.size(), 9u);
}
