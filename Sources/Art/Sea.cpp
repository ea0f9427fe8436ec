// The open-sea painter: seabed props straight into the picture, then whitecaps, fish, a ray, a turtle and
// dolphins as sprites; gulls by day, plankton, jellyfish and moon glints by night; cloud shadows and the
// water shimmer last. Every placement goes through `spots`, so a scene stays calm when icons move.

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "Art/Art.h"
#include "Art/Geometry2D.h"
#include "Art/PictureBatch.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/Palette.h"

namespace {

// Depth weight of the shimmer: nothing over the shoals, full light over open water.
float seaShimmerRamp(float v) { return palette::smoothstep(0.05f, 0.15f, v); }

// The swell that decides where whitecaps may break; its phases come from the scene seed.
double seaSwell(uint64_t seed, cg::Point p) {
    const double a = static_cast<double>(seed % 628) / 100;
    const double b = static_cast<double>((seed / 628) % 628) / 100;
    return 0.6 * std::sin(p.x / 150 + a) * std::sin(p.y / 110 + b) +
           0.4 * std::sin((0.8 * p.x + 0.6 * p.y) / 90 + a - b);
}

// x − ⌊x⌋ for the phases of fish that follow one another round a loop.
double fraction(double x) { return x - std::floor(x); }

// ⌊k·u⌋ for a hash u in [0, 1): a small non-negative count.
int64_t floorCount(double k, double u) {
    const double q = std::floor(k * u);
    return q > 0 ? static_cast<int64_t>(q) : 0;
}

}  // namespace

