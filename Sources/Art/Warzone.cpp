// The warzone: the ground of a battlefield (weeds, barrage scars, tank tracks, craters, stumps, wire,
// hedgehogs and trench lines), machine-gun nests firing downhill with camps around them, burning wrecks,
// then the moving units and the sky. Every position comes from a placement or from the point hash of
// one, so the field stays put when icons move.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "Art/Battlefield.h"
#include "Art/Geometry2D.h"
#include "Art/Winter.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
constexpr double kPi = std::numbers::pi;

struct Nest {
    cg::Point p;
    cg::Point dir;  // unit line of fire
    cg::Point target;
};

// Int(q), for a small non-negative sample count.
int64_t truncated(double q) { return q > 0 ? (q < 1e9 ? static_cast<int64_t>(q) : 1000000000) : 0; }

}  // namespace

void Art::warzone() {
    Battlefield field(*this);
    const bool night = s.night;
    const double w = W(), h = H();
    const float l0 = look.land[0].t;
    const float trench = l0 + 0.25f;
    const uint32_t tracer = night ? 0xFFB347 : 0xFFF0B8;
    const uint32_t dust = night ? 0x54514B : 0xB09C76;

    auto open = [this](cg::Point p) { return solid(p) < 0.03f; };
    auto clear = [this](cg::Point p, double dx, double dy, double bw, double bh) {
        const cg::Rect box(p.x + dx, p.y + dy, bw, bh);
        for (const cg::Rect& r : keep)
            if (box.intersects(r)) return false;
        return true;
    };
    // The texture decides where weeds and trees grow thick.
    auto dense = [this](cg::Point p, float shift, float span) {
        const float u = std::clamp((t.tex->sample(p) + shift) / span, 0.0f, 1.0f);
        return u * u * (3 - 2 * u) > static_cast<float>(rand(p, 9));
    };
    auto apart = [](cg::Point p, const std::vector<cg::Point>& others, double d) {
        for (const cg::Point& o : others)
            if (std::hypot(p.x - o.x, p.y - o.y) < d) return false;
        return true;
    };
    // Off the trench line, which runs along the level L.
    auto offTrench = [trench](float v) { return std::fabs(v - trench) > 0.04f; };

    // Every placement first, and with them the trench lines and the moving units' pictures, which
    // depend on none of them; then the ground and the camps drawn band by band.
    std::vector<cg::Point> weeds, barrages, craters, stumps, wires, hedgehogs, shelters;
    std::vector<Battlefield::Polyline> tracks, trenchRuns;
    std::vector<std::vector<Battlefield::Tread>> treadLines;
    std::vector<Nest> nests;
    std::vector<std::pair<cg::Point, int64_t>> camp;
    // The moving units and the sky depend on nothing drawn and draw nothing on the scene but their
    // searchlights' lamps, which come last: a painter of their own works them out, with the wrecks'
    // sprites that come before theirs, while the scene is drawn; its sprites and placements join this
    // one's afterwards.
    Art units(nullptr, s, t, keep, look, before);
    std::vector<cg::ImageRef> unitPictures;
    // The camps are placed by a painter of their own too, whose sprites come first, and so are the
    // tank tracks, which make no sprites.
    Art camps(nullptr, s, t, keep, look, before), routes(nullptr, s, t, keep, look, before);
    auto placeTracks = [&] {
        Battlefield roads(routes);
        // The tank tracks are kept for the tanks.
        tracks = roads.crossings(9000003, 3, 30, [&](cg::Point p) { return open(p) && clear(p, -17, -18, 34, 36); });
        // The tread marks are the same in every band: work them out once; each band strokes the parts
        // that can reach it.
        for (const Battlefield::Polyline& path : tracks) treadLines.push_back(roads.treadLines(path));
    };
    // Takes on a painter's sprites after this one's, and the placements it made.
    auto join = [this](Art& aside) {
        for (Sprite& sprite : aside.sprites) sprites.push_back(std::move(sprite));
        aside.sprites.clear();
        for (const auto& [key, points] : aside.placed) {
            const auto old = before.find(key);
            if (old == before.end() || old->second != points) placed[key] = points;
        }
        for (const auto& entry : before)
            if (!aside.placed.contains(entry.first)) placed.erase(entry.first);
    };
    auto placeGround = [&] {
        weeds = spots(20000003, 4000, 22, kNoLimit, [&](cg::Point p) {
            return open(p) && dense(p, 0.1f, 0.6f) && clear(p, -5, -8, 10, 11);
        });
        barrages = spots(19000003, 1200, 360, 4, [&](cg::Point p) { return open(p) && clear(p, -30, -30, 60, 60); });
        craters = spots(1000003, 6000, 20, 170, [&](cg::Point p) { return open(p) && clear(p, -16, -12, 32, 24); });
        stumps = spots(17000003, 1500, 50, 16, [&](cg::Point p) { return open(p) && clear(p, -6, -12, 12, 16); });
        auto wireLine = [&](cg::Point p) {
            const double a = (rand(p, 5) - 0.5) * 0.7;
            const cg::Point e{p.x + 90 * std::cos(a), p.y + 90 * std::sin(a)};
            const int64_t m = std::max<int64_t>(1, truncated(std::hypot(e.x - p.x, e.y - p.y) / 8));
            for (int64_t k = 0; k <= m; ++k) {
                const double f = static_cast<double>(k) / static_cast<double>(m);
                const cg::Point q{p.x + (e.x - p.x) * f, p.y + (e.y - p.y) * f};
                if (!open(q) || !clear(q, -4, -18, 8, 30)) return false;
            }
            return true;
        };
        wires = spots(2000003, 1500, 150, 8, wireLine);
        hedgehogs = spots(3000003, 2000, 30, 20, [&](cg::Point p) { return open(p) && clear(p, -7, -12, 14, 16); });

    };
    auto placeCamps = [&] {
        // The muzzle glow of the nests at night.
        cg::ImageRef nestGlow;
        if (night)
            nestGlow = camps.offscreen(56, 56, [&] {
                camps.ctx->setFillColor(cg::Color::black());
                camps.ctx->fill(cg::Rect(0, 0, 56, 56));
                const cg::Gradient g({cg::Color::rgb(0xFFE2B0), cg::Color::rgb(0x8A6E4C), cg::Color::rgb(0x000000)},
                                     {0, 0.3, 1});
                camps.ctx->drawRadialGradient(g, {28, 28}, 0, {28, 28}, 28);
            });

        // Nests on the low land, each firing downhill over open ground.
        for (const cg::Point& p : camps.spots(5000003, 3000, 150, 5, [&](cg::Point p) {
                 const float v = value(p);
                 return l0 + 0.02f < v && v < l0 + 0.12f && clear(p, -17, -20, 34, 26);
             })) {
            const double gx = static_cast<double>(value({p.x + 3, p.y}) - value({p.x - 3, p.y}));
            const double gy = static_cast<double>(value({p.x, p.y + 3}) - value({p.x, p.y - 3}));
            double g = std::hypot(gx, gy);
            if (!(g > 1e-6)) g = 1e-6;
            const double a = std::atan2(-gy / g, -gx / g) + (rand(p, 1) - 0.5) * 0.5;
            const cg::Point dir{std::cos(a), std::sin(a)};
            const double d = 110 + 50 * rand(p, 2);
            const cg::Point target{p.x + d * dir.x, p.y + d * dir.y};
            if (!open(target)) continue;
            const cg::Point start{p.x + 14 * dir.x, p.y + 14 * dir.y};
            const int64_t m = std::max<int64_t>(1, truncated(std::hypot(target.x - start.x, target.y - start.y) / 8));
            bool free = true;
            for (int64_t k = 0; k <= m && free; ++k) {
                const double f = static_cast<double>(k) / static_cast<double>(m);
                const cg::Point q{start.x + (target.x - start.x) * f, start.y + (target.y - start.y) * f};
                free = q.x > 0 && q.x < w && q.y > 0 && q.y < h && clear(q, -7, -8, 14, 16);
            }
            if (free) nests.push_back({p, dir, target});
        }

        // Tents on the high ground, the shelters, then crates, soldier pairs and trees around them.
        const float high = trench + 0.06f;
        const std::vector<cg::Point> tents = camps.spots(4000003, 900, 130, 4, [&](cg::Point p) {
            for (const cg::Point q : {p, cg::Point{p.x - 20, p.y}, cg::Point{p.x + 20, p.y}, cg::Point{p.x, p.y - 16},
                                      cg::Point{p.x, p.y + 6}})
                if (!(value(q) > high)) return false;
            if (!clear(p, -23, -18, 46, 24)) return false;
            for (const Nest& n : nests)
                if (std::hypot(p.x - n.p.x, p.y - n.p.y) < 40) return false;
            return true;
        });
        shelters = tents;
        for (const Nest& n : nests) shelters.push_back(n.p);
        const std::vector<cg::Point> crates = camps.spots(6000003, 2000, 40, 14, [&](cg::Point p) {
            const float v = value(p);
            return v > l0 + 0.06f && offTrench(v) && clear(p, -6, -12, 12, 15) && apart(p, shelters, 26);
        });
        const std::vector<cg::Point> pairs = camps.spots(13000003, 2000, 70, 10, [&](cg::Point p) {
            const float v = value(p);
            return v > l0 + 0.04f && offTrench(v) && clear(p, -8, -8, 16, 13) && apart(p, shelters, 22) &&
                   apart(p, crates, 22);
        });
        const std::vector<cg::Point> trees = camps.spots(7000003, 5000, 20, kNoLimit, [&](cg::Point p) {
            const float v = value(p);
            return v > l0 + 0.05f && offTrench(v) && dense(p, 0.35f, 0.65f) && clear(p, -8, -12, 16, 16) &&
                   apart(p, shelters, 20) && apart(p, crates, 20) && apart(p, pairs, 20);
        });

        // The camps, back to front; equal rows keep tent, nest, crate, soldiers, tree order.
        for (const cg::Point& p : tents) camp.push_back({p, 0});
        for (std::size_t i = 0; i < nests.size(); ++i) camp.push_back({nests[i].p, 10 + static_cast<int64_t>(i)});
        for (const cg::Point& p : crates) camp.push_back({p, 2});
        for (const cg::Point& p : pairs) camp.push_back({p, 4});
        for (const cg::Point& p : trees) camp.push_back({p, 3});
        sortByY(camp);
        // The tents' and nests' sprites first, in the camps' order; then the camps drawn in bands, each
        // band leaving out what cannot reach it, right after the band's ground.
        for (const auto& [p, tag] : camp) {
            if (tag == 0) {
                Battlefield(camps).tentLights(flip(p));
                continue;
            }
            if (tag < 10) continue;
            const Nest& n = nests[static_cast<std::size_t>(tag - 10)];
            const cg::Point muzzle{p.x + 14 * n.dir.x, h - (p.y + 14 * n.dir.y - 5)};
            const double phi = rand(p, 3);
            const double tau = 8 + 10 * rand(p, 4);
            Sprite burst;
            burst.kind = Sprite::Kind::burst;
            burst.at = muzzle;
            burst.size = 1;
            burst.phase = phi;
            burst.travel = tau;
            burst.to = flip(n.target);
            burst.color = tracer;
            burst.dust = dust;
            camps.sprites.push_back(std::move(burst));
            if (night) {
                Sprite glow;
                glow.kind = Sprite::Kind::burst;
                glow.at = muzzle;
                glow.size = 56;
                glow.phase = phi;
                glow.travel = tau;
                glow.image = nestGlow;
                glow.glow = true;
                camps.sprites.push_back(std::move(glow));
            }
        }
    };
    dispatch::concurrentPerform(5, [&](std::size_t job) {
        if (job == 0) placeGround();
        else if (job == 1) placeCamps();
        else if (job == 3) placeTracks();
        // The trench lines, likewise the same in every band.
        else if (job == 2) trenchRuns = field.trenchRuns(Battlefield::contours(*t.v, trench));
        else if (job == 4) unitPictures = Battlefield(units).trafficPictures();
    });
    join(camps);
    join(routes);

    auto drawCamps = [&](Art& a, Battlefield::Rows rows) {
        Battlefield bf(a);
        for (const auto& [p, tag] : camp) {
            const cg::Point at = flip(p);
            // Nothing of a camp reaches 30 points above or below its place.
            if (!rows.near(p.y, 30)) continue;
            if (tag == 0) {
                bf.tent(at);
            } else if (tag == 2) {
                bf.crate(at);
            } else if (tag == 3) {
                a.groundShadow(at, 8, 0.18);
                a.canopy({at.x, at.y + 4.5}, 5.5, night ? 0x1A261C : 0x3A4A26, night ? 0x2C3C2C : 0x7A8A4A, rand(p, 4));
            } else if (tag == 4) {
                bf.soldier(at, 2 * kPi * rand(p, 1));
                bf.soldier({at.x + 5, h - (p.y + 1.5)}, 2 * kPi * rand(p, 2));
            } else {
                const Nest& n = nests[static_cast<std::size_t>(tag - 10)];
                bf.nest(at, std::atan2(-n.dir.y, n.dir.x));
            }
        }
    };
    // A band leaves out the props that cannot reach it: no prop relies on drawing state another left.
    auto drawGround = [&](Art& a, double top, double bottom) {
        Battlefield ground(a);
        const Battlefield::Rows rows{top, bottom};
        // A tuft of weeds reaches less than 6 points from its root.
        for (const cg::Point& p : weeds)
            if (rows.near(p.y, 8)) ground.weeds(flip(p));
        for (const cg::Point& p : barrages)
            if (rows.near(p.y, 160)) ground.barrage(p, open, rows);
        for (const std::vector<Battlefield::Tread>& lines : treadLines) ground.treads(lines, rows);
        for (const cg::Point& p : craters) {
            const double r1 = rand(p, 1), r2 = rand(p, 2);
            const double r = 2.5 + 10 * r2 * r2 * r2;
            // A crater's ink stays within 2.2 r of its centre, up and down.
            if (rows.near(p.y, 2.5 * r + 4)) ground.crater(flip(p), r, r1 < 0.3);
        }
        for (const cg::Point& p : stumps) {
            if (!rows.near(p.y, 20)) continue;
            const double r = rand(p, 1);
            const double sh = 5 + 5 * r, sw = 1.6 + 1.2 * r;
            const cg::Point base = flip(p);
            a.groundShadow(base, 4 + 2 * r, 0.22);
            const cg::Path outline = Battlefield::stump(base, sw, sh);
            a.shape(night ? 0x24201C : 0x3E3226, 1, 0, [&](cg::Path& path) { path.addPath(outline); });
            a.shape(night ? 0x3A332B : 0x6A5640, 0.8, 0.5, [&](cg::Path& path) {
                path.moveTo({base.x - 0.5 * sw, base.y + 0.5});
                path.lineTo({base.x - 0.4 * sw, base.y + 0.65 * sh});
            });
        }
        // The drawing is flipped, so the wire turns the other way.
        for (const cg::Point& p : wires)
            if (rows.near(p.y, 80)) ground.wire(flip(p), 90, (rand(p, 5) - 0.5) * -0.7, rows);
        for (const cg::Point& p : hedgehogs)
            if (rows.near(p.y, 25)) ground.hedgehog(flip(p));
        // Wider than half the trench line and its antialiasing.
        ground.trenchLines(ground.runsNear(trenchRuns, rows, 8));
    };
    // Rough milliseconds of a band's drawing: what reaches it, by the measured cost of each kind.
    auto bandCost = [&](Battlefield::Rows rows) {
        double ms = 0;
        auto count = [&](const std::vector<cg::Point>& props, double reach, double each) {
            for (const cg::Point& p : props) ms += rows.near(p.y, reach) ? each : 0;
        };
        // Points of lines in drawing space.
        auto along = [&](const Battlefield::Polyline& line, double each) {
            for (const cg::Point& q : line) ms += rows.near(h - q.y, 4) ? each : 0;
        };
        count(weeds, 8, 0.09);
        count(barrages, 90, 2);
        count(craters, 20, 0.1);
        count(wires, 50, 0.6);
        count(hedgehogs, 12, 0.05);
        for (const Battlefield::Polyline& run : trenchRuns) along(run, 0.0012);
        for (const std::vector<Battlefield::Tread>& lines : treadLines)
            for (const Battlefield::Tread& tread : lines) along(tread.band, 0.003);
        for (const auto& [p, tag] : camp) ms += rows.near(p.y, 30) ? 0.12 : 0;
        return ms;
    };
    // Burning wrecks, their drifting smoke and, at night, their glow, then the moving units and the sky.
    std::vector<cg::Point> wrecks, lamps;
    auto wrecksAndUnits = [&] {
        Battlefield aside(units);
        const cg::ImageRef smoke = Winter(units).puff(night ? 0x3E3F44 : 0x5A5650, 0.42);
        wrecks = units.spots(8000003, 1200, 220, 4, [&](cg::Point p) { return open(p) && clear(p, -18, -62, 44, 70); });
        for (const cg::Point& p : wrecks) aside.wreckLights(flip(p), smoke);
        for (const cg::Point& p : wrecks) {
            const double phase = rand(p, 44);
            for (int j = 0; j < 2; ++j) {
                const double a = rand(p, 40 + static_cast<uint64_t>(j));
                const double b = rand(p, 42 + static_cast<uint64_t>(j));
                const cg::Point start{p.x + 30 * (a - 0.5), h - (p.y + 20 * (b - 0.5))};
                Sprite sp;
                sp.kind = Sprite::Kind::trip;
                sp.at = start;
                sp.size = 46;
                sp.phase = phase + j / 2.0;
                sp.travel = 2.5;
                sp.image = smoke;
                sp.path = {start, {start.x + 70, start.y + 40}};
                sp.rest = 0.15;
                sp.grow = 2.4;
                sp.face = false;
                units.sprites.push_back(std::move(sp));
            }
            if (night) units.firelight(flip(p), 26, rand(p, 46), 0.5, 0.45);
        }
        lamps = aside.trafficUnits({l0, tracks, shelters}, unitPictures);
    };
    dispatch::concurrentPerform(2, [&](std::size_t job) {
        if (job == 0) field.inBands(drawGround, drawCamps, bandCost);
        else wrecksAndUnits();
    });
    for (const cg::Point& p : wrecks) field.wreckBody(flip(p));
    join(units);
    field.lamps(lamps);
}
