#pragma once
// Where the Desktop icons stand, and how large they and their labels are.

#include <iosfwd>
#include <vector>

#include "Platform/Graphics/Geometry.h"

struct DeskLayout {
    // The sizes a layout accepts. A manager's value beyond them is a broken setting: an icon thousands of
    // points wide would leave the scenery no ground at all.
    static constexpr double minIconSize = 8, maxIconSize = 512, minTextSize = 4, maxTextSize = 128;

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

// For test failure messages: the sizes, the label side and every centre.
void PrintTo(const DeskLayout& layout, std::ostream* os);
