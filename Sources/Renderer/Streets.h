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

// A scene point on the lattice: its superblock and the local position inside it (0 ≤ lx < 160,
// 0 ≤ ly < 140; lx < 20 is the north-south street, ly < 20 the east-west one).
struct Spot {
    int32_t bx = 0, by = 0;
    float lx = 0, ly = 0;
};
Spot locate(float x, float y);

// A park pond: an ellipse of radii rx, ry centred at (cx, cy), its outline waved by the angle phi.
struct Pond {
    float rx = 0, ry = 0, cx = 0, cy = 0, phi = 0;
};

// A park's paths; at least one is present.
Paths paths(int32_t bx, int32_t by);
// The park's pond, if it has one (it keeps clear of the paths p).
std::optional<Pond> pond(int32_t bx, int32_t by, const Paths& p);
// Distance from a local point to the nearest park path and the pond's signed outline distance, with
// the library's trigonometry or with our own (which the ground's eight-lane shading matches bit for bit).
enum class Trig { library, steady };
Parkway parkway(int32_t bx, int32_t by, float lx, float ly, Trig trig = Trig::library);
bool park(int32_t bx, int32_t by);
// Parks are never vacant. A vacant block is a car park or a plaza with a fountain at `middle`.
bool vacant(int32_t bx, int32_t by);
bool carPark(int32_t bx, int32_t by);
// Whether the plot at (column 0…7, row 0…6) of a superblock carries a building.
bool built(int32_t bx, int32_t by, int column, int row);
// The city's terrain reshape: flat streets and raised buildings. Afterwards every height is 0 or 1 and
// the texture is one tint per superblock.
void snap(Grid& v, Grid& tex, const std::vector<cg::Rect>& keep);

}  // namespace Streets
