#include "Platform/Graphics/Path.h"

#include <cmath>
#include <numbers>

namespace cg {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Extends [lo, hi] by the extrema of one coordinate of a cubic Bézier.
void cubicExtrema(double p0, double p1, double p2, double p3, double& lo, double& hi) {
    // B'(t) / 3 = a t² + b t + c
    const double a = -p0 + 3 * p1 - 3 * p2 + p3;
    const double b = 2 * (p0 - 2 * p1 + p2);
    const double c = p1 - p0;
    auto consider = [&](double t) {
        if (!(t > 0 && t < 1)) return;
        const double u = 1 - t;
        const double v = u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    };
    if (std::fabs(a) < 1e-12) {
        if (std::fabs(b) > 1e-12) consider(-c / b);
        return;
    }
    const double disc = b * b - 4 * a * c;
    if (disc < 0) return;
    const double s = std::sqrt(disc);
    consider((-b + s) / (2 * a));
    consider((-b - s) / (2 * a));
}

}  // namespace

void Path::ensureCurrent(Point p) {
    // A drawing element without a current point starts a subpath there; after a close the next
    // element starts a new subpath at the closed subpath's start.
    if (!hasCurrent_) {
        elements_.push_back(Element::moveTo);
        points_.push_back(p);
        start_ = current_ = p;
        hasCurrent_ = true;
    } else if (!elements_.empty() && elements_.back() == Element::close) {
        elements_.push_back(Element::moveTo);
        points_.push_back(current_);
    }
}

void Path::moveTo(Point p, const Transform& t) {
    const Point q = t.apply(p);
    elements_.push_back(Element::moveTo);
    points_.push_back(q);
    start_ = current_ = q;
    hasCurrent_ = true;
}

void Path::lineTo(Point p, const Transform& t) {
    const Point q = t.apply(p);
    ensureCurrent(q);
    elements_.push_back(Element::lineTo);
    points_.push_back(q);
    current_ = q;
}

void Path::quadCurveTo(Point control, Point to, const Transform& t) {
    const Point c = t.apply(control);
    const Point e = t.apply(to);
    ensureCurrent(c);
    const Point s = current_;
    // The cubic with controls two thirds of the way to the quadratic control is the same curve.
    const Point c1{s.x + 2.0 / 3.0 * (c.x - s.x), s.y + 2.0 / 3.0 * (c.y - s.y)};
    const Point c2{e.x + 2.0 / 3.0 * (c.x - e.x), e.y + 2.0 / 3.0 * (c.y - e.y)};
    elements_.push_back(Element::curveTo);
    points_.push_back(c1);
    points_.push_back(c2);
    points_.push_back(e);
    current_ = e;
}

void Path::curveTo(Point control1, Point control2, Point to, const Transform& t) {
    const Point c1 = t.apply(control1);
    const Point c2 = t.apply(control2);
    const Point e = t.apply(to);
    ensureCurrent(c1);
    elements_.push_back(Element::curveTo);
    points_.push_back(c1);
    points_.push_back(c2);
    points_.push_back(e);
    current_ = e;
}

void Path::arcPieces(Point center, double radius, double start, double delta, const Transform& t) {
    const Point first = t.apply(Point{center.x + radius * std::cos(start), center.y + radius * std::sin(start)});
    if (hasCurrent_ && !(elements_.back() == Element::close)) {
        if (!(first == current_)) lineTo(first);
    } else {
        moveTo(first);
    }
    if (delta == 0 || radius == 0) return;
    const int n = std::max(1, static_cast<int>(std::ceil(std::fabs(delta) / (std::numbers::pi / 2) - 1e-9)));
    const double step = delta / n;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    double a0 = start;
    for (int i = 0; i < n; ++i) {
        const double a1 = (i == n - 1) ? start + delta : a0 + step;
        const double c0 = std::cos(a0), s0 = std::sin(a0), c1 = std::cos(a1), s1 = std::sin(a1);
        const Point p1{center.x + radius * (c0 - k * s0), center.y + radius * (s0 + k * c0)};
        const Point p2{center.x + radius * (c1 + k * s1), center.y + radius * (s1 - k * c1)};
        const Point p3{center.x + radius * c1, center.y + radius * s1};
        curveTo(p1, p2, p3, t);
        a0 = a1;
    }
}

void Path::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise,
                  const Transform& t) {
    if (!std::isfinite(startAngle) || !std::isfinite(endAngle) || !std::isfinite(radius)) return;
    radius = std::fabs(radius);
    double delta = endAngle - startAngle;
    if (!clockwise) {
        if (delta < 0) delta = std::fmod(delta, kTwoPi) + kTwoPi;
        delta = std::min(delta, kTwoPi);
    } else {
        if (delta > 0) delta = std::fmod(delta, kTwoPi) - kTwoPi;
        delta = std::max(delta, -kTwoPi);
    }
    arcPieces(center, radius, startAngle, delta, t);
}

void Path::addRelativeArc(Point center, double radius, double startAngle, double delta,
                          const Transform& t) {
    if (!std::isfinite(startAngle) || !std::isfinite(delta) || !std::isfinite(radius)) return;
    arcPieces(center, std::fabs(radius), startAngle, delta, t);
}

void Path::addRect(const Rect& rect, const Transform& t) {
    if (rect.isNull()) return;
    const Rect r = rect.standardized();
    moveTo({r.minX(), r.minY()}, t);
    lineTo({r.maxX(), r.minY()}, t);
    lineTo({r.maxX(), r.maxY()}, t);
    lineTo({r.minX(), r.maxY()}, t);
    closeSubpath();
}

void Path::addRects(std::span<const Rect> rects, const Transform& t) {
    for (const Rect& r : rects) addRect(r, t);
}

