// The winter props drawn straight into the picture: ice floes, seals, pines and log cabins, the smoke
// puff image, and the contour tracer that lays ice edges and tracks along the terrain.

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "Art/Winter.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;

uint32_t pick(bool night, uint32_t day, uint32_t dark) { return night ? dark : day; }

// UInt64(v), truncating; negative and NaN give 0, values past the top clamp.
uint64_t toUInt64(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

void polygon(cg::Path& path, const cg::Point* pts, std::size_t n) {
    path.moveTo(pts[0]);
    for (std::size_t i = 1; i < n; ++i) path.lineTo(pts[i]);
    path.closeSubpath();
}

}  // namespace

void Art::Winter::floe(cg::Point p, double r, double k) {
    cg::SavedState saved(art.ctx);  // colours and line settings stay the caller's
    const bool night = art.s.night;
    RNG rng(toUInt64(k * 1000000) + 1);
    std::array<cg::Point, 12> outline{};
    for (int i = 0; i < 12; ++i) {
        const double u1 = rng.next();
        const double u2 = rng.next();
        const double a = kPi * i / 6 - 0.2 + 0.4 * u1;
        const double rho = r * (0.62 + 0.38 * u2);
        outline[static_cast<std::size_t>(i)] = {p.x + rho * std::cos(a), p.y + 0.8 * rho * std::sin(a)};
    }
    // The outline scaled about p and moved, as one closed polygon.
    auto fillOutline = [&](uint32_t color, double alpha, double scale, cg::Point shift) {
        art.shape(color, alpha, 0, [&](cg::Path& path) {
            std::array<cg::Point, 12> q{};
            for (std::size_t i = 0; i < 12; ++i)
                q[i] = {p.x + shift.x + scale * (outline[i].x - p.x), p.y + shift.y + scale * (outline[i].y - p.y)};
            polygon(path, q.data(), q.size());
        });
    };
    fillOutline(pick(night, 0x86CCDA, 0x3E6E84), 0.4, 1.2, {0, -1});
    art.shape(0x000000, 0.15, 0, [&](cg::Path& path) {
        std::array<cg::Point, 12> q{};
        for (std::size_t i = 0; i < 12; ++i) q[i] = {outline[i].x + 1.5, outline[i].y - 1.5};
        polygon(path, q.data(), q.size());
    });
    art.shape(pick(night, 0xCFE3EE, 0x8EA3BD), 1, 0, [&](cg::Path& path) { polygon(path, outline.data(), 12); });
    fillOutline(pick(night, 0xF7FBFD, 0xB7C4D6), 1, 0.8, {0, 0.6});
}

void Art::Winter::seal(cg::Point p, double angle) {
    cg::SavedState saved(art.ctx);  // colours and line settings stay the caller's
    const bool night = art.s.night;
    auto silhouette = [](cg::Path& path, const cg::Transform& m) {
        path.addEllipse(cg::Rect(-4.6, -2.4, 8.2, 4.8), m);
        path.addEllipse(cg::Rect(3.1, -1.5, 3, 3), m);
        const cg::Point hind[] = {{-4, 0}, {-6.1, 1.1}, {-5.6, 0}, {-6.1, -1.1}};
        path.moveTo(hind[0], m);
        for (int i = 1; i < 4; ++i) path.lineTo(hind[i], m);
        path.closeSubpath();
        path.addEllipse(cg::Rect(0.6, 1.6, 2.2, 1.2), m);
        path.addEllipse(cg::Rect(0.6, -2.8, 2.2, 1.2), m);
    };
    const cg::Transform shadowFrame = cg::Transform::identity().translatedBy(p.x + 1.2, p.y - 1.2).rotatedBy(angle);
    const cg::Transform frame = cg::Transform::identity().translatedBy(p.x, p.y).rotatedBy(angle);
    art.shape(0x000000, 0.2, 0, [&](cg::Path& path) { silhouette(path, shadowFrame); });
    art.shape(pick(night, 0x6B6660, 0x474A52), 1, 0, [&](cg::Path& path) { silhouette(path, frame); });
    // A fixed up-left offset in the scene, turned into the seal's frame.
    const double sn = std::sin(angle), cs = std::cos(angle);
    const cg::Point sheen{0.9 * (sn - cs) - 3.5, 0.9 * (sn + cs) - 1.2};
    art.shape(pick(night, 0x9A948C, 0x6A6E78), 0.55, 0,
              [&](cg::Path& path) { path.addEllipse(cg::Rect(sheen.x, sheen.y, 6, 2.4), frame); });
    art.shape(0x000000, 0.25, 0, [&](cg::Path& path) {
        for (const cg::Point c : {cg::Point{-3.05, 0.4}, cg::Point{-1.25, -1.3}, cg::Point{0.55, 0.3}, cg::Point{-3.85, -1}})
            path.addEllipse(cg::Rect(c.x, c.y, 0.9, 0.8), frame);
    });
}

