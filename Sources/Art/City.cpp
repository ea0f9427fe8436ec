// The top-down city: park trees, paths, lamps and walkers; car parks; plazas with fountains, trees and
// crossing walkers; pavement trees and walkers; arcade roofs over raised streets; roof equipment; night
// lamps and windows or day birds and clouds; then air and street traffic. The streets, pavements, roofs
// and walls are already shaded into the picture. Every prop comes from a placement or from the hash of
// its block cell, so a block looks the same whatever happens elsewhere on the screen.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>
#include <utility>
#include <vector>

#include "Art/City.h"
#include "Art/Geometry2D.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Context.h"
#include "Renderer/Random.h"
#include "Renderer/Streets.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

constexpr uint32_t kParkSalt = 0xD80AA6DD, kVacantSalt = 0xFA8CFB85, kCarParkSalt = 0x28B7BC6F;

// Cars parked in the city and on its streets.
const std::vector<uint32_t> kVehicleColors = {0xF2F2F0, 0xF2F2F0, 0x1E2024, 0x1E2024, 0x8C9198,
                                              0xC3C7CB, 0x2E4C7C, 0x9E2F2A, 0x5A4B3C};
constexpr cg::Point kCarParkPosts[] = {{60, 58}, {120, 58}, {60, 102}, {120, 102}};
constexpr int kPlazaTrees[] = {6, 8, 10, 12};
constexpr cg::Point kRoofProbes[] = {{-8, -8}, {8, -8}, {-8, 8}, {8, 8}};

// Int(q) of a cell count or a table pick; NaN and negatives give 0.
int64_t whole(double q) {
    const double f = std::floor(q);
    return f > 0 ? (f < 1e12 ? static_cast<int64_t>(f) : 1000000000000) : 0;
}

// The block cell of a scene point (floor of (x + 2) / 160 and (y + 2) / 140) and the point in it.
struct CellSpot {
    int64_t c = 0, r = 0;
    double fx = 0, fy = 0;
};
CellSpot cellOf(cg::Point p) {
    const double c = std::floor((p.x + 2) / 160), r = std::floor((p.y + 2) / 140);
    auto index = [](double v) { return static_cast<int64_t>(std::clamp(v, -1e9, 1e9)); };
    CellSpot s;
    s.c = index(c);
    s.r = index(r);
    s.fx = p.x + 2 - 160 * static_cast<double>(s.c);
    s.fy = p.y + 2 - 140 * static_cast<double>(s.r);
    return s;
}

Streets::Parkway parkwayAt(int64_t c, int64_t r, double fx, double fy) {
    return Streets::parkway(static_cast<int32_t>(c), static_cast<int32_t>(r), static_cast<float>(fx),
                            static_cast<float>(fy));
}

