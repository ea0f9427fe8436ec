#include "Art/Art.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "Art/CarriedState.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

Art::Art(cg::Context* c, SceneSpec spec, Terrain terrain, std::vector<cg::Rect> k, Look l, PlacementMap b)
    : ctx(c), s(std::move(spec)), t(std::move(terrain)), keep(std::move(k)), look(std::move(l)), before(std::move(b)),
      placed(before) {}

Art::Art(const Art& parent, WorkerTag)
    : ctx(nullptr), s(parent.s), t(parent.t), keep(parent.keep), look(parent.look), before(), placed() {}

void Art::decorate() {
    switch (s.kind) {
        case SceneKind::archipelago: archipelago(); break;
        case SceneKind::canyon: canyon(); break;
        case SceneKind::orbit: orbit(); break;
        case SceneKind::city: city(); break;
        case SceneKind::skyline: skyline(); break;
        case SceneKind::winter: winter(); break;
        case SceneKind::reef: reef(); break;
        case SceneKind::warzone: warzone(); break;
        case SceneKind::sea: sea(); break;
        case SceneKind::pond: pond(); break;
    }
}

std::string Art::style() const {
    return std::string(scene_kind::rawValue(s.kind)) + (s.night ? "-night" : "-day");
}

std::string Art::key(uint64_t salt) const { return style() + "-" + std::to_string(salt); }

namespace {

// The remembered keep entry comes back from a file other programs can edit: at most this many of its
// rectangles are read, and only finite ones that reach the canvas.
constexpr std::size_t kMaxRememberedRects = 4096;

bool finite(const cg::Rect& r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}

// Rectangles ordered by their standardized numbers, for membership tests in logarithmic time.
struct RectOrder {
    static std::array<double, 4> key(const cg::Rect& r) {
        const cg::Rect s = r.standardized();
        return {s.origin.x, s.origin.y, s.size.width, s.size.height};
    }
    bool operator()(const cg::Rect& a, const cg::Rect& b) const { return key(a) < key(b); }
};

}  // namespace

const std::vector<cg::Rect>& Art::changed() {
    // Placements may be made on several threads at once: the list is made by whichever asks first.
    const std::lock_guard<std::mutex> lock(placementLock_);
    if (changed_) return *changed_;
    const cg::Rect canvas(0, 0, W(), H());
    auto usable = [&](const cg::Rect& r) {
        return finite(r) && r.minX() <= canvas.maxX() && r.maxX() >= 0 && r.minY() <= canvas.maxY() && r.maxY() >= 0;
    };
    std::vector<cg::Rect> previous;
    if (auto it = before.find(style() + "-keep"); it != before.end()) {
        const auto& pts = it->second;
        for (std::size_t k = 0; 2 * k + 1 < pts.size() && previous.size() < kMaxRememberedRects; ++k) {
            const cg::Rect r(pts[2 * k].x, pts[2 * k].y, pts[2 * k + 1].x, pts[2 * k + 1].y);
            if (usable(r)) previous.push_back(r);
        }
    }
    std::vector<cg::Rect> current;
    for (const cg::Rect& r : keep)
        if (usable(r)) current.push_back(r);
    auto sorted = [](std::vector<cg::Rect> v) {
        std::sort(v.begin(), v.end(), RectOrder{});
        return v;
    };
    const std::vector<cg::Rect> previousSorted = sorted(previous), currentSorted = sorted(current);
    auto in = [](const std::vector<cg::Rect>& set, const cg::Rect& r) {
        return std::binary_search(set.begin(), set.end(), r, RectOrder{});
    };
    std::vector<cg::Rect> result;
    std::set<std::array<double, 4>> seen;  // a rectangle counts once however often it is listed
    for (const cg::Rect& r : current)
        if (!in(previousSorted, r) && seen.insert(RectOrder::key(r)).second) result.push_back(r);
    for (const cg::Rect& r : previous)
        if (!in(currentSorted, r) && seen.insert(RectOrder::key(r)).second) result.push_back(r);
    changed_ = std::move(result);
    return *changed_;
}