std::vector<cg::Point> Art::Winter::shoreline(cg::Point p, int64_t steps, double step) const {
    const Art& a = art;
    const float v0 = a.value(p);
    const bool left = Art::rand(p, 17) < 0.5;
    std::vector<cg::Point> out{p};
    if (steps > 0) out.reserve(static_cast<std::size_t>(steps) + 1);
    for (int64_t i = 0; i < steps; ++i) {
        const cg::Point o = out.back();
        const double gx = static_cast<double>(a.value({o.x + 3, o.y}) - a.value({o.x - 3, o.y}));
        const double gy = static_cast<double>(a.value({o.x, o.y + 3}) - a.value({o.x, o.y - 3}));
        const double n = std::max(std::hypot(gx, gy), 0.000001);
        // Unary minus keeps the sign of zero, so flat ground walks the same way every time.
        const double h = left ? std::atan2(gx / n, -gy / n) : std::atan2(-gx / n, gy / n);
        double best = -0.6;
        double bestCost = 0;
        for (int j = 0; j < 9; ++j) {
            const double d = -0.6 + 0.15 * j;
            const cg::Point q{o.x + step * std::cos(h + d), o.y + step * std::sin(h + d)};
            const double cost = 0.004 * std::fabs(d) + static_cast<double>(std::fabs(a.value(q) - v0));
            if (j == 0 || cost < bestCost) {
                best = d;
                bestCost = cost;
            }
        }
        out.push_back({o.x + step * std::cos(h + best), o.y + step * std::sin(h + best)});
    }
    return out;
}

void Art::Winter::pine(cg::Point p, double h) {
    cg::SavedState saved(art.ctx);  // colours and line settings stay the caller's
    const bool night = art.s.night;
    art.groundShadow(p, 7, 0.2);
    art.shape(pick(night, 0x2A4A70, 0x000000), night ? 0.12 : 0.2, 0, [&](cg::Path& path) {
        const cg::Point tri[] = {{p.x + 0.3 * h * 0.58, p.y + 0.3 * h * 0.81},
                                 {p.x - 0.3 * h * 0.58, p.y - 0.3 * h * 0.81},
                                 {p.x + 1.15 * h * 0.81, p.y + 1.15 * h * -0.58}};
        polygon(path, tri, 3);
    });
    art.shape(pick(night, 0x5C4030, 0x3A2C22), 1, 0, [&](cg::Path& path) { path.addRect(cg::Rect(p.x - 1, p.y, 2, 4)); });
    const uint32_t dark = pick(night, 0x24533F, 0x1B3329);
    const uint32_t lit = pick(night, 0x2F6A4D, 0x24402F);
    const uint32_t snow = pick(night, 0xF4F9FC, 0xAFBED0);
    for (int i = 0; i < 3; ++i) {
        const double b = p.y + 3 + 0.22 * h * i;
        const double w = 0.34 * h * (1 - 0.25 * i);
        const cg::Point apex{p.x, b + 0.42 * h};
        art.shape(dark, 1, 0, [&](cg::Path& path) {
            const cg::Point tri[] = {{p.x - w, b}, {p.x + w, b}, apex};
            polygon(path, tri, 3);
        });
        art.shape(lit, 1, 0, [&](cg::Path& path) {
            const cg::Point tri[] = {{p.x - w, b}, {p.x, b}, apex};
            polygon(path, tri, 3);
        });
        art.shape(snow, 1, 0, [&](cg::Path& path) {
            const cg::Point tri[] = {{p.x - 0.45 * w, b + 0.231 * h}, {p.x + 0.45 * w, b + 0.231 * h}, apex};
            polygon(path, tri, 3);
        });
    }
}

