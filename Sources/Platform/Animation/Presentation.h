#pragma once
// The presented (animated) state of one layer at one time: every value an animation can change,
// plus the geometry derived from them.

#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Path.h"

namespace ca {

class Layer;

struct Presentation {
    double localTime = 0;  // the layer's local time
    cg::Rect bounds;
    cg::Point position;
    cg::Point anchorPoint;
    double opacity = 1;  // not clamped: additive fades may take it below 0 (the compositor clamps)
    double rotation = 0, scaleX = 1, scaleY = 1;  // transform components (see Layer)
    cg::Transform transform;                      // the composed affine transform
    cg::ImageRef contents;
    // A contents transition in progress: the old picture and the fraction faded so far.
    bool inTransition = false;
    cg::ImageRef transitionFrom;
    double transitionProgress = 1;
    // Shape layers.
    bool hasPath = false;
    cg::Path path;
    double lineWidth = 0;

    // Bounds space → superlayer space.
    cg::Transform toSuperlayer() const;
    // Bounding box of the bounds in the superlayer.
    cg::Rect frame() const;
};

namespace detail {
// Fills `out` with the layer's presentation at its local time (reusing out's storage).
void evaluate(const Layer& layer, double localTime, Presentation& out);
}  // namespace detail

}  // namespace ca
