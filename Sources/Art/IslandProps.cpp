// Props of the islands: a thatched hut with its night light, a swaying palm and a lighthouse seen from
// above. Light falls from the upper left; shadows fall to the lower right.

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "Art/Art.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

uint32_t pick(bool night, uint32_t day, uint32_t dark) { return night ? dark : day; }

void fillRect(cg::Context& g, const cg::Rect& r, uint32_t color, double alpha = 1) {
    g.setFillColor(cg::Color::rgb(color, alpha));
    g.fill(r);
}

cg::Rect circle(cg::Point c, double r) { return {c.x - r, c.y - r, 2 * r, 2 * r}; }

// The point at t of the quadratic curve from a over control c to b.
cg::Point quadAt(cg::Point a, cg::Point c, cg::Point b, double t) {
    const double u = 1 - t;
    return {u * u * a.x + 2 * t * u * c.x + t * t * b.x, u * u * a.y + 2 * t * u * c.y + t * t * b.y};
}

// The frond generator's seed from the size of the lean; a lean too large to convert saturates.
uint64_t frondSeed(double lean) {
    const double q = std::fabs(lean) * 1000000;
    const uint64_t whole = !(q > 0) ? 0 : q < 18446744073709551616.0 ? static_cast<uint64_t>(q) : UINT64_MAX;
    return whole + 5;
}

}  // namespace

void Art::hutPicture(cg::Point p) {
    const bool night = s.night;
    const double x = p.x, y = p.y;
    cg::Context& g = *ctx;
    groundShadow(p, 13, 0.18);
    fillRect(g, {x - 8, y, 16, 9}, pick(night, 0xd9be8a, 0x6e604c));
    shape(0x000000, 0.12, 0.4, [&](cg::Path& path) {
        for (int k = 0; k <= 8; ++k) {
            const double xk = x - 7 + 1.6 * k;
            path.moveTo({xk, y});
            path.lineTo({xk, y + 9});
        }
    });
    fillRect(g, {x - 2, y, 4, 6}, 0x3a2616);
    fillRect(g, {x + 3.5, y + 3, 3, 2.6}, pick(night, 0x4a3220, 0xffd27a));
    fillRect(g, {x - 8, y + 7.2, 16, 1.8}, 0x000000, 0.22);

    cg::Path roof;
    roof.moveTo({x - 12, y + 8});
    roof.lineTo({x + 12, y + 8});
    roof.lineTo({x + 1.5, y + 20});
    roof.lineTo({x - 1.5, y + 20});
    roof.closeSubpath();
    {
        cg::SavedState saved(g);
        g.clip(roof);
        const cg::Gradient straw(night ? std::vector{cg::Color::rgb(0x6a5a40), cg::Color::rgb(0x4a3e2c)}
                                       : std::vector{cg::Color::rgb(0xd2aa68), cg::Color::rgb(0x8e6a3a)},
                                 {0, 1});
        g.drawRadialGradient(straw, {x - 4.800000000000001, y + 18.4}, 0, {x, y + 13}, 15, {false, true});
    }

    shape(pick(night, 0x8e6a3a, 0x4a3e2c), 0.55, 0.4, [&](cg::Path& path) {
        for (int i = 0; i <= 12; ++i) {
            const double d = i % 2 == 1 ? 0.3 : 0.9;
            path.moveTo({x - 1.5 + 3.0 * i / 12, y + 20});
            path.lineTo({x - 12 + 24.0 * i / 12, y + 8 - d});
        }
    });
}

void Art::hutLights(cg::Point p) {
    if (!s.night) return;
    const double x = p.x, y = p.y;
    const double r = rand(p, 0);
    Sprite window;
    window.kind = Sprite::Kind::light;
    window.at = {x + 5, y + 4.3};
    window.size = 0.8;
    window.phase = r;
    window.color = 0xffc56b;
    sprites.push_back(std::move(window));

    Sprite glow;
    glow.kind = Sprite::Kind::light;
    glow.at = {x + 5, y - 1};
    glow.size = 32;
    glow.phase = r;
    // The glow is firelight's light pool of radius 16 (a 32-point square); keep its image, not the
    // sprite firelight appends with it.
    const std::size_t count = sprites.size();
    firelight(glow.at, 16, r, 0, 0.6);
    if (sprites.size() > count) {
        glow.image = std::move(sprites.back().image);
        sprites.resize(count);
    }
    glow.glow = true;
    sprites.push_back(std::move(glow));
}

void Art::palm(cg::Point p, double lean) { palm(p, palmImage(lean)); }

cg::ImageRef Art::palmImage(double lean) {
    return offscreen(34, 36, [&] { palmTree({17, 3}, lean); });
}

void Art::palm(cg::Point p, cg::ImageRef image) {
    groundShadow(p, 9, 0.18);
    palmSprite(p, std::move(image));
}

void Art::palmSprite(cg::Point p, cg::ImageRef image) {
    if (!image) return;
    const double turns = p.x / 640;
    Sprite sp;
    sp.kind = Sprite::Kind::sway;
    sp.at = p;
    sp.size = 34;
    sp.phase = turns - std::trunc(turns);
    sp.image = std::move(image);
    sp.anchor = {0.5, 0.08333333333333333};
    sprites.push_back(std::move(sp));
}

