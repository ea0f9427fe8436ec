#pragma once
// Where an animation stands on its time line (internal to the animation layer).

#include "Platform/Animation/Animation.h"

namespace ca::detail {

struct Phase {
    bool applies = false;   // the animation contributes a value at this time
    bool running = false;   // inside its active span (not filling before or after)
    double fraction = 0;    // progress through the iteration, after the timing function
};

// An animation's media timing alone, as a plain record (what a layer keeps beside its animations
// for evaluation, see Program).
struct Timing {
    double beginTime = 0, duration = 0, speed = 1, timeOffset = 0, repeatCount = 0, repeatDuration = 0;
    TimingFunction curve;  // applies when hasCurve
    bool hasCurve = false;
    bool autoreverses = false;
    bool isRemovedOnCompletion = true;
    FillMode fillMode = FillMode::removed;

    static Timing of(const Animation& a) {
        Timing t;
        t.beginTime = a.beginTime;
        t.duration = a.duration;
        t.speed = a.speed;
        t.timeOffset = a.timeOffset;
        t.repeatCount = a.repeatCount;
        t.repeatDuration = a.repeatDuration;
        t.hasCurve = a.timingFunction.has_value();
        if (t.hasCurve) t.curve = *a.timingFunction;
        t.autoreverses = a.autoreverses;
        t.isRemovedOnCompletion = a.isRemovedOnCompletion;
        t.fillMode = a.fillMode;
        return t;
    }
};

// The duration an animation runs with: its own, else the inherited one (0.25 s at the top level).
template <class T>
double durationOf(const T& a, double inherited) {
    if (a.duration > 0 && a.duration < kForever) return a.duration;  // finite and positive
    return inherited > 0 ? inherited : 0.25;
}
// duration × repeats (or the repeat duration), doubled with autoreverses.
template <class T>
double activeDuration(const T& a, double duration) {
    if (a.repeatDuration > 0) return a.repeatDuration;
    const double count = a.repeatCount > 0 ? a.repeatCount : 1;  // NaN → 1
    return duration * (a.autoreverses ? 2 : 1) * count;
}
// The animation at parent time T (a layer's local time, or a group's iteration time).
Phase phaseAt(const Timing& a, double parentTime, double duration, bool inGroup);
inline Phase phaseAt(const Animation& a, double parentTime, double duration, bool inGroup) {
    return phaseAt(Timing::of(a), parentTime, duration, inGroup);
}
// A top-level animation whose active span is over at layer time T.
bool hasEnded(const Animation& a, double layerTime);
// Floor-mod: x − m·⌊x/m⌋ in [0, m).
double floorMod(double x, double m);

}  // namespace ca::detail
