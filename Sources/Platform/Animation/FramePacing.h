#pragma once
// Frame pacing: how often the host must redraw the tree, from the animations running now.
// - rate: the largest preferred frame rate among the animations running at this time (an
//   animation without a preference counts as the cap), never above the cap (30 frames per second,
//   or 15 in Low Power Mode). Zero: nothing moves, so no frames are needed and no timer should run.
// - An animation runs while it is inside its active span on a time line that moves: one paused
//   through a layer's (or its own) speed 0, one not begun yet and one finished (even when it
//   fills forwards) do not run.
// - nextStart: the earliest media time after now at which a waiting animation begins, so the host
//   can sleep until then (a ripple ring that starts 0.44 s after the click, a walker's resumed walk).

#include <optional>

namespace ca {

class Layer;

struct FrameRequest {
    double rate = 0;
    std::optional<double> nextStart;
    bool needsFrames() const { return rate > 0; }
};

FrameRequest frameRequest(const Layer& root, double mediaTime, double cap);

class Animation;
namespace detail {
// The rate a running animation asks for: its own preference, else its children's, else `cap`.
double preferredRate(const Animation& a, double cap);
}  // namespace detail

}  // namespace ca
