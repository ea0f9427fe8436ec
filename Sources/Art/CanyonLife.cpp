// The canyon's moving life. By night: camp fires with tents, a coyote pair, a jeep running the wash with
// its headlights, and two flashes beyond the horizon. By day: birds, roadrunners, tumbleweeds, dust
// devils with their trails, cloud shadows and balloons. Routes are built in scene points and flipped
// into drawing space when stored on a sprite.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <utility>
#include <vector>

#include "Art/Canyon.h"
#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/Palette.h"

namespace {

constexpr double kPi = std::numbers::pi;

// Tent colours (light, dark).
constexpr uint32_t kTents[4][2] = {{0xD9873F, 0x7A3E22}, {0x8FA85A, 0x3E5232}, {0x5F8FB0, 0x2E465E}, {0xE0C060, 0x7A6430}};

const std::vector<uint32_t>& balloonPalette(std::size_t i) {
    static const std::vector<uint32_t> palettes[3] = {
        {0xD8432F, 0xF2C14E},
        {0x2F6FB5, 0xF4F1EA},
        {0xE4572E, 0x76B041, 0x2E86AB, 0xF3A712, 0x8E44AD, 0xD7263D},
    };
    return palettes[i % 3];
}

// Int(k·u) for a hash u in [0, 1).
std::size_t pick(double k, double u) {
    const double q = k * u;
    return q > 0 ? static_cast<std::size_t>(q) : 0;
}

// Pictures asked for one after another and made all at once, each on a painter of its own.
class Pictures {
public:
    using Draw = std::function<void(Art::Canyon&)>;
    std::size_t add(double w, double h, std::optional<double> scale, Draw draw) {
        jobs_.push_back({w, h, scale, std::move(draw)});
        return jobs_.size() - 1;
    }
    void make(const Art& art) {
        images_ = art.offscreenEach(jobs_.size(), [this](Art& a, std::size_t i) {
            const Job& job = jobs_[i];
            Art::Canyon canyon(a);
            const double scale = job.scale ? *job.scale : a.s.scale;
            return a.offscreen(job.w, job.h, scale, [&] { job.draw(canyon); });
        });
    }
    cg::ImageRef image(std::size_t i) const { return images_[i]; }
    // The images of jobs first … first + n − 1 that could be made, in order.
    std::vector<cg::ImageRef> frames(std::size_t first, std::size_t n) const {
        std::vector<cg::ImageRef> out;
        for (std::size_t i = first; i < first + n; ++i)
            if (images_[i]) out.push_back(images_[i]);
        return out;
    }

private:
    struct Job {
        double w, h;
        std::optional<double> scale;
        Draw draw;
    };
    std::vector<Job> jobs_;
    std::vector<cg::ImageRef> images_;
};

Sprite trip(cg::Point at, double size, double phase, double travel) {
    Sprite sp;
    sp.kind = Sprite::Kind::trip;
    sp.at = at;
    sp.size = size;
    sp.phase = phase;
    sp.travel = travel;
    return sp;
}

}  // namespace

// --- Routes ---

std::vector<cg::Point> Art::Canyon::prowl(cg::Point p, double r, uint64_t salt) {
    const double f = rand(p, salt), g = rand(p, salt + 1), h = rand(p, salt + 2);
    const double turn = kPi * f, cs = std::cos(turn), sn = std::sin(turn);
    std::vector<cg::Point> out;
    out.reserve(7);
    for (uint64_t i = 0; i < 7; ++i) {
        const double a = 2 * kPi * (static_cast<double>(i) + 0.5 * (rand(p, salt + i) - 0.5)) / 7;
        const double c = 1 - 0.35 * rand(p, salt + 50 + i);
        const double dx = r * (0.6 + 0.5 * g) * c * std::cos(a), dy = r * (0.45 + 0.4 * h) * c * std::sin(a);
        out.push_back({p.x + (dx * cs - dy * sn), p.y + (dx * sn + dy * cs)});
    }
    if (!(rand(p, salt + 3) < 0.5)) std::reverse(out.begin(), out.end());
    return out;
}

std::vector<cg::Point> Art::Canyon::whirl(cg::Point p) {
    std::vector<cg::Point> w{p};
    double heading = 0.25, turn = 0;
    for (uint64_t i = 0; i < 7; ++i) {
        turn = 0.6 * turn + 0.7 * (rand(p, 141 + i) - 0.5);
        heading += turn;
        const cg::Point last = w.back();
        w.push_back({last.x + 45 * std::cos(heading), last.y + 45 * std::sin(heading)});
    }
    return w;
}

