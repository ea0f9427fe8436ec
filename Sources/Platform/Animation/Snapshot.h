#pragma once
// The layer tree as it is drawn at one time: every layer of the tree in painting order (a layer,
// then its sublayers' subtrees), with its presentation, its transform to the context's user space
// and to device pixels, how it composites, and the device rectangles it touches. The compositor
// paints from a snapshot, and the damage between two frames is the difference of two snapshots.
//
// Device space is the target bitmap's y-up pixel space (what cg::Context::ctm() maps to).
// A snapshot reuses its storage: capturing the same tree again allocates nothing.

#include "Platform/Animation/FramePacing.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/LayerModel.h"
#include "Platform/Animation/Presentation.h"

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace ca {

class Layer;

class Snapshot {
public:
    struct Shadow {
        cg::Size offset;  // device pixels, y up
        double blur = 0;  // cg blur (two standard deviations), device pixels
        cg::Color color = cg::Color::clear();  // alpha includes the shadow opacity
        friend bool operator==(const Shadow&, const Shadow&) = default;
    };

    struct Entry {
        const Layer* layer = nullptr;
        uint64_t id = 0;
        uint64_t version = 0;
        uint32_t end = 0;        // index just past this layer's subtree
        bool visible = false;    // false: hidden, transparent, or under such a layer
        // Of the layer, beside the rest, so that a compositor need not reach the layer for them:
        Layer::Kind kind = Layer::Kind::plain;
        bool filled = false;  // a background colour that is not clear
        cg::ImageFilter contentsFilter = cg::ImageFilter::good;
        Presentation pres;       // valid when visible
        cg::Transform toUser;    // bounds space → context user space
        cg::Transform toDevice;  // bounds space → device pixels
        double alpha = 1;        // own opacity, clamped to [0, 1]
        double outerAlpha = 1;   // product of the ancestors' alphas
        bool outerFilter = false;  // an ancestor composites with a filter
        // No animation of this layer or an ancestor turns or scales it: its transform to device
        // pixels changes by translation only (the compositor may reuse resampled pictures).
        bool rigid = true;
        cg::BlendMode blend = cg::BlendMode::normal;
        bool contentShadow = false;  // shadow of the rendered subtree
        bool pathShadow = false;     // shadow of shadowPath (one of the own operations)
        Shadow shadow;
        uint32_t ownOps = 0;      // drawing operations of the layer itself
        uint32_t subtreeOps = 0;  // of the layer and all its visible sublayers
        cg::Rect ownBounds = cg::Rect::null();      // device pixels the own operations touch
        cg::Rect subtreeBounds = cg::Rect::null();  // device pixels the whole subtree touches
        cg::Rect shadowBounds = cg::Rect::null();   // device pixels a content shadow touches
    };

    // Captures the tree under `root` at media time t for a context whose user space is the root's
    // superlayer space and whose ctm() is userToDevice. The root's own geometry applies.
    void capture(const Layer& root, double mediaTime, const cg::Transform& userToDevice);

    // Motion below this many device pixels is not drawn (0, the default, draws every change):
    // each layer's transform to device pixels is rounded to a lattice whose steps move the drawn
    // box by about this much, and opacities are rounded to 1/128. A slow mover then changes only
    // every few frames, and the damage between frames shrinks with it. The rounding depends only
    // on the layer and the time, never on earlier frames. Identity, whole and dyadic scales,
    // zero angles and (for a tolerance under 1/2) boxes centred on quarter pixels stay exact.
    void setMotionTolerance(double devicePixels) {
        tolerance_ = devicePixels > 0 ? devicePixels : 0;
        memo_.clear();  // its steps were worked out for the old tolerance
    }
    double motionTolerance() const { return tolerance_; }

    // The lattice: `t` (bounds space → device) rounded as above for a layer drawing `extent`
    // (bounds space). Rigid layers keep their linear part and only their position is rounded.
    static cg::Transform settled(const cg::Transform& t, const cg::Rect& extent, bool rigid, double tolerance);

    // What settled() keeps of a layer's last frame: the lattice steps it worked out, and the cells of
    // the angle and of the reach that the last transform fell in. A transform that stays inside them
    // (most frames of a turning layer) is rounded with a few products instead of trigonometry, to
    // the same bits; near any rounding boundary the full computation decides.
    struct Memo {
        double reach = std::numeric_limits<double>::quiet_NaN(), fine = 0;
        double reachLoSq = 0, reachHiSq = -1;  // squared reaches strictly between keep `fine`
        double angle = std::numeric_limits<double>::quiet_NaN(), cos = 1, sin = 0;
        double cellStep = 0;  // the angle step `angle` was rounded with
        double cellTan = 0;   // the half cell about `angle` less a margin, as a bound on tan (0: no cell)
    };
    // settled() with the memo of the same layer's last frame (a fresh Memo for the first).
    static cg::Transform settled(const cg::Transform& t, const cg::Rect& extent, bool rigid, double tolerance,
                                 Memo& memo);

    // The same walk gathers what frame pacing needs: frameRequest(root, time(), cap) without a walk
    // of its own, as it stands once the finished animations are removed.
    FrameRequest frameRequest(double cap) const;
    // Animations of the tree that are finished at time() and removed on completion, which
    // Layer::removeFinishedAnimations would free. The snapshot is what it would be without them.
    size_t finishedAnimations() const { return finished_; }

    // Whether the last capture replayed the copies of the one before (no layer had changed since).
    bool replayed() const { return replaying_; }
    double time() const { return time_; }
    const cg::Transform& userToDevice() const { return userToDevice_; }
    std::span<const Entry> entries() const { return {entries_.data(), count_}; }

private:
    static cg::Transform settled(const cg::Transform& t, const cg::Rect& extent, bool rigid, double tolerance,
                                 double positionStep, Memo& memo);

    struct Visit {
        uint32_t ops = 0;
        cg::Rect bounds = cg::Rect::null();
    };
    // scale and offset: the superlayer's time line as media·scale + offset (how pacing reads it).
    // `source`: the layer to copy and visit, or null to visit the next copy when replaying.
    Visit visit(const Layer* source, double parentTime, double scale, double offset, const cg::Transform& parentToUser,
                double outerAlpha, bool outerFilter, bool rigid, bool culled);

    std::vector<Entry> entries_;
    size_t count_ = 0;
    // The tree as the last full walk copied it, in painting order, and the mutation count it saw.
    std::vector<detail::LayerModel> models_;
    std::vector<detail::Program::Node> nodes_;
    std::vector<double> data_;
    std::vector<TimingFunction> curves_;
    const Layer* modelRoot_ = nullptr;
    uint64_t modelMutations_ = 0;
    bool replaying_ = false;
    double time_ = 0;
    double tolerance_ = 0;
    double positionStep_ = 0;  // the lattice of positions at this tolerance
    // What settled() worked out for the entry at the same index in the last capture; only ever a
    // cache of a pure function of its inputs, so a stale one merely misses.
    std::vector<Memo> memo_;
    double rate_ = 0;  // the highest rate a running animation asks for (infinite: no preference)
    std::optional<double> nextStart_;
    size_t finished_ = 0;
    cg::Transform userToDevice_, deviceToUser_;
};

}  // namespace ca
