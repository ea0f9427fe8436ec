// The small drawing operations every scene painter uses: shapes, ground shadows, tree crowns and cloud
// shadows.

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <memory>
#include <vector>

#include "Art/Art.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"
#include "Renderer/Palette.h"

namespace {

// UInt64(v), truncating; negative and NaN give 0, values past the top clamp.
uint64_t toUInt64(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

cg::Rect circle(cg::Point c, double r) { return cg::Rect(c.x - r, c.y - r, 2 * r, 2 * r); }

}  // namespace

Wash Art::wash(float x, float w) { return washAt(x, w); }

void Art::shape(uint32_t color, double alpha, double stroke, const std::function<void(cg::Path&)>& build) {
    cg::Path path;
    build(path);
    ctx->addPath(path);
    const cg::Color c = cg::Color::rgb(color, alpha);
    if (stroke > 0) {
        ctx->setStrokeColor(c);
        ctx->setLineWidth(stroke);
        ctx->setLineCap(cg::LineCap::round);
        ctx->setLineJoin(cg::LineJoin::round);
        ctx->strokePath();
    } else {
        ctx->setFillColor(c);
        ctx->fillPath(cg::FillRule::winding);
    }
}

void Art::marks(uint32_t color, double alpha, double stroke, std::span<const cg::Point> pairs) {
    ctx->setStrokeColor(cg::Color::rgb(color, alpha));
    ctx->setLineWidth(stroke);
    ctx->setLineCap(cg::LineCap::round);
    ctx->setLineJoin(cg::LineJoin::round);
    ctx->strokeMarks(pairs);
}

void Art::quadPieces(std::vector<cg::Point>& pairs, cg::Point a, cg::Point c, cg::Point b, int pieces) {
    auto at = [&](double t) {
        const double u = 1 - t;
        return cg::Point{u * u * a.x + 2 * u * t * c.x + t * t * b.x, u * u * a.y + 2 * u * t * c.y + t * t * b.y};
    };
    cg::Point from = a;
    for (int i = 1; i <= pieces; ++i) {
        const cg::Point to = i == pieces ? b : at(static_cast<double>(i) / pieces);
        pairs.push_back(from);
        pairs.push_back(to);
        from = to;
    }
}

void Art::groundShadow(cg::Point p, double r, double a) {
    const cg::Gradient g({cg::Color::black(std::min(1.7 * a, 1.0)), cg::Color::black(0.9 * a), cg::Color::black(0)},
                         {0, 0.45, 1});
    cg::SavedState saved(ctx);
    ctx->translateBy(p.x + 0.4 * r, p.y - 1);
    ctx->scaleBy(1, 0.3);
    ctx->drawRadialGradient(g, {0, 0}, 0, {0, 0}, 1.15 * r);
}

void Art::canopy(cg::Point p, double r, uint32_t dark, uint32_t light, double k) {
    RNG rng(toUInt64(k * 1000000) + 11);
    const cg::Gradient g({cg::Color::rgb(light), cg::Color::rgb(dark), cg::Color::rgb(dark)}, {0, 0.75, 1});

    struct Lobe {
        cg::Point c;
        double rho;
    };
    std::vector<Lobe> lobes;
    lobes.reserve(7);
    for (int i = 0; i < 6; ++i) {
        const double theta = 1.05 * i + rng.uniform(-0.4, 0.4);
        const double d = r * rng.uniform(0.25, 0.5);
        const double rho = r * rng.uniform(0.42, 0.6);
        lobes.push_back({{p.x + d * std::cos(theta), p.y + d * std::sin(theta)}, rho});
    }
    std::stable_sort(lobes.begin(), lobes.end(), [](const Lobe& a, const Lobe& b) {
        return a.c.y - 0.3 * a.c.x < b.c.y - 0.3 * b.c.x;
    });
    lobes.push_back({{p.x - 0.1 * r, p.y + 0.1 * r}, 0.55 * r});

    for (const Lobe& lobe : lobes) {
        const double x = lobe.c.x, y = lobe.c.y, rho = lobe.rho;
        cg::SavedState saved(ctx);
        ctx->addEllipse(circle(lobe.c, rho));
        ctx->clip(cg::FillRule::winding);
        ctx->drawRadialGradient(g, {x - 0.4 * rho, y + 0.45 * rho}, 0, lobe.c, 1.15 * rho, {false, true});
    }

    // Int(0.6 r + 3), guarded for radii the callers never pass.
    const double count = 0.6 * r + 3;
    const int64_t dots = count > 0 ? (count < 1e6 ? static_cast<int64_t>(count) : 1000000) : 0;
    for (int64_t i = 0; i < dots; ++i) {
        const double a = rng.uniform(1.6, 3.6);
        const double e = r * rng.uniform(0.2, 0.75);
        const cg::Point c{p.x + e * std::cos(a), p.y + e * std::sin(a)};
        shape(light, 0.55, 0, [&](cg::Path& path) {
            path.addEllipse(cg::Rect(c.x - 0.07 * r, c.y - 0.06 * r, 0.14 * r, 0.12 * r));
        });
    }
}

void Art::cloudShadows(int64_t n, double alpha, uint32_t color) {
    for (Sprite& sp : cloudShadowSprites(n, alpha, color)) sprites.push_back(std::move(sp));
}

std::vector<Sprite> Art::cloudShadowSprites(int64_t n, double alpha, uint32_t color) const {
    RNG rng(s.seed() + 77);
    const cg::Gradient puff =
        color != 0 ? cg::Gradient({cg::Color::rgb(color, alpha), cg::Color::rgb(color, 0)}, {0, 1})
                   : cg::Gradient({cg::Color::black(1), cg::Color::black(1), cg::Color::black(0)}, {0, 0.4, 1});
    // Every draw is taken here, in order, before any cloud is painted: a cloud whose bitmap cannot be
    // made takes no puff draws. The clouds are then painted at once, each into its own bitmap.
    struct Puff {
        double cx, cy, radius;
    };
    struct Cloud {
        double w = 0;
        std::unique_ptr<cg::Context> frame;
        std::array<Puff, 7> puffs{};
        double v1 = 0, v2 = 0;
    };
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
    std::vector<Cloud> clouds(count);
    for (Cloud& cloud : clouds) {
        const double w = rng.uniform(260, 420);
        const double h = w * rng.uniform(0.45, 0.6);
        cloud.w = w;
        cloud.frame = cg::Context::makeFrame(w, h, 1);
        if (cloud.frame) {
            for (Puff& puff : cloud.puffs) {
                const double cx = rng.uniform(0.3 * w, 0.7 * w);
                const double cy = rng.uniform(0.4 * h, 0.6 * h);
                const double radius = rng.uniform(0.3 * h, 0.5 * h);
                puff = {cx, cy, radius};
            }
        }
        cloud.v1 = rng.next();
        cloud.v2 = rng.next();
    }
    std::vector<cg::ImageRef> images(count);
    dispatch::concurrentPerform(count, [&](std::size_t i) {
        cg::Context* g = clouds[i].frame.get();
        if (!g) return;
        {
            // A shadow is one merged shape whose darkness is capped at 1.5 × alpha.
            std::optional<cg::TransparencyLayer> merged;
            if (color == 0) {
                g->setAlpha(1.5 * alpha);
                merged.emplace(g);
            }
            for (const Puff& p : clouds[i].puffs) g->drawRadialGradient(puff, {p.cx, p.cy}, 0, {p.cx, p.cy}, p.radius);
        }
        images[i] = g->makeImage();
        clouds[i].frame.reset();
    });
    std::vector<Sprite> out;
    out.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        const double i = static_cast<double>(k);
        Sprite sp;
        sp.kind = Sprite::Kind::cloud;
        sp.at = {0, ((0.2 + 0.6000000000000001 * clouds[k].v1) + i) * H() / static_cast<double>(n)};
        sp.size = clouds[k].w;
        sp.phase = clouds[k].v2;
        sp.travel = W();
        sp.image = std::move(images[k]);
        out.push_back(std::move(sp));
    }
    return out;
}
