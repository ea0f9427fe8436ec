// The skyline's plan: a downtown centre drawn from the seed, then parcel by parcel the yards round the
// icons, glass towers near the centre, flat houses and shops further out, gabled houses at the edge,
// and trees in the parks. Every choice inside a parcel is a hash of the parcel's corner, so a block
// looks the same whatever happens elsewhere; only an icon's own neighbourhood changes when it moves.

#include <algorithm>
#include <cmath>
#include <limits>

#include "Art/City.h"
#include "Art/Skyline.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/Random.h"
#include "Renderer/Streets.h"

namespace {

constexpr uint32_t kParkSalt = 0xD80AA6DD;
constexpr uint64_t kParkTreeSalt = 2000001;

constexpr uint32_t kTowerWalls[] = {0x7EA8CB, 0x6A93B8, 0x8FB4C9, 0x5F7FA3};
constexpr uint32_t kHouseWalls[] = {0xB9573F, 0xE6D6B0, 0xD98F62, 0xAEB4BC, 0x9CC8B2, 0xC97C5D, 0xEFE7D6};
constexpr uint32_t kGableWalls[] = {0xF1E7D3, 0xE8D2AE, 0xD2DFE6, 0xF0DCC8, 0xE3E6D3};
constexpr uint32_t kGableRoofs[] = {0xC2553A, 0xA8432F, 0x8A5A44, 0x5D6F86, 0xB4643E};

// Table entry Int(n·u) for a hash u in [0, 1).
template <std::size_t N>
uint32_t pick(const uint32_t (&table)[N], double u) {
    const double q = std::floor(static_cast<double>(N) * u);
    const std::size_t i = q > 0 ? static_cast<std::size_t>(std::min(q, static_cast<double>(N - 1))) : 0;
    return table[i];
}

// Int(q) of a screen extent; NaN and negatives give 0.
int64_t whole(double q) {
    return q > 0 ? (q < 1e9 ? static_cast<int64_t>(q) : 1000000000) : 0;
}

}  // namespace

Art::Skyline::Skyline(Art& a) : art(a), night(a.s.night), lights(&a.sprites) {}

float Art::Skyline::cellValue(int64_t column, int64_t row) {
    return random_detail::corner(static_cast<uint32_t>(column), static_cast<uint32_t>(row), kParkSalt);
}

bool Art::Skyline::park(int64_t column, int64_t row) { return cellValue(column, row) < -0.45f; }

cg::Rect Art::Skyline::parcel(int64_t column, int64_t row) {
    return {160 * static_cast<double>(column) + 21.5, 140 * static_cast<double>(row) + 21.5, 133, 113};
}

int64_t Art::Skyline::lastColumn() const { return whole(art.W() / 160) + 1; }
int64_t Art::Skyline::lastRow() const { return whole(art.H() / 140) + 1; }

double Art::Skyline::centrality(const cg::Rect& p) const {
    const double d = std::hypot(p.midX() - centre.x, p.midY() - centre.y);
    const double q = d / reach;
    return std::exp(-(q * q));
}

double Art::Skyline::lean(const Mass& m) { return m.z1 + m.ridge + (m.kind == Mass::Kind::glass ? 14 : 3); }

cg::Rect Art::Skyline::outline(const Mass& m) {
    const double h = lean(m);
    return m.f.unionWith(m.f.offsetBy(kx * h, ky * h));
}

bool Art::Skyline::room(const Mass& m) const {
    const cg::Rect around = outline(m).insetBy(-3, -3);
    return std::none_of(art.keep.begin(), art.keep.end(), [&](const cg::Rect& k) { return around.intersects(k); });
}

void Art::Skyline::plantTree(cg::Point p, double r) {
    const cg::Rect crown(p.x - r - 4, p.y - 2.6 * r - 4, 2 * r + 8, 2.6 * r + 6);
    for (const cg::Rect& k : art.keep)
        if (crown.intersects(k)) return;
    trees.push_back({p, r});
}

