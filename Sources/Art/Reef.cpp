// The reef: seagrass, clusters of sponges, clams and urchins, corals, starfish, shells and kelp on the
// sea floor; reef fish, bait balls, a turtle, anemones with their fish and rising bubbles as sprites; by
// day milling schools, an eagle ray and cloud shadows, by night plankton, jellyfish and a diver with a
// torch. Every position comes from `spots`, so a scene stays put when icons move.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Art/Art.h"
#include "Art/Geometry2D.h"
#include "Art/PictureBatch.h"
#include "Art/Reef.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

using Fish = Art::Fish;

// Fish 0 lives round the anemones; 1 to 5 roam the reef.
constexpr Fish kReefFish[6] = {
    {14, 2.4, 0xd4501c, 0xf5792a, 0xf59a50, 4, false, false, 0.12, 0.45},
    {20, 2.6, 0x1c3f8f, 0x2f6fd0, 0xf2c230, 0, false, false, 0.1, 0.55},
    {16, 2.2, 0xd9a21e, 0xf7d84e, 0xefe6c0, 0, false, false, 0.09, 0.5},
    {26, 4.2, 0x1f7a6a, 0x52b8a0, 0xd873a0, 0, false, false, 0.1, 0.7},
    {17, 3.2, 0xc9a418, 0xf5d83a, 0xf2dc5a, 0, false, false, 0.09, 0.5},
    {19, 3.4, 0x8a7a2a, 0xf0d650, 0xf4eeda, 4, false, false, 0.09, 0.6},
};
constexpr Fish kBaitFish{9, 1.2, 0x5f7f92, 0xdde9f2, 0xb8ccd8, 0, false, false, 0.12, 0.32};
constexpr Fish kSchoolFish[2] = {
    {10, 1.7, 0xd9503e, 0xf58a6a, 0xf8b49a, 0, false, false, 0.12, 0.3},
    {10, 1.8, 0x2e8ca0, 0x7fd6cf, 0xa8e6de, 0, false, false, 0.12, 0.3},
};

double u(cg::Point p, uint64_t salt) { return Art::rand(p, salt); }

// Int(k·x) mod n for a hash x in [0, 1).
std::size_t pickOf(double k, double x, std::size_t n) {
    const double q = k * x;
    return (q > 0 ? static_cast<std::size_t>(q) : 0) % n;
}

double fraction(double x) { return x - std::floor(x); }

// A reef sprite: fields the painter does not set stay zero, off or empty.
Sprite sprite(Sprite::Kind kind, cg::Point at, double size, double phase) {
    Sprite sp = Sprite::make(kind, at, size, phase);
    sp.ease = 0;
    sp.grow = 0;
    sp.face = false;
    return sp;
}

// The frames and shadows of one kind of swimmer, and the width its sprites show it at.
struct Swimmer {
    std::vector<cg::ImageRef> frames, shade;
    double size = 0;
    double beat = 1;
};

// A sea-floor prop: where it stands (drawing coordinates), how it draws itself into a painter's context,
// and about how long that takes against a seagrass tuft.
struct FloorProp {
    cg::Point at;
    double reach;  // farther than the prop draws from its point, shadow included
    std::function<void(Art&)> draw;
    double weight = 1;
};

// Draws the props in their order into the scene, in horizontal bands that can be drawn side by side.
// Each band is a transparent bitmap of whole pixel rows that gets every prop reaching into it, then is
// laid over its rows of the scene. The bands are fixed by the picture's size, so the picture never
// depends on the threads or on the order the bands are drawn in.
class FloorBands {
public:
    static constexpr std::size_t kBands = 12;

    FloorBands(cg::Context& scene, const std::vector<FloorProp>& props)
        : props_(props), width_(scene.pixelWidth()), height_(scene.pixelHeight()),
          toDevice_(scene.ctm()), scene_(scene), stride_(scene.bytesPerRow()) {
        const cg::Transform toUser = toDevice_.inverted();
        for (std::size_t i = 0; i < kBands; ++i) {
            Band& band = bands_[i];
            band.top = static_cast<int>(static_cast<int64_t>(height_) * static_cast<int64_t>(i) / kBands);
            band.bottom = static_cast<int>(static_cast<int64_t>(height_) * static_cast<int64_t>(i + 1) / kBands);
            // The band's points, y up: from its lower edge to its upper edge.
            const cg::Rect span = cg::Rect(0, static_cast<double>(height_ - band.bottom), static_cast<double>(width_),
                                           static_cast<double>(band.bottom - band.top))
                                      .applying(toUser);
            band.low = span.minY();
            band.high = span.maxY();
            for (const FloorProp& prop : props_)
                if (reaches(prop, band)) band.weight += prop.weight;
        }
    }

