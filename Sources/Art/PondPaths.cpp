// The pond's paths and tests: where water is open, how stepping stones climb the bank, the drift of a
// petal, a dragonfly's beat, the shore stones, lily-pad clusters and koi groups. All in scene coordinates
// and all functions of the placed point, so a kept spot always gives the same thing.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "Art/Geometry2D.h"
#include "Art/Pond.h"

namespace {

constexpr double kPi = std::numbers::pi;

float smoothstep(float t) {
    const float c = t < 0 ? 0.0f : (t > 1 ? 1.0f : t);
    return c * c * (3 - 2 * c);
}

// Int(k·u) for a hash u in [0, 1): a small non-negative count.
int64_t count(double k, double u) {
    const double q = k * u;
    return q > 0 ? static_cast<int64_t>(q) : 0;
}

}  // namespace

const Art::Fish Art::Pond::kKoi[8] = {
    {75, 9.6, 0xece6da, 0xf7f3ec, 0xf2ece2, 5, false, true, 0.1, 1.25},
    {68, 8.8, 0xece6da, 0xf7f3ec, 0xf2ece2, 6, false, true, 0.1, 1.15},
    {80, 10.2, 0xc08420, 0xf2c44e, 0xf4d27a, 0, false, true, 0.09, 1.4},
    {60, 8, 0xece6da, 0xf7f3ec, 0xf2ece2, 7, false, true, 0.1, 1.05},
    {65, 8.8, 0x4e6a86, 0xe07838, 0xe89a62, 0, false, true, 0.1, 1.1},
    {90, 11.6, 0x5e4128, 0x9a7246, 0x8e6a44, 0, false, true, 0.08, 1.6},
    {62, 8.2, 0xb43818, 0xd84a20, 0xe58a60, 8, false, true, 0.1, 1.1},
    {48, 6.5, 0xd8521c, 0xf27c38, 0xf6a26e, 0, false, true, 0.11, 0.9},
};

bool Art::Pond::clear(const cg::Rect& box) const {
    for (const cg::Rect& r : art.keep)
        if (box.intersects(r)) return false;
    return true;
}

bool Art::Pond::afloat(cg::Point q, double d) const {
    const float level = e - 0.03f;
    return art.value(q) < level && art.value({q.x + d, q.y}) < level && art.value({q.x - d, q.y}) < level &&
           art.value({q.x, q.y + d}) < level && art.value({q.x, q.y - d}) < level;
}

std::vector<cg::Point> Art::Pond::steps(cg::Point p) const {
    // Uphill, along the height gradient.
    double gx = static_cast<double>(art.value({p.x + 3, p.y}) - art.value({p.x - 3, p.y}));
    double gy = static_cast<double>(art.value({p.x, p.y + 3}) - art.value({p.x, p.y - 3}));
    const double len = std::max(std::hypot(gx, gy), 1e-6);
    gx /= len;
    gy /= len;
    double theta = std::atan2(gy, gx);

    const int64_t most = count(5, Art::rand(p, 1)) + 4;
    std::vector<cg::Point> out;
    cg::Point q = p;
    for (int64_t i = 0; i < most; ++i) {
        const uint64_t k = static_cast<uint64_t>(i);
        const double w = 1.6 * Art::rand(p, 10 + k) + 4.6;
        if (!(e + 0.004f < art.value(q))) break;
        if (!clear(cg::Rect(q.x - w - 2, q.y - w - 2, 2 * w + 4, 2 * w + 4))) break;
        out.push_back(q);
        theta += (Art::rand(p, 30 + k) - 0.5) * 0.5;
        // 14 points forward and a zigzag of 2.2 across.
        const double c = i % 2 == 0 ? 2.2 : -2.2;
        q = {q.x + 14 * std::cos(theta) - c * std::sin(theta), q.y + 14 * std::sin(theta) + c * std::cos(theta)};
    }
    return out;
}

std::vector<cg::Point> Art::Pond::drift(cg::Point p) {
    double theta = (Art::rand(p, 1) - 0.5) * 0.9 + 0.6;
    double s = 0;
    std::vector<cg::Point> path{p};
    for (uint64_t i = 0; i < 5; ++i) {
        // A damped random turn: each step keeps 0.6 of the last.
        s = 0.6 * s + 0.6 * (Art::rand(p, 117 + i) - 0.5);
        theta += s;
        const cg::Point last = path.back();
        path.push_back({last.x + 28 * std::cos(theta), last.y + 28 * std::sin(theta)});
    }
    return path;
}

std::vector<cg::Point> Art::Pond::patrol(cg::Point p) {
    const double a = 70 + 50 * Art::rand(p, 1);
    const double b = 50 + 40 * Art::rand(p, 2);
    std::vector<cg::Point> loop;
    loop.reserve(5);
    for (uint64_t j = 0; j < 5; ++j) {
        const double phi = (static_cast<double>(j) + (Art::rand(p, 21 + j) - 0.5) * 0.5) * 2 * kPi / 5;
        const double f = 1 - 0.55 * Art::rand(p, 71 + j);
        loop.push_back({p.x + f * a * std::cos(phi), p.y + f * b * std::sin(phi)});
    }
    return loop;
}

