#pragma once
// The painter of one render: the shaded bitmap context, the request, the terrain, the keep rectangles,
// the palette and the placements. Every scene painter is an operation of it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Renderer/Look.h"
#include "Renderer/Random.h"
#include "Renderer/RenderedScene.h"
#include "Renderer/SceneSpec.h"
#include "Renderer/Sprite.h"
#include "Renderer/Terrain.h"

namespace cg {
class Context;
}

class Art {
public:
    Art(cg::Context* ctx, SceneSpec s, Terrain t, std::vector<cg::Rect> keep, Look look, PlacementMap before);
    Art(const Art&) = delete;
    Art& operator=(const Art&) = delete;

    // Calls the painter of the scene, once.
    void decorate();

    // Point samples of the height and of the solid body (land and cliff faces) at a scene point.
    float value(cg::Point p) const { return t.v->sample(p); }
    float solid(cg::Point p) const { return t.body->sample(p); }

    // Stable placement: remembered points that still pass come first, fresh candidates follow only near
    // changed keep rectangles (or everywhere when nothing usable is remembered).
    std::vector<cg::Point> spots(uint64_t salt, int64_t tries, double gap, int64_t limit,
                                 const std::function<bool(cg::Point)>& where);
    // The night plankton placement: spots whose 24-point box meets no keep rectangle.
    std::vector<cg::Point> plankton(uint64_t salt, int64_t tries, double gap, int64_t limit);

    // Keep rectangles that differ from the previous render's, added ones first.
    const std::vector<cg::Rect>& changed();

    // The placement key prefix "scene-day" / "scene-night", and the key of one salt.
    std::string style() const;
    std::string key(uint64_t salt) const;

    static double rand(cg::Point p, uint64_t salt) { return pointRand(p, salt); }

    // A flock of birds circling p on a 7-point loop.
    void bird(cg::Point p, double rx, double ry, double speed, uint32_t color, double beat);

    // Draws one picture offscreen: points `ctx` at a transparent bitmap of w × h points at `scale`
    // pixels per point (⌈w·scale⌉ × ⌈h·scale⌉ pixels, y-up), runs `draw`, and always puts the scene
    // context back. No image when the bitmap cannot be made.
    cg::ImageRef offscreen(double w, double h, double scale, const std::function<void()>& draw);
    cg::ImageRef offscreen(double w, double h, const std::function<void()>& draw) {
        return offscreen(w, h, s.scale, draw);
    }

    // --- Drawing primitives, fire and craters ---

    // --- Fish ---

    // --- Whales, dolphins, rays, turtles, jellyfish, seagrass, surface sprites ---

    // --- Island props and the giant ape ---

    // --- Scene painters' helpers ---

    // Scene painters.
    void archipelago();
    void canyon();
    void orbit();
    void city();
    void skyline();
    void winter();
    void reef();
    void warzone();
    void sea();
    void pond();

    double W() const { return s.size.width; }
    double H() const { return s.size.height; }
    // A scene point in drawing space.
    cg::Point flip(cg::Point p) const { return {p.x, s.size.height - p.y}; }

    cg::Context* ctx;
    const SceneSpec s;
    const Terrain t;
    const std::vector<cg::Rect> keep;
    const Look look;
    const PlacementMap before;
    std::vector<Sprite> sprites;
    PlacementMap placed;

private:
    std::optional<std::vector<cg::Rect>> changed_;
};
