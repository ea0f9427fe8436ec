#pragma once
// Helpers for the sprite builder tests: presented values at a time, and the animations a layer holds.

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <memory>
#include <string>

namespace layertest {

// The layer's presented state at media time t, its animations begun at time 0.
inline ca::Presentation at(const std::shared_ptr<ca::Layer>& l, double t) {
    ca::Layer* root = l.get();
    while (root->superlayer()) root = root->superlayer();
    root->commit(0);
    return l->presentation(t);
}

// The animation under `key`, and the first member of a group with the given key path.
inline std::shared_ptr<const ca::Animation> anim(const std::shared_ptr<ca::Layer>& l, const std::string& key) {
    return l->animation(key);
}
inline const ca::KeyframeAnimation* member(const std::shared_ptr<ca::Layer>& l, const std::string& key,
                                           const std::string& keyPath) {
    auto a = l->animation(key);
    if (!a) return nullptr;
    if (a->kind() == ca::Animation::Kind::keyframe) {
        auto* k = static_cast<const ca::KeyframeAnimation*>(a.get());
        return k->keyPath() == keyPath ? k : nullptr;
    }
    if (a->kind() != ca::Animation::Kind::group) return nullptr;
    for (const auto& m : static_cast<const ca::AnimationGroup&>(*a).animations)
        if (m->kind() == ca::Animation::Kind::keyframe) {
            auto* k = static_cast<const ca::KeyframeAnimation*>(m.get());
            if (k->keyPath() == keyPath) return k;
        }
    return nullptr;
}

inline std::shared_ptr<ca::Layer> sub(const std::shared_ptr<ca::Layer>& l, size_t i) {
    return i < l->sublayers().size() ? l->sublayers()[i] : nullptr;
}

inline Sprite sprite(Sprite::Kind kind, cg::Point at, double phase = 0) {
    Sprite s;
    s.kind = kind;
    s.at = at;
    s.phase = phase;
    return s;
}

}  // namespace layertest
