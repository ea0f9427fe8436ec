#pragma once
// A layer's animations laid out for evaluation (internal to the animation layer): one record per
// animation in the order they apply, a group's children right after it, and the keyframes' key
// times and values in one block of doubles. A frame's walk then reads two short arrays per layer in
// order, instead of following pointers from the layer to each animation, a group's list of children,
// each child and its keyframes (most of which the caches have lost again between two frames).
// The layer builds it again whenever its list of animations changes; animations in a layer never
// change otherwise (the layer holds copies, and a group's children are immutable).

#include "Platform/Animation/Animation.h"
#include "Platform/Animation/KeyPath.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Timeline.h"

#include <cstdint>
#include <span>
#include <vector>

namespace ca::detail {

class Program {
public:
    struct Node {
        // keyframes: numbers or points laid out flat; group: its children follow; other: evaluated
        // from the animation itself (basic animations, transitions, keyframes of pictures or paths).
        enum class Kind : uint8_t { keyframes, group, other };
        Kind kind = Kind::other;
        KeyPath key = KeyPath::unknown;
        CalculationMode mode = CalculationMode::linear;
        KeyframeAnimation::Flat flat = KeyframeAnimation::Flat::none;
        bool additive = false;
        uint32_t end = 0;        // index just past this record and its children
        uint32_t values = 0;     // keyframes: how many
        uint32_t keyTimes = 0;   // keyframes: how many key times lead the data
        uint32_t data = 0;       // keyframes: where the key times start in data()
        uint32_t curves = 0, curveCount = 0;  // keyframes: their intervals' timing functions
        Timing timing;
        const Animation* animation = nullptr;
        // Top-level records only: what frame pacing reads (see Layer::AnimationEntry).
        double span = 0, rate = 0;
        bool reshapes = false;
    };

    template <class Entries>
    void build(const Entries& entries);
    void clear() {
        nodes_.clear();
        data_.clear();
        curves_.clear();
    }

    // The three arrays as one view (a snapshot keeps copies of them, see LayerModel).
    struct View {
        std::span<const Node> nodes;
        const double* data = nullptr;
        std::span<const TimingFunction> curves;
    };
    View view() const { return {nodes_, data_.data(), curves_}; }

    std::span<const Node> nodes() const { return nodes_; }
    std::span<const double> dataSpan() const { return data_; }
    std::span<const TimingFunction> curves() const { return curves_; }

private:
    void add(const Animation& a);

    std::vector<Node> nodes_;
    std::vector<double> data_;
    std::vector<TimingFunction> curves_;
};

template <class Entries>
void Program::build(const Entries& entries) {
    clear();
    for (const auto& e : entries) {
        const size_t at = nodes_.size();
        add(*e.animation);
        Node& n = nodes_[at];
        n.span = e.span;
        n.rate = e.rate;
        n.reshapes = e.reshapes;
    }
}

}  // namespace ca::detail
