// The winter scene's paths and placement rules, and the two sprite steps that must cope with missing
// pictures: fox tracks (a fox needs all its frames) and steam (a strip may be missing).

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "Art/Geometry2D.h"
#include "Art/Winter.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;

bool clearOf(const std::vector<cg::Rect>& keep, const cg::Rect& box) {
    for (const cg::Rect& r : keep)
        if (box.intersects(r)) return false;
    return true;
}

// Int(3·u) for a hash u in [0, 1), kept inside 0 … 2 whatever u is.
std::size_t third(double u) {
    const double q = std::floor(3 * u);
    if (!(q > 0)) return 0;
    return q < 2 ? static_cast<std::size_t>(q) : 2;
}

}  // namespace

std::vector<cg::Point> Art::Winter::current(cg::Point p) {
    const double e = (Art::rand(p, 3) - 0.5) * 0.25;
    return {p, {p.x + 70 + 20 * e, p.y + 10 - 140 * e}, {p.x + 140, p.y + 20}};
}

std::vector<cg::Point> Art::Winter::steamPath(cg::Point p) {
    const double e = (Art::rand(p, 3) - 0.5) * 0.3;
    return {p, {p.x + 65 - 25 * e, p.y - 12.5 - 130 * e}, {p.x + 130, p.y - 25}};
}

std::vector<cg::Point> Art::Winter::fall(cg::Point p) {
    const cg::Point d{-30, 150};
    const double L = std::max(std::hypot(d.x, d.y), 1.0);
    const double pieces = 2 * L / (36 + 30 * Art::rand(p, 4));
    const int64_t n = std::max<int64_t>(2, static_cast<int64_t>(pieces));
    const double A = 3 + 4 * Art::rand(p, 3);
    const cg::Point N{-d.y / L, d.x / L};
    std::vector<cg::Point> out;
    out.reserve(static_cast<std::size_t>(n) + 1);
    for (int64_t k = 0; k <= n; ++k) {
        double o = 0;
        if (k > 0 && k < n) {
            o = A * (0.5 + 0.5 * Art::rand(p, static_cast<uint64_t>(k)));
            if (k % 2 == 1) o = -o;
        }
        const double f = static_cast<double>(k), fn = static_cast<double>(n);
        out.push_back({p.x + d.x * f / fn + N.x * o, p.y + d.y * f / fn + N.y * o});
    }
    return out;
}

std::vector<cg::Point> Art::Winter::foxLoop(const std::vector<cg::Point>& trail) {
    std::vector<cg::Point> loop = trail;
    if (trail.empty()) return loop;
    const std::size_t last = trail.size() - 1;
    for (std::size_t k = 0; k <= last; ++k) {
        const std::size_t i = last - k;
        const cg::Point a = trail[std::min(i + 1, last)];
        const cg::Point b = trail[i > 0 ? i - 1 : 0];
        const cg::Point d{a.x - b.x, a.y - b.y};
        const double m = std::max(std::hypot(d.x, d.y), 1.0);
        loop.push_back({trail[i].x + 3 * -d.y / m, trail[i].y + 3 * d.x / m});
    }
    return loop;
}

std::vector<cg::Point> Art::Winter::wobble(cg::Point p) {
    std::vector<cg::Point> loop;
    loop.reserve(4);
    for (int k = 0; k < 4; ++k) {
        const double phi = ((Art::rand(p, 1 + static_cast<uint64_t>(k)) - 0.5) * 0.5 + k) * kPi / 2;
        loop.push_back({p.x + 0.3 * std::cos(phi), p.y + 0.3 * std::sin(phi)});
    }
    return loop;
}

bool Art::Winter::sealed(double size, double u) { return size > 11 && u < 0.6; }

bool Art::Winter::roomFrom(cg::Point p, const std::vector<cg::Point>& others, double d) {
    for (const cg::Point& q : others)
        if (std::hypot(p.x - q.x, p.y - q.y) < d) return false;
    return true;
}

bool Art::Winter::pineSpot(cg::Point p, const std::vector<cg::Point>& cabins) const {
    const Art& a = art;
    if (!(a.value(p) > a.look.landAt() + 0.06f)) return false;
    // Pines gather where the texture runs high.
    const double d = static_cast<double>(a.t.tex->sample(p));
    const double u = std::clamp((d + 0.5) / 0.7, 0.0, 1.0);
    if (!(u * u * (3 - 2 * u) > Art::rand(p, 9))) return false;
    if (!clearOf(a.keep, cg::Rect(p.x - 8, p.y - 26, 16, 30))) return false;
    return roomFrom(p, cabins, 26);
}

bool Art::Winter::globeSpot(cg::Point p, const std::vector<cg::Point>& pines,
                            const std::vector<cg::Point>& cabins) const {
    const Art& a = art;
    if (!(a.value(p) > a.look.landAt() + 0.06f)) return false;
    if (!clearOf(a.keep, cg::Rect(p.x - 17, p.y - 38, 34, 44))) return false;
    for (const cg::Point& q : pines)
        if (std::fabs(q.x - p.x) < 16 && q.y - 6 < p.y && p.y < q.y + 36) return false;
    return roomFrom(p, cabins, 40);
}

std::vector<Art::Winter::Chunk> Art::Winter::chunks(const std::vector<cg::Point>& ring,
                                                    const std::function<double(uint64_t)>& u) {
    std::vector<Chunk> out;
    const double n = static_cast<double>(ring.size());
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const uint64_t m = i;
        if (!(u(600 + m) > 0.2)) continue;
        const double a = u(m + 70);
        const double w = 1.5 * a * std::sin(static_cast<double>(m) * kPi / n) + 0.8;
        const double dx = (u(m + 200) - 0.5) * 3.5;
        const double dy = (u(m + 400) - 0.5) * 3.5;
        out.push_back({{ring[i].x + dx, ring[i].y + dy}, w, a * 6});
    }
    return out;
}

