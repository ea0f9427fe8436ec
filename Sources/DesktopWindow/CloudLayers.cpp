#include "DesktopWindow/CloudLayers.h"

#include "DesktopWindow/Keyframes.h"
#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Graphics/Context.h"

#include <cmath>
#include <map>
#include <mutex>
#include <numbers>

namespace layers {
namespace {

std::mutex basinsLock;
std::map<uint32_t, Basin>& basins() {
    static std::map<uint32_t, Basin> cache;
    return cache;
}

// A drift is sampled every 40 points; a sprite with an absurd travel or size must not make the
// crossing unbounded.
constexpr int kMostSamples = 100000;

}  // namespace

double easedOut(double x) {
    double lo = 0, hi = 1;
    for (int i = 0; i < 24; ++i) {
        const double mid = (lo + hi) / 2;
        if (3 * 0.58 * mid * mid * (1 - mid) + mid * mid * mid < x) lo = mid;
        else hi = mid;
    }
    return 3 * lo * lo * (1 - lo) + lo * lo * lo;
}

CloudDrift cloudDrift(const Sprite& s) {
    const double p = s.phase;
    const double amplitude = 24 + 30 * p, wavelength = 700 + 500 * p;
    const double last = s.travel + s.size / 2 + 39;
    CloudDrift drift;
    for (int j = 0; j < kMostSamples; ++j) {
        const double x = -s.size / 2 + 40.0 * j;
        if (!(x <= last)) break;
        drift.points.push_back({x, s.at.y + amplitude * std::sin(2 * std::numbers::pi * (p + x / wavelength))});
    }
    double t = 0;
    for (size_t j = 0; j < drift.points.size(); ++j) {
        if (j > 0) {
            const cg::Point a = drift.points[j - 1], b = drift.points[j];
            // Base speed 8 to 12 points per second with gusts of ±25 % on a 47 s cycle.
            const double v = (8 + 4 * p) * (1 + 0.25 * std::sin(6 * p + 2 * std::numbers::pi * t / 47));
            t += std::hypot(b.x - a.x, b.y - a.y) / v;
        }
        drift.seconds.push_back(t);
    }
    return drift;
}

std::shared_ptr<ca::Layer> cloud(const Sprite& s) {
    auto layer = SpriteLayers::imageLayer(s, nullptr, std::make_shared<ca::Layer>());
    const double p = s.phase;
    const CloudDrift drift = cloudDrift(s);
    const double total = drift.seconds.empty() ? 0 : drift.seconds.back();
    if (total > 0 && std::isfinite(total)) {
        std::vector<ca::Value> points;
        std::vector<double> times;
        for (size_t j = 0; j < drift.points.size(); ++j) {
            points.emplace_back(drift.points[j]);
            times.push_back(drift.seconds[j] / total);
        }
        layer->add(SpriteLayers::looped(s, keyframes("position", points, times, 0), total), "drift");
    }
    // A crossing of a single sample (or none) has no length to drift along; the shape loops still run.
    const auto cubic = ca::CalculationMode::cubic;
    layer->add(SpriteLayers::looped(s, keyframes("transform.scale.x", {1, 1.1, 0.94, 1}, {}, 0, cubic), 37 + 9 * p),
               "billow");
    layer->add(SpriteLayers::looped(s, keyframes("transform.scale.y", {1, 0.92, 1.08, 1}, {}, 0, cubic), 29 + 7 * p),
               "heave");
    layer->add(SpriteLayers::looped(s, keyframes("opacity", {1, 0.7, 1, 0.85, 1}, {}, 0, cubic), 23 + 5 * p),
               "thin");
    return layer;
}

Basin basin(uint32_t color) {
    std::lock_guard<std::mutex> hold(basinsLock);
    auto& cache = basins();
    if (auto it = cache.find(color); it != cache.end()) return it->second;
    Basin b;
    for (int f = 0; f < 20; ++f) {
        auto ctx = cg::Context::makeBitmap(96, 96, 3);
        if (!ctx) continue;
        ctx->setLineWidth(0.9);
        for (int k = 0; k < 3; ++k) {
            const double g = (f / 20.0 + k) / 3;
            const double r = 3 + 11.8 * easedOut(g);
            // Fades in over the first 15 % of a ring's life and out over the rest.
            const double alpha = g < 0.15 ? 0.54 * g / 0.15 : 0.54 * (1 - g) / 0.85;
            ctx->setStrokeColor(cg::Color::rgb(color, alpha));
            ctx->strokeEllipse({16 - r, 16 - r, 2 * r, 2 * r});
        }
        if (cg::ImageRef image = ctx->makeImage()) b.rings.push_back(std::move(image));
    }
    if (auto ctx = cg::Context::makeBitmap(48, 48)) {
        const cg::Gradient g({cg::Color::rgb(color, 0.95), cg::Color::rgb(color, 0.5), cg::Color::rgb(color, 0)},
                             {0, 0.35, 1});
        if (!g.isEmpty()) {
            ctx->drawRadialGradient(g, {24, 24}, 0, {24, 24}, 24);
            b.spray = ctx->makeImage();
        }
    }
    return cache.emplace(color, std::move(b)).first->second;
}

std::shared_ptr<ca::Layer> fountain(const Sprite& s) {
    const Basin pictures = basin(s.color);
    auto root = std::make_shared<ca::Layer>();
    auto rings = std::make_shared<ca::Layer>();
    rings->setBounds({0, 0, 2 * s.size, 2 * s.size});
    rings->setPosition(s.at);
    rings->setContents(pictures.rings.empty() ? nullptr : pictures.rings.front());
    root->addSublayer(rings);
    auto spray = std::make_shared<ca::Layer>();
    spray->setBounds({0, 0, 0.9 * s.size, 0.9 * s.size});
    spray->setPosition({s.at.x + 0.8, s.at.y - 0.6});
    spray->setContents(pictures.spray);
    root->addSublayer(spray);

    std::vector<ca::Value> frames(pictures.rings.begin(), pictures.rings.end());
    rings->add(SpriteLayers::looped(s, keyframes("contents", frames, {}, 0, ca::CalculationMode::discrete), 1),
               "rings");
    spray->add(SpriteLayers::looped(s,
                                    keyframes("transform.scale", {1, 1.2, 0.92, 1.12, 0.96, 1}, {}, 0,
                                              ca::CalculationMode::cubic),
                                    2.6),
               "billow");
    return root;
}

}  // namespace layers
