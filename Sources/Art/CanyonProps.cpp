// The canyon's ground props (boulder, cactus, dome tent), its creatures and vehicles (coyote, jeep,
// roadrunner, dust devil, balloon) and the few sprite images that are pure light or dust.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "Art/Canyon.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;

cg::Rect disc(cg::Point c, double r) { return cg::Rect(c.x - r, c.y - r, 2 * r, 2 * r); }

// UInt64(|v|), truncating; NaN gives 0 and values past the top clamp.
uint64_t magnitudeSeed(double v) {
    const double m = std::fabs(v);
    if (!(m > 0)) return 0;
    if (m >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(m);
}

cg::Gradient ramp(uint32_t from, uint32_t to) { return cg::Gradient({cg::Color::rgb(from), cg::Color::rgb(to)}, {0, 1}); }

}  // namespace

// --- Ground props ---

void Art::Canyon::boulder(cg::Point p) const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    RNG rng(magnitudeSeed(31 * p.x + 17 * p.y));
    art.groundShadow(p, 8, 0.18);
    const cg::Point c{p.x, p.y + 3};
    cg::Path outline;
    for (int i = 0; i < 9; ++i) {
        const double a = 2 * kPi * i / 9;
        const double u = rng.next();
        const double k = 0.78 + 0.22 * u;
        const cg::Point q{c.x + 6.5 * k * std::cos(a), c.y + 4.6 * k * std::sin(a)};
        if (i == 0) outline.moveTo(q);
        else outline.lineTo(q);
    }
    outline.closeSubpath();
    cg::SavedState body(g);
    g.clip(outline, cg::FillRule::winding);
    g.drawRadialGradient(night ? ramp(0x7A6E78, 0x3E3440) : ramp(0xE8AC86, 0x9A5A40), {c.x - 2.6, c.y + 2.925}, 0, c,
                         8.125, {false, true});
}

void Art::Canyon::cactus(cg::Point p, bool tall) const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    const uint32_t light = night ? 0x4E605A : 0x86A468;
    const uint32_t dark = night ? 0x2A3834 : 0x3C5C36;

    art.groundShadow(p, tall ? 9 : 6, 0.18);
    {
        cg::SavedState cast(g);
        g.translateBy(p.x, p.y);
        g.rotateBy(-0.62);
        const double L = tall ? 20 : 10;
        art.shape(0x000000, night ? 0.10 : 0.14, 0, [&](cg::Path& path) { path.addEllipse({0, -1.8, L, 3.6}); });
    }

    if (tall) {
        const cg::Gradient skin({cg::Color::rgb(light), cg::Color::rgb(light), cg::Color::rgb(dark)}, {0, 0.25, 1});
        // One rounded stem, shaded across its short side, with three ribs along it.
        auto stem = [&](const cg::Rect& r) {
            cg::SavedState one(g);
            const double corner = 0.5 * std::min(r.width(), r.height());
            g.addRoundedRect(r, corner, corner);
            g.clip();
            const bool upright = r.width() < r.height();
            if (upright) g.drawLinearGradient(skin, {r.minX(), r.midY()}, {r.maxX(), r.midY()});
            else g.drawLinearGradient(skin, {r.midX(), r.maxY()}, {r.midX(), r.minY()});
            art.shape(0x000000, 0.18, 0.35, [&](cg::Path& path) {
                for (const double f : {0.3, 0.55, 0.8}) {
                    if (upright) {
                        const double x = r.minX() + f * r.width();
                        path.moveTo({x, r.minY()});
                        path.lineTo({x, r.maxY()});
                    } else {
                        const double y = r.minY() + f * r.height();
                        path.moveTo({r.minX(), y});
                        path.lineTo({r.maxX(), y});
                    }
                }
            });
        };
        // Arms first; the trunk covers their inner ends.
        stem({p.x - 8, p.y + 8, 7, 3.4});
        stem({p.x - 8, p.y + 8, 3.6, 9});
        stem({p.x + 1, p.y + 11, 7, 3.4});
        stem({p.x + 4.4, p.y + 11, 3.6, 7});
        stem({p.x - 2.6, p.y, 5.2, 20});
        return;
    }

    const cg::Point c{p.x, p.y + 4.5};
    {
        cg::SavedState barrel(g);
        g.addEllipse(disc(c, 5));
        g.clip();
        g.drawRadialGradient(ramp(light, dark), {c.x - 2, c.y + 2.25}, 0, c, 6.25, {false, true});
    }
    art.shape(0x000000, 0.18, 0.35, [&](cg::Path& path) {
        path.moveTo({c.x - 3, c.y - 3.68});
        path.quadCurveTo({c.x - 3.36, c.y + 1}, {c.x - 1.2, c.y + 4.8});
        path.moveTo({c.x - 1, c.y - 4.507});
        path.quadCurveTo({c.x - 1.12, c.y + 1}, {c.x - 0.4, c.y + 4.8});
        path.moveTo({c.x + 1, c.y - 4.507});
        path.quadCurveTo({c.x + 1.12, c.y + 1}, {c.x + 0.4, c.y + 4.8});
        path.moveTo({c.x + 3, c.y - 3.68});
        path.quadCurveTo({c.x + 3.36, c.y + 1}, {c.x + 1.2, c.y + 4.8});
    });
    art.shape(night ? 0x9A6A8A : 0xF06F8A, 1, 0, [&](cg::Path& path) {
        for (const double dx : {-2.2, -1.0, 0.2}) path.addEllipse({p.x + dx, p.y + 8.5, 2, 1.6});
    });
}

