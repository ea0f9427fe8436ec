// The skyline's buildings and trees in oblique view: faces, window grids, shop fronts, roofs, roof
// crowns and planters, and three-disc trees. Each operation records marks in scene points; `paint`
// lays them down, back to front, together with the yards and the shadows.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "Art/Skyline.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Path.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

using Mass = Art::Skyline::Mass;

// How a kind lays out its windows (heights and widths in points, start and end as column fractions).
struct WindowGrid {
    double pitch, offset, pane, first, column, start, end;
};
constexpr WindowGrid kFlatGrid{3.4, 1.5, 1.7, 0.9, 4.6, 0.28, 0.72};
constexpr WindowGrid kGableGrid{4, 1.5, 2, 0.9, 7, 0.28, 0.72};
constexpr WindowGrid kGlassGrid{3.4, 1.5, 2.6, 0.4, 3.2, 0.08, 0.92};
constexpr WindowGrid kShopGrid{3.4, 0, 1.7, 0.9, 4.6, 0.28, 0.72};

const WindowGrid* gridOf(Mass::Kind kind) {
    switch (kind) {
        case Mass::Kind::flat: return &kFlatGrid;
        case Mass::Kind::gable: return &kGableGrid;
        case Mass::Kind::glass: return &kGlassGrid;
        case Mass::Kind::shop: return &kShopGrid;
        case Mass::Kind::planter: return nullptr;
    }
    return nullptr;
}

constexpr uint32_t kAwnings[] = {0xD9473C, 0x2E8B57, 0x2F6DB5, 0xE0A030};
constexpr uint32_t kLitWarm = 0xFFD48A, kLitPale = 0xFFF1C9;

// max(1, Int(q)), truncating toward zero; NaN gives 1.
int64_t atLeastOne(double q) {
    if (!(q >= 1)) return 1;
    return q < 1e6 ? static_cast<int64_t>(q) : 1000000;
}

cg::Color rgb255(double r, double g, double b) { return {r / 255, g / 255, b / 255, 1}; }

// The unlit pane colours of a face with shade S.
cg::Color darkPane(double S, bool night) {
    if (!night) return rgb255(std::min(61 * S, 255.0), std::min(76 * S, 255.0), std::min(94 * S, 255.0));
    return rgb255(61 * S * 0.3, 76 * S * 0.34, 94 * S * 0.46 + 7.65);
}
cg::Color glassPane(double S, bool night) {
    const double G = 0.9 * S;
    if (!night) return rgb255(std::min(185 * G, 255.0), std::min(212 * G, 255.0), std::min(232 * G, 255.0));
    return rgb255(185 * G * 0.3, 212 * G * 0.34, 232 * G * 0.46 + 7.65);
}

// The axis-aligned bounds of a mark, widened by half its line width.
cg::Rect bounds(const Art::Skyline::Mark& m) {
    using Form = Art::Skyline::Mark::Form;
    if (m.form == Form::ellipse) return {m.p[0].x, m.p[0].y, m.p[1].x, m.p[1].y};
    double x0 = m.p[0].x, x1 = x0, y0 = m.p[0].y, y1 = y0;
    for (int i = 1; i < m.count; ++i) {
        x0 = std::min(x0, m.p[i].x);
        x1 = std::max(x1, m.p[i].x);
        y0 = std::min(y0, m.p[i].y);
        y1 = std::max(y1, m.p[i].y);
    }
    const double e = m.width / 2;
    return {x0 - e, y0 - e, x1 - x0 + 2 * e, y1 - y0 + 2 * e};
}

}  // namespace

cg::Color Art::Skyline::tint(uint32_t c, double k) const {
    const cg::Color base = cg::Color::rgb(c);
    if (!night) return {std::min(k * base.r, 1.0), std::min(k * base.g, 1.0), std::min(k * base.b, 1.0), 1};
    return {0.3 * k * base.r, 0.34 * k * base.g, 0.46 * k * base.b + 0.03, 1};
}

