// The garden pond: pebbles and shore stones, grass, raked gravel, stepping stones, bushes, lanterns,
// irises and blossoming trees drawn into the picture; koi, lily pads, rise rings and drifting petals as
// sprites, with dragonflies and cloud shadows by day, fireflies and lantern light by night, and the
// shimmer on the water last. Every position comes from a placement or from the point hash of one.

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "Art/Art.h"
#include "Art/Geometry2D.h"
#include "Art/PictureBatch.h"
#include "Art/PondChores.h"
#include "Art/Pond.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Gradient.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/StateGuard.h"
#include "Renderer/Palette.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
constexpr uint64_t kShimmerSalt = 7700001;

// UInt64(v), truncating; negative and NaN give 0, values past the top clamp.
uint64_t toUInt64(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

// Int(k·u) mod n for a hash u in [0, 1).
std::size_t pick(double k, double u, std::size_t n) {
    const double q = k * u;
    return q > 0 ? static_cast<std::size_t>(static_cast<int64_t>(q) % static_cast<int64_t>(n)) : 0;
}

cg::Rect around(cg::Point c, double w, double h) { return cg::Rect(c.x - w / 2, c.y - h / 2, w, h); }

// A pond sprite: the fields not given keep the record's defaults except `face`, which is off here.
Sprite sprite(Sprite::Kind kind, cg::Point at, double size, double phase) {
    Sprite sp = Sprite::make(kind, at, size, phase);
    sp.face = false;
    return sp;
}

constexpr uint32_t kBushFlowers[] = {0xe8578a, 0xf39cba, 0xf2f0f4};
struct DragonflyColors {
    uint32_t body, head;
};
constexpr DragonflyColors kDragonflies[] = {{0xc8341e, 0x8a3a1e}, {0x8ab4da, 0x2c3844}, {0x3e6a8c, 0x5ea03a}};
constexpr double kWingPoses[] = {-1, 0.2, 1, 0.2};

// The index of frame j of a row of `count` frames from its phase j / count.
std::size_t frameIndex(double phase, int count) {
    const double q = std::round(phase * count);
    return q > 0 ? static_cast<std::size_t>(q) : 0;
}

}  // namespace

