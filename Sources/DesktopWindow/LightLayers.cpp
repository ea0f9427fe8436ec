#include "DesktopWindow/LightLayers.h"

#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Renderer/Random.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

ca::KeyframeAnimation keyframes(const char* keyPath, std::vector<double> values, std::vector<double> keyTimes,
                                ca::CalculationMode mode) {
    ca::KeyframeAnimation k(keyPath);
    k.values.assign(values.begin(), values.end());
    k.keyTimes = std::move(keyTimes);
    k.calculationMode = mode;
    return k;
}

}  // namespace

LightLayers::Flicker LightLayers::flicker(const Sprite& s) {
    Flicker f;
    RNG rng(SpriteLayers::seed(s.phase, 7));
    double weights[11];
    for (double& w : weights) {
        const double u = rng.next();
        w = u + 0.4;
    }
    double total = 0;
    for (double w : weights) total += w;
    f.keyTimes.push_back(0);
    double running = 0;
    for (double w : weights) {
        running += w;
        f.keyTimes.push_back(running / total);
    }
    f.depth = s.pulse > 0 ? s.pulse : 0.12;
    for (int k = 0; k < 11; ++k) {
        const double u = rng.next();
        f.brightness.push_back(1 - f.depth * u);
    }
    f.brightness.push_back(f.brightness.front());
    f.period = 2 * s.phase + 1.6 + 3 * (1 - f.depth);
    if (f.depth >= 0.3) {
        for (int k = 0; k < 11; ++k) {
            const double u = rng.next();
            f.scales.push_back(0.85 + 0.35 * u);
        }
        f.scales.push_back(f.scales.front());
        for (int j = 0; j < 12; ++j) f.leapTimes.push_back(1 - f.keyTimes[11 - j]);
        f.leapPeriod = s.phase + 1.1;
    }
    return f;
}

std::shared_ptr<ca::Layer> LightLayers::light(const Sprite& s) {
    auto layer = std::make_shared<ca::Layer>();
    if (s.image) {
        SpriteLayers::imageLayer(s, nullptr, *layer);
    } else {
        const double side = 2.2 * s.size * 22;
        layer->setBounds(cg::Rect(0, 0, side, side));
        layer->setPosition(s.at);
        layer->setContents(SpriteLayers::glowing(s.color, 2, 3, 11, 1, 128));
        layer->setMinificationFilter(ca::ContentsFilter::trilinear);
    }
    const Flicker f = flicker(s);
    auto bright = keyframes("opacity", f.brightness, f.keyTimes, ca::CalculationMode::cubic);
    layer->add(SpriteLayers::looped(s, bright, f.period), "flicker");
    if (!f.scales.empty()) {
        auto throb = keyframes("transform.scale", f.scales, f.leapTimes, ca::CalculationMode::cubic);
        layer->add(SpriteLayers::looped(s, throb, f.leapPeriod), "leap");
    }
    return layer;
}

std::shared_ptr<ca::Layer> LightLayers::firefly(const Sprite& s) {
    auto layer = std::make_shared<ca::Layer>();
    layer->setBounds(cg::Rect(0, 0, 22.6, 22.6));
    layer->setPosition(s.at);
    layer->setContents(SpriteLayers::glowing(s.color, 1.77, 2.31, 8.7, 1, 90));
    layer->setMinificationFilter(ca::ContentsFilter::trilinear);

    ca::KeyframeAnimation wander("position");
    for (int k = 0; k < 5; ++k) {
        const double a = 6.283 * s.phase + k * 2.4;
        const double r = s.travel * (0.6 * std::fabs(std::sin(9 * s.phase + k * 1.7)) + 0.4);
        wander.values.emplace_back(cg::Point{s.at.x + std::cos(a) * r, s.at.y + std::sin(a) * r});
    }
    wander.values.push_back(wander.values.front());
    wander.calculationMode = ca::CalculationMode::cubic;
    layer->add(SpriteLayers::looped(s, wander, 3 * s.phase + 7), "wander");

    auto blink = keyframes("opacity", {0, 1, 0.8, 0, 0}, {0, 0.2, 0.5, 0.7, 1}, ca::CalculationMode::linear);
    layer->add(SpriteLayers::looped(s, blink, s.phase + 2.6), "blink");
    return layer;
}

std::shared_ptr<ca::Layer> LightLayers::beam(const Sprite& s) {
    auto layer = std::make_shared<ca::Layer>();
    SpriteLayers::imageLayer(s, nullptr, *layer);
    ca::AnimationGroup group;
    double period;
    if (s.travel != 0) {
        period = 10 * s.phase + 16;
        const double a = s.angle, w = s.travel;
        auto sweep = keyframes("transform.rotation.z", {a - w, a - w, a + w, a + 0.2 * w, a - w}, {0, 0.12, 0.5, 0.78, 1},
                               ca::CalculationMode::cubic);
        sweep.duration = period;
        auto shine = keyframes("opacity", {0, 0, 0.9, 1, 0.85, 0, 0}, {0, 0.08, 0.15, 0.5, 0.8, 0.88, 1},
                               ca::CalculationMode::linear);
        shine.duration = period;
        layer->setOpacity(0);
        group.add(sweep);
        group.add(shine);
    } else {
        period = 8 * s.phase + 24;
        ca::BasicAnimation turn("transform.rotation.z");
        turn.fromValue = s.angle;
        turn.toValue = s.angle - 2 * std::numbers::pi;
        turn.duration = period;
        group.add(turn);
        if (!s.dim.empty()) {
            const size_t n = s.dim.size();
            std::vector<double> levels(s.dim.begin(), s.dim.end()), times;
            levels.push_back(s.dim.front());
            for (size_t i = 0; i <= n; ++i) times.push_back(static_cast<double>(i) / static_cast<double>(n));
            auto shine = keyframes("opacity", levels, times, ca::CalculationMode::cubic);
            shine.duration = period;
            group.add(shine);
        }
    }
    layer->add(SpriteLayers::looped(s, group, period), "motion");
    return layer;
}

std::shared_ptr<ca::Layer> LightLayers::windowLight(const Sprite& s) {
    auto layer = std::make_shared<ca::Layer>();
    layer->setFrame(cg::Rect(s.at.x, s.at.y, s.to.x - s.at.x, s.to.y - s.at.y));
    if (s.image) layer->setContents(s.image);
    else layer->setBackgroundColor(cg::Color::rgb(s.color));
    layer->setOpacity(0);
    const double lit01 = s.pulse > 0 ? std::min(s.pulse, 1.0) : 0.0;  // key times must stay in order
    auto lit = keyframes("opacity", {1, 0}, {0, lit01, 1}, ca::CalculationMode::discrete);
    layer->add(SpriteLayers::looped(s, lit, s.travel), "switch");
    return layer;
}
