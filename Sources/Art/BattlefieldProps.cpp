// The battlefield's ground props: weeds, barrages, craters, treads, wire, hedgehogs, stumps, tents,
// crates, soldiers and sandbagged nests. Props with many small random parts draw from a stream seeded by
// their anchor point, so a prop looks the same wherever it is drawn again.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

#include "Art/Battlefield.h"
#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;

// UInt64(v) for a coordinate already multiplied by 16: negative and NaN give 0, huge values clamp.
uint64_t quantised(double v) {
    const double q = (v > 0 ? v : 0.0) * 16;
    return q < 18446744073709551616.0 ? static_cast<uint64_t>(q) : UINT64_MAX;
}

// The per-prop random stream of an anchor point.
uint64_t pointSeed(cg::Point p, uint64_t k) { return ((quantised(p.x) * 0x9E3779B9ULL) + quantised(p.y)) + k; }

uint32_t pick(bool night, uint32_t day, uint32_t dark) { return night ? dark : day; }

cg::Rect around(cg::Point c, double rx, double ry) { return cg::Rect(c.x - rx, c.y - ry, 2 * rx, 2 * ry); }

bool clearOf(const std::vector<cg::Rect>& keep, const cg::Rect& box) {
    for (const cg::Rect& r : keep)
        if (box.intersects(r)) return false;
    return true;
}

}  // namespace

void Art::Battlefield::weeds(cg::Point p) {
    const bool night = art.s.night;
    RNG rng(pointSeed(p, 23));
    const double u = rng.next();
    const double h = 2.2 + 1.4 * u;
    art.shape(0x000000, 0.1, 0, [&](cg::Path& path) { path.addEllipse(around({p.x + 0.8, p.y - 0.8}, 1.1 * h, 0.9 * h)); });
    struct Set {
        int blades;
        uint32_t day, night;
        double factor;
    };
    for (const Set& set : {Set{5, 0x666A3A, 0x34382A, 0.7}, Set{11, 0xA8976A, 0x4A4636, 1}}) {
        art.shape(pick(night, set.day, set.night), 0.85, 0.5, [&](cg::Path& path) {
            for (int i = 0; i < set.blades; ++i) {
                const double a = rng.next();
                const double b = rng.next();
                const double c = rng.next();
                const double d = 2 * kPi * a;
                const double l = h * set.factor * (0.6 + 0.6 * b);
                path.moveTo(p);
                path.quadCurveTo({p.x + 0.6 * l * std::cos(d), p.y + 0.6 * l * std::sin(d)},
                                 {p.x + l * std::cos(d + c - 0.5), p.y + l * std::sin(d + c - 0.5)});
            }
        });
    }
    art.shape(pick(night, 0x4A4430, 0x24221C), 0.8, 0, [&](cg::Path& path) { path.addEllipse(around(p, 0.7, 0.7)); });
}

void Art::Battlefield::barrage(cg::Point c, const std::function<bool(cg::Point)>& open) { barrage(c, open, Rows{}); }

