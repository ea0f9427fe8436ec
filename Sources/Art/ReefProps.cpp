// The reef's sea-floor props and the diver. Each is a pure function of its arguments and of day or night:
// colour pairs come from the variation v by Int(k·v) mod n, longer random sequences from a generator
// started at UInt64(10⁶·v) plus the prop's own offset.

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <utility>
#include <vector>

#include "Art/Reef.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Gradient.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;
using Colors = Art::Reef::Colors;

constexpr Colors kSpongeDay[] = {{0x7a4436, 0xbe7e5e}, {0x6e5a40, 0xb49870}};
constexpr Colors kSpongeNight[] = {{0x3e2e36, 0x6a5058}, {0x3a3440, 0x5e5468}};
constexpr Colors kClamDay[] = {{0x1f6fa8, 0x58c8e0}, {0x2c7a5e, 0x8ad0a0}, {0x5a3c8a, 0x9a7ad0}};
constexpr Colors kClamNight[] = {{0x1e3a58, 0x3e6a88}, {0x2a3a4a, 0x4e6a6a}};
constexpr Colors kCoralDay[] = {{0x6a5e3e, 0xb4a47a}, {0x5e6440, 0xa6aa78}, {0x6e5458, 0xb48e92},
                                {0x52546a, 0x9096b2}, {0x40604a, 0x80a286}};
constexpr Colors kCoralNight[] = {{0x3a3040, 0x6a5a6e}, {0x34383a, 0x5e6a60}, {0x3e2e3e, 0x7a5a70},
                                  {0x2e2c48, 0x5a5480}, {0x263a34, 0x4a6a58}};
constexpr Colors kAnemoneDay[] = {{0xa4566e, 0xf0a8c0}, {0x6e8a4e, 0xd4e69a}, {0xa47a52, 0xf2ce96}};
constexpr Colors kAnemoneNight[] = {{0x4a3a52, 0x7e6488}, {0x3a4a44, 0x6a8070}, {0x52423a, 0x86705e}};

// Int(q), truncating; NaN, negative and absurd values stay in range instead of being undefined.
uint64_t whole(double q) {
    if (!(q > 0)) return 0;
    return q < 18446744073709551616.0 ? static_cast<uint64_t>(q) : UINT64_MAX;
}

// The pair Int(k·v) mod n of a table.
Colors pick(std::span<const Colors> table, double k, double v) { return table[whole(k * v) % table.size()]; }

// UInt64(10⁶·v) + offset, wrapping.
uint64_t start(double v, uint64_t offset) { return whole(1e6 * v) + offset; }

cg::Rect disc(cg::Point c, double r) { return cg::Rect(c.x - r, c.y - r, 2 * r, 2 * r); }

cg::Rect centred(cg::Point c, double w, double h) { return cg::Rect(c.x - w / 2, c.y - h / 2, w, h); }

constexpr cg::GradientOptions kBeyondEnd{false, true};

cg::Gradient twoTone(uint32_t inner, uint32_t outer) {
    return cg::Gradient({cg::Color::rgb(inner), cg::Color::rgb(outer)}, {0, 1});
}

}  // namespace

Colors Art::Reef::spongeColors(double v, bool night) { return night ? pick(kSpongeNight, 7, v) : pick(kSpongeDay, 7, v); }
Colors Art::Reef::clamColors(double v, bool night) { return night ? pick(kClamNight, 11, v) : pick(kClamDay, 11, v); }
Colors Art::Reef::coralColors(double v, bool night) {
    return night ? pick(kCoralNight, 997, v) : pick(kCoralDay, 997, v);
}
Colors Art::Reef::anemoneColors(double v, bool night) {
    return night ? pick(kAnemoneNight, 13, v) : pick(kAnemoneDay, 13, v);
}
int Art::Reef::coralForm(double v) { return static_cast<int>(whole(7919 * v) % 5); }

