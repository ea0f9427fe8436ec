// The sea's routes, laps and open-water test, and the small props it lays on the seabed. Everything here
// is a function of its arguments and of the point hash at the spot, so a kept spot redraws the same thing.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Art/Art.h"
#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"

std::vector<cg::Point> Art::seaRoute(cg::Point p, double L, double bend) {
    const int n = static_cast<int>(std::floor(4 * rand(p, 11))) + 6;
    double h = 2 * M_PI * rand(p, 10);
    const double d = L * (0.6 * rand(p, 12) + 0.7) / n;
    std::vector<cg::Point> route;
    route.reserve(static_cast<std::size_t>(n) + 1);
    route.push_back(p);
    double turn = 0;
    for (int i = 0; i < n; ++i) {
        // A damped random walk of the heading: each step keeps 0.6 of the previous turn.
        turn = 0.6 * turn + 2 * bend * (rand(p, 113 + static_cast<uint64_t>(i)) - 0.5);
        h = h + turn;
        const cg::Point last = route.back();
        route.push_back({last.x + d * std::cos(h), last.y + d * std::sin(h)});
    }
    return route;
}

std::vector<cg::Point> Art::seaLap(cg::Point p, double r) {
    const int n = static_cast<int>(std::floor(3 * rand(p, 23))) + 6;
    const double rx = r * (0.6 + 0.5 * rand(p, 21));
    const double ry = r * (0.6 + 0.5 * rand(p, 22));
    std::vector<cg::Point> lap;
    lap.reserve(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) {
        const double a = 2 * M_PI * (j + 0.5 * (rand(p, 13 + static_cast<uint64_t>(j)) - 0.5)) / n;
        const double f = 1 - 0.35 * rand(p, 63 + static_cast<uint64_t>(j));
        lap.push_back({p.x + rx * f * std::cos(a), p.y + ry * f * std::sin(a)});
    }
    const double theta = M_PI * rand(p, 20);
    const double c = std::cos(theta), s = std::sin(theta);
    for (cg::Point& q : lap) {
        const double dx = q.x - p.x, dy = q.y - p.y;
        q = {p.x + (c * dx - s * dy), p.y + (s * dx + c * dy)};
    }
    if (!(rand(p, 24) < 0.5)) std::reverse(lap.begin(), lap.end());
    return lap;
}

bool Art::seaOpen(const std::vector<cg::Point>& path, double m, bool closed) const {
    const double w = W(), h = H();
    for (const cg::Point& q : rounded(path, closed, 6)) {
        // Strict bounds: a point on the canvas edge is already off it.
        if (!(q.x > 0 && q.x < w && q.y > 0 && q.y < h)) return false;
        const cg::Rect box(q.x - m, q.y - m, 2 * m, 2 * m);
        for (const cg::Rect& r : keep)
            if (box.intersects(r)) return false;
    }
    return true;
}

void Art::rock(cg::Point c, double R, double seed) {
    // The seed turns into the generator's start; a seed outside [0, 1) never makes the conversion undefined.
    const double scaled = seed * 1e6;
    const uint64_t start = scaled > 0 ? (scaled < 18446744073709551616.0 ? static_cast<uint64_t>(scaled) : UINT64_MAX)
                                      : 0;
    RNG rng(start + 3);
    cg::Point outline[9];
    for (int k = 0; k < 9; ++k) {
        const double a = 2 * M_PI * k / 9;
        const double u = rng.next();
        const double rho = R * (0.75 + 0.25 * u);
        outline[k] = {c.x + rho * std::cos(a), c.y + 0.8 * rho * std::sin(a)};
    }

    cg::Point moved[9];
    for (int k = 0; k < 9; ++k) moved[k] = {outline[k].x + 0.35 * R, outline[k].y + -0.45 * R};
    ctx->beginPath();
    ctx->addLines(moved);
    ctx->setFillColor(cg::Color::black(0.22));
    ctx->fillPath(cg::FillRule::winding);

    const bool night = s.night;
    shape(night ? 0x2c3a38 : 0x55665a, 1, 0, [&](cg::Path& path) { path.addLines(outline); });

    cg::Point lit[9];
    for (int k = 0; k < 9; ++k)
        lit[k] = {c.x + 0.7 * (outline[k].x - c.x) + -0.12 * R, c.y + 0.7 * (outline[k].y - c.y) + 0.15 * R};
    ctx->beginPath();
    ctx->addLines(lit);
    ctx->setFillColor(cg::Color::rgb(night ? 0x34503f : 0x6f8c5c, 0.9));
    ctx->fillPath(cg::FillRule::winding);
}

void Art::shell(cg::Point c) {
    // A fan opening upward.
    ctx->beginPath();
    ctx->moveTo(c);
    ctx->addArc(c, 3.6, 0.2, M_PI - 0.2, false);
    ctx->closePath();
    ctx->setFillColor(cg::Color::rgb(s.night ? 0x9a8fa6 : 0xf6e7d8, 1));
    ctx->fillPath(cg::FillRule::winding);

    // Five ridges: the angles from 0.5 in steps of 0.45 up to π − 0.5.
    shape(0x000000, 0.15, 0.4, [&](cg::Path& path) {
        for (int i = 0; 0.5 + 0.45 * i <= M_PI - 0.5; ++i) {
            const double a = 0.5 + 0.45 * i;
            path.moveTo(c);
            path.lineTo({c.x + 3.3 * std::cos(a), c.y + 3.3 * std::sin(a)});
        }
    });
}

void Art::starfish(cg::Point c, double v) {
    cg::Point star[10];
    for (int k = 0; k < 10; ++k) {
        const double angle = 6 * v + k * M_PI / 5;
        const double radius = k % 2 == 0 ? 5 : 2;
        star[k] = {c.x + radius * std::cos(angle), c.y + radius * std::sin(angle)};
    }
    const uint32_t color = s.night ? 0x8a4a4a : (v < 0.5 ? 0xe8633a : 0xf2a13b);
    ctx->beginPath();
    ctx->addLines(star);
    ctx->setFillColor(cg::Color::rgb(color, 1));
    ctx->fillPath(cg::FillRule::winding);
}