void Art::Battlefield::barrage(cg::Point c, const std::function<bool(cg::Point)>& open, Rows rows) {
    const bool night = art.s.night;
    const double H = art.H();
    RNG rng(pointSeed(c, 41));
    const double s = night ? 0.2 : 0.17;
    const uint32_t scorch = pick(night, 0x3A3224, 0x0E0E10);
    const cg::Gradient soot({cg::Color::rgb(scorch, s), cg::Color::rgb(scorch, 0.85 * s), cg::Color::rgb(scorch, 0)},
                            {0, 0.55, 1});
    for (int k = 0; k < 4; ++k) {
        const double a = rng.next();
        const double b = rng.next();
        const double e = rng.next();
        const double f = rng.next();
        const double R = 50 + 25 * e;
        // An ellipse at most 46 points tall.
        if (!rows.near(c.y - 24 + 48 * b, 50)) continue;
        cg::SavedState g(art.ctx);
        art.ctx->translateBy(c.x - 40 + 80 * a, H - (c.y - 24 + 48 * b));
        art.ctx->scaleBy(1, (32 + 14 * f) / R);
        art.ctx->drawRadialGradient(soot, {0, 0}, 0, {0, 0}, R);
    }

    struct Hole {
        cg::Point q;
        double r;
    };
    std::vector<Hole> holes;
    for (int k = 0; k < 34; ++k) {
        const double a = rng.next();
        const double b = rng.next();
        const double e = rng.next();
        const double f = rng.next();
        const double angle = 2 * kPi * a;
        const cg::Point q{c.x + 85 * b * std::cos(angle), c.y + 55 * b * std::sin(angle)};
        if (!open(q)) continue;
        const double r = (3 + 7 * e) * (1.2 - 0.5 * b);
        if (!clearOf(art.keep, around(q, 1.5 * r, 1.5 * r))) continue;
        holes.push_back({q, r});
        // A crater's ink stays within 2.2 r of its centre, up and down.
        if (rows.near(q.y, 2.5 * r + 4)) crater({q.x, H - q.y}, r, f < 0.15);
    }

    for (int k = 0; k < 7; ++k) {
        const double a = rng.next();
        const double b = rng.next();
        const double e = rng.next();
        const double f = rng.next();
        const cg::Point q{c.x + (140 * a - 70), c.y + (80 * b - 40)};
        if (!open(q) || !clearOf(art.keep, around(q, 6, 6))) continue;
        bool apart = true;
        for (const Hole& hole : holes) apart = apart && std::hypot(q.x - hole.q.x, q.y - hole.q.y) >= 1.2 * hole.r;
        if (!apart) continue;
        const double g = (4 + 5 * e) / 2, angle = kPi * f;
        if (!rows.near(q.y, g + 4)) continue;
        const cg::Point m{q.x, H - q.y}, d{g * std::cos(angle), g * std::sin(angle)};
        art.shape(0x000000, 0.2, 1.4, [&](cg::Path& path) {
            path.moveTo({m.x - d.x + 0.6, m.y - d.y - 0.6});
            path.lineTo({m.x + d.x + 0.6, m.y + d.y - 0.6});
        });
        art.shape(pick(night, 0x8A6E48, 0x4A3E30), 1, 1.1, [&](cg::Path& path) {
            path.moveTo({m.x - d.x, m.y - d.y});
            path.lineTo({m.x + d.x, m.y + d.y});
        });
    }
}

void Art::Battlefield::crater(cg::Point p, double r, bool puddle) {
    const bool night = art.s.night;
    RNG rng(pointSeed(p, 7));
    {
        const double s = night ? 0.35 : 0.3;
        const uint32_t scorch = pick(night, 0x2E2618, 0x0C0D10);
        const cg::Gradient soot({cg::Color::rgb(scorch, s), cg::Color::rgb(scorch, 0.85 * s), cg::Color::rgb(scorch, 0)},
                                {0, 0.55, 1});
        cg::SavedState g(art.ctx);
        art.ctx->translateBy(p.x, p.y);
        art.ctx->scaleBy(1, 0.7);
        art.ctx->drawRadialGradient(soot, {0, 0}, 0, {0, 0}, 2 * r);
    }
    const double dots = 2 * r + 3;
    const int64_t n = dots > 0 ? (dots < 1e6 ? static_cast<int64_t>(dots) : 1000000) : 0;
    for (int64_t i = 0; i < n; ++i) {
        const double a = rng.next();
        const double b = rng.next();
        const double e = rng.next();
        const double f = rng.next();
        const double angle = 2 * kPi * a;
        const uint32_t color = b < 0.5 ? pick(night, 0x9A8660, 0x4A443A) : pick(night, 0x2E2618, 0x17161A);
        const double g = 0.3 + 0.6 * e, k = 1.15 + 1.15 * f;
        const cg::Point at{p.x + std::cos(angle) * r * k, p.y + std::sin(angle) * r * k * 0.85};
        art.shape(color, 0.7, 0, [&](cg::Path& path) { path.addEllipse(around(at, g, 0.8 * g)); });
    }
    art.impact(p, r, pick(night, 0xA8946A, 0x4C463E), pick(night, 0x3A3226, 0x181614), pick(night, 0x8A7856, 0x3B3731));
    if (puddle) {
        art.shape(pick(night, 0x6E8696, 0x2A3442), 0.8, 0, [&](cg::Path& path) {
            path.addEllipse(around({p.x + 0.12 * r, p.y - 0.18 * r}, 0.55 * r, 0.32 * r));
        });
        art.shape(0xFFFFFF, night ? 0.1 : 0.4, 0, [&](cg::Path& path) {
            path.addEllipse(around({p.x - 0.05 * r, p.y - 0.1 * r}, 0.2 * r, 0.07 * r));
        });
    }
}

