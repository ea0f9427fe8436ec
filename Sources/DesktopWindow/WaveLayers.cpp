#include "DesktopWindow/WaveLayers.h"

#include "DesktopWindow/Keyframes.h"
#include "DesktopWindow/LayerHelpers.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Graphics/Context.h"

#include <map>
#include <mutex>
#include <string>

namespace layers {
namespace {

// Painted arcs by (half width, bulge, line width, colour); one picture serves every mark alike.
std::mutex arcsLock;
std::map<std::string, cg::ImageRef>& arcs() {
    static std::map<std::string, cg::ImageRef> cache;
    return cache;
}

cg::Transform rotation(double angle) { return cg::Transform::rotation(angle); }

}  // namespace

cg::ImageRef arcImage(double a, double b, double c, uint32_t color) {
    const std::string key = decimal(a) + " " + decimal(b) + " " + decimal(c) + " " + std::to_string(color);
    std::lock_guard<std::mutex> hold(arcsLock);
    auto& cache = arcs();
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    const double w = 2 * (a + c), h = b / 2 + 2 * c;
    auto ctx = cg::Context::makeFrame(w, h, 4);
    if (!ctx) return nullptr;
    ctx->translateBy(a + c, c);
    ctx->moveTo({-a, 0});
    ctx->quadCurveTo({0, b}, {a, 0});
    ctx->setStrokeColor(cg::Color::rgb(color));
    ctx->setLineWidth(c);
    ctx->setLineCap(cg::LineCap::round);
    ctx->strokePath();
    cg::ImageRef image = ctx->makeImage();
    if (!image) return nullptr;
    cache.emplace(key, image);
    return image;
}

std::shared_ptr<ca::Layer> drifting(const Sprite& s, double a, double b, double c, float peak) {
    const double w = 2 * (a + c), h = b / 2 + 2 * c;
    auto layer = std::make_shared<ca::Layer>();
    layer->setContents(arcImage(a, b, c, s.color));
    layer->setBounds({0, 0, w, h});
    layer->setAnchorPoint({0.5, h != 0 ? c / h : 0.5});
    layer->setPosition(s.at);
    layer->setOpacity(0);

    const double period = 5 + 3 * s.phase;
    const double bow = s.phase < 0.5 ? 0.2 * s.travel : -0.2 * s.travel;
    cg::Path drift;
    drift.moveTo({s.at.x - s.travel / 2, s.at.y});
    drift.quadCurveTo({s.at.x, s.at.y + bow}, {s.at.x + s.travel / 2, s.at.y});

    ca::KeyframeAnimation position("position");
    position.setPath(drift);
    position.timingFunction = ca::TimingFunction(0.45, 0, 0.55, 1);
    position.duration = period;
    const auto stretch =
        keyframes("transform.scale.x", {0.5, 1.1, 0.7}, {0, 0.45, 1}, period, ca::CalculationMode::cubic);
    const auto fade = keyframes("opacity", {0, peak, peak, 0}, {0, 0.3, 0.7, 1}, period);

    ca::AnimationGroup group;
    group.add(position);
    group.add(stretch);
    group.add(fade);
    layer->add(SpriteLayers::looped(s, group, period), "motion");
    return layer;
}

std::shared_ptr<ca::Layer> whitecap(const Sprite& s) {
    auto inner = SpriteLayers::imageLayer(s, nullptr, std::make_shared<ca::Layer>());
    inner->setPosition({0, 0});
    auto box = std::make_shared<ca::Layer>();
    box->addSublayer(inner);
    box->setPosition(s.at);
    box->setOpacity(0);
    // Along the slope of a 3-4-5 triangle, the direction the crest slides.
    box->setAffineTransform(rotation(-0.6435011087932844));

    const double period = 6 + 4 * s.phase;
    const cg::Point end{s.at.x + 0.8 * s.travel, s.at.y - 0.6 * s.travel};
    auto slide = keyframes("position", {s.at, end, end}, {0, 0.6, 1}, period);
    slide.timingFunctions = {ca::TimingFunction::named(ca::TimingFunction::Name::easeOut),
                             ca::TimingFunction::named(ca::TimingFunction::Name::linear)};
    const auto fade = keyframes("opacity", {0, 0.9, 0.45, 0, 0}, {0, 0.05, 0.25, 0.6, 1}, period);
    ca::AnimationGroup outer;
    outer.add(slide);
    outer.add(fade);
    box->add(SpriteLayers::looped(s, outer, period), "motion");

    ca::AnimationGroup stretch;
    stretch.add(keyframes("transform.scale.x", {0.5, 1, 1.4, 1.4}, {0, 0.07, 0.6, 1}, period));
    stretch.add(keyframes("transform.scale.y", {0.8, 1, 1.15, 1.15}, {0, 0.07, 0.6, 1}, period));
    inner->add(SpriteLayers::looped(s, stretch, period), "motion");
    return box;
}

std::shared_ptr<ca::Layer> surf(const Sprite& s) {
    std::shared_ptr<ca::Layer> inner;
    if (s.image) {
        inner = SpriteLayers::imageLayer(s, nullptr, std::make_shared<ca::Layer>());
    } else {
        auto arc = std::make_shared<ca::ShapeLayer>();
        cg::Path path;
        path.moveTo({-7, 0});
        path.quadCurveTo({0, 2.6}, {7, 0});
        arc->setPath(path);
        arc->setFillColor(std::nullopt);
        arc->setStrokeColor(cg::Color::rgb(s.color));
        arc->setLineWidth(1.5);
        arc->setLineCap(cg::LineCap::round);
        arc->setLineJoin(cg::LineJoin::round);
        inner = arc;
    }
    inner->setPosition({0, 0});
    auto box = std::make_shared<ca::Layer>();
    box->addSublayer(inner);
    box->setPosition(s.at);
    box->setOpacity(0);
    box->setAffineTransform(rotation(s.angle));

    const double period = 3.6 + 1.6 * s.phase;
    const cg::Point mid{(s.at.x + s.to.x) / 2, (s.at.y + s.to.y) / 2};
    auto run = keyframes("position", {s.at, s.to, mid}, {0, 0.5, 1}, period);
    run.timingFunctions = {ca::TimingFunction::named(ca::TimingFunction::Name::easeOut),
                           ca::TimingFunction::named(ca::TimingFunction::Name::easeInEaseOut)};
    const auto fade = keyframes("opacity", {0, 0.85, 0.55, 0}, {0, 0.35, 0.6, 1}, period);
    ca::AnimationGroup outer;
    outer.add(run);
    outer.add(fade);
    box->add(SpriteLayers::looped(s, outer, period), "motion");

    ca::AnimationGroup spread;
    spread.add(keyframes("transform.scale.x", {0.7, 1.15, 1.3}, {0, 0.5, 1}, period));
    inner->add(SpriteLayers::looped(s, spread, period), "motion");
    return box;
}

}  // namespace layers
