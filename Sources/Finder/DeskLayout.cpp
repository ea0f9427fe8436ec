#include "Finder/DeskLayout.h"

std::vector<cg::Point> DeskLayout::centersOn(const cg::Rect& frame, double primaryHeight) const {
    std::vector<cg::Point> out;
    const double left = frame.minX(), top = primaryHeight - frame.maxY();
    const double w = frame.width(), h = frame.height();
    for (const cg::Point& p : centers) {
        const cg::Point local{p.x - left, p.y - top};
        // Written so that a NaN coordinate fails the test and the point is dropped.
        if (local.x >= 0 && local.x < w && local.y >= 0 && local.y < h) out.push_back(local);
    }
    return out;
}