void Art::Skyline::box(const Mass& m) {
    const cg::Rect& f = m.f;
    const double minX = f.minX(), maxX = f.maxX(), minY = f.minY(), maxY = f.maxY(), midY = f.midY();
    auto at = [](double x, double y, double z) { return project({x, y}, z); };
    auto quad = [this](cg::Point a, cg::Point b, cg::Point c, cg::Point d, cg::Color color) {
        marks.push_back({Mark::Form::polygon, 4, {a, b, c, d}, color, 0});
    };

    // 1, 2. Front and side faces.
    quad(at(minX, maxY, m.z0), at(maxX, maxY, m.z0), at(maxX, maxY, m.z1), at(minX, maxY, m.z1), tint(m.wall, 0.94));
    quad(at(maxX, maxY, m.z0), at(maxX, minY, m.z0), at(maxX, minY, m.z1), at(maxX, maxY, m.z1), tint(m.wall, 0.72));

    // 3. Windows.
    if (const WindowGrid* grid = gridOf(m.kind)) {
        const bool glass = m.kind == Mass::Kind::glass;
        const bool recorded = night && m.z0 == 0 && (m.kind == Mass::Kind::flat || glass);
        const int64_t rows = atLeastOne((m.z1 - m.z0 - grid->offset) / grid->pitch);
        struct Face {
            cg::Point origin, direction;
            double length, shade;
        };
        const Face faces[] = {{{minX, maxY}, {1, 0}, f.width(), 1}, {{maxX, maxY}, {0, -1}, f.height(), 0.78}};
        for (std::size_t side = 0; side < 2; ++side) {
            const Face& face = faces[side];
            const int64_t cols = atLeastOne(face.length / grid->column);
            const double n = static_cast<double>(cols);
            const cg::Color unlit = glass ? glassPane(face.shade, night) : darkPane(face.shade, night);
            for (int64_t j = 0; j < rows; ++j) {
                // The shop window covers the ground floor of a shop's front.
                if (m.kind == Mass::Kind::shop && side == 0 && j == 0) continue;
                const double V = m.z0 + 1 + grid->first + grid->pitch * static_cast<double>(j);
                // One draw per floor of the building decides whether anybody is up there.
                const double F = night ? Art::rand({minX + V, minY + 3 * V}, 8) : 0;
                for (int64_t i = 0; i < cols; ++i) {
                    const double fi = static_cast<double>(i);
                    const double a = face.length * (grid->start + fi) / n, b = face.length * (grid->end + fi) / n;
                    const cg::Point g0{face.origin.x + face.direction.x * a, face.origin.y + face.direction.y * a};
                    const cg::Point g1{face.origin.x + face.direction.x * b, face.origin.y + face.direction.y * b};
                    const cg::Point& B = g0;
                    cg::Color color = unlit;
                    bool lit = false;
                    if (night) {
                        const double busy = glass ? 0.35 : 0.6, share = glass ? 0.85 : 0.5;
                        if (F < busy) lit = Art::rand({V + 3 * B.x, 7 * V + B.y}, 9) < share;
                        if (lit) color = cg::Color::rgb(Art::rand(B, 11) < 0.7 ? kLitWarm : kLitPale);
                    }
                    const cg::Point p0 = project(g0, V), p1 = project(g1, V);
                    const cg::Point p2 = project(g1, V + grid->pane), p3 = project(g0, V + grid->pane);
                    quad(p0, p1, p2, p3, color);
                    if (recorded) panes.push_back({{p0, p1, p2, p3}, lit ? unlit : cg::Color::rgb(kLitWarm), number});
                }
            }
        }
    }

    // 4. Shop front: display window and striped awning.
    if (m.kind == Mass::Kind::shop) {
        quad(at(minX + 2, maxY, m.z0 + 1), at(maxX - 2, maxY, m.z0 + 1), at(maxX - 2, maxY, m.z0 + 5),
             at(minX + 2, maxY, m.z0 + 5), cg::Color::rgb(night ? 0xFFDFA0 : 0x9FC3DA));
        const int64_t n = std::max<int64_t>(2, static_cast<int64_t>(std::clamp(f.width() / 4, 0.0, 1e6)));
        const double u = Art::rand({minX, maxY}, 13);
        const uint32_t awning = kAwnings[std::min<int64_t>(static_cast<int64_t>(4 * u), 3)];
        for (int64_t s = 0; s < n; ++s) {
            const double x0 = minX + f.width() * static_cast<double>(s) / static_cast<double>(n);
            const double x1 = minX + f.width() * static_cast<double>(s + 1) / static_cast<double>(n);
            quad(at(x0, maxY + 2.5, m.z0 + 5.5), at(x1, maxY + 2.5, m.z0 + 5.5), at(x1, maxY, m.z0 + 7.5),
                 at(x0, maxY, m.z0 + 7.5), tint(s % 2 == 0 ? awning : 0xF7F3EA, 1));
        }
    }

    // 5. Roof.
    if (m.kind == Mass::Kind::gable) {
        const double t = m.z1 + m.ridge;
        quad(at(minX, minY, m.z1), at(maxX, minY, m.z1), at(maxX, midY, t), at(minX, midY, t), tint(m.roof, 0.7));
        marks.push_back({Mark::Form::polygon, 3, {at(maxX, maxY, m.z1), at(maxX, minY, m.z1), at(maxX, midY, t), {}},
                         tint(m.wall, 0.72), 0});
        quad(at(minX - 0.8, maxY + 0.8, m.z1), at(maxX + 0.8, maxY + 0.8, m.z1), at(maxX, midY, t), at(minX, midY, t),
             tint(m.roof, 1));
        for (const double q : {0.25, 0.5, 0.75}) {
            const double y = maxY + (midY - maxY) * q, z = m.z1 + q * m.ridge;
            marks.push_back({Mark::Form::line, 2, {at(minX, y, z), at(maxX, y, z), {}, {}}, tint(m.roof, 0.8), 0.4});
        }
        if (Art::rand({minX, maxY}, 17) < 0.5) {
            const double x = minX + 0.75 * f.width(), y = midY + 2;
            quad(at(x, y, t - 1), at(x + 2.4, y, t - 1), at(x + 2.4, y, t + 2.5), at(x, y, t + 2.5), tint(0x8C5A46, 1));
        }
    } else {
        quad(at(minX, minY, m.z1), at(maxX, minY, m.z1), at(maxX, maxY, m.z1), at(minX, maxY, m.z1), tint(m.roof, 1.08));
        const cg::Rect in = f.insetBy(1.4, 1.4);
        if (!in.isNull())
            quad(at(in.minX(), in.minY(), m.z1), at(in.maxX(), in.minY(), m.z1), at(in.maxX(), in.maxY(), m.z1),
                 at(in.minX(), in.maxY(), m.z1), tint(m.roof, 0.92));
    }
}

