#pragma once
// A mutable vector path, kept as move/line/cubic/close elements. Quadratic curves are stored as the
// exactly equal cubic and arcs as cubic pieces of at most a quarter turn, so a path holds only these
// four kinds of element. Angles are radians in y-up space: "clockwise" means clockwise with y up.
// Every closed shape (rect, ellipse, rounded rect, capsule) runs counter-clockwise in y-up space, so
// shapes added to one path unite under the non-zero rule.

#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace cg {

class Path {
public:
    enum class Element : uint8_t {
        moveTo,   // 1 point
        lineTo,   // 1 point
        curveTo,  // 3 points: control 1, control 2, end
        close     // 0 points
    };

    Path() = default;

    // Every add takes an optional transform applied to its points before they are stored.
    void moveTo(Point p, const Transform& t = {});
    void lineTo(Point p, const Transform& t = {});
    void quadCurveTo(Point control, Point to, const Transform& t = {});
    void curveTo(Point control1, Point control2, Point to, const Transform& t = {});
    // Arc of the circle (center, radius) from startAngle to endAngle. When the path already has a
    // current point a line joins it to the arc's start, otherwise the arc starts a new subpath.
    void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise,
                const Transform& t = {});
    // Arc that turns by delta radians (positive: counter-clockwise in y-up space).
    void addRelativeArc(Point center, double radius, double startAngle, double delta,
                        const Transform& t = {});
    void addRect(const Rect& r, const Transform& t = {});
    void addRects(std::span<const Rect> rects, const Transform& t = {});
    void addEllipse(const Rect& inRect, const Transform& t = {});
    // Corner radii are clamped to half the rect's width and height; zero radii give a plain rect.
    void addRoundedRect(const Rect& r, double cornerWidth, double cornerHeight, const Transform& t = {});
    // A polyline: move to the first point, line to the others.
    void addLines(std::span<const Point> points, const Transform& t = {});
    void addPath(const Path& other, const Transform& t = {});
    // The segment from..to with round ends of the given radius as one closed subpath.
    void addCapsule(Point from, Point to, double radius, const Transform& t = {});
    void closeSubpath();

    bool isEmpty() const { return elements_.empty(); }
    // The end of the last element (the subpath start after a close); none for an empty path.
    std::optional<Point> currentPoint() const;
    // Smallest rect holding every point including control points (null when empty).
    Rect boundingBox() const;
    // Smallest rect holding the path itself: curves are bounded by their extrema, not their controls.
    Rect pathBoundingBox() const;

    Path applying(const Transform& t) const;
    void apply(const Transform& t);
    // Empty again, and equal to a new path (the storage is kept).
    void clear() {
        elements_.clear();
        points_.clear();
        start_ = current_ = {};
        hasCurrent_ = false;
    }
    void reserve(size_t elements, size_t points) { elements_.reserve(elements); points_.reserve(points); }

    const std::vector<Element>& elements() const { return elements_; }
    const std::vector<Point>& points() const { return points_; }

    friend bool operator==(const Path&, const Path&) = default;

private:
    void ensureCurrent(Point p);
    void arcPieces(Point center, double radius, double start, double delta, const Transform& t);

    std::vector<Element> elements_;
    std::vector<Point> points_;
    Point start_;      // start of the current subpath
    Point current_;    // current point
    bool hasCurrent_ = false;
};

}  // namespace cg
