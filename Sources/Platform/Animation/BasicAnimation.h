#pragma once
// From/to animation. With both from and to it runs from one to the other; with one of them the
// other end is the value below the animation (model or earlier animations); `by` is added to the
// start when no `to` is given, or taken off `to` when no `from` is given.

#include "Platform/Animation/PropertyAnimation.h"
#include "Platform/Animation/Value.h"

namespace ca {

class BasicAnimation : public PropertyAnimation {
public:
    explicit BasicAnimation(std::string keyPath) : PropertyAnimation(Kind::basic, std::move(keyPath)) {}
    std::unique_ptr<Animation> clone() const override { return std::make_unique<BasicAnimation>(*this); }

    Value fromValue;
    Value toValue;
    Value byValue;
};

}  // namespace ca
