// The parametric fish painter: swim poses along a travelling wave and their soft shadows.

#include <cmath>

#include "Art/Art.h"
#include "Art/FishBody.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

cg::Point add(cg::Point a, cg::Point b) { return {a.x + b.x, a.y + b.y}; }
cg::Point sub(cg::Point a, cg::Point b) { return {a.x - b.x, a.y - b.y}; }
cg::Point mul(double k, cg::Point v) { return {k * v.x, k * v.y}; }
cg::Point perp(cg::Point v) { return {-v.y, v.x}; }

cg::Rect disc(cg::Point c, double r) { return cg::Rect(c.x - r, c.y - r, 2 * r, 2 * r); }

// The paths of one pose.
struct Outline {
    cg::Path body;
    cg::Path tail;
    cg::Path fins;
    cg::Path dark;  // shark fin tips and tail streak
};

// A fin sweeping out from the body at angle theta from the tailward direction, at the tangent of u.
cg::Point finDirection(const Art::FishBody& b, double theta, double J, double u) {
    const cg::Point n = b.normal(u), t = b.tangent(u);
    const double s = std::sin(theta), c = std::cos(theta);
    return {s * J * n.x - c * t.x, s * J * n.y - c * t.y};
}

// Root O, direction D, length lambda, bulge b, return factor m: out to the tip and back.
void lobe(cg::Path& path, cg::Point O, cg::Point D, double lambda, double b, double m) {
    const cg::Point Dp = perp(D);
    path.moveTo(O);
    path.quadCurveTo({O.x + 0.45 * lambda * D.x + b * Dp.x, O.y + 0.45 * lambda * D.y + b * Dp.y},
                     {O.x + lambda * D.x, O.y + lambda * D.y});
    path.quadCurveTo({O.x + 0.45 * lambda * D.x - m * b * Dp.x, O.y + 0.45 * lambda * D.y - m * b * Dp.y}, O);
}

Outline outline(const Art::FishBody& b) {
    const Art::Fish& f = b.fish;
    const double L = f.length, w = f.width, phi = b.phase, twoPi = Art::FishBody::twoPi;
    Outline o;

    for (int k = 0; k <= 40; ++k) {
        const double u = 0.02 * k;
        const cg::Point p = b.at(u, b.half(u));
        if (k == 0) o.body.moveTo(p);
        else o.body.lineTo(p);
    }
    for (int k = 40; k >= 0; --k) {
        const double u = 0.02 * k;
        o.body.lineTo(b.at(u, -b.half(u)));
    }
    o.body.closeSubpath();

    const cg::Point R = b.spine(0.79);
    const cg::Point v = sub(b.spine(1), R);
    const double l = std::max(std::hypot(v.x, v.y), 0.0001);
    const cg::Point e{v.x / l, v.y / l};
    const cg::Point q = perp(e);

    if (f.koi) {
        const double c = 0.95 * w;
        auto pt = [&](double along, double across) {
            return cg::Point{R.x + along * l * e.x + across * c * q.x, R.y + along * l * e.y + across * c * q.y};
        };
        o.tail.moveTo(b.at(0.76, -b.half(0.76)));
        o.tail.quadCurveTo(pt(0.4, 1.1), pt(1.08, 1));
        o.tail.quadCurveTo(pt(1.02, 0.3), pt(0.72, 0));
        o.tail.quadCurveTo(pt(1.02, -0.3), pt(1.08, -1));
        o.tail.quadCurveTo(pt(0.4, -1.1), b.at(0.76, b.half(0.76)));
        o.tail.closeSubpath();
    } else {
        const double s = f.shark ? 0.28 * w : 0.42 * w;
        const double g = f.shark ? 0.7 : 1;
        o.tail.moveTo(b.at(0.77, b.half(0.77)));
        o.tail.lineTo({R.x + l * e.x + s * q.x, R.y + l * e.y + s * q.y});
        o.tail.lineTo({R.x + 0.62 * l * e.x, R.y + 0.62 * l * e.y});
        o.tail.lineTo({R.x + g * l * e.x - g * s * q.x, R.y + g * l * e.y - g * s * q.y});
        o.tail.lineTo(b.at(0.77, -b.half(0.77)));
        o.tail.closeSubpath();
    }

    for (double J : {1.0, -1.0}) {
        if (f.shark) {
            const cg::Point B = b.at(0.24, 0.9 * J * b.half(0.24));
            const cg::Point D = finDirection(b, 1.12, J, 0.27), Dp = perp(D);
            const cg::Point tip = add(B, mul(0.25 * L, D));
            o.fins.moveTo(B);
            o.fins.quadCurveTo(sub(add(B, mul(0.12 * L, D)), mul(0.035 * L * J, Dp)), tip);
            o.fins.quadCurveTo(add(add(B, mul(0.13 * L, D)), mul(0.035 * L * J, Dp)),
                               b.at(0.36, 0.85 * J * b.half(0.36)));
            o.fins.closeSubpath();
            o.dark.moveTo(add(B, mul(0.19 * L, D)));
            o.dark.lineTo(tip);
            o.dark.lineTo(add(add(B, mul(0.18 * L, D)), mul(0.03 * L * J, Dp)));
            o.dark.closeSubpath();
            lobe(o.fins, b.at(0.6, 0.85 * J * b.half(0.6)), finDirection(b, 0.8, J, 0.6), 0.08 * L, 0.03 * L, 0.35);
        } else if (f.koi) {
            const double t1 = 0.95 + 0.3 * std::sin(twoPi * (phi + 0.25 * J));
            const double t2 = 0.75 + 0.15 * std::sin(twoPi * (phi + 0.25 * J + 0.3));
            lobe(o.fins, b.at(0.21, 0.8 * J * b.half(0.21)), finDirection(b, t1, J, 0.22), 0.17 * L,
                 0.085 * L * J, 0.8);
            lobe(o.fins, b.at(0.5, 0.75 * J * b.half(0.5)), finDirection(b, t2, J, 0.5), 0.08 * L,
                 0.035 * L * J, 0.7);
        } else {
            const double to = 0.7 + 0.3 * std::sin(twoPi * (phi + 0.25 * J));
            lobe(o.fins, b.at(0.2, 0.85 * J * b.half(0.2)), finDirection(b, to, J, 0.22), 0.15 * L, 0.075 * L,
                 0.35);
        }
    }
    if (f.shark) lobe(o.dark, {R.x + 0.75 * l * e.x, R.y + 0.75 * l * e.y}, e, 0.3 * l, 0.12 * w, 0.35);
    return o;
}

