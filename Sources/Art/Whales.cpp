// Whales and dolphins seen from above, head toward +x: the archipelago's whale and surfacing dolphin,
// and the sea's swimming dolphin with its shadow pose and night glow.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Art/Art.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;

// The closed body polygon: the +y side from the nose to the tail, then the -y side back. Body
// coordinate u runs 0, 0.02, … over `count` values; `half` is the half-width profile.
template <typename Half>
cg::Path bodyOutline(double x0, double cy, double length, int count, Half half) {
    cg::Path p;
    for (int k = 0; k < count; ++k) {
        const double u = 0.02 * k;
        const cg::Point q{x0 - length * u, cy + half(u)};
        if (k == 0)
            p.moveTo(q);
        else
            p.lineTo(q);
    }
    for (int k = count - 1; k >= 0; --k) {
        const double u = 0.02 * k;
        p.lineTo({x0 - length * u, cy - half(u)});
    }
    p.closeSubpath();
    return p;
}

void fill(cg::Context& c, const cg::Path& path, uint32_t color, double alpha) {
    c.setFillColor(cg::Color::rgb(color, alpha));
    c.fill(path);
}

void strokeRound(cg::Context& c, const cg::Path& path, uint32_t color, double alpha, double width) {
    c.setStrokeColor(cg::Color::rgb(color, alpha));
    c.setLineWidth(width);
    c.setLineCap(cg::LineCap::round);
    c.setLineJoin(cg::LineJoin::round);
    c.stroke(path);
}

// The swimming dolphin's along-body position and half-thickness.
double dolphinX(double u, double l) { return 54 - 44 * (u < 0.6 ? u : 0.6 + l * (u - 0.6)); }

double dolphinHalf(double u) {
    if (u < 0.06) return 0.7 + 8 * u;
    return std::max(0.7, 4.4 * std::pow(std::sin(kPi * std::min((u - 0.03) / 0.86, 1.0)), 0.6));
}

}  // namespace

void Art::whale(double phase, double length, double w, double h) {
    cg::Context& c = *ctx;
    const double L = length;
    const double a = 2 * kPi * phase;
    const double cy = h / 2;
    const double x0 = (w + L) / 2;
    auto half = [L](double u) { return L * std::max(0.1 * std::sin(kPi * std::pow(std::min(u / 0.8, 1.0), 0.62)), 0.018); };
    const cg::Path body = bodyOutline(x0, cy, L, 41, half);

    cg::Path flukes;
    {
        const double g = x0 - 0.79 * L;
        const double t = L * (0.15 + 0.05 * std::cos(a));
        const double s = 0.17 * L;
        flukes.moveTo({g, cy + 0.018 * L});
        flukes.quadCurveTo({g - 0.2 * t, cy + 0.9 * s}, {g - t, cy + s});
        flukes.quadCurveTo({g - 0.68 * t, cy + 0.45 * s}, {g - 0.72 * t, cy});
        flukes.lineTo({g - 0.72 * t, cy});
        flukes.quadCurveTo({g - 0.2 * t, cy - 0.9 * s}, {g - t, cy - s});
        flukes.quadCurveTo({g - 0.68 * t, cy - 0.45 * s}, {g - 0.72 * t, cy});
        flukes.lineTo({g, cy - 0.018 * L});
        flukes.closeSubpath();
    }

    cg::Path flippers;
    {
        const double D = x0 - 0.27 * L;
        const double e = 0.8 * half(0.27);
        const double beta = 1 + 0.12 * std::sin(a);
        const double cb = std::cos(beta), sb = std::sin(beta);
        auto upper = [&](double p, double q) {
            return cg::Point{D - p * cb - q * sb, cy + e + p * sb - q * cb};
        };
        auto lower = [&](double p, double q) {
            return cg::Point{D - p * cb + q * sb, cy - e - p * sb - q * cb};
        };
        flippers.moveTo({D, cy + e});
        flippers.quadCurveTo(upper(0.14 * L, 0.05 * L), upper(0.3 * L, 0));
        flippers.quadCurveTo(upper(0.16 * L, -0.03 * L), {D, cy + e});
        flippers.moveTo({D, cy - e});
        flippers.quadCurveTo(lower(0.14 * L, 0.05 * L), lower(0.3 * L, 0));
        flippers.quadCurveTo(lower(0.16 * L, -0.03 * L), {D, cy - e});
    }

    // Drawn as one layer at 0.72 so the parts do not show through each other, with a dark-blue halo.
    c.setAlpha(0.72);
    c.setShadow({0, 0}, 0.06 * L, cg::Color::rgb(0x123447, 0.7));
    cg::TransparencyLayer layer(c);
    fill(c, flippers, 0xa9bcc4, 1);
    fill(c, flukes, 0x2b3b47, 1);
    fill(c, body, 0x3c4d59, 1);
    cg::SavedState saved(c);
    c.clip(body);
    cg::Path spine;
    spine.moveTo({x0 - 0.03 * L, cy});
    spine.lineTo({x0 - 0.8 * L, cy});
    strokeRound(c, spine, 0x22313b, 0.6, 0.08 * L);
}