void Art::Skyline::dressRoof(const Mass& m) {
    const cg::Rect& f = m.f;
    if (m.kind == Mass::Kind::glass) {
        Mass crown;
        crown.f = f.insetBy(0.18 * f.width(), 0.18 * f.height());
        crown.z0 = m.z1;
        crown.z1 = m.z1 + 8;
        crown.wall = m.wall;
        crown.roof = 0x8C959F;
        crown.kind = Mass::Kind::flat;
        crown.ridge = m.ridge;
        box(crown);
        const cg::Point c = crown.f.mid();
        const cg::Point foot = project(c, m.z1 + 8), top = project(c, m.z1 + 14);
        marks.push_back({Mark::Form::line, 2, {foot, top, {}, {}}, tint(0x9BA3AC, 1), 0.7});
        if (night) {
            Sprite sp;
            sp.kind = Sprite::Kind::light;
            sp.at = {top.x, art.H() - top.y};
            sp.size = 0.9;
            sp.phase = Art::rand(c, 3);
            sp.color = 0xFF4A3A;
            lights->push_back(std::move(sp));
        }
    } else if (m.kind == Mass::Kind::flat && f.width() > 14 && f.height() > 14) {
        const cg::Point o{f.minX(), f.minY()};
        const int count = Art::rand(o, 19) < 0.5 ? 1 : 2;
        for (uint64_t b = 0; b < static_cast<uint64_t>(count); ++b) {
            const double w = 4 + 2 * Art::rand(o, 20 + b);
            const double x = f.minX() + 3 + (f.width() - w - 6) * Art::rand(o, 22 + b);
            const double y = f.minY() + 3 + (f.height() - 8) * Art::rand(o, 24 + b);
            Mass planter;
            planter.f = {x, y, w, 3.5};
            planter.z0 = m.z1;
            planter.z1 = m.z1 + 2.2;
            planter.wall = 0xA9AEB4;
            planter.roof = 0xBCC0C5;
            planter.kind = Mass::Kind::planter;
            planter.ridge = 0;
            box(planter);
        }
    }
}

void Art::Skyline::tree(cg::Point p, double r) {
    marks.push_back({Mark::Form::line, 2, {p, {p.x + 3 * kx, p.y + 3 * ky}, {}, {}}, tint(0x6E4A33, 1), 1.3});
    const cg::Point c{p.x + (1.05 * r + 3) * kx, p.y + (1.05 * r + 3) * ky};
    auto disc = [&](double x, double y, double d, uint32_t day, uint32_t dark) {
        marks.push_back({Mark::Form::ellipse, 2, {cg::Point{x, y}, cg::Point{d, d}, {}, {}}, tint(night ? dark : day, 1), 0});
    };
    disc(c.x - r, c.y - r, 2 * r, 0x3F8A3A, 0x2E5E34);
    disc(c.x - 0.92 * r, c.y - 0.98 * r, 1.6 * r, 0x58A548, 0x3B7041);
    disc(c.x - 0.7 * r, c.y - 0.78 * r, 0.8 * r, 0x7CC25E, 0x4A7F4C);
}

std::vector<Art::Skyline::Item> Art::Skyline::order() const {
    std::vector<Item> items;
    items.reserve(masses.size() + trees.size());
    for (std::size_t i = 0; i < masses.size(); ++i) items.push_back({masses[i].f.maxY(), masses[i].f.minX(), false, i});
    for (std::size_t i = 0; i < trees.size(); ++i) items.push_back({trees[i].p.y, trees[i].p.x, true, i});
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.key0 < b.key0 || (a.key0 == b.key0 && a.key1 < b.key1);
    });
    return items;
}

void Art::Skyline::record() {
    const std::vector<Item> items = order();
    number = 0;
    // Items are recorded in fixed runs on several threads, each into its own lists, which are then
    // joined in painter's order; the runs never depend on the number of threads.
    constexpr std::size_t kRun = 64;
    const std::size_t runs = (items.size() + kRun - 1) / kRun;
    struct Part {
        std::vector<Mark> marks;
        std::vector<Pane> panes;
        std::vector<Occluder> occluders;
        std::vector<Sprite> lights;
    };
    std::vector<Part> parts(runs);
    dispatch::concurrentPerform(runs, [&](std::size_t k) {
        Skyline run(art);
        Part& part = parts[k];
        run.lights = &part.lights;
        run.number = number + static_cast<int64_t>(k * kRun);
        const std::size_t end = std::min(items.size(), (k + 1) * kRun);
        for (std::size_t i = k * kRun; i < end; ++i) {
            const Item& item = items[i];
            ++run.number;
            if (item.isTree) {
                const auto [p, r] = trees[item.index];
                run.tree(p, r);
                part.occluders.push_back({run.number, {p.x - 1.3 * r - 1, p.y - 2.4 * r - 4, 2.6 * r + 2, 2.4 * r + 5}});
            } else {
                const Mass& m = masses[item.index];
                run.box(m);
                run.dressRoof(m);
                part.occluders.push_back({run.number, outline(m)});
            }
        }
        part.marks = std::move(run.marks);
        part.panes = std::move(run.panes);
    });
    std::size_t markCount = marks.size(), paneCount = panes.size();
    for (const Part& part : parts) {
        markCount += part.marks.size();
        paneCount += part.panes.size();
    }
    marks.reserve(markCount);
    panes.reserve(paneCount);
    for (const Part& part : parts) {
        marks.insert(marks.end(), part.marks.begin(), part.marks.end());
        panes.insert(panes.end(), part.panes.begin(), part.panes.end());
    }
    occluders.reserve(occluders.size() + items.size());
    for (Part& part : parts) {
        occluders.insert(occluders.end(), part.occluders.begin(), part.occluders.end());
        for (Sprite& sp : part.lights) lights->push_back(std::move(sp));
    }
    number += static_cast<int64_t>(items.size());
}