void Art::Winter::cabin(cg::Point p, const cg::ImageRef& smoke) {
    cg::SavedState saved(art.ctx);  // colours and line settings stay the caller's
    const bool night = art.s.night;
    const double x = p.x, y = p.y;
    auto rect = [&](uint32_t color, double alpha, const cg::Rect& r) {
        art.shape(color, alpha, 0, [&](cg::Path& path) { path.addRect(r); });
    };
    art.groundShadow(p, 14, 0.18);
    rect(pick(night, 0x8A5A3B, 0x5A4232), 1, {x - 10, y, 20, 11});
    for (const double seam : {2.75, 5.5, 8.25}) rect(0x000000, 0.15, {x - 10, y + seam, 20, 0.6});
    rect(pick(night, 0x6B4A35, 0x4A3A30), 1, {x + 5, y + 12, 3, 8});
    art.shape(pick(night, 0xF4F9FC, 0xAFBED0), 1, 0, [&](cg::Path& path) {
        const cg::Point roof[] = {{x - 13, y + 10}, {x + 13, y + 10}, {x, y + 20}};
        polygon(path, roof, 3);
    });
    rect(0x3A2A20, 1, {x - 6, y, 4, 7});
    rect(pick(night, 0x3B4A5A, 0xFFD27A), 1, {x + 2.5, y + 3.5, 4, 4});

    if (night) {
        const double u = Art::rand(p, 0);
        Sprite window;
        window.kind = Sprite::Kind::light;
        window.at = {x + 4.5, y + 5.5};
        window.size = 0.9;
        window.phase = u;
        window.color = 0xFFC56B;
        art.sprites.push_back(std::move(window));
        art.firelight({x + 4.5, y - 1.5}, 20, u, 0, 0.55);
    }

    // Smoke rising from the chimney's mouth and leaning right.
    const std::vector<cg::Point> rise = {{x + 6.5, y + 22}, {x + 7.5, y + 34}, {x + 15, y + 44}, {x + 24, y + 50}};
    for (int k = 0; k < 3; ++k) {
        Sprite sp;
        sp.kind = Sprite::Kind::trip;
        sp.at = rise[0];
        sp.size = 9;
        sp.phase = k / 3.0;
        sp.travel = 9;
        sp.image = smoke;
        sp.path = rise;
        sp.ease = 0.3;
        sp.spin = 0.6;
        sp.grow = 2.4;
        sp.face = false;
        art.sprites.push_back(std::move(sp));
    }
}

void Art::Winter::puffPicture(uint32_t color, double alpha) {
    const cg::Gradient soft({cg::Color::rgb(color, alpha), cg::Color::rgb(color, 0.7 * alpha), cg::Color::rgb(color, 0)},
                            {0, 0.5, 1});
    cg::Context& g = *art.ctx;
    struct Disc {
        cg::Point c;
        double r;
    };
    for (const Disc d : {Disc{{10, 10}, 9.5}, Disc{{7, 12}, 6.5}, Disc{{13, 8.5}, 6}})
        g.drawRadialGradient(soft, d.c, 0, d.c, d.r);
}

cg::ImageRef Art::Winter::puff(uint32_t color, double alpha) {
    return art.offscreen(20, 20, [&] { puffPicture(color, alpha); });
}
