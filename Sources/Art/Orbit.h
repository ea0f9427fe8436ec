#pragma once
// The orbit scene's bodies, frames and paths: the ringed planet, habitat domes, rover and station
// frames, the comet and the tumbling rock, and the routes the moving ones follow. Paths work in scene
// points (y down); the props draw into the painter's current context in drawing points (y up).

#include <cstdint>
#include <vector>

#include "Art/Art.h"
#include "Platform/Graphics/Geometry.h"

class Art::Orbit {
public:
    explicit Orbit(Art& art) : art(art) {}

    // --- Paths from a placed scene point ---

    // The rover's uneven six-point loop around p.
    static std::vector<cg::Point> patrol(cg::Point p);
    // The comet's bowed three-point glide up and to the left.
    static std::vector<cg::Point> coast(cg::Point p);
    // The station's bowed three-point pass down and to the right.
    static std::vector<cg::Point> pass(cg::Point p);
    // A rock's three-point drift to the right, bowed either way by its hash.
    static std::vector<cg::Point> rockDrift(cg::Point p);
    // A meteor's short curved fall.
    static std::vector<cg::Point> fall(cg::Point p);
    // One side of a rover track: the smoothed loop r shifted sideways by o (drawing points).
    static std::vector<cg::Point> track(const std::vector<cg::Point>& r, double o);

    // --- The star field ---

    // How dense the static star field is at scene point (x, y) of a scene of height h: a slanted band,
    // clumped, with a dark lane down its middle. All in single precision.
    static float starDensity(float x, float y, float h);
    // The colour of a star at scene point p (mostly white, some blue, some warm).
    static uint32_t starColor(cg::Point p);

    // A filled disc in drawing points.
    struct Dot {
        cg::Point c;
        double r = 0;
        uint32_t color = 0;
        double alpha = 1;
    };
    // Fills, in their order, the dots that can reach `band` (drawing points: a band of `paintInBands`).
    // Leaves the context's state alone.
    static void fillDots(cg::Context& c, const std::vector<Dot>& dots, const cg::Rect& band);

    // Whether the scene rectangle meets none of the keep rectangles (edges that only touch do not meet).
    bool clear(const cg::Rect& box) const;

    // --- Props, drawn into art.ctx ---

    // A ringed planet at drawing point c with body radius r; the back rings pass behind the body.
    void planet(cg::Point c, double r) const;
    // A habitat dome standing on drawing point b; appends its light sprite.
    void habitat(cg::Point b) const;
    // Frame painters. The rover faces +x in an 18 × 12 frame by day, 32 × 12 by night (room for the
    // headlight); the comet fills 160 × 72 with its nucleus at (10, 60); the station 48 × 34; the rock
    // 22 × 22, shaped by `seed`.
    void rover(bool lamp) const;
    void comet() const;
    void station(bool strobe) const;
    void boulder(uint64_t seed) const;

    // Crater colours of the ground and of the rock.
    uint32_t craterRim() const { return art.s.night ? 0x8E8AA6 : 0xE2DEE6; }
    uint32_t craterFloor() const { return art.s.night ? 0x2A2838 : 0x5A5664; }
    uint32_t craterWall() const { return art.s.night ? 0x7A7690 : 0xCDC8D2; }

    Art& art;
};