void Art::Reef::sponge(cg::Point p, double s, double v) {
    cg::Context& c = *art.ctx;
    const bool night = art.s.night;
    const Colors pair = spongeColors(v, night);
    const uint32_t f = pair.first, g = pair.second;
    art.groundShadow(p, s + 1, 0.24);

    std::array<cg::Point, 30> outline;
    for (std::size_t j = 0; j < outline.size(); ++j) {
        const double a = static_cast<double>(j) * kPi / 15;
        const double r = s * (0.92 + 0.08 * std::sin(20 * v + 5 * a));
        outline[j] = {p.x + r * std::cos(a), p.y + r * std::sin(a)};
    }
    {
        cg::SavedState clipped(c);
        cg::Path body;
        body.addLines(outline);
        body.closeSubpath();
        c.clip(body);
        c.drawRadialGradient(twoTone(g, f), {p.x - 0.4 * s, p.y + 0.45 * s}, 0, p, 1.25 * s, kBeyondEnd);
    }
    art.shape(f, 0.45, 0.35, [&](cg::Path& path) {
        for (int k = 0; k < 10; ++k) {
            const double a = 3 * v + k * kPi / 5;
            path.moveTo({p.x + 0.6 * s * std::cos(a), p.y + 0.6 * s * std::sin(a)});
            path.lineTo({p.x + 0.9 * s * std::cos(a), p.y + 0.9 * s * std::sin(a)});
        }
    });
    art.shape(night ? 0x120e14 : 0x2e1a12, 0.92, 0,
              [&](cg::Path& path) { path.addEllipse(disc({p.x + 0.05 * s, p.y - 0.05 * s}, 0.52 * s)); });
    art.shape(0x000000, 0.35, 0,
              [&](cg::Path& path) { path.addEllipse(disc({p.x + 0.16 * s, p.y - 0.16 * s}, 0.34 * s)); });
    art.shape(g, 0.6, 0.45, [&](cg::Path& path) { path.addArc(p, 0.56 * s, -0.4, 2.0, false); });
}

cg::Path Art::Reef::lip(double rx, double ry) {
    std::array<cg::Point, 20> outline;
    for (std::size_t j = 0; j < outline.size(); ++j) {
        const double a = static_cast<double>(j) * kPi / 10;
        const double k = j % 2 == 0 ? 1 : 0.84;
        outline[j] = {rx * k * std::cos(a), ry * k * std::sin(a)};
    }
    cg::Path path;
    path.addLines(outline);
    path.closeSubpath();
    return path;
}

void Art::Reef::clam(cg::Point p, double angle, double v) {
    cg::Context& c = *art.ctx;
    const bool night = art.s.night;
    const Colors pair = clamColors(v, night);
    const uint32_t h = pair.first, l = pair.second;
    art.groundShadow(p, 5.5, 0.2);

    cg::SavedState saved(c);
    c.translateBy(p.x, p.y);
    c.rotateBy(angle);
    art.shape(night ? 0x5e5a66 : 0xd6cdb2, 1, 0, [](cg::Path& path) { path.addPath(lip(6, 3.4)); });
    {
        cg::SavedState clipped(c);
        c.clip(lip(5.1, 2.6));
        c.drawRadialGradient(twoTone(l, h), {-2, 2.25}, 0, {0, 0}, 6.25, kBeyondEnd);
    }
    RNG rng(start(v, 13));
    for (int i = 0; i < 10; ++i) {
        const double a = rng.next();
        const double b = rng.next();
        art.shape(l, 0.85, 0, [&](cg::Path& path) { path.addEllipse(disc({8 * a - 4, 3.6 * b - 1.8}, 0.35)); });
    }
    art.shape(0x0a1a24, 0.8, 0.45, [](cg::Path& path) {
        path.moveTo({-3.6, 0});
        path.quadCurveTo({0, 0.5}, {3.6, 0});
    });
    art.shape(0x0a1a24, 0.8, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(1.6, -0.25, 1.2, 0.9)); });
}

