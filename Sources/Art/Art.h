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
class Path;
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

    // Fills (stroke 0, non-zero winding) or strokes (round caps and joins) the path `build` adds to, in
    // 0xRRGGBB at `alpha`. No state is saved: colour, line width, cap and join stay on the context.
    void shape(uint32_t color, double alpha, double stroke, const std::function<void(cg::Path&)>& build);
    // The soft flattened shadow under a prop standing at `foot`, falling to the lower right.
    void groundShadow(cg::Point foot, double r, double strength);
    // A tree crown of six lobes and highlight dots, the same for the same k wherever it stands.
    void canopy(cg::Point p, double r, uint32_t dark, uint32_t light, double k);
    // Appends n cloud-shadow sprites, one per horizontal band (color 0: a dark shadow).
    void cloudShadows(int64_t n, double alpha, uint32_t color);
    // The canyon's dry wash at column x of a scene of height w (Wash of Renderer/Palette.h).
    static struct Wash wash(float x, float w);

    // A campfire: glow, stones and logs into ctx, then flame, light pool and two spark sprites.
    void fire(cg::Point p);
    // The flame image shared by every flame of this render, drawn on first use (absence is kept too).
    cg::ImageRef flames();
    // A warm light pool of radius r on black, appended as a glowing light sprite.
    void firelight(cg::Point p, double r, double phase, double pulse, double strength);
    // A crater seen slightly from above, lit from the upper left; leaves the context's state as it was.
    void impact(cg::Point p, double r, uint32_t rim, uint32_t floor, uint32_t wall);

    std::optional<cg::ImageRef> flames_;

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
