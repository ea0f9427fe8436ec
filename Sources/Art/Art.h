#pragma once
// The painter of one render: the shaded bitmap context, the request, the terrain, the keep rectangles,
// the palette and the placements. Every scene painter is an operation of it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Graphics/Geometry.h"
#include "Renderer/Look.h"
#include "Renderer/Random.h"
#include "Scene/RenderedScene.h"
#include "Scene/SceneSpec.h"
#include "Scene/Sprite.h"
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
    // changed keep rectangles (or everywhere when nothing usable is remembered). Placements of distinct
    // salts may be made on several threads at once; `where` then runs on those threads.
    std::vector<cg::Point> spots(uint64_t salt, int64_t tries, double gap, int64_t limit,
                                 const std::function<bool(cg::Point)>& where);
    // The night plankton placement: spots whose 24-point box meets no keep rectangle.
    std::vector<cg::Point> plankton(uint64_t salt, int64_t tries, double gap, int64_t limit);

    // Keep rectangles that differ from the previous render's, added ones first; each once, finite and
    // reaching the canvas.
    const std::vector<cg::Rect>& changed();
    // Beyond this many changed rectangles every fresh candidate counts as near a change.
    static constexpr std::size_t kNearTestLimit = 256;

    // The placement key prefix "scene-day" / "scene-night", and the key of one salt.
    std::string style() const;
    std::string key(uint64_t salt) const;

    static double rand(cg::Point p, uint64_t salt) { return pointRand(p, salt); }

    // A flock of birds circling p on a 7-point loop.
    void bird(cg::Point p, double rx, double ry, double speed, uint32_t color, double beat);
    Sprite birdSprite(cg::Point p, double rx, double ry, double speed, uint32_t color, double beat) const;

    // Draws one picture offscreen: points `ctx` at a transparent bitmap of w × h points at `scale`
    // pixels per point (⌈w·scale⌉ × ⌈h·scale⌉ pixels, y-up), runs `draw`, and always puts the scene
    // context back. No image when the bitmap cannot be made.
    cg::ImageRef offscreen(double w, double h, double scale, const std::function<void()>& draw);
    cg::ImageRef offscreen(double w, double h, const std::function<void()>& draw) {
        return offscreen(w, h, s.scale, draw);
    }
    // Makes n independent pictures at once: picture i is make(worker, i), where `worker` is a painter of
    // its own for that call alone (same request, terrain, keep rectangles and look; no context until its
    // own `offscreen` sets one; no sprites or placements). `make` must draw only through `worker` and
    // read nothing that another picture writes. Results come back in index order, absent ones as null.
    std::vector<cg::ImageRef> offscreenEach(std::size_t n,
                                            const std::function<cg::ImageRef(Art& worker, std::size_t i)>& make) const;
    // Draws into the scene in horizontal bands on several threads, with the bytes one pass would give:
    // paint(worker, band) runs once per band, its worker (as offscreenEach's) drawing through a context
    // that changes the band's rows of the scene alone (cg::Context::makeBand); `band` is their
    // rectangle in drawing space, and what cannot reach it may be left out. So
    // `paint` must only draw, through its worker, the same drawing on every call; the sprites it appends
    // are appended once. The scene's transform and clip must be the render's own, with no shadow or
    // dash in force. Colours, line width, cap, join, miter limit, alpha and blend mode go in; the scene
    // keeps its own afterwards. One lane per thread takes the bands in turn; a lane that finds none left
    // runs `idle()`, if given, to fill the threads the last bands leave free: it must be safe to run on
    // several threads at once, and it runs at least once.
    void paintInBands(const std::function<void(Art& worker, const cg::Rect& band)>& paint,
                      const std::function<void()>& idle = {});

    // --- Drawing primitives, fire and craters ---

    // Fills (stroke 0, non-zero winding) or strokes (round caps and joins) the path `build` adds to, in
    // 0xRRGGBB at `alpha`. No state is saved: colour, line width, cap and join stay on the context.
    void shape(uint32_t color, double alpha, double stroke, const std::function<void(cg::Path&)>& build);
    // Strokes straight segments (pairs of points) as shape() strokes a path of them, as the context's
    // thin marks (cg::Context::strokeMarks), far cheaper for short segments. The same state stays.
    void marks(uint32_t color, double alpha, double stroke, std::span<const cg::Point> pairs);
    // A quadratic curve from a through control c to b as `pieces` pairs of points (for marks): at the
    // sizes drawn here the chords stay within a hundredth of a pixel of the curve.
    static void quadPieces(std::vector<cg::Point>& pairs, cg::Point a, cg::Point c, cg::Point b, int pieces);
    // The soft flattened shadow under a prop standing at `foot`, falling to the lower right.
    void groundShadow(cg::Point foot, double r, double strength);
    // A tree crown of six lobes and highlight dots, the same for the same k wherever it stands.
    void canopy(cg::Point p, double r, uint32_t dark, uint32_t light, double k);
    // The same crown from the same draws, drawn as one picture from sampled coverage where the transform
    // keeps the axes and circles (through canopy otherwise): for the small crowns drawn by the thousand
    // this costs a small share of canopy's clips and gradients, and differs from it by a few levels at
    // the lobes' rims. Leaves the fill colour as canopy does.
    void canopySampled(cg::Point p, double r, uint32_t dark, uint32_t light, double k);
    // An ellipse filling `box` (user space) in 0xRRGGBB `color`.
    struct Oval {
        cg::Rect box;
        uint32_t color = 0;
    };
    // The ovals filled at `alpha`, each over the ones before as separate shape() fills would be, as one
    // picture where the transform keeps the axes (as separate fills otherwise). Leaves the fill colour
    // as those fills do.
    void ovalsSampled(std::span<const Oval> ovals, double alpha);
    // Appends n cloud-shadow sprites, one per horizontal band (color 0: a dark shadow).
    void cloudShadows(int64_t n, double alpha, uint32_t color);
    // The same sprites, returned instead of appended; draws nothing into the scene, so it may run
    // alongside other drawing.
    std::vector<Sprite> cloudShadowSprites(int64_t n, double alpha, uint32_t color) const;
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

    // One kind of fish seen from above: body length (snout to tail tip) and largest half-width in points,
    // dorsal, flank and fin colours, marking pattern (0 none, 1 … 8), build, swimming-wave amplitude at
    // the tail tip as a fraction of the length, and the sprite beat in seconds.
    struct Fish {
        double length = 0;
        double width = 0;
        uint32_t back = 0;
        uint32_t flank = 0;
        uint32_t fin = 0;
        int64_t marks = 0;
        bool shark = false;
        bool koi = false;
        double amp = 0;
        double beat = 1;
    };
    // The fish of the island and sea scenes. The archipelago renders 10 poses of its sharks and 8 of its
    // school fish, the sea 10 of each of its kinds.
    struct FishKind {
        static constexpr Fish reefShark{24, 2.2, 0x7A8A8E, 0xB0BCBE, 0x6C7C82, 0, true, false, 0.08, 1.2};
        static constexpr Fish schoolFish{8, 1.1, 0x557884, 0xE4EEF0, 0xBCCDD2, 0, false, false, 0.12, 0.3};
        static constexpr Fish seaShark{82, 6.6, 0x76868E, 0xAAB8BC, 0x6C7C84, 0, true, false, 0.08, 1.7};
        static constexpr Fish grouper{42, 5.8, 0x5A4636, 0x86704F, 0x6A5642, 3, false, false, 0.08, 1.1};
        static constexpr Fish tuna{32, 4.6, 0x3B6880, 0xC6D6DA, 0x4AAAE0, 2, false, false, 0.1, 0.62};
        static constexpr Fish smallFish{17, 2.2, 0x1C3C54, 0x9EBCC8, 0x88A4B0, 1, false, false, 0.11, 0.42};
    };
    struct FishFrames {
        std::vector<cg::ImageRef> frames;  // swim poses in phase order
        std::vector<cg::ImageRef> shade;   // their soft shadows, same order
        double size = 0;                   // canvas width in points
    };
    // The canvas of one pose in points: the fish lies along its horizontal centre line, snout to +x.
    static cg::Size fishCanvas(const Fish& fish);
    // n poses at phases j/n and their shadows, each in a bitmap of its own. A pose whose bitmap cannot be
    // made is left out, so the rows may be shorter than n.
    FishFrames fishFrames(const Fish& fish, int64_t n);
    // Paints one pose (or its shadow) into ctx, whose user space must be the W × H canvas in points.
    void fishPose(const Fish& fish, double phase, double W, double H, bool shadow);
    // The geometry of one pose (spine, local frame, half-width), shared with the markings.
    struct FishBody;
    // The marking pattern of the fish, inside the body clip of a normal pose, drawing from `rng` (seeded
    // with fishMarkSeed). Patterns outside 1 … 8 draw nothing and take no draws.
    void fishMarks(const Fish& fish, const FishBody& body, RNG& rng);
    // UInt64(length × 100), truncating: every pose of a fish carries the same marks.
    static uint64_t fishMarkSeed(double length);

    // --- Whales, dolphins, rays, turtles, jellyfish, seagrass, surface sprites ---

    // A row of animation frames: pose(j / count) for j = 0 … count − 1, each drawn into its own w × h
    // point frame at the scene's scale. Frames that cannot be made are left out, so the row can be short.
    // `pose` draws through the painter it is given (frames are drawn on several threads at once).
    std::vector<cg::ImageRef> poseRow(int count, double w, double h, const std::function<void(Art&, double)>& pose);

    // Pose painters. Each draws one pose for a phase in [0, 1) into `ctx`, seen from above with the head
    // toward +x, and leaves colours and line settings behind: draw every pose into a fresh frame.
    // Whale of length L on a canvas of w × h points (callers use (1.1L + 8) × (0.75L + 8)).
    void whale(double phase, double length, double w, double h);
    // A dolphin rising to the surface and blowing at phase 0 (callers: L = 15 on 32 × 18).
    void surfacingDolphin(double phase, double length, double w, double h);
    // The swimming dolphin on its 64 × 30 canvas; `shadow` gives the flat shadow pose. Darkened with a
    // glow at night.
    void dolphin(double phase, bool shadow);
    // Eagle ray on 60 × 44, nose at x = 48 on the axis y = 22. `spotted` adds the pale dorsal spots.
    void eagleRay(double phase, bool shadow, bool spotted);
    // The ray's body outline and its tail for a phase, in canvas points.
    static cg::Path eagleRayBody(double phase);
    static cg::Path eagleRayTail(double phase);
    // Sea turtle on 30 × 24; the shadow pose is a soft flat silhouette. Night palette at night.
    void turtle(double phase, bool shadow);
    // Jellyfish on 20 × 20, centred at (10, 10); the same by day and night.
    void jellyfish(double phase);

    // A seagrass tuft around a drawing point, straight into `ctx`; it depends only on the point's
    // 1/16-point cell and on day or night.
    struct SeagrassBlade {
        cg::Point root;
        cg::Point tip;
        cg::Point control;
        uint32_t color = 0;
        double width = 0;
        double length = 0;
    };
    void seagrass(cg::Point p);
    std::vector<SeagrassBlade> seagrassBlades(cg::Point p) const;

    // Surface frames: four whitecap frames (20 × 12 points) and four swash frames (18 × 8), frame i
    // seeded by i alone; a frame that cannot be made is left out. One soft 12 × 12 glint.
    std::vector<cg::ImageRef> whitecaps(uint32_t color, double alpha);
    std::vector<cg::ImageRef> swash(uint32_t color);
    cg::ImageRef sparkle(uint32_t color);

    // Up to `limit` drifting patches of caustic light over water where depth(height) > 0.6, each a
    // 340 × 340 additive image appended as a glowing trip sprite. `depth` runs on several threads at once
    // and must be pure. `tint` is RGB in 0…255.
    struct ShimmerTint {
        float r = 0, g = 0, b = 0;
    };
    void shimmer(int64_t limit, uint64_t salt, float strength, ShimmerTint tint,
                 const std::function<float(float)>& depth);
    // The same sprites, returned instead of appended. It draws nothing into the scene and reads only the
    // request, terrain, keep rectangles and remembered placements; its own placement is recorded as
    // `spots` records any. So it may run alongside drawing and other placements on this painter.
    std::vector<Sprite> shimmerSprites(int64_t limit, uint64_t salt, float strength, ShimmerTint tint,
                                       const std::function<float(float)>& depth);
    // Where those patches go (their placement alone, recorded the same way): a painter that makes the
    // patches among its other pictures places them first, then calls shimmerPatch and shimmerSprite.
    std::vector<cg::Point> shimmerCentres(int64_t limit, uint64_t salt, const std::function<float(float)>& depth);
    // The three-point drift of a shimmer patch from scene point p.
    static std::vector<cg::Point> shimmerSwell(cg::Point p);
    // The patch image around scene point p (340 × 340 pixels, R G B X, one pixel per point); none when
    // the image cannot be made.
    cg::ImageRef shimmerPatch(cg::Point p, float strength, ShimmerTint tint,
                              const std::function<float(float)>& depth) const;
    // The glowing sprite that carries a patch made at p along its swell.
    Sprite shimmerSprite(cg::Point p, cg::ImageRef image) const;

    // --- Island props and the giant ape ---

    // A thatched hut standing on p (the middle of its foot): its picture in the scene, then at night
    // its lit window and glow as sprites.
    void hut(cg::Point p) {
        hutPicture(p);
        hutLights(p);
    }
    void hutPicture(cg::Point p);
    void hutLights(cg::Point p);
    // A palm at p: its ground shadow in the scene, the tree as a swaying sprite.
    void palm(cg::Point p, double lean);
    // The same with its tree picture made beforehand by palmImage (none: the shadow alone).
    void palm(cg::Point p, cg::ImageRef image);
    // The palm's sprite alone (none without an image).
    void palmSprite(cg::Point p, cg::ImageRef image);
    // The palm's tree picture for a lean: 34 × 36 points with the trunk's foot at (17, 3).
    cg::ImageRef palmImage(double lean);
    // The palm's trunk, fronds and coconuts drawn into ctx with the trunk's foot at `base`.
    void palmTree(cg::Point base, double lean);
    // A round lighthouse seen from above, centred on p.
    void lighthouse(cg::Point p);
    // The palm's nine fronds in drawing order (ascending sine of the angle), seeded by |lean|.
    struct PalmFrond {
        double angle = 0;
        double length = 0;
    };
    static std::vector<PalmFrond> palmFronds(double lean);

    // One pose of the giant ape in its figure frame (y up, feet at y 0, walking toward +x).
    void ape(double step, double rear, double pound, double roar, bool mirrored, bool facing);
    // Renders the ape's poses and appends its `act` sprite patrolling `beat` (scene points).
    void kong(const std::vector<cg::Point>& beat);
    // The same with the poses drawn beforehand: drawn[i] is kongPose(i), for every i below kongPoseCount().
    void kong(const std::vector<cg::Point>& beat, const std::vector<cg::ImageRef>& drawn);
    static std::size_t kongPoseCount();
    // One of the ape's poses with its ground shadow, offscreen in its canvas.
    cg::ImageRef kongPose(std::size_t i);

    // Where the side-view ape's body and limbs stand for one pose, in its figure frame.
    struct ApeStance {
        double spine = 0;   // angle of the spine, radians
        cg::Point hip, shoulder;
        cg::Point farFoot, nearFoot;  // x of the foot and its lift
        cg::Point farHand, nearHand;
        cg::Point head;
        double nod = 0;     // rotation of the head
    };
    static ApeStance apeStance(double step, double rear);
    // The gait law of one limb: sliding back on the ground for 62% of the cycle, swinging forward after.
    static cg::Point apeTread(double phase, double reach, double lift);
    // The middle joint of a two-bone limb from root to end; side +1 bends it counter-clockwise of the
    // root–end direction (y up), −1 clockwise.
    static cg::Point apeJoint(cg::Point root, cg::Point end, double upper, double lower, double side);

    // One frame of the ape's sprite: which of its 55 pose drawings it shows.
    struct ApePose {
        enum class Set : uint8_t { walk, rear, front };
        Set set = Set::walk;
        bool mirrored = false;
        int index = 0;  // walk 0…19, rear 0…5 (rising), front 0…2
        friend bool operator==(const ApePose&, const ApePose&) = default;
    };
    // The ape's frame sequence over a beat path: poses and positions (scene points) of the out and
    // back passes, and the poses of the two click reactions.
    struct ApeTimeline {
        std::vector<ApePose> frames;
        std::vector<cg::Point> path;
        std::vector<ApePose> shade;
    };
    static ApeTimeline apeTimeline(const std::vector<cg::Point>& beat);
    // The point at fraction t of a path, by point index (not arc length); a one-point path gives that
    // point, an empty one the origin.
    static cg::Point beatSpot(const std::vector<cg::Point>& beat, double t);

    // --- Scene painters' helpers ---

    // sea
    // An open, wandering route of 7 to 10 scene points from p (its first point), 0.7 to 1.3 L long;
    // a larger bend curls it more, bend 0 keeps it straight.
    static std::vector<cg::Point> seaRoute(cg::Point p, double L, double bend);
    // A closed, jittered ring of 6 to 8 scene points around p within 1.1 r (last point not repeated).
    static std::vector<cg::Point> seaLap(cg::Point p, double r);
    // Whether the smoothed path stays strictly inside the canvas with every 2m-square around its points
    // clear of the keep rectangles.
    bool seaOpen(const std::vector<cg::Point>& path, double m, bool closed) const;
    // Seabed props at a drawing point: a squat rock of radius R shaped by seed s in [0, 1), a shell, and a
    // starfish turned and coloured by v in [0, 1).
    void rock(cg::Point c, double R, double s);
    void shell(cg::Point c);
    void starfish(cg::Point c, double v);

    // Each scene group's own operations, declared in its own header (Art/Archipelago.h, Art/Reef.h, ...).
    class Archipelago;
    class Reef;
    class Pond;
    class Orbit;
    class Canyon;
    class Winter;
    class Battlefield;
    class City;
    class Skyline;

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
    // A worker painter for offscreenEach: shares the read-only state of `parent`, nothing else.
    struct WorkerTag {};
    Art(const Art& parent, WorkerTag);

    std::optional<std::vector<cg::Rect>> changed_;
    std::mutex placementLock_;  // guards changed_ and placed while placements run at once
};
