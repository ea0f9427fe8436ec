#include <algorithm>
#include <cmath>

#include "Art/Archipelago.h"
#include "Art/Art.h"
#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

// Fixed tables of the ape's patrol, the contour loop, the beam and the squall.
constexpr double kPatrolRadii[] = {130, 100, 70, 40, 0};

struct ContourPass {
    double sign;
    double shift;
};
constexpr ContourPass kContourPasses[] = {{+1, +0.01}, {-1, -0.01}};

struct BeamCone {
    double halfAngle;
    double alpha;
};
constexpr BeamCone kBeamCones[] = {{0.08, 0.04}, {0.045, 0.06}, {0.02, 0.08}};

struct SquallLayer {
    uint32_t color;
    double alpha;
    cg::Point centre;
    cg::Size spread;
    int puffs;
    double radius;
};
constexpr SquallLayer kSquallLayers[] = {
    {0x1B3346, 0.22, {178, 104}, {50, 26}, 7, 46},
    {0x23384A, 0.16, {150, 140}, {22, 14}, 4, 40},
    {0x9AA8B4, 0.07, {150, 140}, {26, 16}, 5, 44},
};

}  // namespace

std::vector<cg::Point> Art::Archipelago::wander(cg::Point p, double heading, int steps, double step, double noise,
                                                uint64_t salt) const {
    std::vector<cg::Point> route{p};
    route.reserve(static_cast<std::size_t>(steps) + 1);
    double theta = heading;
    double turn = 0;
    for (int i = 0; i < steps; ++i) {
        turn = 0.6 * turn + (Art::rand(p, salt + static_cast<uint64_t>(i)) - 0.5) * noise;
        theta = theta + turn;
        const cg::Point last = route.back();
        route.push_back({last.x + step * std::cos(theta), last.y + step * std::sin(theta)});
    }
    return route;
}

std::vector<cg::Point> Art::Archipelago::cruise(cg::Point p) const {
    return wander(p, 2 * M_PI * Art::rand(p, 1), 6, 90, 0.24, 121);
}

std::vector<cg::Point> Art::Archipelago::race(cg::Point p) const {
    return wander(p, 2 * M_PI * Art::rand(p, 1), 7, 80, 0.28, 161);
}

std::vector<cg::Point> Art::Archipelago::downwind(cg::Point p) const { return wander(p, 0.64, 5, 55, 0.24, 151); }

// One step along the contour where the height equals `level`, pulled back toward it when it drifts.
cg::Point Art::Archipelago::contourStep(cg::Point q, double level, double step) const {
    const double gx = static_cast<double>(art.value({q.x + 3, q.y}) - art.value({q.x - 3, q.y}));
    const double gy = static_cast<double>(art.value({q.x, q.y + 3}) - art.value({q.x, q.y - 3}));
    const double len = std::max(std::hypot(gx, gy), 0.000001);
    const double nx = gx / len, ny = gy / len;
    const double pull = std::clamp((level - static_cast<double>(art.value(q))) * 150, -6.0, 6.0);
    return {q.x - step * ny + nx * pull, q.y + step * nx + ny * pull};
}

std::vector<cg::Point> Art::Archipelago::glide(cg::Point p, double mid, int64_t steps) const {
    const double s = Art::rand(p, 1) < 0.5 ? 1 : -1;
    std::vector<cg::Point> path{p};
    for (int64_t i = 0; i < steps; ++i) path.push_back(contourStep(path.back(), mid, 20 * s));
    return path;
}

std::vector<cg::Point> Art::Archipelago::circuit(cg::Point p, double mid, int64_t steps) const {
    const double s = Art::rand(p, 1) < 0.5 ? 1 : -1;
    std::vector<cg::Point> path{p};
    for (const ContourPass& pass : kContourPasses)
        for (int64_t i = 0; i < steps; ++i)
            path.push_back(contourStep(path.back(), mid + pass.shift, 20 * s * pass.sign));
    path.pop_back();
    return path;
}

std::vector<cg::Point> Art::Archipelago::beat(cg::Point p, double radius) const {
    if (radius <= 0) return {p};
    const double a = (Art::rand(p, 1) - 0.5) * 0.5;
    const cg::Point e{p.x + radius * std::cos(a), p.y + radius * std::sin(a)};
    const double bend = (Art::rand(p, 2) - 0.5) * 0.3;
    const cg::Point c{(p.x + e.x) / 2 + bend * (e.y - p.y), (p.y + e.y) / 2 - bend * (e.x - p.x)};
    return rounded({p, c, e}, false, 2);
}

// One sample of the patrol: on firm ground inside the screen, clear of icons and of the huts.
bool Art::Archipelago::stands(cg::Point s) const {
    if (!(s.x > 38 && s.x < art.W() - 38 && s.y > 72 && s.y < art.H() - 10)) return false;
    const float l0 = art.look.land[0].t;
    if (!(art.value(s) > l0 + 0.07f)) return false;
    if (!(art.value({s.x - 20, s.y}) > l0 + 0.02f)) return false;
    if (!(art.value({s.x + 20, s.y}) > l0 + 0.02f)) return false;
    if (!(art.value({s.x, s.y - 28}) > l0 + 0.02f)) return false;
    const cg::Rect body(s.x - 33, s.y - 68, 66, 76);
    for (const cg::Rect& r : art.keep)
        if (body.intersects(r)) return false;
    for (const cg::Point& h : huts)
        if (std::fabs(h.x - s.x) < 44 && s.y - 70 < h.y && h.y < s.y + 28) return false;
    return true;
}