void Art::Canyon::campTent(cg::Point p, uint32_t light, uint32_t dark) const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    const double r = 5.5;
    art.shape(0x000000, 0.25, 0.35, [&](cg::Path& path) {
        for (const double a : {0.8, 2.35, 3.9, 5.5}) {
            path.moveTo({p.x + 0.8 * r * std::cos(a), p.y + 0.8 * r * std::sin(a)});
            path.lineTo({p.x + 1.65 * r * std::cos(a), p.y + 1.65 * r * std::sin(a)});
        }
    });
    art.groundShadow({p.x, p.y - 2.75}, 5.5, 0.18);
    {
        cg::SavedState vestibule(g);
        g.addEllipse({p.x - 7.975, p.y - 3.025, 5.225, 6.05});
        g.clip();
        g.drawRadialGradient(ramp(light, dark), {p.x - 6.82, p.y + 1.485}, 0, {p.x - 5.5, p.y}, 4.125, {false, true});
    }
    {
        cg::SavedState body(g);
        g.addRoundedRect({p.x - 5.5, p.y - 5.5, 11, 11}, 4.125, 4.125);
        g.clip();
        g.drawRadialGradient(ramp(light, dark), {p.x - 2.2, p.y + 2.475}, 0, p, 6.875, {false, true});
    }
    const cg::Gradient glow(
        {cg::Color::rgb(0xFFE0A0, 0.3), cg::Color::rgb(0xFFE0A0, 0.255), cg::Color::rgb(0xFFE0A0, 0)}, {0, 0.55, 1});
    g.drawRadialGradient(glow, p, 0, p, 3.85);
    art.shape(0xFFFFFF, 0.22, 0.45, [&](cg::Path& path) {
        path.moveTo({p.x - 4.4, p.y + 4.4});
        path.quadCurveTo({p.x - 0.5, p.y + 0.5}, {p.x + 4.4, p.y - 4.4});
        path.moveTo({p.x - 4.4, p.y - 4.4});
        path.quadCurveTo({p.x - 0.5, p.y + 0.5}, {p.x + 4.4, p.y + 4.4});
    });
}

// --- Creatures and vehicles ---

