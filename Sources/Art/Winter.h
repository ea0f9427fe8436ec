#pragma once
// The winter scene's props, sprite frames, paths and weather, as operations over one render's painter.
// Props draw into the painter's current context in drawing space (y up); paths and tests take scene
// points (y down). A Winter is a light handle: workers drawing frames in parallel wrap their own painter.

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "Art/Art.h"

class Art::Winter {
public:
    explicit Winter(Art& art) : art(art) {}

    // --- Props ---

    // An ice floe of nominal radius r around p; k in [0, 1) picks the outline, equal k an equal floe.
    void floe(cg::Point p, double r, double k);
    // A seal lying at p, head along `angle`; its sheen stays on the upper left whatever the heading.
    void seal(cg::Point p, double angle);
    // steps + 1 scene points from p along the height contour through p, `step` apart.
    std::vector<cg::Point> shoreline(cg::Point p, int64_t steps, double step) const;
    // A snowy pine of size h standing on p.
    void pine(cg::Point p, double h);
    // A log cabin whose front wall stands on p; appends its window light and glow at night and three
    // smoke trips carrying `smoke` (which may be absent).
    void cabin(cg::Point p, const cg::ImageRef& smoke);
    // A soft 20 × 20-point smoke puff in the colour at `alpha`; none when its bitmap cannot be made.
    // The battlefield's wreck smoke uses it too.
    cg::ImageRef puff(uint32_t color, double alpha);
    // The puff's picture drawn into the current context (a 20 × 20-point canvas).
    void puffPicture(uint32_t color, double alpha);

    // --- Sprite frames and the sky ---

    // One frame of a trotting fox seen from above, nose toward +x, on a 16 × 8 canvas.
    void fox(double t, uint32_t coat);
    // One frame of a waving snowman whose foot is at p.
    void snowman(cg::Point p, double t);
    // One frame of a snow globe on a 30 × 34 canvas.
    void snowglobe(double t);
    // One frame of the reindeer sleigh heading toward +x, or its flat shadow.
    void sleigh(double t, bool shadow);
    // Appends the two drifting aurora curtains.
    void aurora();

    // --- Paths (scene points) ---

    // The drift of a floe, the rise of a steam strip and the zig-zag fall of a snowflake from p.
    static std::vector<cg::Point> current(cg::Point p);
    static std::vector<cg::Point> steamPath(cg::Point p);
    static std::vector<cg::Point> fall(cg::Point p);
    // The fox's round trip: out along the trail, back 3 points beside it.
    static std::vector<cg::Point> foxLoop(const std::vector<cg::Point>& trail);
    // A closed loop of four points 0.3 points around p, for the wobble of snowmen and snowglobes.
    static std::vector<cg::Point> wobble(cg::Point p);

    // --- Painter steps and their rules ---

    // Whether a floe of this size carries a seal, given rand(p, 7).
    static bool sealed(double size, double u);
    // Every point of `others` at least d from p (exactly d passes).
    static bool roomFrom(cg::Point p, const std::vector<cg::Point>& others, double d);
    // Where pines and snowglobes may stand, given this render's cabins (and pines).
    bool pineSpot(cg::Point p, const std::vector<cg::Point>& cabins) const;
    bool globeSpot(cg::Point p, const std::vector<cg::Point>& pines, const std::vector<cg::Point>& cabins) const;

    // One ice chunk of a ring: centre (scene points), half-width and turn.
    struct Chunk {
        cg::Point c;
        double w = 0;
        double turn = 0;
    };
    // The chunks along a smoothed ring; u(salt) is the hash of the ring's placement point with that salt.
    static std::vector<Chunk> chunks(const std::vector<cg::Point>& ring, const std::function<double(uint64_t)>& u);

    // Cabins (tag 0), pines (1) and snowmen (2) in painting order: ascending y, ties in tag order.
    static std::vector<std::pair<cg::Point, int>> backToFront(const std::vector<cg::Point>& cabins,
                                                              const std::vector<cg::Point>& pines,
                                                              const std::vector<cg::Point>& snowmen);

    // Fox and hare tracks from their placement points; a fox trots its trail only when all four fox
    // frames exist.
    void tracks(const std::vector<cg::Point>& points, const std::vector<cg::ImageRef>& foxFrames);
    // Steam sprites from their placement points; a strip that could not be made leaves its sprites
    // without an image.
    void steamSprites(const std::vector<cg::Point>& points, const std::array<cg::ImageRef, 3>& strips);
    // One steam strip (k = 0, 1, 2) drawn into the current 120 × 32-point context.
    void steamStrip(int k);

    Art& art;
};