// The polyline through S(u) or P(u, k·half(u)) for u = from + 0.02·j, j = 0 … count − 1.
cg::Path polyline(const Art::FishBody& b, double from, int count, double k) {
    cg::Path path;
    for (int j = 0; j < count; ++j) {
        const double u = from + 0.02 * j;
        const cg::Point p = k == 0 ? b.spine(u) : b.at(u, k * b.half(u));
        if (j == 0) path.moveTo(p);
        else path.lineTo(p);
    }
    return path;
}

}  // namespace

cg::Size Art::fishCanvas(const Fish& f) {
    const double k = f.shark ? 3.4 : 2.2;
    return {1.06 * f.length + 10, 2 * (f.width * k + f.length * f.amp + 5)};
}

Art::FishFrames Art::fishFrames(const Fish& fish, int64_t n) {
    const cg::Size canvas = fishCanvas(fish);
    const double W = canvas.width, H = canvas.height;
    FishFrames out;
    out.size = W;
    // Poses 0 … n − 1, then their shadows, all drawn at once.
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
    std::vector<cg::ImageRef> drawn = offscreenEach(2 * count, [&](Art& worker, std::size_t i) {
        const bool shadow = i >= count;
        const double phase = static_cast<double>(i % count) / static_cast<double>(n);
        return worker.offscreen(W, H, [&] { worker.fishPose(fish, phase, W, H, shadow); });
    });
    for (std::size_t i = 0; i < drawn.size(); ++i)
        if (drawn[i]) (i >= count ? out.shade : out.frames).push_back(std::move(drawn[i]));
    return out;
}

