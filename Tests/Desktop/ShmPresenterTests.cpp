// The shared-memory presenter's clipping of damaged boxes to the frame (no display needed; the
// pixels it puts on screen are checked against the compositor's frame in the surface test).

#include "Platform/Desktop/ShmPresenter.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ShmPresenter, BoxesAreClippedToTheFrameAndEmptyOnesDropped) {
    using Box = ShmPresenter::Box;
    // A 100 × 50 frame; the kept boxes move to the front in order.
    std::vector<Box> boxes{{10, 20, 30, 25},  {-5, -8, 20, 20}, {100, 0, 5, 5},   {90, 45, 30, 30},
                           {3, 3, 0, 7},      {3, 3, 7, -2},    {0, -10, 5, 10},
                           {-2147483647, -2147483647, 2147483647, 2147483647}};
    const std::vector<Box> kept{{10, 20, 30, 25}, {0, 0, 15, 12}, {90, 45, 10, 5}};
    ASSERT_EQ(ShmPresenter::clip(boxes, 100, 50), kept.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(boxes[i].x, kept[i].x) << i;
        EXPECT_EQ(boxes[i].y, kept[i].y) << i;
        EXPECT_EQ(boxes[i].width, kept[i].width) << i;
        EXPECT_EQ(boxes[i].height, kept[i].height) << i;
    }
}
