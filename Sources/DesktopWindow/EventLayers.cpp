#include "DesktopWindow/EventLayers.h"

#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Renderer/Random.h"

#include <cmath>

namespace {

using AnimationRef = std::shared_ptr<const ca::Animation>;

AnimationRef keyframes(const char* keyPath, std::vector<double> values, std::vector<double> keyTimes, double begin,
                       double duration) {
    auto k = std::make_shared<ca::KeyframeAnimation>(keyPath);
    k->values.assign(values.begin(), values.end());
    k->keyTimes = std::move(keyTimes);
    k->beginTime = begin;
    k->duration = duration;
    return k;
}

AnimationRef along(const cg::Path& path, const ca::TimingFunction& timing, bool turn, double begin, double duration) {
    auto k = std::make_shared<ca::KeyframeAnimation>("position");
    k->setPath(path);
    if (turn) k->rotationMode = ca::RotationMode::autoRotate;
    k->timingFunction = timing;
    k->beginTime = begin;
    k->duration = duration;
    return k;
}

// A round dot of `colour` with a glow of its own colour round it.
std::shared_ptr<ca::Layer> dot(double side, cg::Point at, cg::Color colour, double glow, double spread) {
    auto l = std::make_shared<ca::Layer>();
    l->setBounds(cg::Rect(0, 0, side, side));
    l->setCornerRadius(side / 2);
    l->setPosition(at);
    l->setBackgroundColor(colour);
    if (glow > 0) {
        l->setShadowColor(colour.withAlpha(1));
        l->setShadowOpacity(1);
        l->setShadowRadius(glow);
        l->setShadowOffset({0, 0});
        cg::Path halo;
        halo.addEllipse(cg::Rect(-spread, -spread, side + 2 * spread, side + 2 * spread));
        l->setShadowPath(halo);
    }
    return l;
}

// The picture form: the sprite's picture flashing on the given opacity animations.
std::shared_ptr<ca::Layer> flashing(const Sprite& s, const std::vector<AnimationRef>& flashes) {
    auto layer = std::make_shared<ca::Layer>();
    SpriteLayers::imageLayer(s, nullptr, *layer);
    layer->setOpacity(0);
    ca::AnimationGroup group;
    group.animations = flashes;
    layer->add(SpriteLayers::looped(s, group, s.travel), "event");
    return layer;
}

}  // namespace

void EventLayers::every(const Sprite& s, const std::shared_ptr<ca::Layer>& layer,
                        const std::vector<AnimationRef>& animations, ca::Layer& container) {
    layer->setOpacity(0);
    ca::AnimationGroup group;
    group.animations = animations;
    layer->add(SpriteLayers::looped(s, group, s.travel), "event");
    container.addSublayer(layer);
}

std::shared_ptr<ca::Layer> EventLayers::burst(const Sprite& s) {
    if (s.glow) {
        std::vector<AnimationRef> flashes;
        for (int i = 0; i < 6; ++i) flashes.push_back(keyframes("opacity", {1, 0}, {}, 0.12 * i, 0.07));
        return flashing(s, flashes);
    }

    auto container = std::make_shared<ca::Layer>();
    const double dist = std::hypot(s.to.x - s.at.x, s.to.y - s.at.y);
    const double T = dist / 420;  // tracers fly 420 points a second
    const cg::Point mid{(s.at.x + s.to.x) / 2, (s.at.y + s.to.y) / 2};
    const cg::Color dust = cg::Color::rgb(s.dust, 0.8);
    for (int i = 0; i < 6; ++i) {
        const double ti = 0.12 * i;
        every(s, dot(3.2, s.at, cg::Color::rgb(0xFFE7A0), 3.2, 1.6), {keyframes("opacity", {1, 0}, {}, ti, 0.07)},
              *container);

        if (i % 2 == 0) {
            auto tracer = std::make_shared<ca::GradientLayer>();
            tracer->setColors({cg::Color::rgb(s.color, 0), cg::Color::rgb(s.color, 1)});
            tracer->setStartPoint({0, 0.5});
            tracer->setEndPoint({1, 0.5});
            tracer->setBounds(cg::Rect(0, 0, 14, 1.3));
            tracer->setAnchorPoint({1, 0.5});  // the bright end leads
            tracer->setPosition(s.at);
            cg::Path flight;
            flight.moveTo(s.at);
            flight.quadCurveTo({mid.x, mid.y + dist * (0.04 + 0.025 * (i % 3))}, s.to);
            // A shot at its own muzzle has no flight: a zero duration would stretch over the
            // whole period, so the tracer then stays hidden.
            std::vector<AnimationRef> flying;
            if (T > 0)
                flying = {along(flight, ca::TimingFunction(0.2, 0.5, 0.6, 1), true, ti, T),
                          keyframes("opacity", {1, 1, 0}, {0, 0.85, 1}, ti, T)};
            every(s, tracer, flying, *container);
        }

        const cg::Point landing{s.to.x + 7 * std::sin(9 * s.phase + 2.3 * i), s.to.y + 4 * std::cos(5 * s.phase + 1.7 * i)};
        every(s, dot(4, landing, dust, 0, 0),
              {keyframes("opacity", {0.9, 0}, {}, T + ti, 1.4), keyframes("transform.scale", {0.4, 2.2}, {}, T + ti, 1.4)},
              *container);
    }
    return container;
}

