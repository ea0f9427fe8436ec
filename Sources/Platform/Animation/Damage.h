#pragma once
// Damage: the device rectangles whose pixels can differ between two frames.
// - A layer contributes only when what it draws changed: its transform to device pixels, its own
//   or its ancestors' opacity (as clamped for drawing), its picture, transition, path, line width,
//   or any model property. It then damages the pixels it touched before and touches now.
// - A layer whose shadow is taken from its content also damages that shadow when anything in its
//   subtree changed.
// - Layers invisible at both times contribute nothing; a paused or static tree gives no damage.
// - When the tree's structure changed, every layer from the first difference on damages its
//   pixels in both frames.
// Rectangles are whole device pixels, clipped to the viewport, and merged where the union costs
// no more area than the two rectangles apart.

#include "Platform/Animation/Snapshot.h"

#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <vector>

namespace ca {

class Layer;

class Damage {
public:
    // The damage between two snapshots of one tree (taken with the same device transform), into
    // `out` (cleared first). Reuses its storage: no allocation once warmed up.
    void compute(const Snapshot& before, const Snapshot& after, std::vector<cg::Rect>& out,
                 const cg::Rect& viewport = cg::Rect::infinite());

    // The same for one tree at two media times (pure: captures both times itself).
    static std::vector<cg::Rect> between(const Layer& root, double t0, double t1, const cg::Transform& userToDevice,
                                         const cg::Rect& viewport = cg::Rect::infinite());

    // Merges overlapping rectangles in place where the union is no larger than both apart.
    static void merge(std::vector<cg::Rect>& rects);

private:
    std::vector<uint8_t> changed_;
};

}  // namespace ca
