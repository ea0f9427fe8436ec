#pragma once
// The archipelago's own operations: routes, views and the images it draws once per render.

#include <cstdint>
#include <optional>
#include <vector>

#include "Art/Art.h"
#include "Platform/Graphics/Geometry.h"

// The archipelago's routes and views, built from a placed point and the terrain alone so that a
// kept point always gives the same path. Scene coordinates throughout (y down).
class Art::Archipelago {
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
    // One of four surface frames picked by a hash u in [0, 1), modulo the frames that exist (a row
    // comes out short when a bitmap fails); none from an empty row.
    static cg::ImageRef frameFor(const std::vector<cg::ImageRef>& images, double u);

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
