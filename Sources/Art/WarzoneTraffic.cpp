// The warzone's moving units and sky: helicopters circling, explosions, tanks on the track paths and
// patrolling squads; by day jets, birds and cloud shadows; by night searchlights, flares, flashes on the
// horizon and a faint orange cloud light. All pictures of this step are drawn at once on several
// threads before the sprites are appended in their order.

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "Art/Battlefield.h"
#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

using Polyline = Art::Battlefield::Polyline;

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
constexpr double kPi = std::numbers::pi;
constexpr int kHeliFrames = 24;

// Int(q) for a draw already scaled to a small range.
int64_t truncated(double q) { return q > 0 ? (q < 1e9 ? static_cast<int64_t>(q) : 1000000000) : 0; }

Sprite sprite(Sprite::Kind kind, cg::Point at, double size, double phase) {
    return Sprite::make(kind, at, size, phase);
}

// A black square of the given size with a radial glow centred in it.
void glowOnBlack(cg::Context& g, double side, const cg::Gradient& glow) {
    g.setFillColor(cg::Color::black());
    g.fill(cg::Rect(0, 0, side, side));
    const cg::Point c{side / 2, side / 2};
    g.drawRadialGradient(glow, c, 0, c, side / 2);
}

// The searchlight's beam: two light cones from its lamp and a glare, on black.
void beamPicture(cg::Context& g) {
    g.setFillColor(cg::Color::black());
    g.fill(cg::Rect(0, 0, 260, 70));
    struct Cone {
        double half, alpha;
    };
    for (const Cone& cone : {Cone{0.09, 0.15}, Cone{0.04, 0.24}}) {
        const double spread = 225 * std::tan(cone.half);
        cg::SavedState s(g);
        g.moveTo({0, 35});
        g.lineTo({225, 35 + spread});
        g.lineTo({225, 35 - spread});
        g.closePath();
        g.clip();
        const cg::Gradient light({cg::Color::rgb(0x9EA3AD, cone.alpha), cg::Color::rgb(0x9EA3AD, 0.7 * cone.alpha),
                                  cg::Color::rgb(0x9EA3AD, 0.3 * cone.alpha)},
                                 {0, 0.6, 1});
        g.drawLinearGradient(light, {0, 35}, {225, 35});
    }
    cg::SavedState s(g);
    g.translateBy(200, 35);
    g.scaleBy(2.4, 1);
    const cg::Gradient glare({cg::Color::rgb(0x9AA0AA, 1), cg::Color::rgb(0x9AA0AA, 0.9), cg::Color::rgb(0x9AA0AA, 0.72),
                              cg::Color::rgb(0x9AA0AA, 0)},
                             {0, 0.65, 0.9, 1});
    g.drawRadialGradient(glare, {0, 0}, 0, {0, 0}, 20);
}

// Pictures drawn together by Art::offscreenEach: each a size, a scale (0: the scene's) and a painter.
class Pictures {
public:
    using Paint = std::function<void(Art::Battlefield&)>;
    std::size_t add(double w, double h, double scale, Paint paint) {
        jobs_.push_back({w, h, scale, std::move(paint)});
        return jobs_.size() - 1;
    }
    void draw(const Art& art) {
        images_ = art.offscreenEach(jobs_.size(), [&](Art& a, std::size_t i) {
            const Job& job = jobs_[i];
            Art::Battlefield worker(a);
            const double scale = job.scale > 0 ? job.scale : a.s.scale;
            return a.offscreen(job.w, job.h, scale, [&] { job.paint(worker); });
        });
    }
    cg::ImageRef operator[](std::size_t i) const { return images_[i]; }
    const std::vector<cg::ImageRef>& images() const { return images_; }
    // Takes pictures drawn beforehand from the same list; false (and nothing taken) for another count.
    bool adopt(const std::vector<cg::ImageRef>& images) {
        if (images.size() != jobs_.size()) return false;
        images_ = images;
        return true;
    }

private:
    struct Job {
        double w, h, scale;
        Paint paint;
    };
    std::vector<Job> jobs_;
    std::vector<cg::ImageRef> images_;
};

// Every picture of the moving units and the sky, and where each lies in the list.
struct TrafficPlan {
    Pictures pictures;
    std::vector<std::size_t> heliRows, shadeRows;
    std::size_t tankPic = 0, soldierPic = 0;
    std::size_t blastPic = 0, jetPic = 0, flarePic = 0, beamPic = 0, flareGlowPic = 0, flashPic = 0;
};

