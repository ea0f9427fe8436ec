#pragma once
// Turns a sprite into its self-running layer: one builder per kind, and colour-dodge compositing for
// sprites that glow.

#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <memory>

namespace layers {

// A new layer (tree) with its animations attached; an ActorLayer for a walker.
std::shared_ptr<ca::Layer> layer(const Sprite& s);

}  // namespace layers
