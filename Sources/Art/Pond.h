#pragma once
// The garden pond: its local paths and tests, and the props it lays out (stones, slabs, raked gravel,
// lanterns, irises, blossoming crowns, rise rings, dragonflies, lily pads and water lilies). Placement
// works in scene coordinates (y down); every prop draws at a point in drawing space (y up).

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Art/Art.h"

class Art::Pond {
public:
    explicit Pond(Art& art) : art(art), e(art.look.landAt()) {}

    // The eight koi, every one `koi` and no shark.
    static const Fish kKoi[8];

    // --- Local paths and tests (scene coordinates) ---

    // Open water at q with d points of water on every side, a little below the shore level.
    bool afloat(cg::Point q, double d) const;
    // The stepping stones of one path walking uphill from p; stops at the first point too low or too
    // close to an icon, so the result can be empty.
    std::vector<cg::Point> steps(cg::Point p) const;
    // The six-point drift of a floating petal and the closed five-point beat of a dragonfly.
    static std::vector<cg::Point> drift(cg::Point p);
    static std::vector<cg::Point> patrol(cg::Point p);
    // The five-point wobble of a rise ring.
    static std::vector<cg::Point> ring(cg::Point p);
    // The shimmer's depth weight: grows in from the deepest water, fades over the last 0.08 below shore e.
    static float shimmerCurve(float v, float e);
    // A grid cell lies on the waterline when its corners straddle e; a corner exactly at e is land.
    static bool waterline(float a, float b, float c, float d, float e);

    // A box (scene coordinates) meets no keep rectangle.
    bool clear(const cg::Rect& box) const;

    // The shore stones: (scene point, size) in painter's order.
    std::vector<std::pair<cg::Point, double>> shoreStones() const;

    // One lily pad of a cluster. `bloom` 0: no flower.
    struct Pad {
        cg::Point at;
        double r = 0;
        double bloom = 0;
    };
    // The pads that fit around cluster centre c, in acceptance order. Only pads 0 and 3 may flower.
    std::vector<Pad> cluster(cg::Point c) const;
    // The koi sprites of one group placed at p: one to three fish on the same route. `koi` holds the
    // frames of the eight fish in table order.
    std::vector<Sprite> koiGroup(cg::Point p, const std::vector<FishFrames>& koi) const;
    // The route the group at p swims, for the placement test and the sprites.
    std::vector<cg::Point> koiRoute(cg::Point p) const;

    // --- Props (drawing space, into art.ctx) ---

    void stone(cg::Point p, double r, double k);
    void slab(cg::Point p, double w, double k);
    void gravel(cg::Point p, double s, double k);
    // By night first appends the flame and glow lights (the glow picture is made once per painter).
    void lantern(cg::Point p);
    // The lantern glow's picture, made on first use; `useGlow` hands one made elsewhere to this painter,
    // so painters of several bands share one.
    cg::ImageRef lanternGlow();
    void useGlow(cg::ImageRef glow);
    void iris(cg::Point p);
    // colors: four colours, dark to light.
    void crown(cg::Point p, double r, const std::vector<uint32_t>& colors, double k);
    // Frame i of a rise ring with `life` frames of growth on a 24-point canvas (empty from `life` on).
    void riseFrame(int64_t i, int64_t life);
    // n frames of a rise ring; a frame that cannot be made is left out.
    std::vector<cg::ImageRef> rises(int64_t n, int64_t life);
    void dragonfly(uint32_t body, uint32_t head, double pose, bool shadow);
    // The pad drawn into an S-point square canvas, and the same as a picture of its own.
    void lilyPadDraw(double S, double k, double r, double b);
    cg::ImageRef lilyPad(double S, double k, double r, double b);
    void waterLily(cg::Point p, double b, double k);
    // A drifting petal in a 6 × 6 point space.
    void petal(uint32_t color);

    Art& art;
    const float e;  // the shore level

private:
    cg::ImageRef glow_;
    bool glowMade_ = false;
};
