// The winter scene's animated figures, one frame per call in frame-local points (y up): the trotting
// fox, the waving snowman, the snow globe and the reindeer sleigh; and the aurora curtains of the night
// sky, which make their own images.

#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "Art/Winter.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;

uint32_t pick(bool night, uint32_t day, uint32_t dark) { return night ? dark : day; }

double frac(double x) { return x - std::floor(x); }

void triangle(cg::Path& path, cg::Point a, cg::Point b, cg::Point c) {
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
}

cg::Rect disc(cg::Point c, double r) { return {c.x - r, c.y - r, 2 * r, 2 * r}; }

// An ellipse of w × h centred on c.
cg::Rect around(cg::Point c, double w, double h) { return {c.x - w / 2, c.y - h / 2, w, h}; }

}  // namespace

void Art::Winter::fox(double t, uint32_t coat) {
    const bool night = art.s.night;
    const double a = 2 * kPi * t;
    const double s = std::sin(a);
    const double w = 0.5 * std::sin(a + 1);
    auto oval = [&](uint32_t color, double alpha, const cg::Rect& r) {
        art.shape(color, alpha, 0, [&](cg::Path& path) { path.addEllipse(r); });
    };
    const uint32_t dark = 0x221A16;

    oval(0x000000, 0.16, {3, 1.3, 11.2, 3.8});
    // Diagonal pairs of paws move together.
    for (const cg::Point c : {cg::Point{9.45 + 1.1 * s, 4.85}, cg::Point{9.45 - 1.1 * s, 2.25},
                              cg::Point{5.45 - 1.1 * s, 4.85}, cg::Point{5.45 + 1.1 * s, 2.25}})
        oval(dark, 1, {c.x, c.y, 1.5, 0.9});
    art.shape(coat, 1, 0, [&](cg::Path& path) {
        path.moveTo({5.35, 4.65});
        path.quadCurveTo({2.225, 5.6 + w}, {0.8, 4 + w});
        path.quadCurveTo({2.6, 2.4 + w}, {5.6, 3.1});
        path.closeSubpath();
    });
    oval(pick(night, 0xF4F1EC, 0xA8B0BC), 1, {0.6, 3.25 + w, 1.8, 1.5});
    oval(coat, 1, {4.9, 2.45, 6.6, 3.1});
    oval(pick(night, 0xE69458, 0x9A6448), 0.8, {5.3, 3.9, 4.8, 1.2});
    oval(coat, 1, {10.55, 2.65, 2.9, 2.7});
    art.shape(coat, 1, 0, [](cg::Path& path) { triangle(path, {12.6, 5}, {14.6, 4}, {12.6, 3}); });
    oval(dark, 1, {14.15, 3.65, 0.7, 0.7});
    art.shape(dark, 1, 0, [](cg::Path& path) {
        triangle(path, {11.1, 4.7}, {11.6, 6}, {12.2, 4.9});
        triangle(path, {11.1, 3.3}, {11.6, 2}, {12.2, 3.1});
    });
}

void Art::Winter::snowman(cg::Point p, double t) {
    const bool night = art.s.night;
    cg::SavedState saved(art.ctx);
    art.ctx->translateBy(p.x, p.y);
    art.ctx->scaleBy(0.85, 0.85);
    const double s = std::sin(2 * kPi * t);
    const double alpha = 0.6 + 0.5 * s;
    const uint32_t shade = pick(night, 0xD3E0EA, 0x9AA9BD);
    const uint32_t lit = pick(night, 0xFFFFFF, 0xC3CFDD);
    const uint32_t coal = 0x222222, scarf = 0xC0392B, hat = 0x1E1E24;
    auto oval = [&](uint32_t color, const cg::Rect& r) {
        art.shape(color, 1, 0, [&](cg::Path& path) { path.addEllipse(r); });
    };
    auto rect = [&](uint32_t color, const cg::Rect& r) {
        art.shape(color, 1, 0, [&](cg::Path& path) { path.addRect(r); });
    };

    art.shape(pick(night, 0x5C4030, 0x3A2C22), 1, 0.8, [&](cg::Path& path) {
        path.moveTo({-2.6, 7.4});
        path.lineTo({-7.6, 6});
        path.moveTo({-6.4, 6.3});
        path.lineTo({-7.4, 7.6});
        const cg::Point end{2.6 + 6 * std::cos(alpha), 7.6 + 6 * std::sin(alpha)};
        path.moveTo({2.6, 7.6});
        path.lineTo(end);
        path.moveTo({2.6 + 4.6 * std::cos(alpha), 7.6 + 4.6 * std::sin(alpha)});
        path.lineTo({end.x + 1.6 * std::cos(alpha + 1.2), end.y + 1.6 * std::sin(alpha + 1.2)});
    });
    oval(shade, {-4.6, -0.17, 9.2, 8.74});
    oval(lit, {-4.6, 0.98, 7.82, 7.36});
    oval(shade, {-3.2, 7.56, 6.4, 6.08});
    oval(lit, {-3.2, 8.36, 5.44, 5.12});
    for (const cg::Point c : {cg::Point{-0.2, 2.1}, cg::Point{-0.2, 4.5}, cg::Point{-1.5, 10.9}, cg::Point{0.7, 10.9}})
        oval(coal, {c.x, c.y, 1, 1});
    art.shape(0xF08A3C, 1, 0, [](cg::Path& path) { triangle(path, {0.5, 10.8}, {4.2, 10.2}, {0.5, 10}); });
    rect(scarf, {-3, 7.6, 6, 1.3});
    art.shape(scarf, 1, 0, [&](cg::Path& path) {
        path.moveTo({-2.6, 8.4});
        path.lineTo({-1.4, 8.4});
        path.lineTo({-2.2 - 1.2 * s, 4.6 + 0.6 * s});
        path.lineTo({-3.6 - 1.2 * s, 5 + 0.6 * s});
        path.closeSubpath();
    });
    rect(hat, {-3.4, 13.3, 6.8, 0.9});
    rect(hat, {-2.3, 14, 4.6, 3.8});
    rect(scarf, {-2.3, 14.4, 4.6, 0.8});
}

