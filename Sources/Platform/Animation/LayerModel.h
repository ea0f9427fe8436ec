#pragma once
// What a frame's walk reads of a layer (internal to the animation layer), copied out of it. A
// snapshot keeps one per layer in painting order, with copies of the layers' laid-out animations:
// while no layer anywhere has changed since, the next capture reads these arrays front to back
// instead of following the tree's pointers (most of which the caches have lost between two frames).

#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Program.h"

#include <cstdint>
#include <optional>

namespace ca::detail {

struct LayerModel {
    const Layer* layer = nullptr;  // for what only a few layers have (shapes, gradients, shadow paths)
    Layer::Kind kind = Layer::Kind::plain;
    bool hidden = false;
    CompositingFilter filter = CompositingFilter::none;
    ContentsFilter minFilter = ContentsFilter::linear, magFilter = ContentsFilter::linear;
    uint32_t children = 0;  // sublayers
    uint64_t id = 0, version = 0;
    cg::Rect bounds;
    cg::Point position, anchorPoint;
    double opacity = 1, beginTime = 0, speed = 1, timeOffset = 0;
    cg::Transform transform;
    cg::ImageRef contents;
    TransformParts parts;
    double shadowOpacity = 0, shadowRadius = 0;
    std::optional<cg::Color> background;
    cg::Color shadowColor;
    cg::Size shadowOffset;
    // Where the layer's laid-out animations start in the snapshot's copies.
    uint32_t nodes = 0, nodeCount = 0, data = 0, curves = 0;

    // Copies the layer (the laid-out animations are copied by whoever keeps them).
    void assign(const Layer& l);
};

// The presentation of the layer `m` describes, with its laid-out animations.
void evaluate(const LayerModel& m, const Program::View& program, double localTime, Presentation& out);

}  // namespace ca::detail