std::vector<cg::Point> Art::Pond::ring(cg::Point p) {
    std::vector<cg::Point> loop;
    loop.reserve(5);
    for (uint64_t k = 0; k < 5; ++k) {
        const double a = 0.5 * (Art::rand(p, 19 + k) - 0.5);
        const double phi = (static_cast<double>(k) + a) * 2 * kPi / 5;
        const double f = 1 - 0.3 * Art::rand(p, 69 + k);
        loop.push_back({p.x + 7 * f * std::cos(phi), p.y + 5 * f * std::sin(phi)});
    }
    return loop;
}

float Art::Pond::shimmerCurve(float v, float e) {
    const float lo = e - 0.08f, hi = e - 0.04f;
    return smoothstep((v - 0.05f) / 0.08f) * (1 - smoothstep((v - lo) / (hi - lo)));
}

bool Art::Pond::waterline(float a, float b, float c, float d, float e) {
    const float lo = std::min({a, b, c, d}), hi = std::max({a, b, c, d});
    return lo < e && hi >= e;
}

std::vector<std::pair<cg::Point, double>> Art::Pond::shoreStones() const {
    const Grid& v = *art.t.v;
    std::vector<std::pair<cg::Point, double>> stones;
    for (int64_t row = 0; row + 1 < v.rows; ++row)
        for (int64_t col = 0; col + 1 < v.cols; ++col) {
            if (!waterline(v.at(col, row), v.at(col + 1, row), v.at(col, row + 1), v.at(col + 1, row + 1), e))
                continue;
            const cg::Point c{(static_cast<double>(col) + 0.5) * 4, (static_cast<double>(row) + 0.5) * 4};
            if (!(Art::rand(c, 1) < 0.5)) continue;
            double r = 3.2 * Art::rand(c, 2) * Art::rand(c, 3) + 2;
            if (Art::rand(c, 4) < 0.08) r += 3;
            // The stone's shadow reaches a point further down than up.
            if (!clear(cg::Rect(c.x - r - 1, c.y - r - 1, 2 * r + 2, 2 * r + 3))) continue;
            stones.push_back({c, r});
        }
    sortByY(stones);
    return stones;
}

std::vector<Art::Pond::Pad> Art::Pond::cluster(cg::Point c) const {
    std::vector<Pad> pads;
    for (uint64_t i = 0; i < 10; ++i) {
        const cg::Point q{c.x + 96 * (Art::rand(c, 10 + i) - 0.5), c.y + 68 * (Art::rand(c, 20 + i) - 0.5)};
        const double r = 8 * Art::rand(c, 30 + i) + 7;
        if (!afloat(q, r)) continue;
        if (!clear(cg::Rect(q.x - r - 2, q.y - r - 2, 2 * r + 4, 2 * r + 4))) continue;
        bool apart = true;
        for (const Pad& o : pads)
            if (!(std::hypot(q.x - o.at.x, q.y - o.at.y) > 0.92 * (r + o.r))) {
                apart = false;
                break;
            }
        if (!apart) continue;
        const std::size_t j = pads.size();
        const bool flowers = (j == 0 && Art::rand(c, 1) < 0.6) || (j == 3 && Art::rand(c, 2) < 0.35);
        pads.push_back({q, r, flowers ? 2.5 * Art::rand(q, 3) + 7.5 : 0});
    }
    return pads;
}

std::vector<cg::Point> Art::Pond::koiRoute(cg::Point p) const {
    const double m = std::max(art.W(), art.H());
    return Art::seaLap(p, std::min(0.14 * m, 220.0) * (0.6 * Art::rand(p, 25) + 0.5));
}

std::vector<Sprite> Art::Pond::koiGroup(cg::Point p, const std::vector<FishFrames>& koi) const {
    const std::vector<cg::Point> route = koiRoute(p);
    const double L = pathLength(rounded(route, true, 2));
    std::vector<cg::Point> drawn;
    drawn.reserve(route.size());
    for (const cg::Point& q : route) drawn.push_back(art.flip(q));

    const int64_t n = count(2.99, Art::rand(p, 5)) + 1;
    std::vector<Sprite> group;
    double o = 0;
    for (int64_t j = 0; j < n; ++j) {
        const uint64_t k = static_cast<uint64_t>(j);
        const std::size_t which = static_cast<std::size_t>(count(8, Art::rand(p, 6 + k)) % 8);
        const Fish& fish = kKoi[which];
        // The remainder keeps the sign: a follower far enough behind gets a negative phase, which the
        // animation wraps.
        const double g = Art::rand(p, 4) - o + 1;
        Sprite sp;
        sp.kind = Sprite::Kind::trip;
        sp.at = drawn.front();
        sp.size = fishCanvas(fish).width;
        sp.phase = std::fmod(g, 1.0);
        sp.travel = 6 * Art::rand(p, 3) + 14;
        if (which < koi.size()) {
            sp.frames = koi[which].frames;
            sp.shade = koi[which].shade;
        }
        sp.beat = 0.4 * Art::rand(p, 7) + 1;
        sp.path = drawn;
        sp.rest = 0.3;
        sp.closed = true;
        sp.pulse = 0.18;
        sp.face = true;
        sp.stroke = Art::rand(p, 9 + k);
        group.push_back(std::move(sp));
        // Each follower trails 1.6 body lengths of the fish ahead.
        if (L > 0) o += 1.6 * fish.length / L;
    }
    return group;
}
