// The orbit scene: moon ground under open sky. A static star field in a slanted band, bright and
// sparkling stars, a ringed planet with its satellite, craters, rovers with their tracks, habitat domes,
// meteors, a comet, a space station and drifting rocks. Day and night differ only in colours, in how
// often bright stars twinkle and in the rovers' headlights.

#include "Art/Orbit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>
#include <utility>
#include <vector>

#include "Art/Geometry2D.h"
#include "Art/PictureBatch.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Gradient.h"
#include "Platform/Graphics/StateGuard.h"
#include "Renderer/Random.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

// The chord from p by (dx, dy) with its middle point pushed sideways by k times the chord, turned.
std::vector<cg::Point> bowed(cg::Point p, double dx, double dy, double k) {
    return {p, {p.x + dx / 2 + dy * k, p.y + dy / 2 - dx * k}, {p.x + dx, p.y + dy}};
}

double distance(cg::Point a, cg::Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Int(v) for a count; NaN and negative give 0, absurd values are capped.
int64_t count(double v) {
    if (!(v > 0)) return 0;
    return v < 1e12 ? static_cast<int64_t>(v) : static_cast<int64_t>(1e12);
}

}  // namespace

std::vector<cg::Point> Art::Orbit::patrol(cg::Point p) {
    const double a = Art::rand(p, 1);
    const double b = Art::rand(p, 2);
    std::vector<cg::Point> loop;
    loop.reserve(6);
    for (uint64_t j = 0; j < 6; ++j) {
        const double theta = (static_cast<double>(j) + (Art::rand(p, 8 + j) - 0.5) * 0.5) * 2 * kPi / 6;
        const double k = 1 - 0.25 * Art::rand(p, 58 + j);
        loop.push_back({p.x + (44 + 24 * a) * k * std::cos(theta), p.y + (28 + 12 * b) * k * std::sin(theta)});
    }
    return loop;
}

std::vector<cg::Point> Art::Orbit::coast(cg::Point p) { return bowed(p, -380, -120, 0.06); }

std::vector<cg::Point> Art::Orbit::pass(cg::Point p) { return bowed(p, 420, 150, 0.1); }

std::vector<cg::Point> Art::Orbit::rockDrift(cg::Point p) {
    return bowed(p, 260, -60, (Art::rand(p, 2) - 0.5) * 0.18);
}

std::vector<cg::Point> Art::Orbit::fall(cg::Point p) { return bowed(p, 170, 80, -0.12); }

std::vector<cg::Point> Art::Orbit::track(const std::vector<cg::Point>& r, double o) {
    std::vector<cg::Point> out;
    out.reserve(r.size());
    const std::size_t n = r.size();
    for (std::size_t j = 0; j < n; ++j) {
        // Each point is pushed across the direction from its neighbour behind to its neighbour ahead.
        const cg::Point from = j == 0 ? r[0] : r[j - 1];
        const cg::Point to = j == 0 ? r[std::min<std::size_t>(1, n - 1)] : r[std::min(j + 1, n - 1)];
        const double dx = to.x - from.x, dy = to.y - from.y;
        const double len = std::max(std::hypot(dx, dy), 0.01);
        out.push_back({r[j].x - o * dy / len, r[j].y + o * dx / len});
    }
    return out;
}

float Art::Orbit::starDensity(float x, float y, float h) {
    const float d = (x - 0.85f * h) * 0.52f + (y - 0.5f * h) * 0.854f;
    const float band = std::exp(d * d / -28800.0f);
    const float clump = 0.55f + 0.45f * valueNoise(x / 85.0f, y / 85.0f, 0x65);
    const float across = d + 18.0f * valueNoise(x / 140.0f, y / 140.0f, 0x67);
    const float lane = std::exp(across * across / -968.0f);
    const float g = std::clamp((valueNoise(x / 55.0f, y / 55.0f, 0x66) + 0.3f) / 0.8f, 0.0f, 1.0f);
    const float gate = g * g * (3.0f - 2.0f * g);
    return band * clump * (1.0f - 0.85f * lane * gate);
}

