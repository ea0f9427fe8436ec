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
inline double durationOf(const Animation& a, double inherited) {
    if (a.duration > 0 && a.duration < kForever) return a.duration;  // finite and positive
    return inherited > 0 ? inherited : 0.25;
}
// duration × repeats (or the repeat duration), doubled with autoreverses.
inline double activeDuration(const Animation& a, double duration) {
    if (a.repeatDuration > 0) return a.repeatDuration;
    const double count = a.repeatCount > 0 ? a.repeatCount : 1;  // NaN → 1
    return duration * (a.autoreverses ? 2 : 1) * count;
}
// The animation at parent time T (a layer's local time, or a group's iteration time).
Phase phaseAt(const Animation& a, double parentTime, double duration, bool inGroup);
// A top-level animation whose active span is over at layer time T.
bool hasEnded(const Animation& a, double layerTime);
// Floor-mod: x − m·⌊x/m⌋ in [0, m).
double floorMod(double x, double m);

}  // namespace ca::detail