std::vector<cg::Point> Art::Canyon::driftCourse(cg::Point p) {
    // Keyed on the shifted start, which is usually off the screen: such courses share their turns.
    const cg::Point q0{p.x - 1200, p.y - 900};
    std::vector<cg::Point> q{q0};
    q.reserve(51);
    double heading = 0.64, turn = 0;
    for (uint64_t i = 0; i < 50; ++i) {
        turn = 0.6 * turn + 0.1 * (rand(q0, 131 + i) - 0.5);
        heading += turn;
        const cg::Point last = q.back();
        q.push_back({last.x + 60 * std::cos(heading), last.y + 60 * std::sin(heading)});
    }
    return q;
}

std::vector<cg::Point> Art::Canyon::balloonDrift(cg::Point p) const {
    const std::vector<cg::Point> q = driftCourse(p);
    auto inside = [this](cg::Point v) { return -60 < v.x && v.x < W + 60 && -60 < v.y && v.y < H + 60; };
    std::optional<std::size_t> first, last;
    for (std::size_t i = 0; i < q.size(); ++i)
        if (inside(q[i])) {
            if (!first) first = i;
            last = i;
        }
    if (!first) return {};
    const std::size_t a = *first > 0 ? *first - 1 : 0;
    const std::size_t b = std::min(*last + 1, q.size() - 1);
    return {q.begin() + static_cast<std::ptrdiff_t>(a), q.begin() + static_cast<std::ptrdiff_t>(b) + 1};
}

std::vector<cg::Point> Art::Canyon::tumbleweedPath(cg::Point p) {
    const double bounce = 6 * rand(p, 2);
    std::vector<cg::Point> path;
    path.reserve(6);
    for (int k = 0; k <= 5; ++k) {
        const double s = 46.0 * k;
        path.push_back({p.x + s, p.y - 6 + 3 * std::sin(s / 37 + bounce)});
    }
    return path;
}

// --- The jeep on the wash ---

double Art::Canyon::washY(double x) const {
    return static_cast<double>(Art::wash(static_cast<float>(x), static_cast<float>(H)).y);
}

bool Art::Canyon::road(double x) const {
    if (x < 0 || x > W) return true;
    const double y = washY(x);
    return 70 < y && y < H - 90 && openFloor({x, y}) && clear({x - 9, y - 10, 18, 20});
}

Art::Canyon::JeepRun Art::Canyon::jeepRun() const {
    // Each run starts off the screen and follows the wash until it is blocked or has crossed it.
    double L = -50;
    for (int64_t k = 0;; ++k) {
        const double x = -50 + 10 * static_cast<double>(k);
        if (x >= W + 140) {
            L = x;
            break;
        }
        if (!road(x)) {
            L = x - 10;
            break;
        }
    }
    double R = W + 50;
    for (int64_t k = 0;; ++k) {
        const double x = W + 50 - 10 * static_cast<double>(k);
        if (x <= -140) {
            R = x;
            break;
        }
        if (!road(x)) {
            R = x + 10;
            break;
        }
    }
    if (W + 60 - R <= L + 60) return {-60, L - 25, 1};
    return {W + 60, R + 25, -1};
}

std::vector<cg::Point> Art::Canyon::jeepPath(const JeepRun& run) const {
    const double S = run.start, E = run.end, d = run.dir;
    if (!(std::fabs(E - S) > 300)) return {};
    std::vector<double> stops;
    for (int64_t k = 0;; ++k) {
        const double x = S + 30 * d * static_cast<double>(k);
        if (d > 0 ? x > E : x < E) break;
        stops.push_back(x);
    }
    stops.push_back(E);

    // A three-point turn past the end when there is room for it, else a plain turn on the centre line.
    std::vector<cg::Point> turn = {{E + 16 * d, washY(E + 16 * d) + 2 * d},
                                   {E + 22 * d, washY(E + 22 * d) - 14 * d},
                                   {E + 8 * d, washY(E + 8 * d) - 24 * d}};
    for (const cg::Point& T : turn) {
        const bool onScreen = 0 <= T.x && T.x <= W;
        if ((onScreen && !road(T.x)) || !openFloor(T) || !clear({T.x - 9, T.y - 10, 18, 20})) {
            turn = {{E + 8 * d, washY(E + 8 * d)}};
            break;
        }
    }

    std::vector<cg::Point> path;
    path.reserve(2 * stops.size() + turn.size());
    for (const double x : stops) path.push_back({x, washY(x) + 4 * d});
    path.insert(path.end(), turn.begin(), turn.end());
    for (auto it = stops.rbegin(); it != stops.rend(); ++it) path.push_back({*it, washY(*it) - 4 * d});
    return path;
}