std::vector<Art::Battlefield::Tread> Art::Battlefield::treadLines(const Polyline& path) const {
    std::vector<cg::Point> drawn;
    drawn.reserve(path.size());
    for (const cg::Point& q : path) drawn.push_back(art.flip(q));
    const std::vector<cg::Point> pts = rounded(drawn, false, 3);
    const std::size_t n = pts.size();
    std::vector<Tread> lines;
    for (const double offset : {-5.0, 5.0}) {
        Tread tread;
        double cellX = 0, cellY = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const cg::Point a = pts[i > 0 ? i - 1 : 0], b = pts[std::min(i + 1, n - 1)];
            const double tx = b.x - a.x, ty = b.y - a.y, len = std::hypot(tx, ty);
            if (!(len > 0)) continue;
            const cg::Point q{pts[i].x - ty / len * offset, pts[i].y + tx / len * offset};
            const double cx = std::floor(q.x / 40), cy = std::floor(q.y / 40);
            // The dashes restart in every 40-point cell, so two renders line up along a kept path.
            if (tread.band.empty() || cx != cellX || cy != cellY) tread.marks.emplace_back();
            tread.band.push_back(q);
            tread.marks.back().push_back(q);
            cellX = cx;
            cellY = cy;
        }
        lines.push_back(std::move(tread));
    }
    return lines;
}

void Art::Battlefield::treads(const Polyline& path) { treads(treadLines(path), Rows{}); }

void Art::Battlefield::treads(const std::vector<Tread>& lines, Rows rows) {
    const bool night = art.s.night;
    const cg::Color color = night ? cg::Color::rgb(0x0E0F12, 0.22) : cg::Color::rgb(0x3A3224, 0.18);
    cg::Context& g = *art.ctx;
    // Wider than half the widest line and its antialiasing.
    constexpr double kReach = 8;
    for (const Tread& tread : lines) {
        // Round ends and joins, whatever an earlier stroke left on the context (on a bare field there
        // was none).
        g.setLineCap(cg::LineCap::round);
        g.setLineJoin(cg::LineJoin::round);
        g.setStrokeColor(color);
        g.setLineWidth(3.4);
        g.addPath(runsNear(std::span(&tread.band, 1), rows, kReach));
        g.strokePath();
        g.setLineWidth(2.8);
        static constexpr std::array<double, 2> kDash = {0.9, 1.3};
        g.setLineDash(0, kDash);
        g.addPath(linesNear(tread.marks, rows, kReach));
        g.strokePath();
        g.setLineDash(0, {});
    }
}

void Art::Battlefield::wire(cg::Point p, double L, double tilt) { wire(p, L, tilt, Rows{}); }

void Art::Battlefield::wire(cg::Point p, double L, double tilt, Rows rows) {
    const bool night = art.s.night;
    const double H = art.H();
    RNG rng(pointSeed(p, 0));
    const cg::Point u{std::cos(tilt), std::sin(tilt)}, nrm{-std::sin(tilt), std::cos(tilt)};
    const double a0 = rng.next();
    const double b0 = rng.next();
    const double e0 = rng.next();
    const double phi = 6.28 * a0, A = 12 * b0 - 6;
    auto along = [&](double t) {
        const double o = A * std::sin(kPi * t / L) + 2.2 * std::sin(phi + 5 * t / L);
        return cg::Point{p.x + t * u.x + o * nrm.x, p.y + t * u.y + o * nrm.y};
    };
    for (double s = 8 * e0; s <= L;) {
        const double a = rng.next();
        const double b = rng.next();
        const double e = rng.next();
        const double f = rng.next();
        const cg::Point base = along(s);
        s += 20 + 14 * f;
        // A post stands at most 8 points over its base.
        if (!rows.near(H - base.y, 10)) continue;
        art.shape(pick(night, 0x5A4430, 0x3A2E24), 1, 0, [&](cg::Path& path) {
            path.addRect(cg::Rect(base.x + (-0.7 + 1.2 * a - 0.6), base.y + (b - 0.5), 1.4, 5.5 + 2 * e));
        });
    }
    struct Strand {
        uint32_t day, night;
        double alpha, dx, dy;
    };
    constexpr Strand kStrands[] = {
        {0x000000, 0x000000, 0.22, 1.6, -1.4}, {0x55534E, 0x3A3B3D, 0.7, 0, 1}, {0x3E3D3A, 0x54565A, 0.75, 0, 0}};
    for (const Strand& strand : kStrands) {
        art.shape(pick(night, strand.day, strand.night), strand.alpha, 0.45, [&](cg::Path& path) {
            for (double t = 0; t < L;) {
                const double a = rng.next();
                const double b = rng.next();
                const double e = rng.next();
                const double f = rng.next();
                const double g = rng.next();
                const double h = rng.next();
                const cg::Point at = along(t);
                t += 1.7 + 1.2 * h;
                // A barb reaches less than 6 points from its place, which is 6 points off the line.
                if (!rows.near(H - at.y, 14)) continue;
                const cg::Transform place = cg::Transform::translation(at.x + strand.dx, at.y + (3.6 + strand.dy + a - 0.5))
                                                .rotatedBy(tilt + 0.35 * b + 0.3);
                path.addEllipse(cg::Rect(-(0.5 * e + 1.1), -3.2, f + 2.2, 1.4 * g + 5.6), place);
            }
        });
    }
}

