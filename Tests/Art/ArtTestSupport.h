#pragma once
// A painter over a small transparent bitmap for drawing tests.

#include <cmath>
#include <cstdint>
#include <memory>

#include "Art/Art.h"
#include "Graphics/CgTestSupport.h"
#include "Platform/Graphics/Context.h"
#include "Pipeline/Render.h"
#include "Renderer/TerrainLayout.h"

namespace arttest {

struct Painter {
    std::unique_ptr<cg::Context> bitmap;
    std::unique_ptr<Art> art;
    Art* operator->() const { return art.get(); }
};

// A painter over a transparent bitmap with the terrain and keep rectangles a render of `s` would have;
// nothing painted yet.
inline Painter painterFor(const SceneSpec& s) {
    Look look(s.kind, s.night, static_cast<float>(s.size.height));
    auto keep = Renderer::keepRects(s);
    Terrain t = Renderer::terrain(s, look, keep);
    Painter p;
    p.bitmap = cg::Context::makeBitmap(static_cast<int>(std::ceil(s.size.width * s.scale)),
                                       static_cast<int>(std::ceil(s.size.height * s.scale)), s.scale);
    p.art = std::make_unique<Art>(p.bitmap.get(), s, std::move(t), keep, std::move(look), PlacementMap{});
    return p;
}

inline Painter painter(double w = 320, double h = 240, double scale = 1, SceneKind kind = SceneKind::sea,
                       bool night = false) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = scale;
    s.iconSize = 64;
    s.textSize = 12;
    s.kind = kind;
    s.night = night;
    return painterFor(s);
}

// Premultiplied ARGB32 pixels of an image as one vector, for comparing pictures.
inline std::vector<uint32_t> pixels(const cg::Image& img) {
    return {img.data(), img.data() + static_cast<std::size_t>(img.pixelWidth()) * img.pixelHeight()};
}

}  // namespace arttest