void Art::Skyline::fit(Mass m) {
    if (!room(m)) {
        auto shrinkable = [](const Mass& b) { return b.kind == Mass::Kind::gable ? b.z1 > 6 : b.z1 > 9; };
        while (shrinkable(m)) {
            m.z1 = 0.75 * m.z1;
            // Too low for a tower: an ordinary flat roof, without crown or antenna.
            if (m.kind == Mass::Kind::glass && m.z1 < 40) m.kind = Mass::Kind::flat;
            if (room(m)) break;
        }
    }
    if (room(m)) masses.push_back(m);
    else plantTree(m.f.mid(), 5);
}

void Art::Skyline::plot(int64_t column, int64_t row) {
    const cg::Rect P = parcel(column, row);
    const cg::Point o{P.minX(), P.minY()};
    auto u = [&o](uint64_t salt) { return Art::rand(o, salt); };
    const bool isPark = park(column, row);

    // 1. A yard round the icons on this parcel.
    {
        const cg::Rect near = P.insetBy(-2, -2);
        cg::Rect under = cg::Rect::null();
        bool any = false;
        for (const cg::Rect& k : art.keep)
            if (k.intersects(near)) {
                under = under.unionWith(k);
                any = true;
            }
        if (any && !isPark) {
            const cg::Rect yard = under.insetBy(-10, -10).intersection(P);
            // Grown by 10, a rect that meets the parcel grown by 2 always reaches into it.
            if (!yard.isNull()) yards.push_back(yard);
        }
    }
    // 2. Parks are planted later.
    if (isPark) return;

    auto yardMeets = [this](const cg::Rect& r) {
        const cg::Rect grown = r.insetBy(-3, -3);
        return std::any_of(yards.begin(), yards.end(), [&](const cg::Rect& y) { return y.intersects(grown); });
    };
    const double c = centrality(P);
    const double width = P.width(), height = P.height();

    if (c > 0.55 && u(1) < 0.8) {
        // 3. Towers.
        const int n = u(2) < 0.6 ? 2 : 1;
        const double w = width / n;
        const double top = 60 + 100 * c;
        for (int i = 0; i < n; ++i) {
            const uint64_t k = static_cast<uint64_t>(i);
            const cg::Rect foot = cg::Rect(P.minX() + w * i, P.minY(), w, height).insetBy(n == 2 ? 9 : 22, 16);
            if (yardMeets(foot)) continue;
            Mass m;
            m.f = foot;
            m.z0 = 0;
            m.z1 = top * (0.6 + 0.4 * u(k + 10));
            m.wall = pick(kTowerWalls, u(k + 20));
            m.roof = 0x9AA3AD;
            m.kind = u(k + 30) < 0.75 ? Mass::Kind::glass : Mass::Kind::flat;
            m.ridge = 0;
            fit(m);
        }
        plantTree({P.minX() + 7, P.minY() + 12}, 4.5);
        plantTree({P.maxX() - 7, P.minY() + 12}, 4.5);
        plantTree({P.minX() + 7, P.maxY() - 4}, 4.5);
        plantTree({P.maxX() - 7, P.maxY() - 4}, 4.5);
    } else if (c > 0.22) {
        // 4. Two rows of three plots: flat houses and shops.
        const double top = 16 + 46 * c;
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < 3; ++i) {
                const uint64_t k = static_cast<uint64_t>(i + 3 * r);
                const cg::Rect lot(P.minX() + i * width / 3, P.minY() + r * height / 2, width / 3, height / 2);
                const cg::Rect Q = lot.insetBy(4 + 3 * u(k + 40), 5 + 4 * u(k + 50));
                if (u(k + 60) < 0.12) {
                    plantTree({Q.midX(), Q.maxY() - 4}, 5.5);
                    continue;
                }
                Mass m;
                m.f = Q;
                m.z0 = 0;
                if (r == 1 && u(k + 70) < 0.35) {
                    if (yardMeets(Q)) continue;
                    m.z1 = 9 + 4 * u(k + 80);
                    m.wall = 0xF3EFE6;
                    m.roof = 0x8C9096;
                    m.kind = Mass::Kind::shop;
                } else {
                    if (yardMeets(Q)) continue;
                    m.z1 = top * (0.6 + 0.6 * u(k + 90));
                    m.wall = pick(kHouseWalls, u(k + 100));
                    m.roof = u(k + 110) < 0.5 ? 0x8E8B86 : 0x737A84;
                    m.kind = Mass::Kind::flat;
                }
                m.ridge = 0;
                fit(m);
            }
    } else {
        // 5. Two rows of four gabled houses with gardens.
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < 4; ++i) {
                const uint64_t k = static_cast<uint64_t>(i + 4 * r);
                if (u(k + 120) < 0.1) continue;
                const cg::Rect lot(P.minX() + i * width / 4, P.minY() + r * height / 2, width / 4, height / 2);
                const cg::Rect foot(lot.minX() + 4, lot.minY() + (r == 0 ? 8 : 20), lot.width() - 8, lot.height() / 2);
                if (!yardMeets(foot)) {
                    Mass m;
                    m.f = foot;
                    m.z0 = 0;
                    m.z1 = 6 + 3 * u(k + 130);
                    m.wall = pick(kGableWalls, u(k + 140));
                    m.roof = pick(kGableRoofs, u(k + 150));
                    m.kind = Mass::Kind::gable;
                    m.ridge = 0.45 * foot.height();
                    fit(m);
                }
                if (u(k + 160) < 0.55) {
                    const double y = r == 0 ? lot.maxY() - 3 : lot.minY() + 13;
                    const double x = lot.midX() + 6 * (u(k + 170) - 0.5);
                    plantTree({x, y}, 4 + 2 * u(k + 180));
                }
            }
    }
}

