// Marine art shared by the water scenes: eagle rays, sea turtles and jellyfish as poses of one phase,
// and seagrass tufts drawn straight into the scene.

#include <cmath>
#include <numbers>

#include "Art/Art.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;

void fill(cg::Context& c, const cg::Path& path, uint32_t color, double alpha) {
    c.setFillColor(cg::Color::rgb(color, alpha));
    c.fill(path);
}

cg::Path circle(cg::Point centre, double r) {
    cg::Path p;
    p.addEllipse(cg::Rect(centre.x - r, centre.y - r, 2 * r, 2 * r));
    return p;
}

}  // namespace

std::vector<cg::ImageRef> Art::poseRow(int count, double w, double h, const std::function<void(Art&, double)>& pose) {
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    std::vector<cg::ImageRef> drawn = offscreenEach(n, [&](Art& worker, std::size_t j) {
        const double phase = static_cast<double>(j) / static_cast<double>(count);
        return worker.offscreen(w, h, [&] { pose(worker, phase); });
    });
    std::vector<cg::ImageRef> row;
    row.reserve(n);
    for (cg::ImageRef& image : drawn)
        if (image) row.push_back(std::move(image));
    return row;
}

cg::Path Art::eagleRayBody(double phase) {
    const double b = std::sin(2 * kPi * phase);
    const double s = 19 * (1 - 0.14 * b * b);  // half wingspan
    const double tip = 32 + 3 * b;
    cg::Path p;
    p.moveTo({48, 22});
    p.quadCurveTo({48, 24.6}, {44, 24.6});
    p.quadCurveTo({42, 22 + 0.62 * s}, {tip, 22 + s});
    p.quadCurveTo({30, 22 + 0.32 * s}, {25, 23.5});
    p.lineTo({25, 20.5});
    p.quadCurveTo({30, 22 - 0.32 * s}, {tip, 22 - s});
    p.quadCurveTo({42, 22 - 0.62 * s}, {44, 19.4});
    p.quadCurveTo({48, 19.4}, {48, 22});
    p.closeSubpath();
    return p;
}

cg::Path Art::eagleRayTail(double phase) {
    const double b = std::sin(2 * kPi * phase);
    cg::Path p;
    p.moveTo({26, 22});
    p.quadCurveTo({14, 22 - 1.5 * b}, {2, 22 + 2 * b});
    return p;
}

void Art::eagleRay(double phase, bool shadow, bool spotted) {
    cg::Context& c = *ctx;
    const double b = std::sin(2 * kPi * phase);
    const double s = 19 * (1 - 0.14 * b * b);
    const cg::Path body = eagleRayBody(phase);
    if (shadow) {
        fill(c, body, 0x000000, 0.25);
        return;
    }
    fill(c, body, 0x26303a, 1);
    c.setStrokeColor(cg::Color::rgb(0x26303a));
    c.setLineWidth(0.8);
    c.setLineCap(cg::LineCap::round);
    c.stroke(eagleRayTail(phase));

    {
        cg::SavedState saved(c);
        c.clip(body);
        if (spotted) {
            // A fixed generator: the same spots in every pose and on every ray, breathing with the wings.
            RNG rng(41);
            c.setFillColor(cg::Color::rgb(0xf2f6f4, 0.9));
            for (int i = 0; i < 46; ++i) {
                const double u1 = rng.next();
                const double u2 = rng.next();
                const double u3 = rng.next();
                const double dx = -10 + 19 * u1;
                const double k = dx <= 0 ? 1 + dx / 22 : 1;
                const cg::Point centre{36 + dx, 22 + s * (2 * u2 - 1) * k};
                const double r = 0.45 + 0.4 * u3;
                c.fillEllipse(cg::Rect(centre.x - r, centre.y - r, 2 * r, 2 * r));
            }
        }
        const cg::Gradient sheen({cg::Color::white(0.16), cg::Color::white(0)}, {0, 1});
        c.drawRadialGradient(sheen, {39, 25}, 0, {39, 25}, s);
    }

    c.setFillColor(cg::Color::rgb(0x0e1216));
    c.fillEllipse(cg::Rect(42.9, 23.4, 1.2, 1.2));
    c.fillEllipse(cg::Rect(42.9, 19.4, 1.2, 1.2));
}

