#pragma once
// A uniform grid over a set of rectangles that answers "does this rectangle touch any of them"
// quickly (internal to the compositor). Rebuilding reuses its storage.

#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <span>
#include <vector>

namespace ca::detail {

class RectIndex {
public:
    void build(std::span<const cg::Rect> rects);
    bool intersectsAny(const cg::Rect& r) const;
    // The rects that intersect r, each once, into `out` (cleared first). Returns true, and stops
    // early, when one of them contains r whole.
    bool collect(const cg::Rect& r, std::vector<cg::Rect>& out);
    std::span<const cg::Rect> rects() const { return rects_; }

private:
    void cellRange(const cg::Rect& r, int& cx0, int& cy0, int& cx1, int& cy1) const;

    std::vector<cg::Rect> rects_;
    cg::Rect box_ = cg::Rect::null();
    double cell_ = 64;
    int cols_ = 0, rows_ = 0;
    std::vector<uint32_t> start_;
    std::vector<uint32_t> items_;
    std::vector<uint32_t> next_;
    std::vector<uint32_t> seen_;  // query stamp per rect
    uint32_t stamp_ = 0;
};

}  // namespace ca::detail
