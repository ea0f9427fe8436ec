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

    // The archipelago's routes and views, built from a placed point and the terrain alone so that a
    // kept point always gives the same path. Scene coordinates throughout (y down).
    class Archipelago {
    public:
        explicit Archipelago(Art& art) : art(art) {}

        // Wandering routes: the whale's (7 points), the dolphins' (8) and the squall's (6).
        std::vector<cg::Point> cruise(cg::Point p) const;
        std::vector<cg::Point> race(cg::Point p) const;
        std::vector<cg::Point> downwind(cg::Point p) const;
        // Paths along the depth contour `mid`: open with steps + 1 points, or a closed loop of
        // 2·steps points that goes out a little shallower and comes back a little deeper.
        std::vector<cg::Point> glide(cg::Point p, double mid, int64_t steps) const;
        std::vector<cg::Point> circuit(cg::Point p, double mid, int64_t steps) const;
        // The ape's patrol of the given radius from p ([p] for radius 0 or less).
        std::vector<cg::Point> beat(cg::Point p, double radius) const;
        // The largest patrol radius that fits at p among the huts; none when not even p fits.
        std::optional<double> room(cg::Point p) const;
        // The ape's path clears its island, the keep rectangles and the huts at every fourth point.
        bool roomy(const std::vector<cg::Point>& path) const;
        // The vertical extent of the patrol within 36 points of x; none when it does not come near.
        struct Extent {
            double lo = 0;  // least y
            double hi = 0;  // greatest y
        };
        std::optional<Extent> kongPasses(double x) const;
        // How open the sea is from the lighthouse toward `angle` (counter-clockwise, y up): 1, 0.5
        // when land lies out there, 0.08 when it lies right at the tower.
        double open(double angle) const;
        // The two images drawn once per render into the current context: a 330 × 250 rain squall and a
        // 220 × 60 lighthouse beam.
        void squall() const;
        void beam() const;

        Art& art;
        std::vector<cg::Point> huts;      // read by room
        std::vector<cg::Point> patrol;    // the ape's beat path, read by kongPasses
        cg::Point lighthouse;             // read by open

    private:
        std::vector<cg::Point> wander(cg::Point p, double heading, int steps, double step, double noise,
                                      uint64_t salt) const;
        cg::Point contourStep(cg::Point q, double level, double step) const;
        bool stands(cg::Point s) const;
    };

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
