#pragma once
// Paints a layer tree with cg into a context, only inside a list of device rectangles (damage).
// - Each layer draws, in order: the shadow of its shadowPath, its background (rounded by the corner
//   radius), its contents scaled into its bounds (or its shape, or its gradient), then its
//   sublayers. Contents are not masked by the corner radius.
// - Opacity applies to a layer's whole subtree as a group (as does a compositing filter such as
//   colour dodge, and a shadow taken from the rendered content). A subtree that draws only once
//   gets the effect on that one operation, with no offscreen group.
// - Opacity is clamped to [0, 1]; hidden and fully transparent subtrees are skipped, and so is
//   every layer whose pixels lie outside the rectangle being painted.
// Device rectangles are in the context's y-up pixel space and should be whole pixels.

#include "Platform/Animation/Snapshot.h"

#include "Platform/Graphics/Context.h"

#include <optional>
#include <span>

namespace ca {

class Layer;

class Compositor {
public:
    // Each damaged rectangle is first cleared to this colour (transparent by default), or left
    // as it was when set to nothing (the tree then covers it with opaque pixels itself).
    void setBackground(std::optional<cg::Color> c) { background_ = c; }

    // Paints the snapshot, which must have been captured with this context's ctm().
    void render(const Snapshot& snapshot, cg::Context& ctx, std::span<const cg::Rect> deviceRects);
    // Captures the tree at time t and paints it.
    void render(const Layer& root, double mediaTime, cg::Context& ctx, std::span<const cg::Rect> deviceRects);
    // The whole bitmap.
    void renderAll(const Layer& root, double mediaTime, cg::Context& ctx);

    // What the last render did (for tests and benchmarks).
    struct Stats {
        uint64_t layersDrawn = 0;   // layers with own operations drawn, summed over the rectangles
        uint64_t layersSkipped = 0; // subtrees skipped because they lie outside the rectangle
        uint64_t groups = 0;        // offscreen groups (transparency layers)
    };
    const Stats& stats() const { return stats_; }

private:
    struct Effect {
        double alpha = 1;
        cg::BlendMode blend = cg::BlendMode::normal;
        const Snapshot::Shadow* shadow = nullptr;
        bool trivial() const { return alpha == 1 && blend == cg::BlendMode::normal && !shadow; }
    };

    void drawLayer(size_t i, const Effect& outer);
    void drawContents(size_t i, const Effect& effect);
    void drawOwn(const Snapshot::Entry& e, const Effect& effect);
    void beginGroup(const Effect& effect);
    void endGroup();
    void apply(const Effect& effect);

    std::optional<cg::Color> background_ = cg::Color::clear();
    const Snapshot* snap_ = nullptr;
    cg::Context* ctx_ = nullptr;
    cg::Rect rect_;
    Snapshot own_;
    Stats stats_;
};

}  // namespace ca