// --- Life ---

class Art::Canyon::Life {
public:
    // By night.
    std::vector<cg::Point> coyotes;
    JeepRun run;
    std::vector<cg::Point> jeepTrack;
    std::size_t coyoteFrames = 0, jeepImage = 0, beamImage = 0, flashImage = 0;
    // By day.
    std::vector<cg::Point> birds, runners, weeds, devils, balloons;
    std::vector<std::size_t> balloonImages;
    std::size_t runnerFrames = 0, weedImage = 0, devilImage = 0, trailImage = 0;

    Pictures pictures;
};

std::shared_ptr<const Art::Canyon::Life> Art::Canyon::life(const std::vector<cg::Point>& fires) {
    Art& a = art;
    auto out = std::make_shared<Life>();
    Life& life = *out;
    Pictures& pictures = life.pictures;
    if (night) {
        // A coyote pair circling near the camp, on open floor and out of the fires' light.
        life.coyotes = a.spots(1000015, 800, 400, 1, [&](cg::Point p) {
            for (const cg::Point& q : rounded(prowl(p, 150, 53), true, 6)) {
                if (!(0 < q.x && q.x < W && 40 < q.y && q.y < H)) return false;
                if (!openFloor(q) || !clear({q.x - 11, q.y - 10, 22, 18})) return false;
                for (const cg::Point& f : fires)
                    if (std::hypot(q.x - f.x, q.y - f.y) < 50) return false;
            }
            return true;
        });

        life.run = jeepRun();
        life.jeepTrack = jeepPath(life.run);

        if (!life.coyotes.empty()) {
            for (const double step : {1.0, 0.0, -1.0, 0.0}) {
                const std::size_t job = pictures.add(24, 12, std::nullopt, [step](Canyon& c) { c.coyote(step); });
                if (step == 1.0) life.coyoteFrames = job;
            }
        }
        if (!life.jeepTrack.empty()) {
            life.jeepImage = pictures.add(30, 15, std::nullopt, [](Canyon& c) {
                c.art.ctx->scaleBy(1.5, 1.5);
                c.jeep();
            });
            life.beamImage = pictures.add(300, 110, std::nullopt, [](Canyon& c) { c.headlights(); });
        }
        life.flashImage = pictures.add(400, 400, 1.0, [](Canyon& c) { c.flashGlow(); });
    } else {
        // Every group is placed first; then all their pictures are made at once; `wildlife` appends the
        // sprites in order.
        auto onScreen = [this](cg::Point q, double top) { return 0 < q.x && q.x < W && top < q.y && q.y < H; };
        life.birds = a.spots(5, 600, 320, 2, [&](cg::Point p) { return clear({p.x - 72, p.y - 60, 144, 120}); });
        life.runners = a.spots(1000016, 900, 380, 2, [&](cg::Point p) {
            for (const cg::Point& q : rounded(prowl(p, 70, 54), true, 6))
                if (!onScreen(q, 40) || !openFloor(q) || !clear({q.x - 8, q.y - 8, 16, 14})) return false;
            return true;
        });
        life.weeds = a.spots(7, 900, 260, 3, [&](cg::Point p) {
            for (int k = 0; k <= 23; ++k) {
                const double x = p.x + 10.0 * k;
                if (!openFloor({x, p.y}) || !clear({x - 9, p.y - 16, 18, 19})) return false;
            }
            return true;
        });
        life.devils = a.spots(13, 900, 420, 2, [&](cg::Point p) {
            for (const cg::Point& q : rounded(whirl(p), false, 6))
                if (!onScreen(q, 0) || !openFloor(q) || !clear({q.x - 30, q.y - 30, 60, 60})) return false;
            return true;
        });
        life.balloons = a.spots(12, 400, 300, 2, [&](cg::Point p) {
            const std::vector<cg::Point> course = balloonDrift(p);
            if (course.size() < 4) return false;
            for (const cg::Point& q : rounded(course, false, 6))
                if (onScreen(q, 0) && !clear({q.x - 23, q.y - 26, 46, 52})) return false;
            return true;
        });

        if (!life.runners.empty()) {
            for (int i = 0; i < 12; ++i) {
                const std::optional<double> step =
                    i >= 7 && i <= 10 ? std::nullopt : std::optional<double>(i % 2 == 0 ? 1.0 : -1.0);
                const std::size_t job = pictures.add(20, 10, std::nullopt, [step](Canyon& c) { c.roadrunner(step); });
                if (i == 0) life.runnerFrames = job;
            }
        }
        if (!life.weeds.empty()) life.weedImage = pictures.add(16, 16, std::nullopt, [](Canyon& c) { c.tumbleweed(); });
        if (!life.devils.empty()) {
            life.devilImage = pictures.add(36, 36, std::nullopt, [](Canyon& c) { c.dustDevil(); });
            life.trailImage = pictures.add(64, 52, std::nullopt, [](Canyon& c) { c.dustTrail(); });
        }
        for (std::size_t n = 0; n < life.balloons.size(); ++n) {
            const std::size_t palette = (n + pick(3, rand(life.balloons[n], 0))) % 3;
            life.balloonImages.push_back(
                pictures.add(76, 64, std::nullopt, [palette](Canyon& c) { c.balloon(balloonPalette(palette)); }));
        }
    }
    pictures.make(a);
    return out;
}

