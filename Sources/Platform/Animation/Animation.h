#pragma once
// The base of every animation: media timing (begin time, duration, speed, time offset, repeats,
// fill), a timing function over the whole duration and a preferred frame-rate range.
//
// Timing rules (hierarchical time, as on the reference platform):
// - A layer's local time is (parent time − beginTime)·speed + timeOffset; the root's parent time is
//   the media time.
// - An animation's active time is (layer time − beginTime)·speed. It is active for
//   duration × repeatCount (or repeatDuration; twice as long with autoreverses), and within that
//   span it shows the point (active time + timeOffset) floor-mod its cycle: a time offset advances
//   the phase and wraps round, negative offsets too.
// - beginTime 0 on an animation added to a layer means "now": Layer::commit(mediaTime) sets it to
//   the layer's local time at that moment.
// - Before its begin an animation applies only with fill backwards; after its end only with fill
//   forwards and not removed on completion. Children of a group ignore isRemovedOnCompletion: they
//   apply within the group's span as their fill mode says.
// - A zero duration means 0.25 s at the top level, and the group's duration inside a group.

#include "Platform/Animation/TimingFunction.h"

#include <limits>
#include <memory>
#include <optional>

namespace ca {

enum class FillMode { removed, forwards, backwards, both };

// Frames per second; all zero means "no preference" (the host's cap applies).
struct FrameRateRange {
    float minimum = 0;
    float maximum = 0;
    float preferred = 0;
    bool isDefault() const { return minimum == 0 && maximum == 0 && preferred == 0; }
    friend bool operator==(const FrameRateRange&, const FrameRateRange&) = default;
};

constexpr double kForever = std::numeric_limits<double>::infinity();

class Animation {
public:
    enum class Kind { basic, keyframe, group, transition };

    virtual ~Animation() = default;
    virtual std::unique_ptr<Animation> clone() const = 0;
    Kind kind() const { return kind_; }

    double beginTime = 0;
    double duration = 0;
    double speed = 1;
    double timeOffset = 0;
    double repeatCount = 0;      // 0 means once; kForever repeats forever
    double repeatDuration = 0;   // when > 0, the active span instead of repeatCount
    bool autoreverses = false;
    FillMode fillMode = FillMode::removed;
    bool isRemovedOnCompletion = true;
    std::optional<TimingFunction> timingFunction;
    FrameRateRange preferredFrameRateRange;

protected:
    explicit Animation(Kind kind) : kind_(kind) {}
    Animation(const Animation&) = default;
    Animation& operator=(const Animation&) = default;

private:
    Kind kind_;
};

}  // namespace ca
