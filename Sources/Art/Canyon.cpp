// The canyon: a dry wash meandering across red rock, with shrubs, wash trees, boulders, cacti, cracks in
// the high ground, grass tufts and heat shimmer; camp fires, coyotes and a jeep by night, roadrunners,
// tumbleweeds, dust devils and balloons by day. Every position comes from a placement or from the point
// hash of one, so the ground stays put when icons move.

#include "Art/Canyon.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "Art/Geometry2D.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"
#include "Renderer/Palette.h"

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

// The crack lattice's axes: 0.42 rad off the screen's.
constexpr double kUx = 0.9130889403123083, kUy = 0.40776045305957015;
constexpr double kVx = -0.40776045305957015, kVy = 0.9130889403123083;

// Smoothstep of a texture sample mapped to [0, 1] by (tex + lift) / span: how likely a bush grows there.
float growth(float tex, float lift, float span) {
    const float c = std::clamp((tex + lift) / span, 0.0f, 1.0f);
    return c * c * (3.0f - 2.0f * c);
}

bool farFrom(cg::Point p, const std::vector<cg::Point>& others, double d) {
    for (const cg::Point& o : others)
        if (std::hypot(p.x - o.x, p.y - o.y) < d) return false;
    return true;
}

// One prop drawn into a bitmap of its own: `box` (drawing points) holds everything it paints.
struct Stamp {
    cg::Rect box;
    std::function<void(Art::Canyon&)> draw;
};

// Draws every stamp on several threads into small bitmaps that share the scene's pixel grid, so that
// laying them onto the scene in list order gives the picture of drawing them there one after another.
class Stamps {
public:
    void add(cg::Rect box, std::function<void(Art::Canyon&)> draw) { stamps_.push_back({box, std::move(draw)}); }
    std::size_t size() const { return stamps_.size(); }
    void make(const Art& art) {
        const double scale = art.s.scale;
        frames_.clear();
        for (const Stamp& st : stamps_) {
            const double x0 = std::floor(st.box.minX() * scale), y0 = std::floor(st.box.minY() * scale);
            const double x1 = std::ceil(st.box.maxX() * scale), y1 = std::ceil(st.box.maxY() * scale);
            frames_.push_back({x0, y0, x1 - x0, y1 - y0});  // device pixels
        }
        images_ = art.offscreenEach(stamps_.size(), [&](Art& a, std::size_t i) {
            const cg::Rect f = frames_[i];
            Art::Canyon canyon(a);
            return a.offscreen(f.width(), f.height(), 1, [&] {
                a.ctx->scaleBy(scale, scale);
                a.ctx->translateBy(-f.minX() / scale, -f.minY() / scale);
                stamps_[i].draw(canyon);
            });
        });
    }
    // Lays stamps first … last − 1 onto the scene.
    void lay(cg::Context& ctx, double scale, std::size_t first, std::size_t last) const {
        for (std::size_t i = first; i < last; ++i) {
            if (!images_[i]) continue;
            const cg::Rect f = frames_[i];
            ctx.draw(images_[i], {f.minX() / scale, f.minY() / scale, f.width() / scale, f.height() / scale});
        }
    }

private:
    std::vector<Stamp> stamps_;
    std::vector<cg::Rect> frames_;
    std::vector<cg::ImageRef> images_;
};

// floor or ceil of a lattice projection as an index; the screen is never large enough to overflow.
int64_t latticeIndex(double v) { return static_cast<int64_t>(v); }

}  // namespace

void Art::canyon() {
    Canyon canyon(*this);
    std::shared_ptr<const Canyon::Life> life;
    const std::vector<cg::Point> fires =
        canyon.ground([&](const std::vector<cg::Point>& sites) { life = canyon.life(sites); });
    if (s.night) canyon.camp(fires, *life);
    else canyon.wildlife(*life);
}

Art::Canyon::Canyon(Art& a)
    : art(a), W(a.W()), H(a.H()), night(a.s.night),
      shadow{static_cast<double>(a.look.shadow.x), static_cast<double>(a.look.shadow.y)}, landT(a.look.landAt()) {}

float Art::Canyon::tex(cg::Point p) const { return art.t.tex->sample(p); }

double Art::Canyon::bank(cg::Point p) const {
    const Wash w = Art::wash(static_cast<float>(p.x), static_cast<float>(H));
    const float across = std::fabs(static_cast<float>(p.y) - w.y);
    return static_cast<double>(w.k * across - w.half - 3.0f * tex(p));
}

bool Art::Canyon::openFloor(cg::Point p) const {
    return art.solid(p) < 0.05f && art.solid({p.x - shadow.x, p.y - shadow.y}) < landT - 0.05f;
}

bool Art::Canyon::clear(const cg::Rect& r) const {
    for (const cg::Rect& k : art.keep)
        if (r.intersects(k)) return false;
    return true;
}

