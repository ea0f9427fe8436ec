#pragma once
// A group of animations that run on the group's time line: the group's iteration time (after its
// own timing function) is the children's parent time. Children keep their own begin time (an
// offset into the group), duration (the group's when zero), speed, offset, repeats and fill; they
// apply only while the group applies, in their order.

#include "Platform/Animation/Animation.h"
#include "Platform/Animation/KeyframeAnimation.h"

#include <memory>
#include <type_traits>
#include <vector>

namespace ca {

class AnimationGroup : public Animation {
public:
    AnimationGroup() : Animation(Kind::group) {}
    std::unique_ptr<Animation> clone() const override { return std::make_unique<AnimationGroup>(*this); }

    // Children are immutable once in a group, so copies of a group share them.
    std::vector<std::shared_ptr<const Animation>> animations;

    // Keyframes are laid out flat as they join (see KeyframeAnimation::flat): every layer the group
    // is added to then shares them as they are.
    template <class T>
    void add(const T& animation) {
        auto copy = std::make_shared<T>(animation);
        if constexpr (std::is_same_v<T, KeyframeAnimation>) copy->layOutFlat();
        animations.push_back(std::move(copy));
    }
};

}  // namespace ca
