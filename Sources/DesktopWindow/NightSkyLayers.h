#pragma once
// Sky sprites: a star that blinks on a fixed period or twinkles softly, a satellite circling a point on
// a flattened orbit, and a meteor that shoots along its path now and then.

#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <memory>

namespace layers {

std::shared_ptr<ca::Layer> star(const Sprite& s);
std::shared_ptr<ca::Layer> satellite(const Sprite& s);
std::shared_ptr<ca::Layer> meteor(const Sprite& s);

}  // namespace layers