void Art::Skyline::parkTrees() {
    const std::vector<cg::Point> spots =
        art.spots(kParkTreeSalt, 6000, 12, std::numeric_limits<int64_t>::max(), [this](cg::Point p) {
            const double col = std::floor((p.x + 2) / 160), row = std::floor((p.y + 2) / 140);
            const double lx = p.x + 2 - 160 * col, ly = p.y + 2 - 140 * row;
            // Candidates lie on the screen, so the cell numbers are small.
            const int64_t c = static_cast<int64_t>(std::clamp(col, -1e6, 1e6));
            const int64_t r = static_cast<int64_t>(std::clamp(row, -1e6, 1e6));
            if (!park(c, r)) return false;
            if (!(28 < lx && lx < 152 && 34 < ly && ly < 134)) return false;
            const Streets::Parkway way = Streets::parkway(static_cast<int32_t>(c), static_cast<int32_t>(r),
                                                          static_cast<float>(lx), static_cast<float>(ly));
            if (!(way.path > 7 && way.pond > 6)) return false;
            return std::none_of(yards.begin(), yards.end(), [&](const cg::Rect& y) { return y.contains(p); });
        });
    for (const cg::Point& p : spots) plantTree(p, 4.5 + 2.5 * Art::rand(p, 3));
}

void Art::Skyline::plan() {
    {
        RNG rng(art.s.seed() + 5);
        const double u1 = rng.next();
        const double u2 = rng.next();
        centre = {art.W() * (0.35 + 0.3 * u1), art.H() * (0.35 + 0.3 * u2)};
        reach = 0.38 * std::max(art.W(), art.H());
    }
    for (int64_t row = 0; row <= lastRow(); ++row)
        for (int64_t column = 0; column <= lastColumn(); ++column) plot(column, row);
    parkTrees();
}

void Art::skyline() {
    Skyline sky(*this);
    sky.plan();
    sky.record();
    // The sprites take nothing from the scene's pixels and put nothing into them, and painting adds no
    // sprite, so they are made while the buildings are painted, in their own order.
    dispatch::concurrentPerform(2, [&](std::size_t job) {
        if (job == 0) {
            sky.paint();
            return;
        }
        sky.windows();
        const std::vector<cg::Rect> blockers = sky.blockers();
        sky.traffic(blockers);
        City(*this).flyover();
        if (s.night) sky.lamps(blockers);
        else cloudShadows(2, 0.08, 0x000000);
    });
}
