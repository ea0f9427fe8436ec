#pragma once
// A small sailing boat seen from above that sails the sprite's path, with its wake, its sails swung to
// leeward of a fixed wind, a gentle rocking, and a lantern on boats that are not white. Also the shared
// painting cache the boat and the bird draw their vector parts through.

#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <functional>
#include <memory>
#include <string>

namespace layers {

std::shared_ptr<ca::Layer> boat(const Sprite& s);

// An image layer showing the shape that `make` builds, rasterised once per key at four pixels per point
// and shared. The layer's position marks the shape's origin. Falls back to the live shape layer when
// the shape has no path or cannot be rasterised.
std::shared_ptr<ca::Layer> painted(const std::string& key, const std::function<std::shared_ptr<ca::ShapeLayer>()>& make);

// The soft disc of one wake puff in a colour, shared per colour (none when it cannot be made).
cg::ImageRef puff(uint32_t color);

// The angle of the sails relative to the hull on a heading: aft, swung out to leeward of a wind
// blowing toward (0.8, −0.6), further when running before it.
double sailAngle(double heading);

}  // namespace layers