    // The bands, heaviest first: drawn in this order they finish together sooner.
    std::vector<std::size_t> order() const {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < kBands; ++i) out.push_back(i);
        std::stable_sort(out.begin(), out.end(),
                         [this](std::size_t a, std::size_t b) { return bands_[a].weight > bands_[b].weight; });
        return out;
    }

    // Draws band i and lays it over its rows of the scene, the only ones it writes. Call pixelsChanged()
    // on the scene once every band is done.
    void paint(Art& worker, std::size_t i) const {
        const Band& band = bands_[i];
        if (band.bottom <= band.top || width_ <= 0) return;
        auto bitmap = cg::Context::makeBitmap(width_, band.bottom - band.top, 1);
        if (!bitmap) return;
        // The scene's own transform, moved down to the band's lowest row.
        bitmap->translateBy(0, -static_cast<double>(height_ - band.bottom));
        bitmap->concatenateCTM(toDevice_);
        worker.ctx = bitmap.get();
        for (const FloorProp& prop : props_)
            if (reaches(prop, band)) prop.draw(worker);
        worker.ctx = nullptr;

        // The scene's pixels are taken only now: the ground may still be being shaded while the bands
        // are drawn, and a band that gets here first helps to shade it.
        uint8_t* const base = scene_.data();
        if (!base) return;
        const uint8_t* src = bitmap->data();
        const std::size_t srcStride = bitmap->bytesPerRow();
        for (int y = 0; y < band.bottom - band.top; ++y)
            Art::Reef::layOver(reinterpret_cast<const uint32_t*>(src + srcStride * static_cast<std::size_t>(y)),
                               reinterpret_cast<uint32_t*>(base + stride_ * static_cast<std::size_t>(band.top + y)),
                               width_);
    }

private:
    struct Band {
        int top = 0, bottom = 0;
        double low = 0, high = 0;
        double weight = 0;
    };
    static bool reaches(const FloorProp& prop, const Band& band) {
        return prop.at.y + prop.reach >= band.low && prop.at.y - prop.reach <= band.high;
    }

    const std::vector<FloorProp>& props_;
    const int width_, height_;
    const cg::Transform toDevice_;
    cg::Context& scene_;
    const std::size_t stride_;
    std::array<Band, kBands> bands_;
};

}  // namespace

void Art::Reef::layOver(const uint32_t* src, uint32_t* dst, int n) {
    int x = 0;
#if defined(__SSE2__)
    // Four pixels at once, in 16-bit lanes: d·keep + 0x80 and its rounding stay below 2¹⁶, and the
    // saturating add is the clamp at 255.
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(0x80);
    for (; x + 4 <= n; x += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(s, zero)) == 0xFFFF) continue;
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + x));
        __m128i alpha = _mm_srli_epi32(s, 24);
        alpha = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 8));
        alpha = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 16));
        const __m128i keep = _mm_xor_si128(alpha, _mm_set1_epi32(-1));
        auto scaled = [&](__m128i d16, __m128i k16) {
            const __m128i t = _mm_add_epi16(_mm_mullo_epi16(d16, k16), half);
            return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
        };
        const __m128i low = scaled(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(keep, zero));
        const __m128i high = scaled(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(keep, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_adds_epu8(s, _mm_packus_epi16(low, high)));
    }
#endif
    for (; x < n; ++x) {
        const uint32_t s = src[x];
        if (s == 0) continue;
        const uint32_t keep = 255 - (s >> 24);
        const uint32_t d = dst[x];
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t t = ((d >> shift) & 0xFF) * keep + 0x80;
            const uint32_t c = ((s >> shift) & 0xFF) + (((t >> 8) + t) >> 8);
            out |= (c > 255 ? 255 : c) << shift;
        }
        dst[x] = out;
    }
}

