#pragma once
// Builds the layers of sway sprites (a picture rocking about its anchor, with a gust now and then)
// and glide sprites (a picture sliding from `at` to `to`, fading in and out, again and again).

#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <memory>

struct SwayGlide {
    // "sway" (period 4.5 s) and an additive "gust" (period 13.7 s).
    static std::shared_ptr<ca::Layer> sway(const Sprite& s);
    // "motion" (move and fade) and, with two frames or more, "flash".
    static std::shared_ptr<ca::Layer> glide(const Sprite& s);
    // Seconds one glide takes: the distance (at least 1) over the speed (at least 1).
    static double glideDuration(const Sprite& s);
};
