#include "DesktopWindow/TripLayer.h"

#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/Random.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using LayerRef = std::shared_ptr<ca::Layer>;

ca::KeyframeAnimation keyframes(const char* keyPath, std::vector<ca::Value> values, std::vector<double> keyTimes,
                                double duration) {
    ca::KeyframeAnimation k(keyPath);
    k.values = std::move(values);
    k.keyTimes = std::move(keyTimes);
    k.duration = duration;
    return k;
}

// A discrete cycle over pictures, one beat each, shifted by `stroke` beats from the motion's phase.
ca::KeyframeAnimation cycle(const Sprite& s, const std::vector<cg::ImageRef>& pictures, double beat, double period) {
    ca::KeyframeAnimation k("contents");
    k.values.assign(pictures.begin(), pictures.end());
    k.calculationMode = ca::CalculationMode::discrete;
    SpriteLayers::looping(s, k, beat);
    k.timeOffset = period * s.phase + beat * s.stroke;
    return k;
}

}  // namespace

double TripLayer::hopHeight(const Sprite& s, double d) {
    if (!(s.hop > 0)) return 0;
    const double stride = std::max(6 * s.hop, 1.0);
    const double n = std::floor(d / stride);
    const double u = d / stride - n;
    return s.hop * (0.55 + 0.45 * std::fabs(std::sin(7 * s.phase + 2.3 * n))) * std::fabs(std::sin(std::numbers::pi * u));
}

std::shared_ptr<ca::Layer> TripLayer::trip(const Sprite& s) {
    const SpriteLayers::Course c = SpriteLayers::course(s);
    const double Tc = c.duration, B = c.beat;
    const double L1 = std::max(c.along.empty() ? 1.0 : c.along.back(), 1.0);
    const size_t m = std::min(c.points.size(), c.along.size());
    std::vector<double> K(c.times.begin(), c.times.begin() + static_cast<std::ptrdiff_t>(std::min(m, c.times.size())));

    // Fades, on open paths only: the mover then hides between trips at its model opacity 0.
    std::optional<ca::KeyframeAnimation> fade;
    if (!s.closed) {
        if (s.grow > 1) {
            fade = keyframes("opacity", {0, 1, 0}, {0, 0.12, 1}, Tc);
        } else {
            const double f = std::min(16 / L1, 0.3);
            fade = keyframes("opacity", {0, 1, 1, 0}, {0, f, 1 - f, 1}, Tc);
        }
    }
    double period = Tc;
    if (!s.closed) {
        // A whole number of beats covering the trip and its rest (a rest below nothing counts as none,
        // so the trip is never cut short).
        const double rest = s.rest > 0 ? s.rest : 0;
        const double beats = std::ceil(Tc * (1 + rest) / B);
        period = B * (beats > 1 ? beats : 1);
    }

    std::optional<ca::KeyframeAnimation> turning;
    if (s.face || s.spin != 0) {
        std::vector<ca::Value> angles;
        for (size_t i = 0; i < m; ++i) angles.emplace_back((s.face ? c.headings[i] : 0.0) + s.spin * c.along[i] / L1);
        turning = keyframes("transform.rotation.z", std::move(angles), K, Tc);
    }
    std::optional<ca::BasicAnimation> growing;
    if (s.grow != 1) {
        growing.emplace("transform.scale");
        growing->fromValue = 1;
        growing->toValue = s.grow;
        growing->duration = Tc;
        growing->timingFunction = ca::TimingFunction::named(ca::TimingFunction::Name::easeOut);
    }

    auto container = std::make_shared<ca::Layer>();
    auto finish = [&](ca::Layer& layer, ca::AnimationGroup& group, bool turns) {
        if (turns && turning) group.add(*turning);
        if (turns && growing) group.add(*growing);
        if (fade) {
            group.add(*fade);
            layer.setOpacity(0);
        }
        layer.add(SpriteLayers::looped(s, group, period), "motion");
    };
    auto track = [&](double dx, double dy, bool hops) {
        std::vector<ca::Value> at;
        for (size_t i = 0; i < m; ++i)
            at.emplace_back(cg::Point{c.points[i].x + dx, c.points[i].y + dy + (hops ? hopHeight(s, c.along[i]) : 0)});
        return keyframes("position", std::move(at), K, Tc);
    };

    if (!s.shade.empty()) {
        auto shade = std::make_shared<ca::Layer>();
        SpriteLayers::imageLayer(s, s.shade.front(), *shade);
        ca::AnimationGroup group;
        group.add(track(0.07 * s.size + 3, -(0.09 * s.size + 4), false));
        finish(*shade, group, true);
        if (s.shade.size() > 1) shade->add(cycle(s, s.shade, B, period), "stroke");
        container->addSublayer(shade);
    }

    if (s.hop > 0) {
        auto ground = std::make_shared<ca::Layer>();
        ground->setBounds(cg::Rect(0, 0, 0.8 * s.size, 0.26 * s.size));
        ground->setCornerRadius(0.13 * s.size);
        ground->setBackgroundColor(cg::Color::black(0.2));
        ground->setPosition({s.at.x, s.at.y - 0.45 * s.size});
        ca::AnimationGroup group;
        group.add(track(1, -0.45 * s.size, false));
        std::vector<ca::Value> squash;
        for (size_t i = 0; i < m; ++i) squash.emplace_back(1 - 0.4 * hopHeight(s, c.along[i]) / s.hop);
        group.add(keyframes("transform.scale", std::move(squash), K, Tc));
        finish(*ground, group, false);
        container->addSublayer(ground);
    }

    auto body = std::make_shared<ca::Layer>();
    SpriteLayers::imageLayer(s, nullptr, *body);
    ca::AnimationGroup group;
    group.add(track(0, 0, true));
    finish(*body, group, true);
    if (s.frames.size() > 1) body->add(cycle(s, s.frames, B, period), "stroke");
    if (s.blow > 0) body->addSublayer(spout(s, body->bounds()));
    if (s.rain > 0) body->addSublayer(drizzle(s, body->bounds()));
    container->addSublayer(body);
    return container;
}