TrafficPlan planTraffic(bool night) {
    TrafficPlan plan;
    for (int i = 0; i < kHeliFrames; ++i) {
        const double turn = (i + 0.5) * kPi / 8;
        const bool lit = night && i < 2;
        plan.heliRows.push_back(
            plan.pictures.add(48, 48, 0, [turn, lit](Art::Battlefield& b) { b.helicopter(turn, lit, false); }));
    }
    for (int i = 0; i < kHeliFrames; ++i) {
        const double turn = (i + 0.5) * kPi / 8;
        plan.shadeRows.push_back(
            plan.pictures.add(48, 48, 0, [turn](Art::Battlefield& b) { b.helicopter(turn, false, true); }));
    }
    plan.tankPic = plan.pictures.add(28, 16, 0, [](Art::Battlefield& b) { b.battleTank(); });
    plan.soldierPic = plan.pictures.add(14, 14, 0, [](Art::Battlefield& b) { b.soldier({7, 7}, 0); });
    if (night) {
        plan.blastPic = plan.pictures.add(160, 160, 0, [](Art::Battlefield& b) {
            glowOnBlack(*b.art.ctx, 160,
                        cg::Gradient({cg::Color::rgb(0xC09A6A), cg::Color::rgb(0x5A4630), cg::Color::rgb(0x000000)},
                                     {0, 0.35, 1}));
        });
        plan.flarePic = plan.pictures.add(14, 14, 0, [](Art::Battlefield& b) {
            const cg::Gradient g({cg::Color::rgb(0xFFF4D0, 1), cg::Color::rgb(0xFFB347, 0.5), cg::Color::rgb(0xFF8A3D, 0)},
                                 {0, 0.3, 1});
            b.art.ctx->drawRadialGradient(g, {7, 7}, 0, {7, 7}, 7);
        });
        plan.beamPic = plan.pictures.add(260, 70, 0, [](Art::Battlefield& b) { beamPicture(*b.art.ctx); });
        plan.flareGlowPic = plan.pictures.add(220, 220, 0, [](Art::Battlefield& b) {
            glowOnBlack(*b.art.ctx, 220,
                        cg::Gradient({cg::Color::rgb(0xA89A7A, 0.95), cg::Color::rgb(0xA89A7A, 0.38),
                                      cg::Color::rgb(0xA89A7A, 0)},
                                     {0, 0.45, 1}));
        });
        // The flash is drawn at one pixel per point whatever the screen: 600 × 600 pixels.
        plan.flashPic = plan.pictures.add(600, 600, 1, [](Art::Battlefield& b) {
            glowOnBlack(*b.art.ctx, 600,
                        cg::Gradient({cg::Color::rgb(0x6E4E30), cg::Color::rgb(0x2E2014), cg::Color::rgb(0x000000)},
                                     {0, 0.4, 1}));
        });
    } else {
        plan.jetPic = plan.pictures.add(22, 18, 0, [](Art::Battlefield& b) {
            b.plane(1, -3.5, 0x000000, 0.18);
            b.plane(0, 4, 0x9AA2AA, 1);
        });
    }
    return plan;
}

}  // namespace

Polyline Art::Battlefield::heliLoop(cg::Point c) {
    Polyline loop;
    loop.reserve(7);
    for (uint64_t j = 0; j < 7; ++j) {
        const double fj = static_cast<double>(j);
        const double a = (fj + 0.5 * (Art::rand(c, 5 + j) - 0.5)) * 2 * kPi / 7;
        const double k = 1 - 0.25 * Art::rand(c, 55 + j);
        loop.push_back({c.x + 170 * k * std::cos(a), c.y + 115 * k * std::sin(a)});
    }
    return loop;
}

Polyline Art::Battlefield::flareFall(cg::Point c) {
    const cg::Point d{20, 120};
    const double f = std::max(std::hypot(d.x, d.y), 1.0);
    const int64_t m = std::max<int64_t>(2, truncated(2 * f / 26));
    const cg::Point u{-d.y / f, d.x / f};
    Polyline fall;
    for (int64_t k = 0; k <= m; ++k) {
        double v = 0;
        if (k > 0 && k < m) v = (0.5 + 0.5 * Art::rand(c, static_cast<uint64_t>(k))) * (k % 2 == 1 ? -4 : 4);
        const double fk = static_cast<double>(k), fm = static_cast<double>(m);
        fall.push_back({c.x + d.x * fk / fm + u.x * v, c.y + d.y * fk / fm + u.y * v});
    }
    return fall;
}

