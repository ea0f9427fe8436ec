#include "Platform/Graphics/Geometry.h"

namespace cg {

Rect Rect::applying(const Transform& t) const {
    if (isNull()) return *this;
    const Point p[4] = {t.apply(Point{minX(), minY()}), t.apply(Point{maxX(), minY()}),
                        t.apply(Point{minX(), maxY()}), t.apply(Point{maxX(), maxY()})};
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const Point& q : p) {
        x0 = std::min(x0, q.x); x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y); y1 = std::max(y1, q.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

}  // namespace cg