void Art::reef() {
    Reef reef(*this);
    const bool night = s.night;
    const float e = look.land[0].t;
    const double w = W(), h = H();

    auto clear = [this](const cg::Rect& box) {
        for (const cg::Rect& r : keep)
            if (box.intersects(r)) return false;
        return true;
    };
    auto around = [](cg::Point p, double dx, double dy, double bw, double bh) {
        return cg::Rect(p.x + dx, p.y + dy, bw, bh);
    };
    // Every smoothed point strictly on the canvas, with a bw × bh box round it clear of the icons.
    auto route = [&](const std::vector<cg::Point>& path, bool closed, double bw, double bh) {
        for (const cg::Point& q : rounded(path, closed, 6)) {
            if (!(q.x > 0 && q.x < w && q.y > 0 && q.y < h)) return false;
            if (!clear(around(q, -bw / 2, -bh / 2, bw, bh))) return false;
        }
        return true;
    };
    auto drawn = [this](const std::vector<cg::Point>& path) {
        std::vector<cg::Point> out;
        out.reserve(path.size());
        for (const cg::Point& q : path) out.push_back(flip(q));
        return out;
    };
    // A swimmer going round (or along) a scene path from its first point.
    auto trip = [&](const std::vector<cg::Point>& path, double size, double phase, double travel, double beat,
                    double pulse, bool closed) {
        Sprite sp = sprite(Sprite::Kind::trip, {}, size, phase);
        sp.path = drawn(path);
        sp.at = sp.path.empty() ? cg::Point{} : sp.path.front();
        sp.travel = travel;
        sp.beat = beat;
        sp.rest = 0.3;
        sp.closed = closed;
        sp.pulse = pulse;
        sp.ease = 1;
        sp.grow = 1;
        sp.face = true;
        return sp;
    };
    auto reefLoop = [](cg::Point p) { return Reef::lap(p, 50 + 70 * u(p, 2), 40 + 50 * u(p, 1), 40); };

    // --- Placements: the sea floor first ---

    // The corals, the longest placement, are placed alongside the seagrass.
    std::vector<cg::Point> grass, coralSpots;
    dispatch::concurrentPerform(2, [&](std::size_t job) {
        if (job == 0) {
            coralSpots = spots(1, 14000, 10, kNoLimit, [&](cg::Point p) {
                return value(p) > e - 0.04f && clear(around(p, -10, -16, 20, 21));
            });
        } else {
            grass = spots(11, 6000, 8, kNoLimit, [&](cg::Point p) {
                return solid(p) < 0.02f && t.tex->sample(p) > 0.25f && clear(around(p, -4, -8, 8, 10));
            });
        }
    });
    const std::vector<cg::Point> centres = spots(10, 1500, 80, 18, [&](cg::Point p) {
        return solid(p) < 0.02f && clear(around(p, -17, -24, 34, 32));
    });
    const std::vector<cg::Point> strand = spots(2, 2500, 40, 30, [&](cg::Point p) {
        return solid(p) < 0.02f && clear(around(p, -6, -6, 12, 12));
    });
    const std::vector<cg::Point> kelps = spots(3, 2500, 26, 26, [&](cg::Point p) {
        // On the slopes below the reef top, off the cliff faces. The solid body is never lower than the
        // floor, so a bound of 0.05 on it would keep kelp out of every slope: it is bounded by the slope's
        // top instead, which only the cliff faces (raised to the reef top) exceed.
        const float v = value(p);
        return 0.05f < v && v < e - 0.05f && solid(p) < e - 0.05f && clear(around(p, -8, -30, 16, 34));
    });
    const std::vector<cg::Point> anemones = spots(12, 3000, 120, 7, [&](cg::Point p) {
        if (!(solid(p) < 0.02f)) return false;
        bool beside = false;
        for (const cg::Point& c : centres) {
            const double d = std::hypot(c.x - p.x, c.y - p.y);
            if (d >= 24 && d < 44) {
                beside = true;
                break;
            }
        }
        return beside && route(Reef::lap(p, 13, 10, 60), true, 26, 26);
    });

    // --- The sea floor, back to front ---

    // Each prop is queued with its drawing point and drawn by the floor bands in this order.
    std::vector<FloorProp> floor;
    floor.reserve(grass.size() + 3 * centres.size() + coralSpots.size() + 4 * centres.size() + strand.size() +
                  kelps.size() + anemones.size());
    for (const cg::Point& p : grass) floor.push_back({flip(p), 16, [q = flip(p)](Art& a) { a.seagrass(q); }});

    for (const cg::Point& c : centres)
        for (uint64_t k = 0; k < 3; ++k) {
            const double theta = 2 * M_PI * (static_cast<double>(k) / 3 + u(c, 40 + k));
            const double r = 22 + 8 * u(c, 44 + k);
            const cg::Point m{c.x + r * std::cos(theta), c.y + 0.75 * r * std::sin(theta)};
            // A member on the rock or by an icon is left out; its cluster keeps the others.
            if (!(solid(m) < 0.02f) || !clear(around(m, -8, -9, 16, 16))) continue;
            const double a = u(m, 1);
            const cg::Point q = flip(m);
            if (a < 0.4) {
                const double size = 4.5 + 3 * u(m, 2), v = u(m, 3);
                floor.push_back({q, 1.6 * size + 4, [=](Art& art) { Reef(art).sponge(q, size, v); }, 2});
            } else if (a < 0.7) {
                const double angle = M_PI * u(m, 2), v = u(m, 3);
                floor.push_back({q, 12, [=](Art& art) { Reef(art).clam(q, angle, v); }, 2});
            } else {
                const double v = u(m, 2);
                floor.push_back({q, 12, [=](Art& art) { Reef(art).urchin(q, v); }, 3});
            }
        }

    std::vector<cg::Point> corals = coralSpots;
    for (const cg::Point& c : centres)
        for (uint64_t k = 0; k < 4; ++k) corals.push_back({c.x + (u(c, k) - 0.5) * 18, c.y + (u(c, 4 + k) - 0.5) * 12});
    // Corals lower on the screen stand in front.
    sortByY(corals);
    for (const cg::Point& p : corals) {
        const cg::Point q = flip(p);
        const double v = u(p, 0), scale = 1.2 + 0.5 * u(p, 7);
        floor.push_back({q, 12 * scale + 3, [=](Art& art) { Reef(art).coral(q, v, scale); }, 3});
    }

    for (const cg::Point& p : strand) {
        const cg::Point q = flip(p);
        const double v = u(p, 2);
        if (u(p, 1) >= 0.5) floor.push_back({q, 8, [q](Art& a) { a.shell(q); }, 0.5});
        else floor.push_back({q, 8, [q, v](Art& a) { a.starfish(q, v); }, 0.3});
    }
    for (const cg::Point& p : kelps) floor.push_back({flip(p), 10, [q = flip(p)](Art& a) { Reef(a).kelp(q); }, 0.1});
    for (const cg::Point& p : anemones)
        floor.push_back({flip(p), 14, [q = flip(p)](Art& a) { a.groundShadow(q, 8, 0.2); }, 0.1});

    // --- The creatures: placed, then every picture their sprites need drawn at once (a set nobody
    // uses is not drawn), all while the sea floor is drawn ---

    std::vector<cg::Point> roamers, baitBalls, turtles, schools, rays, bubbles, glows, jellies, divers;
    PictureBatch batch;
    std::map<int, std::pair<std::size_t, std::size_t>> fishRows;
    auto wantFish = [&](int k, const Fish& fish, int n) {
        if (!fishRows.count(k)) fishRows[k] = {batch.fish(fish, n, false), batch.fish(fish, n, true)};
    };
    auto swimmer = [&](int k, const Fish& fish) {
        const auto rows = fishRows.at(k);
        return Swimmer{batch.frames(rows.first), batch.frames(rows.second), fishCanvas(fish).width, fish.beat};
    };
    constexpr int kBait = 6, kSchool = 7;
    std::size_t turtleRow = 0, turtleShade = 0, rayRow = 0, rayShade = 0, frondRow = 0, bubbleRow = 0;
    std::size_t jellyRow = 0, diverRow = 0, beamRow = 0;
    std::vector<std::size_t> anemoneRows;
    std::atomic<bool> picturesOpen{false};
    auto creatures = [&] {
        roamers = spots(4, 1500, 110, night ? 8 : 16, [&](cg::Point p) { return route(reefLoop(p), true, 18, 18); });
        baitBalls = spots(5, 900, 300, 3, [&](cg::Point p) { return route(reefLoop(p), true, 48, 48); });
        turtles = spots(9, 900, 1, 1, [&](cg::Point p) { return route(Reef::lap(p, 170, 110, 50), true, 28, 28); });
        if (!night) {
            schools = spots(13, 2500, 260, 4, [&](cg::Point p) {
                if (!(value(p) > e - 0.06f)) return false;
                for (uint64_t i = 0; i < 7; ++i)
                    if (!route(Reef::mill(p, i), true, 12, 12)) return false;
                return true;
            });
            rays = spots(14, 900, 1, 1, [&](cg::Point p) { return route(Reef::lap(p, 240, 150, 150), true, 40, 44); });
        }
        bubbles = spots(6, 1500, 90, 6, [&](cg::Point p) {
            for (uint64_t i = 0; i < 3; ++i)
                if (!route(Reef::rise(p, i), false, 10, 10)) return false;
            return true;
        });
        if (night) {
            glows = plankton(7, 2000, 50, 30);
            jellies = spots(8, 900, 260, 3, [&](cg::Point p) { return route(Reef::drift(p), false, 20, 28); });
            divers = spots(15, 900, 1, 1, [&](cg::Point p) { return route(Reef::lap(p, 230, 150, 160), true, 34, 36); });
        }

        for (const cg::Point& p : roamers) {
            const int k = static_cast<int>(pickOf(5, u(p, 4), 5)) + 1;
            wantFish(k, kReefFish[k], 10);
        }
        if (!anemones.empty()) wantFish(0, kReefFish[0], 10);
        if (!baitBalls.empty()) wantFish(kBait, kBaitFish, 8);
        for (const cg::Point& p : schools) {
            const int k = static_cast<int>(pickOf(2, u(p, 1), 2));
            wantFish(kSchool + k, kSchoolFish[k], 8);
        }
        if (!turtles.empty()) {
            turtleRow = batch.row(12, 30, 24, [](Art& a, double ph) { a.turtle(ph, false); });
            turtleShade = batch.row(12, 30, 24, [](Art& a, double ph) { a.turtle(ph, true); });
        }
        for (const cg::Point& p : anemones) {
            const double v = u(p, 2);
            anemoneRows.push_back(batch.row(1, 24, 24, [v](Art& a, double) { Reef(a).anemone(v); }));
        }
        if (!kelps.empty()) frondRow = batch.row(1, 16, 30, [](Art& a, double) { Reef(a).frond(); });
        if (!rays.empty()) {
            rayRow = batch.row(16, 60, 44, [](Art& a, double ph) { a.eagleRay(ph, false, true); });
            rayShade = batch.row(16, 60, 44, [](Art& a, double ph) { a.eagleRay(ph, true, true); });
        }
        if (!bubbles.empty()) bubbleRow = batch.row(1, 6, 6, [](Art& a, double) { Reef(a).bubble(); });
        if (!jellies.empty()) jellyRow = batch.row(10, 20, 20, [](Art& a, double ph) { a.jellyfish(ph); });
        if (!divers.empty()) {
            diverRow = batch.row(12, 50, 24, [](Art& a, double ph) { Reef(a).diver(ph); });
            beamRow = batch.row(1, 250, 120, [](Art& a, double) { Reef(a).beam(); });
        }
        batch.open();
        picturesOpen.store(true, std::memory_order_release);
    };
    // The light patches are placed and made while the floor is painted; their sprites join the others at
    // the end, where they would have been appended.
    constexpr uint64_t kLightSalt = 7700001;
    std::vector<Sprite> lights;
    auto shimmerLights = [&] {
        lights = night ? shimmerSprites(5, kLightSalt, 0.34f, {120, 165, 235}, reefShimmerCurve)
                       : shimmerSprites(6, kLightSalt, 0.26f, {200, 245, 255}, reefShimmerCurve);
    };
    auto takeLights = [&] {
        for (Sprite& sp : lights) sprites.push_back(std::move(sp));
    };
    // So are the day's cloud shadows, which go in just before the light patches.
    std::vector<Sprite> clouds;

    // One queue of jobs taken in order by as many lanes as there are threads: the creatures' placement
    // first, then by day the cloud shadows, then the floor bands, heaviest first, then the light patches,
    // whose rows fill the threads the last bands leave idle; then the creatures' pictures, one by one, by
    // every lane that runs out of jobs. Were the pictures drawn as one loop inside the creatures' job, the
    // other lanes would be held in their bands and leave that loop to one thread. The order of taking
    // changes nothing drawn.
    constexpr std::size_t kCreatures = FloorBands::kBands, kLights = FloorBands::kBands + 1,
                          kClouds = FloorBands::kBands + 2;
    std::vector<std::size_t> jobs = {kCreatures};
    if (!night) jobs.push_back(kClouds);
    const FloorBands bands(*ctx, floor);
    if (!floor.empty()) {
        const std::vector<std::size_t> order = bands.order();
        jobs.insert(jobs.end(), order.begin(), order.end());
    }
    jobs.push_back(kLights);
    const int threads = dispatch::threadCount();
    const std::size_t lanes = std::min<std::size_t>(
        jobs.size(), threads > 0 ? static_cast<std::size_t>(threads) : std::max(1u, std::thread::hardware_concurrency()));
    std::atomic<std::size_t> taken{0}, pictureTaken{0};
    offscreenEach(lanes, [&](Art& worker, std::size_t) -> cg::ImageRef {
        for (std::size_t j = taken.fetch_add(1); j < jobs.size(); j = taken.fetch_add(1)) {
            if (jobs[j] == kCreatures) creatures();
            else if (jobs[j] == kLights) shimmerLights();
            else if (jobs[j] == kClouds) clouds = cloudShadowSprites(3, 0.1, 0xffffff);
            else bands.paint(worker, jobs[j]);
        }
        // The lane that placed the creatures always gets here after opening the pictures, so every
        // picture is drawn even if no other lane sees them open.
        if (picturesOpen.load(std::memory_order_acquire))
            for (std::size_t k = pictureTaken.fetch_add(1); k < batch.size(); k = pictureTaken.fetch_add(1))
                batch.drawOne(*this, k);
        return nullptr;
    });
    if (!floor.empty()) ctx->pixelsChanged();

    if (!kelps.empty()) {
        const cg::ImageRef frond = batch.image(frondRow);
        for (const cg::Point& p : kelps)
            if (auto sway = Reef::kelpSway(flip(p), frond)) sprites.push_back(std::move(*sway));
    }

    // --- Creatures ---

    for (const cg::Point& p : roamers) {
        const int k = static_cast<int>(pickOf(5, u(p, 4), 5)) + 1;
        const Swimmer fish = swimmer(k, kReefFish[k]);
        Sprite sp = trip(reefLoop(p), fish.size, u(p, 5), 14 + 10 * u(p, 3), fish.beat, 0.35, true);
        sp.frames = fish.frames;
        sp.shade = fish.shade;
        sprites.push_back(std::move(sp));
    }

    if (!baitBalls.empty()) {
        const Swimmer bait = swimmer(kBait, kBaitFish);
        for (const cg::Point& p : baitBalls) {
            const std::vector<cg::Point> loop = reefLoop(p);
            for (uint64_t i = 0; i < 7; ++i) {
                const cg::Point shift{(u(p, 10 + i) - 0.5) * 16, (u(p, 20 + i) - 0.5) * 16};
                std::vector<cg::Point> path;
                path.reserve(loop.size());
                for (const cg::Point& q : loop) path.push_back({q.x + shift.x, q.y + shift.y});
                Sprite sp = trip(path, bait.size, u(p, 5), 16 + 6 * u(p, 3), 0.32, 0.3, true);
                sp.frames = bait.frames;
                sp.shade = bait.shade;
                sp.stroke = u(p, 30 + i);
                sprites.push_back(std::move(sp));
            }
        }
    }

    if (!turtles.empty()) {
        const std::vector<cg::ImageRef> frames = batch.frames(turtleRow), shade = batch.frames(turtleShade);
        for (const cg::Point& p : turtles) {
            Sprite sp = trip(Reef::lap(p, 170, 110, 50), 30, u(p, 0), 7, 2.8, 0.55, true);
            sp.frames = frames;
            sp.shade = shade;
            sprites.push_back(std::move(sp));
        }
    }

    if (!anemones.empty()) {
        const Swimmer clown = swimmer(0, kReefFish[0]);
        for (std::size_t n = 0; n < anemones.size(); ++n) {
            const cg::Point p = anemones[n];
            const cg::Point c = flip(p);
            Sprite sway = sprite(Sprite::Kind::sway, c, 24, u(p, 1));
            sway.image = batch.image(anemoneRows[n]);
            sway.beat = 1;
            sway.ease = 1;
            sway.grow = 1;
            sway.face = true;
            sprites.push_back(std::move(sway));
            const std::vector<cg::Point> loop = Reef::lap(p, 13, 10, 60);
            for (uint64_t j = 0; j < 2; ++j) {
                const double travel = (night ? 5 : 8) + 3 * u(p, 3);
                Sprite sp = trip(loop, clown.size, fraction(u(p, 4) + 0.45 * static_cast<double>(j)), travel, 0.45,
                                 0.3, true);
                sp.frames = clown.frames;
                sp.shade = clown.shade;
                sp.stroke = u(p, 5 + j);
                sprites.push_back(std::move(sp));
            }
        }
    }

    for (const cg::Point& p : schools) {
        const int k = static_cast<int>(pickOf(2, u(p, 1), 2));
        const Swimmer fish = swimmer(kSchool + k, kSchoolFish[k]);
        for (uint64_t i = 0; i < 7; ++i) {
            Sprite sp = trip(Reef::mill(p, i), fish.size, u(p, 130 + i), 6 + 5 * u(p, 120 + i), fish.beat, 0.4, true);
            sp.frames = fish.frames;
            sp.shade = fish.shade;
            sp.stroke = u(p, 140 + i);
            sprites.push_back(std::move(sp));
        }
    }

    if (!rays.empty()) {
        const std::vector<cg::ImageRef> frames = batch.frames(rayRow), shade = batch.frames(rayShade);
        for (const cg::Point& p : rays) {
            Sprite sp = trip(Reef::lap(p, 240, 150, 150), 60, u(p, 4), 13 + 4 * u(p, 3), 2.6, 0.4, true);
            sp.frames = frames;
            sp.shade = shade;
            sprites.push_back(std::move(sp));
        }
    }

    if (!bubbles.empty()) {
        const cg::ImageRef ring = batch.image(bubbleRow);
        for (const cg::Point& p : bubbles)
            for (uint64_t i = 0; i < 3; ++i) {
                Sprite sp = trip(Reef::rise(p, i), 3 + 2.5 * u(p, 6 + i), static_cast<double>(i) / 3,
                                 9 + 4 * u(p, 3 + i), 1, 0, false);
                sp.image = ring;
                sp.rest = 0;
                sp.ease = 2.2;
                sp.grow = 1.5;
                sp.face = false;
                sprites.push_back(std::move(sp));
            }
    }

    if (!night) {
        for (Sprite& sp : clouds) sprites.push_back(std::move(sp));
        takeLights();
        return;
    }

    for (const cg::Point& p : glows) {
        Sprite sp = sprite(Sprite::Kind::firefly, flip(p), 1, u(p, 0));
        sp.travel = 12;
        sp.color = 0x7fffe0;
        sp.beat = 1;
        sp.ease = 1;
        sp.grow = 1;
        sp.face = true;
        sprites.push_back(std::move(sp));
    }

    if (!jellies.empty()) {
        const std::vector<cg::ImageRef> frames = batch.frames(jellyRow);
        for (const cg::Point& p : jellies) {
            Sprite sp = trip(Reef::drift(p), 20, u(p, 0), 6, 2.4, 0.9, false);
            sp.frames = frames;
            sp.face = false;
            sprites.push_back(std::move(sp));
        }
    }

    if (!divers.empty()) {
        const std::vector<cg::ImageRef> frames = batch.frames(diverRow);
        const cg::ImageRef light = batch.image(beamRow);
        for (const cg::Point& p : divers) {
            const std::vector<cg::Point> loop = Reef::lap(p, 230, 150, 160);
            // The beam goes first so that it lies under the diver.
            Sprite beam = trip(loop, 250, u(p, 4), 10, 1.8, 0.2, true);
            beam.image = light;
            beam.glow = true;
            sprites.push_back(std::move(beam));
            Sprite diver = trip(loop, 50, u(p, 4), 10, 1.8, 0.2, true);
            diver.frames = frames;
            sprites.push_back(std::move(diver));
        }
    }

    takeLights();
}
