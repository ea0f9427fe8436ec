#include "Renderer/Streets.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/Random.h"
#include "Renderer/SteadyMath.h"

namespace Streets {
namespace {

// Hash seeds of the block questions.
constexpr uint32_t parkSeed = 24301;  // 0x5EED
constexpr uint32_t vacantSeed = 21;
constexpr uint32_t carParkSeed = 31;
constexpr uint32_t tintSeed = 11;

float corner(int32_t bx, int32_t by, uint32_t s) { return valueCorner(bx, by, s); }
float unit(int32_t bx, int32_t by, uint32_t s) { return 0.5f * corner(bx, by, s) + 0.5f; }

Meander meander(int32_t bx, int32_t by, float offset, uint32_t s) {
    Meander m;
    m.offset = offset;
    m.amplitude = 5.0f + 9.0f * unit(bx, by, s);
    m.frequency = 6.283185f / (110.0f + 70.0f * unit(bx, by, s + 1));  // wavelengths of 110 to 180 points
    m.phase = 6.28f * unit(bx, by, s + 2);
    return m;
}

Meander northSouth(int32_t bx, int32_t by) { return meander(bx, by, 55.0f + 70.0f * unit(bx, by, 46), 47); }

// The library's sine, cosine and atan2, or our own (the same bits everywhere, and in eight lanes).
struct LibraryTrig {
    static float sin(float x) { return std::sin(x); }
    static float cos(float x) { return std::cos(x); }
    static float atan2(float y, float x) { return std::atan2(y, x); }
};
struct SteadyTrig {
    static float sin(float x) { return steady::sin(x); }
    static float cos(float x) { return steady::cos(x); }
    static float atan2(float y, float x) { return steady::atan2(y, x); }
};

// Distance across a curve c = o + a·sin(f·t + φ), divided by the slope factor.
template <class T>
float curveDistance(const Meander& m, float along, float across) {
    const float arg = m.frequency * along + m.phase;
    const float slope = m.amplitude * m.frequency * T::cos(arg);
    return std::fabs(across - (m.offset + m.amplitude * T::sin(arg))) / std::sqrt(1.0f + slope * slope);
}

// floor(q) as a block index; far outside any screen the index saturates instead of overflowing.
int32_t blockIndex(float q) {
    const float f = std::floor(q);
    if (!(f > -2147483648.0f)) return INT32_MIN;  // also NaN
    if (f >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(f);
}

}  // namespace

Spot locate(float x, float y) {
    Spot s;
    s.bx = blockIndex((x + 2.0f) / 160.0f);
    s.by = blockIndex((y + 2.0f) / 140.0f);
    s.lx = x + 2.0f - 160.0f * static_cast<float>(s.bx);
    s.ly = y + 2.0f - 140.0f * static_cast<float>(s.by);
    return s;
}

bool park(int32_t bx, int32_t by) { return corner(bx, by, parkSeed) < -0.45f; }

Paths paths(int32_t bx, int32_t by) {
    Paths p;
    if (unit(bx, by, 40) < 0.75f) {
        p.eastWest = meander(bx, by, 50.0f + 60.0f * unit(bx, by, 41), 42);
        if (unit(bx, by, 45) < 0.75f) p.northSouth = northSouth(bx, by);
    } else {
        p.northSouth = northSouth(bx, by);
    }
    return p;
}

std::optional<Pond> pond(int32_t bx, int32_t by, const Paths& p) {
    if (!(unit(bx, by, 50) < 0.5f)) return std::nullopt;
    Pond o;
    o.rx = 20.0f + 9.0f * unit(bx, by, 51);
    o.ry = 11.0f + 5.0f * unit(bx, by, 52);
    o.cx = 60.0f + 60.0f * unit(bx, by, 53);
    const float u54 = unit(bx, by, 54);
    // The pond lies on the far side of an east-west path.
    if (!p.eastWest) o.cy = 55.0f + 50.0f * u54;
    else if (p.eastWest->offset <= 80.0f) o.cy = 104.0f + 10.0f * u54;
    else o.cy = 46.0f + 10.0f * u54;
    o.phi = 6.28f * unit(bx, by, 55);
    return o;
}

namespace {

template <class T>
Parkway parkwayWith(int32_t bx, int32_t by, float lx, float ly) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    const Paths p = paths(bx, by);
    const float dEW = p.eastWest ? curveDistance<T>(*p.eastWest, lx, ly) : inf;
    const float dNS = p.northSouth ? curveDistance<T>(*p.northSouth, ly, lx) : inf;
    Parkway out{std::min(dNS, dEW), inf};
    if (const std::optional<Pond> o = pond(bx, by, p)) {
        const float nx = (lx - o->cx) / o->rx, ny = (ly - o->cy) / o->ry;
        const float theta = T::atan2(ny, nx);
        out.pond = (std::sqrt(nx * nx + ny * ny) - 1.0f - 0.13f * T::sin(o->phi + 3.0f * theta) -
                    0.06f * T::sin(2.0f * o->phi + 5.0f * theta)) *
                   o->ry;
    }
    return out;
}

}  // namespace

Parkway parkway(int32_t bx, int32_t by, float lx, float ly, Trig trig) {
    return trig == Trig::steady ? parkwayWith<SteadyTrig>(bx, by, lx, ly) : parkwayWith<LibraryTrig>(bx, by, lx, ly);
}

bool vacant(int32_t bx, int32_t by) {
    if (park(bx, by)) return false;
    return corner(bx, by, vacantSeed) <= -0.4f;
}

bool carPark(int32_t bx, int32_t by) { return vacant(bx, by) && corner(bx, by, carParkSeed) > -0.3f; }

bool built(int32_t bx, int32_t by, int column, int row) {
    if (park(bx, by) || corner(bx, by, vacantSeed) <= -0.4f) return false;
    const int first = corner(bx, by, 22) > 0.2f ? 2 : 1;
    const int last = corner(bx, by, 23) > 0.2f ? 6 : 7;
    const int top = corner(bx, by, 24) > 0.4f ? 2 : 1;
    const int bottom = corner(bx, by, 25) > 0.4f ? 4 : 5;
    int alley = -1;
    // (corner + 1)·1.2 lies in [0, 2.4]: the alley is column 3, 4 or 5.
    if (corner(bx, by, 26) > 0.1f) alley = 3 + static_cast<int>((corner(bx, by, 27) + 1.0f) * 1.2f);
    return first <= column && column <= last && top <= row && row <= bottom && column != alley;
}

void snap(Grid& v, Grid& tex, const std::vector<cg::Rect>& keep) {
    if (v.cols <= 0 || v.rows <= 0) return;
    // Each band of five grid rows reads and writes only its own rows.
    dispatch::concurrentPerform(static_cast<std::size_t>((v.rows - 1) / 5 + 1), [&](std::size_t band) {
        const auto i = static_cast<int64_t>(band);
        const int64_t j0 = 5 * i, j1 = std::min(5 * i + 4, v.rows - 1);  // grid rows
        for (int64_t j = 0; j <= (v.cols - 1) / 5; ++j) {
            const int64_t i0 = 5 * j, i1 = std::min(5 * j + 4, v.cols - 1);  // grid columns
            bool high = false;
            for (int64_t gj = j0; gj <= j1 && !high; ++gj)
                for (int64_t gi = i0; gi <= i1; ++gi)
                    if (v.at(gi, gj) >= 0.3f) {
                        high = true;
                        break;
                    }
            const auto bx = static_cast<int32_t>(j / 8), by = static_cast<int32_t>(i / 7);
            const int column = static_cast<int>(j % 8), row = static_cast<int>(i % 7);
            float value;
            if (column == 0 || row == 0 || row == 6) {
                // Streets and the free last row stay flat except under a Desktop icon.
                const cg::Rect cell(20.0 * static_cast<double>(j) - 2, 20.0 * static_cast<double>(i) - 2, 20, 20);
                value = std::any_of(keep.begin(), keep.end(), [&](const cg::Rect& k) { return cell.intersects(k); })
                            ? 1.0f
                            : 0.0f;
            } else {
                // Plots under the hills around icons are always built on.
                value = high || built(bx, by, column, row) ? 1.0f : 0.0f;
            }
            const float tint = corner(bx, by, tintSeed);
            for (int64_t gj = j0; gj <= j1; ++gj)
                for (int64_t gi = i0; gi <= i1; ++gi) {
                    v.at(gi, gj) = value;
                    tex.at(gi, gj) = tint;
                }
        }
    });
}

}  // namespace Streets