namespace {

// The device pixels a mark can touch, [x0, x1) × [y0, y1), with a margin for Cairo's rounding of
// coordinates to 1/256 pixel.
struct PixelBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};
PixelBox pixelBox(const Art::Skyline::Mark& m, const cg::Transform& d, int width, int height) {
    const cg::Rect r = bounds(m);
    if (r.hasNaN()) return {};
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    for (const cg::Point& c : {cg::Point{r.minX(), r.minY()}, cg::Point{r.maxX(), r.minY()},
                               cg::Point{r.minX(), r.maxY()}, cg::Point{r.maxX(), r.maxY()}}) {
        const cg::Point q = d.apply(c);
        x0 = std::min(x0, q.x);
        x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y);
        y1 = std::max(y1, q.y);
    }
    constexpr double e = 1.0 / 64;
    auto at = [](double v, int n) { return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(n))); };
    return {at(std::floor(x0 - e), width), at(std::floor(y0 - e), height), at(std::ceil(x1 + e), width),
            at(std::ceil(y1 + e), height)};
}

// A filled convex polygon in device pixels as half-planes a·x + b·y + c ≥ 0 holding its inside.
struct Cover {
    std::array<std::array<double, 3>, 4> sides{};
    int count = 0;
    PixelBox around;  // the polygon's own pixel box, for a quick refusal
    // Whether the pixel box lies inside with `margin` pixels to spare.
    bool holds(const PixelBox& box, double margin) const {
        if (box.x0 < around.x0 || box.y0 < around.y0 || box.x1 > around.x1 || box.y1 > around.y1) return false;
        for (int k = 0; k < count; ++k) {
            const auto& [a, b, c] = sides[static_cast<std::size_t>(k)];
            const double reach = std::fabs(a) + std::fabs(b);
            for (const double x : {box.x0 - margin, box.x1 + margin})
                for (const double y : {box.y0 - margin, box.y1 + margin})
                    if (!(a * x + b * y + c >= reach * 1e-9)) return false;
        }
        return true;
    }
};
// The cover of a polygon mark, or none for a shape that is not strictly convex.
std::optional<Cover> coverOf(const Art::Skyline::Mark& m, const cg::Transform& d) {
    if (m.form != Art::Skyline::Mark::Form::polygon || m.count < 3 || !(m.color.a >= 1)) return std::nullopt;
    std::array<cg::Point, 4> p{};
    for (int k = 0; k < m.count; ++k) p[static_cast<std::size_t>(k)] = d.apply(m.p[static_cast<std::size_t>(k)]);
    Cover cover;
    cover.count = m.count;
    double turn = 0;
    for (int k = 0; k < m.count; ++k) {
        const cg::Point a = p[static_cast<std::size_t>(k)], b = p[static_cast<std::size_t>((k + 1) % m.count)];
        const cg::Point c = p[static_cast<std::size_t>((k + 2) % m.count)];
        const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
        if (!std::isfinite(cross) || cross == 0 || (turn != 0 && (cross > 0) != (turn > 0))) return std::nullopt;
        turn = cross;
    }
    for (int k = 0; k < m.count; ++k) {
        const cg::Point a = p[static_cast<std::size_t>(k)], b = p[static_cast<std::size_t>((k + 1) % m.count)];
        // Inside lies to the left of each side for a positive turn, to the right otherwise.
        const double s = turn > 0 ? 1 : -1;
        const double na = -(b.y - a.y) * s, nb = (b.x - a.x) * s;
        cover.sides[static_cast<std::size_t>(k)] = {na, nb, -(na * a.x + nb * a.y)};
    }
    return cover;
}

// Marks that a later polygon covers whole, with every pixel they could touch inside it: they are
// left out. Cairo gives a pixel lying inside a shape full coverage, and a fully covered pixel of an
// opaque fill takes the fill's colour whatever was there, so the bytes are those of drawing them.
std::vector<char> hiddenMarks(const std::vector<Art::Skyline::Mark>& marks, const std::vector<PixelBox>& boxes,
                              const cg::Transform& d, int width, int height) {
    constexpr int kCell = 64;
    const int columns = std::max(1, (width + kCell - 1) / kCell), rows = std::max(1, (height + kCell - 1) / kCell);
    const std::size_t n = marks.size();
    std::vector<std::optional<Cover>> covers(n);
    // Each cell lists, in painter's order, the covers reaching it.
    std::vector<std::vector<uint32_t>> cells(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    dispatch::concurrentChunks(n, [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            const PixelBox& b = boxes[i];
            // Only shapes that can hold a window whole are worth testing against.
            if (!b.empty() && (b.x1 - b.x0) >= 12 && (b.y1 - b.y0) >= 12) {
                covers[i] = coverOf(marks[i], d);
                if (covers[i]) covers[i]->around = b;
            }
        }
    });
    for (std::size_t i = 0; i < n; ++i) {
        if (!covers[i]) continue;
        const PixelBox& b = boxes[i];
        for (int y = b.y0 / kCell; y <= (b.y1 - 1) / kCell; ++y)
            for (int x = b.x0 / kCell; x <= (b.x1 - 1) / kCell; ++x)
                cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(x)]
                    .push_back(static_cast<uint32_t>(i));
    }
    std::vector<char> hidden(n, 0);
    dispatch::concurrentChunks(n, [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            const PixelBox& b = boxes[i];
            if (b.empty()) {
                hidden[i] = 1;  // nothing of it lands on the picture
                continue;
            }
            // A cover holding the box reaches the cell of its corner.
            const auto& list = cells[static_cast<std::size_t>(b.y0 / kCell) * static_cast<std::size_t>(columns) +
                                     static_cast<std::size_t>(b.x0 / kCell)];
            for (auto it = std::upper_bound(list.begin(), list.end(), static_cast<uint32_t>(i)); it != list.end(); ++it)
                if (covers[*it]->holds(b, 0.05)) {
                    hidden[i] = 1;
                    break;
                }
        }
    });
    return hidden;
}

