#include "DesktopWindow/DesktopWindow.h"

#include "DesktopWindow/ActorLayer.h"

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/TimingFunction.h"
#include "Platform/Animation/Transition.h"
#include "Platform/Graphics/Path.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <set>
#include <stdexcept>

namespace {

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A duration that can be scheduled: negative and non-finite fades count as none.
double sane(double seconds) { return std::isfinite(seconds) && seconds > 0 ? seconds : 0; }

// An additive opacity fade, kept after it ends unless it ends at the layer's own opacity.
ca::BasicAnimation fade(float from, float to, double duration) {
    ca::BasicAnimation a("opacity");
    a.fromValue = from;
    a.toValue = to;
    a.duration = duration;
    a.isAdditive = true;
    a.fillMode = ca::FillMode::forwards;
    a.isRemovedOnCompletion = to == 0;
    return a;
}

cg::Path circle(double radius) {
    cg::Path p;
    p.addEllipse(cg::Rect(-radius, -radius, 2 * radius, 2 * radius));
    return p;
}

}  // namespace

DesktopWindow::DesktopWindow(cg::Rect frame, LayerBuilder build, Services services)
    : frame_(frame.standardized()), build_(std::move(build)), services_(std::move(services)),
      host_(std::make_shared<ca::Layer>()), ground_(std::make_shared<ca::Layer>()),
      sprites_(std::make_shared<ca::Layer>()), wet_([](cg::Point) { return false; }) {
    if (!build_) throw std::invalid_argument("DesktopWindow needs a sprite layer builder");
    if (!services_.after) throw std::invalid_argument("DesktopWindow needs a main-loop timer");
    const cg::Rect bounds(0, 0, frame_.width(), frame_.height());
    host_->setFrame(bounds);
    ground_->setFrame(bounds);
    sprites_->setFrame(bounds);
    host_->addSublayer(ground_);
    host_->addSublayer(sprites_);
}

DesktopWindow::~DesktopWindow() { *alive_ = false; }

double DesktopWindow::now() const { return services_.now ? services_.now() : monotonicSeconds(); }

void DesktopWindow::didChange() {
    if (changed_) changed_();
}

void DesktopWindow::removeLater(LayerRef layer, double seconds) {
    std::weak_ptr<bool> alive = alive_;
    services_.after(seconds, [this, layer = std::move(layer), alive] {
        layer->removeFromSuperlayer();
        if (auto a = alive.lock(); a && *a) didChange();
    });
}

void DesktopWindow::show(const RenderedScene& r, double fadeSeconds) {
    const double t = now();
    const double f = sane(fadeSeconds);

    ca::Transition transition;
    transition.duration = f;
    ground_->add(transition, "fade");
    ground_->setContents(r.image);

    placed_ = r.placed;
    if (r.wet) {
        wet_ = r.wet;
    } else {
        wet_ = [](cg::Point) { return false; };
    }

    // A layer built under one power mode is never reused under the other: its frame rates differ.
    const bool low = services_.lowPower && services_.lowPower();
    const std::string prefix = r.style + (low ? " low " : " ");

    std::map<std::string, LayerRef> next;
    std::set<std::string> taken;  // keys given out, also to sprites that could not be built
    const ca::Layer* lastGlow = ground_.get();
    const ca::Layer* lastSprite = nullptr;
    for (const Sprite& s : r.sprites) {
        std::string key = prefix + s.identity();
        while (!taken.insert(key).second) key += '\'';
        LayerRef layer;
        if (auto it = live_.find(key); it != live_.end()) {
            layer = std::move(it->second);
            live_.erase(it);
        } else {
            layer = build_(s);
            if (!layer) continue;  // a sprite the builders cannot draw shows nothing
            if (animating_) layer->add(fade(-1, 0, f), "appear");
            if (s.glow) {
                host_->insertSublayer(layer, lastGlow);
                if (!animating_) pause(*layer, t);
            } else if (!lastSprite) {
                sprites_->insertSublayer(layer, size_t(0));
            } else {
                sprites_->insertSublayer(layer, lastSprite);
            }
        }
        if (s.glow) {
            lastGlow = layer.get();
        } else {
            lastSprite = layer.get();
        }
        next.emplace(std::move(key), std::move(layer));
    }

    for (auto& [key, layer] : live_) {
        ca::BasicAnimation leave("opacity");
        leave.fromValue = 0.0f;
        leave.toValue = -1.0f;
        leave.duration = f;
        leave.isAdditive = true;
        leave.fillMode = ca::FillMode::forwards;
        leave.isRemovedOnCompletion = false;
        layer->add(leave, "leave");
        removeLater(layer, f);
    }
    live_ = std::move(next);

    if (!visible_) {
        visible_ = true;
        fade_ = {0, 1, t, 0.8};
    }
    host_->commit(t);
    didChange();
}

void DesktopWindow::pause(ca::Layer& layer, double t) {
    const double local = layer.convertTime(t, nullptr);
    layer.setSpeed(0);
    layer.setTimeOffset(local);
}

