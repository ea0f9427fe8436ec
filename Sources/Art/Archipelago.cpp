// The archipelago: islands with huts, palms, canopy trees, a lighthouse and perhaps a giant ape, in a
// sea of whales, dolphins, rays, turtles, sharks and schools by day, and campfires, fireflies and a
// turning beam by night. Every position comes from a placement or from the point hash of one.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "Art/Archipelago.h"
#include "Art/Art.h"
#include "Art/Geometry2D.h"
#include "Art/PictureBatch.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"
#include "Platform/Graphics/Gradient.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

Sprite sprite(Sprite::Kind kind, cg::Point at, double size, double phase) {
    return Sprite::make(kind, at, size, phase);
}

// (a, b) along and across a heading h.
cg::Point turned(double a, double b, double h) {
    return {a * std::cos(h) - b * std::sin(h), a * std::sin(h) + b * std::cos(h)};
}

struct WhaleRow {
    double length;
    cg::Point offset;  // behind (negative) and across the mother's route
    double stroke;
};
constexpr WhaleRow kWhaleRows[] = {{30, {0, 0}, 0}, {15, {-9, 17}, 0.3}};

// Rocks, by day and by night.
struct RockColors {
    uint32_t light, dark;
    double foam;
};
constexpr RockColors kDayRock{0xC8D0D4, 0x66727C, 0.5};
constexpr RockColors kNightRock{0x7A8692, 0x3A4652, 0.2};

uint64_t rockSeed(double u) {
    const double q = u * 1000000;
    return !(q > 0) ? 0 : q < 18446744073709551616.0 ? static_cast<uint64_t>(q) : UINT64_MAX;
}

}  // namespace

cg::ImageRef Art::Archipelago::frameFor(const std::vector<cg::ImageRef>& images, double u) {
    if (images.empty()) return nullptr;
    const double k = std::floor(4 * u);
    const auto index = k > 0 ? static_cast<std::size_t>(k) : std::size_t{0};
    return images[index % images.size()];
}

