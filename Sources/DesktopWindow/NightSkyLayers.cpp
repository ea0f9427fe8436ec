#include "DesktopWindow/NightSkyLayers.h"

#include "DesktopWindow/Keyframes.h"
#include "DesktopWindow/LayerHelpers.h"
// The painters' smoother (header only): the meteor flies the very line the painter drew.
#include "Art/Geometry2D.h"
#include "Platform/Animation/AnimationGroup.h"

#include <numbers>
#include <vector>

namespace layers {

std::shared_ptr<ca::Layer> star(const Sprite& s) {
    auto layer = std::make_shared<ca::Layer>();
    layer->setPosition(s.at);
    if (s.travel > 0) {
        layer->setBounds({0, 0, 14 * s.size, 14 * s.size});
        layer->setContents(SpriteLayers::glowing(s.color, 1, 2, 7, 0.9, 56));
        layer->setMinificationFilter(ca::ContentsFilter::trilinear);
        // Shines for 38 % of the period, fades within 4 %, and is back at once when the loop restarts.
        layer->add(SpriteLayers::looped(s, keyframes("opacity", {1, 1, 0, 0}, {0, 0.38, 0.42, 1}, 0), s.travel),
                   "blink");
    } else {
        layer->setBounds({0, 0, 2 * s.size, 2 * s.size});
        layer->setCornerRadius(s.size);
        layer->setBackgroundColor(cg::Color::rgb(s.color, 1));
        layer->add(SpriteLayers::looped(s, keyframes("opacity", {0.1, 1, 0.1}, {}, 0, ca::CalculationMode::cubic),
                                        2.5 + 3 * s.phase),
                   "twinkle");
    }
    return layer;
}

std::shared_ptr<ca::Layer> satellite(const Sprite& s) {
    auto layer = std::make_shared<ca::Layer>();
    layer->setPosition(s.at);
    auto part = [&](const std::vector<cg::Rect>& rects, uint32_t rgb) {
        auto l = std::make_shared<ca::ShapeLayer>();
        cg::Path p;
        p.addRects(rects);
        l->setPath(p);
        l->setFillColor(cg::Color::rgb(rgb, 1));
        l->setStrokeColor(std::nullopt);
        l->setLineWidth(1);
        l->setLineCap(cg::LineCap::round);
        l->setLineJoin(cg::LineJoin::round);
        layer->addSublayer(l);
    };
    part({{-9, -1.5, 6, 3}, {3, -1.5, 6, 3}}, 0x4C7BD9);
    part({{-2.5, -2.5, 5, 5}}, 0xD9D9E6);

    // An ellipse about `at`, starting at its leftmost point and running through its lower half first.
    const cg::Transform squash = cg::Transform::translation(s.at.x, s.at.y).scaledBy(1, 0.3);
    cg::Path orbit;
    orbit.addRelativeArc({0, 0}, s.travel, std::numbers::pi, 2 * std::numbers::pi, squash);
    const double period = 30 + 10 * s.phase;
    ca::KeyframeAnimation position("position");
    position.setPath(orbit);
    position.duration = period;
    ca::AnimationGroup group;
    group.add(position);
    // Hidden on the upper half, behind what it circles.
    group.add(keyframes("opacity", {1, 1, 0, 0, 1}, {0, 0.47, 0.53, 0.97, 1}, period));
    layer->add(SpriteLayers::looped(s, group, period), "orbit");
    return layer;
}

std::shared_ptr<ca::Layer> meteor(const Sprite& s) {
    auto layer = std::make_shared<ca::GradientLayer>();
    layer->setColors({cg::Color::rgb(s.color, 0), cg::Color::rgb(s.color, 0.95)});
    layer->setStartPoint({0, 0.5});
    layer->setEndPoint({1, 0.5});
    layer->setBounds({0, 0, 46, 1.6});
    layer->setCornerRadius(0.8);
    // The head leads at the bright end; the tail fades behind it.
    layer->setAnchorPoint({1, 0.5});
    layer->setPosition(s.at);
    layer->setOpacity(0);

    const std::vector<cg::Point> line = rounded(s.path, false, 2);
    cg::Path flight;
    flight.addLines(line);
    ca::KeyframeAnimation position("position");
    position.setPath(flight);
    position.rotationMode = ca::RotationMode::autoRotate;
    position.timingFunction = ca::TimingFunction(0.5f, 0.0f, 0.9f, 0.7f);
    position.duration = 1.1;
    ca::AnimationGroup group;
    group.add(position);
    group.add(keyframes("opacity", {0, 1, 0}, {0, 0.25, 1}, 1.1));
    layer->add(SpriteLayers::looped(s, group, 16 + 14 * s.phase), "meteor");
    return layer;
}

}  // namespace layers