std::vector<cg::Point> Art::Canyon::ground(const std::function<void(const std::vector<cg::Point>&)>& alongside) {
    Art& a = art;
    auto flip = [this](cg::Point p) { return cg::Point{p.x, H - p.y}; };

    // 1. Shrubs, thickest where the texture runs high, never in the wash.
    const std::vector<cg::Point> shrubs = a.spots(8, 3000, 26, kNoLimit, [&](cg::Point p) {
        if (!openFloor(p) || !clear({p.x - 5, p.y - 6, 10, 9})) return false;
        const double u = rand(p, 9);
        if (!(static_cast<double>(0.85f * growth(tex(p), 0.5f, 0.9f)) > u)) return false;
        return bank(p) > 3;
    });
    // Every prop is placed first and drawn into a stamp of its own; the stamps are laid in drawing order.
    Stamps stamps;
    for (const cg::Point& p : shrubs) {
        const double r = rand(p, 3) + 3, k = rand(p, 4);
        const uint32_t dark = night ? 0x2F3A40 : 0x5E6A34, light = night ? 0x55666C : 0xA6AE68;
        stamps.add({p.x - 8, H - p.y - 8, 16, 16}, [this, p, r, k, dark, light](Canyon& c) {
            c.art.groundShadow({p.x, H - p.y - 1.5}, 3.4, 0.14);
            c.art.canopy({p.x, H - p.y}, r, dark, light, k);
        });
    }

    // 2. Wash trees along the banks, drawn from the top down so lower crowns overlap higher ones.
    const std::vector<cg::Point> trees = a.spots(1000014, 3000, 17, 60, [&](cg::Point p) {
        const double b = bank(p);
        return b >= 3 && b <= 12 && openFloor(p) && clear({p.x - 8, p.y - 12, 16, 15});
    });
    std::vector<cg::Point> treeOrder = trees;
    sortByY(treeOrder);
    {
        const double sa = night ? 0.14 : 0.2;
        const cg::Gradient soft({cg::Color::black(sa), cg::Color::black(0.85 * sa), cg::Color::black(0)},
                                {0, 0.55, 1});
        const uint32_t dark = night ? 0x2C3638 : 0x56692E, light = night ? 0x56646A : 0xB4C068;
        for (const cg::Point& p : treeOrder) {
            const double r = 3 * rand(p, 3) + 6, k = rand(p, 4);
            stamps.add({p.x - 14, H - p.y - 18, 36, 32}, [this, p, r, k, dark, light, soft](Canyon& c) {
                cg::Context& g = *c.art.ctx;
                {
                    cg::SavedState shade(g);
                    g.translateBy(p.x + 0.9 * r, (H - p.y) - 0.75 * r);
                    g.scaleBy(1, 0.85 / 1.15);
                    g.drawRadialGradient(soft, {0, 0}, 0, {0, 0}, 1.15 * r);
                }
                c.art.canopy({p.x, H - p.y}, r, dark, light, k);
            });
        }
    }

    // 3. Boulders, then cacti clear of them and of the bushes; drawn together in painter's order.
    const std::vector<cg::Point> boulders = a.spots(1, 1600, 46, 36, [&](cg::Point p) {
        return openFloor(p) && clear({p.x - 7, p.y - 8, 14, 11});
    });
    const std::vector<cg::Point> cacti = a.spots(2, 3500, 36, 48, [&](cg::Point p) {
        if (!openFloor(p) || !clear({p.x - 8, p.y - 24, 16, 27})) return false;
        if (!farFrom(p, boulders, 16) || !farFrom(p, shrubs, 10) || !farFrom(p, trees, 10)) return false;
        return bank(p) > 4;
    });
    {
        std::vector<std::pair<cg::Point, bool>> props;  // true: a boulder
        props.reserve(boulders.size() + cacti.size());
        for (const cg::Point& p : boulders) props.emplace_back(p, true);
        for (const cg::Point& p : cacti) props.emplace_back(p, false);
        sortByY(props);
        for (const auto& [p, isBoulder] : props) {
            const cg::Point foot = flip(p);
            const bool tall = rand(p, 0) < 0.6;
            stamps.add({foot.x - 12, foot.y - 16, 34, 40}, [foot, isBoulder, tall](Canyon& c) {
                if (isBoulder) c.boulder(foot);
                else c.cactus(foot, tall);
            });
        }
    }
    const std::size_t propStamps = stamps.size();

    // 4. Fire sites, by night only: room for the fire and its tent, away from every prop and the wash.
    std::vector<cg::Point> fires;
    if (night) {
        fires = a.spots(4, 900, 220, 4, [&](cg::Point p) {
            const cg::Point q{p.x + 12, p.y - 2};
            if (!openFloor(p) || !clear({p.x - 12, p.y - 14, 24, 17})) return false;
            if (!openFloor(q) || !clear({q.x - 8, q.y - 10, 16, 13})) return false;
            const cg::Rect site(p.x - 16, p.y - 12, 46, 38);
            for (const std::vector<cg::Point>* list : {&shrubs, &boulders, &cacti, &trees})
                for (const cg::Point& o : *list)
                    if (site.contains(o)) return false;
            return std::min(bank(p), bank(q)) > 4;
        });
    }

    // What needs no pixel of the ground: the heat streaks' places and the caller's `alongside`.
    std::vector<cg::Point> streaks;
    std::atomic<bool> besideTaken{false};
    auto beside = [&] {
        streaks = a.spots(6, 2500, 64, 40, [&](cg::Point p) {
            if (!openFloor(p) || !clear({p.x - 32, p.y - 4, 64, 8})) return false;
            for (const cg::Point& f : fires)
                if (std::fabs(f.y - p.y) < 12 && std::fabs(f.x + 6 - p.x) < 48) return false;
            return true;
        });
        if (alongside) alongside(fires);
    };

    // 5. Cracks: a jittered lattice of curved edges over the high ground, stroked as one path.
    {
        const cg::Point corners[] = {{0, 0}, {W, 0}, {0, H}, {W, H}};
        double uLo = std::numeric_limits<double>::infinity(), uHi = -uLo, vLo = uLo, vHi = -uLo;
        for (const cg::Point& c : corners) {
            const double pu = (c.x * kUx + c.y * kUy) / 24, pv = (c.x * kVx + c.y * kVy) / 38;
            uLo = std::min(uLo, pu);
            uHi = std::max(uHi, pu);
            vLo = std::min(vLo, pv);
            vHi = std::max(vHi, pv);
        }
        const int64_t i0 = latticeIndex(std::floor(uLo)) - 1, i1 = latticeIndex(std::ceil(uHi)) + 1;
        const int64_t j0 = latticeIndex(std::floor(vLo)) - 1, j1 = latticeIndex(std::ceil(vHi)) + 1;
        // Jitter hashed at the unjittered point, so both edges meeting there bend to the same spot.
        auto node = [](int64_t i, int64_t j) {
            const double a = 24.0 * static_cast<double>(i), b = 38.0 * static_cast<double>(j);
            const cg::Point P{a * kUx + b * kVx, a * kUy + b * kVy};
            const double jx = rand(P, 61), jy = rand(P, 62);
            return cg::Point{P.x + 5 * (jx - 0.5), P.y + 5 * (jy - 0.5)};
        };
        const float high = landT + 0.08f;
        cg::Path cracks;
        for (int64_t j = j0; j <= j1; ++j)
            for (int64_t i = i0; i <= i1; ++i) {
                const cg::Point A = node(i, j);
                for (const cg::Point& N : {node(i + 1, j), node(i, j + 1)}) {
                    const double cx = (A.x + N.x) / 2 + 2 * (rand(A, 64) - 0.5);
                    const double cy = (A.y + N.y) / 2 + 2 * (rand(N, 65) - 0.5);
                    const cg::Point c{cx, cy};
                    if (!(rand(c, 63) < 0.75)) continue;
                    if (!(a.value(A) > high && a.value(c) > high && a.value(N) > high)) continue;
                    cracks.moveTo(flip(A));
                    cracks.quadCurveTo(flip(c), flip(N));
                }
            }

        // 6. Grass tufts on the high ground.
        for (const cg::Point& p : a.spots(3, 4000, 13, kNoLimit, [&](cg::Point p) {
                 if (!(a.value(p) > landT + 0.09f)) return false;
                 const double u = rand(p, 9);
                 if (!(static_cast<double>(0.95f * growth(tex(p), 0.7f, 0.95f)) > u)) return false;
                 return clear({p.x - 5, p.y - 6, 10, 9});
             })) {
            const double r = 1.8 * rand(p, 5) + 2, k = rand(p, 4);
            const uint32_t dark = night ? 0x36404A : 0x6A6E44, light = night ? 0x6A7682 : 0xB4B07C;
            stamps.add({p.x - 10, H - p.y - 10, 20, 20}, [this, p, r, k, dark, light](Canyon& c) {
                c.art.groundShadow({p.x, H - p.y - 1.5}, r + 0.4, 0.16);
                c.art.canopy({p.x, H - p.y}, r, dark, light, k);
            });
        }

        stamps.make(a);
        const double scale = a.s.scale;
        // Laying the stamps and stroking the cracks only draw: in bands, on several threads. The first
        // thread left without a band places the streaks and runs `alongside`.
        a.paintInBands(
            [&](Art& w, const cg::Rect&) {
                stamps.lay(*w.ctx, scale, 0, propStamps);
                w.shape(night ? 0x34262E : 0x8A4A2C, night ? 0.4 : 0.3, 0.6,
                        [&](cg::Path& path) { path.addPath(cracks); });
                stamps.lay(*w.ctx, scale, propStamps, stamps.size());
            },
            [&] {
                if (!besideTaken.exchange(true)) beside();
            });
    }
    if (!besideTaken.exchange(true)) beside();

    // 7. Heat streaks over the open floor, kept off the fires (placed above).
    for (const cg::Point& p : streaks) {
        Sprite sp;
        sp.kind = Sprite::Kind::streak;
        sp.at = flip(p);
        sp.size = 1;
        sp.phase = rand(p, 0);
        sp.travel = 34;
        sp.color = night ? 0x8E9AB8 : 0xFFF3E0;
        a.sprites.push_back(std::move(sp));
    }
    return fires;
}