void Art::Canyon::coyote(double s) const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    // Body, head, snout and tail as one outline. The snout runs counter-clockwise like the ellipses, so
    // where it overlaps the head the two unite instead of cancelling.
    auto coat = [](cg::Path& path) {
        path.addEllipse({7.4, 3.9, 8.8, 4.2});
        path.addEllipse({15, 4.4, 3.4, 3.2});
        path.moveTo({17.8, 5.1});
        path.lineTo({20.2, 6});
        path.lineTo({17.8, 6.9});
        path.closeSubpath();
        path.addEllipse({2.2, 4.9, 6.2, 2.2});
    };
    {
        cg::SavedState shade(g);
        g.translateBy(0.9, -0.8);
        g.setAlpha(0.3);
        cg::TransparencyLayer layer(g);
        art.shape(0x000000, 1, 0, coat);
    }
    art.shape(0x4A453F, 1, 1, [&](cg::Path& path) {
        path.moveTo({14.8, 7.4});
        path.lineTo({14.8 + 1.8 * s, 8.6});
        path.moveTo({14.8, 4.6});
        path.lineTo({14.8 - 1.8 * s, 3.4});
        path.moveTo({8.8, 7.4});
        path.lineTo({8.8 - 1.8 * s, 8.6});
        path.moveTo({8.8, 4.6});
        path.lineTo({8.8 + 1.8 * s, 3.4});
    });
    art.shape(0x6E675E, 1, 0, coat);
    art.shape(0x3E3A35, 0.75, 0, [](cg::Path& path) { path.addEllipse({7.8, 4.8, 7.2, 2}); });
    art.shape(0x968E82, 0.45, 0, [](cg::Path& path) { path.addEllipse({8.6, 6.65, 6, 1.1}); });
    art.shape(0x24201D, 1, 0, [](cg::Path& path) { path.addEllipse({1.7, 5.1, 2.6, 1.8}); });
    art.shape(0x3A3530, 1, 0, [](cg::Path& path) {
        path.moveTo({15.6, 6.5});
        path.lineTo({15.4, 8});
        path.lineTo({16.8, 7.1});
        path.closeSubpath();
        path.moveTo({15.6, 5.5});
        path.lineTo({15.4, 4});
        path.lineTo({16.8, 4.9});
        path.closeSubpath();
    });
    art.shape(0x1A1715, 1, 0, [](cg::Path& path) { path.addEllipse({19.55, 5.55, 0.9, 0.9}); });
}

void Art::Canyon::jeep() const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    auto box = [this](uint32_t color, double alpha, cg::Rect r, double corner) {
        art.shape(color, alpha, 0, [&](cg::Path& path) { path.addRoundedRect(r, corner, corner); });
    };
    auto oval = [this](uint32_t color, cg::Rect r) {
        art.shape(color, 1, 0, [&](cg::Path& path) { path.addEllipse(r); });
    };
    box(0x000000, 0.3, {1.6, 0.4, 18, 8.4}, 1.8);
    box(0x7C7468, 1, {1, 1, 18.2, 8}, 1.6);
    box(0x8C8476, 1, {13.4, 1.6, 5.4, 6.8}, 1.2);
    box(0x161A20, 1, {11.6, 1.8, 1.8, 6.4}, 0.5);
    box(0x5E584E, 1, {3.4, 1.7, 8.2, 6.6}, 0.8);
    art.shape(0x3A362F, 0.9, 0.4, [](cg::Path& path) {
        for (const double y : {2.6, 4.2, 5.8, 7.4}) {
            path.moveTo({4, y});
            path.lineTo({11, y});
        }
    });
    oval(0x1E1E1E, {-0.2, 3.2, 2.2, 3.6});
    oval(0xFFF4D0, {18.4, 1.4, 1.4, 1.8});
    oval(0xFF3A24, {0.7, 1.6, 1, 1.4});
    oval(0xFFF4D0, {18.4, 6.8, 1.4, 1.8});
    oval(0xFF3A24, {0.7, 7, 1, 1.4});
}

