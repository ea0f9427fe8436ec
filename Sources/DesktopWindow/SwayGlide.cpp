#include "DesktopWindow/SwayGlide.h"

#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/KeyframeAnimation.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<ca::Layer> SwayGlide::sway(const Sprite& s) {
    auto layer = std::make_shared<ca::Layer>();
    SpriteLayers::imageLayer(s, nullptr, *layer);

    // Leans a little further one way than the other.
    ca::KeyframeAnimation swing("transform.rotation.z");
    swing.values = {-0.035, 0.045, -0.035};
    swing.calculationMode = ca::CalculationMode::cubic;
    layer->add(SpriteLayers::looped(s, swing, 4.5), "sway");

    // Calm for half the cycle, then a push that dies away, on top of the swing.
    ca::KeyframeAnimation gust("transform.rotation.z");
    gust.values = {0, 0, 0.06, 0.015, 0.04, 0.01, 0.02, 0, 0};
    gust.keyTimes = {0, 0.5, 0.58, 0.64, 0.7, 0.76, 0.84, 0.92, 1};
    gust.calculationMode = ca::CalculationMode::cubic;
    gust.isAdditive = true;
    layer->add(SpriteLayers::looped(s, gust, 13.7), "gust");
    return layer;
}

double SwayGlide::glideDuration(const Sprite& s) {
    const double dist = std::max(std::hypot(s.to.x - s.at.x, s.to.y - s.at.y), 1.0);
    return dist / std::max(s.travel, 1.0);
}

std::shared_ptr<ca::Layer> SwayGlide::glide(const Sprite& s) {
    auto layer = std::make_shared<ca::Layer>();
    SpriteLayers::imageLayer(s, nullptr, *layer);
    layer->setAffineTransform(cg::Transform::rotation(s.angle));
    layer->setOpacity(0);

    const double dist = std::max(std::hypot(s.to.x - s.at.x, s.to.y - s.at.y), 1.0);
    const double G = glideDuration(s);

    if (s.frames.size() > 1) {
        ca::KeyframeAnimation flash("contents");
        flash.values.assign(s.frames.begin(), s.frames.end());
        flash.calculationMode = ca::CalculationMode::discrete;
        layer->add(SpriteLayers::looped(s, flash, s.beat), "flash");
    }

    ca::BasicAnimation move("position");
    move.fromValue = s.at;
    move.toValue = s.to;
    move.duration = G;
    const double f = std::min(16 / dist, 0.3);
    ca::KeyframeAnimation fade("opacity");
    fade.values = {0, 1, 1, 0};
    fade.keyTimes = {0, f, 1 - f, 1};
    fade.duration = G;
    ca::AnimationGroup group;
    group.add(move);
    group.add(fade);
    layer->add(SpriteLayers::looped(s, group, G), "motion");
    return layer;
}
