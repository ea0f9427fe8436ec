#pragma once
// The small water marks: a drifting arc (waves without a picture, streaks), a sliding whitecap and a
// surf run-up. Each returns one self-running layer.

#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <memory>

namespace layers {

// A bright arc of half width a, bulge b and line width c that swells, drifts sideways over `travel`
// points on a shallow curve and fades; the arc picture is painted once per (a, b, c, colour).
std::shared_ptr<ca::Layer> drifting(const Sprite& s, double halfWidth, double bulge, double line, float peak);
// The shared arc picture of `drifting` (none when its bitmap cannot be made).
cg::ImageRef arcImage(double halfWidth, double bulge, double line, uint32_t color);
// The sprite's crest picture sliding off down and to the right while it stretches and fades.
std::shared_ptr<ca::Layer> whitecap(const Sprite& s);
// A short arc (or the sprite's picture) running from `at` to `to`, falling back halfway and fading.
std::shared_ptr<ca::Layer> surf(const Sprite& s);

}  // namespace layers