void Art::surfacingDolphin(double phase, double length, double w, double h) {
    cg::Context& c = *ctx;
    const double L = length;
    const double a = 2 * kPi * phase;
    const double N = 0.5 + 0.5 * std::cos(a);  // 1 at the surface, 0 deepest
    const double cy = h / 2;
    const double x0 = (w + L) / 2;
    auto half = [L](double u) { return L * std::max(0.13 * std::sin(kPi * std::pow(std::min(u / 0.86, 1.0), 0.6)), 0.015); };

    cg::Path path = bodyOutline(x0, cy, L, 44, half);
    {
        const double v = x0 - 0.85 * L;
        const double wr = L * (0.12 + 0.03 * std::sin(a));
        const double s = 0.17 * L;
        for (double m : {1.0, -1.0}) {
            path.moveTo({v, cy});
            path.quadCurveTo({v - 0.1 * wr, cy + m * (0.8 * s)}, {v - wr, cy + m * s});
            path.quadCurveTo({v - 0.65 * wr, cy + m * (0.4 * s)}, {v - 0.75 * wr, cy});
            path.closeSubpath();
        }
        const double G = x0 - 0.3 * L;
        const double e = 0.8 * half(0.3);
        for (double m : {1.0, -1.0}) {
            const double root = cy + m * e;
            path.moveTo({G, root});
            path.quadCurveTo({G - 0.02 * L, root + m * (0.1 * L)}, {G - 0.13 * L, root + m * (0.12 * L)});
            path.quadCurveTo({G - 0.1 * L, root + m * (0.04 * L)}, {G - 0.12 * L, root});
            path.closeSubpath();
        }
    }

    // Fades and blurs into the deep as it dives.
    c.setAlpha(0.35 + 0.6 * N);
    c.setShadow({0, 0}, 0.12 * L * (1 - N), cg::Color::rgb(0x123447, 0.6 * (1 - N)));
    {
        cg::TransparencyLayer layer(c);
        fill(c, path, 0x6c808a, 1);
        cg::SavedState saved(c);
        c.clip(path);
        cg::Path back;
        back.moveTo({x0 - 0.12 * L, cy});
        back.lineTo({x0 - 0.86 * L, cy});
        strokeRound(c, back, 0x3e4f58, 0.85, 0.09 * L);
        const double k = half(0.28);
        c.setFillColor(cg::Color::rgb(0xc8d4d8, 0.45));
        const cg::Point patch{x0 - 0.28 * L, cy + 0.5 * k};  // on the +y flank only
        c.fillEllipse(cg::Rect(patch.x - 0.24 * L / 2, patch.y - 0.6 * k / 2, 0.24 * L, 0.6 * k));
    }
    c.setAlpha(1);
    c.clearShadow();

    // The blow, just behind the head, only near the surface.
    if (N >= 0.75) {
        const double b = 4 * (N - 0.75);
        if (b > 0) {
            const double a0 = 0.7 * b;
            const cg::Gradient g({cg::Color::white(a0), cg::Color::white(0.85 * a0), cg::Color::white(0)},
                                 {0, 0.55, 1});
            cg::SavedState saved(c);
            c.translateBy(x0 - 0.24 * L, cy);
            c.scaleBy(1, (1.6 * b) / (1.8 * b));
            c.drawRadialGradient(g, {0, 0}, 0, {0, 0}, 1.8 * b);
        }
    }
}

