#pragma once
// What every sprite layer builder shares: endless loops advanced by the sprite's phase and capped in
// frame rate, the picture layer of a sprite, the timed course along a sprite's path, and soft glow
// pictures kept in a process-wide cache.
//
// The sprite record knows nothing of ca, so these are static operations that take the sprite.
// Building reads no clock and no system random source: a sprite always animates the same way.
// Main thread only, like every layer builder (the caches lock anyway, so a stray call cannot corrupt
// them).

#include "Platform/Animation/Animation.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"
#include "Scene/Sprite.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SpriteLayers {
    // --- Frame rates ---
    // Whether the system's power saver is on. The desktop window sets it from the power monitor and
    // rebuilds its sprite layers when it changes; loops read it when they are built.
    static void setLowPower(bool on);
    static bool lowPower();
    // (10, 30, 30) frames per second, or (8, 15, 15) in low power.
    static ca::FrameRateRange frameRates();

    // --- Loops ---
    // Makes `a` repeat forever with period p (its duration), advanced by p × the sprite's phase, at
    // the capped frame rate. Returns the animation.
    static ca::Animation& looping(const Sprite& s, ca::Animation& a, double period);
    template <class A>
    static A looped(const Sprite& s, A a, double period) {
        looping(s, a, period);
        return a;
    }

    // --- Picture layer ---
    // Shows `image`, else the sprite's image, else its first frame (none clears the contents); with a
    // picture, the bounds are the sprite's size wide at the picture's aspect ratio. Anchor and
    // position are always the sprite's. Returns the layer.
    static ca::Layer& imageLayer(const Sprite& s, const cg::ImageRef& image, ca::Layer& layer);
    template <class L>
    static std::shared_ptr<L> imageLayer(const Sprite& s, const cg::ImageRef& image, std::shared_ptr<L> layer) {
        imageLayer(s, image, static_cast<ca::Layer&>(*layer));
        return layer;
    }
    // The picture imageLayer shows when given none: the sprite's image, else its first frame.
    static cg::ImageRef picture(const Sprite& s);

    // --- Course ---
    struct Course {
        std::vector<cg::Point> points;  // the path smoothed every 2 points
        std::vector<double> times;      // key times in 0…1, one per point
        std::vector<double> headings;   // radians, unwrapped: no step beyond π
        std::vector<double> along;      // distance from the first point
        double duration = 1;            // seconds
        double beat = 1;                // seconds: the surge period actually used
    };
    // A speed factor by heading; empty means 1 everywhere.
    using Slowing = std::function<double(double heading)>;
    // Times the sprite's path: `travel` points per second at the start, scaled linearly to `ease`
    // times that at the end, surging by `pulse` with period `beat` (fitted a whole number of times
    // into a closed loop), and scaled by slow(heading). Never below half a point per second.
    static Course course(const Sprite& s, const Slowing& slow = {});

    // --- Glows ---
    // A side × side picture of a blurred disc of radius `source` (Gaussian sigma `sigma`) in one
    // colour, its half side spanning `reach` of the same units, with an opaque core of one unit.
    // Cached for the life of the process under its arguments: equal arguments give the same image
    // object. Nothing when the bitmap cannot be made.
    static cg::ImageRef glowing(uint32_t color, double source, double sigma, double reach, double strength, int side);
    // Brightness at distance r from the centre of a uniformly lit disc of radius R blurred with a
    // Gaussian of standard deviation sigma (midpoint rule, 24 radii × 48 angles).
    static double blurred(double r, double R, double sigma);
    // The cache key of a glow: its arguments as text, numbers in their shortest exact form.
    static std::string glowKey(uint32_t color, double source, double sigma, double reach, double strength, int side);
    // How many glow pictures the cache holds.
    static size_t glowCount();

    // --- Guarded conversions ---
    // UInt64(x) truncated toward zero; negative and NaN give 0, values past the range saturate.
    static uint64_t toUInt64(double x);
    // Int(x) truncated toward zero, saturating; NaN gives 0.
    static int64_t toInt64(double x);
    // The seed of a builder's random draws: UInt64(phase × 1 000 000) + salt, wrapping.
    static uint64_t seed(double phase, uint64_t salt);
};