// Fewer fills for the same bytes. Every fill is a round trip through state that Cairo shares between all
// threads (a pool of clip records that every fill takes from and gives back), and with several threads
// drawing at once those trips cost more than the drawing of a small polygon. Draws are kept back in an
// ordered list of fills, and:
//  - Polygons of one colour share a fill where Cairo's scan converter treats each exactly as if it were
//    filled alone: they share no pixel, and their pixel rows lie at least one empty row apart (the
//    converter starts afresh after an empty row), or they have the very same vertex heights, no upright
//    edge and nothing outside the context's sides, where Cairo would cut them with upright edges of its
//    own (the converter then makes the same choice between its whole-row and sub-row steps on every
//    row for the path as for each polygon, and a pixel's coverage comes from its own polygon's edges
//    alone). Only small slanted polygons join: straight boxes take another path through Cairo, and
//    large shapes are few.
//  - A polygon goes into a fill after the last one holding a draw it shares a pixel with, so every
//    pixel still sees its draws in painter's order. Each pixel of the context remembers the last fill
//    kept back that touches it.
//  - Any other draw has the fills up to the last one whose box meets its own drawn first, and goes
//    before the rest, which share no pixel with it.
class FillBatch {
public:
    FillBatch(cg::Context& ctx, bool enabled)
        : ctx_(ctx), device_(ctx.ctm()), width_(ctx.pixelWidth()), height_(ctx.pixelHeight()) {
        enabled_ = enabled && width_ > 0 && height_ > 0 &&
                   static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) <= kMaxPixels;
        if (enabled_) owner_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);
    }

    // Keeps the mark back to be filled with others (true), or returns false for the caller to draw it now.
    bool take(const Art::Skyline::Mark& m) {
        if (!enabled_) return false;
        Piece piece;
        if (!outline(m, piece)) {
            finish();
            return false;
        }
        if (!piece.joins) {
            // The fills from `after` on share no pixel with the mark.
            std::size_t after = fills_.size();
            while (after > 0 && !meets(fills_[after - 1].box, piece.box)) --after;
            flush(after);
            return false;
        }
        cutRows(piece);
        uint16_t last = 0;
        if (!fills_.empty() && meets(kept_, piece.box))
            for (const Span& s : spans_) {
                const uint16_t* row = ownerRow(s.y);
                last = std::max(last, *std::max_element(row + s.x0, row + s.x1));
            }
        std::size_t at = last >= base_ ? static_cast<std::size_t>(last - base_) + 1 : 0;
        while (at < fills_.size() && !joins(fills_[at], m.color, piece)) ++at;
        if (at == fills_.size()) {
            if (base_ + fills_.size() > kMaxSerial) {
                // Out of numbers: everything kept back is drawn and the numbering starts again.
                finish();
                std::fill(owner_.begin(), owner_.end(), 0);
                base_ = 1;
                at = 0;
            }
            fills_.push_back({m.color, {}, {}, piece.box});
        }
        Fill& fill = fills_[at];
        fill.path.addLines(std::span<const cg::Point>(m.p.data(), m.count));
        fill.path.closeSubpath();
        fill.pieces.push_back(piece);
        fill.box = unite(fill.box, piece.box);
        kept_ = pending_ == 0 ? piece.box : unite(kept_, piece.box);
        const auto serial = static_cast<uint16_t>(base_ + at);
        for (const Span& s : spans_) std::fill(ownerRow(s.y) + s.x0, ownerRow(s.y) + s.x1, serial);
        if (++pending_ >= kMaxPending) finish();
        return true;
    }

    void finish() { flush(fills_.size()); }

