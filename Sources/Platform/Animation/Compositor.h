#pragma once
// Paints a layer tree with cg into a context, only inside a list of device rectangles (damage).
// - Each layer draws, in order: the shadow of its shadowPath, its background (rounded by the corner
//   radius), its contents scaled into its bounds (or its shape, or its gradient), then its
//   sublayers. Contents are not masked by the corner radius.
// - Opacity applies to a layer's whole subtree as a group (as does a compositing filter such as
//   colour dodge, and a shadow taken from the rendered content). A subtree that draws only once
//   gets the effect on that one operation, with no offscreen group.
// - Opacity is clamped to [0, 1]; hidden and fully transparent subtrees are skipped, and so is
//   every layer whose pixels lie outside all the rectangles.
// - The tree is walked once. What a layer draws (or a group composites) is clipped to the
//   rectangles it touches, and not clipped at all when one rectangle holds it whole; pictures are
//   drawn without a clip of their own (cg::Context::drawUnclipped).
// - A picture on a layer that no animation turns or scales (see Snapshot::Entry::rigid), drawn
//   without rotation, is resampled once per quarter-pixel phase and size and then copied pixel for
//   pixel: its position is rounded to a quarter pixel. Resampled pictures unused for 120 renders
//   are dropped. The choice depends only on the tree, so the same tree and time give the same
//   pixels whatever was drawn before.
// Device rectangles are in the context's y-up pixel space and should be whole pixels.

#include "Platform/Animation/RectIndex.h"
#include "Platform/Animation/Snapshot.h"

#include "Platform/Graphics/Context.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace ca {

class Layer;

// The filter cg draws a layer's contents with: nearest only when the layer asks for it both ways.
cg::ImageFilter contentsFilter(const Layer& layer);
cg::ImageFilter contentsFilter(ContentsFilter minification, ContentsFilter magnification);

// Draws what a layer draws itself, before its sublayers, with cg: the shadow of its shadow path, its
// background (rounded by the corner radius), its contents or their cross-fade, its shape or gradient.
// The context's opacity, blend mode and shadow apply to each operation; its state is left as it was.
// `still` draws contents that are not in a transition (in the layer's user space; unset: drawn
// unclipped into the layer's bounds). Returns the transparency layers it began.
using StillPicture = std::function<void(const cg::ImageRef& image, cg::ImageFilter filter)>;
int drawOwnOperations(cg::Context& c, const Snapshot::Entry& e, const StillPicture& still = {});

class Compositor {
public:
    // Each damaged rectangle is first cleared to this colour (transparent by default), or left
    // as it was when set to nothing (the tree then covers it with opaque pixels itself). The
    // clearing is also left out where the first thing drawn is an opaque picture, copied pixel
    // for pixel at full strength, that covers every rectangle (a desktop's ground).
    void setBackground(std::optional<cg::Color> c) { background_ = c; }

    // Paints the snapshot, which must have been captured with this context's ctm().
    void render(const Snapshot& snapshot, cg::Context& ctx, std::span<const cg::Rect> deviceRects);
    // Captures the tree at time t and paints it.
    void render(const Layer& root, double mediaTime, cg::Context& ctx, std::span<const cg::Rect> deviceRects);
    // The whole bitmap.
    void renderAll(const Layer& root, double mediaTime, cg::Context& ctx);

    // What the last render did (for tests and benchmarks).
    struct Stats {
        uint64_t layersDrawn = 0;    // layers whose own operations were drawn
        uint64_t layersSkipped = 0;  // subtrees skipped because they lie outside every rectangle
        uint64_t groups = 0;         // offscreen groups (transparency layers)
        uint64_t clipped = 0;        // drawings clipped to rectangles (the others lay inside one)
        uint64_t resampled = 0;      // pictures resampled into the cache
        uint64_t copied = 0;         // pictures copied pixel for pixel
        bool backgroundSkipped = false;  // an opaque picture covered every rectangle
    };
    size_t cachedPictures() const { return cache_.size(); }
    const Stats& stats() const { return stats_; }

private:
    struct Effect {
        double alpha = 1;
        cg::BlendMode blend = cg::BlendMode::normal;
        const Snapshot::Shadow* shadow = nullptr;
        bool trivial() const { return alpha == 1 && blend == cg::BlendMode::normal && !shadow; }
    };

    struct PictureKey {
        const cg::Image* image;
        double width, height;  // device pixels
        int phaseX, phaseY;    // quarter pixels
        cg::ImageFilter filter;
        friend bool operator==(const PictureKey&, const PictureKey&) = default;
    };
    struct PictureHash {
        size_t operator()(const PictureKey& k) const;
    };
    struct Picture {
        cg::ImageRef source;  // keeps the key's image alive
        cg::ImageRef resampled;
        uint64_t lastUse = 0;
    };

    // `inside`: drawing already lands only inside the damage (within a clipped group).
    void drawLayer(size_t i, const Effect& outer, bool inside);
    void drawContents(size_t i, const Effect& effect, bool inside);
    void drawOwn(const Snapshot::Entry& e, const Effect& effect, bool inside);
    void drawPicture(const Snapshot::Entry& e, const cg::ImageRef& image, cg::ImageFilter filter);
    bool clipTo(const cg::Rect& deviceBounds);  // true when it saved the state to clip
    void beginGroup(const Effect& effect, const cg::Rect& deviceBounds, bool inside);
    void endGroup();
    void apply(const Effect& effect);
    void evict();
    bool coveredByOpaquePicture(std::span<const cg::Rect> rects);
    bool opaque(const cg::ImageRef& image);

    std::optional<cg::Color> background_ = cg::Color::clear();
    const Snapshot* snap_ = nullptr;
    cg::Context* ctx_ = nullptr;
    detail::RectIndex rects_;
    std::vector<cg::Rect> scratch_;
    std::vector<bool> groupClips_;
    std::unordered_map<PictureKey, Picture, PictureHash> cache_;
    uint64_t renders_ = 0;
    std::weak_ptr<const cg::Image> opaqueChecked_;  // the last picture whose alpha was scanned, and the answer
    bool opaqueAnswer_ = false;
    Snapshot own_;
    Stats stats_;
};

}  // namespace ca
