#pragma once
// One render request.

#include <cstdint>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Scene/SceneKind.h"

struct SceneSpec {
    cg::Size size;                 // points (the screen frame)
    double scale = 1;              // pixels per point
    std::vector<cg::Point> icons;  // icon centres, points, origin top left, y downward
    double iconSize = 64;
    double textSize = 12;
    bool labelsRight = false;
    SceneKind kind = SceneKind::archipelago;
    bool night = false;

    // Depends only on the screen size and the scene: icons, scale and time of day do not reseed anything.
    uint64_t seed() const;
};