uint32_t Art::Orbit::starColor(cg::Point p) {
    static constexpr uint32_t kStars[] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xD8E6FF, 0xD8E6FF, 0xFFF3D8, 0xFFD6A8};
    // rand is below 1, so the product truncates to 0 … 6.
    const auto i = static_cast<std::size_t>(Art::rand(p, 4) * 7);
    return kStars[i % 7];
}

void Art::Orbit::fillDots(cg::Context& c, const std::vector<Dot>& dots, const cg::Rect& band) {
    // Device rows, y up: a dot is drawn where its box, and a pixel of antialiasing, meets the band's.
    const cg::Transform m = c.ctm();
    auto rows = [&m](cg::Point a, cg::Point b) {
        const double y0 = m.apply(a).y, y1 = m.apply(b).y;
        return std::pair{std::min(y0, y1) - 1, std::max(y0, y1) + 1};
    };
    const auto [low, high] = rows(band.origin, cg::Point{band.maxX(), band.maxY()});
    cg::SavedState saved(c);
    for (const Dot& d : dots) {
        const auto [bottom, top] = rows({d.c.x - d.r, d.c.y - d.r}, {d.c.x + d.r, d.c.y + d.r});
        if (top < low || bottom > high) continue;
        c.setFillColor(cg::Color::rgb(d.color, d.alpha));
        c.fillEllipse(cg::Rect(d.c.x - d.r, d.c.y - d.r, 2 * d.r, 2 * d.r));
    }
}

bool Art::Orbit::clear(const cg::Rect& box) const {
    for (const cg::Rect& r : art.keep)
        if (box.intersects(r)) return false;
    return true;
}