std::vector<std::pair<cg::Point, int>> Art::Winter::backToFront(const std::vector<cg::Point>& cabins,
                                                                const std::vector<cg::Point>& pines,
                                                                const std::vector<cg::Point>& snowmen) {
    std::vector<std::pair<cg::Point, int>> items;
    items.reserve(cabins.size() + pines.size() + snowmen.size());
    for (const cg::Point& p : cabins) items.emplace_back(p, 0);
    for (const cg::Point& p : pines) items.emplace_back(p, 1);
    for (const cg::Point& p : snowmen) items.emplace_back(p, 2);
    sortByY(items);
    return items;
}

void Art::Winter::tracks(const std::vector<cg::Point>& points, const std::vector<cg::ImageRef>& foxFrames) {
    const bool night = art.s.night;
    const uint32_t paw = night ? 0x2C3E58 : 0x56789A;
    for (const cg::Point& p : points) {
        const std::vector<cg::Point> trail = shoreline(p, 12, 10);
        if (Art::rand(p, 3) < 0.5) {
            // A fox trail: a line of dots stepping a little left and right.
            const std::vector<cg::Point> dots = rounded(trail, false, 3.2);
            for (std::size_t i = 0; i < dots.size(); ++i) {
                const cg::Point c = art.flip({dots[i].x + (i % 2 == 0 ? 0.5 : -0.5), dots[i].y});
                art.shape(paw, 0.4, 0, [&](cg::Path& path) { path.addEllipse(cg::Rect(c.x - 0.6, c.y - 0.6, 1.2, 1.2)); });
            }
            if (!(Art::rand(p, 4) < 0.8) || foxFrames.size() < 4) continue;
            Sprite sp;
            sp.kind = Sprite::Kind::trip;
            for (const cg::Point& q : foxLoop(trail)) sp.path.push_back(art.flip(q));
            sp.at = sp.path.front();
            sp.size = 12;
            sp.phase = Art::rand(p, 6);
            sp.travel = 8 + 3 * Art::rand(p, 5);
            sp.image = foxFrames.front();
            sp.frames = foxFrames;
            sp.beat = 0.5;
            sp.rest = 0.3;
            sp.closed = true;
            sp.face = true;
            art.sprites.push_back(std::move(sp));
            continue;
        }
        // Hare prints: two fore prints side by side, two smaller hind prints behind.
        const std::vector<cg::Point> q = rounded(trail, false, 9);
        for (std::size_t i = 0; i + 1 < q.size(); ++i) {
            const double theta = std::atan2(q[i + 1].y - q[i].y, q[i + 1].x - q[i].x);
            const double c = std::cos(theta), s = std::sin(theta);
            const double x = q[i].x, y = q[i].y;
            struct Print {
                cg::Point at;
                double w, h;
            };
            const Print prints[] = {{{x + 1.4 * s, y - 1.4 * c}, 1.8, 1.2},
                                    {{x - 1.4 * s, y + 1.4 * c}, 1.8, 1.2},
                                    {{x - 3 * c + 0.3 * s, y - 3 * s - 0.3 * c}, 1.08, 0.72},
                                    {{x - 4.6 * c - 0.3 * s, y - 4.6 * s + 0.3 * c}, 1.08, 0.72}};
            for (const Print& pr : prints) {
                const cg::Point m = art.flip(pr.at);
                art.shape(paw, 0.38, 0,
                          [&](cg::Path& path) { path.addEllipse(cg::Rect(m.x - pr.w / 2, m.y - pr.h / 2, pr.w, pr.h)); });
            }
        }
    }
}

void Art::Winter::steamStrip(int k) {
    const bool night = art.s.night;
    const cg::Color tone = night ? cg::Color::rgb(0xA8B6CA, 0.2) : cg::Color::rgb(0xFFFFFF, 0.17);
    const cg::Gradient mist({tone, cg::Color{tone.r, tone.g, tone.b, 0}}, {0, 1});
    cg::Context& g = *art.ctx;
    RNG rng(art.s.seed() + 140 + static_cast<uint64_t>(k));
    double x = 10;
    while (x < 112) {
        const double r1 = rng.next();
        const double r2 = rng.next();
        const double r3 = rng.next();
        const cg::Point c{x, 12 + 8 * r2};
        // Puffs shrink toward both ends of the strip.
        const double radius = (5 + 6 * r1) * (1 - 0.4 * std::fabs(x - 60) / 60);
        {
            cg::SavedState saved(g);
            g.translateBy(c.x, c.y);
            g.scaleBy(1.7, 1);
            g.drawRadialGradient(mist, {0, 0}, 0, {0, 0}, radius);
        }
        x += 6 + 7 * r3;
    }
}

void Art::Winter::steamSprites(const std::vector<cg::Point>& points, const std::array<cg::ImageRef, 3>& strips) {
    for (const cg::Point& p : points) {
        Sprite sp;
        sp.kind = Sprite::Kind::trip;
        sp.at = art.flip(p);
        sp.size = 120;
        sp.phase = Art::rand(p, 2);
        sp.travel = 5 + 2 * Art::rand(p, 1);
        sp.image = strips[third(Art::rand(p, 5))];
        sp.beat = 1;
        for (const cg::Point& q : steamPath(p)) sp.path.push_back(art.flip(q));
        sp.rest = 0.2 + 0.6 * Art::rand(p, 4);
        sp.closed = false;
        sp.grow = 1.6;
        sp.face = true;
        art.sprites.push_back(std::move(sp));
    }
}
