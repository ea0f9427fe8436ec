#pragma once
// Where an animation stands on its time line (internal to the animation layer).

#include "Platform/Animation/Animation.h"

namespace ca::detail {

struct Phase {
    bool applies = false;   // the animation contributes a value at this time
    bool running = false;   // inside its active span (not filling before or after)
    double fraction = 0;    // progress through the iteration, after the timing function
};

// The duration an animation runs with: its own, else the inherited one (0.25 s at the top level).
double durationOf(const Animation& a, double inherited);
// duration × repeats (or the repeat duration), doubled with autoreverses.
double activeDuration(const Animation& a, double duration);
// The animation at parent time T (a layer's local time, or a group's iteration time).
Phase phaseAt(const Animation& a, double parentTime, double duration, bool inGroup);
// A top-level animation whose active span is over at layer time T.
bool hasEnded(const Animation& a, double layerTime);
// Floor-mod: x − m·⌊x/m⌋ in [0, m).
double floorMod(double x, double m);

}  // namespace ca::detail
