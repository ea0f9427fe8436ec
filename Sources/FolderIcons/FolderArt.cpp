// The folder icon of each scene: a classic folder in the scene's colour with the scene's symbol.

#include "FolderIcons/FolderIcons.h"
#include "FolderIcons/FolderSymbols.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

#include <algorithm>
#include <array>

namespace FolderIcons {

Theme theme(SceneKind kind) {
    static constexpr std::array<Theme, 10> themes = {{
        {0x36C5C0, "beach.umbrella.fill"},
        {0xE8834F, "mountain.2.fill"},
        {0x8C7CF5, "moon.stars.fill"},
        {0xF0B43C, "building.2.fill"},
        {0xE06A48, "house.fill"},
        {0x9FD6F0, "snowflake"},
        {0xFF7F6E, "fish.fill"},
        {0x9AAA55, "shield.fill"},
        {0x3A9BE0, "water.waves"},
        {0xEE8FB8, "camera.macro"},
    }};
    return themes[scene_kind::position(kind)];
}

cg::Color tint(uint32_t rgb, double k) {
    const cg::Color c = cg::Color::rgb(rgb);
    return {std::min(k * c.r, 1.0), std::min(k * c.g, 1.0), std::min(k * c.b, 1.0), 1};
}

cg::ImageRef art(SceneKind kind) {
    auto bitmap = cg::Context::makeBitmap(512, 512, 2);
    if (!bitmap) return nullptr;
    cg::Context& g = *bitmap;
    const uint32_t c = theme(kind).color;

    cg::Path back;
    back.addRoundedRect({20, 44, 216, 158}, 14, 14);
    back.addRoundedRect({20, 186, 90, 28}, 8, 8);
    cg::Path front;
    front.addRoundedRect({20, 44, 216, 140}, 14, 14);

    {
        cg::SavedState s(g);
        g.setShadow({0, -4}, 10, cg::Color::black(0.45));
        g.setFillColor(tint(c, 0.82));
        g.fill(back);
    }
    {
        cg::SavedState s(g);
        g.setShadow({0, 1.5}, 3, cg::Color::black(0.25));
        g.setFillColor(tint(c, 1));
        g.fill(front);
    }
    {
        cg::SavedState s(g);
        g.clip(front);
        const cg::Gradient shade({tint(c, 1.1), tint(c, 0.93)}, {0, 1});
        g.drawLinearGradient(shade, {0, 184}, {0, 44});
        g.setStrokeColor(cg::Color::white(0.6));
        g.setLineWidth(2);
        const std::array<cg::Point, 2> highlight = {{{20, 184}, {236, 184}}};
        g.strokeLineSegments(highlight);
    }
    {
        cg::SavedState s(g);
        g.setStrokeColor(cg::Color::black(0.25));
        g.setLineWidth(1);
        g.stroke(back);
    }
    // The symbol twice: a pale copy just below as an engraved edge, then the dark one centred.
    drawSymbol(g, kind, {128, 112 - 1.5}, cg::Color::white(0.45));
    drawSymbol(g, kind, {128, 112}, tint(c, 0.5));
    return g.makeImage();
}

}  // namespace FolderIcons