void Art::Reef::urchin(cg::Point p, double v) {
    const bool night = art.s.night;
    RNG rng(start(v, 9));
    struct Spine {
        double angle, length;
    };
    std::array<Spine, 22> spines;
    for (std::size_t i = 0; i < spines.size(); ++i) {
        const double a = rng.next();
        const double b = rng.next();
        spines[i] = {2 * kPi * static_cast<double>(i) / 22 + 0.2 * a - 0.1, 3.2 + 3.3 * b};
    }
    auto spinesAt = [&](cg::Point centre) {
        return [&spines, centre](cg::Path& path) {
            for (const Spine& sp : spines) {
                path.moveTo(centre);
                path.lineTo({centre.x + sp.length * std::cos(sp.angle), centre.y + sp.length * std::sin(sp.angle)});
            }
        };
    };
    art.shape(0x000000, 0.16, 0.35, spinesAt({p.x + 1.4, p.y - 1.8}));
    art.shape(night ? 0x0e0e14 : 0x18141e, 0.9, 0.35, spinesAt(p));
    art.shape(0x1a1620, 1, 0, [&](cg::Path& path) { path.addEllipse(cg::Rect(p.x - 1.9, p.y - 1.9, 3.8, 3.8)); });
    art.shape(night ? 0x5a4a3a : 0xd07038, 0.9, 0,
              [&](cg::Path& path) { path.addEllipse(cg::Rect(p.x - 0.55, p.y - 0.55, 1.1, 1.1)); });
    art.shape(0xffffff, 0.25, 0, [&](cg::Path& path) { path.addEllipse(cg::Rect(p.x - 1.2, p.y + 0.2, 1, 1)); });
}

void Art::Reef::coral(cg::Point p, double v, double scale) {
    cg::Context& c = *art.ctx;
    const bool night = art.s.night;
    const Colors pair = coralColors(v, night);
    const uint32_t m = pair.first, o = pair.second;
    RNG rng(start(v, 5));
    const cg::Gradient body = twoTone(o, m);

    cg::SavedState saved(c);
    c.translateBy(p.x, p.y);
    c.scaleBy(scale, scale);
    switch (coralForm(v)) {
        case 0: {  // brain
            art.groundShadow({0, 0}, 5.6, 0.22);
            brain(m, o, kPi * rng.next());
            break;
        }
        case 1:  // bush
            art.groundShadow({0, 0}, 6.5, 0.22);
            bush(m, o, v);
            break;
        case 2: {  // plate
            std::array<cg::Point, 16> rim;
            for (std::size_t k = 0; k < rim.size(); ++k) {
                const double a = static_cast<double>(k) * kPi / 8;
                const double R = 6.5 * (0.86 + 0.14 * rng.next());
                rim[k] = {R * std::cos(a), 0.9 * R * std::sin(a)};
            }
            plate(m, o, rim);
            break;
        }
        case 3: {  // branching
            art.groundShadow({0, 0}, 6.5, 0.2);
            std::vector<cg::Point> lines;  // pairs
            std::vector<cg::Point> polyps;
            for (int b = 0; b < 7; ++b) {
                const double sx = rng.next();
                const double sy = rng.next();
                const double hu = rng.next();
                const double hj = rng.next();
                cg::Point at{3 * sx - 1.5, 3 * sy - 1.5};
                double h = 2 * kPi * hu + (1.2 * hj - 0.6);
                for (int seg = 0; seg < 3; ++seg) {
                    if (seg > 0) {
                        const double turn = rng.next();
                        h += 1.2 * turn - 0.6;
                    }
                    const cg::Point from = at;
                    at = {at.x + 2.2 * std::cos(h), at.y + 2.2 * std::sin(h)};
                    lines.push_back(from);
                    lines.push_back(at);
                    const double twig = rng.next();
                    if (twig < 0.5) {
                        const double magnitude = 0.5 + 0.4 * rng.next();
                        const double sign = rng.next();
                        const double a = sign < 0.5 ? h + magnitude : h - magnitude;
                        const cg::Point end{at.x + 1.8 * std::cos(a), at.y + 1.8 * std::sin(a)};
                        lines.push_back(at);
                        lines.push_back(end);
                        polyps.push_back(end);
                    }
                }
                polyps.push_back(at);
            }
            branches(m, o, lines, polyps);
            break;
        }
        default: {  // lobed
            art.groundShadow({0, 0}, 6, 0.18);
            const double lobes = std::round(4 + 3 * rng.next());
            std::array<cg::Point, 36> rim;
            for (std::size_t k = 0; k < rim.size(); ++k) {
                const double a = static_cast<double>(k) * kPi / 18;
                const double r = 5 * (0.8 + 0.2 * std::sin(9 * v + lobes * a));
                rim[k] = {r * std::cos(a), r * std::sin(a)};
            }
            std::array<cg::Rect, 12> dots;
            for (cg::Rect& dot : dots) {
                const double a = 2 * kPi * rng.next();
                const double r = 5 * (0.1 + 0.6 * rng.next());
                dot = centred({r * std::cos(a), r * std::sin(a)}, 0.7, 0.7);
            }
            lobed(m, o, rim, dots);
            break;
        }
    }
}

