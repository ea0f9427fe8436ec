#pragma once
// A small archipelago painter drawing into its own bitmap, and pixel reads in drawing space, for the
// island prop and ape tests.

#include <cmath>
#include <cstdint>
#include <memory>

#include "Art/Archipelago.h"
#include "Art/Art.h"
#include "Graphics/CgTestSupport.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Pipeline/Render.h"
#include "Renderer/TerrainLayout.h"

namespace islandtest {

struct Painter {
    std::unique_ptr<cg::Context> bitmap;
    std::unique_ptr<Art> art;
};

// An archipelago of w × h points at `scale`. A scale too large for any frame gets a 1× scene bitmap, so
// the scene still draws while every offscreen picture fails.
inline Painter painter(bool night, double scale = 1, double w = 240, double h = 180) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = scale;
    s.iconSize = 64;
    s.textSize = 12;
    s.kind = SceneKind::archipelago;
    s.night = night;
    Look look(s.kind, s.night, static_cast<float>(h));
    auto keep = Renderer::keepRects(s);
    Terrain t = Renderer::terrain(s, look, keep);
    const double bitmapScale = scale > 8 ? 1 : scale;
    Painter p;
    p.bitmap = cg::Context::makeBitmap(static_cast<int>(std::ceil(w * bitmapScale)),
                                       static_cast<int>(std::ceil(h * bitmapScale)), bitmapScale);
    p.art = std::make_unique<Art>(p.bitmap.get(), s, std::move(t), keep, std::move(look), PlacementMap{});
    return p;
}

using cgtest::Px;
using cgtest::unpack;
using cgtest::outDir;

// The pixel under a drawing-space point (y up) of a context or image drawn at `scale`.
inline Px at(const cg::Context& c, cg::Point p) {
    const double s = c.scale();
    return unpack(c.pixel(static_cast<int>(std::floor(p.x * s)), c.pixelHeight() - 1 - static_cast<int>(std::floor(p.y * s))));
}
inline Px at(const cg::Image& img, cg::Point p, double scale) {
    return unpack(img.pixel(static_cast<int>(std::floor(p.x * scale)),
                            img.pixelHeight() - 1 - static_cast<int>(std::floor(p.y * scale))));
}

// An opaque pixel of colour 0xRRGGBB, within `tol` per channel.
inline bool near(Px p, uint32_t rgb, int tol = 2) {
    return p.a == 255 && std::abs(p.r - int((rgb >> 16) & 0xFF)) <= tol &&
           std::abs(p.g - int((rgb >> 8) & 0xFF)) <= tol && std::abs(p.b - int(rgb & 0xFF)) <= tol;
}

}  // namespace islandtest