namespace {

// The kept points of a placement, filed by square cells wider than `gap` over [0, w] × [0, h] (points
// beyond, and NaN, go to the edge cells), so every point nearer than `gap` to p lies in p's cell or one
// of its eight neighbours. The cells are made only once a placement keeps enough points for them to
// pay: most placements keep a handful, and a fine grid over the whole canvas cost each of them
// megabytes of fresh memory. Each cell lists its points by index, through `next_`.
class SpacingGrid {
public:
    SpacingGrid(double gap, double w, double h) {
        // A gap or canvas that is not a positive finite number keeps the plain scan.
        if (!(gap > 0 && std::isfinite(gap) && w > 0 && h > 0 && std::isfinite(w) && std::isfinite(h))) return;
        // Wider than the gap by a margin, so that rounding in the division never puts two points
        // nearer than the gap two cells apart.
        side_ = std::max(gap * 1.001, std::max(w, h) / kMaxCellsPerSide);
        columns_ = static_cast<int>(std::min(std::floor(w / side_), kMaxCellsPerSide)) + 1;
        rows_ = static_cast<int>(std::min(std::floor(h / side_), kMaxCellsPerSide)) + 1;
    }
    // Files kept.back(), just added to `kept`.
    void add(const std::vector<cg::Point>& kept) {
        if (side_ <= 0) return;
        if (kept.size() > static_cast<std::size_t>(INT32_MAX)) {
            // Past what an index holds: the plain scan from here on.
            side_ = 0;
            heads_.clear();
            next_.clear();
            return;
        }
        if (!heads_.empty()) {
            file(kept, kept.size() - 1);
        } else if (kept.size() >= kFileFrom) {
            heads_.assign(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_), kNone);
            for (std::size_t i = 0; i < kept.size(); ++i) file(kept, i);
        }
    }
    // Whether near(q) holds for some kept point q that could be nearer than the gap to p.
    template <class Near>
    bool any(const std::vector<cg::Point>& kept, cg::Point p, const Near& near) const {
        if (heads_.empty()) return std::any_of(kept.begin(), kept.end(), near);
        const int c = cell(p.x, columns_), r = cell(p.y, rows_);
        for (int y = std::max(r - 1, 0); y <= std::min(r + 1, rows_ - 1); ++y)
            for (int x = std::max(c - 1, 0); x <= std::min(c + 1, columns_ - 1); ++x)
                for (int32_t i = heads_[index(x, y)]; i != kNone; i = next_[static_cast<std::size_t>(i)])
                    if (near(kept[static_cast<std::size_t>(i)])) return true;
        return false;
    }

private:
    static constexpr double kMaxCellsPerSide = 512;
    static constexpr std::size_t kFileFrom = 64;
    static constexpr int32_t kNone = -1;
    void file(const std::vector<cg::Point>& kept, std::size_t i) {
        const std::size_t at = index(cell(kept[i].x, columns_), cell(kept[i].y, rows_));
        next_.resize(i + 1);
        next_[i] = heads_[at];
        heads_[at] = static_cast<int32_t>(i);
    }
    int cell(double v, int count) const {
        const double k = std::floor(v / side_);
        if (!(k > 0)) return 0;
        return k < count - 1 ? static_cast<int>(k) : count - 1;
    }
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(x);
    }
    double side_ = 0;
    int columns_ = 0, rows_ = 0;
    std::vector<int32_t> heads_;  // per cell, its last point's index
    std::vector<int32_t> next_;   // per point, the index of the one before it in its cell
};

}  // namespace

