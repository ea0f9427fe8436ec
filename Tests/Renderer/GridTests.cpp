#include "Renderer/Grid.h"

#include <gtest/gtest.h>
#include <limits>

namespace {
Grid ramp(int cols, int rows) {
    Grid g(cols, rows, 0);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) g.at(i, j) = static_cast<float>(i * 100 + j);
    return g;
}
}  // namespace

TEST(Grid, SampleAtCellCornersIsExact) {
    const Grid g = ramp(6, 5);
    EXPECT_EQ(g.sample(cg::Point{0, 0}), 0.0f);
    EXPECT_EQ(g.sample(cg::Point{8, 4}), 201.0f);
    EXPECT_EQ(g.sample(cg::Point{12, 8}), 302.0f);
    EXPECT_FLOAT_EQ(g.sample(cg::Point{6, 4}), 251.0f);  // halfway between two columns
}

TEST(Grid, SamplesClampAtEveryEdge) {
    const Grid g = ramp(6, 5);
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
