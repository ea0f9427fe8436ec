#pragma once
// The top-down city: its block plan, props, people and lights, and the street and air traffic that the
// skyline scene shares. Scene points (y down) for placing and testing; drawing points (y up) wherever an
// operation draws into the context or builds a sprite.
//
// The skyline uses two operations of this class and nothing else:
//     Art::City(art).traffic(colors, open);   // gliding vehicles along every open street lane
//     Art::City(art).flyover();               // at most one airliner, remembered under salt 22

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "Art/Art.h"

class Art::City {
public:
    explicit City(Art& art) : art(art) {}

    // --- Street and air traffic (city and skyline) ---

    // Builds the vehicle pictures and appends one glide sprite per vehicle on every open run of every
    // street lane. `colors` gives one car type each (both scenes pass nine); `open` is asked about scene
    // points on a lane, from several threads at once: it must only read.
    void traffic(const std::vector<uint32_t>& colors, const std::function<bool(cg::Point)>& open);
    // At most one airliner crossing the screen edge to edge, clear of the icons.
    void flyover();

    // One vehicle type: its picture (none when the bitmap failed), its length and the distance of its
    // body's centre from the picture's left edge, in points.
    struct Vehicle {
        cg::ImageRef image;
        double length = 0;
        double pivot = 0;
    };
    // One car type per colour, then the taxi, the white van, the blue van and the bus.
    std::vector<Vehicle> vehicles(const std::vector<uint32_t>& colors) const;
    // The police car's four light frames (26 × 16 points); frames that cannot be made are left out.
    std::vector<cg::ImageRef> policeFrames() const;

    // One lane of a street and the way its traffic runs.
    struct Lane {
        bool eastWest = true;   // east-west street (y fixed) or north-south (x fixed)
        double line = 0;        // the lane's y (east-west) or x (north-south)
        bool forward = true;    // toward growing x or y: east- or southbound
    };
    // One stretch of a lane that is open from end to end, in scene points along the street.
    struct Run {
        Lane lane;
        double first = 0, last = 0;  // first and last open sample along the lane
    };
    // Every open run of every lane, east-west streets first, each lane's +4.5 line before its −4.5 line.
    std::vector<Run> runs(const std::function<bool(cg::Point)>& open) const;
    // The runs of one lane of the given length: samples 4, 10, 16, … that fit, grouped while `at`
    // holds for the position along the lane.
    static std::vector<std::pair<double, double>> stretches(double length, const std::function<bool(double)>& at);
    // How many vehicles a run of this length carries: none below 120 points, then one per 300.
    static int64_t carsFor(double length);

    // Vehicle drawings into the context, rear at the left, front toward +x. roof: 0 car, 1 van, 2 bus,
    // 3 taxi; `longer` stretches the body past the car's 12 points.
    void car(uint32_t color, bool parked, double dim, double longer, int roof);
    void policeCar(int frame);
    // A parked car with its shadow, centred on p (drawing points), turned by angle.
    void parkedCar(uint32_t color, cg::Point p, double angle, double dim);
    // The airliner seen from above, nose toward +x, in a 40 × 40-point picture; night lamps and, with
    // strobe, the strobe flashes.
    void airliner(bool strobe);
    // The flight seeded by p: start and end 40 points outside two different sides of the screen, and a
    // bow point between them (scene points).
    std::vector<cg::Point> flight(cg::Point p) const;
    // Whether that flight is long enough (longer than the screen is high) and keeps its 40-point square
    // clear of the icons all along.
    bool flightFits(cg::Point p) const;

    // --- Roof props, centred on a drawing point ---
    void airHandler(cg::Point p, bool turn);
    void skylights(cg::Point p, bool turn, int64_t n, bool lit);
    void stairHut(cg::Point p);
    void vent(cg::Point p);
    void solar(cg::Point p);
    void roofTank(cg::Point p);

    // --- Lights and people ---

