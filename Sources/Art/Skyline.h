#pragma once
// The skyline: the street grid seen obliquely from above, every block carrying buildings drawn as
// extruded boxes (glass towers round a downtown centre, flat houses and shops further out, gabled
// houses at the edge), parks with trees, paved yards round the icons, soft shadows, and at night
// windows that switch their lights and street-corner lamps. Cars and the airliner come from the city.
//
// Placing and testing use scene points (y down). The buildings are drawn in a context flipped once to
// scene points too, so every drawing operation here takes scene points; sprites are still given in
// drawing points (x, H − y), flipped by hand.
//
// The painter first plans (yards, buildings, trees), then records what each building and tree draws as
// a list of marks in painter's order, and lays the marks down in horizontal bands on several threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "Art/Art.h"
#include "Platform/Graphics/Color.h"

class Art::Skyline {
public:
    explicit Skyline(Art& art);

    // The oblique projection: height z leans up and to the left.
    static constexpr double kx = -0.3, ky = -0.8;
    static cg::Point project(cg::Point ground, double z) { return {ground.x + kx * z, ground.y + ky * z}; }

    // One building box.
    struct Mass {
        // `planter` is the small box of a roof garden, made only on flat roofs.
        enum class Kind { flat, gable, glass, shop, planter };
        cg::Rect f;           // footprint on the ground
        double z0 = 0;        // base height: 0 for every building standing on the ground
        double z1 = 0;        // top height
        uint32_t wall = 0;
        uint32_t roof = 0;
        Kind kind = Kind::flat;
        double ridge = 0;     // gable ridge above z1
    };
    struct Tree {
        cg::Point p;  // where the trunk stands
        double r = 0; // crown radius
    };

    // --- The street plan ---

    // The park hash of a street cell, in [−1, 1]; below −0.45 the cell is a park.
    static float cellValue(int64_t column, int64_t row);
    static bool park(int64_t column, int64_t row);
    // The buildable area of a cell inside its streets and pavements.
    static cg::Rect parcel(int64_t column, int64_t row);
    // The last column and row of the parcel loop (both inclusive).
    int64_t lastColumn() const;
    int64_t lastRow() const;

    // --- Planning ---

    // The downtown centre and how far the town reaches from it.
    cg::Point centre;
    double reach = 0;
    // exp(−(d / reach)²) for the distance d of the parcel's centre from the downtown centre.
    double centrality(const cg::Rect& parcel) const;

    // The footprint together with the box's leaning top, h above it.
    static double lean(const Mass& m);
    static cg::Rect outline(const Mass& m);
    // No icon comes within 3 points of the building's outline.
    bool room(const Mass& m) const;
    // Adds a tree unless its crown would reach an icon.
    void plantTree(cg::Point p, double r);
    // Lowers a building by quarters until it clears the icons, or puts a small tree in its place.
    void fit(Mass m);
    // Yards, buildings and trees of one parcel.
    void plot(int64_t column, int64_t row);
    // Trees placed in the parks (remembered across renders).
    void parkTrees();
    // Everything above: the downtown draw, every parcel, the park trees.
    void plan();

    std::vector<cg::Rect> yards;
    std::vector<Mass> masses;
    std::vector<Tree> trees;

    // --- Drawing ---

    // What a drawing operation puts down, in scene points: a filled polygon (3 or 4 corners), a line
    // stroked `width` wide between two points, or a filled ellipse in the rect (p[0], p[1] as size).
    struct Mark {
        enum class Form : uint8_t { polygon, line, ellipse };
        Form form = Form::polygon;
        uint8_t count = 0;
        std::array<cg::Point, 4> p{};
        cg::Color color;
        double width = 0;
    };
    // A window quad recorded at night: its corners, the colour of its other light state and the
    // painter's-order number of its building.
    struct Pane {
        std::array<cg::Point, 4> points{};
        cg::Color color;
        int64_t order = 0;
    };

    // A palette colour lit for day or night.
    cg::Color tint(uint32_t c, double k) const;
    // One building as an oblique box with windows, shop front and roof; records panes at night.
    void box(const Mass& m);
    // What stands on a roof: a glass tower's crown and antenna, a flat roof's planters.
    void dressRoof(const Mass& m);
    // One tree standing at p.
    void tree(cg::Point p, double r);

    // Every building then every tree, sorted back to front (by the front edge, then the left edge).
    struct Item {
        double key0 = 0, key1 = 0;
        bool isTree = false;
        std::size_t index = 0;  // into masses or trees
    };
    std::vector<Item> order() const;
    // Records the marks of every item in painter's order with their occluders; pane records at night.
    void record();
    // Yards, shadows and the recorded marks into the context (flipped to scene points), drawn in bands
    // of `band` pixel rows on several threads.
    void paint(int band = 128);
    // Leaves out the marks a later polygon covers whole (the same bytes, less drawing).
    bool cull = true;
    // Fills same-coloured slanted polygons together where Cairo converts each as if alone, and lets a
    // draw go before earlier ones it shares no pixel with (the same bytes, fewer trips through Cairo).
    bool runs = true;

    std::vector<Mark> marks;
    int64_t number = 0;  // painter's-order number of the item being recorded
    struct Occluder {
        int64_t order = 0;
        cg::Rect rect;
    };
    std::vector<Occluder> occluders;
    std::vector<Pane> panes;

    // --- Sprites and traffic ---

    // Window sprites: at most one per street-sized cell, from the panes nobody paints over later.
    struct WindowPick {
        std::size_t pane = 0;
        cg::Rect rect;  // pixel-snapped sprite rect, scene points
        cg::Point c;    // centre of the pane
    };
    std::vector<WindowPick> windowPicks() const;
    void windows();
    // Areas the cars and lamps keep out of: buildings with their tops, and trees.
    std::vector<cg::Rect> blockers() const;
    // Cars along every street lane stretch that no blocker covers.
    void traffic(const std::vector<cg::Rect>& blockers);
    // Corner lamps at night.
    void lamps(const std::vector<cg::Rect>& blockers);

    Art& art;
    const bool night;
    // Where the roof lights go: the scene's sprites unless a part of the recording is kept apart.
    std::vector<Sprite>* lights;
};
