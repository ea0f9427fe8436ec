#pragma once
// A contents transition (the default "fade" type): when added to a layer it snapshots the layer's
// contents at that moment, and over its duration the old picture cross-fades into whatever the
// contents are now. Replacing it mid-way snapshots the model contents, not the half-faded picture.

#include "Platform/Animation/Animation.h"

#include "Platform/Graphics/Image.h"

namespace ca {

class Transition : public Animation {
public:
    enum class Type { fade };

    Transition() : Animation(Kind::transition) {}
    std::unique_ptr<Animation> clone() const override { return std::make_unique<Transition>(*this); }

    Type type = Type::fade;

    // The picture faded out (set by Layer::add).
    const cg::ImageRef& snapshot() const { return snapshot_; }
    void setSnapshot(cg::ImageRef image) { snapshot_ = std::move(image); }

private:
    cg::ImageRef snapshot_;
};

}  // namespace ca