void Art::Battlefield::hedgehog(cg::Point p) {
    const bool night = art.s.night;
    art.groundShadow(p, 5, 0.18);
    struct Layer {
        cg::Point offset;
        uint32_t day, night;
        double alpha, width;
    };
    constexpr Layer kLayers[] = {{{2.2, -1.8}, 0x000000, 0x000000, 0.3, 1.8},
                                 {{0, 0}, 0x3E3C38, 0x2E3034, 1, 1.6},
                                 {{-0.4, 0.4}, 0x77736B, 0x585E68, 0.7, 0.5}};
    for (const Layer& layer : kLayers) {
        const double x = p.x + layer.offset.x, y = p.y + layer.offset.y;
        art.shape(pick(night, layer.day, layer.night), layer.alpha, layer.width, [&](cg::Path& path) {
            path.moveTo({x - 5, y});
            path.lineTo({x + 5, y + 9});
            path.moveTo({x + 5, y});
            path.lineTo({x - 5, y + 9});
            path.moveTo({x - 1, y - 0.5});
            path.lineTo({x + 1, y + 10});
        });
    }
}

cg::Path Art::Battlefield::stump(cg::Point p, double w, double h) {
    const double x = p.x, y = p.y;
    const std::array<cg::Point, 7> outline = {{{x - w, y},
                                               {x + w, y},
                                               {x + 0.8 * w, y + 0.8 * h},
                                               {x + 0.3 * w, y + 0.65 * h},
                                               {x, y + h},
                                               {x - 0.4 * w, y + 0.7 * h},
                                               {x - 0.9 * w, y + 0.85 * h}}};
    cg::Path path;
    path.addLines(outline);
    path.closeSubpath();
    return path;
}

void Art::Battlefield::tent(cg::Point p) {
    const bool night = art.s.night;
    art.groundShadow(p, 13, 0.18);
    auto triangle = [&](uint32_t color, cg::Point a, cg::Point b, cg::Point c) {
        art.shape(color, 1, 0, [&](cg::Path& path) {
            path.moveTo(a);
            path.lineTo(b);
            path.lineTo(c);
            path.closeSubpath();
        });
    };
    triangle(pick(night, 0x7A8850, 0x6A5C3E), {p.x - 12, p.y}, {p.x + 12, p.y}, {p.x, p.y + 14});
    triangle(pick(night, 0x59653C, 0x52472F), {p.x - 12, p.y}, {p.x, p.y}, {p.x, p.y + 14});
    triangle(pick(night, 0x1E2318, 0xC8994E), {p.x - 2.2, p.y}, {p.x + 2.2, p.y}, {p.x, p.y + 6});
    soldier({p.x + 16, p.y + 2}, Art::rand(p, 1) * 2 * kPi);
    if (Art::rand(p, 2) < 0.6) soldier({p.x - 17, p.y + 3}, Art::rand(p, 3) * 2 * kPi);
}

void Art::Battlefield::tentLights(cg::Point p) {
    if (!art.s.night) return;
    const double phase = Art::rand(p, 0);
    Sprite lamp;
    lamp.kind = Sprite::Kind::light;
    lamp.at = {p.x, p.y + 2};
    lamp.size = 0.8;
    lamp.phase = phase;
    lamp.color = 0xFFC56B;
    art.sprites.push_back(std::move(lamp));
    art.firelight({p.x, p.y - 2}, 16, phase, 0, 0.6);
}