void Art::Winter::snowglobe(double t) {
    const bool night = art.s.night;
    cg::Context& g = *art.ctx;
    const uint32_t snow = pick(night, 0xFFFFFF, 0xC3CFDD);
    const cg::Rect glass(3, 6.5, 24, 24);

    art.shape(pick(night, 0x7A4A2E, 0x3E281C), 1, 0,
              [](cg::Path& path) { path.addRoundedRect(cg::Rect(6, 1, 18, 6.5), 2, 2); });
    art.shape(pick(night, 0xD8B04A, 0x8A7440), 1, 0.7, [](cg::Path& path) {
        path.moveTo({6.5, 5.6});
        path.lineTo({23.5, 5.6});
    });
    art.shape(pick(night, 0xBFDDF0, 0x27375A), 0.6, 0, [&](cg::Path& path) { path.addEllipse(glass); });
    {
        cg::SavedState saved(g);
        g.addEllipse(glass);
        g.clip();
        art.shape(snow, 1, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(1, 4, 28, 9)); });
        art.shape(pick(night, 0x2F6A4D, 0x1B3329), 1, 0, [](cg::Path& path) {
            triangle(path, {6.6, 9}, {13.4, 9}, {10, 13.4});
            triangle(path, {7.45, 11.6}, {12.55, 11.6}, {10, 16});
            triangle(path, {8.3, 14.2}, {11.7, 14.2}, {10, 18.6});
        });
        art.shape(pick(night, 0x8A5A3B, 0x5A4232), 1, 0, [](cg::Path& path) { path.addRect(cg::Rect(16.5, 8.6, 6, 4)); });
        art.shape(snow, 1, 0, [](cg::Path& path) { triangle(path, {15.8, 12.4}, {23.2, 12.4}, {19.5, 15.4}); });
        art.shape(pick(night, 0x3B4A5A, 0xFFD27A), 1, 0, [](cg::Path& path) { path.addRect(cg::Rect(18.4, 9.4, 1.8, 1.8)); });
        // The same sixteen flakes in every globe and every frame.
        RNG rng(91);
        for (int i = 0; i < 16; ++i) {
            const double u1 = rng.next();
            const double u2 = rng.next();
            const double u3 = rng.next();
            const cg::Point c{4 + 22 * u1 + 1.6 * std::sin(2 * kPi * (t + u3)), 29 - 19 * frac(t + u2)};
            art.shape(snow, 0.95, 0, [&](cg::Path& path) { path.addEllipse(disc(c, 0.55)); });
        }
    }
    art.shape(0xFFFFFF, 0.45, 0.7, [&](cg::Path& path) { path.addEllipse(glass); });
    art.shape(0xFFFFFF, night ? 0.3 : 0.65, 1.2,
              [](cg::Path& path) { path.addArc({15, 18.5}, 9.8, 2.1, 2.8, false); });
}