std::vector<double> TripLayer::spoutTimes(double blow, double a) {
    // The puff lasts 3.2 s; a shorter period plays it whole, faster, so it still fades out before
    // the loop starts again.
    const double v = std::min(3.2 / blow, 1.0);
    return {0, a * v, v, 1};
}

std::shared_ptr<ca::Layer> TripLayer::spout(const Sprite& s, const cg::Rect& rect) {
    auto puff = std::make_shared<ca::GradientLayer>();
    puff->setType(ca::GradientLayer::Type::radial);
    puff->setColors({cg::Color::rgb(0xFFFFFF, 0.9), cg::Color::rgb(0xF4FAFF, 0.45), cg::Color::rgb(0xF4FAFF, 0)});
    puff->setLocations({0, 0.4, 1});
    puff->setStartPoint({0.5, 0.5});
    puff->setEndPoint({1, 1});
    const double o = std::max((rect.width() - 8) / 1.1, 0.0);  // a body under 8 points has no room for a puff
    puff->setBounds(cg::Rect(0, 0, 0.6 * o, 0.6 * o));
    const cg::Point start{rect.midX() + 0.38 * o, rect.midY()};
    const cg::Point back{start.x - 0.3 * o, start.y};
    puff->setPosition(start);
    puff->setOpacity(0);

    const double blow = s.blow;
    ca::AnimationGroup group;
    group.add(keyframes("opacity", {0, 0.85, 0, 0}, spoutTimes(blow, 0.12), blow));
    group.add(keyframes("transform.scale", {0.2, 1, 1.5, 1.5}, spoutTimes(blow, 0.3), blow));
    group.add(keyframes("position", {start, start, back, back}, spoutTimes(blow, 0.12), blow));
    puff->add(SpriteLayers::looped(s, group, blow), "motion");
    return puff;
}

int64_t TripLayer::dropCount(double rain) {
    const int64_t n = SpriteLayers::toInt64(rain * rain / 60);
    return std::clamp<int64_t>(n, 0, kMaxDrops);
}

std::shared_ptr<ca::Layer> TripLayer::drizzle(const Sprite& s, const cg::Rect& rect) {
    auto container = std::make_shared<ca::Layer>();
    container->setFrame(rect);
    RNG rng(SpriteLayers::seed(s.phase, 13));
    const int64_t n = dropCount(s.rain);
    const cg::Point centre{rect.width() * s.anchor.x, rect.height() * s.anchor.y};
    const auto& rings = splashes();
    std::vector<ca::Value> frames;
    for (int rep = 0; rep < 4; ++rep) frames.insert(frames.end(), rings.begin(), rings.end());

    for (int64_t d = 0; d < n; ++d) {
        std::vector<ca::Value> spots;
        for (int k = 0; k < 4; ++k) {
            const double ua = rng.next();
            const double ur = rng.next();
            const double a = 2 * std::numbers::pi * ua;
            const double r = s.rain * std::pow(ur, 0.75);
            spots.emplace_back(cg::Point{centre.x + std::cos(a) * r, centre.y + 0.75 * std::sin(a) * r});
        }
        const double w = rng.next();

        auto drop = std::make_shared<ca::Layer>();
        drop->setBounds(cg::Rect(0, 0, 6.7, 6.7));
        auto hops = keyframes("position", std::move(spots), {0, 0.25, 0.5, 0.75, 1}, 4.8);
        hops.calculationMode = ca::CalculationMode::discrete;
        auto rings72 = keyframes("contents", frames, {}, 4.8);
        rings72.calculationMode = ca::CalculationMode::discrete;
        ca::AnimationGroup group;
        group.add(hops);
        group.add(rings72);
        SpriteLayers::looping(s, group, 4.8);
        group.timeOffset = 4.8 * w;
        drop->add(group, "motion");
        container->addSublayer(drop);
    }
    return container;
}

const std::vector<cg::ImageRef>& TripLayer::splashes() {
    static const std::vector<cg::ImageRef> frames = [] {
        std::vector<cg::ImageRef> out;
        for (int i = 0; i < 18; ++i) {
            // Ease-out progress: solve x(t) = i/18 on the curve with controls (0, 0) and (0.58, 1).
            const double target = i / 18.0;
            double lo = 0, hi = 1;
            for (int step = 0; step < 24; ++step) {
                const double t = 0.5 * (lo + hi);
                const double x = 3 * 0.58 * t * t * (1 - t) + t * t * t;
                if (x < target) lo = t;
                else hi = t;
            }
            const double y = 3 * lo * lo * (1 - lo) + lo * lo * lo;
            auto ctx = cg::Context::makeBitmap(27, 27, 4);
            if (!ctx) continue;
            const double r = 0.2 + 0.8 * y;
            ctx->setStrokeColor(cg::Color::white(0.6 * (1 - y)));
            ctx->setLineWidth(0.7 * r);
            ctx->strokeEllipse(cg::Rect(3.35 - 3 * r, 3.35 - 3 * r, 6 * r, 6 * r));
            if (auto image = ctx->makeImage()) out.push_back(std::move(image));
        }
        return out;
    }();
    return frames;
}
