#pragma once
// The reef's routes and props. Routes are pure functions of a placed point (scene coordinates, y down),
// so a kept spot always gives the same path; props draw into the painter's current context (drawing
// coordinates, y up) and depend only on their arguments and on day or night.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Art/Art.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Path.h"

// The depth weight of the reef's light patches: dim over the deep floor, full over the slopes, dimmer
// again over the reef flats.
float reefShimmerCurve(float depth);

class Art::Reef {
public:
    explicit Reef(Art& art) : art(art) {}

    // --- Routes (scene coordinates) ---

    // A closed loop of 6 to 8 points round p within the radii rx, ry, turned and run either way by the
    // point hash at p from `salt` on.
    static std::vector<cg::Point> lap(cg::Point p, double rx, double ry, uint64_t salt);
    // The small loop of member i of a milling school round p.
    static std::vector<cg::Point> mill(cg::Point p, uint64_t i);
    // The zigzag 90 points up the screen of bubble i rising from p; it ends straight above its start.
    static std::vector<cg::Point> rise(cg::Point p, uint64_t i);
    // A jellyfish's six-point drift from p, mostly up the screen.
    static std::vector<cg::Point> drift(cg::Point p);

    // --- Props (drawing coordinates) ---

    // A sponge of radius about `size` at p.
    void sponge(cg::Point p, double size, double v);
    // A giant clam at p turned by `angle`.
    void clam(cg::Point p, double angle, double v);
    // The clam's scalloped outline of 20 points round the origin.
    static cg::Path lip(double rx, double ry);
    void urchin(cg::Point p, double v);
    // One of five coral forms standing at p, scaled by `scale`.
    void coral(cg::Point p, double v, double scale);
    // A kelp's ground shadow at p; its frond sways as a sprite of its own (none without a frond picture).
    void kelp(cg::Point p);
    static std::optional<Sprite> kelpSway(cg::Point p, const cg::ImageRef& frond);
    // The kelp frond, into a 16 × 30 point frame.
    void frond();
    // An anemone, into a 24 × 24 point frame.
    void anemone(double v);
    // One diver pose, facing +x, into a 50 × 24 point frame.
    void diver(double phase);
    // The diver's torch beam on black, into a 250 × 120 point frame.
    void beam();
    // A bubble ring with its highlight, into a 6 × 6 point frame.
    void bubble();

    // --- Thin round strokes, sampled instead of stroked through Cairo ---

    struct Disc {
        cg::Point centre;
        double radius = 0;
    };
    // Coverage of a box of whole pixels in the bitmap's y-up pixel space: (x, y) its bottom-left pixel,
    // `alpha` its rows from the top, 255 for a pixel wholly covered.
    struct Coverage {
        int x = 0, y = 0, width = 0, height = 0;
        std::vector<uint8_t> alpha;
    };
    // The coverage of round-capped segments of radius `radius` (pairs of points: 0–1, 2–3, …, in y-up
    // pixel space; round joins where they meet), cut to the disc if one is given and to a width × height
    // bitmap. Each pixel's coverage is the mean covered length across it on 15 lines through its row.
    static Coverage strokeCoverage(std::span<const cg::Point> pairs, double radius, std::optional<Disc> clip,
                                   int width, int height);
    // The same for the simple polygon through the rim points (its edges do not cross). Rows below `fromRow`
    // are left out, for a picture that can change only the rows above.
    static Coverage polygonCoverage(std::span<const cg::Point> rim, int width, int height, int fromRow = 0);
    // The same for a filled ellipse with axes along x and y.
    static Coverage ellipseCoverage(cg::Point centre, double rx, double ry, int width, int height, int fromRow = 0);
    // Strokes the segments (user space) with round caps in the colour, cut to the disc (user space) if one
    // is given, through strokeCoverage where the transform keeps the pen round.
    void strokeSampled(uint32_t color, double alpha, double width, std::span<const cg::Point> pairs,
                       std::optional<Disc> clip = std::nullopt);

    // The bush coral's crown: Art::canopy of radius 5.5 at the origin, drawn here as one picture where the
    // transform keeps the axes and circles (through Art::canopy otherwise).
    void bush(uint32_t dark, uint32_t light, double v);

    // The brain coral's dome at the origin: a disc of radius 4.6 shaded from `o` up and to the left to `m`,
    // and seven wavy ridges across it turned by beta, in `m`; one picture where the transform keeps circles.
    void brain(uint32_t m, uint32_t o, double beta);
    // The plate coral's disc at the origin: its shadow, the rim (seen whole from the origin) shaded from `o`
    // to `m`, its spokes and its edge; one picture where the transform keeps circles and the axes.
    void plate(uint32_t m, uint32_t o, std::span<const cg::Point> rim);
    // The lobed coral's body at the origin, its rim shaded from `o` to `m`, and its dots; one picture
    // likewise.
    void lobed(uint32_t m, uint32_t o, std::span<const cg::Point> rim, std::span<const cg::Rect> dots);
    // The branching coral's limbs (pairs of points) in `m`, their lighter core in `o` up and to the left,
    // and the polyps at their tips; one picture where the transform keeps circles and the axes.
    void branches(uint32_t m, uint32_t o, std::span<const cg::Point> lines, std::span<const cg::Point> polyps);
    // Ellipses filling the rects (user space) in the colour, each over the ones before as separate fills
    // would be; one picture where the transform keeps the axes (separate fills otherwise).
    void dotsSampled(uint32_t color, double alpha, std::span<const cg::Rect> ovals);

    // Lays n premultiplied pixels over n others, rounded as the drawing library rounds source-over.
    static void layOver(const uint32_t* src, uint32_t* dst, int n);

    // --- Choices the props make from their variation ---

    struct Colors {
        uint32_t first = 0;
        uint32_t second = 0;
        friend bool operator==(const Colors&, const Colors&) = default;
    };
    static Colors spongeColors(double v, bool night);
    static Colors clamColors(double v, bool night);
    static Colors coralColors(double v, bool night);
    static Colors anemoneColors(double v, bool night);
    // 0 brain, 1 bush, 2 plate, 3 branching, 4 lobed.
    static int coralForm(double v);

    // Where a diver's foot is and how long its fin reaches behind it; upper leg first.
    struct Kick {
        cg::Point foot;
        double fin = 0;
    };
    static std::array<Kick, 2> kicks(double phase);

    Art& art;
};
