#include "Art/Art.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"

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

const std::vector<cg::Rect>& Art::changed() {
    if (changed_) return *changed_;
    std::vector<cg::Rect> previous;
    if (auto it = before.find(style() + "-keep"); it != before.end()) {
        const auto& pts = it->second;
        for (std::size_t k = 0; 2 * k + 1 < pts.size(); ++k)
            previous.emplace_back(pts[2 * k].x, pts[2 * k].y, pts[2 * k + 1].x, pts[2 * k + 1].y);
    }
    std::vector<cg::Rect> result;
    for (const cg::Rect& r : keep)
        if (std::find(previous.begin(), previous.end(), r) == previous.end()) result.push_back(r);
    for (const cg::Rect& r : previous)
        if (std::find(keep.begin(), keep.end(), r) == keep.end()) result.push_back(r);
    changed_ = std::move(result);
    return *changed_;
}

std::vector<cg::Point> Art::spots(uint64_t salt, int64_t tries, double gap, int64_t limit,
                                  const std::function<bool(cg::Point)>& where) {
    const std::string k = key(salt);
    const std::size_t cap = limit > 0 ? static_cast<std::size_t>(limit) : 0;
    auto spaced = [gap](const std::vector<cg::Point>& kept, cg::Point p) {
        // The distance is at least |dx| and |dy|: most points are ruled out without it.
        for (const cg::Point& q : kept) {
            const double dx = p.x - q.x, dy = p.y - q.y;
            if (std::fabs(dx) >= gap || std::fabs(dy) >= gap) continue;
            if (std::hypot(dx, dy) < gap) return false;
        }
        return true;
    };

    std::vector<cg::Point> kept;
    const auto remembered = before.find(k);
    if (remembered != before.end()) {
        for (const cg::Point& p : remembered->second) {
            if (kept.size() >= cap) continue;
            if (!where(p)) continue;
            if (!spaced(kept, p)) continue;
            kept.push_back(p);
        }
    }
    const bool fresh = remembered == before.end() || kept.empty();

    RNG rng(s.seed() + salt * 0x9E3779B97F4A7C15ULL);
    for (int64_t i = 0; i < tries; ++i) {
        const double x = rng.uniform(0, W());
        const double y = rng.uniform(0, H());
        if (!fresh) {
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
        if (kept.size() >= cap) continue;
        const cg::Point p{x, y};
        if (!where(p)) continue;
        if (!spaced(kept, p)) continue;
        kept.push_back(p);
    }
    placed[k] = kept;
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
    sprites.push_back(std::move(sp));
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
