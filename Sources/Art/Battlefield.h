#pragma once
// The warzone's own operations: routed tracks and patrol paths that mend around moved icons, trench
// lines traced along the height field, the ground props, the vehicles and aircraft, and the moving units
// and sky events. Scene coordinates (y down) unless an operation says it draws at a context point.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "Art/Art.h"
#include "Platform/Graphics/Path.h"

class Art::Battlefield {
public:
    using Polyline = std::vector<cg::Point>;

    explicit Battlefield(Art& art) : art(art) {}

    // --- Paths ---

    // Up to `count` edge-to-edge paths whose every step passes `ok`: first the stored paths of the
    // previous render that could be mended, then new ones from stable start candidates. Each is stored
    // in `placed` under key(salt) + "-way" + its index; indices past the result are removed.
    std::vector<Polyline> crossings(uint64_t salt, int64_t count, double step, const std::function<bool(cg::Point)>& ok);

    // One cell of the detour lattice, in 20-point steps from the detour's start.
    struct Node {
        int64_t i = 0;
        int64_t j = 0;
        friend bool operator==(const Node&, const Node&) = default;
    };

    // --- Trench lines ---

    // The identity of one cell edge of the height grid, shared by the two cells that touch it.
    struct Edge {
        int64_t x = 0;
        int64_t y = 0;
        bool across = false;  // runs along x
        friend bool operator==(const Edge&, const Edge&) = default;
    };
    // The contour of `level` through grid `v` (4-point cells), chained into polylines in scene points.
    static std::vector<Polyline> contours(const Grid& v, float level);
    // Draws the dashed, zig-zagging trench lines along the contour of `level`, kept off the icons.
    void trenches(float level);
    // The same along chains traced beforehand.
    void trenchLines(const std::vector<Polyline>& chains);
    // The trench lines' path along the chains (drawing space), and its drawing.
    cg::Path trenchPath(const std::vector<Polyline>& chains) const;
    void trenchLines(const cg::Path& line);
    // The same path as its unbroken runs, each a polyline in drawing space.
    std::vector<Polyline> trenchRuns(const std::vector<Polyline>& chains) const;

    // Runs `draw` once for each horizontal band of 128 pixel rows of the scene's bitmap, bands on
    // several threads at once, each through a painter of its own whose context holds just those rows
    // at their place in the scene; `draw` also gets the band's scene rows (top, bottom) so that it can
    // leave out what cannot reach them. `draw` must only draw, and must not rely on drawing state that
    // a left-out shape would have set. The bands are fixed by the bitmap, so the result never depends
    // on the number of threads; it can differ from one pass over the whole bitmap only in the last bits
    // of a few edge pixels. Draws in one pass when a band's bitmap cannot be made.
    void inBands(const std::function<void(Art&, double top, double bottom)>& draw);

    // Scene rows (y down) a band covers; everything by default.
    struct Rows {
        double top = -1e300;
        double bottom = 1e300;
        // Whether something reaching `reach` above and below scene row y can touch the band.
        bool near(double y, double reach) const { return y + reach >= top && y - reach <= bottom; }
    };
    // inBands, and in the same bands right after each band's ground, `atop` drawn straight into the
    // picture's rows of the band (as Art::paintInBands draws, with the bytes of one pass), starting from
    // the scene context's drawing state. Draws `draw` in bands and then `atop` by Art::paintInBands when
    // a band's context cannot be made. With `cost`, an estimate of a band's work, the dearest bands
    // start first, so that the last to finish are cheap ones; the order changes no pixel.
    void inBands(const std::function<void(Art&, double top, double bottom)>& draw,
                 const std::function<void(Art&, Rows)>& atop, const std::function<double(Rows)>& cost);
    // The runs of segments of polylines in drawing space that pass within `reach` of the band's rows,
    // as one path. With round caps and joins a stroke's ink is the union of its round-ended segments,
    // so stroking these gives the band the ink of stroking the whole polylines, as long as `reach`
    // exceeds half the line width plus the antialiasing. Not for dashed strokes.
    cg::Path runsNear(std::span<const Polyline> lines, Rows rows, double reach) const;
    // The whole polylines (drawing space) that come within `reach` of the band's rows, as one path:
    // for dashed strokes, whose dashes restart with every subpath.
    cg::Path linesNear(std::span<const Polyline> lines, Rows rows, double reach) const;

