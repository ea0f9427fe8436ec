#pragma once
// Helpers for the sprite builder tests: presented values at a time, and the animations a layer holds.

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <memory>
#include <string>

namespace layertest {

using LayerRef = std::shared_ptr<ca::Layer>;

// The layer's presented state at media time t, every animation of its tree begun at time 0.
inline ca::Presentation at(const LayerRef& l, double t) {
    ca::Layer* root = l.get();
    while (root->superlayer()) root = root->superlayer();
    root->commit(0);
    return l->presentation(t);
}

// The keyframe animation of `keyPath` under `key`, itself or a member of the group there.
inline const ca::KeyframeAnimation* member(const LayerRef& l, const std::string& key, const std::string& keyPath) {
    const auto a = l->animation(key);
    auto match = [&](const ca::Animation& x) -> const ca::KeyframeAnimation* {
        auto* k = x.kind() == ca::Animation::Kind::keyframe ? static_cast<const ca::KeyframeAnimation*>(&x) : nullptr;
        return k && k->keyPath() == keyPath ? k : nullptr;
    };
    if (!a) return nullptr;
    if (a->kind() != ca::Animation::Kind::group) return match(*a);
    for (const auto& m : static_cast<const ca::AnimationGroup&>(*a).animations)
        if (auto* k = match(*m)) return k;
    return nullptr;
}

inline LayerRef sub(const LayerRef& l, size_t i) { return i < l->sublayers().size() ? l->sublayers()[i] : nullptr; }
inline Sprite sprite(Sprite::Kind kind, cg::Point at, double phase = 0) {
    Sprite s;
    s.kind = kind;
    s.at = at;
    s.phase = phase;
    return s;
}

}  // namespace layertest