bool Art::Archipelago::roomy(const std::vector<cg::Point>& path) const {
    if (path.empty()) return true;
    if (!stands(path.back())) return false;
    for (std::size_t i = 0; i < path.size(); i += 4)
        if (!stands(path[i])) return false;
    return true;
}

std::optional<double> Art::Archipelago::room(cg::Point p) const {
    // Every patrol starts at p and samples it, so a point that cannot stand fits no radius.
    if (!stands(p)) return std::nullopt;
    for (double r : kPatrolRadii)
        if (roomy(beat(p, r))) return r;
    return std::nullopt;
}

std::optional<Art::Archipelago::Extent> Art::Archipelago::kongPasses(double x) const {
    std::optional<Extent> extent;
    for (const cg::Point& q : patrol) {
        if (!(std::fabs(q.x - x) < 36)) continue;
        if (!extent) extent = Extent{q.y, q.y};
        else {
            extent->lo = std::min(extent->lo, q.y);
            extent->hi = std::max(extent->hi, q.y);
        }
    }
    return extent;
}

double Art::Archipelago::open(double angle) const {
    bool anyLand = false;
    bool nearLand = false;
    for (int k = 0; k < 11; ++k) {
        const double d = 16 + 12 * k;
        const bool land = art.solid({lighthouse.x + d * std::cos(angle), lighthouse.y - d * std::sin(angle)}) > 0.5f;
        if (land) {
            anyLand = true;
            if (k == 0) nearLand = true;
        }
    }
    if (!anyLand) return 1;
    return nearLand ? 0.08 : 0.5;
}

void Art::Archipelago::squall() const {
    cg::Context& c = *art.ctx;
    RNG rng(404);
    for (const SquallLayer& layer : kSquallLayers) {
        const cg::Gradient g({cg::Color::rgb(layer.color, 1), cg::Color::rgb(layer.color, 1),
                              cg::Color::rgb(layer.color, 0)},
                             {0, 0.35, 1});
        c.setAlpha(layer.alpha * 1.4);
        {
            cg::TransparencyLayer group(c);
            for (int i = 0; i < layer.puffs; ++i) {
                const double u1 = rng.next();
                const double u2 = rng.next();
                const double u3 = rng.next();
                const cg::Point centre{layer.centre.x + layer.spread.width * (2 * u1 - 1),
                                       layer.centre.y + layer.spread.height * (2 * u2 - 1)};
                const double radius = layer.radius * (0.85 + 0.25 * u3);
                c.drawRadialGradient(g, centre, 0, centre, radius);
            }
        }
        c.setAlpha(1);
    }
    for (int i = 0; i < 320; ++i) {
        const double u1 = rng.next();
        const double u2 = rng.next();
        const double angle = 2 * M_PI * u1;
        const double d = 54 * std::pow(u2, 0.75);
        const cg::Point centre{150 + d * std::cos(angle), 140 + 0.75 * d * std::sin(angle)};
        c.setFillColor(cg::Color::white((1 - d / 58) * 0.45));
        c.fillEllipse(cg::Rect(centre.x - 0.4, centre.y - 0.4, 0.8, 0.8));
    }
    c.setLineWidth(0.45);
    c.setLineCap(cg::LineCap::round);
    c.setLineJoin(cg::LineJoin::round);
    for (int i = 0; i < 240; ++i) {
        const double u1 = rng.next();
        const double u2 = rng.next();
        const double u3 = rng.next();
        const double angle = 2 * M_PI * u1;
        const double r = 54 * std::pow(u2, 0.7);
        const double len = 6 + 9 * u3;
        const cg::Point s{150 + r * std::cos(angle), 140 + 0.75 * r * std::sin(angle)};
        c.setStrokeColor({203.0 / 255, 213.0 / 255, 222.0 / 255, (1 - r / 60) * 0.2});
        c.beginPath();
        c.moveTo(s);
        c.lineTo({s.x + 0.6 * len, s.y - 0.8 * len});
        c.strokePath();
    }
}

void Art::Archipelago::beam() const {
    cg::Context& c = *art.ctx;
    for (const BeamCone& cone : kBeamCones) {
        const double spread = 220 * std::tan(cone.halfAngle);
        const cg::Color warm{1, 244.0 / 255, 214.0 / 255, 1};
        const cg::Gradient g({warm.withAlpha(cone.alpha), warm.withAlpha(cone.alpha / 2), warm.withAlpha(0)},
                             {0, 0.5, 1});
        cg::SavedState saved(c);
        c.beginPath();
        c.moveTo({0, 30});
        c.lineTo({220, 30 + spread});
        c.lineTo({220, 30 - spread});
        c.closePath();
        c.clip();
        c.drawLinearGradient(g, {0, 30}, {220, 30});
    }
}