void Art::Battlefield::crate(cg::Point p) {
    const bool night = art.s.night;
    art.groundShadow(p, 6, 0.2);
    art.shape(pick(night, 0x7A5C36, 0x4A3C2A), 1, 0, [&](cg::Path& path) { path.addRect(cg::Rect(p.x - 4, p.y, 8, 6)); });
    art.shape(pick(night, 0x9C7A4C, 0x5C4B34), 1, 0,
              [&](cg::Path& path) { path.addRect(cg::Rect(p.x - 4, p.y + 6, 8, 2.6)); });
    art.shape(0x000000, 0.25, 0, [&](cg::Path& path) { path.addRect(cg::Rect(p.x - 4, p.y + 2.6, 8, 0.6)); });
}

void Art::Battlefield::soldier(cg::Point p, double heading) {
    const bool night = art.s.night;
    cg::SavedState g(art.ctx);
    art.ctx->translateBy(p.x, p.y);
    art.ctx->rotateBy(heading);
    art.ctx->scaleBy(1.5, 1.5);
    art.shape(0x000000, 0.3, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(-1.1, -3.5, 4, 5.2)); });
    art.shape(0x1E1B18, 1, 0.7, [](cg::Path& path) {
        path.moveTo({-0.5, -1.7});
        path.lineTo({3.8, -1.7});
    });
    art.shape(pick(night, 0x9C9468, 0x6A664E), 1, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(-1.5, -2.7, 3, 5.4)); });
    art.shape(pick(night, 0x34401F, 0x1E2418), 1, 0,
              [](cg::Path& path) { path.addEllipse(cg::Rect(-1.25, -1.55, 3.1, 3.1)); });
    art.shape(0xFFFFFF, night ? 0.08 : 0.18, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(-0.65, -0.05, 1.1, 1.1)); });
}

Art::Battlefield::Bags Art::Battlefield::nestBags(cg::Point p, double facing) {
    Bags bags;
    for (int i = 0; i < 14; ++i) {
        const double a = i * kPi / 7 + (Art::rand(p, 20 + static_cast<uint64_t>(i)) - 0.5) * 0.14;
        // The gap behind the gun, where the crew gets in.
        if (std::cos(a - facing - kPi) >= 0.93) continue;
        (std::sin(a) > 0 ? bags.back : bags.front).push_back(a);
    }
    return bags;
}

void Art::Battlefield::nestBag(cg::Point m, double a) {
    const bool night = art.s.night;
    const cg::Point b{m.x + 11 * std::cos(a), m.y + 6 * std::sin(a)};
    const double turn = std::atan2(6 * std::cos(a), -11 * std::sin(a));
    const double k = 2.5 + 0.6 * Art::rand(b, 1);
    const cg::Transform lower = cg::Transform::translation(b.x + 0.4, b.y - 0.5).rotatedBy(turn);
    const cg::Transform upper = cg::Transform::translation(b.x - 0.2, b.y + 0.3).rotatedBy(turn);
    art.shape(pick(night, 0xAE9B6E, 0x433D34), 1, 0, [&](cg::Path& path) {
        path.addRoundedRect(cg::Rect(-1.15 * k, -2.07, 2.3 * k, 4.14), 1.4, 1.2, lower);
    });
    art.shape(pick(night, 0xD8C79A, 0x625A4C), 1, 0,
              [&](cg::Path& path) { path.addRoundedRect(cg::Rect(-k, -1.8, 2 * k, 3.6), 1.4, 1.2, upper); });
}

void Art::Battlefield::nest(cg::Point p, double f) {
    art.groundShadow(p, 14, 0.18);
    const cg::Point m{p.x, p.y + 5};
    const Bags bags = nestBags(p, f);
    for (double a : bags.back) nestBag(m, a);
    const double c = std::cos(f), s = std::sin(f);
    soldier({m.x + (-4 * c - 4 * s), m.y + (-2 * s + 2.5 * c)}, f);
    soldier({m.x + (-4 * c + 4 * s), m.y + (-2 * s - 2.5 * c)}, f);
    art.shape(0x2A2A28, 1, 1.4, [&](cg::Path& path) {
        path.moveTo(m);
        path.lineTo({m.x + 13 * c, m.y + 8 * s});
    });
    for (double a : bags.front) nestBag(m, a);
}