std::vector<cg::Point> Art::spots(uint64_t salt, int64_t tries, double gap, int64_t limit,
                                  const std::function<bool(cg::Point)>& where) {
    const std::string k = key(salt);
    // A placement without a limit holds no more than its own tries could find, so a remembered list
    // (which comes from outside) cannot decide how many sprites there are.
    const int64_t most = limit == std::numeric_limits<int64_t>::max() ? tries : limit;
    const std::size_t cap = most > 0 ? static_cast<std::size_t>(most) : 0;
    // Kept points filed by cells wider than `gap`, so a candidate meets only those of the cells around
    // its own: with thousands kept, comparing it with every one was much of a render's serial time.
    // The test itself is the same.
    SpacingGrid grid(gap, W(), H());
    auto spaced = [gap, &grid](const std::vector<cg::Point>& kept, cg::Point p) {
        auto near = [gap, p](const cg::Point& q) {
            const double dx = p.x - q.x, dy = p.y - q.y;
            // The distance is at least |dx| and |dy|: most points are ruled out without it.
            if (std::fabs(dx) >= gap || std::fabs(dy) >= gap) return false;
            return std::hypot(dx, dy) < gap;
        };
        return !grid.any(kept, p, near);
    };

    std::vector<cg::Point> kept;
    const auto remembered = before.find(k);
    if (remembered != before.end()) {
        // Only finite points on the canvas, each once, and no more of them than could ever stay. The
        // cheap spacing test goes before the painter's predicate.
        std::set<std::pair<double, double>> examined;
        for (const cg::Point& p : remembered->second) {
            if (examined.size() >= cap || kept.size() >= cap) break;
            if (!(p.x >= 0 && p.x <= W() && p.y >= 0 && p.y <= H())) continue;  // also drops NaN
            if (!examined.insert({p.x, p.y}).second) continue;
            if (!spaced(kept, p)) continue;
            if (!where(p)) continue;
            kept.push_back(p);
            grid.add(kept);
        }
    }
    const bool fresh = remembered == before.end() || kept.empty();
    // So many changed rectangles that nearly all the canvas lies near one: every candidate counts as
    // near, which bounds the work when the remembered keep entry is enormous.
    const bool nearEverywhere = !fresh && changed().size() > kNearTestLimit;

    RNG rng(s.seed() + salt * 0x9E3779B97F4A7C15ULL);
    for (int64_t i = 0; i < tries; ++i) {
        if (kept.size() >= cap) break;
        const double x = rng.uniform(0, W());
        const double y = rng.uniform(0, H());
        if (!fresh && !nearEverywhere) {
            const auto& near = changed();
            bool close = false;
            for (const cg::Rect& r : near) {
                const double dx = std::max({r.minX() - x, x - r.maxX(), 0.0});
                const double dy = std::max({r.minY() - y, y - r.maxY(), 0.0});
                if (std::hypot(dx, dy) < 200) {
                    close = true;
                    break;
                }
            }
            if (!close) continue;
        }
        const cg::Point p{x, y};
        if (!spaced(kept, p)) continue;
        if (!where(p)) continue;
        kept.push_back(p);
        grid.add(kept);
    }
    {
        const std::lock_guard<std::mutex> lock(placementLock_);
        placed[k] = kept;
    }
    return kept;
}

std::vector<cg::Point> Art::plankton(uint64_t salt, int64_t tries, double gap, int64_t limit) {
    return spots(salt, tries, gap, limit, [this](cg::Point p) {
        const cg::Rect box(p.x - 12, p.y - 12, 24, 24);
        for (const cg::Rect& r : keep)
            if (box.intersects(r)) return false;
        return true;
    });
}

void Art::bird(cg::Point p, double rx, double ry, double speed, uint32_t color, double beat) {
    sprites.push_back(birdSprite(p, rx, ry, speed, color, beat));
}

Sprite Art::birdSprite(cg::Point p, double rx, double ry, double speed, uint32_t color, double beat) const {
    std::vector<cg::Point> loop;
    loop.reserve(7);
    for (int i = 0; i < 7; ++i) {
        const double a = 2 * M_PI * (i + 0.5 * (rand(p, 3 + i) - 0.5)) / 7;
        const double f = 1 - 0.3 * rand(p, 53 + i);
        loop.push_back(flip({p.x + rx * f * std::cos(a), p.y + ry * f * std::sin(a)}));
    }
    Sprite sp;
    sp.kind = Sprite::Kind::bird;
    sp.at = flip(p);
    sp.size = 1;
    sp.phase = rand(p, 0);
    sp.travel = speed;
    sp.color = color;
    sp.anchor = {0.5, 0.5};
    sp.beat = beat;
    sp.path = std::move(loop);
    sp.closed = true;
    sp.pulse = 0.2;
    sp.ease = 1;
    sp.grow = 1;
    sp.face = true;
    return sp;
}