void Art::Reef::frond() {
    const bool night = art.s.night;
    const double offsets[] = {-3.5, 0, 3.5};
    for (int i = 0; i < 3; ++i) {
        const double c = offsets[i];
        const cg::Point end{8 + 1.4 * c, 24.0 + 4 * (i % 2)};
        art.shape(night ? 0x2c5a3e : 0x4e9a4a, 1, 1.6, [&](cg::Path& path) {
            path.moveTo({8, 1});
            path.quadCurveTo({8 + 2.5 * c, 12}, end);
        });
        art.shape(night ? 0x356b48 : 0x67b85a, 1, 0, [&](cg::Path& path) { path.addEllipse(centred(end, 3.6, 5.2)); });
    }
}

void Art::Reef::kelp(cg::Point p) { art.groundShadow(p, 5, 0.15); }

std::optional<Sprite> Art::Reef::kelpSway(cg::Point p, const cg::ImageRef& frond) {
    if (!frond) return std::nullopt;
    Sprite sp;
    sp.kind = Sprite::Kind::sway;
    sp.at = p;
    sp.size = 16;
    // Kelp at the same x sways in step.
    sp.phase = p.x / 500 - std::floor(p.x / 500);
    sp.travel = 0;
    sp.color = 0xffffff;
    sp.image = frond;
    sp.anchor = {0.5, 1.0 / 30};
    sp.beat = 1;
    sp.ease = 1;
    sp.grow = 1;
    sp.face = true;
    return sp;
}

void Art::Reef::anemone(double v) {
    const bool night = art.s.night;
    const Colors pair = anemoneColors(v, night);
    RNG rng(start(v, 17));
    struct Ring {
        int count;
        double length, width;
    };
    // The outer ring first, so the shorter inner tentacles lie over it. Each tentacle, its tip and the
    // tip's glint are thin marks: a curve in pieces, then dots.
    std::vector<cg::Point> tentacle;
    for (const Ring ring : {Ring{22, 9, 1.6}, Ring{14, 6, 1.4}}) {
        for (int i = 0; i < ring.count; ++i) {
            const double a = rng.next();
            const double b = rng.next();
            const double q = rng.next();
            const double psi = 0.05 * ring.length + 2 * kPi * i / ring.count + 0.24 * a - 0.12;
            const double w = ring.length * (0.8 + 0.25 * b);
            const double tau = psi + 0.7 * q - 0.35;
            const cg::Point tip{12 + w * std::cos(tau), 12 + w * std::sin(tau)};
            tentacle.clear();
            Art::quadPieces(tentacle, {12 + 1.5 * std::cos(psi), 12 + 1.5 * std::sin(psi)},
                            {12 + 0.6 * w * std::cos(psi), 12 + 0.6 * w * std::sin(psi)}, tip, 8);
            art.marks(pair.first, 0.95, ring.width, tentacle);
            const cg::Point end[2] = {tip, tip};
            art.marks(pair.second, 0.95, 1.24 * ring.width, end);
            const cg::Point glint[2] = {{tip.x - 0.25, tip.y + 0.25}, {tip.x - 0.25, tip.y + 0.25}};
            art.marks(0xffffff, 0.35, 0.44 * ring.width, glint);
        }
    }
    art.shape(night ? 0x6a5a62 : 0xe8d2c2, 1, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(9.7, 9.7, 4.6, 4.6)); });
    art.shape(0x3a2028, 0.8, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(11.3, 11.5, 1.4, 1)); });
}

std::array<Art::Reef::Kick, 2> Art::Reef::kicks(double phase) {
    const double s = std::sin(2 * kPi * phase);
    // The legs kick in opposite phase.
    return {Kick{{10 - 1.2 * s, 14.8 + 0.8 * s}, 8 * (0.8 + 0.2 * s)},
            Kick{{10 + 1.2 * s, 9.2 + 0.8 * s}, 8 * (0.8 - 0.2 * s)}};
}

