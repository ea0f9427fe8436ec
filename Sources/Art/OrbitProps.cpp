// The orbit scene's props: the ringed planet and the habitat domes straight into the picture, and the
// rover, comet, station and rock drawn into their own small frames.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

#include "Art/Orbit.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Gradient.h"
#include "Platform/Graphics/StateGuard.h"
#include "Renderer/Random.h"

namespace {

constexpr double kPi = std::numbers::pi;

// Day or night value of a pair.
uint32_t pick(bool night, uint32_t day, uint32_t dark) { return night ? dark : day; }

void fillRect(cg::Context& c, const cg::Rect& r, uint32_t color, double alpha = 1) {
    c.setFillColor(cg::Color::rgb(color, alpha));
    c.fill(r);
}

void fillOval(cg::Context& c, const cg::Rect& r, uint32_t color, double alpha = 1) {
    c.setFillColor(cg::Color::rgb(color, alpha));
    c.fillEllipse(r);
}

cg::Rect oval(cg::Point c, double rx, double ry) { return {c.x - rx, c.y - ry, 2 * rx, 2 * ry}; }

// The inner, main and outer ring of a planet of radius r, in a frame squashed flat, clipped to the half
// that `half` gives before the squash (the far side above the ring line, the near side below).
void rings(cg::Context& c, cg::Point centre, double r, const cg::Rect& half, uint32_t color) {
    struct Ring {
        double alpha, width, radius;
    };
    const Ring set[] = {{0.22, 0.28 * r, 1.38 * r}, {0.9, 0.43 * r, 1.735 * r}, {0.7, 0.24 * r, 2.15 * r}};
    cg::SavedState g(c);
    c.translateBy(centre.x, centre.y);
    c.rotateBy(-0.12);
    c.clipToRect(half);
    c.scaleBy(1, 0.22);
    for (const Ring& ring : set) {
        c.setStrokeColor(cg::Color::rgb(color, ring.alpha));
        c.setLineWidth(ring.width);
        c.strokeEllipse(oval({0, 0}, ring.radius, ring.radius));
    }
}

// A closed tail wedge from the nucleus (10, 60): out along the upper edge and back along the lower one,
// at 20 steps; `angle` gives the heading at fraction c of the length.
template <class Heading>
cg::Path wedge(double length, double spread, Heading angle) {
    cg::Path p;
    p.moveTo({10, 60});
    for (int j = 1; j <= 20; ++j) {
        const double c = j / 20.0, th = angle(c);
        p.lineTo({10 + length * c * std::cos(th), 60 + length * c * std::sin(th) + spread * c});
    }
    for (int j = 20; j >= 1; --j) {
        const double c = j / 20.0, th = angle(c);
        p.lineTo({10 + length * c * std::cos(th), 60 + length * c * std::sin(th) - spread * c});
    }
    p.closeSubpath();
    return p;
}

}  // namespace

void Art::Orbit::planet(cg::Point c, double r) const {
    cg::Context& g = *art.ctx;
    const bool night = art.s.night;
    const uint32_t ringColor = pick(night, 0xE9D3A6, 0xA89C88);

    rings(g, c, r, {-3 * r, 0, 6 * r, 3 * r}, ringColor);

    {
        cg::SavedState body(g);
        g.addEllipse(oval(c, r, r));
        g.clip();
        g.translateBy(c.x, c.y);
        g.rotateBy(-0.12);
        static constexpr uint32_t kDay[] = {0xC8A06A, 0xE2C48E, 0xB98A52, 0xEAD2A0, 0xF4E0B4,
                                            0xC99A5C, 0xE6C892, 0xBE9058, 0xDDBE8A, 0xB08A5E};
        static constexpr uint32_t kNight[] = {0x7A6A58, 0x92826A, 0x6E5C48, 0x9A8A72, 0xA49680,
                                              0x786450, 0x8E7E68, 0x6E5C4A, 0x86765F, 0x625244};
        std::vector<cg::Color> bands;
        for (uint32_t v : night ? kNight : kDay) bands.push_back(cg::Color::rgb(v));
        g.drawLinearGradient(cg::Gradient(std::move(bands), {0, 0.18, 0.3, 0.4, 0.48, 0.56, 0.64, 0.76, 0.86, 1}),
                             {0, r}, {0, -r});

        // The main ring's shadow across the lower half of the body.
        {
            cg::SavedState shadow(g);
            g.clipToRect({-r, -r, 2 * r, r});
            g.translateBy(0, -0.16 * r);
            g.scaleBy(1, 0.22);
            g.setStrokeColor(cg::Color::black(0.3));
            g.setLineWidth(0.43 * r);
            g.strokeEllipse(oval({0, 0}, 1.735 * r, 1.735 * r));
        }

        fillOval(g, oval({0.34 * r, -0.3 * r}, 0.17 * r, 0.09 * r), pick(night, 0xCF8450, 0x8E6448), 0.75);
        fillOval(g, oval({0.32 * r, -0.29 * r}, 0.08 * r, 0.04 * r), pick(night, 0xEDC08E, 0xA48468), 0.7);

        g.rotateBy(0.12);
        const double haze = night ? 0.14 : 0.28;
        g.drawRadialGradient(cg::Gradient({cg::Color::rgb(0xFFF4DC, 0), cg::Color::rgb(0xFFF4DC, haze)}, {0, 1}),
                             {0, 0}, 0.78 * r, {0, 0}, r);
        // Lit from the upper left: darkness gathers toward the lower right and beyond.
        g.drawRadialGradient(
            cg::Gradient({cg::Color::black(0), cg::Color::black(0.15), cg::Color::rgb(0x05030A, 0.8)}, {0, 0.5, 1}),
            {-0.35 * r, 0.35 * r}, 0, {-0.1 * r, 0.1 * r}, 1.45 * r, {false, true});
    }

    rings(g, c, r, {-3 * r, -3 * r, 6 * r, 3 * r}, ringColor);
}