void Art::Winter::sleigh(double t, bool shadow) {
    const bool night = art.s.night;
    cg::Context& g = *art.ctx;
    auto ink = [shadow](uint32_t color) { return shadow ? 0x00131Fu : color; };
    auto oval = [&](uint32_t color, double alpha, const cg::Rect& r) {
        art.shape(ink(color), alpha, 0, [&](cg::Path& path) { path.addEllipse(r); });
    };

    // One reindeer centred on (x, y), its legs at `phase` of their cycle.
    auto deer = [&](double x, double y, double phase, bool red) {
        const double e = 2.2 * std::cos(2 * kPi * phase);
        for (const double side : {2.3, -2.3}) {
            oval(0x3B2A1E, 1, around({x + 3.2 + e, y + side}, 3.2, 1.1));
            oval(0x3B2A1E, 1, around({x - 3.2 - e, y + side}, 3.2, 1.1));
        }
        oval(0x8A5A36, 1, {x - 5.6, y - 2.7, 11.2, 5.4});
        oval(0xA8744A, 0.8, {x - 4.6, y - 0.4, 8.4, 2});
        oval(0xF4EDE0, 1, {x - 6.4, y - 0.9, 2, 1.8});
        oval(0x7A4E30, 1, {x + 4.3, y - 1.6, 4.2, 3.2});
        oval(0x5E3C26, 1, {x + 7, y - 1, 2.4, 2});
        oval(0xC0262D, 1, {x + 3.6, y - 2.6, 1.6, 5.2});
        oval(0xD8B04A, 1, {x + 3.8, y + 1.6, 1.2, 1.2});
        art.shape(ink(0xD9C6A0), 1, 0.6, [&](cg::Path& path) {
            for (const double m : {1.0, -1.0}) {
                path.moveTo({x + 6, y + m * 1});
                path.lineTo({x + 4.2, y + m * 4.4});
                path.moveTo({x + 5.2, y + m * 2.8});
                path.lineTo({x + 6.4, y + m * 4.2});
                path.moveTo({x + 4.6, y + m * 3.6});
                path.lineTo({x + 3, y + m * 4.6});
            }
        });
        if (red && !shadow) {
            const double R = (night ? 6.5 : 3.6) * (0.85 + 0.15 * std::sin(2 * kPi * t));
            const cg::Gradient glow({cg::Color::rgb(0xFF3A2A, 0.75), cg::Color::rgb(0xFF3A2A, 0)}, {0, 1});
            g.drawRadialGradient(glow, {x + 9.4, y}, 0, {x + 9.4, y}, R);
            art.shape(0xFF2A1C, 1, 0, [&](cg::Path& path) { path.addEllipse(disc({x + 9.4, y}, 1)); });
            art.shape(0xFFFFFF, 0.8, 0, [&](cg::Path& path) { path.addEllipse(disc({x + 9.1, y + 0.3}, 0.35)); });
        }
    };

    cg::SavedState saved(g);
    std::unique_ptr<cg::TransparencyLayer> layer;
    if (shadow) {
        g.setAlpha(night ? 0.12 : 0.22);
        layer = std::make_unique<cg::TransparencyLayer>(g);
    }

    art.shape(ink(0x3A2A20), 1, 0.5, [](cg::Path& path) {
        path.moveTo({30, 17});
        path.lineTo({119, 17});
        for (const double X : {50.0, 68.0, 86.0, 104.0}) {
            path.moveTo({25, 20});
            path.lineTo({X, 22.5});
            path.moveTo({25, 14});
            path.lineTo({X, 11.5});
        }
    });
    // Pairs step half a cycle apart; each pair lags the one behind it by 0.12 of a cycle.
    for (int i = 0; i < 4; ++i)
        for (const double d : {1.0, -1.0})
            deer(46 + 18.0 * i, 17 + 5.5 * d, t + 0.12 * i + (d > 0 ? 0 : 0.5), false);
    deer(118, 17, t + 0.5, true);

    art.shape(ink(0xD8B04A), 1, 1.1, [](cg::Path& path) {
        path.moveTo({2, 25});
        path.lineTo({28, 25});
        path.quadCurveTo({32.5, 25}, {31, 22.5});
        path.moveTo({2, 9});
        path.lineTo({28, 9});
        path.quadCurveTo({32.5, 9}, {31, 11.5});
    });
    art.shape(ink(0xB0202A), 1, 0, [](cg::Path& path) { path.addRoundedRect(cg::Rect(4, 10, 24, 14), 4, 4); });
    art.shape(ink(0xD8B04A), 1, 0.8, [](cg::Path& path) { path.addRoundedRect(cg::Rect(4.6, 10.6, 22.8, 12.8), 3.5, 3.5); });
    oval(0x8B5A2B, 1, {4.6, 12, 10.8, 10});
    const cg::Point presents[] = {{7.3, 17.6}, {10.2, 14.2}, {10.8, 17.8}};
    const uint32_t wraps[] = {0x2E8B57, 0x3A6FD8, 0xE8C547};
    for (int i = 0; i < 3; ++i)
        art.shape(ink(wraps[i]), 1, 0, [&](cg::Path& path) { path.addRect(cg::Rect(presents[i].x, presents[i].y, 2.4, 2.4)); });
    oval(0xC8202A, 1, {15.5, 11.4, 10, 11.2});
    oval(0x1E1E24, 1, {23.1, 19.3, 2.6, 2.2});
    oval(0x1E1E24, 1, {23.1, 12.5, 2.6, 2.2});
    oval(0xF4F1EC, 1, {23, 14, 4.8, 6});
    oval(0xF4F1EC, 1, {18.4, 13.8, 6.4, 6.4});
    oval(0xD0242E, 1, {18.8, 14.6, 4.8, 4.8});
    oval(0xFFFFFF, 1, {16.2, 17.2, 2.4, 2.4});
    if (shadow) return;

    RNG rng(53);
    for (int i = 0; i < 6; ++i) {
        const double u1 = rng.next();
        const double u2 = rng.next();
        const double u3 = rng.next();
        art.shape(0xFFE9A0, 0.3 + 0.6 * std::fabs(std::sin(kPi * (t + u3))), 0,
                  [&](cg::Path& path) { path.addEllipse(disc({7 * u1 - 1, 11 + 12 * u2}, 0.6)); });
    }
    if (night) {
        // Darkens only what is painted; the lead reindeer beyond x = 110 keeps its colours.
        g.setBlendMode(cg::BlendMode::sourceAtop);
        g.setFillColor(cg::Color::rgb(0x04152A, 0.35));
        g.fill(cg::Rect(0, 0, 110, 34));
        g.setBlendMode(cg::BlendMode::normal);
    }
}

