// Campfires, the shared flame image, warm light pools and craters.

#include <cmath>

#include "Art/Art.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

void Art::fire(cg::Point p) {
    const double x = p.x, y = p.y;

    const cg::Gradient glow({cg::Color::rgb(0xFF9F43, 0.3), cg::Color::rgb(0xFF8A3D, 0.1), cg::Color::rgb(0xFF8A3D, 0)},
                            {0, 0.35, 1});
    ctx->drawRadialGradient(glow, p, 0, p, 18);

    for (int k = 0; 1.05 * k < 6.28; ++k) {
        const double a = 1.05 * k;
        const cg::Point c{x + 5 * std::cos(a), y + 2.6 * std::sin(a)};
        shape(0x5B5560, 1, 0, [&](cg::Path& path) { path.addEllipse(cg::Rect(c.x - 1.5, c.y - 1.1, 3, 2.2)); });
    }

    shape(0x3A2618, 1, 1.8, [&](cg::Path& path) {
        path.moveTo({x - 3, y - 1});
        path.lineTo({x + 3, y + 1.5});
    });
    shape(0x3A2618, 1, 1.8, [&](cg::Path& path) {
        path.moveTo({x + 3, y - 1});
        path.lineTo({x - 3, y + 1.5});
    });

    const double phi = rand(p, 0);

    Sprite flame;
    flame.kind = Sprite::Kind::light;
    flame.at = {x, y - 0.5};
    flame.size = 6;
    flame.phase = phi;
    flame.image = flames();
    flame.anchor = {0.5, 0.12};
    flame.pulse = 0.5;
    sprites.push_back(std::move(flame));

    firelight({x, y + 2}, 34, phi, 0.5, 1);

    for (uint64_t salt = 1; salt <= 2; ++salt) {
        Sprite spark;
        spark.kind = Sprite::Kind::firefly;
        spark.at = {x, y + 9};
        spark.size = 1;
        spark.phase = rand(p, salt);
        spark.travel = 6;
        spark.color = 0xFFB347;
        sprites.push_back(std::move(spark));
    }
}

cg::ImageRef Art::flames() {
    if (flames_) return *flames_;
    // One tongue over the base line y = 2; the last curve bows the bottom below it.
    auto tongue = [](cg::Path& path, double x, double w, double lean, double h) {
        path.moveTo({x - w, 2});
        path.quadCurveTo({x - 0.9 * w, 2 + 0.55 * h}, {x + lean, 2 + h});
        path.quadCurveTo({x + 0.9 * w, 2 + 0.5 * h}, {x + w, 2});
        path.quadCurveTo({x, 2 - 0.8 * w}, {x - w, 2});
    };
    struct Tongue {
        double x, w, lean, h;
        uint32_t color;
        double alpha;
    };
    static constexpr Tongue tongues[] = {
        {4.2, 2.2, -1.0, 9.0, 0xD9401A, 0.85}, {8.0, 2.2, 1.2, 10.5, 0xD9401A, 0.85},
        {6.0, 3.6, 0.4, 13.5, 0xF26A22, 0.9},  {6.0, 2.6, 0.2, 9.5, 0xFF9A30, 1.0},
        {6.0, 1.6, 0.0, 5.5, 0xFFD25A, 1.0},
    };
    flames_ = offscreen(12, 16, [&] {
        for (const Tongue& t : tongues)
            shape(t.color, t.alpha, 0, [&](cg::Path& path) { tongue(path, t.x, t.w, t.lean, t.h); });
        shape(0xFFF0C0, 1, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(3.8, 1.2, 4.4, 2.4)); });
    });
    return *flames_;
}

void Art::firelight(cg::Point p, double r, double phase, double pulse, double strength) {
    const double st = strength;
    cg::ImageRef pool = offscreen(2 * r, 2 * r, [&] {
        ctx->setFillColor(cg::Color::black());
        ctx->fill(cg::Rect(0, 0, 2 * r, 2 * r));
        const cg::Gradient warm({cg::Color::rgb(0xA07A50, st), cg::Color::rgb(0xA07A50, 0.45 * st),
                                 cg::Color::rgb(0xA07A50, 0.14 * st), cg::Color::rgb(0xA07A50, 0)},
                                {0, 0.3, 0.6, 1});
        ctx->drawRadialGradient(warm, {r, r}, 0, {r, r}, r);
    });
    Sprite sp;
    sp.kind = Sprite::Kind::light;
    sp.at = p;
    sp.size = 2 * r;
    sp.phase = phase;
    sp.image = std::move(pool);
    sp.pulse = pulse;
    sp.glow = true;
    sprites.push_back(std::move(sp));
}

void Art::impact(cg::Point p, double r, uint32_t rim, uint32_t floor, uint32_t wall) {
    auto disc = [](cg::Path& path, cg::Point c, double radius) {
        path.addEllipse(cg::Rect(c.x - radius, c.y - radius, 2 * radius, 2 * radius));
    };
    cg::SavedState saved(ctx);
    ctx->translateBy(p.x, p.y);
    ctx->scaleBy(1, 0.82);
    if (r > 4) {
        const cg::Gradient halo({cg::Color::rgb(rim, 0.35), cg::Color::rgb(rim, 0)}, {0, 1});
        ctx->drawRadialGradient(halo, {0, 0}, r, {0, 0}, 2.2 * r);
    }
    shape(0x000000, 0.12, 0, [&](cg::Path& path) { disc(path, {0.18 * r, -0.22 * r}, 1.12 * r); });
    shape(rim, 0.6, 0, [&](cg::Path& path) { disc(path, {0, 0}, 1.12 * r); });
    ctx->addEllipse(cg::Rect(-r, -r, 2 * r, 2 * r));
    ctx->clip(cg::FillRule::winding);
    const cg::Gradient bowl({cg::Color::rgb(floor), cg::Color::rgb(floor), cg::Color::rgb(wall)}, {0, 0.4, 1});
    ctx->drawLinearGradient(bowl, {-0.7 * r, 0.7 * r}, {0.7 * r, -0.7 * r}, {true, true});
}