void Art::turtle(double phase, bool shadow) {
    cg::Context& c = *ctx;
    const double b = std::sin(2 * kPi * phase);
    const bool night = s.night;
    const uint32_t light = night ? 0x6a5638 : 0xb08a50;
    const uint32_t dark = night ? 0x3a2e20 : 0x5e4426;
    const uint32_t skin = night ? 0x4a5e4c : 0x7f9a68;

    if (shadow) c.setShadow({0, 0}, 2.5, cg::Color::rgb(0x00131f, night ? 0.25 : 0.4));
    cg::TransparencyLayer layer(c);

    cg::Path front;
    front.moveTo({0, -1.4});
    front.quadCurveTo({4.725, -3.08}, {10.5, 0.56});
    front.quadCurveTo({5.25, 0.84}, {0, 1.4});
    front.closeSubpath();
    cg::Path rear;
    rear.moveTo({0, -0.9});
    rear.quadCurveTo({2.07, -1.98}, {4.6, 0.36});
    rear.quadCurveTo({2.3, 0.54}, {0, 0.9});
    rear.closeSubpath();
    for (double m : {1.0, -1.0}) {
        {
            cg::SavedState saved(c);
            c.translateBy(18.5, 12 + 4.2 * m);
            c.scaleBy(1, m);
            c.rotateBy(1.95 + 0.6 * b);
            fill(c, front, skin, 1);
        }
        cg::SavedState saved(c);
        c.translateBy(9, 12 + 3.6 * m);
        c.scaleBy(1, m);
        c.rotateBy(2.5 - 0.15 * b);
        fill(c, rear, skin, 1);
    }

    c.setFillColor(cg::Color::rgb(skin));
    c.fillEllipse(cg::Rect(22, 9.7, 6, 4.6));
    c.setFillColor(cg::Color::rgb(0x1a1a14));
    c.fillEllipse(cg::Rect(25.85, 12.85, 0.9, 0.9));
    c.fillEllipse(cg::Rect(25.85, 10.25, 0.9, 0.9));

    const cg::Rect shell(6.4, 5.2, 17.2, 13.6);
    {
        cg::SavedState saved(c);
        cg::Path oval;
        oval.addEllipse(shell);
        c.clip(oval);
        const cg::Gradient g({cg::Color::rgb(light), cg::Color::rgb(dark)}, {0, 1});
        c.drawRadialGradient(g, {12.5, 15}, 0, {15, 12}, 9.5, {.drawsBeforeStart = false, .drawsAfterEnd = true});
        shape(0x000000, 0.28, 0.45, [](cg::Path& p) {
            p.moveTo({8.2, 10.2});
            p.lineTo({21.8, 10.2});
            p.moveTo({8.2, 13.8});
            p.lineTo({21.8, 13.8});
            for (double x : {10.4, 13.8, 17.2}) {
                p.moveTo({x, 5.8});
                p.lineTo({x + 0.8, 10.2});
                p.lineTo({x + 0.8, 13.8});
                p.lineTo({x, 18.2});
            }
        });
    }

    c.setStrokeColor(cg::Color::rgb(dark, 0.9));
    c.setLineWidth(0.7);
    c.strokeEllipse(shell);
    c.setFillColor(cg::Color::white(0.12));
    c.fillEllipse(cg::Rect(9.8, 13.4, 5.2, 3.2));

    if (shadow) {
        // Everything drawn so far becomes one flat tinted silhouette.
        c.setBlendMode(cg::BlendMode::sourceIn);
        c.setFillColor(cg::Color::rgb(0x00131f, night ? 0.2 : 0.38));
        c.fill(cg::Rect(0, 0, 30, 24));
    }
}