void Art::Winter::aurora() {
    const Art& a = art;
    RNG rng(a.s.seed() + 91);
    const double phi0 = rng.next();
    // Every draw is taken in its order first; the curtains are then painted at once, each into its own
    // bitmap. A curtain whose bitmap cannot be made takes no draws for its painting.
    struct Curtain {
        double width = 0, L = 0, phi = 0, y = 0;
        std::unique_ptr<cg::Context> frame;
    };
    std::array<Curtain, 2> curtains;
    for (int i = 0; i < 2; ++i) {
        Curtain& c = curtains[static_cast<std::size_t>(i)];
        c.width = 820 + 160 * rng.next();
        c.frame = cg::Context::makeBitmap(static_cast<int>(std::ceil(c.width)), 210, 1);
        if (c.frame) {
            c.L = 260 + 120 * rng.next();
            c.phi = 2 * kPi * rng.next();
        }
        c.y = a.H() * (i + 0.25 + 0.5 * rng.next()) / 2;
    }
    std::array<cg::ImageRef, 2> images;
    dispatch::concurrentPerform(curtains.size(), [&](std::size_t i) {
        Curtain& cur = curtains[i];
        if (!cur.frame) return;
        cg::Context& g = *cur.frame;
        const double c = cur.width, L = cur.L, phi = cur.phi;
        for (int64_t j = 0;; ++j) {
            const double x = 1.5 * static_cast<double>(j);
            if (x > c) break;
            const double k = std::sin(kPi * x / c) * (0.55 + 0.45 * std::sin(x / 7.3 + 2 * std::sin(x / 41)));
            const double ray = 36 + 44 * (0.5 + 0.5 * std::sin(phi + x / 57));
            const double foot = 63 + 31.5 * std::sin(phi + 2 * kPi * x / L) + 5 * std::sin(3 * phi + x / 23);
            const cg::Gradient light({cg::Color::rgb(0x6BFFB8, 0), cg::Color::rgb(0x6BFFB8, 0.42 * k),
                                      cg::Color::rgb(0x58F5B0, 0.2 * k), cg::Color::rgb(0xA678FF, 0.07 * k),
                                      cg::Color::rgb(0xA678FF, 0)},
                                     {0, 0.2, 0.4, 0.76, 1});
            cg::SavedState saved(g);
            g.clipToRect(cg::Rect(x, foot - 0.25 * ray, 1.6, 1.25 * ray));
            g.drawLinearGradient(light, {x, foot - 0.25 * ray}, {x, foot + ray});
        }
        images[i] = g.makeImage();
        cur.frame.reset();
    });
    for (std::size_t i = 0; i < curtains.size(); ++i) {
        Sprite sp;
        sp.kind = Sprite::Kind::cloud;
        sp.at = {0, curtains[i].y};
        sp.size = curtains[i].width;
        sp.phase = frac(phi0 + 0.5 * static_cast<double>(i));
        sp.travel = a.W();
        sp.image = std::move(images[i]);
        art.sprites.push_back(std::move(sp));
    }
}
