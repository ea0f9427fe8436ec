#pragma once
// Slow layers: a cloud picture carried across the scene on a gentle wave at a gusty speed while it
// stretches, squashes and thins; and a fountain seen from above, rings spreading in its basin and a
// pulsing spray over the jet.

#include "Platform/Animation/Layer.h"
#include "Platform/Graphics/Geometry.h"
#include "Scene/Sprite.h"

#include <memory>
#include <vector>

namespace layers {

std::shared_ptr<ca::Layer> cloud(const Sprite& s);
std::shared_ptr<ca::Layer> fountain(const Sprite& s);

// The cloud's crossing: sample points on its wave and their times in seconds from the start.
struct CloudDrift {
    std::vector<cg::Point> points;
    std::vector<double> seconds;
};
CloudDrift cloudDrift(const Sprite& s);

// A fountain's pictures in one colour: 20 ring frames (fewer when a bitmap fails) and the spray disc.
// Drawn once per colour and shared.
struct Basin {
    std::vector<cg::ImageRef> rings;
    cg::ImageRef spray;
};
Basin basin(uint32_t color);

// The ease-out timing curve (control points (0, 0) and (0.58, 1)) at x.
double easedOut(double x);

}  // namespace layers