    // --- Ground props (drawn at context points unless said otherwise) ---

    void weeds(cg::Point p);
    // A shelled area around scene point c: scorch, craters and splinters where `open` holds; the parts
    // that cannot reach `rows` are left out.
    void barrage(cg::Point c, const std::function<bool(cg::Point)>& open);
    void barrage(cg::Point c, const std::function<bool(cg::Point)>& open, Rows rows);
    void crater(cg::Point p, double r, bool puddle);
    // The lines of the two tread bands along a path of scene points, in drawing space: for each side the
    // band's polyline and the short runs of its dashed marks.
    struct Tread {
        Polyline band;
        std::vector<Polyline> marks;
    };
    std::vector<Tread> treadLines(const Polyline& path) const;
    // Two tread bands along a path of scene points; the same from lines worked out beforehand, where
    // they can reach `rows`.
    void treads(const Polyline& path);
    void treads(const std::vector<Tread>& lines, Rows rows);
    void wire(cg::Point p, double length, double tilt);
    // The same, leaving out the posts and barbs that cannot reach `rows`.
    void wire(cg::Point p, double length, double tilt, Rows rows);
    void hedgehog(cg::Point p);
    // The stump outline for a base point, half-width w and height h.
    static cg::Path stump(cg::Point p, double w, double h);
    // A tent with its sentries; at night tentLights adds its lamp and light pool as sprites.
    void tent(cg::Point p);
    void tentLights(cg::Point p);
    void crate(cg::Point p);
    void soldier(cg::Point p, double heading);
    void nest(cg::Point p, double facing);
    // The sandbag angles of a nest in drawing order: the back bags, then the front ones (the second
    // list), leaving out those straight behind the gun.
    struct Bags {
        std::vector<double> back;
        std::vector<double> front;
    };
    static Bags nestBags(cg::Point p, double facing);

    // --- Vehicles and aircraft ---

    // A burnt-out tank at context point p with its flame, glow, ember and smoke sprites.
    void wreck(cg::Point p, const cg::ImageRef& smoke);
    // Its drawing alone, and its sprites alone (which draw nothing on the scene).
    void wreckBody(cg::Point p);
    void wreckLights(cg::Point p, const cg::ImageRef& smoke);
    // The tank seen from above on a 28 × 16 canvas, hull toward +x.
    void battleTank();
    // One 48 × 48 helicopter frame (or its flat shadow) with the rotor turned by `turn`.
    void helicopter(double turn, bool lit, bool shadow);
    // The jet outline moved by (dx, dy − 4), filled, on a 22 × 18 canvas.
    void plane(double dx, double dy, uint32_t color, double alpha);

    // --- Moving units ---

    // The helicopter's 7-point jittered loop around c.
    static Polyline heliLoop(cg::Point c);
    // The zig-zag fall of a flare from c.
    static Polyline flareFall(cg::Point c);
    // a, the bowed middle, b.
    static Polyline arc(cg::Point a, cg::Point b, double bow);

    // What the painter hands to the moving units: the land level, the track paths and the shelters.
    struct Field {
        float l0 = 0;
        std::vector<Polyline> tracks;
        std::vector<cg::Point> shelters;
    };
    // Helicopters, explosions, tanks and patrols, then the day's jets, birds and clouds or the night's
    // searchlights, flares, horizon flashes and clouds.
    void traffic(const Field& field);
    // The same with their pictures drawn beforehand by trafficPictures (drawn here when they do not fit).
    void traffic(const Field& field, const std::vector<cg::ImageRef>& drawn);
    // The same drawing nothing on the scene: the searchlights' lamps, the only drawing, are handed
    // back (scene points) for lamps() to draw, so the units can be worked out while the scene is drawn.
    std::vector<cg::Point> trafficUnits(const Field& field, const std::vector<cg::ImageRef>& drawn);
    void lamps(const std::vector<cg::Point>& at);
    std::vector<cg::ImageRef> trafficPictures() const;

    Art& art;

private:
    void nestBag(cg::Point m, double a);
};
