// Trench lines: one contour of the height field, traced by marching squares, chained, then walked in
// 1-point steps and pushed up and down the slope into a zig-zag broken by long dashes.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <unordered_map>
#include <vector>

#include "Art/Battlefield.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/Grid.h"

namespace {

using Edge = Art::Battlefield::Edge;
using Polyline = Art::Battlefield::Polyline;

struct EdgeHash {
    std::size_t operator()(const Edge& e) const {
        uint64_t h = static_cast<uint64_t>(e.x) * 0x9E3779B97F4A7C15ULL;
        h ^= static_cast<uint64_t>(e.y) * 0xC2B2AE3D27D4EB4FULL;
        h ^= e.across ? 0x165667B19E3779F9ULL : 0;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

struct Crossing {
    cg::Point at;
    Edge edge;
};
struct Segment {
    Crossing start, end;
};

constexpr std::array<std::array<int64_t, 2>, 4> kCorners = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};

// tanh(6): the soft square wave swings between −1 and 1.
constexpr double kTanh6 = 0.9999877116507956;

}  // namespace

std::vector<Polyline> Art::Battlefield::contours(const Grid& v, float level) {
    std::vector<Segment> segments;
    std::unordered_map<Edge, std::vector<std::size_t>, EdgeHash> index;
    for (int64_t r = 0; r + 1 < v.rows; ++r)
        for (int64_t c = 0; c + 1 < v.cols; ++c) {
            std::array<float, 4> val{};
            for (std::size_t k = 0; k < 4; ++k) val[k] = v.at(c + kCorners[k][0], r + kCorners[k][1]) - level;
            std::array<Crossing, 4> found{};
            std::size_t n = 0;
            for (std::size_t k = 0; k < 4; ++k) {
                const std::size_t k1 = (k + 1) % 4;
                const float a = val[k], b = val[k1];
                if ((a < 0) == (b < 0)) continue;
                const double f = static_cast<double>(a / (a - b));
                const auto [x0, y0] = kCorners[k];
                const auto [x1, y1] = kCorners[k1];
                const cg::Point at{(static_cast<double>(c + x0) + f * static_cast<double>(x1 - x0)) * 4,
                                   (static_cast<double>(r + y0) + f * static_cast<double>(y1 - y0)) * 4};
                found[n++] = {at, Edge{c + std::min(x0, x1), r + std::min(y0, y1), y0 == y1}};
            }
            // A saddle's four crossings pair up in edge order, first with second and third with fourth.
            for (std::size_t k = 0; k + 1 < n; k += 2) {
                const std::size_t number = segments.size();
                segments.push_back({found[k], found[k + 1]});
                index[found[k].edge].push_back(number);
                index[found[k + 1].edge].push_back(number);
            }
        }

    std::vector<Polyline> chains;
    std::vector<bool> used(segments.size(), false);
    // Follows unused segments from an edge, handing each new point to `add`.
    auto follow = [&](Edge current, const auto& add) {
        for (;;) {
            const std::vector<std::size_t>& list = index[current];
            auto next = std::find_if(list.begin(), list.end(), [&](std::size_t s) { return !used[s]; });
            if (next == list.end()) return;
            used[*next] = true;
            const Segment& s = segments[*next];
            if (s.start.edge == current) {
                add(s.end.at);
                current = s.end.edge;
            } else {
                add(s.start.at);
                current = s.start.edge;
            }
        }
    };
    for (std::size_t first = 0; first < segments.size(); ++first) {
        if (used[first]) continue;
        used[first] = true;
        const Segment& s = segments[first];
        Polyline forward{s.start.at, s.end.at};
        follow(s.end.edge, [&](cg::Point p) { forward.push_back(p); });
        Polyline backward;
        follow(s.start.edge, [&](cg::Point p) { backward.push_back(p); });
        Polyline chain(backward.rbegin(), backward.rend());
        chain.insert(chain.end(), forward.begin(), forward.end());

        double minX = chain[0].x, maxX = chain[0].x, minY = chain[0].y, maxY = chain[0].y;
        for (const cg::Point& p : chain) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
        if (std::max(maxX - minX, maxY - minY) < 160) continue;
        chains.push_back(std::move(chain));
    }
    return chains;
}

void Art::Battlefield::trenches(float level) { trenchLines(contours(*art.t.v, level)); }

void Art::Battlefield::trenchLines(const std::vector<Polyline>& chains) { trenchLines(trenchPath(chains)); }

std::vector<Polyline> Art::Battlefield::trenchRuns(const std::vector<Polyline>& chains) const {
    // Each segment's points depend on that segment alone: they are worked out on several threads,
    // then joined in order.
    std::vector<std::pair<std::size_t, std::size_t>> segments;  // chain, first point
    for (std::size_t c = 0; c < chains.size(); ++c)
        for (std::size_t i = 0; i + 1 < chains[c].size(); ++i) segments.emplace_back(c, i);
    std::vector<std::vector<std::optional<cg::Point>>> marks(segments.size());  // none: a gap
    dispatch::concurrentPerform(segments.size(), [&](std::size_t s) {
        const Polyline& chain = chains[segments[s].first];
        const cg::Point a = chain[segments[s].second], b = chain[segments[s].second + 1];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const int64_t n = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(std::hypot(dx, dy))));
        const double fn = static_cast<double>(n);
        const bool alongX = std::fabs(dy) <= std::fabs(dx);
        std::vector<std::optional<cg::Point>>& out = marks[s];
        for (int64_t k = 0; k < n; ++k) {
            const double fk = static_cast<double>(k);
            const cg::Point p{a.x + dx * fk / fn, a.y + dy * fk / fn};
            const double gx = static_cast<double>(art.value({p.x + 3, p.y}) - art.value({p.x - 3, p.y}));
            const double gy = static_cast<double>(art.value({p.x, p.y + 3}) - art.value({p.x, p.y - 3}));
            double g = std::hypot(gx, gy);
            if (!(g > 1e-6)) g = 1e-6;
            const double L = alongX ? p.x : p.y;
            if (std::sin(p.x / 61 + 2.1) * std::sin(p.y / 47 + 0.4) >= 0.8) {
                out.emplace_back();
                continue;
            }
            const double wave = std::tanh(6 * std::sin(2 * std::numbers::pi * (L / 26 + 0.8 * std::sin(L / 90))));
            const double d = 5 * std::sin(p.x / 97 + 1.3) * std::sin(p.y / 83 + 0.7) + 3.5 * wave / kTanh6 + 2;
            const cg::Point q{p.x + gx * d / g, p.y + gy * d / g};
            const cg::Rect box(q.x - 5, q.y - 5, 10, 10);
            bool blocked = false;
            for (const cg::Rect& r : art.keep) blocked = blocked || box.intersects(r);
            if (blocked) out.emplace_back();
            else out.emplace_back(q);
        }
    });
    const double H = art.H();
    std::vector<Polyline> runs;
    std::size_t s = 0;
    for (const Polyline& chain : chains) {
        bool down = false;
        for (std::size_t i = 0; i + 1 < chain.size(); ++i, ++s)
            for (const std::optional<cg::Point>& q : marks[s]) {
                if (!q) {
                    down = false;
                    continue;
                }
                if (!down) runs.emplace_back();
                runs.back().push_back({q->x, H - q->y});
                down = true;
            }
    }
    return runs;
}

cg::Path Art::Battlefield::trenchPath(const std::vector<Polyline>& chains) const {
    cg::Path line;
    for (const Polyline& run : trenchRuns(chains)) {
        line.moveTo(run.front());
        for (std::size_t i = 1; i < run.size(); ++i) line.lineTo(run[i]);
    }
    return line;
}


void Art::Battlefield::trenchLines(const cg::Path& line) {
    const bool night = art.s.night;
    art.shape(night ? 0x4E4A3E : 0x9C8C66, 1, 5.4, [&](cg::Path& p) { p.addPath(line); });
    art.shape(night ? 0x15171A : 0x2E2820, 0.9, 2.6, [&](cg::Path& p) { p.addPath(line); });
}
