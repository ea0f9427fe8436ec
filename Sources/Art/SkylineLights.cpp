// The skyline's sprites: windows that switch their light now and then (one per cell at most), the
// cars in the open street lanes, and the corner lamps at night.

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "Art/City.h"
#include "Art/Skyline.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Path.h"

namespace {

const std::vector<uint32_t> kCarColors = {0xF2F2F0, 0xF2F2F0, 0x1E2024, 0xC23B30, 0x8C9198,
                                          0xC3C7CB, 0x2E4C7C, 0x2E7D5B, 0xE2B13C};

// Rectangles filed by the 64-point squares they cover, to find those near a point or a rect quickly.
class RectIndex {
public:
    RectIndex(const std::vector<cg::Rect>& rects, double w, double h)
        : columns_(span(w)), rows_(span(h)), cells_(static_cast<std::size_t>(columns_ * rows_)) {
        for (std::size_t i = 0; i < rects.size(); ++i) {
            const Range r = range(rects[i]);
            for (int64_t y = r.y0; y <= r.y1; ++y)
                for (int64_t x = r.x0; x <= r.x1; ++x) cells_[static_cast<std::size_t>(y * columns_ + x)].push_back(i);
        }
    }
    // The indices filed under the squares `r` covers (an index may come more than once).
    template <class Body>
    bool any(const cg::Rect& r, const Body& body) const {
        const Range q = range(r);
        for (int64_t y = q.y0; y <= q.y1; ++y)
            for (int64_t x = q.x0; x <= q.x1; ++x)
                for (const std::size_t i : cells_[static_cast<std::size_t>(y * columns_ + x)])
                    if (body(i)) return true;
        return false;
    }

private:
    static constexpr double kSide = 64;
    struct Range {
        int64_t x0, y0, x1, y1;
    };
    static int64_t span(double extent) { return static_cast<int64_t>(std::clamp(extent / kSide, 0.0, 4096.0)) + 3; }
    // Squares outside the screen are folded into the border ones.
    int64_t clampCell(double v, int64_t n) const {
        return static_cast<int64_t>(std::clamp(std::floor(v / kSide) + 1, 0.0, static_cast<double>(n - 1)));
    }
    Range range(const cg::Rect& r) const {
        if (r.isNull() || r.hasNaN()) return {0, 0, -1, -1};
        return {clampCell(r.minX(), columns_), clampCell(r.minY(), rows_), clampCell(r.maxX(), columns_),
                clampCell(r.maxY(), rows_)};
    }
    int64_t columns_, rows_;
    std::vector<std::vector<std::size_t>> cells_;
};

// Int(q), truncating toward zero, for a coordinate on or near the screen.
int64_t truncated(double q) { return static_cast<int64_t>(std::clamp(std::trunc(q), -1e12, 1e12)); }

}  // namespace