double distance(cg::Point a, cg::Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace

float Art::City::cellHash(int64_t column, int64_t row, uint32_t salt) {
    return random_detail::corner(static_cast<uint32_t>(column), static_cast<uint32_t>(row), salt);
}

Art::City::Block Art::City::block(int64_t column, int64_t row) {
    if (cellHash(column, row, kParkSalt) < -0.45f) return Block::park;
    if (cellHash(column, row, kVacantSalt) <= -0.4f)
        return cellHash(column, row, kCarParkSalt) > -0.3f ? Block::carPark : Block::plaza;
    return Block::built;
}

bool Art::City::street(cg::Point p) {
    const CellSpot s = cellOf(p);
    return s.fx < 20 || s.fy < 20;
}

std::vector<bool> Art::City::arcade(int64_t i, int64_t j, const std::function<bool(int64_t, int64_t)>& raised) {
    const bool northSouth = i % 8 == 0, eastWest = j % 7 == 0;
    if (!eastWest) return northSouth ? std::vector<bool>{false} : std::vector<bool>{};
    if (!northSouth) return {true};
    // A crossing: a strip each way, unless the raised cells run east-west only.
    const bool side = raised(-1, 0) || raised(1, 0);
    if (raised(0, -1) || raised(0, 1) || !side) return side ? std::vector<bool>{true, false} : std::vector<bool>{false};
    return {true};
}

std::vector<cg::Point> Art::City::pavementLine(cg::Point O, uint64_t l, bool reach) {
    const double e = reach ? 1 : 0;
    switch (l) {
        case 0: return {{O.x + 22, O.y + 24}, {O.x + 158 + 160 * e, O.y + 24}};
        case 1: return {{O.x + 22, O.y + 136}, {O.x + 158 + 160 * e, O.y + 136}};
        case 2: return {{O.x + 24, O.y + 22}, {O.x + 24, O.y + 138 + 140 * e}};
        default: return {{O.x + 156, O.y + 22}, {O.x + 156, O.y + 138 + 140 * e}};
    }
}

double Art::City::parkedDim(cg::Point bay, const std::vector<cg::Point>& posts) {
    if (posts.empty()) return 0.72;
    double d2 = std::numeric_limits<double>::infinity();
    for (const cg::Point& l : posts) {
        const double dx = bay.x - l.x, dy = bay.y - l.y;
        d2 = std::min(d2, dx * dx + dy * dy);
    }
    return 0.72 - 0.34 * std::exp(-d2 / 900);
}

bool Art::City::clear(const cg::Rect& box) const {
    for (const cg::Rect& r : art.keep)
        if (box.intersects(r)) return false;
    return true;
}

void Art::City::tree(cg::Point p, double R) {
    const bool night = art.s.night;
    const cg::Point d = art.flip(p);
    const cg::Point c{d.x + 0.6 * R, d.y - 0.5 * R};
    {
        const cg::Gradient shade({cg::Color::black(0.3), cg::Color::black(0.18), cg::Color::black(0)}, {0, 0.6, 1});
        cg::Context& ctx = *art.ctx;
        ctx.saveGState();
        // The shadow ends at its radius: painting its square alone gives the same picture.
        ctx.clipToRect({c.x - 1.25 * R - 1, c.y - 1.25 * R - 1, 2.5 * R + 2, 2.5 * R + 2});
        ctx.drawRadialGradient(shade, c, 0, c, 1.25 * R);
        ctx.restoreGState();
    }
    art.canopy(d, R, night ? 0x15301F : 0x2A6A34, night ? 0x2B5139 : 0x74BE5E, Art::rand(d, 5));
}

cg::Rect Art::City::box(const Piece& piece) const {
    const double scale = art.s.scale;
    const double e = piece.reach;
    // The corner sits on a pixel of the scene, so the picture lands on whole pixels.
    const double x0 = std::floor((piece.centre.x - e) * scale) / scale;
    const double y0 = std::floor((piece.centre.y - e) * scale) / scale;
    const double side = (std::ceil(2 * e * scale) + 1) / scale;
    return {x0, y0, side, side};
}

cg::ImageRef Art::City::picture(Art& worker, const Piece& piece) const {
    const double scale = art.s.scale;
    const cg::Rect square = box(piece);
    // Whole pixels however the scale rounds: the picture must land pixel for pixel.
    const double side = std::round(square.width() * scale);
    auto frame = cg::Context::makeBitmap(static_cast<int>(side), static_cast<int>(side), scale);
    if (!frame) return nullptr;
    frame->translateBy(-square.minX(), -square.minY());
    worker.ctx = frame.get();
    City city(worker);
    piece.draw(city);
    worker.ctx = nullptr;
    return frame->makeImage();
}

std::vector<cg::ImageRef> Art::City::pictures(const std::vector<Piece>& pieces) const {
    return art.offscreenEach(pieces.size(), [&](Art& worker, std::size_t i) { return picture(worker, pieces[i]); });
}

void Art::City::lay(const Piece& piece, const cg::ImageRef& picture) {
    if (picture) art.ctx->draw(picture, box(piece));
    else piece.draw(*this);
}

Art::City::Piece Art::City::treePiece(cg::Point p, double r) const {
    // Crown and shadow stay within 2r of the foot.
    return {art.flip(p), 2 * r + 2, [p, r](City& city) { city.tree(p, r); }};
}

void Art::city() {
    City city(*this);
    const bool night = s.night;
    const double w = W(), h = H();
    const int64_t columns = static_cast<int64_t>(w / 160), rows = static_cast<int64_t>(h / 140);
    auto clear = [&city](double x, double y, double bw, double bh) { return city.clear(cg::Rect(x, y, bw, bh)); };
    auto ground = [&city](cg::Point p) { return city.ground(p); };
    // A walking route: every point of the smoothed line on open ground and clear of the icons.
    auto walkable = [&](const std::vector<cg::Point>& route, const auto& also) {
        for (const cg::Point& q : rounded(route, false, 6))
            if (!also(q) || !ground(q) || !clear(q.x - 3, q.y - 6, 6, 12)) return false;
        return true;
    };
    auto anywhere = [](cg::Point) { return true; };
    auto reversed = [](std::vector<cg::Point> v) {
        std::reverse(v.begin(), v.end());
        return v;
    };
    // Lamp dots (drawing points), in order, drawn in bands.
    auto dots = [this](uint32_t color, const std::vector<cg::Point>& centres, double size) {
        if (centres.empty()) return;
        paintInBands([&](Art& worker, const cg::Rect& area) {
            for (const cg::Point& c : centres) {
                if (c.y + size < area.minY() || c.y - size > area.maxY()) continue;
                const cg::Rect oval{c.x - size / 2, c.y - size / 2, size, size};
                worker.shape(color, 1, 0, [&](cg::Path& p) { p.addEllipse(oval); });
            }
        });
    };

    // Every prop is drawn apart from the scene, each set of them on several threads; the scene then gets
    // them in bands, in the order of the steps below. The cells' cars and trees are planned by the cells'
    // plan, the props placed by `spots` (steps 1, 6 and 7).
    struct VacantPlan {
        std::vector<cg::Point> posts;    // car park lamp posts that stand, cell-local
        std::vector<cg::Point> planned;  // plaza tree spots, drawn or not
    };
    std::vector<VacantPlan> vacant;
    // `cells` holds the vacant cells' cars and trees, the first `vacantCount`, then the pavement trees.
    std::vector<City::Piece> grove, cells, props;
    std::size_t vacantCount = 0;
    std::vector<std::pair<cg::Point, bool>> strips;
    std::vector<std::pair<cg::Point, bool>> beacons;  // the roof prop's point, large or small
    auto middleOf = [](int64_t c, int64_t r) {
        return cg::Point{160 * static_cast<double>(c) + Streets::middle.x - 2,
                         140 * static_cast<double>(r) + Streets::middle.y - 2};
    };
    auto originOf = [](int64_t c, int64_t r) {
        return cg::Point{160 * static_cast<double>(c) - 2, 140 * static_cast<double>(r) - 2};
    };
    auto vault = [night](Art& painter, cg::Point q, bool along) {
        const uint32_t base = night ? 0x2C2B2B : 0x52647A, band = night ? 0x7A6440 : 0xA9C6DD;
        const uint32_t ribs = night ? 0x4E535E : 0xC9CED6;
        constexpr double L = 20;
        // Rectangles written for an east-west strip; a north-south one swaps x and y.
        auto rect = [&](double dx, double dy, double rw, double rh) {
            return along ? cg::Rect(q.x + dx, q.y + dy, rw, rh) : cg::Rect(q.x + dy, q.y + dx, rh, rw);
        };
        auto fill = [&](uint32_t colour, double alpha, const cg::Rect& r) {
            painter.shape(colour, alpha, 0, [&](cg::Path& p) { p.addRect(r); });
        };
        fill(base, 1, rect(-L / 2, -6.5, L, 13));
        fill(band, night ? 0.5 : 0.35, night ? rect(-L / 2, -2.5, L, 5) : rect(-L / 2, 1, L, 2.5));
        for (int k = 0; k < 5; ++k) fill(ribs, 0.4, rect(-L / 2 + 1.75 + 4 * k, -6.5, 0.5, 13));
        fill(ribs, 0.4, rect(-L / 2, -0.25, L, 0.5));
        fill(ribs, 0.85, rect(-L / 2, -7, L, 0.9));
        fill(ribs, 0.85, rect(-L / 2, 6.1, L, 0.9));
    };
    auto planCells = [&] {
        // 4. Vacant cells: car parks and plazas, planned here; their cars and trees are laid in cell order.
        auto carParkPlan = [&](int64_t c, int64_t r) {
            VacantPlan plan;
            const double ox = 160 * static_cast<double>(c), oy = 140 * static_cast<double>(r);
            // Lamp posts only at night, on open ground clear of the icons.
            if (night)
                for (const cg::Point& l : kCarParkPosts) {
                    const cg::Point post{ox + l.x - 2, oy + l.y - 2};
                    if (ground(post) && clear(post.x - 20, post.y - 20, 40, 40)) plan.posts.push_back(l);
                }
            for (const float b : Streets::bays) {
                const double bay = static_cast<double>(b);
                const double y = oy + bay + 5;
                for (int i = 0; i < 15; ++i) {
                    const double local = 37.5 + 7 * (i + 0.5);
                    const double x = ox + local - 2;
                    const cg::Point q{x, y};
                    if (!(rand(q, 1) < 0.68)) continue;
                    if (!ground({x, y - 7}) || !ground({x, y + 7}) || !clear(x - 4, y - 8, 8, 16)) continue;
                    const uint32_t colour = kVehicleColors[static_cast<std::size_t>(whole(9 * rand(q, 2)) % 9)];
                    const double angle = (rand(q, 3) < 0.5 ? kPi / 2 : -kPi / 2) + 0.08 * (rand(q, 4) - 0.5);
                    const cg::Point at{x + 0.8 * (rand(q, 5) - 0.5), h - y};
                    // Cars near a lamp post are lit by it.
                    const double dim = City::parkedDim({local, bay + 7}, plan.posts);
                    cells.push_back(
                        {at, 11, [colour, at, angle, dim](City& painter) { painter.parkedCar(colour, at, angle, dim); }});
                }
            }
            return plan;
        };
        auto plazaPlan = [&](cg::Point m) {
            VacantPlan plan;
            if (rand(m, 10) < 0.3) {
                for (int a = 0; a < 10; ++a)
                    plan.planned.push_back({a < 5 ? m.x - 54 : m.x + 54, m.y - 36 + 18 * (a % 5)});
            } else {
                const int n = kPlazaTrees[whole(4 * rand(m, 7)) % 4];
                const double f = 0.88 + 0.2 * rand(m, 8), theta0 = rand(m, 11);
                for (int a = 0; a < n; ++a) {
                    const double theta = theta0 + 2 * kPi * a / n + 0.3;
                    plan.planned.push_back({m.x + 46 * f * std::cos(theta), m.y + 38 * f * std::sin(theta)});
                }
            }
            sortByY(plan.planned);
            for (const cg::Point& p : plan.planned)
                if (ground(p) && clear(p.x - 8, p.y - 8, 16, 16)) cells.push_back(city.treePiece(p, 5 + 1.5 * rand(p, 0)));
            return plan;
        };
        for (int64_t r = 0; r <= rows; ++r)
            for (int64_t c = 0; c <= columns; ++c) {
                const City::Block kind = City::block(c, r);
                if (kind != City::Block::carPark && kind != City::Block::plaza) continue;
                vacant.push_back(kind == City::Block::carPark ? carParkPlan(c, r) : plazaPlan(middleOf(c, r)));
            }
        vacantCount = cells.size();

        // 5. Built cells: pavement trees, planned here, and walkers.
        auto pavementTrees = [&](cg::Point O) {
            // 26 probes along the pavements, back to front.
            std::vector<cg::Point> probes;
            probes.reserve(26);
            for (int i = 0; i < 8; ++i) {
                const double x = O.x + 31 + 118.0 * i / 7;
                probes.push_back({x, O.y + 31});
                probes.push_back({x, O.y + 129});
            }
            for (int k = 1; k <= 5; ++k) {
                const double y = O.y + 31 + 98.0 * k / 6;
                probes.push_back({O.x + 31, y});
                probes.push_back({O.x + 149, y});
            }
            sortByY(probes);
            for (const cg::Point& p : probes) {
                if (!(rand(p, 32) < 0.85) || !clear(p.x - 6, p.y - 6, 12, 12)) continue;
                if (!ground(p) || !ground({p.x - 5, p.y}) || !ground({p.x + 5, p.y}) || !ground({p.x, p.y - 5}) ||
                    !ground({p.x, p.y + 5}))
                    continue;
                cells.push_back(city.treePiece(p, 3.3 + 1.2 * rand(p, 33)));
            }
        };
        for (int64_t r = 0; r <= rows; ++r)
            for (int64_t c = 0; c <= columns; ++c)
                if (City::block(c, r) == City::Block::built) pavementTrees(originOf(c, r));
    };
    auto treeSpots = [&] {
        // 1. Park trees, back to front.
        {
            std::vector<cg::Point> trees = spots(1, 8000, 11, kNoLimit, [&](cg::Point p) {
                const CellSpot at = cellOf(p);
                if (City::block(at.c, at.r) != City::Block::park) return false;
                if (!(26 < at.fx && at.fx < 154 && 26 < at.fy && at.fy < 134)) return false;
                const Streets::Parkway way = parkwayAt(at.c, at.r, at.fx, at.fy);
                if (!(way.path > 6.5f && way.pond > 5)) return false;
                if (!ground(p) || !ground({p.x - 7, p.y}) || !ground({p.x + 7, p.y}) || !ground({p.x, p.y - 7}))
                    return false;
                return clear(p.x - 8, p.y - 8, 16, 16);
            });
            sortByY(trees);
            grove.reserve(trees.size());
            for (const cg::Point& p : trees) grove.push_back(city.treePiece(p, 4.5 + 2.5 * rand(p, 0)));
        }
    };
    auto roofSpots = [&] {
        // 6. Arcade roofs over street cells raised under the icons: the strips are found here and drawn
        // between the pavement trees and the roof props.
        {
            const int64_t cellsX = static_cast<int64_t>(w / 20), cellsY = static_cast<int64_t>(h / 20);
            auto centre = [](int64_t i, int64_t j) {
                return cg::Point{20 * (static_cast<double>(i) + 0.5) - 2, 20 * (static_cast<double>(j) + 0.5) - 2};
            };
            for (int64_t j = 0; j <= cellsY; ++j)
                for (int64_t i = 0; i <= cellsX; ++i) {
                    if (i % 8 != 0 && j % 7 != 0) continue;
                    const cg::Point q = centre(i, j);
                    if (!(value(q) > 0.5f)) continue;
                    auto raised = [&](int64_t dx, int64_t dy) { return value(centre(i + dx, j + dy)) > 0.5f; };
                    for (const bool along : City::arcade(i, j, raised)) strips.emplace_back(flip(q), along);
                }
        }

        // 7. Roof equipment: the small props are placed first, the large ones drawn first.
        {
            auto roof = [&](cg::Point p, double reach) {
                for (const cg::Point& d : kRoofProbes) {
                    const cg::Point q{p.x + reach * d.x, p.y + reach * d.y};
                    if (!(value(q) > 0.97f) || City::street(q)) return false;
                }
                return true;
            };
            const std::vector<cg::Point> small =
                spots(2, 5000, 22, kNoLimit, [&](cg::Point p) { return roof(p, 1) && clear(p.x - 10, p.y - 10, 20, 20); });
            const std::vector<cg::Point> large =
                spots(24, 3000, 48, kNoLimit, [&](cg::Point p) { return clear(p.x - 14, p.y - 14, 28, 28) && roof(p, 1.4); });
            // Every prop stays within 13 points of its centre, shadow included.
            for (const cg::Point& p : large) {
                const cg::Point d = flip(p);
                const double u = rand(p, 1);
                const bool turned = rand(p, 2) < 0.5;
                if (u < 0.45) {
                    props.push_back({d, 13, [d, turned](City& painter) { painter.airHandler(d, turned); }});
                } else if (u < 0.75) {
                    const int64_t n = 3 + whole(2 * rand(p, 3));
                    const bool lit = rand(p, 4) < 0.6;
                    props.push_back({d, 13, [d, turned, n, lit](City& painter) { painter.skylights(d, turned, n, lit); }});
                } else {
                    props.push_back({d, 13, [d](City& painter) { painter.stairHut(d); }});
                }
                beacons.emplace_back(p, true);
            }
            for (const cg::Point& p : small) {
                if (!std::all_of(large.begin(), large.end(), [&](cg::Point q) { return distance(p, q) > 20; })) continue;
                const cg::Point d = flip(p);
                const double u = rand(p, 0);
                if (u < 0.4) props.push_back({d, 13, [d](City& painter) { painter.vent(d); }});
                else if (u < 0.7) props.push_back({d, 13, [d](City& painter) { painter.solar(d); }});
                else props.push_back({d, 13, [d](City& painter) { painter.roofTank(d); }});
                beacons.emplace_back(p, false);
            }
        }
    };

    // The pieces and strips are laid in bands: the grove, the vacant cells, the pavement trees, the arcade
    // strips and the roof props. By day nothing else is drawn among them, so one pass lays them all; at
    // night the lamp pools split it in three. Each set of pictures is drawn, once, by whichever job first
    // needs it (see `jobs` below).
    std::vector<Sprite> early, clouds, late;
    // The placements and picture sets, each made once by whichever job first needs it: a job that finds
    // one under way helps with its loops.
    dispatch::Once cellsPlanned, treesPlaced, roofsPlaced, peoplePlaced, groveDrawn, vacantDrawn, pavementDrawn,
        propsDrawn;
    auto planAllCells = [&] { cellsPlanned.run(planCells); };
    // Where the lamps stand at night, found with the walkers and fountains.
    std::vector<cg::Point> parkLamps, plazaLights, postLights, streetLamps;
    auto fountainAt = [&](cg::Point m) { return ground(m) && clear(m.x - 18, m.y - 18, 36, 36); };
    // Steps 2 to 5 less their drawing: the walkers and fountains, then the roof beacons, and where the lamps
    // stand at night.
    auto people = [&] {
        // 2. The walker pictures, one per shirt colour.
        city.walkers = city.walkerImages();
        const double parkWalk = night ? 0.25 : 0.85;

        // 3. Park paths: lamps at night, then walkers both ways. The lamps of all parks are lit together.
        for (int64_t r = 0; r <= rows; ++r)
            for (int64_t c = 0; c <= columns; ++c) {
                if (City::block(c, r) != City::Block::park) continue;
                const double ox = 160 * static_cast<double>(c), oy = 140 * static_cast<double>(r);
                const Streets::Paths ways = Streets::paths(static_cast<int32_t>(c), static_cast<int32_t>(r));
                struct Way {
                    std::vector<cg::Point> points;
                    bool eastWest;
                };
                std::vector<Way> paths;
                if (ways.eastWest) {
                    const Streets::Meander& m = *ways.eastWest;
                    Way way{{}, true};
                    for (double x = 21; x <= 153; x += 12)
                        way.points.push_back(
                            {ox + x - 2, oy + m.offset + m.amplitude * std::sin(x * m.frequency + m.phase) - 2});
                    paths.push_back(std::move(way));
                }
                if (ways.northSouth) {
                    const Streets::Meander& m = *ways.northSouth;
                    Way way{{}, false};
                    for (double y = 21; y <= 129; y += 12)
                        way.points.push_back(
                            {ox + m.offset + m.amplitude * std::sin(m.phase + m.frequency * y) - 2, oy + y - 2});
                    paths.push_back(std::move(way));
                }

                if (night) {
                    std::vector<cg::Point> lamps;
                    for (const Way& way : paths)
                        for (const std::size_t i : {2, 5, 8}) {
                            const cg::Point q = way.points[i];
                            const cg::Point lamp = way.eastWest ? cg::Point{q.x, q.y + 3} : cg::Point{q.x + 3, q.y};
                            if (!ground(lamp)) continue;
                            if (!(parkwayAt(c, r, lamp.x + 2 - ox, lamp.y + 2 - oy).pond > 2)) continue;
                            auto apart = [&](cg::Point o) { return distance(o, lamp) > 24; };
                            if (!std::all_of(lamps.begin(), lamps.end(), apart)) continue;
                            if (!clear(lamp.x - 16, lamp.y - 16, 32, 32)) continue;
                            lamps.push_back(lamp);
                            parkLamps.push_back(flip(lamp));
                        }
                }

                for (const Way& way : paths) {
                    if (!walkable(way.points, anywhere)) continue;
                    const cg::Point p1 = way.points[1];
                    if (rand(p1, 70) < parkWalk) city.stroll(way.points, rand(p1, 80));
                    if (rand(p1, 71) < parkWalk) city.stroll(reversed(way.points), rand(p1, 81));
                }
            }

        std::size_t vacantNumber = 0;
        const double plazaWalk = night ? 0.3 : 0.8;
        for (int64_t r = 0; r <= rows; ++r)
            for (int64_t c = 0; c <= columns; ++c) {
                const City::Block kind = City::block(c, r);
                const double ox = 160 * static_cast<double>(c), oy = 140 * static_cast<double>(r);
                if (kind == City::Block::carPark) {
                    const VacantPlan& plan = vacant[vacantNumber++];
                    for (const cg::Point& l : plan.posts) postLights.push_back(flip({ox + l.x - 2, oy + l.y - 2}));
                } else if (kind == City::Block::plaza) {
                    const cg::Point m = middleOf(c, r);
                    const VacantPlan& plan = vacant[vacantNumber++];
                    if (fountainAt(m)) {
                        // A plaza's light stands at its fountain.
                        if (night) plazaLights.push_back(flip(m));
                        Sprite sp;
                        sp.kind = Sprite::Kind::fountain;
                        sp.at = flip(m);
                        sp.size = 11 + 5 * rand(m, 9);
                        sp.phase = rand(m, 0);
                        sp.travel = 0;
                        sp.color = night ? 0xCFEFFF : 0xFFFFFF;
                        sprites.push_back(std::move(sp));
                    }
                    const std::vector<cg::Point>& planned = plan.planned;

                    // Four crossings, each a gentle bow between two sides of the plaza.
                    auto su = [&m](uint64_t j) { return rand(m, j); };
                    for (uint64_t k = 0; k < 4; ++k) {
                        const double u = 40 + 80 * su(61 + 10 * k), v = 40 + 80 * su(62 + 10 * k);
                        const bool westEast = su(60 + 10 * k) < 0.5;
                        const cg::Point P =
                            westEast ? cg::Point{ox + 23 - 2, oy + u - 2} : cg::Point{ox + u + 10 - 2, oy + 23 - 2};
                        const cg::Point Q =
                            westEast ? cg::Point{ox + 157 - 2, oy + v - 2} : cg::Point{ox + v + 10 - 2, oy + 137 - 2};
                        double bow = 0.2 + 0.15 * su(64 + 10 * k);
                        if (su(63 + 10 * k) >= 0.5) bow = -bow;
                        const cg::Point middle{(P.x + Q.x) / 2 + (Q.y - P.y) * bow,
                                               (P.y + Q.y) / 2 - (Q.x - P.x) * bow};
                        std::vector<cg::Point> route = {P, middle, Q};
                        if (!(su(59 + k) < plazaWalk)) continue;
                        const bool open = walkable(route, [&](cg::Point q) {
                            if (!(distance(q, m) > 18)) return false;
                            auto spaced = [&](cg::Point t) { return distance(q, t) > 7.5; };
                            return std::all_of(planned.begin(), planned.end(), spaced);
                        });
                        if (!open) continue;
                        if (!(su(65 + 10 * k) < 0.5)) route = reversed(route);
                        city.stroll(route, su(66 + 10 * k));
                    }
                }
            }

        const double paveWalk = night ? 0.2 : 0.6;
        for (int64_t r = 0; r <= rows; ++r)
            for (int64_t c = 0; c <= columns; ++c) {
                if (City::block(c, r) != City::Block::built) continue;
                const cg::Point O = originOf(c, r);
                for (uint64_t l = 0; l < 4; ++l) {
                    if (!(rand(O, 40 + l) < paveWalk)) continue;
                    const int e = rand(O, 44 + l) < 0.5 ? 1 : 0;
                    std::vector<cg::Point> route;
                    // The longer line into the next cell goes first.
                    for (int reach = e; reach >= 0 && route.empty(); --reach) {
                        std::vector<cg::Point> candidate = City::pavementLine(O, l, reach == 1);
                        if (walkable(candidate, anywhere)) route = std::move(candidate);
                    }
                    if (route.empty()) continue;
                    if (!(rand(O, 48 + l) < 0.5)) route = reversed(route);
                    city.stroll(route, rand(O, 52 + l));
                }
            }

        // The beacons on the roof props.
        {
            auto beacon = [&](cg::Point at, double phase, double travel) {
                Sprite sp;
                sp.kind = Sprite::Kind::star;
                sp.at = at;
                sp.size = 1;
                sp.phase = phase;
                sp.travel = travel;
                sp.color = 0xFF4D4D;
                sprites.push_back(std::move(sp));
            };
            for (const auto& [p, big] : beacons) {
                const cg::Point d = flip(p);
                if (!night) break;
                if (big && rand(p, 5) < 0.3) beacon({d.x + 5, d.y + 5}, rand(p, 6), 1.4 + 0.4 * rand(p, 7));
                if (!big && rand(p, 1) < 0.3) beacon({d.x + 7, d.y + 7}, rand(p, 2), 1.4 + 0.4 * rand(p, 3));
            }
        }

        // 8. At night, street lamps at the block corners (their pools lie far apart).
        if (night)
            for (int64_t r = 0; r <= rows; ++r)
                for (int64_t c = 0; c <= columns; ++c) {
                    const cg::Point lamp{160 * static_cast<double>(c) + 19.5,
                                         140 * static_cast<double>(r) + 19.5};
                    if (!ground(lamp) || !ground({lamp.x + 12, lamp.y}) || !ground({lamp.x, lamp.y + 12}))
                        continue;
                    if (!clear(lamp.x - 20, lamp.y - 20, 40, 40)) continue;
                    streetLamps.push_back(flip(lamp));
                }
    };
    // No sprite hangs on a drawing, so all of them are made while the pictures are drawn, on a list of their
    // own: the people's, then 8. at night blinking windows, 9. by day birds circling clear of the icons and
    // cloud shadows; then the airliner and the street traffic. The people's pass also finds where the lamps
    // stand, so the scene's night lights wait for it alone.
    auto placePeople = [&] {
        peoplePlaced.run([&] {
            planAllCells();
            roofsPlaced.run(roofSpots);
            std::vector<Sprite> saved = std::move(sprites);
            sprites.clear();
            people();
            early = std::move(sprites);
            sprites = std::move(saved);
        });
    };
    auto ending = [&] {
        placePeople();
        std::vector<Sprite> saved = std::move(sprites);
        sprites = std::move(early);
        if (night) {
            city.windowLights();
        } else {
            const auto open = [&](cg::Point p) { return clear(p.x - 66, p.y - 52, 132, 104); };
            for (const cg::Point& p : spots(3, 600, 320, 2, open)) bird(p, 54, 42, 16, 0x4F5561, 3.5);
        }
        early = std::move(sprites);
        sprites.clear();
        city.flyover();
        city.traffic(kVehicleColors, [this](cg::Point p) { return solid(p) < 0.03f; });
        late = std::move(sprites);
        sprites = std::move(saved);
    };
    std::vector<cg::ImageRef> grovePictures, cellPictures, propPictures;
    // The pictures of pieces [first, last) into the same slots of `out`.
    auto drawSet = [&](dispatch::Once& once, const std::vector<City::Piece>& pieces, std::size_t first,
                       std::size_t last, std::vector<cg::ImageRef>& out) {
        once.run([&] {
            out.resize(pieces.size());
            std::vector<cg::ImageRef> made = offscreenEach(
                last - first, [&](Art& worker, std::size_t i) { return city.picture(worker, pieces[first + i]); });
            std::move(made.begin(), made.end(), out.begin() + static_cast<std::ptrdiff_t>(first));
        });
    };
    auto drawGrove = [&] {
        treesPlaced.run(treeSpots);
        drawSet(groveDrawn, grove, 0, grove.size(), grovePictures);
    };
    auto drawVacant = [&] {
        planAllCells();
        drawSet(vacantDrawn, cells, 0, vacantCount, cellPictures);
    };
    auto drawPavement = [&] {
        // Both cell sets fill one list, sized by the first.
        drawVacant();
        drawSet(pavementDrawn, cells, vacantCount, cells.size(), cellPictures);
    };
    auto drawProps = [&] {
        roofsPlaced.run(roofSpots);
        drawSet(propsDrawn, props, 0, props.size(), propPictures);
    };

    // One lot laid in a pass: pieces [first, last) of `pieces` with their pictures.
    struct Lot {
        const std::vector<City::Piece>* pieces;
        const std::vector<cg::ImageRef>* pictures;
        std::size_t first, last;
    };
    // The lots in order, with the arcade strips before lot `stripsBefore` (after the last lot when it is
    // the lot count; none when it is beyond).
    auto layBands = [&](const std::vector<Lot>& lots, std::size_t stripsBefore) {
        const bool withStrips = stripsBefore <= lots.size() && !strips.empty();
        // A pass with nothing to lay would leave every pixel as it was.
        const bool anyPiece = std::any_of(lots.begin(), lots.end(), [](const Lot& l) { return l.first < l.last; });
        if (!anyPiece && !withStrips) return;
        paintInBands([&](Art& worker, const cg::Rect& area) {
            City painter(worker);
            // What lies within `reach` of a centre at height y.
            auto meets = [&](double y, double reach) {
                return !(y + reach + 1 < area.minY() || y - reach - 1 > area.maxY());
            };
            for (std::size_t k = 0; k <= lots.size(); ++k) {
                if (withStrips && k == stripsBefore)
                    for (const auto& [q, along] : strips)
                        // A strip stays within 10 points of its centre.
                        if (meets(q.y, 10)) vault(worker, q, along);
                if (k == lots.size()) break;
                const Lot& lot = lots[k];
                for (std::size_t i = lot.first; i < lot.last; ++i) {
                    const City::Piece& piece = (*lot.pieces)[i];
                    if (meets(piece.centre.y, piece.reach)) painter.lay(piece, (*lot.pictures)[i]);
                }
            }
        });
    };
    constexpr std::size_t kNoStrips = std::numeric_limits<std::size_t>::max();

    // The drawing into the scene, in its order; it asks for each set of pictures as it needs it, so at
    // night the later sets are still being drawn by the other jobs while the first lots and pools go down.
    auto paintScene = [&](const std::function<void()>& groveDrawn) {
        drawGrove();
        groveDrawn();
        if (!night) {
            drawPavement();
            drawProps();
            layBands({{&grove, &grovePictures, 0, grove.size()},
                      {&cells, &cellPictures, 0, cells.size()},
                      {&props, &propPictures, 0, props.size()}},
                     2);
            return;
        }
        layBands({{&grove, &grovePictures, 0, grove.size()}}, kNoStrips);
        placePeople();
        // The park lamps light the grove. A lamp's dot lies beyond the reach of every other pool: drawing
        // the dots last changes nothing.
        city.lamplights(0x9E7E4A, parkLamps, 18);
        dots(0xFFF3D0, parkLamps, 1.6);
        // Every lit pool of step 4 stays inside its own cell, so the plaza pools (under their trees) can
        // all be lit first and the car park pools (over their cars) all last.
        city.lamplights(0x8E9298, plazaLights, 30);
        drawVacant();
        layBands({{&cells, &cellPictures, 0, vacantCount}}, kNoStrips);
        // A post's dot lies beyond the reach of the other posts' pools.
        city.lamplights(0x8E9298, postLights, 28);
        dots(0xF4F8FF, postLights, 2.2);
        // The pavement trees, arcades and roof props, then the street lamps over them.
        drawPavement();
        drawProps();
        layBands({{&cells, &cellPictures, vacantCount, cells.size()}, {&props, &propPictures, 0, props.size()}}, 1);
        city.lamplights(0x9E7E4A, streetLamps, 30);
        dots(0xFFF3D0, streetLamps, 2.4);
    };
    // Beside the scene, on the loop threads: the cells' plans, the roof props' placement and the people's
    // pass, which the night's lamps wait for; the roof props' pictures, then the other sprites; the cells'
    // pictures; by day the cloud shadows, made on a painter of their own. At night the scene lays the grove
    // first, so the heavier of these start only once its pictures are drawn: they then fill the threads
    // that the lamp pools and the later lots leave idle. None of them reads the scene's pixels, and the
    // scene is drawn by this thread itself, never as a loop's task: a thread shading the ground that took
    // it up while waiting would wait for its own shading.
    auto propsAndSprites = [&] {
        drawProps();
        ending();
    };
    auto cloudShadows = [&] {
        if (!night) clouds = cloudShadowSprites(3, 0.1, 0x000000);
    };
    if (dispatch::threadCount() > 1) {
        const dispatch::Background placing(placePeople);
        std::optional<dispatch::Background> spritesMade, cellSets, shadows;
        auto startTheRest = [&] {
            spritesMade.emplace(propsAndSprites);
            cellSets.emplace(drawPavement);
            shadows.emplace(cloudShadows);
        };
        if (!night) startTheRest();
        paintScene([&] {
            if (night) startTheRest();
        });
    } else {
        paintScene([] {});
        propsAndSprites();
        cloudShadows();
    }
    // The sprites made alongside the pictures close the list, in their order.
    for (std::vector<Sprite>* made : {&early, &clouds, &late})
        for (Sprite& sprite : *made) sprites.push_back(std::move(sprite));
}