void Art::sea() {
    const float landT = look.landAt();
    const bool night = s.night;
    const uint64_t seed = s.seed();
    auto clear = [this](const cg::Rect& box) {
        for (const cg::Rect& r : keep)
            if (box.intersects(r)) return false;
        return true;
    };
    auto drawn = [this](const std::vector<cg::Point>& scenePoints) {
        std::vector<cg::Point> out;
        out.reserve(scenePoints.size());
        for (const cg::Point& q : scenePoints) out.push_back(flip(q));
        return out;
    };
    // A swimmer that follows its route (or its shifted loop): starts on the path's first point.
    auto swimmer = [&](std::vector<cg::Point> path, double size, double phase, double travel,
                       const std::vector<cg::ImageRef>& frames, const std::vector<cg::ImageRef>& shade, double beat,
                       double rest, bool closed, double pulse) {
        Sprite sp;
        sp.kind = Sprite::Kind::trip;
        sp.path = drawn(path);
        sp.at = sp.path.front();
        sp.size = size;
        sp.phase = phase;
        sp.travel = travel;
        sp.frames = frames;
        sp.shade = shade;
        sp.beat = beat;
        sp.rest = rest;
        sp.closed = closed;
        sp.pulse = pulse;
        return sp;
    };

    // The sprites that come last neither read nor draw the scene and need none of the placements below:
    // they are made from the start, beside the placements and the shading, and appended at the end.
    auto append = [](std::vector<Sprite>& out, std::vector<Sprite> more) {
        for (Sprite& sp : more) out.push_back(std::move(sp));
    };

    // Gulls, white cloud shadows and a bright shimmer.
    auto daySprites = [&] {
        std::vector<Sprite> out;
        for (const cg::Point& p : spots(303, 600, 400, 2, [&](cg::Point p) {
                 return clear(cg::Rect(p.x - 72, p.y - 56, 144, 112));
             }))
            out.push_back(birdSprite(p, 62, 48, 17, 0xf7f9fa, 5.5));
        append(out, cloudShadowSprites(4, 0.09, 0xffffff));
        append(out, shimmerSprites(4, 7700001, 0.26f, {200, 245, 255}, seaShimmerRamp));
        return out;
    };

    // Night: plankton glows, jellyfish, moon glints, faint bluish clouds and a cooler shimmer.
    auto nightSprites = [&] {
        std::vector<Sprite> out;
        for (const cg::Point& p : plankton(9, 2000, 50, 30)) {
            Sprite sp;
            sp.kind = Sprite::Kind::firefly;
            sp.at = flip(p);
            sp.size = 1;
            sp.phase = rand(p, 0);
            sp.travel = 12;
            sp.color = 0x7fffe0;
            sp.beat = 1;
            sp.rest = 0;
            sp.closed = false;
            sp.pulse = 0;
            out.push_back(std::move(sp));
        }

        {
            const std::vector<cg::ImageRef> frames = poseRow(10, 20, 20, [&](Art& a, double ph) { a.jellyfish(ph); });
            for (const cg::Point& p : spots(505, 900, 220, 4, [&](cg::Point p) { return seaOpen(seaRoute(p, 160, 0.35), 18, false); })) {
                Sprite sp = swimmer(seaRoute(p, 160, 0.35), 16 + 8 * rand(p, 5), rand(p, 4), 4 + 2 * rand(p, 3), frames, {},
                                    2.2 + 0.6 * rand(p, 6), 0.3, false, 0.9);
                sp.face = false;
                out.push_back(std::move(sp));
            }
        }

        {
            // Drawn by a worker of its own: the scene's context is the bands' meanwhile.
            const cg::ImageRef glint =
                offscreenEach(1, [](Art& a, std::size_t) { return a.sparkle(0xfff4da); }).front();
            const double h = H();
            for (const cg::Point& p : spots(31000007, 3000, 6, 90, [&](cg::Point p) {
                     // Inside the moon's reflection on the water, thinning out towards its rim.
                     const double d = std::hypot((p.x - 0.46 * h) / (0.27 * h), (p.y - 0.32 * h) / (0.15 * h));
                     if (!(d < 1)) return false;
                     if (!(rand(p, 3) < (1 - d) * (1 - d))) return false;
                     if (!(value(p) < 0.04f)) return false;
                     return clear(cg::Rect(p.x - 1.5, p.y - 2, 3, 4));
                 })) {
                if (!glint) continue;
                Sprite sp;
                sp.kind = Sprite::Kind::light;
                sp.at = flip(p);
                sp.size = (0.2 + 0.2 * rand(p, 4)) * 11;
                sp.phase = rand(p, 5);
                sp.travel = 0;
                sp.image = glint;
                sp.beat = 1;
                sp.rest = 0;
                sp.closed = false;
                sp.pulse = 0.92;
                out.push_back(std::move(sp));
            }
        }

        append(out, cloudShadowSprites(2, 0.06, 0x9fc6ff));
        append(out, shimmerSprites(3, 7700001, 0.34f, {120, 165, 235}, seaShimmerRamp));
        return out;
    };

    std::vector<Sprite> later;
    std::optional<dispatch::Background> making;
    making.emplace([&] { later = night ? nightSprites() : daySprites(); });

    // Seagrass on the shoal tops where the texture is positive.
    const std::vector<cg::Point> grass = spots(1, 9000, 7, std::numeric_limits<int64_t>::max(), [&](cg::Point p) {
        if (!(value(p) > landT + 0.1f)) return false;
        if (!(t.tex->sample(p) > 0)) return false;
        return clear(cg::Rect(p.x - 4, p.y - 8, 8, 10));
    });
    // Rocks from mid-depth up to the shoal rims.
    const std::vector<cg::Point> rocks = spots(2, 3000, 30, 40, [&](cg::Point p) {
        const float v = value(p);
        if (!(v > 0.12f)) return false;
        if (!(v < landT + 0.08f)) return false;
        return clear(cg::Rect(p.x - 8, p.y - 10, 16, 16));
    });
    // Shells and starfish on the shoal rims.
    const std::vector<cg::Point> strand = spots(3, 2500, 44, 24, [&](cg::Point p) {
        const float v = value(p);
        if (!(landT < v && v < landT + 0.08f)) return false;
        return clear(cg::Rect(p.x - 6, p.y - 6, 12, 12));
    });
    // Whitecaps on deep water where the swell runs high.
    const std::vector<cg::ImageRef> caps = whitecaps(night ? 0x7f98b4 : 0xd8f1ff, 1);
    for (const cg::Point& p : spots(4, 2000, 70, 40, [&](cg::Point p) {
             if (!(value(p) < 0.04f)) return false;
             if (!(seaSwell(seed, p) > -0.2)) return false;
             return clear(cg::Rect(p.x - 14, p.y - 5, 28, 10));
         })) {
        if (caps.empty()) continue;
        const int64_t number = floorCount(4, rand(p, 5)) % 4;
        Sprite sp;
        sp.kind = Sprite::Kind::wave;
        sp.at = flip(p);
        sp.size = 16;
        sp.phase = rand(p, 0);
        sp.travel = 10;
        sp.image = caps[static_cast<std::size_t>(number) % caps.size()];
        sp.beat = 1;
        sp.rest = 0;
        sp.closed = false;
        sp.pulse = 0;
        sprites.push_back(std::move(sp));
    }

    // Sharks. Each fish kind is drawn once per render (only when the group has a spot, which
    // changes nothing else) and shared by every fish of the kind.
    auto fishRoutes = [&](uint64_t salt, int64_t tries, double gap, int64_t limit, double length, double bend,
                          double margin, const std::function<bool(cg::Point)>& first) {
        return spots(salt, tries, gap, limit, [&, length, bend, margin](cg::Point p) {
            if (first && !first(p)) return false;
            return seaOpen(seaRoute(p, length, bend), margin, false);
        });
    };
    // Every group is placed first, in the usual order; then all their frames are drawn at once; then
    // the sprites are appended in the usual order.
    PictureBatch batch;
    const auto fishRows = [&batch](const Fish& fish) {
        return std::pair{batch.fish(fish, 10, false), batch.fish(fish, 10, true)};
    };
    const auto rowOf = [&batch](std::pair<std::size_t, std::size_t> rows) {
        FishFrames fish;
        fish.frames = batch.frames(rows.first);
        fish.shade = batch.frames(rows.second);
        return fish;
    };

    const std::vector<cg::Point> sharks = fishRoutes(5, 900, 300, night ? 1 : 2, 520, 0.18, 46, {});
    std::pair<std::size_t, std::size_t> sharkRows{};
    if (!sharks.empty()) sharkRows = fishRows(FishKind::seaShark);

    // One eagle ray.
    const std::size_t rayRow = batch.row(16, 60, 44, [](Art& a, double ph) { a.eagleRay(ph, false, true); });
    const std::size_t rayShade = batch.row(16, 60, 44, [](Art& a, double ph) { a.eagleRay(ph, true, true); });
    const std::vector<cg::Point> rays =
        spots(101, 900, 1, 1, [&](cg::Point p) { return seaOpen(seaRoute(p, 560, 0.2), 34, false); });

    // Groupers over the deeper shoal flanks.
    const std::vector<cg::Point> groupers =
        fishRoutes(6, 900, 200, 3, 200, 0.4, 26, [&](cg::Point p) { return value(p) > 0.1f; });
    std::pair<std::size_t, std::size_t> grouperRows{};
    if (!groupers.empty()) grouperRows = fishRows(FishKind::grouper);

    // One turtle by day; at night the group is placed with limit 0 and stays empty.
    const std::vector<cg::Point> turtles = spots(202, 900, 1, night ? 0 : 1, [&](cg::Point p) {
        if (!(value(p) > landT + 0.05f)) return false;
        return seaOpen(seaRoute(p, 220, 0.35), 22, false);
    });
    std::size_t turtleRow = 0, turtleShade = 0;
    if (!turtles.empty()) {
        turtleRow = batch.row(12, 30, 24, [](Art& a, double ph) { a.turtle(ph, false); });
        turtleShade = batch.row(12, 30, 24, [](Art& a, double ph) { a.turtle(ph, true); });
    }

    // Tuna.
    const std::vector<cg::Point> tuna = fishRoutes(7, 1500, 120, night ? 3 : 7, 380, 0.3, 22, {});
    std::pair<std::size_t, std::size_t> tunaRows{};
    if (!tuna.empty()) tunaRows = fishRows(FishKind::tuna);

    // Schools of sixteen small fish following one another round a loop, up to 56 points apart.
    const std::vector<cg::Point> schools =
        spots(8, 900, 320, night ? 1 : 3, [&](cg::Point p) { return seaOpen(seaLap(p, 120), 40, true); });
    std::pair<std::size_t, std::size_t> schoolRows{};
    if (!schools.empty()) schoolRows = fishRows(FishKind::smallFish);

    // A pod of two to four dolphins on one loop, the first ahead and the others flanking it.
    const std::size_t dolphinRow = batch.row(12, 64, 30, [](Art& a, double ph) { a.dolphin(ph, false); });
    const std::size_t dolphinShade =
        night ? 0 : batch.row(12, 64, 30, [](Art& a, double ph) { a.dolphin(ph, true); });
    const std::vector<cg::Point> pods =
        spots(404, 900, 1, 1, [&](cg::Point p) { return seaOpen(seaLap(p, 260), 34, true); });

    batch.draw(*this);

    if (!sharks.empty()) {
        const FishFrames fish = rowOf(sharkRows);
        const double size = fishCanvas(FishKind::seaShark).width;
        for (const cg::Point& p : sharks)
            sprites.push_back(swimmer(seaRoute(p, 520, 0.18), size, rand(p, 4), 15 + 5 * rand(p, 3), fish.frames,
                                      fish.shade, 1.7, 0.3, false, 0.18));
    }

    {
        const std::vector<cg::ImageRef> frames = batch.frames(rayRow);
        const std::vector<cg::ImageRef> shade = batch.frames(rayShade);
        for (const cg::Point& p : rays)
            sprites.push_back(swimmer(seaRoute(p, 560, 0.2), 60, rand(p, 4), 13 + 4 * rand(p, 3), frames, shade, 2.6,
                                      0.5 + rand(p, 5), false, 0.4));
    }

    if (!groupers.empty()) {
        const FishFrames fish = rowOf(grouperRows);
        const double size = fishCanvas(FishKind::grouper).width;
        for (const cg::Point& p : groupers)
            sprites.push_back(swimmer(seaRoute(p, 200, 0.4), size, rand(p, 4), 7 + 3 * rand(p, 3), fish.frames,
                                      fish.shade, 1.1, 0.3, false, 0.18));
    }

    if (!turtles.empty()) {
        const std::vector<cg::ImageRef> frames = batch.frames(turtleRow);
        const std::vector<cg::ImageRef> shade = batch.frames(turtleShade);
        for (const cg::Point& p : turtles)
            sprites.push_back(swimmer(seaRoute(p, 220, 0.35), 30, rand(p, 4), 6, frames, shade, 2.8, 0.3, false, 0.55));
    }

    if (!tuna.empty()) {
        const FishFrames fish = rowOf(tunaRows);
        const double size = fishCanvas(FishKind::tuna).width;
        for (const cg::Point& p : tuna)
            sprites.push_back(swimmer(seaRoute(p, 380, 0.3), size, rand(p, 4), 26 + 10 * rand(p, 3), fish.frames,
                                      fish.shade, 0.62, 0.3, false, 0.18));
    }

    if (!schools.empty()) {
        const FishFrames fish = rowOf(schoolRows);
        const double size = fishCanvas(FishKind::smallFish).width;
        for (const cg::Point& p : schools) {
            const std::vector<cg::Point> loop = seaLap(p, 120);
            const double travel = 30 + 8 * rand(p, 3);
            const double base = rand(p, 4);
            const double L = pathLength(rounded(loop, true, 2));
            for (uint64_t i = 0; i < 16; ++i) {
                const double dx = (rand(p, 40 + i) - 0.5) * 26;
                const double dy = (rand(p, 80 + i) - 0.5) * 26;
                std::vector<cg::Point> path;
                path.reserve(loop.size());
                for (const cg::Point& q : loop) path.push_back({q.x + dx, q.y + dy});
                const double phase = L > 0 ? fraction(base - rand(p, 20 + i) * 56 / L + 1) : base;
                Sprite sp = swimmer(path, size, phase, travel, fish.frames, fish.shade, 0.42, 0.3, true, 0.18);
                sp.stroke = rand(p, 60 + i);
                sprites.push_back(std::move(sp));
            }
        }
    }

    {
        const std::vector<cg::ImageRef> frames = batch.frames(dolphinRow);
        const std::vector<cg::ImageRef> shade = night ? std::vector<cg::ImageRef>{} : batch.frames(dolphinShade);
        for (const cg::Point& p : pods) {
            const std::vector<cg::Point> loop = seaLap(p, 260);
            const double travel = 40 + 10 * rand(p, 3);
            const double base = rand(p, 4);
            const double L = pathLength(rounded(loop, true, 2));
            const int64_t n = floorCount(2.99, rand(p, 5)) + 2;
            for (int64_t i = 0; i < n; ++i) {
                const double o = i == 0 ? 0 : (i % 2 == 1 ? -15 : 15);
                std::vector<cg::Point> path;
                path.reserve(loop.size());
                for (const cg::Point& q : loop) path.push_back({q.x + o, q.y - o});
                const double phase = L > 0 ? fraction(base - 34 * static_cast<double>(i) / L + 1) : base;
                Sprite sp = swimmer(path, 64, phase, travel, frames, shade, 0.8, 0.3, true, 0.2);
                sp.stroke = 0.2 * static_cast<double>(i);
                sprites.push_back(std::move(sp));
            }
        }
    }

    // The seagrass, rocks and shells only draw: in bands, each leaving out what cannot reach its band (none
    // reaches 30 points). Everything above only places and draws pictures of its own, so it ran while the
    // ground was being shaded; this is the first draw into the scene.
    auto paintFloor = [&] {
        paintInBands([&](Art& a, const cg::Rect& band) {
            auto near = [&band](cg::Point q) { return q.y + 30 >= band.minY() && q.y - 30 <= band.maxY(); };
            for (const cg::Point& p : grass)
                if (near(flip(p))) a.seagrass(flip(p));
            for (const cg::Point& p : rocks)
                if (near(flip(p))) a.rock(flip(p), 2.5 + 4 * rand(p, 0), rand(p, 1));
            for (const cg::Point& p : strand) {
                if (!near(flip(p))) continue;
                if (rand(p, 1) >= 0.5) a.shell(flip(p));
                else a.starfish(flip(p), rand(p, 2));
            }
        });
    };
    paintFloor();
    making.reset();
    for (Sprite& sp : later) sprites.push_back(std::move(sp));
}