cg::ImageRef Art::offscreen(double w, double h, double scale, const std::function<void()>& draw) {
    auto frame = cg::Context::makeFrame(w, h, scale);
    if (!frame) return nullptr;
    // Puts the scene context back however `draw` leaves.
    struct Restore {
        Art& art;
        cg::Context* saved;
        ~Restore() { art.ctx = saved; }
    } restore{*this, ctx};
    ctx = frame.get();
    draw();
    return frame->makeImage();
}

std::vector<cg::ImageRef> Art::offscreenEach(std::size_t n,
                                             const std::function<cg::ImageRef(Art&, std::size_t)>& make) const {
    std::vector<cg::ImageRef> out(n);
    // Each picture gets its own painter and context; slots are filled by index, so the result never
    // depends on which thread drew what.
    dispatch::concurrentPerform(n, [&](std::size_t i) {
        Art worker(*this, WorkerTag{});
        out[i] = make(worker, i);
    });
    return out;
}

void Art::paintInBands(const std::function<void(Art&, const cg::Rect&)>& paint, const std::function<void()>& idle) {
    // Fixed by the picture's size alone, so the bytes never depend on the threads.
    constexpr int kBands = 16;
    cg::Context& scene = *ctx;
    const int width = scene.pixelWidth(), height = scene.pixelHeight();
    const cg::Transform toUser = scene.ctm().inverted();
    const CarriedState state = CarriedState::of(scene);

    // Every band's context exists before any drawing starts, so a failed one leaves the scene
    // untouched and is drawn in one pass instead.
    std::vector<std::unique_ptr<cg::Context>> bands(kBands);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const int top = static_cast<int>(int64_t{height} * static_cast<int64_t>(i) / kBands);
        const int bottom = static_cast<int>(int64_t{height} * static_cast<int64_t>(i + 1) / kBands);
        bands[i] = cg::Context::makeBand(scene, top, bottom);
        if (!bands[i]) {
            {
                cg::SavedState saved(scene);
                paint(*this, cg::Rect(0, 0, width, height).applying(toUser));
            }
            if (idle) idle();
            return;
        }
    }
    std::vector<std::vector<Sprite>> made(kBands);
    dispatch::concurrentInTurn(
        bands.size(),
        [&](std::size_t k) {
            // Taken in bit-reversed order (0, 8, 4, 12, 2, …): the first lanes start spread over the
            // picture, so bands heavy with one thick patch of drawing are not all left to the end.
            static_assert(kBands == 16, "the order reverses four bits");
            const std::size_t i = ((k & 1) << 3) | ((k & 2) << 1) | ((k & 4) >> 1) | ((k & 8) >> 3);
            const int top = static_cast<int>(int64_t{height} * static_cast<int64_t>(i) / kBands);
            const int bottom = static_cast<int>(int64_t{height} * static_cast<int64_t>(i + 1) / kBands);
            if (bottom <= top) return;
            cg::Context& band = *bands[i];
            state.applyTo(band);
            Art worker(*this, WorkerTag{});
            worker.ctx = &band;
            // The band's rows, y up, in drawing space.
            const cg::Rect span(0, static_cast<double>(height - bottom), static_cast<double>(width),
                                static_cast<double>(bottom - top));
            paint(worker, span.applying(toUser));
            made[i] = std::move(worker.sprites);
            bands[i].reset();
        },
        idle);
    scene.pixelsChanged();
    // Every band made the same sprites; the last band is never empty.
    for (Sprite& sprite : made.back()) sprites.push_back(std::move(sprite));
}