private:
    using Box = PixelBox;  // pixels of the context
    using Rows = std::pair<double, double>;  // [first, second) in device pixel rows
    struct Piece {
        std::array<cg::Point, 4> corners{};  // in device pixels
        uint8_t count = 0;
        Box box;     // every pixel of the context it can touch
        Rows rows;   // the pixel rows it can touch, past the context too
        bool joins = false;  // a small slanted polygon
        bool even = false;   // every edge level or slanted, none upright, and nothing cut off at the sides
    };
    struct Fill {
        cg::Color color;
        cg::Path path;
        std::vector<Piece> pieces;
        Box box;  // holds every piece's
    };
    // The columns [x0, x1) of one pixel row a polygon can touch.
    struct Span {
        int y, x0, x1;
    };
    static constexpr double kSlant = 2.0 / 256, kSlack = 1.0 / 64, kLarge = 1024;
    static constexpr std::size_t kMaxPieces = 64, kMaxPending = 256, kMaxPixels = std::size_t{1} << 24;
    static constexpr std::size_t kMaxSerial = 65535;

    static bool meets(const Box& a, const Box& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }
    static Box unite(const Box& a, const Box& b) {
        return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
    }

    // Draws the first `count` fills kept back.
    void flush(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            ctx_.setFillColor(fills_[i].color);
            ctx_.fill(fills_[i].path);
            pending_ -= fills_[i].pieces.size();
        }
        fills_.erase(fills_.begin(), fills_.begin() + static_cast<std::ptrdiff_t>(count));
        base_ += count;
    }

    uint16_t* ownerRow(int y) { return owner_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_); }

    // Whether a polygon sharing no pixel with the fill can join it.
    static bool joins(const Fill& f, const cg::Color& color, const Piece& piece) {
        return f.color == color && f.pieces.size() < kMaxPieces &&
               std::all_of(f.pieces.begin(), f.pieces.end(), [&](const Piece& p) { return fits(piece, p); });
    }
    static bool fits(const Piece& a, const Piece& b) {
        if (a.rows.first >= b.rows.second + 1 || b.rows.first >= a.rows.second + 1) return true;
        return a.even && b.even && a.count == b.count &&
               std::equal(a.corners.begin(), a.corners.begin() + a.count, b.corners.begin(),
                          [](const cg::Point& u, const cg::Point& v) { return u.y == v.y; });
    }

    // The mark's corners in device pixels (a line's or an ellipse's bounds, which hold its pen) and the
    // pixels it can touch; false if it has no finite outline of a sensible size. Cairo rounds
    // coordinates to 1/256 pixel, and the margin reaches past that.
    bool outline(const Art::Skyline::Mark& m, Piece& piece) const {
        const bool polygon = m.form == Art::Skyline::Mark::Form::polygon && m.count >= 3;
        std::array<cg::Point, 4>& p = piece.corners;
        std::size_t n = 4;
        if (polygon) {
            n = m.count;
            for (std::size_t k = 0; k < n; ++k) p[k] = device_.apply(m.p[k]);
        } else {
            const cg::Rect r = bounds(m);
            p = {device_.apply(cg::Point{r.minX(), r.minY()}), device_.apply(cg::Point{r.maxX(), r.minY()}),
                 device_.apply(cg::Point{r.maxX(), r.maxY()}), device_.apply(cg::Point{r.minX(), r.maxY()})};
        }
        double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
        bool slanted = false, even = true;
        double steepest = 0;  // the largest sideways run per row of a side a pixel row or more tall
        for (std::size_t k = 0; k < n; ++k) {
            const cg::Point a = p[k], before = p[(k + n - 1) % n];
            x0 = std::min(x0, a.x);
            x1 = std::max(x1, a.x);
            y0 = std::min(y0, a.y);
            y1 = std::max(y1, a.y);
            // Two 256ths of a pixel each way survive Cairo's fixed point: the edge stays slanted there.
            const double dx = std::fabs(a.x - before.x), dy = std::fabs(a.y - before.y);
            slanted = slanted || (dx > kSlant && dy > kSlant);
            even = even && (dy == 0 || dx > kSlant);
            if (dy >= 0.5) steepest = std::max(steepest, dx / dy);
        }
        constexpr double kFar = 1e6;
        if (!(x0 > -kFar && x1 < kFar && y0 > -kFar && y1 < kFar)) return false;
        piece.count = static_cast<uint8_t>(n);
        piece.rows = {std::floor(y0 - kSlack), std::ceil(y1 + kSlack)};
        piece.box = {std::clamp(static_cast<int>(std::floor(x0 - kSlack)), 0, width_),
                     std::clamp(static_cast<int>(piece.rows.first), 0, height_),
                     std::clamp(static_cast<int>(std::ceil(x1 + kSlack)), 0, width_),
                     std::clamp(static_cast<int>(piece.rows.second), 0, height_)};
        const double area = static_cast<double>(piece.box.x1 - piece.box.x0) * (piece.box.y1 - piece.box.y0);
        // Stepping a whole pixel row at once, Cairo's scan converter takes a side's position half a
        // sub-row past the row's end, up to 1/30 of the side's run per row beyond the shape: a fill
        // alone cuts that off at the edge of its own pixels, a larger one would not. A polygon joins
        // only where that reach stays inside its own pixels (with room for rounding).
        const double reach = steepest / 30 + kSlack;
        const bool contained = x1 + reach < std::ceil(x1 - kSlack) && x0 - reach > std::floor(x0 + kSlack);
        piece.joins = polygon && slanted && contained && area <= kLarge;
        piece.even = even && x0 - kSlack >= 0 && x1 + kSlack <= width_;
        return true;
    }

    // The pixels of the context a small polygon can touch, row by row, into spans_: where its sides,
    // cut to the row (with the margin), begin and end.
    void cutRows(const Piece& piece) {
        spans_.clear();
        const std::size_t n = piece.count;
        struct Side {
            double top, bottom, x, slope;  // x at `top`
        };
        std::array<Side, 4> sides{};
        for (std::size_t k = 0; k < n; ++k) {
            const cg::Point u = piece.corners[k], v = piece.corners[(k + 1) % n];
            const cg::Point& a = u.y <= v.y ? u : v;
            const cg::Point& b = u.y <= v.y ? v : u;
            sides[k] = {a.y, b.y, a.x, a.y < b.y ? (b.x - a.x) / (b.y - a.y) : 0};
        }
        for (int y = piece.box.y0; y < piece.box.y1; ++y) {
            const double lo = y - kSlack, hi = y + 1 + kSlack;
            double a = 1e300, b = -1e300;
            for (std::size_t k = 0; k < n; ++k) {
                const Side& s = sides[k];
                const double top = std::max(lo, s.top), bottom = std::min(hi, s.bottom);
                if (top > bottom) continue;
                const double u = s.x + (top - s.top) * s.slope, v = s.x + (bottom - s.top) * s.slope;
                a = std::min(a, std::min(u, v));
                b = std::max(b, std::max(u, v));
            }
            const int from = std::max(piece.box.x0, static_cast<int>(std::floor(a - kSlack)));
            const int to = std::min(piece.box.x1, static_cast<int>(std::ceil(b + kSlack)));
            if (from < to) spans_.push_back({y, from, to});
        }
    }

    cg::Context& ctx_;
    cg::Transform device_;
    int width_, height_;
    bool enabled_ = false;
    std::vector<uint16_t> owner_;  // the serial of the last fill kept back touching each pixel, or older
    std::vector<Fill> fills_;      // fills_[i] has serial base_ + i
    std::size_t base_ = 1;
    std::size_t pending_ = 0;
    Box kept_;                 // holds every piece kept back
    std::vector<Span> spans_;  // the polygon being taken
};

