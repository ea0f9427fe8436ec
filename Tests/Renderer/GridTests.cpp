#include "Renderer/Grid.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <limits>
#include <string>

#include "Platform/Dispatch/Dispatch.h"

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

// Big grids are filled and copied in row blocks on several threads: every cell, the last partial block
// and the edges included, holds the fill or the original's value, at one thread and at eight, for grids
// below, at and above the size where the blocks start, and for empty ones.
TEST(Grid, EveryCellIsFilledAndCopiedAtAnySize) {
    struct Case {
        int64_t cols, rows;
        float fill;
    };
    const Case cases[] = {{5, 4, 1.0f},    {256, 255, -0.5f}, {256, 256, 3.0f}, {428, 279, 1000000.0f},
                          {1, 70000, 2.0f}, {70000, 1, 7.0f},  {0, 9, 4.0f},     {9, -2, 4.0f}};
    for (int threads : {1, 8}) {
        dispatch::ThreadCountScope scope(threads);
        for (const Case& k : cases) {
            const std::string what = std::to_string(k.cols) + " x " + std::to_string(k.rows) + " at " +
                                     std::to_string(threads) + " threads";
            Grid g(k.cols, k.rows, k.fill);
            const std::size_t n = k.cols > 0 && k.rows > 0 ? static_cast<std::size_t>(k.cols * k.rows) : 0;
            ASSERT_EQ(g.p.size(), n) << what;
            std::size_t wrong = 0;
            for (float x : g.p) wrong += x != k.fill;
            EXPECT_EQ(wrong, 0u) << what;
            for (std::size_t i = 0; i < n; ++i) g.p[i] = static_cast<float>(i % 9973) - k.fill;
            const Grid copy(Grid::CopyTag{}, g);
            ASSERT_EQ(copy.p.size(), n) << what;
            EXPECT_EQ(copy.cols, g.cols);
            EXPECT_EQ(copy.rows, g.rows);
            wrong = 0;
            for (std::size_t i = 0; i < n; ++i) wrong += copy.p[i] != g.p[i];
            EXPECT_EQ(wrong, 0u) << what;
        }
    }
}