void Art::jellyfish(double phase) {
    cg::Context& c = *ctx;
    const double pulse = 0.5 - 0.5 * std::cos(2 * kPi * phase);  // 0 relaxed, 1 most contracted
    const double R = 7 * (1 - 0.18 * pulse);
    const cg::Point centre{10, 10};

    // The glow is a shadow cut by the bell's clip, so it lights the bell from inside only.
    c.setShadow({0, 0}, 4, cg::Color::rgb(0xbfd8ff, 0.5));
    {
        cg::SavedState saved(c);
        c.clip(circle(centre, R));
        const cg::Gradient bell({cg::Color::rgb(0xe6f0ff, 0.12), cg::Color::rgb(0xd8e6ff, 0.4)}, {0, 1});
        c.drawRadialGradient(bell, centre, 0, centre, R);
    }
    c.clearShadow();

    shape(0xf2f7ff, 0.5, 0.5, [&](cg::Path& p) { p.addPath(circle(centre, R)); });

    cg::Path gonads;
    for (int k = 0; k < 4; ++k) {
        const double theta = 0.6 + k * kPi / 2;
        const cg::Point ring{10 + 0.4 * R * std::cos(theta), 10 + 0.4 * R * std::sin(theta)};
        const double r = 0.25 * R;
        const double start = theta + kPi + 0.55;
        gonads.moveTo({ring.x + r * std::cos(start), ring.y + r * std::sin(start)});
        gonads.addArc(ring, r, start, theta + 3 * kPi - 0.55, false);
    }
    shape(0xe2a4e8, 0.85, 0.75, [&](cg::Path& p) { p.addPath(gonads); });

    const double reach = R + 1.4 + pulse;
    shape(0xe4eeff, 0.45, 0.35, [&](cg::Path& p) {
        for (int i = 0; i < 32; ++i) {
            const double a = i * kPi / 16;
            p.moveTo({10 + R * std::cos(a), 10 + R * std::sin(a)});
            p.lineTo({10 + reach * std::cos(a + 0.12), 10 + reach * std::sin(a + 0.12)});
        }
    });
}

std::vector<Art::SeagrassBlade> Art::seagrassBlades(cg::Point p) const {
    const bool night = s.night;
    const int64_t n = static_cast<int64_t>(rand(p, 1) * 4) + 3;
    std::vector<SeagrassBlade> blades;
    blades.reserve(static_cast<std::size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        const uint64_t base = 10 * static_cast<uint64_t>(i);
        const double u1 = rand(p, base + 2);
        const double u2 = rand(p, base + 3);
        const double u3 = rand(p, base + 4);
        const double u4 = rand(p, base + 5);
        const double u5 = rand(p, base + 6);
        const double u6 = rand(p, base + 7);
        const double u7 = rand(p, base + 8);
        SeagrassBlade blade;
        blade.length = 5 + 7 * u1;
        const double a = 1.1 + 0.6 * (u2 - 0.5);
        const double bend = 0.25 + 0.3 * u3;
        blade.root = {p.x + 3 * (u4 - 0.5), p.y + 2 * (u5 - 0.5)};
        blade.color = u6 < 0.5 ? (night ? 0x285243 : 0x4f9a62) : (night ? 0x1f453a : 0x3d8656);
        blade.width = 0.7 + 0.5 * u7;
        const double L = blade.length;
        blade.tip = {blade.root.x + L * std::cos(a - bend), blade.root.y + L * std::sin(a - bend)};
        blade.control = {blade.root.x + 0.55 * L * std::cos(a), blade.root.y + 0.55 * L * std::sin(a)};
        blades.push_back(blade);
    }
    return blades;
}

void Art::seagrass(cg::Point p) {
    ctx->setFillColor(cg::Color::rgb(s.night ? 0x173a33 : 0x2f7a5a, 0.06));
    ctx->fillEllipse(cg::Rect(p.x - 5, p.y - 4, 10, 8));
    for (const SeagrassBlade& blade : seagrassBlades(p)) {
        shape(blade.color, 0.85, blade.width, [&](cg::Path& path) {
            path.moveTo(blade.root);
            path.quadCurveTo(blade.control, blade.tip);
        });
    }
}