std::vector<EventLayers::Debris> EventLayers::debris(const Sprite& s) {
    RNG rng(SpriteLayers::seed(s.phase, 17));
    std::vector<Debris> out;
    for (int k = 0; k < 6; ++k) {
        const double u1 = rng.next();
        const double u2 = rng.next();
        const double u3 = rng.next();
        Debris d;
        d.direction = 6 * s.phase + 1.05 * k + 0.8 * u1 - 0.4;
        d.distance = 2.5 + 3.5 * u2;
        d.radius = 3.5 + 3 * u3;
        const double c = std::cos(d.direction), sn = std::sin(d.direction);
        d.start = {s.at.x + d.distance * c, s.at.y + 0.75 * d.distance * sn};
        d.end = {d.start.x + 10 + 4 * c, d.start.y + 12 + 3 * sn};
        d.control = {d.start.x + 1.5 * c, d.end.y + 2};
        out.push_back(d);
    }
    return out;
}

std::shared_ptr<ca::Layer> EventLayers::blast(const Sprite& s) {
    if (s.glow) {
        if (s.pulse > 0)
            return flashing(s, {keyframes("opacity", {0, 1, 0.2, 0.85, 0.1, 0.5, 0}, {0, 0.04, 0.16, 0.24, 0.4, 0.5, 1}, 0, 0.75)});
        return flashing(s, {keyframes("opacity", {0, 1, 0}, {0, 0.08, 1}, 0, 0.5)});
    }

    auto container = std::make_shared<ca::Layer>();
    every(s, dot(12, s.at, cg::Color::rgb(s.color), 12, 6),
          {keyframes("opacity", {1, 0}, {}, 0, 0.35), keyframes("transform.scale", {0.5, 1.6}, {}, 0, 0.35)}, *container);

    auto ring = std::make_shared<ca::ShapeLayer>();
    cg::Path circle;
    circle.addEllipse(cg::Rect(-6, -6, 12, 12));
    ring->setPath(circle);
    ring->setFillColor(std::nullopt);
    ring->setStrokeColor(cg::Color::white(0.7));
    ring->setLineWidth(0.8);
    ring->setPosition(s.at);
    every(s, ring, {keyframes("opacity", {0.8, 0}, {}, 0, 0.6), keyframes("transform.scale", {0.3, 4}, {}, 0, 0.6)},
          *container);

    const cg::Color dust = cg::Color::rgb(s.dust, 0.85);
    for (const Debris& d : debris(s)) {
        cg::Path drift;
        drift.moveTo(d.start);
        drift.quadCurveTo(d.control, d.end);
        every(s, dot(2 * d.radius, d.start, dust, 2 * d.radius, d.radius),
              {keyframes("opacity", {0, 0.9, 0}, {0, 0.06, 1}, 0.05, 6),
               keyframes("transform.scale", {0.3, 1.4, 2}, {0, 0.3, 1}, 0.05, 6),
               along(drift, ca::TimingFunction(0.1, 0.6, 0.4, 1), false, 0.05, 6)},
              *container);
    }
    return container;
}