    // A pool of light by colour dodge around a drawing point, fading to nothing at the radius.
    void lamplight(uint32_t color, cg::Point centre, double radius);
    // The same for many pools, in order, worked out on several threads: over opaque ground each pool
    // is lit in place, its glow and dodge worked out per pixel (within a rounding level of lamplight),
    // else on a copy of the pixels under it, copied back afterwards. A pool waits for the earlier ones
    // its square overlaps, so the picture is the one drawing them in turn gives.
    void lamplights(uint32_t color, const std::vector<cg::Point>& centres, double radius);
    // One figure seen from above in an 8 × 8-point picture.
    void walker(uint32_t shirt);
    // The eight walker pictures, one per shirt colour; those that cannot be made are left out.
    std::vector<cg::ImageRef> walkerImages() const;
    // Appends one walker following `path` (scene points); nothing without pictures or path.
    void stroll(const std::vector<cg::Point>& path, double salt);
    std::vector<cg::ImageRef> walkers;

    // The window pane of a wall under a scene point, pixel-aligned, and whether the facade shows it lit.
    struct Pane {
        cg::Rect rect;  // scene points
        bool lit = false;
    };
    std::optional<Pane> pane(cg::Point p) const;
    // Up to 14 panes that switch on or off now and then (night only).
    void windowLights();

    // --- The block plan ---

    enum class Block { park, carPark, plaza, built };
    // The 32-bit lattice hash of a block cell, in [−1, 1].
    static float cellHash(int64_t column, int64_t row, uint32_t salt);
    static Block block(int64_t column, int64_t row);
    // Whether a scene point lies in the street band of its block cell.
    static bool street(cg::Point p);
    // No keep rectangle meets the box.
    bool clear(const cg::Rect& box) const;
    // Flat open ground at a scene point.
    bool ground(cg::Point p) const { return art.solid(p) < 0.02f; }

    // The arcade strips over the street cell (i, j) of the 20-point lattice, given which neighbours
    // (dx, dy) are raised: true for a strip lying east-west, false for one lying north-south.
    static std::vector<bool> arcade(int64_t i, int64_t j, const std::function<bool(int64_t, int64_t)>& raised);
    // Pavement walker line l (0, 1 east-west, 2, 3 north-south) of the built cell with corner O (scene
    // points); with `reach` it runs on across the next cell.
    static std::vector<cg::Point> pavementLine(cg::Point O, uint64_t l, bool reach);
    // How dark a parked car stands: 0.72 far from every lamp post, down to 0.38 beside one. Bay and
    // posts in cell-local points.
    static double parkedDim(cg::Point bay, const std::vector<cg::Point>& posts);

    // A tree of radius r at a scene point, with its soft shadow, straight into the context.
    void tree(cg::Point p, double r);

    // A prop drawn apart from the scene: its drawing (through the city it is given, in the scene's
    // drawing points) stays within `reach` of `centre` (a drawing point).
    struct Piece {
        cg::Point centre;
        double reach = 0;
        std::function<void(City&)> draw;
    };
    Piece treePiece(cg::Point p, double r) const;
    // Every piece's picture, drawn on several threads at once; absent ones are null.
    std::vector<cg::ImageRef> pictures(const std::vector<Piece>& pieces) const;
    // One piece's picture, drawn through `worker` (a painter of Art::offscreenEach); null when absent.
    cg::ImageRef picture(Art& worker, const Piece& piece) const;
    // Lays a piece's picture down where its drawing would have gone: the same picture as drawing it
    // there, up to rounding. Without a picture the piece is drawn straight into the context.
    void lay(const Piece& piece, const cg::ImageRef& picture);
    // The pixel-aligned square (drawing points) that a piece's picture covers.
    cg::Rect box(const Piece& piece) const;

    Art& art;

private:
    // Device pixels (y up) of a pool's square, cut to the bitmap.
    struct Square {
        int x0, y0, x1, y1;
    };
    void poolsApart(uint32_t color, const std::vector<cg::Point>& centres, double radius,
                    const std::vector<std::size_t>& members, const std::vector<Square>& squares);
};