void Art::pond() {
    const float e = look.land[0].t;
    const bool night = s.night;
    const double w = W(), h = H();
    Pond pond(*this);

    auto clear = [&pond](const cg::Rect& box) { return pond.clear(box); };
    auto inside = [w, h](cg::Point q) { return q.x > 0 && q.x < w && q.y > 0 && q.y < h; };
    auto u = [](cg::Point q, uint64_t salt) { return rand(q, salt); };
    auto drawn = [this](const std::vector<cg::Point>& scenePoints) {
        std::vector<cg::Point> out;
        out.reserve(scenePoints.size());
        for (const cg::Point& q : scenePoints) out.push_back(flip(q));
        return out;
    };
    auto distance = [](cg::Point a, cg::Point b) { return std::hypot(a.x - b.x, a.y - b.y); };

    // The creatures, pads and petals go where the water and the icons let them, whatever the garden:
    // they are placed first, and their pictures are drawn while the garden is painted.
    const double m = std::max(w, h);
    const double koiWater = std::min(0.02 * m, 32.0);
    const std::vector<cg::Point> koiSpots = spots(8, 1500, 160, night ? 5 : 8, [&](cg::Point p) {
        for (const cg::Point& q : rounded(pond.koiRoute(p), true, 6))
            if (!inside(q) || !pond.afloat(q, koiWater)) return false;
        return true;
    });
    PictureBatch pictures;
    // Only the koi that swim are drawn; each once, shared by every fish of its kind.
    std::vector<bool> swims(8, false);
    for (const cg::Point& p : koiSpots) {
        const int64_t n = static_cast<int64_t>(2.99 * u(p, 5)) + 1;
        for (int64_t j = 0; j < n; ++j) swims[pick(8, u(p, 6 + static_cast<uint64_t>(j)), 8)] = true;
    }
    std::vector<std::pair<std::size_t, std::size_t>> koiRows(8);
    for (std::size_t i = 0; i < 8; ++i)
        if (swims[i]) koiRows[i] = {pictures.fish(Pond::kKoi[i], 10, false), pictures.fish(Pond::kKoi[i], 10, true)};

    // Petals, dragonflies and the rise frames do not depend on the garden either.
    const std::vector<cg::Point> petalSpots = spots(9, 2500, 60, night ? 6 : 20, [&](cg::Point p) {
        for (const cg::Point& q : rounded(Pond::drift(p), false, 6))
            if (!inside(q) || !(value(q) < e - 0.02f)) return false;
        return true;
    });
    const std::vector<cg::Point> dragonflySpots =
        night ? std::vector<cg::Point>{} : spots(11, 2500, 280, 6, [&](cg::Point p) {
            for (const cg::Point& q : rounded(Pond::patrol(p), true, 6))
                if (!inside(q) || !(value(q) < e + 0.1f) || !clear(cg::Rect(q.x - 12, q.y - 12, 24, 24)))
                    return false;
            return true;
        });
    const std::size_t riseRow =
        pictures.row(24, 24, 24, [](Art& a, double ph) { Pond(a).riseFrame(static_cast<int64_t>(frameIndex(ph, 24)), 9); });
    static constexpr uint32_t kPetalDay[] = {0xf8c8d6, 0xf2a9c0, 0xfbdce6};
    static constexpr uint32_t kPetalNight[] = {0x8e7a8c, 0x7e6a80, 0x9c8e9e};
    std::vector<std::size_t> petalRows;
    for (uint32_t color : night ? kPetalNight : kPetalDay)
        petalRows.push_back(pictures.row(1, 6, 6, [color](Art& a, double) { Pond(a).petal(color); }));
    std::vector<std::pair<std::size_t, std::size_t>> dragonflyRows;
    for (const cg::Point& p : dragonflySpots) {
        const DragonflyColors c = kDragonflies[pick(3, u(p, 3), 3)];
        auto row = [&](bool shadow) {
            return pictures.row(4, 18, 16, [c, shadow](Art& a, double ph) {
                Pond(a).dragonfly(c.body, c.head, kWingPoses[frameIndex(ph, 4) % 4], shadow);
            });
        };
        const std::size_t body = row(false);
        dragonflyRows.push_back({body, row(true)});
    }

    // The lily pads float clear of the icons, whatever the garden; the rise rings keep clear of them.
    std::vector<Pond::Pad> pads;
    for (const cg::Point& c : spots(7, 3000, 150, 14, [&](cg::Point p) {
             return value(p) < e && clear(cg::Rect(p.x - 50, p.y - 50, 100, 100));
         }))
        for (const Pond::Pad& pad : pond.cluster(c)) pads.push_back(pad);
    std::vector<std::size_t> padRows;
    padRows.reserve(pads.size());
    for (const Pond::Pad& pad : pads) {
        const double S = 2 * (std::max(pad.bloom + 2, pad.r) + 0.15 * pad.r) + 4;
        const double k = u(pad.at, 1), r = pad.r, b = pad.bloom;
        padRows.push_back(pictures.row(1, S, S, [S, k, r, b](Art& a, double) { Pond(a).lilyPadDraw(S, k, r, b); }));
    }
    const std::vector<cg::Point> riseSpots = spots(12, 2500, 110, night ? 6 : 12, [&](cg::Point p) {
        if (!(value(p) < e - 0.06f)) return false;
        if (!clear(cg::Rect(p.x - 18, p.y - 18, 36, 36))) return false;
        if (!pond.afloat(p, 14)) return false;
        for (const Pond::Pad& pad : pads)
            if (!(pad.r + 16 < distance(p, pad.at))) return false;
        return true;
    });

    const std::vector<cg::Point> fireflies =
        !night ? std::vector<cg::Point>{} : spots(10, 2500, 45, 26, [&](cg::Point p) {
            const float v = value(p);
            return e - 0.12f < v && v < e + 0.2f && clear(cg::Rect(p.x - 12, p.y - 12, 24, 24));
        });
    const auto depth = [e](float v) { return Pond::shimmerCurve(v, e); };
    const std::vector<cg::Point> shimmerSpots = shimmerCentres(night ? 3 : 5, kShimmerSalt, depth);

    // The garden is placed and painted before the cloud shadows, the shimmer patches and the pictures
    // are made: none of those read the garden or the ground. They are chores, the longest first, taken
    // by the garden's lanes as they run out of bands, so that they fill the threads the last bands leave
    // free (before the bands, the threads are all busy shading the ground). What is left when the lanes
    // are done is made here.
    PondChores chores;
    std::vector<Sprite> clouds;
    if (!night) chores.add([&] { clouds = cloudShadowSprites(3, 0.1, 0x000000); });
    std::vector<cg::ImageRef> patches(shimmerSpots.size());
    const ShimmerTint tint = night ? ShimmerTint{120, 165, 235} : ShimmerTint{200, 245, 255};
    const float strength = night ? 0.3f : 0.24f;
    for (std::size_t i = 0; i < shimmerSpots.size(); ++i)
        chores.add([&, i] { patches[i] = shimmerPatch(shimmerSpots[i], strength, tint, depth); });
    pictures.open();
    for (std::size_t k = 0; k < pictures.size(); ++k) chores.add([&, k] { pictures.drawOne(*this, k); });
    auto placeAndPaintGarden = [&] {
        // The garden's places come first, in their order (each records itself); then its drawing, which
        // only reads them, in bands. The shore stones depend on the terrain alone, so they are found while
        // the pebbles are placed.
        std::vector<std::pair<cg::Point, double>> shore;
        std::vector<cg::Point> pebbles;
        dispatch::concurrentPerform(2, [&](std::size_t job) {
            if (job == 0) shore = pond.shoreStones();
            else pebbles = spots(1, 6000, 6, kNoLimit, [&](cg::Point p) {
                const float v = value(p);
                return 0.11f < v && v < e - 0.02f && clear(cg::Rect(p.x - 3, p.y - 4, 6, 8));
            });
        });
        const std::vector<cg::Point> tufts = spots(2, 5000, 12, kNoLimit, [&](cg::Point p) {
            return value(p) > e && clear(cg::Rect(p.x - 5, p.y - 6, 10, 10));
        });
        // Bushes, lanterns and trees are placed before the gravel beds, which keep away from all three.
        const std::vector<cg::Point> bushes = spots(3, 2500, 36, 16, [&](cg::Point p) {
            return value(p) > e && clear(cg::Rect(p.x - 15, p.y - 15, 30, 27));
        });
        const std::vector<cg::Point> lanterns = spots(4, 2500, 240, 4, [&](cg::Point p) {
            const float v = value(p);
            return e + 0.04f < v && v < e + 0.16f && clear(cg::Rect(p.x - 16, p.y - 28, 32, 38));
        });
        const std::vector<cg::Point> trees = spots(6, 2500, 170, 5, [&](cg::Point p) {
            const double s = 10 * u(p, 0) + 22;
            return value(p) > e + 0.08f && clear(cg::Rect(p.x - 1.6 * s, p.y - s - 2, 3.2 * s, 2.5 * s + 2));
        });
        const std::vector<cg::Point> gravels = spots(13, 2500, 320, 3, [&](cg::Point p) {
            const double s = 16 * u(p, 1) + 36, hh = 0.6 * s + 4;
            if (!(value(p) > e + 0.06f)) return false;
            for (int j = 0; j < 12; ++j) {
                const double a = j * kPi / 6;
                if (!(value({p.x + (s + 4) * std::cos(a), p.y + hh * std::sin(a)}) > e + 0.05f)) return false;
            }
            if (!clear(cg::Rect(p.x - s - 4, p.y - hh, 2 * s + 8, 2 * hh))) return false;
            for (const cg::Point& q : bushes)
                if (!(distance(p, q) > s + 16)) return false;
            for (const cg::Point& q : lanterns)
                if (!(distance(p, q) > s + 16)) return false;
            for (const cg::Point& q : trees)
                if (!(distance(p, q) > s + 30)) return false;
            return true;
        });
        const std::vector<cg::Point> stepStarts = spots(14, 3000, 150, 8, [&](cg::Point p) {
            const float v = value(p);
            return e + 0.008f < v && v < e + 0.025f;
        });
        const std::vector<cg::Point> irises = spots(5, 4000, 50, 14, [&](cg::Point p) {
            const float v = value(p);
            return e < v && v < e + 0.035f && clear(cg::Rect(p.x - 8, p.y - 16, 16, 20));
        });

        // By night every band draws the lanterns with their lights; they share one glow picture.
        const cg::ImageRef glow = night && !lanterns.empty() ? pond.lanternGlow() : nullptr;
        auto garden = [&](Art& a, const cg::Rect& band) {
            Pond pd(a);
            if (glow) pd.useGlow(glow);
            cg::Context& gc = *a.ctx;
            // Whether a prop drawn within `reach` points of q (drawing space) can touch the band.
            auto near = [&band](cg::Point q, double reach) { return q.y + reach >= band.minY() && q.y - reach <= band.maxY(); };
            // 1. Pebbles on the pond floor.
            for (const cg::Point& p : pebbles) {
                if (!near(flip(p), 6)) continue;
                const double rx = 1.5 * u(p, 0) + 0.9, ry = 0.8 * rx;
                const uint32_t color = night ? 0x2a3c38 : (u(p, 1) < 0.5 ? 0x8c8c72 : 0x5c6e58);
                const cg::Point c = flip(p);
                a.shape(color, 0.3, 0, [&](cg::Path& path) { path.addEllipse(around(c, 2 * rx, 2 * ry)); });
            }

            // 2. Shore stones along the waterline, lower ones over higher ones. A stone reaches 0.8 r up
            // and down, its shadow 0.4 r further.
            for (const auto& [c, r] : shore)
                if (near(flip(c), 1.2 * r + 2)) pd.stone(flip(c), r, u(c, 5));

            // 3. Grass tufts: a canopy of radius r keeps within 1.1 r of its centre. Thousands of them,
            // so a band skips those that cannot touch it.
            for (const cg::Point& p : tufts) {
                const double r = 3 * u(p, 0) + 2.5;
                if (near(flip(p), 1.1 * r + 2))
                    a.canopySampled(flip(p), r, night ? 0x1e3322 : 0x48682d, night ? 0x2e4a2e : 0x7e9e4c, u(p, 1));
            }

            // 4. Gravel beds.
            for (const cg::Point& p : gravels)
                if (near(flip(p), 120)) pd.gravel(flip(p), 16 * u(p, 1) + 36, u(p, 2));

            // 5. Stepping stones climbing the bank.
            for (const cg::Point& p : stepStarts) {
                const std::vector<cg::Point> path = pd.steps(p);
                for (std::size_t i = 0; i < path.size(); ++i)
                    if (near(flip(path[i]), 30)) pd.slab(flip(path[i]), 1.6 * u(p, 10 + i) + 4.6, u(path[i], 3));
            }

            // 6. Flowering bushes.
            for (const cg::Point& p : bushes) {
                const double s = 4 * u(p, 0) + 5.5;
                // The crown keeps within 1.1 s of p; the shadow and the flowers closer.
                if (!near(flip(p), 1.1 * s + 3)) continue;
                a.groundShadow({p.x, h - p.y - s / 2}, 1.1 * s, 0.25);
                a.canopySampled(flip(p), s, night ? 0x18291c : 0x2a4620, night ? 0x324e36 : 0x5c8a38, u(p, 2));
                if (!(u(p, 3) < 0.65)) continue;
                const uint32_t color = night ? 0x6e4660 : kBushFlowers[pick(3, u(p, 4), 3)];
                RNG rng(toUInt64(u(p, 1) * 1000000));
                const double flowers = 2.2 * s;
                const int64_t n = flowers > 0 ? static_cast<int64_t>(flowers) : 0;
                std::vector<Art::Oval> blooms;
                blooms.reserve(static_cast<std::size_t>(n));
                for (int64_t i = 0; i < n; ++i) {
                    const double an = 2 * kPi * rng.next();
                    const double d = 0.85 * s * std::sqrt(rng.next());
                    blooms.push_back(
                        {cg::Rect(p.x + d * std::cos(an) - 0.9, h - p.y + d * std::sin(an) - 0.8, 1.8, 1.6), color});
                }
                a.ovalsSampled(blooms, 0.95);
            }

            // 7. Stone lanterns (by night with their lights, so every band draws them).
            for (const cg::Point& p : lanterns) pd.lantern(flip(p));

            // 8. Irises at the water's edge.
            for (const cg::Point& p : irises)
                if (near(flip(p), 40)) pd.iris(flip(p));

            // 9. Trees: fallen petals and the shadow under the crown.
            static const std::vector<uint32_t> kBlossomDay{0xb25e84, 0xd888a8, 0xf4bace, 0xffe2ec};
            static const std::vector<uint32_t> kBlossomNight{0x45323f, 0x58455a, 0x725e70, 0x8a7686};
            static const std::vector<uint32_t> kMapleDay{0x84200f, 0xb2321a, 0xdc5628, 0xf08a42};
            static const std::vector<uint32_t> kMapleNight{0x381a16, 0x48231e, 0x5c2e24, 0x6c3a2c};
            for (const cg::Point& p : trees) {
                const double s = 10 * u(p, 0) + 22;
                // The fallen petals lie within 1.8 s of the trunk; the shadow and the crown closer.
                if (!near(flip(p), 1.8 * s + 4)) continue;
                const bool blossom = u(p, 1) < 0.55;
                if (blossom) {
                    for (uint64_t i = 0; i < 28; ++i) {
                        const double an = 2 * kPi * u(p, 20 + i);
                        const double d = s * (1.2 * u(p, 50 + i) + 0.6);
                        const cg::Point q{p.x + d * std::cos(an), p.y + d * std::sin(an)};
                        if (!pd.clear(cg::Rect(q.x - 1.5, q.y - 2, 3, 4))) continue;
                        a.shape(night ? 0x8a7a88 : 0xf6c4d4, 0.85, 0,
                                [&](cg::Path& path) { path.addEllipse(cg::Rect(q.x - 1.4, h - q.y - 1, 2.8, 2)); });
                    }
                }
                {
                    cg::SavedState saved(gc);
                    gc.translateBy(p.x + 0.5 * s, h - p.y - 0.6 * s);
                    gc.scaleBy(1, 0.9 / 1.1);
                    const cg::Gradient shadow({cg::Color::black(0.3), cg::Color::black(0.255), cg::Color::black(0)},
                                              {0, 0.55, 1});
                    gc.drawRadialGradient(shadow, {0, 0}, 0, {0, 0}, 1.1 * s);
                }
                const std::vector<uint32_t>& colors =
                    blossom ? (night ? kBlossomNight : kBlossomDay) : (night ? kMapleNight : kMapleDay);
                pd.crown(flip(p), s, colors, u(p, 2));
            }

            // 10. The lily pads' shadows on the water; the pads themselves are sprites.
            const double padShadow = night ? 0.15 : 0.22;
            const cg::Gradient padShade(
                {cg::Color::black(padShadow), cg::Color::black(0.85 * padShadow), cg::Color::black(0)}, {0, 0.55, 1});
            for (const Pond::Pad& pad : pads) {
                // The shade's rim lies r above and below its centre, 2.8 below the pad's.
                if (!near(flip(pad.at), pad.r + 5)) continue;
                cg::SavedState saved(gc);
                gc.translateBy(pad.at.x + 2.2, h - pad.at.y - 2.8);
                gc.scaleBy(1, 1 / 1.05);
                gc.drawRadialGradient(padShade, {0, 0}, 0, {0, 0}, 1.05 * pad.r);
            }
        };
        paintInBands(garden, [&] { chores.work(); });
    };

    placeAndPaintGarden();
    chores.work();

    // 11. Koi in groups of one to three on one route.
    std::vector<FishFrames> koi(8);
    for (std::size_t i = 0; i < 8; ++i)
        if (swims[i]) {
            koi[i].frames = pictures.frames(koiRows[i].first);
            koi[i].shade = pictures.frames(koiRows[i].second);
        }
    for (const cg::Point& p : koiSpots)
        for (Sprite& sp : pond.koiGroup(p, koi)) sprites.push_back(std::move(sp));

    // 12. Lily pads, swaying gently.
    for (std::size_t i = 0; i < pads.size(); ++i) {
        const Pond::Pad& pad = pads[i];
        const double S = 2 * (std::max(pad.bloom + 2, pad.r) + 0.15 * pad.r) + 4;
        Sprite sp = sprite(Sprite::Kind::sway, flip(pad.at), S, u(pad.at, 2));
        sp.travel = 0;
        sp.image = pictures.image(padRows[i]);
        sp.face = true;
        sprites.push_back(std::move(sp));
    }

    // 13. Rise rings where a fish sips at the surface.
    const std::vector<cg::ImageRef> riseFrames = pictures.frames(riseRow);
    for (const cg::Point& p : riseSpots) {
        const std::vector<cg::Point> path = drawn(Pond::ring(p));
        Sprite sp = sprite(Sprite::Kind::trip, path.front(), 24, u(p, 2));
        sp.travel = 0.5 * u(p, 1) + 0.5;
        sp.frames = riseFrames;
        sp.beat = 6 * u(p, 3) + 5;
        sp.path = path;
        sp.rest = 0.3;
        sp.closed = true;
        sp.stroke = u(p, 4);
        sprites.push_back(std::move(sp));
    }

    // 14. Petals drifting on the water.
    for (const cg::Point& p : petalSpots) {
        const std::vector<cg::Point> path = drawn(Pond::drift(p));
        Sprite sp = sprite(Sprite::Kind::trip, path.front(), 2.5 * u(p, 4) + 6.5, u(p, 5));
        sp.travel = 2.5 * u(p, 2) + 3;
        sp.image = pictures.image(petalRows[pick(3, u(p, 3), 3)]);
        sp.path = path;
        sp.rest = 0.8 * u(p, 7) + 0.4;
        sp.closed = false;
        sp.spin = 6 * (u(p, 6) - 0.5);
        sprites.push_back(std::move(sp));
    }

    if (!night) {
        // 15. Dragonflies patrolling the shallows, cloud shadows and the shimmer.
        for (std::size_t i = 0; i < dragonflySpots.size(); ++i) {
            const cg::Point p = dragonflySpots[i];
            const std::vector<cg::ImageRef> body = pictures.frames(dragonflyRows[i].first);
            const std::vector<cg::ImageRef> shade = pictures.frames(dragonflyRows[i].second);
            const std::vector<cg::Point> path = drawn(Pond::patrol(p));
            Sprite sp = sprite(Sprite::Kind::trip, path.front(), 18, u(p, 5));
            sp.travel = 14 * u(p, 4) + 38;
            for (int r = 0; r < 8; ++r) {
                sp.frames.insert(sp.frames.end(), body.begin(), body.end());
                sp.shade.insert(sp.shade.end(), shade.begin(), shade.end());
            }
            sp.beat = 0.8 * u(p, 6) + 2.2;
            sp.path = path;
            sp.rest = 0.3;
            sp.closed = true;
            sp.pulse = 0.85;
            sp.face = true;
            sprites.push_back(std::move(sp));
        }
        for (Sprite& sp : clouds) sprites.push_back(std::move(sp));
    } else {
        // 16. By night: fireflies over the banks and a cooler shimmer.
        for (const cg::Point& p : fireflies) {
            Sprite sp = sprite(Sprite::Kind::firefly, flip(p), 1, u(p, 0));
            sp.travel = 14;
            sp.color = 0xd4ff6a;
            sp.face = true;
            sprites.push_back(std::move(sp));
        }
    }
    for (std::size_t i = 0; i < shimmerSpots.size(); ++i)
        if (patches[i]) sprites.push_back(shimmerSprite(shimmerSpots[i], std::move(patches[i])));
}
