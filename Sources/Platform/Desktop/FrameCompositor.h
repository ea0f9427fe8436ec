#pragma once
// How a desktop surface gets a layer tree onto the screen. The surface owns pacing and stacking; a
// back end owns the widget that shows the picture and decides how it is drawn (Cairo in memory,
// or OpenGL with one texture per picture).

#include "Platform/Graphics/Image.h"

#include <cstdint>

struct _GtkWidget;
namespace ca {
class Layer;
class Snapshot;
}  // namespace ca

class FrameCompositor {
public:
    virtual ~FrameCompositor() = default;

    // The widget that shows the frames; the surface packs it into its window.
    virtual _GtkWidget* widget() = 0;
    // Brings the picture up to date with the tree at media time t, drawn at window opacity `alpha`
    // (over black), and asks the widget to repaint exactly what changed. Returns whether anything
    // on screen changed.
    virtual bool update(const ca::Layer& root, double mediaTime, double alpha) = 0;
    // The tree as the last update captured it, or nullptr where a back end keeps none: the surface
    // reads frame pacing and finished animations from it rather than walking the tree again.
    virtual const ca::Snapshot* lastSnapshot() const { return nullptr; }
    // Forgets the last frame: the next update repaints everything (after a resize, an expose).
    virtual void invalidate() = 0;
    // The last composited frame, opaque, at the window's pixel size.
    virtual cg::ImageRef frame() const = 0;

    struct Stats {
        uint64_t updates = 0;       // calls of update
        uint64_t frames = 0;        // updates that changed something on screen
        uint64_t pixels = 0;        // device pixels recomposited, all frames together
        uint64_t direct = 0;        // frames sent straight to the window (no toolkit repaint)
        double seconds = 0;         // spent in update: presentation, damage and compositing
        double treeSeconds = 0;     // of which presentation and damage
        uint64_t replays = 0;       // updates whose snapshot replayed an unchanged tree
        uint64_t gpuBytes = 0;      // textures and framebuffers held on the GPU (0 without one)
    };
    virtual const Stats& stats() const = 0;
};