// Everything `paint` puts down, drawn into a context flipped to scene points: the yards and shadows that
// reach `area` (scene points) and the marks listed.
void layDown(const Art::Skyline& sky, cg::Context& ctx, const cg::Rect& area, const std::vector<uint32_t>& list) {
    const bool night = sky.night;
    // Yards: paving with a grid of joints every 8 points.
    for (const cg::Rect& y : sky.yards) {
        if (!y.intersects(area)) continue;
        ctx.setFillColor(cg::Color::rgb(night ? 0x2B2F37 : 0x7C8590));
        ctx.fill(y);
        ctx.setFillColor(cg::Color::rgb(night ? 0x343842 : 0x8E97A2));
        for (double x = y.minX() + 8; x < y.maxX(); x += 8) ctx.fill(cg::Rect(x, y.minY(), 0.5, y.height()));
        for (double v = y.minY() + 8; v < y.maxY(); v += 8) ctx.fill(cg::Rect(y.minX(), v, y.width(), 0.5));
    }

    // Shadows, all in one layer so that they never darken each other; none over the icons.
    {
        cg::SavedState state(ctx);
        ctx.setAlpha(night ? 0.14 : 0.2);
        cg::TransparencyLayer layer(ctx);
        auto reach = [](const Art::Skyline::Mass& m) {
            const double d = m.z1 + 0.6 * m.ridge;
            return cg::Rect(m.f.minX(), m.f.minY() - 0.2 * d, m.f.width() + 0.55 * d, m.f.height() + 0.2 * d);
        };
        auto treeShadow = [](const Art::Skyline::Tree& t) {
            return cg::Rect(t.p.x - 0.5 * t.r, t.p.y - 1.1 * t.r, 2.4 * t.r, 1.3 * t.r);
        };
        // The layer grows to hold each draw, copying what it holds each time: clearing (which changes
        // nothing on a clear layer) all that the shadows reach first makes it once at its full size.
        cg::Rect all = cg::Rect::null();
        for (const Art::Skyline::Mass& m : sky.masses)
            if (m.z0 == 0 && reach(m).intersects(area)) all = all.unionWith(reach(m));
        for (const Art::Skyline::Tree& t : sky.trees)
            if (treeShadow(t).intersects(area)) all = all.unionWith(treeShadow(t));
        for (const cg::Rect& k : sky.art.keep)
            if (k.intersects(area)) all = all.unionWith(k);
        if (!all.isNull()) {
            ctx.setBlendMode(cg::BlendMode::clear);
            ctx.fill(all.insetBy(-2, -2).intersection(area.insetBy(0, -2)));
            ctx.setBlendMode(cg::BlendMode::normal);
        }
        ctx.setFillColor(cg::Color::rgb(0x0A1020));
        for (const Art::Skyline::Mass& m : sky.masses) {
            if (m.z0 != 0) continue;
            const double d = m.z1 + 0.6 * m.ridge;
            const double minX = m.f.minX(), maxX = m.f.maxX(), minY = m.f.minY(), maxY = m.f.maxY();
            const cg::Point hexagon[] = {{minX, maxY},
                                         {maxX, maxY},
                                         {maxX + 0.55 * d, maxY - 0.2 * d},
                                         {maxX + 0.55 * d, minY - 0.2 * d},
                                         {minX + 0.55 * d, minY - 0.2 * d},
                                         {minX, minY}};
            if (!reach(m).intersects(area)) continue;
            cg::Path path;
            path.addLines(hexagon);
            path.closeSubpath();
            ctx.fill(path);
        }
        for (const Art::Skyline::Tree& t : sky.trees)
            if (treeShadow(t).intersects(area)) ctx.fillEllipse(treeShadow(t));
        ctx.setBlendMode(cg::BlendMode::clear);
        for (const cg::Rect& k : sky.art.keep)
            if (k.intersects(area)) ctx.fill(k);
    }

    // Buildings and trees, back to front.
    FillBatch batch(ctx, sky.runs);
    cg::Path path;
    for (const uint32_t i : list) {
        const Art::Skyline::Mark& m = sky.marks[i];
        using Form = Art::Skyline::Mark::Form;
        if (batch.take(m)) continue;
        path.clear();
        switch (m.form) {
            case Form::polygon: {
                path.addLines(std::span<const cg::Point>(m.p.data(), m.count));
                path.closeSubpath();
                ctx.setFillColor(m.color);
                ctx.fill(path);
                break;
            }
            case Form::line: {
                path.moveTo(m.p[0]);
                path.lineTo(m.p[1]);
                ctx.setStrokeColor(m.color);
                ctx.setLineWidth(m.width);
                ctx.stroke(path);
                break;
            }
            case Form::ellipse:
                ctx.setFillColor(m.color);
                ctx.fillEllipse({m.p[0].x, m.p[0].y, m.p[1].x, m.p[1].y});
                break;
        }
    }
    batch.finish();
}

}  // namespace