// --- Night ---

void Art::Canyon::camp(const std::vector<cg::Point>& fires, const Life& life) {
    Art& a = art;
    auto flip = [this](cg::Point p) { return cg::Point{p.x, H - p.y}; };
    auto flipped = [&](const std::vector<cg::Point>& points) {
        std::vector<cg::Point> out;
        out.reserve(points.size());
        for (const cg::Point& q : points) out.push_back(flip(q));
        return out;
    };

    for (const cg::Point& p : fires) {
        a.fire(flip(p));
        const std::size_t k = pick(4, rand(p, 5)) % 4;
        campTent({p.x + 12, H - (p.y - 2)}, kTents[k][0], kTents[k][1]);
    }

    const std::vector<cg::Point>& coyotes = life.coyotes;
    const JeepRun run = life.run;
    const std::vector<cg::Point>& jeepTrack = life.jeepTrack;
    const Pictures& pictures = life.pictures;
    const std::size_t coyoteFrames = life.coyoteFrames, jeepImage = life.jeepImage, beamImage = life.beamImage,
                      flashImage = life.flashImage;

    const std::vector<cg::ImageRef> coyoteRow =
        coyotes.empty() ? std::vector<cg::ImageRef>{} : pictures.frames(coyoteFrames, 4);
    for (const cg::Point& p : coyotes) {
        const std::vector<cg::Point> route = flipped(prowl(p, 150, 53));
        const double base = 0.9 * rand(p, 2);
        for (int n = 0; n < 2; ++n) {
            Sprite sp = trip(route.front(), 21, n == 0 ? base + 0.02 : base, 12);
            sp.frames = coyoteRow;
            sp.beat = 0.5;
            sp.path = route;
            sp.rest = 0.3;
            sp.closed = true;
            sp.pulse = 0.1;
            sp.stroke = n == 0 ? 0 : 0.5;
            a.sprites.push_back(std::move(sp));
        }
    }

    if (!jeepTrack.empty()) {
        const double phase = rand({run.start, run.end}, 1);
        const std::vector<cg::Point> path = flipped(jeepTrack);
        Sprite beams = trip(path.front(), 300, phase, 15);
        beams.image = pictures.image(beamImage);
        beams.path = path;
        beams.rest = 0.8;
        beams.glow = true;
        a.sprites.push_back(std::move(beams));
        Sprite car = trip(path.front(), 30, phase, 15);
        car.image = pictures.image(jeepImage);
        car.path = path;
        car.rest = 0.8;
        a.sprites.push_back(std::move(car));
    }

    // Two flashes glowing beyond one edge of the screen.
    RNG rng(a.s.seed() + 151);
    const double u1 = rng.next(), u2 = rng.next(), u3 = rng.next(), u4 = rng.next(), u5 = rng.next(),
                 u6 = rng.next();
    const std::size_t side = pick(4, u1);
    const double m = 0.2 + (0.8 - 0.2) * u2;
    for (int n = 0; n < 2; ++n) {
        const double f = n == 0 ? m - 0.09 : m + 0.09;
        cg::Point at;
        switch (side) {
            case 0: at = {-300, H * f}; break;
            case 1: at = {W * f, -300}; break;
            case 2: at = {W + 300, H * f}; break;
            default: at = {W * f, H + 300}; break;
        }
        Sprite sp;
        sp.kind = Sprite::Kind::blast;
        sp.at = flip(at);
        sp.size = 3000;
        sp.phase = n == 0 ? u3 : u5;
        sp.travel = n == 0 ? 8 + 9 * u4 : 8 + 9 * u6;
        sp.image = pictures.image(flashImage);
        sp.pulse = 1;
        sp.glow = true;
        a.sprites.push_back(std::move(sp));
    }
}

