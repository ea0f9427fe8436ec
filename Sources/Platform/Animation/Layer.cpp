#include "Platform/Animation/Layer.h"

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/FramePacing.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Timeline.h"
#include "Platform/Animation/Transition.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace ca {

namespace {
std::atomic<uint64_t> gNextId{1};
std::atomic<uint64_t> gNextVersion{1};
}  // namespace

TransformParts TransformParts::of(const cg::Transform& t) {
    TransformParts p;
    p.scaleX = std::hypot(t.a, t.b);
    p.rotation = p.scaleX > 0 ? std::atan2(t.b, t.a) : 0;
    const double cs = std::cos(p.rotation), sn = std::sin(p.rotation);
    p.shear = cs * t.c + sn * t.d;
    p.scaleY = -sn * t.c + cs * t.d;
    p.tx = t.tx;
    p.ty = t.ty;
    return p;
}

cg::Transform TransformParts::compose() const {
    const double cs = std::cos(rotation), sn = std::sin(rotation);
    return {cs * scaleX, sn * scaleX, cs * shear - sn * scaleY, sn * shear + cs * scaleY, tx, ty};
}

uint64_t Layer::nextVersion() { return gNextVersion.fetch_add(1, std::memory_order_relaxed); }
uint64_t Layer::mutations() { return gNextVersion.load(std::memory_order_relaxed); }

Layer::Layer(Kind kind) : kind_(kind), id_(gNextId.fetch_add(1, std::memory_order_relaxed)), version_(nextVersion()) {}

Layer::~Layer() {
    for (auto& s : sublayers_) s->superlayer_ = nullptr;
}

cg::Rect Layer::frame() const {
    const cg::Point a{bounds_.minX() + anchorPoint_.x * bounds_.width(), bounds_.minY() + anchorPoint_.y * bounds_.height()};
    const cg::Transform m =
        cg::Transform::translation(-a.x, -a.y).concatenating(transform_).concatenating(
            cg::Transform::translation(position_.x, position_.y));
    return bounds_.applying(m);
}

void Layer::setFrame(const cg::Rect& r) {
    const cg::Rect f = r.standardized();
    bounds_ = cg::Rect(bounds_.origin, f.size);
    position_ = {f.minX() + anchorPoint_.x * f.width(), f.minY() + anchorPoint_.y * f.height()};
    touch();
}

void Layer::setAffineTransform(const cg::Transform& t) {
    transform_ = t;
    parts_ = TransformParts::of(t);
    touch();
}

// --- time ---

double Layer::localTime(double mediaTime) const {
    const double parent = superlayer_ ? superlayer_->localTime(mediaTime) : mediaTime;
    return (parent - beginTime_) * speed_ + timeOffset_;
}

double Layer::convertTime(double t, const Layer* from) const {
    if (from == this) return t;
    double media = t;
    // From the other layer's time line back to media time, undoing each step where it can be
    // undone (a stopped layer's time says nothing about media time: its begin time stands in).
    std::vector<const Layer*> chain;
    for (const Layer* l = from; l; l = l->superlayer_) chain.push_back(l);
    for (const Layer* l : chain) {
        media = l->speed_ != 0 ? (media - l->timeOffset_) / l->speed_ + l->beginTime_ : l->beginTime_;
    }
    return localTime(media);
}

// --- tree ---

bool Layer::isAncestorOrSelf(const Layer* other) const {
    for (const Layer* l = this; l; l = l->superlayer_)
        if (l == other) return true;
    return false;
}

void Layer::detachChild(const Layer* child) {
    auto it = std::find_if(sublayers_.begin(), sublayers_.end(), [&](const auto& s) { return s.get() == child; });
    if (it != sublayers_.end()) sublayers_.erase(it);
    changed();
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) { insertSublayer(std::move(layer), sublayers_.size() + 1); }

void Layer::insertSublayer(std::shared_ptr<Layer> layer, size_t index) {
    if (!layer || isAncestorOrSelf(layer.get())) return;
    if (layer->superlayer_) {
        std::shared_ptr<Layer> keep = layer;  // the old parent may hold the last reference
        layer->superlayer_->detachChild(layer.get());
    }
    layer->superlayer_ = this;
    index = std::min(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), std::move(layer));
    changed();
}

void Layer::insertSublayer(std::shared_ptr<Layer> layer, const Layer* above) {
    if (!layer || layer.get() == above) return;
    if (layer->superlayer_ == this) detachChild(layer.get()), layer->superlayer_ = nullptr;
    size_t index = sublayers_.size();
    for (size_t i = 0; i < sublayers_.size(); ++i)
        if (sublayers_[i].get() == above) index = i + 1;
    insertSublayer(std::move(layer), index);
}