void Art::Reef::diver(double phase) {
    const std::array<Kick, 2> legs = kicks(phase);
    const cg::Point hips[2][2] = {{{23, 14}, {17, 14.4}}, {{23, 10}, {17, 9.6}}};
    for (int k = 0; k < 2; ++k) {
        const cg::Point F = legs[k].foot;
        art.shape(0x1a1e24, 1, 2.6, [&](cg::Path& path) {
            path.moveTo(hips[k][0]);
            path.lineTo(hips[k][1]);
            path.lineTo(F);
        });
        const double e = F.x - legs[k].fin;
        art.shape(0x2c3440, 1, 0, [&](cg::Path& path) {
            const cg::Point fin[] = {{F.x + 1, F.y - 1.2}, {e, F.y - 2.4}, {e, F.y + 2.4}, {F.x + 1, F.y + 1.2}};
            path.addLines(fin);
            path.closeSubpath();
        });
    }
    art.shape(0x1a1e24, 1, 2.2, [](cg::Path& path) {
        path.moveTo({35, 16.5});
        path.lineTo({31, 18.5});
        path.moveTo({35, 7.5});
        path.lineTo({43, 8});
        path.lineTo({47, 10});
    });
    const auto oval = [this](uint32_t color, double alpha, cg::Rect r) {
        art.shape(color, alpha, 0, [r](cg::Path& path) { path.addEllipse(r); });
    };
    oval(0x1a1e24, 1, cg::Rect(21, 6.6, 16, 10.8));
    oval(0xb8902a, 1, cg::Rect(22, 9.6, 12, 4.8));
    oval(0xe0c060, 0.6, cg::Rect(23, 12.1, 7, 1.4));
    oval(0x15181c, 1, cg::Rect(35.9, 9.1, 6.2, 5.8));
    art.shape(0x5a6a7a, 0.8, 0.6, [](cg::Path& path) {
        path.moveTo({41.2, 10.2});
        path.lineTo({41.2, 13.8});
    });
    oval(0x3a4048, 1, cg::Rect(46.4, 9.3, 3.2, 2.2));
    oval(0xfffbe8, 1, cg::Rect(48.4, 9.7, 1.6, 1.8));
}

void Art::Reef::beam() {
    cg::Context& c = *art.ctx;
    const double a = 250, b = 125;
    c.setFillColor(cg::Color::black());
    c.fill(cg::Rect(0, 0, a, 120));
    // The cones and the hot spot add up; the black ground adds nothing once the sprite glows.
    c.setBlendMode(cg::BlendMode::plusLighter);
    const cg::Gradient cone({cg::Color::rgb(0x2e2418), cg::Color::rgb(0x16110b), cg::Color::black()}, {0, 0.4, 0.8});
    const cg::Point apex{b + 24, 58.5};
    for (const auto& [top, bottom] : {std::pair{94.0, 26.0}, std::pair{82.0, 38.0}, std::pair{72.0, 48.0}}) {
        cg::SavedState clipped(c);
        cg::Path triangle;
        const cg::Point corners[] = {apex, {a, top}, {a, bottom}};
        triangle.addLines(corners);
        triangle.closeSubpath();
        c.clip(triangle);
        c.drawLinearGradient(cone, apex, {a, 60});
    }
    cg::SavedState spot(c);
    c.translateBy(b + 80, 60);
    c.scaleBy(1, 0.72);
    const cg::Gradient pool({cg::Color::rgb(0xa67a52), cg::Color::rgb(0x7c5c3e), cg::Color::rgb(0x2a1f15),
                             cg::Color::black()},
                            {0, 0.35, 0.75, 1});
    c.drawRadialGradient(pool, {0, 0}, 0, {0, 0}, 46);
}

void Art::Reef::bubble() {
    art.shape(0xffffff, 0.75, 0.7, [](cg::Path& path) { path.addEllipse(cg::Rect(1, 1, 4, 4)); });
    art.shape(0xffffff, 0.85, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(1.8, 3.1, 1.2, 1.2)); });
}