void Art::dolphin(double phase, bool shadow) {
    cg::Context& c = *ctx;
    c.translateBy(3, 3);
    const double hb = std::sin(2 * kPi * phase);
    const double l = 1 - 0.1 * hb * hb;

    cg::Path body;
    for (int k = 0; k <= 44; ++k) {
        const double u = 0.02 * k;
        const cg::Point q{dolphinX(u, l), 12 + dolphinHalf(u)};
        if (k == 0)
            body.moveTo(q);
        else
            body.lineTo(q);
    }
    for (int k = 44; k >= 0; --k) {
        const double u = 0.02 * k;
        body.lineTo({dolphinX(u, l), 12 - dolphinHalf(u)});
    }
    body.closeSubpath();

    cg::Path fins;
    {
        const double m = 54 - 44 * (0.6 + 0.27 * l);                      // tail stock
        const double o = 5.5 * (0.3 + 0.7 * std::fabs(std::cos(kPi * phase)));  // fluke spread
        const double f = 43.44;
        fins.moveTo({m + 1, 12.6});
        fins.quadCurveTo({m - 1, 18}, {m - o - 1.5, 19.5});
        fins.quadCurveTo({m - 0.6 * o, 15}, {m - 0.75 * o, 12});
        fins.closeSubpath();
        fins.moveTo({f, 15.6});
        fins.quadCurveTo({f - 1, 19}, {f - 5.8, 19.8});
        fins.quadCurveTo({f - 4.2, 17.5}, {f - 3.2, 15.2});
        fins.closeSubpath();
        fins.moveTo({m + 1, 11.4});
        fins.quadCurveTo({m - 1, 6}, {m - o - 1.5, 4.5});
        fins.quadCurveTo({m - 0.6 * o, 9}, {m - 0.75 * o, 12});
        fins.closeSubpath();
        fins.moveTo({f, 8.4});
        fins.quadCurveTo({f - 1, 5}, {f - 5.8, 4.2});
        fins.quadCurveTo({f - 4.2, 6.5}, {f - 3.2, 8.8});
        fins.closeSubpath();
    }
    cg::Path whole = fins;
    whole.addPath(body);

    if (shadow) {
        c.setShadow({0, 0}, 2.5, cg::Color::rgb(0x00131f, 0.4));
        {
            cg::TransparencyLayer layer(c);
            fill(c, whole, 0x00131f, 0.34);
        }
        return;
    }

    cg::TransparencyLayer layer(c);
    fill(c, fins, 0x46545e, 1);
    fill(c, body, 0x8e9da5, 1);

    {
        cg::SavedState saved(c);
        c.clip(body);
        cg::Path spine;
        for (int k = 0; k < 42; ++k) {
            const cg::Point q{dolphinX(0.05 + 0.02 * k, l), 12};
            if (k == 0)
                spine.moveTo(q);
            else
                spine.lineTo(q);
        }
        c.setLineCap(cg::LineCap::round);
        const double widths[3] = {6.4, 4.4, 2.4};
        const double alphas[3] = {0.35, 0.55, 0.8};
        for (int i = 0; i < 3; ++i) {
            c.setStrokeColor(cg::Color::rgb(0x46545e, alphas[i]));
            c.setLineWidth(widths[i]);
            c.stroke(spine);
        }
        cg::Path sheen;
        for (int k = 0; k < 24; ++k) {
            const double u = 0.08 + 0.02 * k;
            const cg::Point q{dolphinX(u, l), 12 + 0.55 * dolphinHalf(u)};
            if (k == 0)
                sheen.moveTo(q);
            else
                sheen.lineTo(q);
        }
        strokeRound(c, sheen, 0xffffff, 0.25, 0.9);
    }

    cg::Path crease;
    crease.moveTo({50.92, 13.2});
    crease.quadCurveTo({52.24, 12}, {50.92, 10.8});
    strokeRound(c, crease, 0x2a3238, 0.6, 0.4);

    cg::Path dorsal;
    dorsal.moveTo({36.4, 12.5});
    dorsal.quadCurveTo({32, 12.7}, {27.6, 12});
    dorsal.quadCurveTo({32, 11.6}, {36.4, 11.5});
    dorsal.closeSubpath();
    fill(c, dorsal, 0x2e383f, 1);

    c.setFillColor(cg::Color::rgb(0x1a2024));
    c.fillEllipse(cg::Rect(47.83, 11.65, 0.9, 0.7));
    c.setFillColor(cg::Color::rgb(0x101417));
    c.fillEllipse(cg::Rect(49.2, 13.5, 0.8, 0.8));
    c.fillEllipse(cg::Rect(49.2, 9.7, 0.8, 0.8));

    c.setStrokeColor(cg::Color::black(0.2));
    c.setLineWidth(0.35);
    c.stroke(body);

    if (s.night) {
        // Darken only what is drawn, then put a pale glow behind the dolphin.
        c.setBlendMode(cg::BlendMode::sourceAtop);
        c.setFillColor(cg::Color::rgb(0x04152a, 0.55));
        c.fill(cg::Rect(-3, -3, 64, 30));
        c.setBlendMode(cg::BlendMode::destinationOver);
        c.setShadow({0, 0}, 6, cg::Color::rgb(0x7fffe0));
        fill(c, whole, 0x9fffea, 0.85);
        c.setBlendMode(cg::BlendMode::normal);
    }
}
