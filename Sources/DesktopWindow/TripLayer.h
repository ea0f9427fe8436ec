#pragma once
// Builds the layer of a trip sprite, the general mover: a picture (or a frame cycle) carried along
// the sprite's path, turning with its heading or spinning, hopping over a soft ground shadow, with
// an optional drop shadow, fading in and out on open paths and resting hidden between trips,
// growing as it goes, and carrying a spout puff or rain splashes.

#include "Platform/Animation/Layer.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"
#include "Scene/Sprite.h"

#include <cstdint>
#include <memory>
#include <vector>

struct TripLayer {
    // A container with default geometry holding, in order: the drop shadow (when `shade` has a
    // picture), the hop shadow (when `hop` > 0) and the body.
    static std::shared_ptr<ca::Layer> trip(const Sprite& s);
    // The puff in front of a body with these bounds, shown for 3.2 s of every `blow` seconds (over
    // the whole period when it is shorter).
    static std::shared_ptr<ca::Layer> spout(const Sprite& s, const cg::Rect& body);
    // Ring splashes at random points about the body's anchor: Int(rain² / 60) drops of four
    // splashes each.
    static std::shared_ptr<ca::Layer> drizzle(const Sprite& s, const cg::Rect& body);
    // The 18 ring pictures every splash plays, drawn once per process (fewer when a bitmap fails).
    static const std::vector<cg::ImageRef>& splashes();

    // The spout's key times [0, a·v, v, 1] with v = 3.2 / blow, v capped at 1.
    static std::vector<double> spoutTimes(double blow, double a);
    // The number of drizzle drops for a splash radius; none for invalid radii, at most kMaxDrops.
    static int64_t dropCount(double rain);
    static constexpr int64_t kMaxDrops = 1024;
    // Height of a hop `d` points along the route.
    static double hopHeight(const Sprite& s, double d);
};
