#pragma once
// The render pipeline: one request in, one finished picture out.

#include <optional>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Scene/RenderedScene.h"
#include "Scene/SceneSpec.h"

namespace Renderer {

// The rectangles kept clear around each icon and its label, in icon order (scene points); an icon
// whose centre is not finite has none.
std::vector<cg::Rect> keepRects(const SceneSpec& spec);

// Renders the request; `before` is the placement map of the previous render of the same screen.
// No result when the request cannot give a bitmap (empty, non-finite or enormous sizes, in points or in
// pixels, or absurd icon and text sizes): it is refused before any work.
std::optional<RenderedScene> render(const SceneSpec& spec, const PlacementMap& before);

}  // namespace Renderer
