// Edge-to-edge paths across the battlefield. A path is remembered per index, and the next render mends
// the stored one around whatever now blocks it instead of routing a new one, so tracks and patrols only
// change where an icon moved.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Art/Battlefield.h"

namespace {

using Polyline = Art::Battlefield::Polyline;
using Node = Art::Battlefield::Node;

struct NodeHash {
    std::size_t operator()(const Node& n) const {
        const uint64_t h = (static_cast<uint64_t>(n.i) * 0x9E3779B97F4A7C15ULL) ^ static_cast<uint64_t>(n.j);
        return static_cast<std::size_t>(h);
    }
};

constexpr std::array<double, 9> kHeadings = {0, 0.3, -0.3, 0.6, -0.6, 0.9, -0.9, 1.2, -1.2};
constexpr std::array<std::pair<int64_t, int64_t>, 8> kNeighbours = {
    {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}}};
constexpr double kCell = 20;
constexpr int64_t kReach = 30;

// Int(q) for a piece count from a length; never below `least`.
int64_t count(double q, int64_t least) {
    if (!(q >= static_cast<double>(least))) return least;
    if (q >= 1e9) return 1000000000;
    return static_cast<int64_t>(q);
}

double distance(cg::Point a, cg::Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

// Routing over a predicate: the shared segment test, mending and detours.
class Router {
public:
    Router(double step, const std::function<bool(cg::Point)>& ok, double w, double h) : step_(step), ok_(ok), w_(w), h_(h) {}

    bool inside(cg::Point p) const { return p.x > 0 && p.x < w_ && p.y > 0 && p.y < h_; }

    // `ok` every 4 points along a → b, both ends included, stopping at the first failure.
    bool passable(cg::Point a, cg::Point b) const {
        const int64_t n = count(distance(a, b) / 4, 1);
        const double fn = static_cast<double>(n);
        for (int64_t k = 0; k <= n; ++k) {
            const double fk = static_cast<double>(k);
            if (!ok_({a.x + (b.x - a.x) * fk / fn, a.y + (b.y - a.y) * fk / fn})) return false;
        }
        return true;
    }

    std::optional<Polyline> mend(const Polyline& P) const {
        const std::size_t n = P.size();
        if (n <= 6 || inside(P.front()) || inside(P.back())) return std::nullopt;
        Polyline out{P[0]};
        std::size_t i = 1;
        while (i < n) {
            if (passable(out.back(), P[i])) {
                out.push_back(P[i]);
                ++i;
                continue;
            }
            while (!ok_(P[i])) {
                ++i;
                if (i >= n) return std::nullopt;
            }
            // Bend off from one of the latest points of the mended path, never its first.
            const std::size_t m = out.size();
            const std::size_t lowest = m >= 9 ? m - 8 : 1;
            bool found = false;
            for (std::size_t r = m - 1; r >= lowest && r >= 1; --r) {
                auto d = detour(out[r], P, i);
                if (!d || d->first.empty()) continue;
                const cg::Point a = out[r - 1], b = out[r], w = d->first.front();
                if (!((b.x - a.x) * (w.x - b.x) + (b.y - a.y) * (w.y - b.y) > 0)) continue;
                out.resize(r + 1);
                out.insert(out.end(), d->first.begin(), d->first.end());
                i = d->second + 1;
                found = true;
                break;
            }
            if (!found) return std::nullopt;
        }
        return out;
    }

    // A way from s back onto P at or after index `from`, over the 20-point lattice: the way's points and
    // the index where it rejoins.
    std::optional<std::pair<Polyline, std::size_t>> detour(cg::Point s, const Polyline& P, std::size_t from) const {
        const std::size_t n = P.size();
        const std::size_t last = std::min(n, from + 8);
        std::unordered_map<Node, Node, NodeHash> parent{{Node{0, 0}, Node{0, 0}}};
        std::vector<Node> queue{Node{0, 0}};
        auto cell = [&](const Node& k) {
            return cg::Point{s.x + kCell * static_cast<double>(k.i), s.y + kCell * static_cast<double>(k.j)};
        };
        std::optional<std::pair<Node, std::size_t>> goal;
        for (std::size_t head = 0; head < queue.size() && !goal; ++head) {
            const Node node = queue[head];
            const cg::Point c = cell(node);
            for (std::size_t j = from; j < last; ++j) {
                const cg::Point q = P[j];
                const cg::Point ahead = P[std::min(j + 1, n - 1)], behind = P[j - 1];
                const double dx = ahead.x - behind.x, dy = ahead.y - behind.y;
                if (distance(q, c) < 2 * step_ && (q.x - c.x) * dx + (q.y - c.y) * dy > 0 && passable(c, q)) {
                    goal = std::pair{node, j};
                    break;
                }
            }
            if (goal) break;
            for (const auto& [di, dj] : kNeighbours) {
                const Node k{node.i + di, node.j + dj};
                if (std::abs(k.i) > kReach || std::abs(k.j) > kReach || parent.contains(k)) continue;
                if (passable(c, cell(k))) {
                    parent.emplace(k, node);
                    queue.push_back(k);
                }
            }
        }
        if (!goal) return std::nullopt;

        Polyline chain{P[goal->second]};
        for (Node k = goal->first; !(k == Node{0, 0}); k = parent.at(k)) chain.insert(chain.begin(), cell(k));

        // Straight runs to the farthest reachable chain point, resampled at the step.
        Polyline way;
        cg::Point current = s;
        while (!chain.empty()) {
            std::optional<std::size_t> reach;
            for (std::size_t b = chain.size(); b-- > 0;)
                if (passable(current, chain[b])) {
                    reach = b;
                    break;
                }
            if (!reach) break;
            const cg::Point target = chain[*reach];
            const double q = std::ceil(distance(current, target) / step_);
            const int64_t k = count(q, 1);
            const double fk = static_cast<double>(k);
            for (int64_t t = 1; t < k; ++t) {
                const double ft = static_cast<double>(t);
                way.push_back({current.x + (target.x - current.x) * ft / fk, current.y + (target.y - current.y) * ft / fk});
            }
            way.push_back(target);
            chain.erase(chain.begin(), chain.begin() + static_cast<std::ptrdiff_t>(*reach) + 1);
            current = target;
        }
        return std::pair{std::move(way), goal->second};
    }

    // A fresh path from a candidate's edge start, or none when it gets stuck, wanders or stays short.
    std::optional<Polyline> route(cg::Point start, double h0) const {
        Polyline path{start};
        double current = h0;
        for (int steps = 0;;) {
            const cg::Point e = path.back();
            if (steps > 3 && !inside(e)) {
                if (path.size() >= 7) return path;
                return std::nullopt;
            }
            ++steps;
            const double aim = h0 + (current - h0) * 0.6 + (Art::rand(e, 3) - 0.5) * 0.5;
            bool taken = false;
            for (double offset : kHeadings) {
                const double h = aim + offset;
                if (std::fabs(h - h0) >= 1.5) continue;
                const cg::Point next{e.x + step_ * std::cos(h), e.y + step_ * std::sin(h)};
                if (!passable(e, next)) continue;
                path.push_back(next);
                current = h;
                taken = true;
                break;
            }
            if (!taken || steps >= 300) return std::nullopt;
        }
    }

private:
    double step_;
    const std::function<bool(cg::Point)>& ok_;
    double w_, h_;
};

}  // namespace