void Art::Skyline::paint(int band) {
    cg::Context& scene = *art.ctx;
    const double H = art.H();
    const int width = scene.pixelWidth(), height = scene.pixelHeight();
    const double scale = art.s.scale;
    // Bands of whole pixel rows, each drawn on a copy of its rows with everything that reaches it. The
    // bands never depend on the number of threads, so neither do the bytes.
    const int rowsPerBand = std::clamp(band, 1, std::max(height, 1));
    const std::size_t bands = static_cast<std::size_t>((height + rowsPerBand - 1) / rowsPerBand);
    const cg::Transform base = scene.ctm();
    // The scene's device pixels of a scene point.
    const cg::Transform device = cg::Transform::scale(1, -1)
                                     .concatenating(cg::Transform::translation(0, H))
                                     .concatenating(base)
                                     .concatenating(cg::Transform{1, 0, 0, -1, 0, static_cast<double>(height)});
    std::vector<PixelBox> boxes(marks.size());
    dispatch::concurrentChunks(marks.size(), [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) boxes[i] = pixelBox(marks[i], device, width, height);
    });
    const std::vector<char> hidden =
        cull ? hiddenMarks(marks, boxes, device, width, height) : std::vector<char>(marks.size(), 0);
    // Each mark is listed for every band holding a pixel row it can touch.
    std::vector<std::vector<uint32_t>> lists(bands);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const PixelBox& r = boxes[i];
        if (hidden[i] || r.empty()) continue;
        const std::size_t b0 = static_cast<std::size_t>(r.y0 / rowsPerBand);
        const std::size_t b1 = std::min(static_cast<std::size_t>((r.y1 - 1) / rowsPerBand), bands - 1);
        for (std::size_t b = b0; b <= b1; ++b) lists[b].push_back(static_cast<uint32_t>(i));
    }
    uint8_t* pixels = scene.data();
    const std::size_t stride = scene.bytesPerRow();
    std::vector<char> drawn(bands, 0);
    // The bands with the most marks first, so that no thread is left with a heavy one at the end.
    std::vector<std::size_t> order(bands);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return lists[x].size() > lists[y].size(); });
    dispatch::concurrentInTurn(bands, [&](std::size_t k) {
        const std::size_t b = order[k];
        const int top = static_cast<int>(b) * rowsPerBand, rows = std::min(rowsPerBand, height - top);
        // Every row is copied in before anything draws, so the bitmap need not be cleared first.
        auto band = cg::Context::makeUnsetBitmap(width, rows, 1);
        if (!band) return;
        const std::size_t bytes = static_cast<std::size_t>(width) * 4;
        for (int k = 0; k < rows; ++k)
            std::memcpy(band->row(k), pixels + static_cast<std::size_t>(top + k) * stride, bytes);
        band->pixelsChanged();
        // The scene's own transform, moved down onto the band's rows, then flipped to scene points.
        band->concatenateCTM(base.concatenating(cg::Transform::translation(0, -(height - top - rows))));
        band->translateBy(0, H);
        band->scaleBy(1, -1);
        // A margin of two points keeps every mark whose soft edge reaches the band.
        const cg::Rect area(-1e6, top / scale - 2, 2e6, rows / scale + 4);
        layDown(*this, *band, area, lists[b]);
        const uint8_t* out = band->data();
        for (int k = 0; k < rows; ++k)
            std::memcpy(pixels + static_cast<std::size_t>(top + k) * stride, out + static_cast<std::size_t>(k) * band->bytesPerRow(), bytes);
        drawn[b] = 1;
    });
    scene.pixelsChanged();
    if (std::all_of(drawn.begin(), drawn.end(), [](char d) { return d != 0; })) return;
    // A band whose copy could not be made is drawn in place.
    cg::SavedState flipped(scene);
    scene.translateBy(0, H);
    scene.scaleBy(1, -1);
    for (std::size_t b = 0; b < bands; ++b) {
        if (drawn[b]) continue;
        const int top = static_cast<int>(b) * rowsPerBand, rows = std::min(rowsPerBand, height - top);
        cg::SavedState clipped(scene);
        const cg::Rect area(-1e6, top / scale, 2e6, rows / scale);
        scene.clipToRect(area);
        layDown(*this, scene, area.insetBy(0, -2), lists[b]);
    }
}
