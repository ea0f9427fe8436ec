#pragma once
// One animated thing of a rendered scene. Painters build sprites; the desktop windows turn them into
// layers and find a live layer again by the sprite's identity text.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Graphics/Geometry.h"

namespace cg { class Image; using ImageRef = std::shared_ptr<const Image>; }

struct Sprite {
    // The desktop windows dispatch on the kind in this order.
    enum class Kind {
        boat, wave, streak, surf, light, firefly, star, bird, satellite, meteor,
        sway, cloud, glide, trip, burst, blast, fountain, beam, window, act
    };
    static constexpr int kindCount = 20;

    // Painters always give the first four; every other field has the default a painter relies on.
    Kind kind = Kind::boat;
    cg::Point at;          // drawing space: points, origin bottom left, y upward
    double size = 0;       // points
    double phase = 0;      // start of the cycle, a fraction of the period
    double travel = 0;
    cg::Point to;
    uint32_t color = 0xFFFFFF;
    double angle = 0;
    cg::ImageRef image;
    cg::Point anchor{0.5, 0.5};
    std::vector<cg::ImageRef> frames;
    std::vector<cg::ImageRef> shade;
    double beat = 1;       // seconds
    uint32_t dust = 0;
    std::vector<cg::Point> path;
    double rest = 0;
    bool closed = false;
    double pulse = 0;
    double ease = 1;
    double spin = 0;
    double hop = 0;
    double grow = 1;
    bool face = true;
    double stroke = 0;
    double blow = 0;
    double rain = 0;
    bool glow = false;     // blended by colour dodge above the ground
    std::vector<double> dim;

    // Every field but the images, in declaration order, joined by single blanks: 25 parts. Equal exactly
    // when all those fields are equal (bit for bit, so -0.0 and 0.0 differ).
    std::string identity() const;

    // A sprite of a kind at a drawing point, with its width and phase; every other field at its default.
    static Sprite make(Kind kind, cg::Point at, double size, double phase) {
        Sprite sp;
        sp.kind = kind;
        sp.at = at;
        sp.size = size;
        sp.phase = phase;
        return sp;
    }

    static std::string_view kindName(Kind kind);
};