void DesktopWindow::resume(ca::Layer& layer, double t) {
    const double paused = layer.timeOffset();
    layer.setSpeed(1);
    layer.setTimeOffset(0);
    layer.setBeginTime(0);
    layer.setBeginTime(layer.convertTime(t, nullptr) - paused);
}

void DesktopWindow::setAnimating(bool animating) {
    if (animating == animating_) return;
    animating_ = animating;
    const double t = now();
    auto apply = [&](ca::Layer& layer) { animating ? resume(layer, t) : pause(layer, t); };
    apply(*sprites_);
    for (auto& [key, layer] : live_)
        if (layer->superlayer() == host_.get()) apply(*layer);
    host_->commit(t);
    didChange();
}

std::shared_ptr<ActorLayer> DesktopWindow::actor(cg::Point at) const {
    if (!animating_) return nullptr;
    const cg::Point p{at.x, frame_.height() - at.y};
    const double t = now();
    for (const auto& layer : sprites_->sublayers()) {
        auto walker = std::dynamic_pointer_cast<ActorLayer>(layer);
        if (walker && walker->presentation(t).frame().insetBy(10, 8).contains(p)) return walker;
    }
    return nullptr;
}

double DesktopWindow::alpha(double t) const {
    if (!visible_) return 0;
    if (!(fade_.duration > 0) || t >= fade_.begin + fade_.duration) return fade_.to;
    if (t <= fade_.begin) return fade_.from;
    const double x = (t - fade_.begin) / fade_.duration;
    const double y = ca::TimingFunction::named(ca::TimingFunction::Name::defaultCurve)(x);
    return fade_.from + (fade_.to - fade_.from) * y;
}

void DesktopWindow::fadeWindow(double to, double duration) {
    const double t = now();
    fade_ = {alpha(t), std::clamp(to, 0.0, 1.0), t, sane(duration)};
    didChange();
}

void DesktopWindow::ripple(cg::Point at, bool night, bool glow) {
    if (!isWet(at)) return;
    const double t = now();
    for (LayerRef& ring : ripples({at.x, frame_.height() - at.y}, night, glow, t)) {
        host_->addSublayer(ring);
        removeLater(std::move(ring), 3.0);
    }
    host_->commit(t);
    didChange();
}

std::array<DesktopWindow::LayerRef, 3> DesktopWindow::ripples(cg::Point at, bool night, bool glow, double now) {
    const ca::TimingFunction timing(0.2, 0.5, 0.3, 1.0);
    const uint32_t bright = glow ? 0x8AFBEA : night ? 0xB9CDE0 : 0xFFFFFF;
    const double k = glow ? 0.95 : night ? 0.6 : 0.85;
    struct Stroke {
        uint32_t color;
        double alpha, inset, width;
    };
    const Stroke strokes[2] = {{bright, 0.9, 0, 1.6}, {0x00182E, 0.3, 2.4, 2.2}};

    std::array<LayerRef, 3> rings;
    for (int i = 0; i < 3; ++i) {
        const double radius = i == 0 ? 36 : i == 1 ? 26 : 18;
        const double begin = now + 0.22 * i;
        const double duration = 2.4 - 0.3 * i;

        auto ring = std::make_shared<ca::Layer>();
        ring->setPosition(at);
        ring->setOpacity(0);
        for (int j = 0; j < 2; ++j) {
            const Stroke& st = strokes[j];
            auto shape = std::make_shared<ca::ShapeLayer>();
            shape->setFillColor(std::nullopt);
            shape->setStrokeColor(cg::Color::rgb(st.color, st.alpha));
            shape->setLineWidth(0);
            if (j == 0 && glow) {
                shape->setShadowColor(cg::Color{63 / 255.0, 239 / 255.0, 214 / 255.0, 1});
                shape->setShadowRadius(3);
                shape->setShadowOpacity(1);
                shape->setShadowOffset({0, 0});
            }
            ca::BasicAnimation path("path");
            path.fromValue = circle(2);
            path.toValue = circle(radius - st.inset);
            ca::BasicAnimation width("lineWidth");
            width.fromValue = st.width;
            width.toValue = 0.35 * st.width;
            ca::AnimationGroup group;
            group.beginTime = begin;
            group.duration = duration;
            group.timingFunction = timing;
            group.add(path);
            group.add(width);
            shape->add(group, "ripple");
            ring->addSublayer(std::move(shape));
        }
        const double a = 1 - 0.25 * i;
        ca::KeyframeAnimation opacity("opacity");
        opacity.values = {0.0, a * k, a * k * 0.45, 0.0};
        opacity.keyTimes = {0, 0.08, 0.45, 1};
        opacity.timingFunctions = {ca::TimingFunction::named(ca::TimingFunction::Name::easeOut),
                                   ca::TimingFunction::named(ca::TimingFunction::Name::easeIn),
                                   ca::TimingFunction::named(ca::TimingFunction::Name::easeOut)};
        ca::AnimationGroup group;
        group.beginTime = begin;
        group.duration = duration;
        group.add(opacity);
        ring->add(group, "ripple");
        rings[size_t(i)] = std::move(ring);
    }
    return rings;
}