void Art::Orbit::habitat(cg::Point b) const {
    cg::Context& g = *art.ctx;
    const bool night = art.s.night;
    const double x = b.x, y = b.y;
    {
        cg::SavedState shadow(g);
        g.translateBy(x + 5.2, y - 1);
        g.scaleBy(1, 0.3);
        g.drawRadialGradient(
            cg::Gradient({cg::Color::black(0.425), cg::Color::black(0.225), cg::Color::black(0)}, {0, 0.45, 1}),
            {0, 0}, 0, {0, 0}, 14.95);
    }
    fillRect(g, {x - 12, y - 1, 24, 3}, pick(night, 0x8E88A8, 0x4A4560));
    art.shape(night ? 0x7FD3FF : 0xBFE6FF, night ? 0.55 : 0.9, 0,
              [&](cg::Path& p) { p.addArc({x, y + 2}, 10, 0, kPi, false); });
    fillOval(g, oval({x - 4, y + 7}, 2.6, 1.6), 0xFFFFFF, 0.7);
    art.shape(pick(night, 0xD6D0EA, 0x8A84A6), 1, 1, [&](cg::Path& p) {
        p.moveTo({x + 8, y + 2});
        p.lineTo({x + 13, y + 14});
    });

    // A red beacon on the antenna by day; the whole dome glows at night.
    Sprite sp;
    sp.kind = Sprite::Kind::light;
    sp.at = night ? cg::Point{x, y + 5} : cg::Point{x + 13, y + 14};
    sp.size = night ? 1.4 : 0.5;
    sp.phase = Art::rand(b, 0);
    sp.travel = 0;
    sp.color = night ? 0x8FE3FF : 0xFF5C5C;
    sp.face = true;
    art.sprites.push_back(std::move(sp));
}

void Art::Orbit::rover(bool lamp) const {
    cg::Context& g = *art.ctx;
    const bool night = art.s.night;
    if (night) {
        cg::SavedState beam(g);
        const cg::Point quad[] = {{15, 4.5}, {31, 0.5}, {31, 11.5}, {15, 7.5}};
        g.addLines(quad);
        g.closePath();
        g.clip();
        g.drawLinearGradient(cg::Gradient({cg::Color::rgb(0xE6F0FF, 0.32), cg::Color::rgb(0xE6F0FF, 0)}, {0, 1}),
                             {15, 6}, {31, 6});
    }
    for (double wx : {1.8, 7.3, 12.8})
        for (double wy : {0.4, 9.2}) fillOval(g, {wx, wy, 3.4, 2.4}, 0x2A2730);
    {
        cg::SavedState body(g);
        g.clipToRect({2, 2.6, 14, 6.8});
        g.drawRadialGradient(cg::Gradient({cg::Color::rgb(pick(night, 0xF2F0F4, 0xB8B4C8)),
                                           cg::Color::rgb(pick(night, 0xA8A4B0, 0x6E6A80))},
                                          {0, 1}),
                             {6.2, 9.15}, 0, {9, 6}, 8.75, {false, true});
    }
    fillRect(g, {3, 3.4, 8.6, 5.2}, pick(night, 0x34488A, 0x2A3466));
    for (double lx : {5.1, 7.3, 9.5}) fillRect(g, {lx, 3.4, 0.3, 5.2}, pick(night, 0x6A80C4, 0x4A5890));
    fillOval(g, {12.2, 4.6, 2.8, 2.8}, pick(night, 0xE0DEE6, 0xA8A4B8));
    fillOval(g, {13.7, 5.9, 1, 1}, 0x101018);
    if (lamp) {
        fillOval(g, {10.6, 1.6, 3.6, 3.6}, 0xFFB050, 0.35);
        fillOval(g, {11.7, 2.7, 1.4, 1.4}, 0xFFD08A);
    }
}