void Layer::insertSublayerBelow(std::shared_ptr<Layer> layer, const Layer* below) {
    if (!layer || layer.get() == below) return;
    if (layer->superlayer_ == this) detachChild(layer.get()), layer->superlayer_ = nullptr;
    size_t index = 0;
    for (size_t i = 0; i < sublayers_.size(); ++i)
        if (sublayers_[i].get() == below) index = i;
    insertSublayer(std::move(layer), index);
}

void Layer::removeFromSuperlayer() {
    Layer* parent = superlayer_;
    if (!parent) return;
    superlayer_ = nullptr;
    parent->detachChild(this);  // may destroy this layer: nothing touches it afterwards
}

// --- animations ---

namespace {

// Whether an animation can turn or scale its layer.
bool reshapes(const Animation& a) {
    switch (a.kind()) {
        case Animation::Kind::group:
            for (const auto& c : static_cast<const AnimationGroup&>(a).animations)
                if (c && reshapes(*c)) return true;
            return false;
        case Animation::Kind::transition: return false;
        case Animation::Kind::basic:
        case Animation::Kind::keyframe: {
            const auto& p = static_cast<const PropertyAnimation&>(a);
            switch (p.parsedKeyPath()) {
                case KeyPath::rotationZ:
                case KeyPath::scale:
                case KeyPath::scaleX:
                case KeyPath::scaleY: return true;
                case KeyPath::position:
                    return a.kind() == Animation::Kind::keyframe &&
                           static_cast<const KeyframeAnimation&>(a).rotationMode != RotationMode::none;
                default: return false;
            }
        }
    }
    return true;
}

}  // namespace


void Layer::add(const Animation& animation, const std::string& key) {
    std::shared_ptr<Animation> copy = animation.clone();
    // The layer's own copy made ready to evaluate (a group's keyframes were as they joined it).
    if (copy->kind() == Animation::Kind::keyframe) static_cast<KeyframeAnimation&>(*copy).layOutFlat();
    if (copy->kind() == Animation::Kind::transition) static_cast<Transition&>(*copy).setSnapshot(contents_);
    if (!key.empty()) removeAnimation(key);
    AnimationEntry e;
    e.key = key;
    e.beginTime = copy->beginTime;
    e.speed = copy->speed;
    e.span = detail::activeDuration(*copy, detail::durationOf(*copy, 0));
    e.rate = detail::preferredRate(*copy, kForever);
    e.removedOnCompletion = copy->isRemovedOnCompletion;
    e.reshapes = reshapes(*copy);
    e.animation = std::move(copy);
    animations_.push_back(std::move(e));
    program_.build(animations_);
    changed();
}

std::shared_ptr<const Animation> Layer::animation(const std::string& key) const {
    for (const auto& e : animations_)
        if (!key.empty() && e.key == key) return e.animation;
    return nullptr;
}

void Layer::removeAnimation(const std::string& key) {
    if (std::erase_if(animations_, [&](const AnimationEntry& e) { return e.key == key; }) > 0) {
        program_.build(animations_);
        changed();
    }
}

void Layer::removeAllAnimations() {
    if (animations_.empty()) return;
    animations_.clear();
    program_.clear();
    changed();
}

std::vector<std::string> Layer::animationKeys() const {
    std::vector<std::string> keys;
    for (const auto& e : animations_)
        if (!e.key.empty()) keys.push_back(e.key);
    return keys;
}

void Layer::commit(double mediaTime) { commitAt(localTime(mediaTime)); }

void Layer::commitAt(double local) {
    bool resolvedAny = false;
    for (AnimationEntry& e : animations_) {
        if (e.resolved) continue;
        if (e.animation->beginTime == 0) {
            e.animation->beginTime = e.beginTime = local;
            resolvedAny = true;
        }
        e.resolved = true;
    }
    if (resolvedAny) {
        program_.build(animations_);
        changed();
    }
    for (const auto& s : sublayers_) s->commitAt((local - s->beginTime_) * s->speed_ + s->timeOffset_);
}

void Layer::removeFinishedAnimations(double mediaTime) { removeFinishedAt(localTime(mediaTime)); }

void Layer::removeFinishedAt(double local) {
    const size_t removed = std::erase_if(animations_, [&](const AnimationEntry& e) {
        return e.animation->isRemovedOnCompletion && detail::hasEnded(*e.animation, local);
    });
    if (removed > 0) {
        program_.build(animations_);
        changed();
    }
    for (const auto& s : sublayers_) s->removeFinishedAt((local - s->beginTime_) * s->speed_ + s->timeOffset_);
}

Presentation Layer::presentation(double mediaTime) const {
    Presentation p;
    detail::evaluate(*this, localTime(mediaTime), p);
    return p;
}

}  // namespace ca