Polyline Art::Battlefield::arc(cg::Point a, cg::Point b, double bow) {
    return {a, {(a.x + b.x) / 2 + (b.y - a.y) * bow, (a.y + b.y) / 2 - (b.x - a.x) * bow}, b};
}

std::vector<cg::ImageRef> Art::Battlefield::trafficPictures() const {
    TrafficPlan plan = planTraffic(art.s.night);
    plan.pictures.draw(art);
    return plan.pictures.images();
}

void Art::Battlefield::traffic(const Field& field) { traffic(field, {}); }

void Art::Battlefield::traffic(const Field& field, const std::vector<cg::ImageRef>& drawn) {
    lamps(trafficUnits(field, drawn));
}

void Art::Battlefield::lamps(const std::vector<cg::Point>& at) {
    for (const cg::Point& p : at) {
        const cg::Point q = art.flip(p);
        art.shape(0x26282C, 1, 0, [&](cg::Path& path) { path.addEllipse(cg::Rect(q.x - 3.4, q.y - 3.4, 6.8, 6.8)); });
        art.shape(0xFFF3D6, 1, 0, [&](cg::Path& path) { path.addEllipse(cg::Rect(q.x - 2, q.y - 2, 4, 4)); });
    }
}

std::vector<cg::Point> Art::Battlefield::trafficUnits(const Field& field, const std::vector<cg::ImageRef>& drawn) {
    std::vector<cg::Point> lampsAt;
    const bool night = art.s.night;
    const double W = art.W(), H = art.H();
    const uint32_t dust = night ? 0x54514B : 0xB09C76;
    auto clear = [this](cg::Point p, double dx, double dy, double bw, double bh) {
        const cg::Rect box(p.x + dx, p.y + dy, bw, bh);
        for (const cg::Rect& r : art.keep)
            if (box.intersects(r)) return false;
        return true;
    };
    auto inside = [W, H](cg::Point q) { return q.x > 0 && q.x < W && q.y > 0 && q.y < H; };
    auto open = [this](cg::Point p) { return art.solid(p) < 0.03f; };
    auto flipped = [this](const Polyline& path) {
        Polyline out;
        out.reserve(path.size());
        for (const cg::Point& q : path) out.push_back(art.flip(q));
        return out;
    };

    TrafficPlan plan = planTraffic(night);
    if (!plan.pictures.adopt(drawn)) plan.pictures.draw(art);
    const Pictures& pictures = plan.pictures;
    const std::vector<std::size_t>&heliRows = plan.heliRows, &shadeRows = plan.shadeRows;
    const std::size_t tankPic = plan.tankPic, soldierPic = plan.soldierPic, blastPic = plan.blastPic,
                      jetPic = plan.jetPic, flarePic = plan.flarePic, beamPic = plan.beamPic,
                      flareGlowPic = plan.flareGlowPic, flashPic = plan.flashPic;
    auto row = [&](const std::vector<std::size_t>& handles) {
        std::vector<cg::ImageRef> out;
        for (std::size_t k : handles)
            if (pictures[k]) out.push_back(pictures[k]);
        return out;
    };

    // Helicopters circling clear of the icons.
    {
        const std::vector<cg::ImageRef> frames = row(heliRows), shade = row(shadeRows);
        for (const cg::Point& p : art.spots(21000003, 600, 420, 2, [&](cg::Point p) {
                 for (const cg::Point& q : rounded(heliLoop(p), true, 6))
                     if (!inside(q) || !clear(q, -26, -26, 52, 52)) return false;
                 return true;
             })) {
            const Polyline c = heliLoop(p);
            Sprite sp = sprite(Sprite::Kind::trip, art.flip(c[0]), 48, Art::rand(p, 2));
            sp.travel = 22 + 6 * Art::rand(p, 1);
            sp.frames = frames;
            sp.shade = shade;
            sp.path = flipped(c);
            sp.rest = 0.3;
            sp.closed = true;
            art.sprites.push_back(std::move(sp));
        }
    }

    // Explosions on open ground.
    for (const cg::Point& p :
         art.spots(14000003, 1500, 260, 3, [&](cg::Point p) { return open(p) && clear(p, -34, -50, 68, 70); })) {
        const double phi = Art::rand(p, 0);
        const double tau = 20 + 16 * Art::rand(p, 1);
        Sprite blast = sprite(Sprite::Kind::blast, art.flip(p), 1, phi);
        blast.travel = tau;
        blast.color = 0xFFD27A;
        blast.dust = dust;
        art.sprites.push_back(std::move(blast));
        if (night) {
            Sprite glow = sprite(Sprite::Kind::blast, art.flip(p), 160, phi);
            glow.travel = tau;
            glow.image = pictures[blastPic];
            glow.glow = true;
            art.sprites.push_back(std::move(glow));
        }
    }

    // Tanks on the track paths.
    for (const Polyline& P : field.tracks) {
        const cg::Point p0 = P.front();
        Sprite sp = sprite(Sprite::Kind::trip, art.flip(p0), 28, Art::rand(p0, 2));
        sp.travel = 8 + 3 * Art::rand(p0, 1);
        sp.image = pictures[tankPic];
        sp.beat = 4.5;
        sp.path = flipped(P);
        sp.rest = 0.3 + 0.6 * Art::rand(p0, 3);
        sp.pulse = 0.15;
        art.sprites.push_back(std::move(sp));
    }

    // Squads of five to seven soldiers, each trailing the one before on the same patrol path.
    for (const Polyline& P : crossings(15000003, 3, 24, [&](cg::Point p) { return clear(p, -7, -9, 14, 18); })) {
        const cg::Point p0 = P.front();
        const double v = 3 + Art::rand(p0, 1);
        const double phi = Art::rand(p0, 2);
        const double rho = 0.2 + 0.4 * Art::rand(p0, 3);
        const double length = pathLength(P);
        const int64_t m = 5 + truncated(3 * Art::rand(p0, 4));
        const double loop = (length / v) * (rho + 1);
        for (int64_t k = 0; k < m; ++k) {
            const uint64_t uk = static_cast<uint64_t>(k);
            const cg::Point o{4 * (Art::rand(p0, 10 + uk) - 0.5), 4 * (Art::rand(p0, 20 + uk) - 0.5)};
            Polyline Q;
            Q.reserve(P.size());
            for (const cg::Point& q : P) Q.push_back(art.flip({q.x + o.x, q.y + o.y}));
            // A path of no length has no loop time to trail by.
            const double lag = v * loop > 0 ? 12 * static_cast<double>(k) / (v * loop) : 0;
            const double phase = (phi - lag) - std::floor(phi - lag);
            Sprite sp = sprite(Sprite::Kind::trip, Q.front(), 14, phase);
            sp.travel = v;
            sp.image = pictures[soldierPic];
            sp.beat = 2.6;
            sp.path = std::move(Q);
            sp.rest = rho;
            sp.pulse = 0.2;
            art.sprites.push_back(std::move(sp));
        }
    }

    if (!night) {
        // Up to two jets crossing the sky on bowed paths, birds, and dark cloud shadows.
        int jets = 0;
        for (const cg::Point& p : art.spots(12000003, 400, 1, kNoLimit, [](cg::Point) { return true; })) {
            if (jets >= 2) break;
            const int64_t s = truncated(4 * Art::rand(p, 1));
            cg::Point start;
            switch (s) {
                case 0: start = {-40, H * p.x / W}; break;
                case 1: start = {p.x, -40}; break;
                case 2: start = {W + 40, H * p.x / W}; break;
                default: start = {p.x, H + 40}; break;
            }
            const int64_t e = (s + 1 + truncated(3 * Art::rand(p, 2))) % 4;
            cg::Point end;
            switch (e) {
                case 0: end = {-40, p.y}; break;
                case 1: end = {W * p.y / H, -40}; break;
                case 2: end = {W + 40, p.y}; break;
                default: end = {W * p.y / H, H + 40}; break;
            }
            double bow = 0.1 + 0.12 * Art::rand(p, 6);
            if (Art::rand(p, 5) >= 0.5) bow = -bow;
            const Polyline path = arc(start, end, bow);
            if (!(std::hypot(end.x - start.x, end.y - start.y) > H)) continue;
            bool free = true;
            for (const cg::Point& q : rounded(path, false, 6)) free = free && clear(q, -13, -12, 26, 24);
            if (!free) continue;
            Sprite sp = sprite(Sprite::Kind::trip, art.flip(path[0]), 22, Art::rand(p, 3));
            sp.travel = 70;
            sp.image = pictures[jetPic];
            sp.path = flipped(path);
            sp.rest = 3 + 3 * Art::rand(p, 4);
            art.sprites.push_back(std::move(sp));
            ++jets;
        }
        for (const cg::Point& p :
             art.spots(18000003, 600, 320, 2, [&](cg::Point p) { return open(p) && clear(p, -60, -48, 120, 96); }))
            art.bird(p, 50, 38, 15, 0x26241F, 3);
        art.cloudShadows(3, 0.13, 0x000000);
        return lampsAt;
    }

    // Night: searchlights sweeping down the slopes.
    auto slope = [this](cg::Point p) {
        const double gx = static_cast<double>(art.value({p.x + 3, p.y}) - art.value({p.x - 3, p.y}));
        const double gy = static_cast<double>(art.value({p.x, p.y + 3}) - art.value({p.x, p.y - 3}));
        double g = std::hypot(gx, gy);
        if (!(g > 1e-6)) g = 1e-6;
        return std::array<double, 3>{gx, gy, g};
    };
    const float l0 = field.l0;
    for (const cg::Point& p : art.spots(16000003, 2000, 400, 2, [&](cg::Point p) {
             const float v = art.value(p);
             if (!(l0 + 0.02f < v && v < l0 + 0.1f) || !clear(p, -10, -12, 20, 18)) return false;
             for (const cg::Point& a : field.shelters)
                 if (std::hypot(p.x - a.x, p.y - a.y) < 30) return false;
             const auto [gx, gy, g] = slope(p);
             const double theta = std::atan2(-gy / g, -gx / g);
             for (const double turn : {theta - 0.5, theta, theta + 0.5})
                 for (int r = 30; r <= 250; r += 20) {
                     const cg::Point c{p.x + r * std::cos(turn), p.y + r * std::sin(turn)};
                     if (!clear(c, -20, -20, 40, 40)) return false;
                 }
             return true;
         })) {
        const cg::Point at = art.flip(p);
        const auto [gx, gy, g] = slope(p);
        // Nothing else of the units is drawn on the scene: the lamps can wait until the end.
        lampsAt.push_back(p);
        Sprite sp = sprite(Sprite::Kind::beam, at, 260, Art::rand(p, 0));
        sp.travel = 0.5;
        sp.angle = std::atan2(gy / g, -gx / g);
        sp.image = pictures[beamPic];
        sp.anchor = {0, 0.5};
        sp.glow = true;
        art.sprites.push_back(std::move(sp));
    }

    // Flares sinking under their glow, clear of the icons all the way down.
    for (const cg::Point& p : art.spots(11000003, 900, 260, 3, [&](cg::Point p) {
             for (const cg::Point& q : rounded(flareFall(p), false, 6))
                 if (!inside(q) || !clear(q, -70, -70, 140, 140)) return false;
             return true;
         })) {
        const double phi = Art::rand(p, 0);
        const Polyline S = flipped(flareFall(p));
        for (const bool glow : {true, false}) {
            Sprite sp = sprite(Sprite::Kind::trip, S.front(), glow ? 220 : 14, phi);
            sp.travel = 5;
            sp.image = pictures[glow ? flareGlowPic : flarePic];
            sp.beat = 2.6;
            sp.path = S;
            sp.pulse = 0.3;
            sp.face = false;
            sp.glow = glow;
            art.sprites.push_back(std::move(sp));
        }
    }

    // Flashes on the horizon: three along one edge, one along the opposite edge. They depend on the
    // screen alone, never on the icons.
    RNG flashes(art.s.seed() + 131);
    const int64_t side0 = truncated(4 * flashes.next());
    for (int i = 0; i < 4; ++i) {
        const int64_t side = i < 3 ? side0 : (side0 + 2) % 4;
        const double t = 0.15 + 0.7 * flashes.next();
        cg::Point point;
        switch (side) {
            case 0: point = {-40, H * t}; break;
            case 1: point = {W * t, -40}; break;
            case 2: point = {W + 40, H * t}; break;
            default: point = {W * t, H + 40}; break;
        }
        const double phi = flashes.next();
        const double tau = 5 + 6 * flashes.next();
        Sprite sp = sprite(Sprite::Kind::blast, art.flip(point), 600, phi);
        sp.travel = tau;
        sp.image = pictures[flashPic];
        sp.glow = true;
        art.sprites.push_back(std::move(sp));
    }
    art.cloudShadows(2, 0.03, 0xFF8A3D);
    return lampsAt;
}
