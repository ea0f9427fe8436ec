#pragma once
// Keyframe animation over `values`, or along a path (for "position").
// - keyTimes: fractions of the duration, ascending from 0 to 1. Without them the keyframes are
//   evenly spaced: n − 1 intervals for linear and cubic mode, n intervals for discrete mode.
//   Discrete mode takes n + 1 key times (value i shows from keyTimes[i] up to keyTimes[i+1]) or n.
// - calculationMode: linear; discrete (each value holds until the next key time); cubic, the
//   Catmull-Rom spline (Kochanek–Bartels with tension, continuity and bias 0). Its tangent at an
//   inner keyframe is half the difference of its neighbours, scaled for uneven key times by
//   2·Δ/(Δ_before + Δ_after); the end keyframes repeat themselves as outer neighbours.
// - timingFunctions: one per interval, applied to the fraction within the interval.
// - A path replaces the values: its drawing elements (lines, curves, closes) are the intervals,
//   evenly spaced in time when there are no key times (elements + 1 key times otherwise); within a
//   curve time runs along the curve's parameter. rotationMode auto adds the path's tangent angle to
//   the layer's rotation (autoReverse adds it plus π); at a key time the next interval's tangent
//   applies.

#include "Platform/Animation/PropertyAnimation.h"
#include "Platform/Animation/Value.h"

#include <optional>
#include <span>
#include <vector>

namespace ca {

enum class CalculationMode { linear, discrete, cubic };
enum class RotationMode { none, autoRotate, autoReverse };

class KeyframeAnimation : public PropertyAnimation {
public:
    explicit KeyframeAnimation(std::string keyPath) : PropertyAnimation(Kind::keyframe, std::move(keyPath)) {}
    std::unique_ptr<Animation> clone() const override { return std::make_unique<KeyframeAnimation>(*this); }

    std::vector<Value> values;
    std::vector<double> keyTimes;
    std::vector<TimingFunction> timingFunctions;
    CalculationMode calculationMode = CalculationMode::linear;
    RotationMode rotationMode = RotationMode::none;

    void setPath(const cg::Path& path);
    void clearPath() { path_.reset(); segments_.clear(); }
    const std::optional<cg::Path>& path() const { return path_; }

    // One drawing element of the path, as a cubic (a line has its controls on the line).
    struct Segment {
        cg::Point p0, c1, c2, p1;
        bool line = false;
    };
    const std::vector<Segment>& segments() const { return segments_; }

    // The key times and the values again, side by side in one block of plain doubles: what
    // evaluation reads instead of two arrays and the values' variants (one or two cache lines for a
    // handful of keyframes, no type tests). The key times come first (as many as keyTimes holds),
    // then one double per number or an x and a y per point. A layer lays out its own copy when the
    // animation is added; none otherwise, or when the values are not all numbers (all points).
    // Whoever edits a laid-out copy lays it out again or clears it.
    enum class Flat { none, numbers, points };
    void layOutFlat();
    void clearFlat() {
        flat_.clear();
        flatKind_ = Flat::none;
    }
    Flat flatKind() const { return flatKind_; }
    std::span<const double> flat() const { return flat_; }

private:
    std::optional<cg::Path> path_;
    std::vector<Segment> segments_;
    std::vector<double> flat_;
    Flat flatKind_ = Flat::none;
};

}  // namespace ca