void Art::Canyon::roadrunner(std::optional<double> step) const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    const double L = step ? 6 : 2.6;
    auto back = [L](cg::Path& path) {
        path.moveTo({8.4, 5.8});
        path.lineTo({8 - L, 6.1});
        path.lineTo({7.5 - L, 5});
        path.lineTo({8 - L, 3.9});
        path.lineTo({8.4, 4.2});
        path.closeSubpath();
    };
    auto body = [](cg::Path& path) {
        path.addEllipse({7, 3.5, 5.6, 3});
        path.addEllipse({12, 4, 2.4, 2});
    };
    {
        cg::SavedState shade(g);
        g.translateBy(0.9, -0.8);
        g.setAlpha(0.24);
        cg::TransparencyLayer layer(g);
        art.shape(0x000000, 1, 0, [&](cg::Path& path) {
            back(path);
            body(path);
        });
    }
    if (step) {
        const double s = *step;
        art.shape(0x5A4634, 0.9, 0.45, [&](cg::Path& path) {
            path.moveTo({10.4, 5.6});
            path.lineTo({10.4 + 2.8 * s, 6.3});
            path.moveTo({10.4, 4.4});
            path.lineTo({10.4 - 2.8 * s, 3.7});
        });
    }
    art.shape(0x3A3028, 1, 0, back);
    art.shape(0x76604A, 1, 0, body);
    art.shape(0xC9B48E, 0.55, 0, [](cg::Path& path) { path.addEllipse({7.6, 4.9, 4, 1.2}); });
    art.shape(0x3A2E22, 0.6, 0, [](cg::Path& path) {
        for (const cg::Point c : {cg::Point{7.8, 5.15}, cg::Point{9.2, 4.25}, cg::Point{10.4, 5.05}, cg::Point{8.4, 3.85}})
            path.addEllipse({c.x, c.y, 1.2, 0.5});
    });
    art.shape(0x2A221A, 1, 0, [](cg::Path& path) { path.addEllipse({11.8, 4.4, 1.8, 1.2}); });
    art.shape(0x3A3028, 1, 0.55, [](cg::Path& path) {
        path.moveTo({14.2, 5});
        path.lineTo({16.4, 5});
    });
    art.shape(0xF2EADA, 1, 0, [L](cg::Path& path) {
        path.addEllipse({7.55 - L, 5.35, 0.7, 0.7});
        path.addEllipse({7.55 - L, 3.95, 0.7, 0.7});
    });
}

void Art::Canyon::dustDevil() const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    const cg::Point mid{18, 18};
    const cg::Gradient haze(
        {cg::Color::rgb(0xEFE3CC, 0.5), cg::Color::rgb(0xEFE3CC, 0.18), cg::Color::rgb(0xEFE3CC, 0)}, {0, 0.45, 1});
    g.drawRadialGradient(haze, mid, 0, mid, 17);
    const uint32_t arms[] = {0xF6EEDF, 0xB89670, 0xF6EEDF};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 28; ++j) {
            const double c = j / 28.0;
            const double a = k * 2 * kPi / 3 + 2.8 * c;
            const double reach = 2.5 + 13 * c;
            const cg::Point q{18 + reach * std::cos(a), 18 + reach * std::sin(a)};
            const cg::Gradient puff({cg::Color::rgb(arms[k], 0.22 * (1 - c)), cg::Color::rgb(arms[k], 0)}, {0, 1});
            g.drawRadialGradient(puff, q, 0, q, 2.8 - 1.2 * c);
        }
    art.shape(0xDCC6A2, 0.6, 0, [](cg::Path& path) { path.addEllipse({14.6, 14.6, 6.8, 6.8}); });
    art.shape(0xF6EEDF, 0.5, 0, [](cg::Path& path) { path.addEllipse({16.4, 16.4, 3.2, 3.2}); });
}

