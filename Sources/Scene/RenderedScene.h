#pragma once
// The result of one render.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Scene/Sprite.h"

// Remembered prop positions by key, in scene points. Ordered, so dumps and hashes are deterministic.
using PlacementMap = std::map<std::string, std::vector<cg::Point>>;

struct RenderedScene {
    cg::ImageRef image;            // size × scale pixels, opaque
    std::vector<Sprite> sprites;   // in the order the painters appended them
    std::string style;             // e.g. "sea-day"
    PlacementMap placed;           // handed back as `before` on the next render of the same screen
    std::function<bool(cg::Point)> wet;  // water test at a scene point; keeps the height grid alive
};