void Art::orbit() {
    Orbit o(*this);
    const bool night = s.night;
    const float T = look.landAt();
    const double w = W(), h = H();
    const uint64_t seed = s.seed();
    // A filled disc; it leaves its colour on the context as `shape` would.
    auto disc = [](Art& a, cg::Point c, double r, uint32_t color, double alpha) {
        a.ctx->setFillColor(cg::Color::rgb(color, alpha));
        a.ctx->fillEllipse(cg::Rect(c.x - r, c.y - r, 2 * r, 2 * r));
    };
    auto drawn = [this](const std::vector<cg::Point>& scenePoints) {
        std::vector<cg::Point> out;
        out.reserve(scenePoints.size());
        for (const cg::Point& q : scenePoints) out.push_back(flip(q));
        return out;
    };
    // Every point of the smoothed path passes the test.
    auto along = [](const std::vector<cg::Point>& path, bool closed, const auto& test) {
        for (const cg::Point& q : rounded(path, closed, 6))
            if (!test(q)) return false;
        return true;
    };
    auto sky = [this](cg::Point q) { return solid(q) < 0.02f; };

    // The moving things' pictures are independent of every placement: draw them all at once.
    const double roverWidth = night ? 32 : 18;
    PictureBatch batch;
    const std::size_t roverRow =
        batch.row(6, roverWidth, 12, [](Art& a, double ph) { Orbit(a).rover(ph == 0); });
    const std::size_t cometRow = batch.row(1, 160, 72, [](Art& a, double) { Orbit(a).comet(); });
    const std::size_t stationRow = batch.row(8, 48, 34, [](Art& a, double ph) { Orbit(a).station(ph == 0); });
    const std::size_t rockRow = batch.row(1, 22, 22, [seed](Art& a, double) { Orbit(a).boulder(seed + 5); });
    batch.draw(*this);

    // 1. The planet's site: open sky all over its box.
    std::optional<cg::Point> site;
    for (const cg::Point& p : spots(1, 1500, 1, 1, [&](cg::Point p) {
             if (!o.clear(cg::Rect(p.x - 95, p.y - 60, 190, 120))) return false;
             for (const cg::Point q : {cg::Point{p.x - 95, p.y - 60}, cg::Point{p.x + 95, p.y - 60},
                                       cg::Point{p.x - 95, p.y + 60}, cg::Point{p.x + 95, p.y + 60}, p})
                 if (!sky(q)) return false;
             return true;
         })) {
        site = p;
        break;
    }

    // 2. The static star field, redrawn from the seed every time. Its dots and the bright stars' are
    // filled together with the props: nothing else is drawn in between.
    //
    // It and every later placement are made before the first draw into the scene, so that they run while
    // the ground is being shaded, side by side: each depends only on its salt, the terrain, the icons and
    // the site, and a thread the shading frees takes the next.
    std::vector<Orbit::Dot> stars;
    std::vector<cg::Point> bright, sparkles, craters, rovers, domes, meteors, comets, stations, rocks;
    const std::function<void()> placements[] = {
        [&] {
            // Candidate i takes draws 3i … 3i + 2 of one stream; a stream's state after k draws is its seed
            // plus k steps, so chunks of candidates are tested side by side and joined in order.
            constexpr uint64_t kStep = 0x9E3779B97F4A7C15ULL;
            constexpr int64_t kChunk = 4096;
            const auto n = static_cast<uint64_t>(count(w * h / 35));
            const float hf = static_cast<float>(h);
            std::vector<std::vector<Orbit::Dot>> chunks((n + kChunk - 1) / kChunk);
            dispatch::concurrentPerform(chunks.size(), [&](std::size_t c) {
                const uint64_t begin = c * kChunk, end = std::min<uint64_t>(n, begin + kChunk);
                RNG rng(seed + 77 + 3 * begin * kStep);
                for (uint64_t i = begin; i < end; ++i) {
                    const double x = w * rng.next();
                    const double y = h * rng.next();
                    const double u = rng.next();
                    const float density = Orbit::starDensity(static_cast<float>(x), static_cast<float>(y), hf);
                    if (!(density > static_cast<float>(u))) continue;
                    const cg::Point p{x, y};
                    if (!sky(p) || !o.clear(cg::Rect(x - 1.5, y - 1.5, 3, 3))) continue;
                    chunks[c].push_back({flip(p), 0.3 + 0.25 * u, Orbit::starColor(p), 0.25 + 0.4 * rand(p, 1)});
                }
            });
            for (const auto& chunk : chunks) stars.insert(stars.end(), chunk.begin(), chunk.end());
        },
        [&] {
            bright = spots(2, 9000, 7, kNoLimit, [&](cg::Point p) { return sky(p) && o.clear(cg::Rect(p.x - 2, p.y - 2, 4, 4)); });
        },
        [&] {
            sparkles = spots(10, 3000, 160, 8, [&](cg::Point p) {
                if (!sky(p) || !o.clear(cg::Rect(p.x - 15, p.y - 15, 30, 30))) return false;
                return !site || distance(p, *site) > 120;
            });
        },
        [&] {
            craters = spots(3, 4000, 13, kNoLimit, [&](cg::Point p) {
                const double R = 8 * std::pow(rand(p, 0), 3) + 1.6;
                if (!(value(p) > T + 0.1f)) return false;
                if (!o.clear(cg::Rect(p.x - 8, p.y - 7, 16, 14))) return false;
                const double e = 1.4 * R;
                for (const cg::Point q : {cg::Point{p.x + e, p.y}, cg::Point{p.x - e, p.y}, cg::Point{p.x, p.y + e},
                                          cg::Point{p.x, p.y - e}})
                    if (!(value(q) > T + 0.03f)) return false;
                return true;
            });
        },
        [&] {
            rovers = spots(8, 700, 260, 2, [&](cg::Point p) {
                return along(Orbit::patrol(p), true, [&](cg::Point q) {
                    return value(q) > T + 0.1f && o.clear(cg::Rect(q.x - 11, q.y - 11, 22, 22));
                });
            });
        },
        [&] {
            domes = spots(4, 800, 110, 3, [&](cg::Point p) {
                return value(p) > T + 0.25f && o.clear(cg::Rect(p.x - 15, p.y - 20, 30, 24));
            });
        },
        [&] {
            meteors = spots(5, 600, 260, 3, [&](cg::Point p) {
                return along(Orbit::fall(p), false,
                             [&](cg::Point q) { return sky(q) && o.clear(cg::Rect(q.x - 5, q.y - 4, 10, 8)); });
            });
        },
        [&] {
            comets = spots(7, 900, 1, 1, [&](cg::Point p) {
                return along(Orbit::coast(p), false,
                             [&](cg::Point q) { return o.clear(cg::Rect(q.x - 10, q.y - 14, 160, 76)); });
            });
        },
        [&] {
            stations = spots(9, 900, 1, 1, [&](cg::Point p) {
                return along(Orbit::pass(p), false,
                             [&](cg::Point q) { return sky(q) && o.clear(cg::Rect(q.x - 26, q.y - 20, 52, 40)); });
            });
        },
        [&] {
            rocks = spots(6, 900, 300, 3, [&](cg::Point p) {
                return along(Orbit::rockDrift(p), false,
                             [&](cg::Point q) { return sky(q) && o.clear(cg::Rect(q.x - 13, q.y - 13, 26, 26)); });
            });
        },
    };
    dispatch::concurrentPerform(std::size(placements), [&](std::size_t i) { placements[i](); });

    // 3. Bright stars; a few twinkle, never right beside the planet.
    const double twinkle = night ? 0.06 : 0.035;
    for (const cg::Point& p : bright) {
        const double c = std::pow(rand(p, 0), 3);
        const double radius = 0.35 + 1.4 * c;
        stars.push_back({flip(p), radius, Orbit::starColor(p), 0.3 + 0.6 * rand(p, 1)});
        if (rand(p, 2) < twinkle && (!site || distance(p, *site) > 100)) {
            Sprite sp;
            sp.kind = Sprite::Kind::star;
            sp.at = flip(p);
            sp.size = radius + 0.5;
            sp.phase = rand(p, 3);
            sp.travel = 0;
            sp.face = true;
            sprites.push_back(std::move(sp));
        }
    }

    // The star dots (steps 2 and 3), then steps 4–8, only draw into the scene and make sprites: in bands,
    // on several threads, each band doing every step in order (drawing nothing that cannot reach it) and
    // the last band's sprites kept.
    const double planetRadius = site ? 26 + 10 * rand(*site, 0) : 0;
    const std::vector<cg::ImageRef> roverFrames = batch.frames(roverRow);
    struct Patrol {
        cg::Point at;
        std::vector<cg::Point> loop, smooth;
        cg::Rect bounds;
    };
    std::vector<Patrol> patrols;
    for (const cg::Point& p : rovers) {
        Patrol patrol{p, drawn(Orbit::patrol(p)), {}, cg::Rect::null()};
        patrol.smooth = rounded(patrol.loop, true, 3);
        for (const cg::Point& q : patrol.smooth) patrol.bounds = patrol.bounds.unionWith(cg::Rect(q.x, q.y, 0, 0));
        patrols.push_back(std::move(patrol));
    }
    paintInBands([&](Art& a, const cg::Rect& band) {
        Orbit worker(a);
        auto reaches = [&band](double y, double reach) { return y + reach >= band.minY() && y - reach <= band.maxY(); };
        Orbit::fillDots(*a.ctx, stars, band);
        // 4. Sparkle stars: a soft halo, four spikes and a white core.
        for (const cg::Point& p : sparkles) {
            const uint32_t k = Orbit::starColor(p);
            const double L = 6 + 6 * rand(p, 1);
            const cg::Point c = flip(p);
            if (reaches(c.y, L + 9)) {
                a.ctx->drawRadialGradient(
                    cg::Gradient({cg::Color::rgb(k, 0.22), cg::Color::rgb(k, 0.187), cg::Color::rgb(k, 0)}, {0, 0.55, 1}),
                    c, 0, c, 7);
                a.shape(k, 0.55, 0, [&](cg::Path& path) {
                    const cg::Point across[] = {{c.x - L, c.y}, {c.x, c.y - 0.45}, {c.x + L, c.y}, {c.x, c.y + 0.45}};
                    const cg::Point upright[] = {{c.x, c.y - L}, {c.x - 0.45, c.y}, {c.x, c.y + L}, {c.x + 0.45, c.y}};
                    path.addLines(across);
                    path.closeSubpath();
                    path.addLines(upright);
                    path.closeSubpath();
                });
                disc(a, c, 1.4, 0xFFFFFF, 1);
            }
            if (rand(p, 2) < 0.5) {
                Sprite sp;
                sp.kind = Sprite::Kind::star;
                sp.at = c;
                sp.size = 1.6;
                sp.phase = rand(p, 3);
                sp.travel = 0;
                sp.color = k;
                sp.face = true;
                a.sprites.push_back(std::move(sp));
            }
        }

        // 5. The planet and its satellite.
        if (site) {
            const cg::Point P = *site;
            const double r = planetRadius;
            if (reaches(flip(P).y, 3 * r + 4)) worker.planet(flip(P), r);
            Sprite sp;
            sp.kind = Sprite::Kind::satellite;
            sp.at = flip(P);
            sp.size = 1;
            sp.phase = rand(P, 1);
            sp.travel = 2.4 * r;
            sp.face = true;
            a.sprites.push_back(std::move(sp));
        }

        // 6. Impact craters on flat ground well inside the land (placed above).
        for (const cg::Point& p : craters) {
            const double R = 8 * std::pow(rand(p, 0), 3) + 1.6;
            const cg::Point q = flip(p);
            if (!reaches(q.y, 3 * R + 10)) continue;
            a.impact(q, R, o.craterRim(), o.craterFloor(), o.craterWall());
        }

        // 7. Rovers on their loops, with the tracks they have worn.
        for (const Patrol& patrol : patrols) {
            if (patrol.bounds.maxY() + 6 >= band.minY() && patrol.bounds.minY() - 6 <= band.maxY())
                for (double side : {-2.6, 2.6})
                    a.shape(0x000000, night ? 0.16 : 0.12, 1.1,
                            [&](cg::Path& path) { path.addLines(Orbit::track(patrol.smooth, side)); });
            Sprite sp;
            sp.kind = Sprite::Kind::trip;
            sp.at = patrol.loop.front();
            sp.size = roverWidth;
            sp.phase = rand(patrol.at, 4);
            sp.travel = 4 + 2 * rand(patrol.at, 3);
            sp.anchor = {9 / roverWidth, 0.5};
            sp.frames = roverFrames;
            sp.beat = 2.4;
            sp.path = patrol.loop;
            sp.rest = 0.3;
            sp.closed = true;
            sp.face = true;
            a.sprites.push_back(std::move(sp));
        }

        // 8. Habitat domes on high ground.
        for (const cg::Point& p : domes) worker.habitat(flip(p));
    });

    // 9. Meteors falling across open sky.
    for (const cg::Point& p : meteors) {
        Sprite sp;
        sp.kind = Sprite::Kind::meteor;
        sp.at = flip(p);
        sp.size = 1;
        sp.phase = rand(p, 0);
        sp.travel = 0;
        sp.path = drawn(Orbit::fall(p));
        sp.face = true;
        sprites.push_back(std::move(sp));
    }

    // 10. The comet: its whole picture stays clear of the icons all along its way; it may cross land.
    {
        const cg::ImageRef image = batch.image(cometRow);
        for (const cg::Point& p : comets) {
            Sprite sp;
            sp.kind = Sprite::Kind::trip;
            sp.at = flip(p);
            sp.size = 160;
            sp.phase = rand(p, 1);
            sp.travel = 1.6;
            sp.image = image;
            sp.anchor = {0.0625, 0.8333333333333334};
            sp.path = drawn(Orbit::coast(p));
            sp.rest = 0.3;
            sp.face = false;
            sprites.push_back(std::move(sp));
        }
    }

    // 11. The space station.
    {
        const std::vector<cg::ImageRef> frames = batch.frames(stationRow);
        for (const cg::Point& p : stations) {
            Sprite sp;
            sp.kind = Sprite::Kind::trip;
            sp.at = flip(p);
            sp.size = 48;
            sp.phase = rand(p, 1);
            sp.travel = 3;
            sp.frames = frames;
            sp.beat = 2;
            sp.path = drawn(Orbit::pass(p));
            sp.rest = 0.25;
            sp.spin = 0.35;
            sp.face = false;
            sprites.push_back(std::move(sp));
        }
    }

    // 12. Drifting, tumbling rocks.
    {
        const cg::ImageRef image = batch.image(rockRow);
        for (const cg::Point& p : rocks) {
            Sprite sp;
            sp.kind = Sprite::Kind::trip;
            sp.at = flip(p);
            sp.size = 22;
            sp.phase = rand(p, 0);
            sp.travel = 12;
            sp.image = image;
            sp.path = drawn(Orbit::rockDrift(p));
            sp.rest = rand(p, 0) + 0.3;
            sp.spin = rand(p, 1) < 0.5 ? 2.5 : -2.5;
            sp.face = false;
            sprites.push_back(std::move(sp));
        }
    }
}