std::vector<Art::Battlefield::Polyline> Art::Battlefield::crossings(uint64_t salt, int64_t count, double step,
                                                                    const std::function<bool(cg::Point)>& ok) {
    const std::size_t wanted = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::string prefix = art.key(salt) + "-way";
    const double w = art.W(), h = art.H();
    const Router router(step, ok, w, h);
    std::vector<Polyline> result;

    for (std::size_t i = 0; i < wanted; ++i) {
        const auto stored = art.before.find(prefix + std::to_string(i));
        if (stored == art.before.end()) continue;
        if (auto mended = router.mend(stored->second)) result.push_back(std::move(*mended));
    }

    const std::vector<cg::Point> candidates =
        art.spots(salt, 60, 1, std::numeric_limits<int64_t>::max(), [](cg::Point) { return true; });
    for (const cg::Point& c : candidates) {
        if (result.size() >= wanted) break;
        const double sideDraw = std::floor(Art::rand(c, 0) * 4);
        const int side = sideDraw > 0 ? static_cast<int>(sideDraw) : 0;
        const double u = Art::rand(c, 1);
        cg::Point start;
        switch (side) {
            case 0: start = {-40, h * u}; break;
            case 1: start = {w * u, -40}; break;
            case 2: start = {w + 40, h * u}; break;
            default: start = {w * u, h + 40}; break;
        }
        bool taken = false;
        for (const Polyline& p : result) taken = taken || p.front() == start;
        if (taken) continue;
        if (auto path = router.route(start, side * std::numbers::pi / 2)) result.push_back(std::move(*path));
    }

    // Renumbered by position, so no stale index survives from the copy of the previous placements.
    for (std::size_t i = 0; i < wanted; ++i) {
        const std::string key = prefix + std::to_string(i);
        if (i < result.size()) art.placed[key] = result[i];
        else art.placed.erase(key);
    }
    return result;
}
