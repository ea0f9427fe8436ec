#pragma once
// The canyon's props, creatures and the routes its moving life follows. Props and creatures draw into
// whatever context `art.ctx` holds when they are called; routes and tests work in scene points (y down).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Art/Art.h"

class Art::Canyon {
public:
    explicit Canyon(Art& art);

    // --- The painter's steps ---

    // Shrubs, wash trees, boulders and cacti, cracks, tufts and streaks; returns the night's fire sites
    // (none by day). `alongside`, if given, gets the fire sites and runs once while the ground's last
    // bands are drawn, on a thread they leave free.
    std::vector<cg::Point> ground(const std::function<void(const std::vector<cg::Point>& fires)>& alongside = {});
    // The night's or the day's moving life, placed and its pictures made. None of it needs the scene's
    // pixels, so it can be made while the ground is drawn.
    class Life;
    std::shared_ptr<const Life> life(const std::vector<cg::Point>& fires);
    // Fires with tents, the coyote pair, the jeep on the wash and the two flashes on the horizon.
    void camp(const std::vector<cg::Point>& fires, const Life& life);
    // Birds, roadrunners, tumbleweeds, dust devils, cloud shadows and balloons.
    void wildlife(const Life& life);

    // --- Ground props, at a drawing point (y up); each leaves the graphics state as it found it ---

    void boulder(cg::Point p) const;
    void cactus(cg::Point p, bool tall) const;
    // A dome tent centred on p.
    void campTent(cg::Point p, uint32_t light, uint32_t dark) const;

    // --- Creatures and vehicles, in frame points (origin bottom left), seen from above facing +x ---

    void coyote(double step) const;                   // 24 × 12 frame
    void jeep() const;                                // 20 × 10 units
    void roadrunner(std::optional<double> step) const;  // 20 × 10 frame; no step: standing
    void dustDevil() const;                           // 36 × 36 frame
    void balloon(const std::vector<uint32_t>& palette) const;  // 76 × 64 frame
    // The sprite images that are not props: headlight beams (300 × 110), the flash glow (400 × 400 at
    // scale 1), the tumbleweed (16 × 16) and the dust devil's shadow trail (64 × 52).
    void headlights() const;
    void flashGlow() const;
    void tumbleweed() const;
    void dustTrail() const;

    // --- Shared tests, scene points ---

    float tex(cg::Point p) const;
    // Distance across the wash from its band, roughened by the texture; below 0 inside the band.
    double bank(cg::Point p) const;
    // Flat open ground whose shadow-side neighbour is below the land level.
    bool openFloor(cg::Point p) const;
    // The rectangle meets none of the keep rectangles.
    bool clear(const cg::Rect& r) const;

    // --- Routes, scene points ---

    // Seven points of a closed, jittered, tilted ellipse around p.
    static std::vector<cg::Point> prowl(cg::Point p, double r, uint64_t salt);
    // Eight points of a wandering open path from p.
    static std::vector<cg::Point> whirl(cg::Point p);
    // The 51 points of a balloon's long gentle course through the neighbourhood of p, untrimmed.
    static std::vector<cg::Point> driftCourse(cg::Point p);
    // The course trimmed to the screen and one point either side of it; empty when it never comes near.
    std::vector<cg::Point> balloonDrift(cg::Point p) const;
    // The six points a tumbleweed rolls through from p.
    static std::vector<cg::Point> tumbleweedPath(cg::Point p);

    // The jeep's run along the centre line of the wash: from start to end in direction dir (±1).
    struct JeepRun {
        double start = 0;
        double end = 0;
        double dir = 1;
    };
    double washY(double x) const;
    // Whether the jeep can pass at column x (off the screen it always can).
    bool road(double x) const;
    JeepRun jeepRun() const;
    // The out-and-back path of a run; empty when the run is 300 points or shorter.
    std::vector<cg::Point> jeepPath(const JeepRun& run) const;

    Art& art;

private:
    double W, H;
    bool night;
    cg::Point shadow;
    float landT;
};