void Art::Canyon::balloon(const std::vector<uint32_t>& palette) const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    const cg::Point shadowAt{55, 19};
    const cg::Gradient ground({cg::Color::black(0.22), cg::Color::black(0.187), cg::Color::black(0)}, {0, 0.55, 1});
    g.drawRadialGradient(ground, shadowAt, 0, shadowAt, 14.3);

    const cg::Point c{15, 49};
    if (!palette.empty())
        for (std::size_t i = 0; i < 12; ++i) {
            const double from = static_cast<double>(i) * kPi / 6, to = static_cast<double>(i + 1) * kPi / 6;
            art.shape(palette[i % palette.size()], 1, 0, [&](cg::Path& path) {
                path.moveTo(c);
                path.addArc(c, 13, from, to, false);
                path.closeSubpath();
            });
        }
    {
        cg::SavedState shading(g);
        g.addEllipse({2, 36, 26, 26});
        g.clip();
        const cg::Gradient lit({cg::Color::white(0.4), cg::Color::white(0), cg::Color::black(0.3)}, {0, 0.55, 1});
        g.drawRadialGradient(lit, {9.8, 54.2}, 0, c, 16.25, {false, true});
    }
    art.shape(0x000000, 0.25, 0.5, [](cg::Path& path) { path.addEllipse({2, 36, 26, 26}); });
    art.shape(0xF4EFE6, 1, 0, [](cg::Path& path) { path.addEllipse({12.8, 46.8, 4.4, 4.4}); });
    art.shape(0x000000, 0.3, 0.4, [](cg::Path& path) { path.addEllipse({12.8, 46.8, 4.4, 4.4}); });
    art.shape(0x3A2A1C, 0.6, 0.35, [](cg::Path& path) {
        path.moveTo({10.5, 37.5});
        path.lineTo({13.425, 32.5});
        path.moveTo({19.5, 37.5});
        path.lineTo({16.575, 32.5});
    });
    art.shape(0x7A5432, 1, 0, [](cg::Path& path) { path.addRect({13.2, 29.8, 3.6, 2.9}); });
}

// --- Light and dust images ---

void Art::Canyon::headlights() const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    g.setFillColor(cg::Color::black());
    g.fill(cg::Rect(0, 0, 300, 110));
    g.setBlendMode(cg::BlendMode::plusLighter);
    const cg::Gradient beam({cg::Color::rgb(0x2A2418), cg::Color::rgb(0x120F0A), cg::Color::black()}, {0, 0.45, 0.85});
    for (const cg::Point h : {cg::Point{163.6, 59.1}, cg::Point{163.6, 50.9}})
        for (const double spread : {30.0, 18.0}) {
            cg::SavedState cone(g);
            g.moveTo(h);
            g.lineTo({300, h.y + spread});
            g.lineTo({300, h.y - spread});
            g.closePath();
            g.clip();
            g.drawLinearGradient(beam, h, {300, h.y});
        }
    g.translateBy(220, 55);
    g.scaleBy(1, 0.6);
    const cg::Gradient pool({cg::Color::rgb(0x6A5C42), cg::Color::rgb(0x4C4230), cg::Color::rgb(0x1C1812),
                             cg::Color::black()},
                            {0, 0.35, 0.75, 1});
    g.drawRadialGradient(pool, {0, 0}, 0, {0, 0}, 58);
}

void Art::Canyon::flashGlow() const {
    cg::Context& g = *art.ctx;
    cg::SavedState keepState(g);
    g.setFillColor(cg::Color::black());
    g.fill(cg::Rect(0, 0, 400, 400));
    const cg::Gradient glow({cg::Color::rgb(0x9AA8D0), cg::Color::rgb(0x4A5472), cg::Color::rgb(0x1A1E2C),
                             cg::Color::black()},
                            {0, 0.3, 0.65, 1});
    g.drawRadialGradient(glow, {200, 200}, 0, {200, 200}, 200);
}

void Art::Canyon::tumbleweed() const {
    cg::SavedState keepState(*art.ctx);
    for (int m = 0; m < 5; ++m) {
        const double a = 1.3 * m;
        const double r = m % 2 == 0 ? 4.5 : 5.5;
        art.shape(0x9B7A4E, 0.9, 0.9,
                  [&](cg::Path& path) { path.addArc({8 + std::cos(a), 8 + std::sin(a)}, r, a, a + 4.2, false); });
    }
}

void Art::Canyon::dustTrail() const {
    cg::SavedState keepState(*art.ctx);
    // Away from the sun, in image coordinates (y up). Without a shadow offset the puffs pile up at the
    // anchor instead of dividing by zero.
    const double len = std::hypot(shadow.x, shadow.y);
    const double dx = len > 0 ? shadow.x / len : 0, dy = len > 0 ? -shadow.y / len : 0;
    for (int j = 0; j < 40; ++j) {
        const double t = j / 39.0;
        const double r = 2 + 2.5 * t;
        const cg::Point c{4 + 54 * t * dx, 48 + 54 * t * dy};
        art.shape(0x3A2A1C, 0.035 * (1 - t), 0, [&](cg::Path& path) { path.addEllipse(disc(c, r)); });
    }
}
