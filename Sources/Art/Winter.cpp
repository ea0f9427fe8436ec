// The winter painter: floes and seals on the open water, ice edges and chunk rings along the shelf, fox
// and hare tracks, snow mounds, cabins, pines and snowmen back to front, and snow globes; then the live
// things: drifting floes, foxes, birds by day, wobbling figures, steam, snowfall, the sleigh and the sky.
// Every position comes from a placement or from the point hash of one.

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "Art/Art.h"
#include "Art/Geometry2D.h"
#include "Art/PictureBatch.h"
#include "Art/Winter.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

uint32_t pick(bool night, uint32_t day, uint32_t dark) { return night ? dark : day; }

// The winter's own sprite defaults: figures do not turn to face their way unless told to.
Sprite still(Sprite::Kind kind, cg::Point at, double size, double phase) {
    Sprite sp;
    sp.kind = kind;
    sp.at = at;
    sp.size = size;
    sp.phase = phase;
    sp.face = false;
    return sp;
}

}  // namespace

void Art::winter() {
    Winter winter(*this);
    const bool night = s.night;
    const float landAt = look.landAt();
    const double w = W(), h = H();

    auto clear = [this](const cg::Rect& box) {
        for (const cg::Rect& r : keep)
            if (box.intersects(r)) return false;
        return true;
    };
    auto onScreen = [w, h](cg::Point q) { return q.x > 0 && q.x < w && q.y > 0 && q.y < h; };
    auto drawn = [this](const std::vector<cg::Point>& scenePoints) {
        std::vector<cg::Point> out;
        out.reserve(scenePoints.size());
        for (const cg::Point& q : scenePoints) out.push_back(flip(q));
        return out;
    };
    // A trace from p along the terrain that stays on screen, near p's height and clear of the icons.
    auto traceHolds = [&](cg::Point p, int64_t steps, double step, float tolerance, double half) {
        const float v = value(p);
        for (const cg::Point& q : winter.shoreline(p, steps, step)) {
            if (!onScreen(q)) return false;
            if (!(std::fabs(value(q) - v) < tolerance)) return false;
            if (!clear(cg::Rect(q.x - half, q.y - half, 2 * half, 2 * half))) return false;
        }
        return true;
    };

    // Every picture of the scene is independent of the placements: draw them all at once up front.
    PictureBatch batch;
    const std::size_t floeRow = batch.row(1, 30, 26, [](Art& a, double) { Winter(a).floe({15, 13}, 12, 0.5); });
    const uint32_t smoke = pick(night, 0xF2F5F8, 0x8A96A8);
    const std::size_t puffRow = batch.row(1, 20, 20, [smoke](Art& a, double) { Winter(a).puffPicture(smoke, 0.6); });
    const uint32_t coat = pick(night, 0xC8642E, 0x7E4A30);
    const std::size_t foxRow = batch.row(4, 16, 8, [coat](Art& a, double ph) { Winter(a).fox(ph, coat); });
    const std::size_t snowmanRow = batch.row(8, 24, 22, [](Art& a, double ph) { Winter(a).snowman({12, 3}, ph); });
    const std::size_t globeRow = batch.row(12, 30, 34, [](Art& a, double ph) { Winter(a).snowglobe(ph); });
    std::array<std::size_t, 3> steamRows{};
    for (int k = 0; k < 3; ++k)
        steamRows[static_cast<std::size_t>(k)] = batch.row(1, 120, 32, [k](Art& a, double) { Winter(a).steamStrip(k); });
    const std::size_t flakeRow = batch.row(1, 5, 5, [](Art& a, double) {
        a.shape(0xFFFFFF, 0.25, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(0.1, 0.1, 4.8, 4.8)); });
        a.shape(0xFFFFFF, 0.95, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(1.2, 1.2, 2.6, 2.6)); });
    });
    auto sleighRow = [&batch](bool shadow) {
        return batch.row(8, 185, 48, [shadow](Art& a, double ph) {
            cg::SavedState saved(a.ctx);
            a.ctx->scaleBy(1.4, 1.4);
            Winter(a).sleigh(ph, shadow);
        });
    };
    const std::size_t sleighFrames = sleighRow(false);
    const std::size_t sleighShade = sleighRow(true);
    batch.draw(*this);

    // Every placement is made before the first draw into the scene, so that it runs while the ground is
    // being shaded. Each depends only on its salt, the terrain, the icons and the placements above it.
    const std::vector<cg::Point> floes = spots(1, 1500, 60, 14, [&](cg::Point p) {
        return solid(p) < 0.02f && value(p) < 0.05f && clear(cg::Rect(p.x - 20, p.y - 16, 40, 32));
    });
    const std::vector<cg::Point> drifters = spots(2, 900, 300, 3, [&](cg::Point p) {
        for (const cg::Point& q : rounded(Winter::current(p), false, 6))
            if (!onScreen(q) || !(solid(q) < 0.02f) || !clear(cg::Rect(q.x - 17, q.y - 16, 34, 32))) return false;
        return true;
    });
    const std::vector<cg::Point> cabins = spots(3, 900, 150, 3, [&](cg::Point p) {
        return value(p) > landAt + 0.25f && clear(cg::Rect(p.x - 17, p.y - 52, 34, 57));
    });
    const std::vector<cg::Point> pines =
        spots(4, 7000, 14, kNoLimit, [&](cg::Point p) { return winter.pineSpot(p, cabins); });
    const std::vector<cg::Point> snowmen = spots(5, 1200, 220, 3, [&](cg::Point p) {
        const float v = value(p);
        return landAt + 0.01f < v && v < landAt + 0.06f && clear(cg::Rect(p.x - 7, p.y - 18, 14, 22));
    });
    const std::vector<cg::Point> edges = spots(9, 2500, 70, 40, [&](cg::Point p) {
        const float v = value(p);
        return 0.132f < v && v < 0.139f && traceHolds(p, 9, 7, 0.008f, 3);
    });
    const std::vector<cg::Point> rings = spots(10, 2500, 90, 24, [&](cg::Point p) {
        const float v = value(p);
        return 0.104f < v && v < 0.116f && traceHolds(p, 5, 8, 0.01f, 4);
    });
    const std::vector<cg::Point> trackStarts = spots(11, 2500, 110, 10, [&](cg::Point p) {
        const float v = value(p);
        if (!(0.116f < v && v < 0.134f) || !traceHolds(p, 12, 10, 0.014f, 5)) return false;
        for (const cg::Point& q : winter.shoreline(p, 12, 10))
            if (!Winter::roomFrom(q, snowmen, 12)) return false;
        return true;
    });
    // By night the birds are not placed at all.
    const std::vector<cg::Point> birds =
        night ? std::vector<cg::Point>{}
              : spots(12, 600, 320, 2, [&](cg::Point p) { return clear(cg::Rect(p.x - 70, p.y - 55, 140, 110)); });
    const std::vector<cg::Point> mounds = spots(7, 3000, 34, 40, [&](cg::Point p) {
        return value(p) > landAt + 0.15f && clear(cg::Rect(p.x - 15, p.y - 9, 30, 18));
    });
    const std::vector<cg::Point> globes =
        spots(13, 1500, 280, 3, [&](cg::Point p) { return winter.globeSpot(p, pines, cabins); });
    const std::vector<cg::Point> steam = spots(8, 1500, 130, 14, [&](cg::Point p) {
        for (const cg::Point& q : rounded(Winter::steamPath(p), false, 6))
            if (!onScreen(q) || !(solid(q) < 0.02f) || !(value(q) < 0.06f) ||
                !clear(cg::Rect(q.x - 65, q.y - 22, 130, 44)))
                return false;
        return true;
    });
    const std::vector<cg::Point> flakes = spots(6, 3000, 60, 80, [&](cg::Point p) {
        for (const cg::Point& q : rounded(Winter::fall(p), false, 6))
            if (!onScreen(q) || !clear(cg::Rect(q.x - 4, q.y - 4, 8, 8))) return false;
        return true;
    });

    // Everything up to the snow globes only draws into the scene and makes sprites: in bands, on several
    // threads, each band doing every step in order (drawing nothing that cannot reach it) and the last
    // band's sprites kept. Steps 1–12 below.
    const cg::ImageRef floe = batch.image(floeRow);
    const cg::ImageRef puff = batch.image(puffRow);  // the chimney smoke (steps 3–4)
    const uint32_t dusk = pick(night, 0x4A6684, 0x18263A);
    const uint32_t snow = pick(night, 0xEEF4F8, 0x93A3B8);
    const cg::Gradient shade({cg::Color::rgb(dusk, 0.2), cg::Color::rgb(dusk, 0.17), cg::Color::rgb(dusk, 0)},
                             {0, 0.55, 1});
    const cg::Gradient drift({cg::Color::rgb(snow, 0.85), cg::Color::rgb(snow, 0.85 * 0.85), cg::Color::rgb(snow, 0)},
                             {0, 0.55, 1});
    struct Lobe {
        double dx, dy, k;
    };
    static constexpr Lobe kLobes[] = {{0, 0, 1}, {-0.45, 0.2, 0.6}, {0.4, 0.12, 0.55}};
    const std::vector<cg::ImageRef> figure = batch.frames(snowmanRow);
    const std::vector<cg::ImageRef> globe = batch.frames(globeRow);
    const auto props = Winter::backToFront(cabins, pines, snowmen);
    // The ice edges' lines and the rings' chunks, worked out once for every band.
    std::vector<std::vector<cg::Point>> edgeLines;
    for (const cg::Point& p : edges) {
        const std::vector<cg::Point> trace = winter.shoreline(p, 9, 7);
        std::vector<cg::Point>& line = edgeLines.emplace_back();
        line.reserve(trace.size());
        for (std::size_t k = 0; k < trace.size(); ++k) {
            const double dx = (rand(p, 30 + k) - 0.5) * 3.2;
            const double dy = (rand(p, 50 + k) - 0.5) * 3.2;
            line.push_back(flip({trace[k].x + dx, trace[k].y + dy}));
        }
    }
    std::vector<Winter::Chunk> chunks;
    for (const cg::Point& p : rings) {
        const std::vector<cg::Point> ring = rounded(winter.shoreline(p, 5, 8), false, 2.2);
        for (const Winter::Chunk& chunk : Winter::chunks(ring, [p](uint64_t salt) { return rand(p, salt); }))
            chunks.push_back(chunk);
    }
    const std::vector<cg::ImageRef> foxFrames = batch.frames(foxRow);
    // A snowman or snow globe: its frames rocking gently on the spot.
    auto wobbler = [&](cg::Point p, double size, const std::vector<cg::ImageRef>& frames, double foot, double beat) {
        Sprite sp = still(Sprite::Kind::trip, {}, size, rand(p, 3));
        sp.path = drawn(Winter::wobble(p));
        sp.at = sp.path.front();
        sp.travel = 0.1;
        sp.image = frames.empty() ? nullptr : frames.front();
        sp.anchor = {0.5, foot};
        sp.frames = frames;
        sp.beat = beat + rand(p, 4);
        sp.rest = 0.3;
        sp.closed = true;
        return sp;
    };
    auto paintBands = [&] {
        paintInBands([&](Art& a, const cg::Rect& band) {
            Winter w(a);
            // 1. Floes, some with a seal.
            for (const cg::Point& p : floes) {
                const double size = 6 + 10 * rand(p, 0);
                w.floe(flip(p), size, rand(p, 1));
                if (Winter::sealed(size, rand(p, 7)))
                    w.seal({p.x + size * (rand(p, 8) - 0.5) * 0.3, h - p.y}, rand(p, 9) * 2 * kPi);
            }

            // 2. Floes drifting on the current.
            for (const cg::Point& p : drifters) {
                Sprite sp = still(Sprite::Kind::trip, flip(p), 30, rand(p, 0));
                sp.travel = 3;
                sp.image = floe;
                sp.beat = 1;
                sp.path = drawn(Winter::current(p));
                sp.rest = 0.15;
                sp.closed = false;
                sp.spin = (rand(p, 4) - 0.5) * 0.9;
                a.sprites.push_back(std::move(sp));
            }

            // 5. Ice edges along the top of the shelf, with a faint highlight up and left of each line.
            for (const std::vector<cg::Point>& line : edgeLines) {
                a.shape(pick(night, 0xFFFFFF, 0xC4D0DE), 0.45, 0.5, [&](cg::Path& path) {
                    path.moveTo({line[0].x - 0.6, line[0].y + 0.6});
                    for (std::size_t k = 1; k < line.size(); ++k) path.lineTo({line[k].x - 0.6, line[k].y + 0.6});
                });
                a.shape(pick(night, 0x7F9CB4, 0x4A6080), 0.9, 0.7, [&](cg::Path& path) { path.addLines(line); });
            }

            // 6. Rings of ice chunks lower down the shelf, growing toward the middle of each ring.
            for (const Winter::Chunk& chunk : chunks) {
                const cg::Point c = flip(chunk.c);
                const double cw = chunk.w;
                auto block = [&](uint32_t color, double alpha, cg::Point at, double scale) {
                    const cg::Transform m =
                        cg::Transform::identity().translatedBy(at.x, at.y).rotatedBy(chunk.turn).scaledBy(scale, scale);
                    a.shape(color, alpha, 0, [&](cg::Path& path) { path.addRect(cg::Rect(-cw, -0.8 * cw, 2 * cw, 1.6 * cw), m); });
                };
                block(pick(night, 0x2A4A70, 0x000000), night ? 0.2 : 0.28, {c.x + 0.6 * cw, c.y - 0.6 * cw}, 1);
                block(pick(night, 0xCFE3EE, 0x8EA3BD), 1, c, 1);
                block(pick(night, 0xF7FBFD, 0xB7C4D6), 1, {c.x - 0.25 * cw, c.y + 0.25 * cw}, 0.7);
            }

            // 7–8. Fox and hare tracks, clear of the snowmen.
            w.tracks(trackStarts, foxFrames);

            // 9. Birds circling by day; at night their placement is not made at all.
            if (!night)
                for (const cg::Point& p : birds)
                    a.bird(p, 58, 44, 15, 0x1E1E26, 4.5);

            // 10. Snow mounds: a soft shadow to the lower right, then three lobes of snow.
            for (const cg::Point& p : mounds) {
                const double r = 9 + 7 * rand(p, 0);
                {
                    cg::SavedState saved(a.ctx);
                    a.ctx->translateBy(p.x + 0.3 * r, h - p.y - 0.22 * r);
                    a.ctx->scaleBy(1, 0.5 / 1.1);
                    a.ctx->drawRadialGradient(shade, {0, 0}, 0, {0, 0}, 1.1 * r);
                }
                for (const Lobe& lobe : kLobes) {
                    cg::SavedState saved(a.ctx);
                    a.ctx->translateBy(p.x + r * lobe.dx, h - p.y + r * lobe.dy);
                    a.ctx->scaleBy(1, 0.45);
                    a.ctx->drawRadialGradient(drift, {0, 0}, 0, {0, 0}, r * lobe.k);
                }
            }

            // 11. Cabins, pines and snowmen, back to front; pines are left out where they cannot reach the band.
            for (const auto& [p, tag] : props) {
                if (tag == 1) {
                    const double size = 18 + 8 * rand(p, 0);
                    const cg::Point q = flip(p);
                    if (q.y + 3 * size + 10 >= band.minY() && q.y - 3 * size - 10 <= band.maxY()) w.pine(q, size);
                } else if (tag == 0) {
                    w.cabin(flip(p), puff);
                } else {
                    a.groundShadow(flip(p), 5, 0.2);
                    a.sprites.push_back(wobbler(p, 24, figure, 3.0 / 22, 2.2));
                }
            }

            // 12. Snow globes, each with a warm lamp at night.
            for (const cg::Point& p : globes) {
                a.groundShadow(flip(p), 13, 0.22);
                a.sprites.push_back(wobbler(p, 30, globe, 1.0 / 34, 3));
                if (!night) continue;
                Sprite lamp = still(Sprite::Kind::light, {p.x + 4, h - p.y + 9.5}, 0.8, rand(p, 5));
                lamp.travel = 0;
                lamp.color = 0xFFC56B;
                lamp.beat = 1;
                lamp.face = true;
                a.sprites.push_back(std::move(lamp));
            }
        });
    };

    // Steps 13–16 only make sprites, whose pictures have bitmaps of their own: they are made by a
    // worker while the bands are drawn, and put after the bands' sprites in their own order.
    Art late(*this, WorkerTag{});
    auto makeLate = [&] {
        // 13. Steam rising off the open water.
        Winter(late).steamSprites(steam, {batch.image(steamRows[0]), batch.image(steamRows[1]), batch.image(steamRows[2])});

        // 14. Snowfall.
        {
            const cg::ImageRef flake = batch.image(flakeRow);
            for (const cg::Point& p : flakes) {
                Sprite sp = still(Sprite::Kind::trip, flip(p), 3 + 2 * rand(p, 1), rand(p, 2));
                sp.travel = 14 + 8 * rand(p, 0);
                sp.image = flake;
                sp.beat = 1.8 + rand(p, 5);
                sp.path = drawn(Winter::fall(p));
                sp.rest = 0;
                sp.closed = false;
                sp.pulse = 0.25;
                sp.ease = 1;
                sp.spin = (rand(p, 6) - 0.5) * 2;
                late.sprites.push_back(std::move(sp));
            }
        }

        // 15. One sleigh circling the whole screen, icons or not.
        {
            const cg::Point c{w / 2, h / 2 - 10};
            const double rx = w / 2 - 60, ry = h / 2 - 80;
            std::vector<cg::Point> loop;
            loop.reserve(9);
            for (uint64_t k = 0; k < 9; ++k) {
                const double theta = ((rand(c, 77 + k) - 0.5) * 0.5 + static_cast<double>(k)) * 2 * kPi / 9;
                const double f = 1 - 0.12 * rand(c, 127 + k);
                loop.push_back(flip({c.x + rx * f * std::cos(theta), c.y + ry * f * std::sin(theta)}));
            }
            const std::vector<cg::ImageRef> frames = batch.frames(sleighFrames);
            Sprite sp = still(Sprite::Kind::trip, loop.front(), 185, rand(c, 5));
            sp.travel = 80;
            sp.image = frames.empty() ? nullptr : frames.front();
            sp.frames = frames;
            sp.shade = batch.frames(sleighShade);
            sp.beat = 0.6;
            sp.path = std::move(loop);
            sp.rest = 0.3;
            sp.closed = true;
            sp.face = true;
            late.sprites.push_back(std::move(sp));
        }

        // 16. The sky.
        if (night) Winter(late).aurora();
        else late.cloudShadows(2, 0.08, 0x000000);
    };
    dispatch::concurrentPerform(2, [&](std::size_t job) {
        if (job == 0) paintBands();
        else makeLate();
    });
    for (Sprite& sp : late.sprites) sprites.push_back(std::move(sp));
}