void Art::archipelago() {
    const bool night = s.night;
    const float l0 = look.land[0].t;
    const double w = W(), h = H();
    Archipelago isles(*this);
    std::vector<cg::Point> whaleTrack;
    std::vector<cg::Point> rocks;

    auto inside = [w, h](cg::Point q) { return q.x > 0 && q.x < w && q.y > 0 && q.y < h; };
    auto clear = [this](const cg::Rect& box) {
        for (const cg::Rect& r : keep)
            if (box.intersects(r)) return false;
        return true;
    };
    auto box = [](cg::Point p, double dx, double dy, double bw, double bh) {
        return cg::Rect(p.x + dx, p.y + dy, bw, bh);
    };
    auto apart = [](cg::Point q, const std::vector<cg::Point>& others, double d) {
        for (const cg::Point& o : others)
            if (!(std::hypot(q.x - o.x, q.y - o.y) > d)) return false;
        return true;
    };
    // The unit vector uphill, toward land.
    auto uphill = [this](cg::Point p) {
        const double gx = static_cast<double>(value({p.x + 3, p.y}) - value({p.x - 3, p.y}));
        const double gy = static_cast<double>(value({p.x, p.y + 3}) - value({p.x, p.y - 3}));
        const double len = std::max(std::hypot(gx, gy), 0.000001);
        return cg::Point{gx / len, gy / len};
    };
    // An open-water route: every smoothed point on screen, over water and clear of the icons.
    auto openWater = [&](const std::vector<cg::Point>& route, double half) {
        for (const cg::Point& q : rounded(route, false, 6)) {
            if (!inside(q) || !(solid(q) < 0.01f) || !clear(box(q, -half, -half, 2 * half, 2 * half)))
                return false;
        }
        return true;
    };
    // A path along a depth band, away from the rocks.
    auto band = [&](const std::vector<cg::Point>& path, bool closed, float lo, float hi, double half) {
        for (const cg::Point& q : rounded(path, closed, 6)) {
            const float v = value(q);
            if (!inside(q) || !(v > lo && v < hi) || !clear(box(q, -half, -half, 2 * half, 2 * half)) ||
                !apart(q, rocks, 18))
                return false;
        }
        return true;
    };
    auto rockTest = [&](cg::Point p) {
        const float v = value(p);
        return v > 0.09f && v < 0.17f && clear(box(p, -11, -10, 22, 16));
    };

    // Huts on high ground, then the ape's beat among them: as long a patrol as fits, shorter ones after.
    isles.huts = spots(3, 900, 130, 4, [&](cg::Point p) {
        return value(p) > l0 + 0.25f && clear(box(p, -15, -22, 30, 27));
    });
    // The beat is looked for while the sea is placed; everything on land waits for it.
    auto findBeat = [&] {
        for (const auto& [salt, least] : {std::pair<uint64_t, double>{707, 100}, {708, 40}, {709, 0}}) {
            if (!isles.patrol.empty()) break;
            const double need = least;
            for (const cg::Point& p : spots(salt, 5000, 1, 1, [&](cg::Point q) {
                     const auto r = isles.room(q);
                     return r && *r >= need;
                 })) {
                const auto r = isles.room(p);
                isles.patrol = isles.beat(p, r ? *r : 0);
            }
        }
    };

    // The rocks keep the creatures' paths away and are painted before the ground.
    rocks = spots(2, 700, 90, 7, rockTest);

    // Every other placement depends only on the terrain, the huts, the ape's beat and the rocks, and each
    // keeps its own salt's list: they are made at once, those that keep away from the ape once its
    // beat is known. Drawing and sprites follow in the usual order.
    std::vector<cg::Point> whales, pods, rays, turtles, sharks, schools, squalls, caps, outer, inner;
    std::vector<cg::Point> beacons, glints, birds, fires, shoreFlies, treeFlies;
    const uint64_t seed = s.seed();
    const double swellC = static_cast<double>(seed % 628) / 100;
    const double swellD = static_cast<double>((seed / 628) % 628) / 100;
    // Glints on the water in an ellipse below the sun or the moon; the height sets both its centre
    // coordinates so wide screens keep it in the same place.
    auto glitter = [&](double rx, double ry) {
        return [&, rx, ry](cg::Point p) {
            const double e = std::hypot((p.x - 0.46 * h) / rx, (p.y - 0.32 * h) / ry);
            return e < 1 && rand(p, 3) < (1 - e) * (1 - e) && solid(p) < 0.01f &&
                   clear(box(p, -1.5, -2, 3, 4));
        };
    };
    std::vector<std::function<void()>> placements;
    if (!night) {
        // Whale and calf on one cruise.
        placements.emplace_back(
            [&] { whales = spots(11, 800, 1, 1, [&](cg::Point p) { return openWater(isles.cruise(p), 40); }); });
        // Dolphin pods, racing in loose formation.
        placements.emplace_back(
            [&] { pods = spots(12, 1500, 500, 2, [&](cg::Point p) { return openWater(isles.race(p), 50); }); });
        // Eagle rays gliding along the shallows.
        placements.emplace_back([&] {
            rays = spots(303, 3000, 150, 3, [&](cg::Point p) {
                return band(isles.glide(p, 0.12, 8), false, 0.075f, 0.17f, 8);
            });
        });
        // Turtles circling their patch of shallows.
        placements.emplace_back([&] {
            turtles = spots(304, 3000, 300, 2, [&](cg::Point p) {
                return band(isles.circuit(p, 0.12, 6), true, 0.075f, 0.155f, 10);
            });
        });
        // Reef sharks patrolling a loop over the drop-off.
        placements.emplace_back([&] {
            sharks = spots(305, 3000, 300, 2, [&](cg::Point p) {
                return band(isles.circuit(p, 0.10, 12), true, 0.06f, 0.16f, 12);
            });
        });
        // Schools of small fish, seven to a school, each a little off the shared loop.
        placements.emplace_back([&] {
            schools = spots(306, 3000, 250, 3, [&](cg::Point p) {
                return band(isles.circuit(p, 0.15, 8), true, 0.11f, 0.19f, 14);
            });
        });
        // A rain squall drifting downwind over open water.
        placements.emplace_back([&] {
            squalls = spots(404, 2000, 1, 1, [&](cg::Point p) {
                for (const cg::Point& r : rounded(isles.downwind(p), false, 6)) {
                    if (!inside(r) || !clear(box(r, -70, -70, 140, 140)) || !(solid(r) < 0.01f)) return false;
                    for (int k = 0; k < 12; ++k) {
                        const double theta = 0.524 * k;
                        if (!(solid({r.x + 68 * std::cos(theta), r.y + 52 * std::sin(theta)}) < 0.01f))
                            return false;
                    }
                }
                return true;
            });
        });
    }
    // Whitecaps on the crests of a swell that depends on the scene seed.
    placements.emplace_back([&] {
        const double crest = night ? 0.35 : 0.2;
        caps = spots(1, 2400, 46, kNoLimit, [&](cg::Point p) {
            if (!(solid(p) < 0.02f)) return false;
            const double f = std::sin(p.x / 150 + swellC);
            const double g = std::sin(p.y / 110 + swellD);
            const double k = std::sin((0.8 * p.x + 0.6 * p.y) / 90 + swellC - swellD);
            return 0.6 * f * g + 0.4 * k > crest && clear(box(p, -14, -5, 28, 10));
        });
    });
    // Surf: swash along the outer reef edge and on the beaches that face the light.
    placements.emplace_back([&] {
        outer = spots(7, 9000, 26, kNoLimit, [&](cg::Point p) {
            const float v = value(p);
            return v > 0.185f && v < 0.21f && clear(box(p, -12, -12, 24, 24));
        });
    });
    placements.emplace_back([&] {
        inner = spots(10, 6000, 28, kNoLimit, [&](cg::Point p) {
            const float v = value(p);
            if (!(v > 0.035f && v < 0.07f)) return false;
            const cg::Point n = uphill(p);
            return n.x + n.y > 0.5 && clear(box(p, -10, -10, 20, 20));
        });
    });
    // The lighthouse on a low point with a wide view of the sea, away from the ape.
    std::vector<std::function<void()>> awayFromApe;
    awayFromApe.emplace_back([&] {
        beacons = spots(606, 8000, 1, 1, [&](cg::Point p) {
            const float v = value(p);
            if (!(v > l0 + 0.005f && v < l0 + 0.08f)) return false;
            if (!clear(box(p, -50, -50, 100, 100)) || !apart(p, isles.patrol, 90)) return false;
            int sea = 0;
            for (int k = 0; k < 16; ++k) {
                const double theta = 0.3927 * k;
                if (solid({p.x + 110 * std::cos(theta), p.y + 110 * std::sin(theta)}) < 0.01f) ++sea;
            }
            return sea > 9;
        });
    });
    if (!night) {
        placements.emplace_back(
            [&] { glints = spots(31000005, 4000, 5, 150, glitter(0.3 * h, 0.17 * h)); });
        placements.emplace_back([&] {
            birds = spots(8, 600, 300, 2,
                          [&](cg::Point p) { return solid(p) < 0.02f && clear(box(p, -72, -56, 144, 112)); });
        });
    } else {
        awayFromApe.emplace_back([&] {
            fires = spots(6, 900, 170, 5, [&](cg::Point p) {
                const float v = value(p);
                return v > l0 + 0.01f && v < l0 + 0.07f && clear(box(p, -8, -10, 16, 14)) &&
                       apart(p, isles.patrol, 70);
            });
        });
        placements.emplace_back([&] { glints = spots(31000003, 3000, 6, 90, glitter(0.27 * h, 0.15 * h)); });
        placements.emplace_back([&] {
            shoreFlies = spots(13, 4000, 55, 26, [&](cg::Point p) {
                const float v = value(p);
                return v > 0.17f && v < 0.205f && clear(box(p, -8, -8, 16, 16));
            });
        });
        placements.emplace_back([&] {
            treeFlies = spots(9, 1500, 50, 24,
                              [&](cg::Point p) { return value(p) > l0 + 0.05f && clear(box(p, -15, -24, 30, 32)); });
        });
    }

    cg::ImageRef beam;  // the lighthouse's, at night

    // The sea: placements, then the creatures' frames and the squall all at once, then their sprites
    // (the first of the scene's, kept aside meanwhile), the whitecaps and the surf.
    std::vector<Sprite> seaSprites;
    auto sea = [&] {
        dispatch::concurrentPerform(placements.size(), [&](std::size_t i) { placements[i](); });

        PictureBatch batch;
        if (!night) {
            // The squall is by far the slowest of these pictures: it is asked for first, so it starts first.
            const std::size_t squallRow =
                squalls.empty() ? 0 : batch.row(1, 330, 250, [](Art& a, double) { Archipelago(a).squall(); });
            std::vector<std::size_t> whaleRows;
            for (std::size_t i = 0; i < whales.size(); ++i)
                for (const WhaleRow& row : kWhaleRows) {
                    const double length = row.length, cw = 1.1 * length + 8, ch = 0.75 * length + 8;
                    whaleRows.push_back(
                        batch.row(16, cw, ch, [length, cw, ch](Art& a, double ph) { a.whale(ph, length, cw, ch); }));
                }
            const std::size_t dolphinRow =
                pods.empty() ? 0 : batch.row(16, 32, 18, [](Art& a, double ph) { a.surfacingDolphin(ph, 15, 32, 18); });
            std::size_t rayRow = 0, rayShade = 0;
            if (!rays.empty()) {
                rayRow = batch.row(16, 60, 44, [](Art& a, double ph) { a.eagleRay(ph, false, false); });
                rayShade = batch.row(16, 60, 44, [](Art& a, double ph) { a.eagleRay(ph, true, true); });
            }
            std::size_t turtleRow = 0, turtleShade = 0;
            if (!turtles.empty()) {
                turtleRow = batch.row(12, 30, 24, [](Art& a, double ph) { a.turtle(ph, false); });
                turtleShade = batch.row(12, 30, 24, [](Art& a, double ph) { a.turtle(ph, true); });
            }
            const auto fishRows = [&batch](const Fish& fish, int n) {
                return std::pair{batch.fish(fish, n, false), batch.fish(fish, n, true)};
            };
            std::pair<std::size_t, std::size_t> sharkRows{};
            if (!sharks.empty()) sharkRows = fishRows(FishKind::reefShark, 10);
            std::pair<std::size_t, std::size_t> schoolRows{};
            if (!schools.empty()) schoolRows = fishRows(FishKind::schoolFish, 8);

            batch.draw(*this);

            for (std::size_t i = 0; i < whales.size(); ++i) {
                const cg::Point p = whales[i];
                const std::vector<cg::Point> route = isles.cruise(p);
                const double heading = std::atan2(route[1].y - p.y, route[1].x - p.x);
                const double phase = rand(p, 2);
                whaleTrack.clear();
                for (std::size_t j = 0; j + 1 < route.size(); ++j)
                    for (int k = 0; k < 6; ++k) {
                        const double f = k / 6.0;
                        whaleTrack.push_back({route[j].x + (route[j + 1].x - route[j].x) * f,
                                              route[j].y + (route[j + 1].y - route[j].y) * f});
                    }
                for (std::size_t r = 0; r < std::size(kWhaleRows); ++r) {
                    const WhaleRow& row = kWhaleRows[r];
                    const double cw = 1.1 * row.length + 8;
                    const cg::Point off = turned(row.offset.x, row.offset.y, heading);
                    std::vector<cg::Point> path;
                    for (const cg::Point& q : route) path.push_back(flip({q.x + off.x, q.y + off.y}));
                    Sprite sp = sprite(Sprite::Kind::trip, path.front(), cw, phase);
                    sp.travel = 6;
                    sp.frames = batch.frames(whaleRows[i * std::size(kWhaleRows) + r]);
                    sp.beat = 3.2;
                    sp.path = std::move(path);
                    sp.rest = 1.5;
                    sp.pulse = 0.25;
                    sp.stroke = row.stroke;
                    sp.blow = row.length > 20 ? 19 : 27;
                    seaSprites.push_back(std::move(sp));
                }
            }

            const std::vector<cg::ImageRef> dolphins =
                pods.empty() ? std::vector<cg::ImageRef>{} : batch.frames(dolphinRow);
            for (const cg::Point& p : pods) {
                const std::vector<cg::Point> route = isles.race(p);
                const double heading = std::atan2(route[1].y - p.y, route[1].x - p.x);
                const int n = 4 + static_cast<int>(std::floor(3 * rand(p, 4)));
                const double speed = 24 + 6 * rand(p, 2);
                const double phase = rand(p, 3);
                for (int j = 0; j < n; ++j) {
                    const double a = 46 * (rand(p, 10 + static_cast<uint64_t>(j)) - 0.5);
                    const double b = 26 * (rand(p, 20 + static_cast<uint64_t>(j)) - 0.5);
                    const cg::Point off = turned(a, b, heading);
                    std::vector<cg::Point> path;
                    for (const cg::Point& q : route) path.push_back(flip({q.x + off.x, q.y + off.y}));
                    Sprite sp = sprite(Sprite::Kind::trip, path.front(), 32, phase);
                    sp.travel = speed;
                    sp.frames = dolphins;
                    sp.beat = 1.5;
                    sp.path = std::move(path);
                    sp.rest = 0.8;
                    sp.pulse = 0.25;
                    sp.stroke = rand(p, 40 + static_cast<uint64_t>(j));
                    seaSprites.push_back(std::move(sp));
                }
            }

            if (!rays.empty()) {
                const auto frames = batch.frames(rayRow);
                const auto shade = batch.frames(rayShade);
                for (const cg::Point& p : rays) {
                    Sprite sp = sprite(Sprite::Kind::trip, flip(p), 20, rand(p, 3));
                    sp.travel = 4 + 2 * rand(p, 2);
                    sp.frames = frames;
                    sp.shade = shade;
                    sp.beat = 3.2;
                    for (const cg::Point& q : isles.glide(p, 0.12, 8)) sp.path.push_back(flip(q));
                    sp.rest = 0.4 + rand(p, 4);
                    sp.pulse = 0.35;
                    seaSprites.push_back(std::move(sp));
                }
            }

            if (!turtles.empty()) {
                const auto frames = batch.frames(turtleRow);
                const auto shade = batch.frames(turtleShade);
                for (const cg::Point& p : turtles) {
                    Sprite sp = sprite(Sprite::Kind::trip, flip(p), 18, rand(p, 3));
                    sp.travel = 4 + rand(p, 2);
                    sp.frames = frames;
                    sp.shade = shade;
                    sp.beat = 2.8;
                    for (const cg::Point& q : isles.circuit(p, 0.12, 6)) sp.path.push_back(flip(q));
                    sp.rest = 0.3;
                    sp.closed = true;
                    sp.pulse = 0.55;
                    seaSprites.push_back(std::move(sp));
                }
            }

            if (!sharks.empty()) {
                const auto frames = batch.frames(sharkRows.first);
                const auto shade = batch.frames(sharkRows.second);
                const double size = fishCanvas(FishKind::reefShark).width;
                for (const cg::Point& p : sharks) {
                    Sprite sp = sprite(Sprite::Kind::trip, flip(p), size, rand(p, 3));
                    sp.travel = 9 + 3 * rand(p, 2);
                    sp.frames = frames;
                    sp.shade = shade;
                    sp.beat = FishKind::reefShark.beat;
                    for (const cg::Point& q : isles.circuit(p, 0.10, 12)) sp.path.push_back(flip(q));
                    sp.rest = 0.3;
                    sp.closed = true;
                    sp.pulse = 0.2;
                    seaSprites.push_back(std::move(sp));
                }
            }

            if (!schools.empty()) {
                const auto frames = batch.frames(schoolRows.first);
                const auto shade = batch.frames(schoolRows.second);
                const double size = fishCanvas(FishKind::schoolFish).width;
                for (const cg::Point& p : schools) {
                    const std::vector<cg::Point> loop = isles.circuit(p, 0.15, 8);
                    const double speed = 13 + 5 * rand(p, 2);
                    const double phase = rand(p, 3);
                    for (uint64_t j = 0; j < 7; ++j) {
                        const double dx = (rand(p, 10 + j) - 0.5) * 14;
                        const double dy = (rand(p, 20 + j) - 0.5) * 14;
                        std::vector<cg::Point> path;
                        for (const cg::Point& q : loop) path.push_back(flip({q.x + dx, q.y + dy}));
                        Sprite sp = sprite(Sprite::Kind::trip, path.front(), size, phase);
                        sp.travel = speed;
                        sp.frames = frames;
                        sp.shade = shade;
                        sp.beat = FishKind::schoolFish.beat;
                        sp.path = std::move(path);
                        sp.rest = 0.3;
                        sp.closed = true;
                        sp.pulse = 0.3;
                        sp.stroke = rand(p, 30 + j);
                        seaSprites.push_back(std::move(sp));
                    }
                }
            }

            if (!squalls.empty()) {
                const cg::ImageRef cloud = batch.image(squallRow);
                for (const cg::Point& p : squalls) {
                    Sprite sp = sprite(Sprite::Kind::trip, flip(p), 330, rand(p, 2));
                    sp.travel = 5 + 2 * rand(p, 1);
                    sp.image = cloud;
                    sp.anchor = {150.0 / 330, 0.56};
                    sp.beat = 8;
                    for (const cg::Point& q : isles.downwind(p)) sp.path.push_back(flip(q));
                    sp.rest = 1.5 + rand(p, 3);
                    sp.pulse = 0.15;
                    sp.grow = 1.25;
                    sp.face = false;
                    sp.rain = 52;
                    seaSprites.push_back(std::move(sp));
                }
            }
        }

        // The surface frames are drawn by painters of their own: the scene's context is painting the
        // ground meanwhile.
        std::vector<cg::ImageRef> capImages, swashImages;
        offscreenEach(2, [&](Art& a, std::size_t i) {
            if (i == 0 && !caps.empty()) capImages = night ? a.whitecaps(0xA9C2E0, 0.55) : a.whitecaps(0xFFFFFF, 1);
            if (i == 1 && (!outer.empty() || !inner.empty())) swashImages = a.swash(night ? 0xB9CDE0 : 0xFFFFFF);
            return cg::ImageRef{};
        });
        for (const cg::Point& p : caps) {
            cg::ImageRef image = Archipelago::frameFor(capImages, rand(p, 5));
            if (!image) continue;
            Sprite sp = sprite(Sprite::Kind::wave, flip(p), 20, rand(p, 0));
            sp.travel = 12;
            sp.image = std::move(image);
            seaSprites.push_back(std::move(sp));
        }
        auto surf = [&](cg::Point p, double from, double to) {
            cg::ImageRef image = Archipelago::frameFor(swashImages, rand(p, 5));
            if (!image) return;
            const cg::Point n = uphill(p);
            Sprite sp = sprite(Sprite::Kind::surf, flip({p.x + from * n.x, p.y + from * n.y}), 18, rand(p, 0));
            sp.to = flip({p.x + to * n.x, p.y + to * n.y});
            sp.angle = std::atan2(-n.x, -n.y);
            sp.image = std::move(image);
            seaSprites.push_back(std::move(sp));
        };
        for (const cg::Point& p : outer) surf(p, -9, -1.5);
        for (const cg::Point& p : inner) surf(p, -4, 6);
    };

    // Trees, huts and the ground under them, back to front. They are made while the ape's poses are
    // drawn and the sea is placed.
    std::vector<cg::Point> trees, front, palms;
    std::vector<std::pair<cg::Point, bool>> items;   // true: a hut
    std::vector<std::pair<cg::Point, bool>> ground;  // the same, palms in front of the ape last
    std::size_t behind = 0;                          // palms behind the ape, the first of `palms`
    const uint32_t dark = night ? 0x163826 : 0x245F2C;
    const uint32_t light = night ? 0x2F5F45 : 0x6BB55A;
    auto grove = [&] {
        // Trees where the ground is lush, clear of huts and of the strip the ape walks.
        trees = spots(4, 6000, 18, kNoLimit, [&](cg::Point p) {
            if (!(value(p) > l0 + 0.05f)) return false;
            const float tex = t.tex->sample(p);
            const float dn = std::clamp((tex + 0.45f) / 0.7f, 0.0f, 1.0f);
            if (!(static_cast<double>(dn * dn * (3 - 2 * dn)) > rand(p, 9))) return false;
            if (!clear(box(p, -10, -27, 20, 31))) return false;
            for (const cg::Point& hut : isles.huts)
                if (std::hypot(p.x - hut.x, p.y - hut.y) < 24) return false;
            const auto strip = isles.kongPasses(p.x);
            if (!strip || p.y <= strip->lo - 3) return true;
            return p.y >= strip->hi + (rand(p, 0) < 0.72 ? 2 : 16);
        });

        // Huts and trees back to front; palms just below the ape's path stand in front of it.
        for (const cg::Point& tr : trees) {
            if (!(rand(tr, 0) < 0.72)) continue;
            const auto strip = isles.kongPasses(tr.x);
            if (strip && tr.y >= strip->hi + 2) front.push_back(tr);
        }
        for (const cg::Point& p : isles.huts) items.emplace_back(p, true);
        for (const cg::Point& p : trees) items.emplace_back(p, false);
        sortByY(items);
        sortByY(front);
        // Every palm's picture depends on its lean alone: draw them all at once, in the order the
        // palms are placed (those behind the ape, then those in front).
        for (const auto& [p, isHut] : items)
            if (!isHut && std::find(front.begin(), front.end(), p) == front.end() && rand(p, 0) < 0.72)
                palms.push_back(p);
        behind = palms.size();
        palms.insert(palms.end(), front.begin(), front.end());

        // The ground under huts and trees, back to front: everything behind the ape, then the palms in front.
        for (const auto& [p, isHut] : items)
            if (isHut || std::find(front.begin(), front.end(), p) == front.end()) ground.emplace_back(p, isHut);
        for (std::size_t i = behind; i < palms.size(); ++i) ground.emplace_back(palms[i], false);
    };

    // The ape's poses and the palms' pictures depend on no placement but their own.
    bool ape = false;
    std::size_t apePoses = 0;
    std::vector<cg::ImageRef> apeImages, palmImages;

    // The scene's own drawing: the rocks, then the ground under huts and trees, alongside the pictures.
    // It can only start once the ground is shaded, so it is drawn in bands: one pass would leave the
    // other threads idle at the end of the render. Each band draws only what can reach its rows.
    auto paintGround = [&] {
        const RockColors colors = night ? kNightRock : kDayRock;
        const cg::Gradient foam(
            {cg::Color::white(colors.foam), cg::Color::white(0.85 * colors.foam), cg::Color::white(0)}, {0, 0.55, 1});
        const cg::Gradient body({cg::Color::rgb(colors.light), cg::Color::rgb(colors.dark)}, {0, 1});
        paintInBands([&](Art& a, const cg::Rect& band) {
            // Whether something drawn within `reach` points of q (drawing space, y up) can touch the band.
            auto near = [&band](cg::Point q, double reach) {
                return q.y + reach >= band.minY() && q.y - reach <= band.maxY();
            };
            cg::Context& g = *a.ctx;
            // Rocks with a ring of foam (7.5 points high).
            for (const cg::Point& p : rocks) {
                const cg::Point q = flip(p);
                if (!near(q, 12)) continue;
                RNG rng(rockSeed(rand(p, 3)));
                cg::Path outline;
                for (int i = 0; i < 9; ++i) {
                    const double angle = 2 * kPi * i / 9;
                    const double u = rng.next();
                    const double k = 0.7 + 0.3 * u;
                    const cg::Point v{q.x + 7 * k * std::cos(angle), q.y + 4.6 * k * std::sin(angle)};
                    if (i == 0) outline.moveTo(v);
                    else outline.lineTo(v);
                }
                outline.closeSubpath();

                {
                    cg::SavedState saved(g);
                    g.translateBy(q.x, q.y);
                    g.scaleBy(1, 0.625);
                    g.drawRadialGradient(foam, {0, 0}, 0, {0, 0}, 12);
                }

                a.shape(0x000000, 0.15, 0, [&](cg::Path& path) {
                    path.addEllipse(cg::Rect(q.x + 1.5 - 7, q.y - 1.5 - 4.6, 14, 9.2));
                });

                cg::SavedState saved(g);
                g.clip(outline);
                g.drawRadialGradient(body, {q.x - 2.8, q.y + 3.15}, 0, q, 8.75, {.drawsAfterEnd = true});
            }
            // Huts reach 6 points below their point and 21 above; trees 4 below and 15 above.
            cg::SavedState saved(g);
            for (const auto& [p, isHut] : ground) {
                const cg::Point q = flip(p);
                if (!near(q, isHut ? 24 : 18)) continue;
                if (isHut) {
                    a.hutPicture(q);
                } else if (rand(p, 0) < 0.72) {
                    a.groundShadow(q, 9, 0.18);
                } else {
                    a.groundShadow(q, 10, 0.2);
                    a.canopy({q.x, q.y + 6}, 7, dark, light, rand(q, 3));
                }
            }
        });
    };

    // The land: the ape's beat, then at once its poses, the trees with their pictures and the scene's
    // own drawing: rocks and ground while the places kept away from the ape are found, then the
    // lighthouse and the campfires. The campfires' sprites are the only ones appended meanwhile.
    const std::size_t earlier = sprites.size();
    auto island = [&] {
        findBeat();
        ape = !isles.patrol.empty();
        apePoses = ape ? kongPoseCount() : 0;
        dispatch::concurrentPerform(2, [&](std::size_t part) {
            if (part == 0) {
                apeImages = offscreenEach(apePoses, [](Art& a, std::size_t i) { return a.kongPose(i); });
                return;
            }
            grove();
            dispatch::concurrentPerform(2, [&](std::size_t half) {
                if (half == 0) {
                    palmImages = offscreenEach(palms.size(), [&](Art& a, std::size_t i) {
                        return a.palmImage(rand(palms[i], 2) - 0.5);
                    });
                    return;
                }
                dispatch::concurrentPerform(2, [&](std::size_t k) {
                    if (k == 1) {
                        paintGround();
                        return;
                    }
                    dispatch::concurrentPerform(awayFromApe.size(), [&](std::size_t i) { awayFromApe[i](); });
                    if (night && !beacons.empty())
                        beam = offscreenEach(1, [](Art& a, std::size_t) {
                                   return a.offscreen(220, 60, [&a] { Archipelago(a).beam(); });
                               }).front();
                });
                for (const cg::Point& p : beacons) lighthouse(flip(p));
                for (const cg::Point& p : fires) fire(flip(p));
            });
        });
    };

    // Only the campfires append sprites meanwhile, and only the land draws into the scene.
    std::vector<Sprite> clouds;
    dispatch::concurrentPerform(3, [&](std::size_t job) {
        if (job == 0) sea();
        else if (job == 1) island();
        else if (!night) clouds = cloudShadowSprites(3, 0.11, 0x000000);
    });
    std::vector<Sprite> fireSprites(std::make_move_iterator(sprites.begin() + static_cast<std::ptrdiff_t>(earlier)),
                                    std::make_move_iterator(sprites.end()));
    sprites.resize(earlier);
    for (Sprite& sp : seaSprites) sprites.push_back(std::move(sp));

    // Hut lights and palms in their usual order, with the ape among them.
    {
        std::size_t nextPalm = 0;
        for (const auto& [p, isHut] : items) {
            if (isHut) {
                hutLights(flip(p));
                continue;
            }
            if (std::find(front.begin(), front.end(), p) != front.end()) continue;
            if (rand(p, 0) < 0.72) palmSprite(flip(p), palmImages[nextPalm++]);
        }
        if (ape) kong(isles.patrol, apeImages);
        for (std::size_t i = behind; i < palms.size(); ++i) palmSprite(flip(palms[i]), palmImages[i]);
    }

    for (const cg::Point& p : beacons) {
        const cg::Point q = flip(p);
        if (!night) continue;
        isles.lighthouse = p;
        const cg::ImageRef ray = beam;
        const double a0 = 2 * kPi * rand(p, 1);
        for (const double angle : {a0, a0 + kPi}) {
            Sprite sp = sprite(Sprite::Kind::beam, q, 220, rand(p, 0));
            sp.angle = angle;
            sp.image = ray;
            sp.anchor = {0, 0.5};
            for (int k = 0; k < 36; ++k) sp.dim.push_back(isles.open(angle - 2 * kPi * k / 36));
            sprites.push_back(std::move(sp));
        }
        Sprite lamp = sprite(Sprite::Kind::light, q, 1.3, rand(p, 2));
        lamp.color = 0xFFF2C8;
        lamp.pulse = 0.04;
        sprites.push_back(std::move(lamp));
    }

    std::optional<cg::ImageRef> glint;
    auto glintImage = [&] {
        if (!glint) glint = sparkle(night ? 0xFFF4DA : 0xFFFFFF);
        return *glint;
    };
    if (!night) {
        for (const cg::Point& p : glints) {
            Sprite sp = sprite(Sprite::Kind::light, flip(p), 11 * (0.25 + 0.3 * rand(p, 4)), rand(p, 5));
            sp.image = glintImage();
            sp.pulse = 0.95;
            sprites.push_back(std::move(sp));
        }
        for (const cg::Point& p : birds) bird(p, 62, 48, 17, 0xF7F9FA, 5.5);
        for (Sprite& sp : clouds) sprites.push_back(std::move(sp));
    } else {
        for (Sprite& sp : fireSprites) sprites.push_back(std::move(sp));
        for (const cg::Point& p : glints) {
            Sprite sp = sprite(Sprite::Kind::light, flip(p), 11 * (0.2 + 0.2 * rand(p, 4)), rand(p, 5));
            sp.image = glintImage();
            sp.pulse = 0.92;
            sprites.push_back(std::move(sp));
        }
        for (const cg::Point& p : shoreFlies) {
            Sprite sp = sprite(Sprite::Kind::firefly, flip(p), 1, rand(p, 0));
            sp.travel = 4;
            sp.color = 0x5FEFFF;
            sprites.push_back(std::move(sp));
        }
        for (const cg::Point& p : treeFlies) {
            Sprite sp = sprite(Sprite::Kind::firefly, flip({p.x, p.y - 8}), 1, rand(p, 0));
            sp.travel = 10;
            sp.color = 0xE8FF8A;
            sprites.push_back(std::move(sp));
        }
    }

    // Boats on open water, out of the whale's way.
    for (const cg::Point& p : spots(5, 800, 200, 4, [&](cg::Point p) {
             if (!clear(box(p, -65, -26, 130, 34))) return false;
             if (!apart({p.x, p.y - 5}, whaleTrack, 90)) return false;
             for (int i = 0; i < 16; ++i) {
                 const double e = (p.x - 62) + 8 * i;
                 if (!(solid({e, p.y}) < 0.04f) || !(solid({e, p.y - 18}) < 0.04f)) return false;
             }
             return true;
         })) {
        Sprite sp = sprite(Sprite::Kind::boat, flip(p), 1, rand(p, 0));
        sp.travel = 5;
        sp.color = night ? 0xB8C4DA : 0xFFFFFF;
        sp.path = {flip({p.x - 25, p.y}),      flip({p.x + 25, p.y}),      flip({p.x + 34, p.y - 5}),
                   flip({p.x + 25, p.y - 10}), flip({p.x - 25, p.y - 10}), flip({p.x - 34, p.y - 5})};
        sp.closed = true;
        sprites.push_back(std::move(sp));
    }
}
