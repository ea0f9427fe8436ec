// The shared-memory presenter's clipping of damaged boxes to the frame (no display needed; the
// pixels it puts on screen are checked against the compositor's frame in the surface test).

#include "Platform/Desktop/ShmPresenter.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ShmPresenter, BoxesAreClippedToTheFrameAndEmptyOnesDropped) {
    using Box = ShmPresenter::Box;
    const struct {
        const char* what;
        Box in;
        bool kept;
        Box out;
    } rows[] = {
        {"inside", {10, 20, 30, 25}, true, {10, 20, 30, 25}},
        {"over the left and top", {-5, -8, 20, 20}, true, {0, 0, 15, 12}},
        {"over the right and bottom", {90, 45, 30, 30}, true, {90, 45, 10, 5}},
        {"beyond the right", {100, 0, 5, 5}, false, {}},
        {"above the top", {0, -10, 5, 10}, false, {}},
        {"no width", {3, 3, 0, 7}, false, {}},
        {"negative height", {3, 3, 7, -2}, false, {}},
        {"huge", {-2147483647, -2147483647, 2147483647, 2147483647}, false, {}},
    };
    for (const auto& row : rows) {
        std::vector<Box> boxes{row.in};
        const size_t n = ShmPresenter::clip(boxes, 100, 50);
        ASSERT_EQ(n, row.kept ? 1u : 0u) << row.what;
        if (row.kept) {
            EXPECT_EQ(boxes[0].x, row.out.x) << row.what;
            EXPECT_EQ(boxes[0].y, row.out.y) << row.what;
            EXPECT_EQ(boxes[0].width, row.out.width) << row.what;
            EXPECT_EQ(boxes[0].height, row.out.height) << row.what;
        }
    }
    // Kept boxes move to the front in order.
    std::vector<Box> mixed{{200, 0, 5, 5}, {1, 1, 2, 2}, {0, 60, 5, 5}, {4, 4, 1, 1}};
    ASSERT_EQ(ShmPresenter::clip(mixed, 100, 50), 2u);
    EXPECT_EQ(mixed[0].x, 1);
    EXPECT_EQ(mixed[1].x, 4);
}
