// Surface art of the water scenes: whitecap and swash frames, the glint, and the drifting patches of
// caustic light.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Art/Art.h"
#include "Art/Geometry2D.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/CausticRun.h"
#include "Renderer/Palette.h"

namespace {

void fillOval(cg::Context& c, cg::Point centre, double rx, double ry, uint32_t color, double alpha) {
    c.setFillColor(cg::Color::rgb(color, alpha));
    c.fillEllipse(cg::Rect(centre.x - rx, centre.y - ry, 2 * rx, 2 * ry));
}

// The integer part of min(v, 255); negative and NaN give 0.
uint8_t channel(float v) {
    if (!(v > 0)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

constexpr int kPatch = 340;  // patch side in pixels, one per point

}  // namespace

std::vector<cg::ImageRef> Art::whitecaps(uint32_t color, double alpha) {
    std::vector<cg::ImageRef> frames;
    for (uint64_t i = 0; i < 4; ++i) {
        cg::ImageRef image = offscreen(20, 12, [&] {
            cg::Context& c = *ctx;
            RNG rng(i * 7919 + 3);
            const double f = 2.5 + 2 * rng.next();  // half-height of the crest
            const double h = 0.6 + rng.next();      // how far the crest bulges right
            for (int k = 0; k < 9; ++k) {
                const double r = k / 4.0 - 1;
                const double t = 1 - r * r;
                const double ua = rng.next();
                const double rx = (0.45 + 0.6 * t) * (0.8 + 0.4 * ua);
                const double ub = rng.next();
                const double cx = 15 + h * t + (0.6 * ub - 0.3);
                const double uc = rng.next();
                const double ry = (0.8 + 0.4 * uc) * rx;
                const double ud = rng.next();
                const double opacity = alpha * (0.5 + 0.45 * t) * (0.7 + 0.3 * ud);
                fillOval(c, {cx, 6 + f * r}, rx, ry, color, opacity);
            }
            for (int k = 0; k < 16; ++k) {
                const double a = rng.next();
                const double b = rng.next();
                const double e = rng.next();
                const double d = rng.next();
                const double rho = (0.3 + 0.5 * b) * (1 - 0.5 * a);
                const double spread = f * (1 - 0.4 * a);
                const cg::Point centre{14 - 11 * a + (e - 0.5), 6 + (2 * d - 1) * spread};
                fillOval(c, centre, rho, rho, color, alpha * (0.1 + 0.6 * (1 - a)));
            }
        });
        if (image) frames.push_back(std::move(image));
    }
    return frames;
}

std::vector<cg::ImageRef> Art::swash(uint32_t color) {
    std::vector<cg::ImageRef> frames;
    for (uint64_t i = 0; i < 4; ++i) {
        cg::ImageRef image = offscreen(18, 8, [&] {
            cg::Context& c = *ctx;
            RNG rng(i * 104729 + 11);
            const double f = 0.6 + 0.8 * rng.next();  // sag of the arc
            for (int k = 0; k < 13; ++k) {
                const double r = k / 6.0 - 1;
                const double t = 1 - r * r;
                const double ua = rng.next();
                const double ry = (0.45 + 0.4 * t) * (0.8 + 0.4 * ua);
                const double ub = rng.next();
                const double cx = 9 + 7.5 * r + (0.6 * ub - 0.3);
                const double uc = rng.next();
                const double opacity = (0.55 + 0.4 * t) * (0.7 + 0.3 * uc);
                fillOval(c, {cx, 5.2 + f * t}, 1.3 * ry, ry, color, opacity);
            }
            for (int k = 0; k < 18; ++k) {
                const double a = rng.next();
                const double b = rng.next();
                const double e = rng.next();
                const double d = rng.next();
                fillOval(c, {2 + 14 * b, 4.6 - 3.6 * a}, 0.25 + 0.35 * e, 0.25 + 0.25 * d, color,
                         0.12 + 0.45 * (1 - a));
            }
        });
        if (image) frames.push_back(std::move(image));
    }
    return frames;
}

cg::ImageRef Art::sparkle(uint32_t color) {
    return offscreen(12, 12, [&] {
        const cg::Color c = cg::Color::rgb(color);
        const cg::Gradient g({c.withAlpha(1), c.withAlpha(0.9), c.withAlpha(0.22), c.withAlpha(0)},
                             {0, 0.16, 0.36, 1});
        ctx->drawRadialGradient(g, {6, 6}, 0, {6, 6}, 6);
    });
}

std::vector<cg::Point> Art::shimmerSwell(cg::Point p) {
    const double e = (rand(p, 1) - 0.5) * 0.3;
    return {p, {p.x + 25 + 35 * e, p.y + 17.5 - 50 * e}, {p.x + 50, p.y + 35}};
}

cg::ImageRef Art::shimmerPatch(cg::Point p, float strength, ShimmerTint tint,
                               const std::function<float(float)>& depth) const {
    // A different stretch of the caustic pattern for every patch.
    const float o = static_cast<float>(rand(p, 6)) * 5000.0f;
    std::vector<uint8_t> bytes(static_cast<std::size_t>(kPatch) * kPatch * 4, 255);
    // The square is centred on the middle of the drift path.
    const float ox = static_cast<float>(p.x + 25 - 170);
    const float oy = static_cast<float>(p.y + 17.5 - 170);
    const Grid& height = *t.v;
    dispatch::concurrentPerform(kPatch, [&](std::size_t a) {
        uint8_t* row = bytes.data() + a * static_cast<std::size_t>(kPatch) * 4;
        const float y = oy + static_cast<float>(a);
        const float dy = 2.0f * static_cast<float>(a) / 340.0f - 1.0f;
        // The disc's falloff and the depth weight first; the caustic only between the first and the last
        // point where both are non-zero, as one run: elsewhere the light is 0 whatever the caustic.
        std::array<float, kPatch> falloff{}, weight{}, along{}, light{};
        int first = kPatch, last = -1;
        for (int j = 0; j < kPatch; ++j) {
            const auto i = static_cast<std::size_t>(j);
            const float dx = 2.0f * static_cast<float>(j) / 340.0f - 1.0f;
            const float k = 1.0f - dx * dx - dy * dy;
            falloff[i] = k > 0 ? k : 0.0f;
            if (!(k > 0)) continue;
            weight[i] = depth(height.sample(ox + static_cast<float>(j), y));
            if (weight[i] == 0) continue;
            first = std::min(first, j);
            last = j;
        }
        const auto span = static_cast<std::size_t>(std::max(0, last - first + 1));
        for (std::size_t i = 0; i < span; ++i) along[i] = (ox + static_cast<float>(first + static_cast<int>(i))) + o;
        Renderer::causticRun(along.data(), span, y, light.data());
        for (int j = 0; j < kPatch; ++j) {
            const auto i = static_cast<std::size_t>(j);
            const float k = falloff[i], d = weight[i];
            float D = 0;
            if (k > 0 && d != 0) D = strength * (k * k) * d * light[static_cast<std::size_t>(j - first)];
            uint8_t* px = row + 4 * j;
            px[0] = channel(tint.r * D);
            px[1] = channel(tint.g * D);
            px[2] = channel(tint.b * D);
        }
    });
    return cg::Image::make(kPatch, kPatch, bytes.data(), static_cast<std::size_t>(kPatch) * 4,
                           cg::AlphaInfo::noneSkipLast);
}

Sprite Art::shimmerSprite(cg::Point p, cg::ImageRef image) const {
    std::vector<cg::Point> path;
    for (const cg::Point& q : shimmerSwell(p)) path.push_back(flip(q));
    Sprite sp;
    sp.kind = Sprite::Kind::trip;
    sp.at = path.front();
    sp.size = 340;
    sp.phase = rand(p, 4);
    sp.travel = 2 + rand(p, 2);
    sp.to = {0, 0};
    sp.color = 0xffffff;
    sp.angle = 0;
    sp.image = std::move(image);
    sp.anchor = {0.5, 0.5};
    sp.beat = 1;
    sp.dust = 0;
    sp.path = std::move(path);
    sp.rest = 0.3 + 0.6 * rand(p, 5);
    sp.closed = false;
    sp.pulse = 0;
    sp.ease = 1;
    sp.spin = 0;
    sp.hop = 0;
    sp.grow = 1;
    sp.face = false;
    sp.stroke = 0;
    sp.blow = 0;
    sp.rain = 0;
    sp.glow = true;
    return sp;
}

void Art::shimmer(int64_t limit, uint64_t salt, float strength, ShimmerTint tint,
                  const std::function<float(float)>& depth) {
    for (Sprite& sp : shimmerSprites(limit, salt, strength, tint, depth)) sprites.push_back(std::move(sp));
}

std::vector<Sprite> Art::shimmerSprites(int64_t limit, uint64_t salt, float strength, ShimmerTint tint,
                                        const std::function<float(float)>& depth) {
    const std::vector<cg::Point> centres = shimmerCentres(limit, salt, depth);
    std::vector<Sprite> out;
    out.reserve(centres.size());
    for (const cg::Point& p : centres) {
        cg::ImageRef image = shimmerPatch(p, strength, tint, depth);
        if (!image) continue;
        out.push_back(shimmerSprite(p, std::move(image)));
    }
    return out;
}

std::vector<cg::Point> Art::shimmerCentres(int64_t limit, uint64_t salt, const std::function<float(float)>& depth) {
    const double w = W(), h = H();
    return spots(salt, 1500, 260, limit, [&](cg::Point p) {
        if (!(p.x > 90 && p.x < w - 140 && p.y > 90 && p.y < h - 125)) return false;
        if (!(depth(value(p)) > 0.6f)) return false;
        for (const cg::Point& q : rounded(shimmerSwell(p), false, 6)) {
            const cg::Rect box(q.x - 60, q.y - 60, 120, 120);
            for (const cg::Rect& r : keep)
                if (box.intersects(r)) return false;
        }
        return true;
    });
}
