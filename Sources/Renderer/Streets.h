#pragma once
// The street plan of the two city scenes on a fixed lattice: 20-point cells, superblocks of 8 × 7 cells
// (160 × 140 points) from the scene point (−2, −2). Every answer is a hash of the block's lattice
// indices, so a block looks the same in every render and on every screen. All functions are pure.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Renderer/Float3.h"
#include "Renderer/Grid.h"

namespace Streets {

struct Meander {
    float offset = 0;     // points, local to the superblock
    float amplitude = 0;  // points
    float frequency = 0;  // radians per point
    float phase = 0;      // radians
};

struct Paths {
    std::optional<Meander> eastWest;
    std::optional<Meander> northSouth;
};

struct Parkway {
    float path;  // distance to the nearest park path, +inf without paths
    float pond;  // signed outline distance of the pond, negative inside, +inf without a pond
};

inline constexpr Float2 middle{90, 80};
inline constexpr std::array<float, 4> bays{36, 66, 80, 110};

Paths paths(int32_t bx, int32_t by);
Parkway parkway(int32_t bx, int32_t by, float lx, float ly);
bool park(int32_t bx, int32_t by);
bool vacant(int32_t bx, int32_t by);
bool carPark(int32_t bx, int32_t by);
bool built(int32_t bx, int32_t by, int column, int row);
void snap(Grid& v, Grid& tex, const std::vector<cg::Rect>& keep);

}  // namespace Streets