// --- Day ---

void Art::Canyon::wildlife(const Life& life) {
    Art& a = art;
    auto flip = [this](cg::Point p) { return cg::Point{p.x, H - p.y}; };
    auto flipped = [&](const std::vector<cg::Point>& points) {
        std::vector<cg::Point> out;
        out.reserve(points.size());
        for (const cg::Point& q : points) out.push_back(flip(q));
        return out;
    };

    const std::vector<cg::Point>& birds = life.birds;
    const std::vector<cg::Point>& runners = life.runners;
    const std::vector<cg::Point>& weeds = life.weeds;
    const std::vector<cg::Point>& devils = life.devils;
    const std::vector<cg::Point>& balloons = life.balloons;
    const std::vector<std::size_t>& balloonImages = life.balloonImages;
    const Pictures& pictures = life.pictures;
    const std::size_t runnerFrames = life.runnerFrames, weedImage = life.weedImage, devilImage = life.devilImage,
                      trailImage = life.trailImage;

    for (const cg::Point& p : birds) a.bird(p, 60, 50, 14, 0x4A2F2A, 8);

    if (!runners.empty()) {
        const std::vector<cg::ImageRef> frames = pictures.frames(runnerFrames, 12);
        for (const cg::Point& p : runners) {
            const std::vector<cg::Point> route = flipped(prowl(p, 70, 54));
            Sprite sp = trip(route.front(), 18, rand(p, 2), 20);
            sp.frames = frames;
            sp.beat = 1.6;
            sp.path = route;
            sp.rest = 0.3;
            sp.closed = true;
            sp.pulse = 0.9;
            a.sprites.push_back(std::move(sp));
        }
    }

    for (const cg::Point& p : weeds) {
        const std::vector<cg::Point> path = flipped(tumbleweedPath(p));
        Sprite sp = trip(path.front(), 16, rand(p, 0), 13);
        sp.image = pictures.image(weedImage);
        sp.beat = 3.4;
        sp.path = path;
        sp.rest = rand(p, 1) + 0.3;
        sp.pulse = 0.45;
        sp.spin = -460.0 / 13;
        sp.hop = 5;
        sp.face = false;
        a.sprites.push_back(std::move(sp));
    }

    for (const cg::Point& p : devils) {
        const std::vector<cg::Point> w = whirl(p);
        const double rest = 2 * rand(p, 3) + 1.5;
        const double phase = rand(p, 2);
        const std::vector<cg::Point> path = flipped(w);
        // The trail is anchored at its start, so it streams away from the devil down-sun.
        Sprite trail = trip(path.front(), 64, phase, 10);
        trail.image = pictures.image(trailImage);
        trail.anchor = {4.0 / 64, 48.0 / 52};
        trail.path = path;
        trail.rest = rest;
        trail.grow = 1.5;
        trail.face = false;
        a.sprites.push_back(std::move(trail));
        Sprite devil = trip(path.front(), 36, phase, 10);
        devil.image = pictures.image(devilImage);
        devil.path = path;
        devil.rest = rest;
        const double spin = 2.4 * pathLength(w) / 10;
        devil.spin = rand(p, 1) < 0.5 ? spin : -spin;
        devil.grow = 1.5;
        devil.face = false;
        a.sprites.push_back(std::move(devil));
    }

    a.cloudShadows(3, 0.12, 0x000000);

    for (std::size_t n = 0; n < balloons.size(); ++n) {
        const cg::Point p = balloons[n];
        const std::vector<cg::Point> path = flipped(balloonDrift(p));
        Sprite sp = trip(path.front(), 76, rand(p, 2), 6 + 2 * rand(p, 1));
        sp.image = pictures.image(balloonImages[n]);
        sp.anchor = {15.0 / 76, 49.0 / 64};
        sp.beat = 9;
        sp.path = path;
        sp.rest = rand(p, 3) + 0.8;
        sp.pulse = 0.1;
        sp.face = false;
        a.sprites.push_back(std::move(sp));
    }
}
