#pragma once
// A walker: a figure that walks a closed loop one picture per leg, and on a click stops where it
// is, plays a turning sequence and walks on from the same spot, in step with its old timing.
// Its fields live on the model layer only; presentation values are plain records, so nothing of
// them is ever copied into a presented state.

#include "Platform/Animation/Layer.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"

#include <cstddef>
#include <vector>

class ActorLayer : public ca::Layer {
public:
    ActorLayer() = default;

    // The walk pictures: picture i shows while the figure goes from way point i to way point i+1.
    std::vector<cg::ImageRef> frames;
    // The closed loop, in the superlayer's coordinates; the last point leads back to the first.
    std::vector<cg::Point> way;
    // Two sequences when set: [0] plays when the current leg heads right (x grows), [1] otherwise.
    std::vector<std::vector<cg::ImageRef>> turns;
    double tick = 0.1;  // seconds per leg and per picture
    double busy = 0;    // local time until which a turn plays

    // A click at media time `mediaTime`: finds the leg the figure is on from what it presents now
    // (the picture by identity, then the nearest leg within 2 points) and sets it off from there.
    // Does nothing while a turn plays or when the figure cannot be placed on a leg.
    void setOff(double mediaTime);
    // Turns at fraction f of leg i at local time `now`, then walks on from there once the turn is
    // over. Does nothing without two turn sequences, two way points and a walk under "motion".
    void setOff(size_t leg, double f, double now);
};
