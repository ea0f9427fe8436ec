#include "Finder/DeskLayout.h"

#include <ostream>

#include "Finder/FinderError.h"
#include "Finder/FinderResult.h"

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

void PrintTo(const DeskLayout& layout, std::ostream* os) {
    *os << "DeskLayout{icon " << layout.iconSize << ", text " << layout.textSize << ", labels "
        << (layout.labelsRight ? "right" : "bottom") << ", centers [";
    for (size_t i = 0; i < layout.centers.size(); ++i)
        *os << (i ? ", " : "") << "(" << layout.centers[i].x << ", " << layout.centers[i].y << ")";
    *os << "]}";
}

void PrintTo(const FinderError& error, std::ostream* os) {
    *os << "FinderError{" << error.source << ", code " << error.code << ", \"" << error.reason << "\""
        << (error.quiet ? ", quiet" : "") << "}";
}

void PrintTo(const FinderResult& result, std::ostream* os) {
    if (result.ok()) PrintTo(result.layout(), os);
    else PrintTo(result.error(), os);
}
