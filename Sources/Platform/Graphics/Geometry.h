#pragma once
// Value types of the drawing layer: points, sizes, rects and affine transforms. Rects follow the
// reference platform's rules: they are standardised before use, a null rect stands for "nothing",
// `intersects` is strict, `contains(point)` is half-open and `contains(rect)` inclusive.

#include <algorithm>
#include <cmath>
#include <limits>

namespace cg {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Transform;

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(Point o, Size s) : origin(o), size(s) {}
    constexpr Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}

    static Rect null() {
        const double inf = std::numeric_limits<double>::infinity();
        return Rect(inf, inf, 0, 0);
    }
    static Rect infinite() {
        const double big = std::numeric_limits<double>::max() / 2;
        return Rect(-big, -big, 2 * big, 2 * big);
    }

    bool isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }
    // A NaN anywhere: such a rect meets nothing, holds nothing and adds nothing to a union, whichever
    // side of an operation it stands on.
    bool hasNaN() const {
        return std::isnan(origin.x) || std::isnan(origin.y) || std::isnan(size.width) || std::isnan(size.height);
    }
    // Empty: null, or no area.
    bool isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }

    Rect standardized() const {
        if (isNull()) return *this;
        Rect r = *this;
        if (r.size.width < 0) { r.origin.x += r.size.width; r.size.width = -r.size.width; }
        if (r.size.height < 0) { r.origin.y += r.size.height; r.size.height = -r.size.height; }
        return r;
    }

    double minX() const { const Rect r = standardized(); return r.origin.x; }
    double minY() const { const Rect r = standardized(); return r.origin.y; }
    double maxX() const { const Rect r = standardized(); return r.origin.x + r.size.width; }
    double maxY() const { const Rect r = standardized(); return r.origin.y + r.size.height; }
    double midX() const { const Rect r = standardized(); return r.origin.x + r.size.width * 0.5; }
    double midY() const { const Rect r = standardized(); return r.origin.y + r.size.height * 0.5; }
    double width() const { return std::fabs(size.width); }
    double height() const { return std::fabs(size.height); }
    Point mid() const { return {midX(), midY()}; }

    // The smallest rect holding both; a null rect adds nothing.
    Rect unionWith(const Rect& o) const {
        if (isNull() || hasNaN()) return o.hasNaN() ? null() : o.standardized();
        if (o.isNull() || o.hasNaN()) return standardized();
        const double x0 = std::min(minX(), o.minX()), y0 = std::min(minY(), o.minY());
        const double x1 = std::max(maxX(), o.maxX()), y1 = std::max(maxY(), o.maxY());
        return Rect(x0, y0, x1 - x0, y1 - y0);
    }

    // The common area, or null when the rects do not overlap (rects that only share an edge do not).
    Rect intersection(const Rect& o) const {
        if (isNull() || o.isNull() || hasNaN() || o.hasNaN()) return null();
        const double x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
        const double x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
        if (!(x1 > x0) || !(y1 > y0)) return null();
        return Rect(x0, y0, x1 - x0, y1 - y0);
    }

    bool intersects(const Rect& o) const { return !intersection(o).isNull(); }

    // Half-open: the min edges belong to the rect, the max edges do not.
    bool contains(Point p) const {
        if (isNull()) return false;
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }

    // Inclusive: a rect contains itself.
    bool contains(const Rect& o) const {
        if (isNull() || o.isNull() || hasNaN() || o.hasNaN()) return false;
        return o.minX() >= minX() && o.maxX() <= maxX() && o.minY() >= minY() && o.maxY() <= maxY();
    }

    // Moves every edge inward by dx, dy (outward when negative); null when nothing is left.
    Rect insetBy(double dx, double dy) const {
        if (isNull()) return *this;
        Rect r = standardized();
        r.origin.x += dx;
        r.origin.y += dy;
        r.size.width -= 2 * dx;
        r.size.height -= 2 * dy;
        if (r.size.width < 0 || r.size.height < 0) return null();
        return r;
    }

    Rect offsetBy(double dx, double dy) const {
        if (isNull()) return *this;
        Rect r = *this;
        r.origin.x += dx;
        r.origin.y += dy;
        return r;
    }

    // The smallest rect of whole numbers holding this one.
    Rect integral() const {
        if (isNull()) return *this;
        const double x0 = std::floor(minX()), y0 = std::floor(minY());
        const double x1 = std::ceil(maxX()), y1 = std::ceil(maxY());
        return Rect(x0, y0, x1 - x0, y1 - y0);
    }

    Rect applying(const Transform& t) const;

    friend bool operator==(const Rect& a, const Rect& b) {
        if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
        const Rect x = a.standardized(), y = b.standardized();
        return x.origin == y.origin && x.size == y.size;
    }
};

// x' = a·x + c·y + tx, y' = b·x + d·y + ty.
struct Transform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static constexpr Transform identity() { return {}; }
    static Transform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static Transform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static Transform rotation(double angle) {
        const double cs = std::cos(angle), sn = std::sin(angle);
        return {cs, sn, -sn, cs, 0, 0};
    }

    // First this, then o.
    Transform concatenating(const Transform& o) const {
        return {a * o.a + b * o.c,        a * o.b + b * o.d,
                c * o.a + d * o.c,        c * o.b + d * o.d,
                tx * o.a + ty * o.c + o.tx, tx * o.b + ty * o.d + o.ty};
    }
    // The reference's translatedBy/scaledBy/rotatedBy: the new step acts first, in the old space.
    Transform translatedBy(double x, double y) const { return translation(x, y).concatenating(*this); }
    Transform scaledBy(double sx, double sy) const { return scale(sx, sy).concatenating(*this); }
    Transform rotatedBy(double angle) const { return rotation(angle).concatenating(*this); }

    bool isIdentity() const { return *this == Transform{}; }

    // The inverse, or the transform unchanged when it cannot be inverted (as the reference does).
    Transform inverted() const {
        const double det = a * d - b * c;
        if (det == 0 || !std::isfinite(det)) return *this;
        const double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
        return {ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
    }

    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    Size apply(Size s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }

    friend bool operator==(const Transform&, const Transform&) = default;
};

}  // namespace cg
