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

// Wall-clock and process CPU milliseconds of one render's stages (all threads' CPU time counts).
struct StageTimes {
    struct Span {
        double wall = 0;
        double cpu = 0;
    };
    Span terrain;  // look, keep rects and terrain grids
    Span bitmap;   // creating the bitmap context
    Span shading;  // shading every pixel (a task on the loop threads, alongside the painter, when threads allow)
    Span painter;  // the scene's painter, including any wait for the shading
    double waited = 0;  // ms painter threads spent waiting for (or helping with) the shading, summed
    Span image;    // the finished image from the bitmap
};

// Renders the request; `before` is the placement map of the previous render of the same screen.
// No result when the request cannot give a bitmap (empty, non-finite or enormous sizes, in points or in
// pixels, or absurd icon and text sizes): it is refused before any work.
std::optional<RenderedScene> render(const SceneSpec& spec, const PlacementMap& before);

// Bytes of the picture a render of `spec` draws into (0 when it cannot have one): what to bring in ahead.
std::size_t pictureBytes(const SceneSpec& spec);

// The same, adding the stages' durations to `times` (benchmarks). They are measured between stages,
// never inside them, so the picture is the one `render` gives.
std::optional<RenderedScene> renderTimed(const SceneSpec& spec, const PlacementMap& before, StageTimes& times);

}  // namespace Renderer