void Path::addEllipse(const Rect& rect, const Transform& t) {
    if (rect.isNull()) return;
    const Rect r = rect.standardized();
    const double cx = r.midX(), cy = r.midY(), rx = r.width() / 2, ry = r.height() / 2;
    const double k = 4.0 / 3.0 * (std::numbers::sqrt2 - 1);  // quarter circle
    const double kx = k * rx, ky = k * ry;
    // Starts on the right and runs counter-clockwise (y-up), like the reference.
    moveTo({cx + rx, cy}, t);
    curveTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry}, t);
    curveTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy}, t);
    curveTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry}, t);
    curveTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy}, t);
    closeSubpath();
}

void Path::addRoundedRect(const Rect& rect, double cornerWidth, double cornerHeight, const Transform& t) {
    if (rect.isNull()) return;
    const Rect r = rect.standardized();
    const double cw = std::clamp(std::isfinite(cornerWidth) ? cornerWidth : 0.0, 0.0, r.width() / 2);
    const double ch = std::clamp(std::isfinite(cornerHeight) ? cornerHeight : 0.0, 0.0, r.height() / 2);
    if (cw == 0 || ch == 0) {
        addRect(r, t);
        return;
    }
    const double k = 4.0 / 3.0 * (std::numbers::sqrt2 - 1);
    const double x0 = r.minX(), x1 = r.maxX(), y0 = r.minY(), y1 = r.maxY();
    moveTo({x1 - cw, y0}, t);
    curveTo({x1 - cw + k * cw, y0}, {x1, y0 + ch - k * ch}, {x1, y0 + ch}, t);
    lineTo({x1, y1 - ch}, t);
    curveTo({x1, y1 - ch + k * ch}, {x1 - cw + k * cw, y1}, {x1 - cw, y1}, t);
    lineTo({x0 + cw, y1}, t);
    curveTo({x0 + cw - k * cw, y1}, {x0, y1 - ch + k * ch}, {x0, y1 - ch}, t);
    lineTo({x0, y0 + ch}, t);
    curveTo({x0, y0 + ch - k * ch}, {x0 + cw - k * cw, y0}, {x0 + cw, y0}, t);
    closeSubpath();
}

void Path::addLines(std::span<const Point> pts, const Transform& t) {
    if (pts.empty()) return;
    moveTo(pts[0], t);
    for (size_t i = 1; i < pts.size(); ++i) lineTo(pts[i], t);
}

void Path::addPath(const Path& other, const Transform& t) {
    if (&other == this) {
        const Path copy = other;
        addPath(copy, t);
        return;
    }
    size_t k = 0;
    for (Element e : other.elements_) {
        switch (e) {
            case Element::moveTo: moveTo(other.points_[k], t); k += 1; break;
            case Element::lineTo: lineTo(other.points_[k], t); k += 1; break;
            case Element::curveTo:
                curveTo(other.points_[k], other.points_[k + 1], other.points_[k + 2], t);
                k += 3;
                break;
            case Element::close: closeSubpath(); break;
        }
    }
}

void Path::addCapsule(Point from, Point to, double radius, const Transform& t) {
    radius = std::fabs(radius);
    if (!std::isfinite(radius) || radius == 0) return;
    const double dx = to.x - from.x, dy = to.y - from.y;
    if (dx == 0 && dy == 0) {
        addEllipse(Rect(from.x - radius, from.y - radius, 2 * radius, 2 * radius), t);
        return;
    }
    const double theta = std::atan2(dy, dx);
    const double half = std::numbers::pi / 2;
    // Counter-clockwise (y-up): round end at `to` from its right side to its left, back along the
    // left side, round end at `from`, close along the right side.
    moveTo({to.x + radius * std::cos(theta - half), to.y + radius * std::sin(theta - half)}, t);
    arcPieces(to, radius, theta - half, std::numbers::pi, t);
    arcPieces(from, radius, theta + half, std::numbers::pi, t);
    closeSubpath();
}

void Path::closeSubpath() {
    if (!hasCurrent_ || elements_.empty() || elements_.back() == Element::close) return;
    elements_.push_back(Element::close);
    current_ = start_;
}

std::optional<Point> Path::currentPoint() const {
    if (!hasCurrent_ || elements_.empty()) return std::nullopt;
    return current_;
}

Rect Path::boundingBox() const {
    if (points_.empty()) return Rect::null();
    double x0 = points_[0].x, x1 = x0, y0 = points_[0].y, y1 = y0;
    for (const Point& p : points_) {
        x0 = std::min(x0, p.x); x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y); y1 = std::max(y1, p.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Path::pathBoundingBox() const {
    if (points_.empty()) return Rect::null();
    double x0 = std::numeric_limits<double>::infinity(), x1 = -x0, y0 = x0, y1 = -x0;
    auto add = [&](Point p) {
        x0 = std::min(x0, p.x); x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y); y1 = std::max(y1, p.y);
    };
    size_t k = 0;
    Point cur{};
    for (Element e : elements_) {
        switch (e) {
            case Element::moveTo:
            case Element::lineTo:
                cur = points_[k++];
                add(cur);
                break;
            case Element::curveTo: {
                const Point c1 = points_[k], c2 = points_[k + 1], end = points_[k + 2];
                k += 3;
                add(end);
                cubicExtrema(cur.x, c1.x, c2.x, end.x, x0, x1);
                cubicExtrema(cur.y, c1.y, c2.y, end.y, y0, y1);
                cur = end;
                break;
            }
            case Element::close: break;
        }
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

void Path::apply(const Transform& t) {
    for (Point& p : points_) p = t.apply(p);
    start_ = t.apply(start_);
    current_ = t.apply(current_);
}

Path Path::applying(const Transform& t) const {
    Path p = *this;
    p.apply(t);
    return p;
}

}  // namespace cg
