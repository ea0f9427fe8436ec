#pragma once
// Warzone painters over synthetic terrains (a height function, everything open ground unless said), each
// drawing into its own transparent bitmap.

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "Art/Art.h"
#include "Art/Battlefield.h"
#include "Graphics/CgTestSupport.h"
#include "Platform/Graphics/Context.h"

namespace wartest {

struct Painter {
    std::unique_ptr<cg::Context> bitmap;
    std::unique_ptr<Art> art;
    Art::Battlefield field() const { return Art::Battlefield(*art); }
};

inline SceneSpec spec(double w, double h, bool night = false, double scale = 1) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = scale;
    s.iconSize = 48;
    s.textSize = 10;
    s.kind = SceneKind::warzone;
    s.night = night;
    return s;
}

inline std::unique_ptr<cg::Context> canvas(const SceneSpec& s) {
    return cg::Context::makeBitmap(static_cast<int>(std::ceil(s.size.width * s.scale)),
                                   static_cast<int>(std::ceil(s.size.height * s.scale)), s.scale);
}

// Height from `height` at every grid node (scene points 4c, 4r); the solid body is `body` everywhere.
inline Painter synthetic(const SceneSpec& s, const std::function<float(double, double)>& height,
                         std::vector<cg::Rect> keep = {}, PlacementMap before = {}, float body = 0) {
    const int64_t cols = Terrain::columnsFor(s.size.width), rows = Terrain::rowsFor(s.size.height);
    Terrain t;
    t.v = std::make_shared<Grid>(cols, rows, 0.0f);
    for (int64_t r = 0; r < rows; ++r)
        for (int64_t c = 0; c < cols; ++c) t.v->at(c, r) = height(4.0 * c, 4.0 * r);
    t.body = std::make_shared<Grid>(cols, rows, body);
    t.shade = std::make_shared<Grid>(cols, rows, 0.0f);
    t.depth = std::make_shared<Grid>(cols, rows, 0.0f);
    t.tex = std::make_shared<Grid>(cols, rows, 0.0f);
    Painter p;
    p.bitmap = canvas(s);
    p.art = std::make_unique<Art>(p.bitmap.get(), s, std::move(t), std::move(keep), Look(s.kind, s.night, float(s.size.height)),
                                  std::move(before));
    return p;
}

inline bool clearOf(const std::vector<cg::Rect>& keep, const cg::Rect& box) {
    for (const cg::Rect& r : keep)
        if (box.intersects(r)) return false;
    return true;
}

}  // namespace wartest
