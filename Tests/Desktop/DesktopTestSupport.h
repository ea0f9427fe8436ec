#pragma once
// Scenes and sprite layers for the shell tests: a gradient ground and squares that slide to and fro
// at a chosen frame rate.

#include "DesktopWindow/DesktopWindow.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Graphics/Image.h"

#include <cstdint>
#include <gio/gio.h>
#include <string>
#include <memory>
#include <vector>

namespace desktoptest {

// The GNOME background keys (GSettings' memory back end in these tests).
inline std::string key(const char* k) {
    GSettings* s = g_settings_new("org.gnome.desktop.background");
    gchar* v = g_settings_get_string(s, k);
    std::string out = v;
    g_free(v);
    g_object_unref(s);
    return out;
}

inline void setKey(const char* k, const char* v) {
    GSettings* s = g_settings_new("org.gnome.desktop.background");
    g_settings_set_string(s, k, v);
    g_object_unref(s);
}

inline RenderedScene scene(int width, int height, int sprites) {
    std::vector<uint32_t> px(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            px[size_t(y) * size_t(width) + size_t(x)] = 0xFF000000u | uint32_t(x * 255 / width) << 16 |
                                                        uint32_t(y * 255 / height) << 8 | 0x40u;
    RenderedScene r;
    r.image = cg::Image::fromARGB32(width, height, std::move(px));
    r.style = "sea-day";
    for (int i = 0; i < sprites; ++i) {
        Sprite s;
        s.kind = Sprite::Kind::light;
        s.at = {100.0 + 60 * (i % 40), 100.0 + 60 * (i / 40)};
        s.size = 40;
        s.phase = i / double(sprites);
        s.color = 0x102030u * uint32_t(i % 7 + 1);
        r.sprites.push_back(s);
    }
    r.wet = [](cg::Point) { return true; };
    return r;
}

// A 40 × 40 square of the sprite's colour sliding 30 points right and back every 2 s at `fps`.
inline DesktopWindow::LayerBuilder slidingSquares(float fps = 30) {
    return [fps](const Sprite& s) {
        auto l = std::make_shared<ca::Layer>();
        l->setBounds(cg::Rect(0, 0, s.size, s.size));
        l->setPosition(s.at);
        l->setBackgroundColor(cg::Color::rgb(s.color));
        l->setOpacity(0.8);
        ca::BasicAnimation slide("position");
        slide.fromValue = s.at;
        slide.toValue = cg::Point{s.at.x + 30, s.at.y};
        slide.duration = 1;
        slide.autoreverses = true;
        slide.repeatCount = ca::kForever;
        slide.timeOffset = 2 * s.phase;
        slide.preferredFrameRateRange = {fps / 3, fps, fps};
        l->add(slide, "motion");
        return l;
    };
}

}  // namespace desktoptest