void Art::fishPose(const Fish& f, double phase, double W, double H, bool shadow) {
    const FishBody b{f, W, H, phase};
    const Outline o = outline(b);
    const double w = f.width, L = f.length;
    cg::Context& c = *ctx;

    if (shadow) {
        c.setShadow({0, 0}, std::max(0.55 * w, 1.5), cg::Color::rgb(0x00131F, s.night ? 0.25 : 0.45));
        {
            cg::TransparencyLayer layer(c);
            cg::Path all;
            all.addPath(o.fins);
            all.addPath(o.tail);
            all.addPath(o.body);
            c.setFillColor(cg::Color::rgb(0x00131F, s.night ? 0.2 : 0.38));
            c.fill(all, cg::FillRule::winding);
        }
        return;
    }

    cg::TransparencyLayer layer(c);
    c.setFillColor(f.shark ? cg::Color::rgb(f.back, 0.95) : cg::Color::rgb(f.fin, 0.55));
    c.fill(o.fins);
    c.setFillColor(f.shark ? cg::Color::rgb(f.back, 0.95) : cg::Color::rgb(f.fin, 0.7));
    c.fill(o.tail);
    c.setFillColor(cg::Color::rgb(0x15191C, 0.85));
    c.fill(o.dark);
    c.setFillColor(cg::Color::rgb(f.flank));
    c.fill(o.body);

    {
        cg::SavedState saved(c);
        c.clip(o.body);
        const cg::Path spine = polyline(b, 0, 41, 0);
        c.setLineCap(cg::LineCap::round);
        for (const auto& [alpha, width] : {std::pair{0.3, 1.5}, std::pair{0.45, 1.05}, std::pair{0.7, 0.6}}) {
            c.setStrokeColor(cg::Color::rgb(f.back, alpha));
            c.setLineWidth(width * w);
            c.stroke(spine);
        }

        RNG marking(fishMarkSeed(f.length));
        fishMarks(f, b, marking);

        if (f.shark) {
            cg::Path ridge;
            for (int k = 0; k <= 6; ++k) {
                const double u = 0.33 + 0.02 * k;
                const cg::Point p = b.at(u, 0.16 * b.half(u));
                if (k == 0) ridge.moveTo(p);
                else ridge.lineTo(p);
            }
            for (int k = 0; k <= 6; ++k) {
                const double u = 0.47 - 0.02 * k;
                ridge.lineTo(b.at(u, -0.16 * b.half(u)));
            }
            ridge.closeSubpath();
            c.setFillColor(cg::Color::rgb(0x4C5A61));
            c.fill(ridge);
            c.setFillColor(cg::Color::rgb(0x15191C, 0.85));
            c.fillEllipse(disc(b.spine(0.465), 0.13 * w));
        } else {
            c.setStrokeColor(cg::Color::black(0.3));
            c.setLineWidth(0.16 * w);
            c.stroke(polyline(b, 0.18, 23, 0));
        }
        c.setStrokeColor(cg::Color::white(0.22));
        c.setLineWidth(0.22 * w);
        c.stroke(polyline(b, 0.06, 27, 0.58));
    }

    c.setStrokeColor(cg::Color::black(0.22));
    c.setLineWidth(0.35);
    c.stroke(o.body);

    // Eyes: a shark's sit further back and are smaller; a koi's sit closer to the spine.
    const double ue = f.shark ? 0.1 : (f.koi ? 0.085 : 0.075);
    const double r = f.shark ? 0.08 * w : (f.koi ? 0.11 * w : 0.15 * w);
    const double a = f.koi ? 0.72 : 0.8;
    for (double J : {1.0, -1.0}) {
        if (f.koi) {
            shape(f.back, 0.7, 0.45, [&](cg::Path& path) {
                const cg::Point t = b.tangent(0.06);
                path.moveTo(b.at(0.02, 0.45 * J * b.half(0.02)));
                path.quadCurveTo(b.at(0, 1.1 * J * b.half(0)), sub(b.at(0.06, 1.25 * J * b.half(0.06)), mul(0.02 * L, t)));
            });
        }
        const cg::Point M = b.at(ue, J * a * b.half(ue));
        c.setFillColor(cg::Color::rgb(0x0B0B0D));
        c.fillEllipse(disc(M, r));
        c.setFillColor(cg::Color::white(0.7));
        c.fillEllipse(disc({M.x + 0.3 * r, M.y + 0.3 * r}, 0.35 * r));
    }

    if (s.night) {
        // Inside the layer only the fish's own pixels darken.
        c.setBlendMode(cg::BlendMode::sourceAtop);
        c.setFillColor(cg::Color::rgb(0x04152A, 0.5));
        c.fill(cg::Rect(0, 0, W, H));
        c.setBlendMode(cg::BlendMode::normal);
    }
}