void Art::Orbit::comet() const {
    cg::Context& g = *art.ctx;
    auto tail = [&g](const cg::Path& shape, cg::Point end, const cg::Gradient& fade) {
        cg::SavedState clip(g);
        g.addPath(shape);
        g.clip();
        g.drawLinearGradient(fade, {10, 60}, end);
    };
    const cg::Gradient dust({cg::Color::rgb(0xFFF0D2, 0.12), cg::Color::rgb(0xFFF0D2, 0.042),
                             cg::Color::rgb(0xFFF0D2, 0)},
                            {0, 0.35, 1});
    for (double k : {1.0, 0.7, 0.4})
        tail(wedge(140, 13 * k, [](double c) { return -0.4 - 0.32 * c; }),
             {10 + 140 * std::cos(-0.72), 60 + 140 * std::sin(-0.72)}, dust);
    const cg::Gradient ions({cg::Color::rgb(0xA8D8FF, 0.18), cg::Color::rgb(0xA8D8FF, 0.063),
                             cg::Color::rgb(0xA8D8FF, 0)},
                            {0, 0.35, 1});
    for (double k : {1.0, 0.7, 0.4})
        tail(wedge(150, 2.5 * k, [](double) { return -0.4; }),
             {10 + 150 * std::cos(-0.4), 60 + 150 * std::sin(-0.4)}, ions);
    g.drawRadialGradient(
        cg::Gradient({cg::Color::white(0.95), cg::Color::rgb(0xCFEAFF, 0.4), cg::Color::rgb(0xCFEAFF, 0)},
                     {0, 0.3, 1}),
        {10, 60}, 0, {10, 60}, 8);
    fillOval(g, {8.9, 58.9, 2.2, 2.2}, 0xFFFFFF);
}

void Art::Orbit::station(bool strobe) const {
    cg::Context& g = *art.ctx;
    const bool night = art.s.night;
    fillRect(g, {3, 16.2, 42, 1.6}, pick(night, 0xC8C4D0, 0x8A8698));
    const uint32_t panel = pick(night, 0x4C4A8E, 0x3A3A6A), grid = pick(night, 0x8A86C4, 0x5C5A8E);
    for (double x : {4.0, 10.5, 32.0, 38.5}) {
        fillRect(g, {x, 18.6, 5.5, 12.4}, panel);
        fillRect(g, {x, 3, 5.5, 12.4}, panel);
        for (double y : {21.7, 24.8, 27.9, 6.1, 9.2, 12.3}) fillRect(g, {x, y, 5.5, 0.3}, grid, 0.8);
        fillRect(g, {x + 2.6, 18.6, 0.3, 12.4}, grid, 0.8);
        fillRect(g, {x + 2.6, 3, 0.3, 12.4}, grid, 0.8);
    }
    for (double x : {18.0, 27.5}) fillRect(g, {x, 18.4, 2.5, 5}, pick(night, 0xF4F4F8, 0xB0AEC0), 0.9);
    const cg::Gradient shell({cg::Color::rgb(pick(night, 0xFFFFFF, 0xC6C4D2)),
                              cg::Color::rgb(pick(night, 0xB4B0BE, 0x77748A))},
                             {0, 1});
    const std::pair<double, double> modules[] = {{7, 6}, {13.2, 7.6}, {21, 6.5}};
    for (const auto& [y, h] : modules) {
        const double m = y + h / 2;
        cg::SavedState clip(g);
        g.addRoundedRect({21.6, y, 4.8, h}, 2.2, 1.6);
        g.clip();
        g.drawRadialGradient(shell, {22.4, m + 1.8}, 0, {24, m}, 5, {false, true});
    }
    fillOval(g, {22.9, 15.7, 2.2, 2.2}, pick(night, 0xD8D6E0, 0x9A98AC));
    if (strobe) {
        fillOval(g, {22, 26.4, 4, 4}, 0xFFFFFF, 0.4);
        fillOval(g, {23.2, 27.6, 1.6, 1.6}, 0xFFFFFF);
    }
}

void Art::Orbit::boulder(uint64_t seed) const {
    cg::Context& g = *art.ctx;
    const bool night = art.s.night;
    RNG rng(seed);
    std::vector<cg::Point> outline;
    for (int i = 0; i < 9; ++i) {
        const double u = rng.next();
        const double rho = 8 * (0.78 + 0.22 * u), a = i * 2 * kPi / 9;
        outline.push_back({11 + rho * std::cos(a), 11 + rho * std::sin(a)});
    }
    {
        cg::SavedState clip(g);
        g.addLines(outline);
        g.closePath();
        g.clip();
        g.drawRadialGradient(cg::Gradient({cg::Color::rgb(pick(night, 0xB8B2BC, 0x6E6A84)),
                                           cg::Color::rgb(pick(night, 0x6A6572, 0x3E3B52))},
                                          {0, 1}),
                             {8, 14}, 0, {11, 11}, 10.5, {false, true});
    }
    art.impact({9, 12}, 1.8, craterRim(), craterFloor(), craterWall());
    art.impact({14, 8}, 1.2, craterRim(), craterFloor(), craterWall());
}
