#pragma once
// Where the Desktop icons stand, and how large they and their labels are.

#include <vector>

#include "Platform/Graphics/Geometry.h"

struct DeskLayout {
    // Icon centres in global Desktop coordinates: points, origin at the top left of the primary screen, y
    // downward; sorted by x, then y.
    std::vector<cg::Point> centers;
    double iconSize = 64;
    double textSize = 12;
    bool labelsRight = false;

    friend bool operator==(const DeskLayout&, const DeskLayout&) = default;

    // The centres that fall on one screen, in that screen's own top-left, y-down coordinates, in the order
    // of `centers`. `frame` is the screen in global screen coordinates (origin at the bottom left of the
    // primary screen, y upward); `primaryHeight` is the primary screen's height. The right and bottom
    // edges belong to the neighbouring screen.
    std::vector<cg::Point> centersOn(const cg::Rect& frame, double primaryHeight) const;
};
