// The reef's routes and the depth weight of its light patches. Every route is a function of its spot and
// the point hash there, so a kept spot swims the same loop after any icon move.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "Art/Reef.h"

namespace {

constexpr double kPi = std::numbers::pi;

double u(cg::Point p, uint64_t salt) { return Art::rand(p, salt); }

// Int(k·x) for a hash x in [0, 1): a small non-negative count, never an undefined conversion.
int64_t whole(double q) {
    if (!(q > 0)) return 0;
    return q < 1e9 ? static_cast<int64_t>(q) : 1000000000;
}

float smooth(float a) {
    const float c = a < 0.0f ? 0.0f : (a > 1.0f ? 1.0f : a);
    return c * c * (3.0f - 2.0f * c);
}

}  // namespace

float reefShimmerCurve(float x) {
    return 0.55f + 0.45f * smooth(x / 0.12f) - 0.35f * smooth((x - 0.26f) / 0.06f);
}

std::vector<cg::Point> Art::Reef::lap(cg::Point p, double rx, double ry, uint64_t salt) {
    const int64_t n = 6 + whole(3 * u(p, salt + 1));
    std::vector<cg::Point> loop;
    loop.reserve(static_cast<std::size_t>(n));
    for (int64_t j = 0; j < n; ++j) {
        const uint64_t k = static_cast<uint64_t>(j);
        const double a = 2 * kPi * (static_cast<double>(j) + 0.5 * (u(p, salt + 2 + k) - 0.5)) / static_cast<double>(n);
        const double f = 1 - 0.35 * u(p, salt + 52 + k);
        loop.push_back({p.x + rx * f * std::cos(a), p.y + ry * f * std::sin(a)});
    }
    const double theta = kPi * u(p, salt);
    const double c = std::cos(theta), s = std::sin(theta);
    for (cg::Point& q : loop) {
        const double dx = q.x - p.x, dy = q.y - p.y;
        q = {p.x + (c * dx - s * dy), p.y + (s * dx + c * dy)};
    }
    if (u(p, salt + 3) >= 0.5) std::reverse(loop.begin(), loop.end());
    return loop;
}

std::vector<cg::Point> Art::Reef::mill(cg::Point p, uint64_t i) {
    const double rx = 12 + 10 * u(p, i + 90);
    const double ry = 8 + 8 * u(p, i + 100);
    const cg::Point centre{p.x + (u(p, i + 70) - 0.5) * 14, p.y + (u(p, i + 80) - 0.5) * 10};
    return lap(centre, rx, ry, 10 * i + 110);
}

std::vector<cg::Point> Art::Reef::rise(cg::Point p, uint64_t i) {
    const cg::Point d{(u(p, i) - 0.5) * 8, -90};
    const double L = std::max(std::hypot(d.x, d.y), 1.0);
    const int64_t n = std::max<int64_t>(whole(L / 7), 2);
    const cg::Point side{-d.y / L, d.x / L};
    std::vector<cg::Point> path;
    path.reserve(static_cast<std::size_t>(n) + 1);
    path.push_back(p);
    for (int64_t k = 1; k <= n; ++k) {
        // Alternate sides, one to two points out; the last point sits on the straight line.
        const double A = k == n ? 0 : (0.5 + 0.5 * u(p, i + static_cast<uint64_t>(k))) * (k % 2 == 1 ? -2 : 2);
        const double f = static_cast<double>(k) / static_cast<double>(n);
        path.push_back({p.x + d.x * f + side.x * A, p.y + d.y * f + side.y * A});
    }
    return path;
}

std::vector<cg::Point> Art::Reef::drift(cg::Point p) {
    double h = -1.373400766945016;
    double turn = 0;
    std::vector<cg::Point> path{p};
    path.reserve(6);
    for (uint64_t j = 0; j < 5; ++j) {
        // A damped random walk of the heading.
        turn = 0.6 * turn + 0.6 * (u(p, 109 + j) - 0.5);
        h += turn;
        const cg::Point last = path.back();
        path.push_back({last.x + 40 * std::cos(h), last.y + 40 * std::sin(h)});
    }
    return path;
}
