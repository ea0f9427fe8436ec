#pragma once
// The palette and shading recipe of one scene at one time of day.

#include <cstddef>
#include <optional>
#include <vector>

#include "Renderer/Float3.h"
#include "Scene/SceneKind.h"

// One colour contour over the terrain height: the band covers v >= t.
struct Band {
    float t = 0;
    Float3 c;
    float a = 1;
    float mottle = 0;
    float soft = 0;
    std::optional<Float3> alt;
    float ragged = 0;
};

// A run of points along one pixel row, for the batch form of a ground colour.
struct GroundRun {
    const float* x = nullptr;      // scene x of each point, increasing
    const float* tex = nullptr;    // the terrain texture sample at each point
    const float* grain = nullptr;  // the shading's grain noise at each point, or null if it has none
    const float* table = nullptr;  // the ground's column table at the first point, if it has one
    std::size_t tableStride = 0;   // distance between two fields of that table
    float y = 0;
    std::size_t n = 0;  // a multiple of 8, at most 512
    float* r = nullptr;
    float* g = nullptr;
    float* b = nullptr;
};

// A pure ground-colour function over constants captured when the look is built. It is a plain function
// pointer over a small block of numbers: the shading calls it once per pixel from many threads, so it
// must not allocate, lock or set anything up per call.
struct GroundColor {
    Float3 (*fn)(const GroundColor&, float x, float y, float tex) = nullptr;
    // The same colours for a run of points at once, bit for bit, or null. `table` fills, once per
    // picture, `tableFields` values per column that depend on x alone: field f of column k at
    // out[f·n + k].
    void (*run)(const GroundColor&, const GroundRun&) = nullptr;
    void (*table)(const GroundColor&, const float* x, std::size_t n, float* out) = nullptr;
    std::size_t tableFields = 0;
    float h = 0;      // scene height in points, for the grounds that depend on it
    bool night = false;
    float k[6] = {};  // further constants of the scene's ground (street width, caustic strength, …)

    Float3 operator()(float x, float y, float tex) const { return fn(*this, x, y, tex); }
};

// Points of a cliff face for the batch form of a facade.
struct FacadeRun {
    const float* x = nullptr;      // scene x of each point
    const float* depth = nullptr;  // depth below the land edge at each point
    std::size_t n = 0;             // a multiple of 8
    float* r = nullptr;
    float* g = nullptr;
    float* b = nullptr;
};

// The optional cliff-face painter: colour at (x, depth below the land edge).
struct FacadeColor {
    Float3 (*fn)(const FacadeColor&, float x, float depth) = nullptr;
    // The same colours for several points at once, bit for bit, or null.
    void (*run)(const FacadeColor&, const FacadeRun&) = nullptr;
    bool night = false;
    float k[4] = {};

    explicit operator bool() const { return fn != nullptr; }
    Float3 operator()(float x, float depth) const { return fn(*this, x, depth); }
};

struct Look {
    GroundColor base;
    std::vector<Band> water;
    std::vector<Band> land;  // never empty: land[0].t is the scene's land level
    float cliff = 0;
    Float3 cliffLight;
    Float3 cliffDark;
    Float2 shadow;
    Float3 shadowTint{1, 1, 1};
    FacadeColor facade;
    float caustic = 0;
    float relief = 0;
    float deep = 0;
    float grain = 0;
    float ripple = 0;
    float penumbra = 0;

    // The only producer of looks: one switch over the scene kind.
    Look(SceneKind kind, bool night, float height);

    float landAt() const { return land.front().t; }
};