std::vector<Art::Skyline::WindowPick> Art::Skyline::windowPicks() const {
    const double W = art.W(), H = art.H();
    const double g = 1 / art.s.scale;
    const cg::Rect screen(0, 0, W, H);
    std::vector<cg::Rect> rects;
    rects.reserve(occluders.size());
    for (const Occluder& o : occluders) rects.push_back(o.rect);
    const RectIndex index(rects, W, H);

    std::map<int64_t, double> best;
    std::map<int64_t, WindowPick> picks;
    for (std::size_t i = 0; i < panes.size(); ++i) {
        const Pane& pane = panes[i];
        double x0 = pane.points[0].x, x1 = x0, y0 = pane.points[0].y, y1 = y0;
        for (const cg::Point& p : pane.points) {
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
        // Snapped outward to whole pixels and grown by one, so the sprite covers the pane's edges.
        const double sx0 = std::floor(x0 / g) * g, sy0 = std::floor(y0 / g) * g;
        const double sx1 = std::ceil(x1 / g) * g, sy1 = std::ceil(y1 / g) * g;
        const cg::Rect S = cg::Rect(sx0, sy0, sx1 - sx0, sy1 - sy0).insetBy(-g, -g);
        const cg::Point c{(x0 + x1) / 2, (y0 + y1) / 2};
        const int64_t key = truncated(c.x / 160) * 1000 + truncated(c.y / 140);

        const double v = Art::rand(c, 31);
        const double a = Art::rand({static_cast<double>(key), 7}, 32);
        // Whole cells are switched on or off by this draw.
        if (!(a < 0.45)) continue;
        const auto held = best.find(key);
        if (!(v < (held == best.end() ? 2.0 : held->second))) continue;
        if (!screen.contains(S)) continue;
        const cg::Rect around = S.insetBy(-4, -4);
        if (std::any_of(art.keep.begin(), art.keep.end(), [&](const cg::Rect& k) { return around.intersects(k); }))
            continue;
        // Something painted later over the pane would leave its sprite floating in front of it.
        if (index.any(S, [&](std::size_t o) { return occluders[o].order > pane.order && occluders[o].rect.intersects(S); }))
            continue;
        best[key] = v;
        picks[key] = {i, S, c};
    }
    std::vector<WindowPick> out;
    out.reserve(picks.size());
    for (const auto& entry : picks) out.push_back(entry.second);
    return out;
}

void Art::Skyline::windows() {
    const std::vector<WindowPick> picks = windowPicks();
    const double H = art.H();
    const auto images = art.offscreenEach(picks.size(), [&](Art& worker, std::size_t k) {
        const WindowPick& pick = picks[k];
        const Pane& pane = panes[pick.pane];
        return worker.offscreen(pick.rect.width(), pick.rect.height(), [&] {
            cg::Context& c = *worker.ctx;
            cg::Path path;
            for (std::size_t i = 0; i < pane.points.size(); ++i) {
                const cg::Point q{pane.points[i].x - pick.rect.minX(), pick.rect.maxY() - pane.points[i].y};
                if (i == 0) path.moveTo(q);
                else path.lineTo(q);
            }
            path.closeSubpath();
            c.setFillColor(pane.color);
            c.setStrokeColor(pane.color);
            c.setLineWidth(0.3);
            c.fill(path);
            c.stroke(path);
        });
    });
    for (std::size_t k = 0; k < picks.size(); ++k) {
        const WindowPick& pick = picks[k];
        Sprite sp;
        sp.kind = Sprite::Kind::window;
        sp.at = {pick.rect.minX(), H - pick.rect.maxY()};
        sp.size = 1;
        sp.phase = Art::rand(pick.c, 33);
        sp.travel = 90 + 210 * Art::rand(pick.c, 34);
        sp.to = {pick.rect.maxX(), H - pick.rect.minY()};
        sp.color = 0xFFFFFF;
        sp.image = images[k];
        sp.pulse = 0.25 + 0.5 * Art::rand(pick.c, 35);
        art.sprites.push_back(std::move(sp));
    }
}

std::vector<cg::Rect> Art::Skyline::blockers() const {
    std::vector<cg::Rect> out;
    out.reserve(masses.size() + trees.size());
    for (const Mass& m : masses) out.push_back(outline(m).insetBy(-8, -8));
    for (const Tree& t : trees) out.push_back({t.p.x - 3 * t.r, t.p.y - 3.6 * t.r, 6 * t.r, 4 * t.r});
    return out;
}

void Art::Skyline::traffic(const std::vector<cg::Rect>& blockers) {
    const RectIndex index(blockers, art.W(), art.H());
    City(art).traffic(kCarColors, [&](cg::Point p) {
        const cg::Rect dot(p.x, p.y, 0, 0);
        return !index.any(dot, [&](std::size_t i) { return blockers[i].contains(p); });
    });
}

void Art::Skyline::lamps(const std::vector<cg::Rect>& blockers) {
    const RectIndex index(blockers, art.W(), art.H());
    const double H = art.H();
    constexpr cg::Point kCorners[] = {{19.5, 19.5}, {156.5, 19.5}, {19.5, 136.5}, {156.5, 136.5}};
    for (int64_t row = 0; row <= lastRow(); ++row)
        for (int64_t column = 0; column <= lastColumn(); ++column) {
            const cg::Point o{160 * static_cast<double>(column) - 2, 140 * static_cast<double>(row) - 2};
            for (const cg::Point& d : kCorners) {
                const cg::Point p{o.x + d.x, o.y + d.y};
                const cg::Rect foot(p.x - 6, p.y - 6, 12, 12);
                if (std::any_of(art.keep.begin(), art.keep.end(), [&](const cg::Rect& k) { return foot.intersects(k); }))
                    continue;
                if (index.any(cg::Rect(p.x, p.y, 0, 0), [&](std::size_t i) { return blockers[i].contains(p); })) continue;
                Sprite sp;
                sp.kind = Sprite::Kind::light;
                sp.at = {p.x, H - p.y};
                sp.size = 1.1;
                sp.phase = Art::rand(p, 5);
                sp.color = 0xE8A85A;
                art.sprites.push_back(std::move(sp));
            }
        }
}