void Art::palmTree(cg::Point base, double lean) {
    const bool night = s.night;
    const double a = base.x, b = base.y, c = lean;
    const cg::Point bend{a - 4 * c, b + 10};
    const cg::Point top{a + 8 * c, b + 19};

    // Trunk in twelve bands, thinning upward.
    for (int i = 0; i < 12; ++i) {
        const cg::Point from = quadAt(base, bend, top, i / 12.0);
        const cg::Point to = quadAt(base, bend, top, (i + 1) / 12.0);
        const uint32_t color = i % 2 == 0 ? pick(night, 0x8b6a48, 0x5a4431) : pick(night, 0x7a5a3c, 0x4e3b2b);
        const cg::Point band[2] = {from, to};
        marks(color, 1, 2.9 - 1.1 * i / 12, band);
    }
    shape(pick(night, 0xb08a62, 0x6e5640), 0.5, 0.7, [&](cg::Path& path) {
        path.moveTo({a - 0.8, b + 1});
        path.quadCurveTo({a - 4 * c - 0.8, b + 10}, {top.x - 0.6, top.y - 1});
    });

    std::vector<cg::Point> spine;
    for (const PalmFrond& frond : palmFronds(c)) {
        const double th = frond.angle, w = frond.length;
        const double cs = std::cos(th), sn = std::sin(th);
        const cg::Point tip{top.x + w * cs, top.y + w * sn - 3.5 * (0.6 + 0.4 * std::fabs(cs))};
        const cg::Point k{top.x + 0.55 * w * cs, top.y + 0.55 * w * sn + 1.2};
        const bool lit = cs < 0.5 && sn > -0.2;
        std::array<cg::Point, 28> leaflets;
        for (int l = 1; l <= 7; ++l) {
            const double h = l / 8.0;
            const cg::Point q = quadAt(top, k, tip, h);
            const double len = 0.6 + 3.2 * std::sin(std::numbers::pi * h);
            std::size_t n = static_cast<std::size_t>(l - 1) * 4;
            for (const double side : {1.0, -1.0}) {
                leaflets[n++] = q;
                leaflets[n++] = {q.x + side * len * -sn + 1.4 * cs, q.y + side * len * cs + 1.4 * sn + -0.4};
            }
        }
        marks(lit ? pick(night, 0x4fa654, 0x2f6a45) : pick(night, 0x2e7d3c, 0x1e4a33), 1, 0.55, leaflets);
        spine.clear();
        quadPieces(spine, top, k, tip, 8);
        marks(pick(night, 0x7bb35c, 0x3e6b45), 1, 0.6, spine);
    }
    const uint32_t nut = pick(night, 0x6b4a22, 0x3a2e1e);
    shape(nut, 1, 0, [&](cg::Path& path) {
        path.addEllipse(circle({top.x - 1.2, top.y - 0.6}, 1.3));
        path.addEllipse(circle({top.x + 1, top.y - 0.9}, 1.3));
        path.addEllipse(circle({top.x, top.y + 0.6}, 1.3));
    });
}

std::vector<Art::PalmFrond> Art::palmFronds(double lean) {
    // Mirrored leans give the same fronds: only the lean's size seeds them.
    RNG rng(frondSeed(lean));
    std::vector<PalmFrond> fronds;
    fronds.reserve(9);
    for (int j = 0; j < 9; ++j) {
        const double jitter = rng.uniform(-0.25, 0.25);
        fronds.push_back({(j * 2 * std::numbers::pi) / 9 + jitter, 0});
    }
    std::stable_sort(fronds.begin(), fronds.end(),
                     [](const PalmFrond& l, const PalmFrond& r) { return std::sin(l.angle) < std::sin(r.angle); });
    // The lengths continue the same generator, in drawing order.
    for (PalmFrond& frond : fronds) frond.length = rng.uniform(10, 13);
    return fronds;
}

void Art::lighthouse(cg::Point p) {
    const bool night = s.night;
    const double x = p.x, y = p.y;
    shape(0x000000, 0.22, 6, [&](cg::Path& path) {
        path.moveTo(p);
        path.lineTo({x + 13, y - 17});
    });
    shape(pick(night, 0xf4f3ee, 0xa9b0ba), 1, 0, [&](cg::Path& path) { path.addEllipse(circle(p, 5.4)); });
    shape(pick(night, 0x8e949c, 0x5a6068), 1, 0.7, [&](cg::Path& path) { path.addEllipse(circle(p, 4.7)); });
    shape(pick(night, 0x3a4652, 0xffe6a8), 1, 0, [&](cg::Path& path) { path.addEllipse(circle(p, 3.4)); });
    shape(pick(night, 0xc8352e, 0x6a302c), 1, 0, [&](cg::Path& path) { path.addEllipse(circle(p, 2.5)); });
    shape(0xffffff, night ? 0.15 : 0.45, 0, [&](cg::Path& path) { path.addEllipse(circle({x - 0.7, y + 0.7}, 1)); });
    shape(0x2a2a2e, 1, 0, [&](cg::Path& path) { path.addEllipse(circle(p, 0.55)); });
}
