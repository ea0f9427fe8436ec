#pragma once
// Pure polyline geometry the painters share: the smoother every route and outline goes through, the
// length of a polyline and the stable painter's-order sort by y.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "Platform/Check.h"
#include "Platform/Graphics/Geometry.h"

namespace geometry_detail {
// Int(q) for a piece count, floored at `least`; NaN and negative counts give `least`, absurd ones are
// capped instead of overflowing.
inline int64_t pieces(double q, int64_t least) {
    if (!(q >= static_cast<double>(least))) return least;
    if (q >= 1e9) return 1000000000;
    return static_cast<int64_t>(q);
}
}  // namespace geometry_detail

// Smooths a polyline into quadratic pieces through the midpoints of its inner segments, resampled about
// `step` apart. Open lines keep their end points; a closed one starts and ends on the midpoint of its
// closing edge (that point appears twice). Two points give the straight line between them.
inline std::vector<cg::Point> rounded(const std::vector<cg::Point>& p, bool closed, double step) {
    const std::size_t n = p.size();
    if (n <= 1) return p;
    std::vector<cg::Point> out;

    // a … b, both ends included.
    auto line = [&](cg::Point a, cg::Point b, bool skipFirst) {
        const double dx = b.x - a.x, dy = b.y - a.y;
        const int64_t k = geometry_detail::pieces(std::hypot(dx, dy) / step, 1);
        for (int64_t j = skipFirst ? 1 : 0; j <= k; ++j) {
            const double fj = static_cast<double>(j), fk = static_cast<double>(k);
            out.push_back({a.x + dx * fj / fk, a.y + dy * fj / fk});
        }
    };
    // Quadratic Bézier from a (left out) with control c to b (the last point).
    auto curve = [&](cg::Point a, cg::Point c, cg::Point b) {
        const double polygon = std::hypot(c.x - a.x, c.y - a.y) + std::hypot(b.x - c.x, b.y - c.y);
        const int64_t m = geometry_detail::pieces(polygon / step, 2);
        for (int64_t j = 1; j <= m; ++j) {
            const double u = static_cast<double>(j) / static_cast<double>(m);
            const double wa = (1 - u) * (1 - u), wc = 2 * u * (1 - u), wb = u * u;
            out.push_back({wa * a.x + wc * c.x + wb * b.x, wa * a.y + wc * c.y + wb * b.y});
        }
    };
    auto mid = [](cg::Point a, cg::Point b) { return cg::Point{(a.x + b.x) * 0.5, (a.y + b.y) * 0.5}; };

    if (n == 2) {
        line(p[0], p[1], false);
        return out;
    }
    if (!closed) {
        line(p[0], mid(p[0], p[1]), false);
        for (std::size_t i = 1; i + 1 < n; ++i) curve(out.back(), p[i], mid(p[i], p[i + 1]));
        line(mid(p[n - 2], p[n - 1]), p[n - 1], true);
    } else {
        out.push_back(mid(p[n - 1], p[0]));
        for (std::size_t i = 0; i < n; ++i) curve(out.back(), p[i], mid(p[i], p[(i + 1) % n]));
    }
    // Every given point bends the line at least once: each control point yields two or more samples.
    VM_CHECK(out.size() >= 2 * n - (closed ? 0 : 2), "smoothed path has fewer points than its corners");
    return out;
}

// The sum of the distances between consecutive points; 0 for fewer than two.
inline double pathLength(const std::vector<cg::Point>& p) {
    double total = 0;
    for (std::size_t i = 1; i < p.size(); ++i) total += std::hypot(p[i].x - p[i - 1].x, p[i].y - p[i - 1].y);
    return total;
}

// Painter's order: ascending y, equal y keeping their input order.
inline void sortByY(std::vector<cg::Point>& points) {
    std::stable_sort(points.begin(), points.end(), [](const cg::Point& a, const cg::Point& b) { return a.y < b.y; });
}
// The same for (point, flag) pairs, the flag telling the painter which prop to draw.
template <class Flag>
void sortByY(std::vector<std::pair<cg::Point, Flag>>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return a.first.y < b.first.y; });
}
