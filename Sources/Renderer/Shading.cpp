#include "Renderer/Shading.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/CausticRow.h"
#include "Renderer/GrainRow.h"
#include "Renderer/Look.h"
#include "Renderer/NoiseGrid.h"
#include "Renderer/Palette.h"
#include "Renderer/Random.h"
#include "Renderer/SteadyMath.h"
#include "Renderer/Terrain.h"
#include "Renderer/Vec8.h"

namespace Renderer {
namespace {

// The ordered dither is the noise lattice of seed 5 at (column, row).
constexpr uint32_t kDitherSeed = 5u * 0x9E3779B1u;

inline float clampf(float z, float lo, float hi) { return z < lo ? lo : (z > hi ? hi : z); }

// t²(3 − 2t) over t = clamp((z − e0)/(e1 − e0), 0, 1), the span taken as written.
inline float smoothstep(float e0, float e1, float z) {
    const float t = clampf((z - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// A grid read through its raw buffer, with the clamped bilinear sample and its exact per-cell gradient.
struct GridView {
    const float* p;
    int64_t cols;
    float maxX, maxY;

    explicit GridView(const Grid& g)
        : p(g.p.data()), cols(g.cols), maxX(static_cast<float>(g.cols - 2)), maxY(static_cast<float>(g.rows - 2)) {}

    struct Cell {
        const float* r0;
        float fx, fy;
    };
    inline Cell cell(float x, float y) const {
        const float gx = clampf(x / 4, 0.0f, maxX);
        const float gy = clampf(y / 4, 0.0f, maxY);
        const int64_t i = static_cast<int64_t>(gx), j = static_cast<int64_t>(gy);
        return {p + j * cols + i, gx - static_cast<float>(i), gy - static_cast<float>(j)};
    }
    inline float sample(float x, float y) const {
        const Cell c = cell(x, y);
        const float p00 = c.r0[0], p10 = c.r0[1], p01 = c.r0[cols], p11 = c.r0[cols + 1];
        const float r0 = p00 + c.fx * (p10 - p00);
        const float r1 = p01 + c.fx * (p11 - p01);
        return r0 + c.fy * (r1 - r0);
    }
    // The value and the slope per point.
    inline float sample(float x, float y, float& slope) const {
        const Cell c = cell(x, y);
        const float p00 = c.r0[0], p10 = c.r0[1], p01 = c.r0[cols], p11 = c.r0[cols + 1];
        const float r0 = p00 + c.fx * (p10 - p00);
        const float r1 = p01 + c.fx * (p11 - p01);
        const float dx = (p10 - p00) + c.fy * (((p00 - p10) - p01) + p11);
        const float dy = r1 - r0;
        slope = std::sqrt(dx * dx + dy * dy) * 0.25f;
        return r0 + c.fy * (r1 - r0);
    }
};

// Everything derived once per call and shared read-only by the rows.
struct Prepared {
    const Look& look;
    GridView v, body, shade, depth, tex;
    float inv;
    float landAt;
    bool tint;
    float lx, ly;
    bool grain;
    bool cliff;
    bool hasFacade;
};

Prepared prepare(float scale, const Terrain& t, const Look& look) {
    Prepared p{look, GridView(*t.v), GridView(*t.body), GridView(*t.shade), GridView(*t.depth), GridView(*t.tex),
               1.0f / scale, look.land.front().t, false, -0.6f, -0.8f, look.grain > 0, look.cliff > 0,
               static_cast<bool>(look.facade)};
    p.tint = look.shadowTint.x != 1 || look.shadowTint.y != 1 || look.shadowTint.z != 1;
    const float sx = look.shadow.x, sy = look.shadow.y;
    const float len2 = sx * sx + sy * sy;
    if (len2 > 0) {
        const float len = std::sqrt(len2);
        p.lx = -sx / len;
        p.ly = -sy / len;
    }
    for (const Band& b : look.water) p.grain = p.grain || b.ragged > 0;
    for (const Band& b : look.land) p.grain = p.grain || b.ragged > 0;
    return p;
}

inline Float3 applyBands(Float3 colour, const std::vector<Band>& bands, float v, float w, float g, float tex, float m) {
    for (const Band& b : bands) {
        const float h = b.t + g * b.ragged;
        float alpha;
        if (b.soft > 0) {
            alpha = b.a * smoothstep(h - b.soft, b.soft + h, v);
        } else {
            const float f = (v - h) / w + 0.5f;
            alpha = f < 0 ? 0.0f : (f < 1 ? b.a * f : b.a);
        }
        if (alpha <= 0) continue;
        Float3 bc = b.alt ? mix(b.c, *b.alt, m) : b.c;
        bc = bc * (1 + b.mottle * tex);
        colour = mix(colour, bc, alpha);
    }
    return colour;
}

inline uint32_t toByte(float z, float dither) {
    const float zz = z + dither;
    if (!(zz >= 0)) return 0;  // NaN too, which has no byte
    return static_cast<uint32_t>(std::min(zz, 1.0f) * 255 + 0.5f);
}

// The straightforward scalar shading of one row: the reference the fast path must match byte for byte.
void shadeRow(uint32_t* out, int64_t r, int64_t width, const Prepared& P) {
    const Look& L = P.look;
    const float y = (static_cast<float>(r) + 0.5f) * P.inv;
    const float landAt = P.landAt;
    for (int64_t k = 0; k < width; ++k) {
        const float x = (static_cast<float>(k) + 0.5f) * P.inv;

        float slope;
        const float v = P.v.sample(x, y, slope);
        const float w = std::max(0.00001f, slope * P.inv);
        const float tex = P.tex.sample(x, y);

        float g = 0;
        if (P.grain) g = 0.6f * valueNoise(x / 4.5f, y / 4.5f, 71) + 0.4f * valueNoise(x / 1.8f, y / 1.8f, 72);

        Float3 colour = L.base(x, y, tex);

        if (L.ripple > 0 && v < landAt) {
            const float u = 0.8f * x + 0.6f * y;
            const float q = 0.8f * y - 0.6f * x;
            const float n = 0.6f * valueNoise(u / 5, q / 17, 81) + 0.4f * valueNoise(u / 2.2f, q / 7, 82);
            colour = colour * (1 + L.ripple * (1 - smoothstep(0.02f, landAt, v)) * n);
        }

        const float m = smoothstep(0, 1, (tex + 0.25f) / 0.8f);
        if (!L.water.empty()) colour = applyBands(colour, L.water, v, w, g, tex, m);

        if (P.tint) {
            float slopeS;
            const float S = P.shade.sample(x - L.shadow.x, y - L.shadow.y, slopeS);
            const float e = std::max(0.00001f, L.penumbra * slopeS);
            const float f = clampf((S - landAt) / e + 0.5f, 0, 1);
            colour = mix(colour, colour * L.shadowTint, f);
        }

        if (P.cliff) {
            float slopeB;
            const float B = P.body.sample(x, y, slopeB);
            const float e = std::max(0.00001f, slopeB * P.inv);
            const float f = (B - landAt) / e + 0.5f;
            if (f > 0) {
                const float alpha = std::min(f, 1.0f);
                const float D = P.depth.sample(x, y);
                Float3 cc;
                if (P.hasFacade) {
                    cc = L.facade(x, D);
                } else {
                    const float sn = 0.5f * steady::sin(0.9f * D) + 0.5f;
                    const float s = sn * sn;
                    cc = mix(L.cliffDark, L.cliffLight, s) * (1 - 0.35f * std::min(D / L.cliff, 1.0f));
                }
                colour = mix(colour, cc, alpha);
            }
        }

        colour = applyBands(colour, L.land, v, w, g, tex, m);

        const float K = v >= landAt ? L.relief : L.deep;
        if (K > 0) {
            auto lit = [&](float px, float py) {
                const float d = P.v.sample(px, py) - landAt;
                const float c = clampf(d - 0.2f, 0, 0.2f);
                return landAt + std::min(d, 0.4f) - c * c / 0.4f + 0.12f * P.tex.sample(px, py);
            };
            const float hxp = lit(x + 1.5f, y), hxm = lit(x - 1.5f, y);
            const float hyp = lit(x, y + 1.5f), hym = lit(x, y - 1.5f);
            const float Lt = -20 * K * (P.lx * (hxp - hxm) + P.ly * (hyp - hym));
            colour = colour * (1 + clampf(Lt, -0.3f, 0.3f));
        }

        if (L.grain > 0) colour = colour * (1 + L.grain * g * smoothstep(landAt - 0.02f, landAt + 0.02f, v));

        if (L.caustic > 0) {
            colour = colour * (1 + L.caustic * smoothstep(0.06f, landAt + 0.06f, v) *
                                       (1 - 0.35f * smoothstep(landAt + 0.04f, landAt + 0.1f, v)) * ::caustic(x, y));
        }

        // A fixed ordered dither: the lattice hash of the noise at (k, r) with seed 5.
        const float dither =
            (random_detail::corner(static_cast<uint32_t>(k), static_cast<uint32_t>(r), kDitherSeed) * 0.5f) / 255;

        out[k] = 0xFF000000u | (toByte(colour.x, dither) << 16) | (toByte(colour.y, dither) << 8) |
                 toByte(colour.z, dither);
    }
}


// ---------------------------------------------------------------------------------------------------
// The fast path: the same steps on eight pixels at a time, over blocks of up to 512 pixels of a row.
// Everything that depends on the column alone (grid cells and fractions, where each group of eight reads
// the grids) is worked out once per call; everything that depends on the row alone once per block.

constexpr std::size_t kBlock = NoiseRow::kPoints;
using vec8::kLanes;
// Columns kept beyond each end of a row (scene x continued outward), for neighbours of edge pixels.
constexpr int64_t kHalo = 8;
// Rows painted one after the other by one task when the relief lighting shares its heights.
constexpr int64_t kBand = 16;
// Widest shift (in pixels) at which the relief neighbours may be shared.
constexpr int64_t kMaxShift = 8;

// Where one set of sample points (the pixel columns shifted by dx) falls on the grids, for the columns
// −kHalo … padded + kHalo − 1.
struct ColumnCells {
    std::vector<float> fx;             // per column
    std::vector<vec8::Window> groups;  // per group of eight columns

    const float* fxAt(int64_t k) const { return fx.data() + kHalo + k; }
    const vec8::Window& group(int64_t k) const { return groups[static_cast<std::size_t>((k + kHalo) / kLanes)]; }
};

// A band with what can be settled once per call: its kind and, for soft bands without ragging, its
// edges t − soft and soft + t.
struct BandPlan {
    static constexpr int kSoft = 1, kRagged = 2, kAlt = 4, kMottled = 8;
    float t, ragged, a, soft, mottle, e0, e1;
    Float3 c, alt;
    int kind;
};

std::vector<BandPlan> bandPlans(const std::vector<Band>& bands) {
    std::vector<BandPlan> out;
    for (const Band& b : bands) {
        const int kind = (b.soft > 0 ? BandPlan::kSoft : 0) | (b.ragged != 0 ? BandPlan::kRagged : 0) |
                         (b.alt ? BandPlan::kAlt : 0) | (b.mottle != 0 ? BandPlan::kMottled : 0);
        out.push_back({b.t, b.ragged, b.a, b.soft, b.mottle, b.t - b.soft, b.soft + b.t, b.c, b.alt.value_or(b.c), kind});
    }
    return out;
}

struct Plan {
    const Look& look;
    const float *v, *body, *shade, *depth, *tex;
    int64_t cols;
    float maxX, maxY;
    float inv, landAt;
    bool tint, grain, cliff, hasFacade;
    float lx, ly;
    int64_t width;
    std::vector<float> xs;  // scene x of the columns −kHalo … padded + kHalo − 1
    ColumnCells at, shaded, right, left;  // x, x − shadow.x, x + 1.5, x − 1.5
    // When the relief neighbours 1.5 points away are exactly `shift` pixels away (scale 2 gives 3), in
    // both directions and for every pixel, each lit height is worked out once and shared; else 0.
    int64_t shift = 0;
    std::vector<float> table;             // the ground's column table
    std::size_t tableStride = 0;
    std::size_t padded = 0;               // columns rounded up to whole groups
    std::optional<GrainRow::Columns> grainColumns;
    std::vector<float> causticColumns;    // CausticRow::columns of every column
    std::vector<BandPlan> water, land;
    NoiseGrid coarseRipple, fineRipple;  // the ripples' two noises, seeds 81 and 82

    // Grid row and fraction for a scene y, as the point sample clamps them.
    struct Row {
        int64_t j;
        float fy;
    };
    Row row(float y) const {
        const float gy = clampf(y / 4, 0.0f, maxY);
        const int64_t j = static_cast<int64_t>(gy);
        return {j, gy - static_cast<float>(j)};
    }
    const float* xAt(int64_t k) const { return xs.data() + kHalo + k; }
};

ColumnCells columnCells(const std::vector<float>& x, float dx, int64_t cols, float maxX) {
    ColumnCells c;
    const std::size_t n = x.size();
    c.fx.resize(n);
    std::vector<int64_t> cell(n);
    for (std::size_t k = 0; k < n; ++k) {
        const float gx = clampf((x[k] + dx) / 4, 0.0f, maxX);
        cell[k] = static_cast<int64_t>(gx);
        c.fx[k] = gx - static_cast<float>(cell[k]);
    }
    c.groups.resize(n / kLanes);
    for (std::size_t g = 0; g < c.groups.size(); ++g) {
        vec8::Window& w = c.groups[g];
        w.base = cell[g * kLanes];
        for (int l = 0; l < kLanes; ++l) w.off[l] = static_cast<int32_t>(cell[g * kLanes + l] - w.base);
        // Both the cell and its right neighbour must sit in one 8-wide load that stays inside the row.
        w.window = w.off[kLanes - 1] + 1 < kLanes && w.base + kLanes <= cols;
    }
    return c;
}

// The four corners of the cells eight points fall in, on grid row j.
struct Corners {
    Vec8 p00, p10, p01, p11;
};
VEC8_INLINE Corners corners(const float* grid, int64_t cols, int64_t j, const vec8::Window& w) {
    const float* r0 = grid + j * cols;
    const float* r1 = r0 + cols;
    if (w.off[kLanes - 1] == 0) {  // all eight in one cell (always so at scale 2): broadcasts
        const float* p = r0 + w.base;
        return {vec8::splat(p[0]), vec8::splat(p[1]), vec8::splat(p[cols]), vec8::splat(p[cols + 1])};
    }
    return {vec8::take(r0, w, 0), vec8::take(r0, w, 1), vec8::take(r1, w, 0), vec8::take(r1, w, 1)};
}
VEC8_INLINE Vec8 bilinear(const Corners& c, Vec8 fx, float fy) {
    const Vec8 r0 = c.p00 + fx * (c.p10 - c.p00);
    const Vec8 r1 = c.p01 + fx * (c.p11 - c.p01);
    return r0 + fy * (r1 - r0);
}
VEC8_INLINE Vec8 bilinear(const Corners& c, Vec8 fx, float fy, Vec8& slope) {
    const Vec8 r0 = c.p00 + fx * (c.p10 - c.p00);
    const Vec8 r1 = c.p01 + fx * (c.p11 - c.p01);
    const Vec8 dx = (c.p10 - c.p00) + fy * (((c.p00 - c.p10) - c.p01) + c.p11);
    const Vec8 dy = r1 - r0;
    slope = vec8::sqrt(dx * dx + dy * dy) * 0.25f;
    return r0 + fy * (r1 - r0);
}

// One band over eight pixels, compiled for its kind. Without ragging its threshold is t itself (t + g·0
// is t), so a soft band's edges are the constants e0 and e1; without mottle its colour factor is exactly
// 1 and left out.
template <int Kind>
VEC8_INLINE void applyBand(const BandPlan& b, vec8::Rgb8& colour, Vec8 v, Vec8 w, Vec8 g, Vec8 tex, Vec8 m) {
    using namespace vec8;
    constexpr bool soft = Kind & BandPlan::kSoft, ragged = Kind & BandPlan::kRagged;
    constexpr bool alt = Kind & BandPlan::kAlt, mottled = Kind & BandPlan::kMottled;
    Vec8 alpha;
    if constexpr (soft) {
        if constexpr (ragged) {
            const Vec8 h = b.t + g * b.ragged;
            alpha = b.a * vec8::smoothstep(h - b.soft, b.soft + h, v);
        } else {
            alpha = b.a * vec8::smoothstep(b.e0, b.e1, v);
        }
    } else {
        const Vec8 h = ragged ? b.t + g * b.ragged : splat(b.t);
        const Vec8 f = (v - h) / w + 0.5f;
        alpha = select(f < 0.0f, splat(0.0f), select(f < 1.0f, b.a * f, splat(b.a)));
    }
    const Ivec8 on = !(alpha <= 0.0f);
    if (!any(on)) return;
    Rgb8 bc = alt ? mix(b.c, b.alt, m) : splat(b.c);
    if constexpr (mottled) bc = bc * (1.0f + b.mottle * tex);
    colour = select(on, mix(colour, bc, alpha), colour);
}

template <int... Kinds>
VEC8_INLINE void applyBandOfKind(int kind, const BandPlan& b, vec8::Rgb8& colour, Vec8 v, Vec8 w, Vec8 g, Vec8 tex,
                                 Vec8 m, std::integer_sequence<int, Kinds...>) {
    ((kind == Kinds ? applyBand<Kinds>(b, colour, v, w, g, tex, m) : void()), ...);
}

VEC8_INLINE vec8::Rgb8 applyBands8(vec8::Rgb8 colour, const std::vector<BandPlan>& bands, Vec8 v, Vec8 w, Vec8 g,
                                   Vec8 tex, Vec8 m) {
    for (const BandPlan& b : bands)
        applyBandOfKind(b.kind, b, colour, v, w, g, tex, m, std::make_integer_sequence<int, 16>{});
    return colour;
}

// The lit height of the relief lighting, H = landAt + min(d, 0.4) − clamp(d − 0.2, 0, 0.2)²/0.4 + 0.12·tex
// with d = v − landAt, from the height and texture samples at the same points.
VEC8_INLINE Vec8 litHeight(Vec8 v, Vec8 tex, float landAt) {
    using namespace vec8;
    const Vec8 d = v - landAt;
    const Vec8 c = vec8::clamp(d - 0.2f, 0.0f, 0.2f);
    return landAt + stdMin(d, splat(0.4f)) - c * c / 0.4f + 0.12f * tex;
}

// Lit heights of a band of rows at the columns of one block and kHalo more on each side: row `first`
// + i, column k0 − kHalo + j at at(i)[j].
struct LitRows {
    static constexpr std::size_t kStride = kBlock + 2 * kHalo;
    int64_t first = 0;
    float* p = nullptr;
    VEC8_INLINE const float* at(int64_t row) const { return p + static_cast<std::size_t>(row - first) * kStride; }
};

// Fills rows rowBegin … rowEnd − 1 of a LitRows for the m columns from k0 (with their halo).
VEC8_AVX2 void litRows(const Plan& P, int64_t rowBegin, int64_t rowEnd, int64_t k0, std::size_t m, float* out) {
    using namespace vec8;
    for (int64_t row = rowBegin; row < rowEnd; ++row) {
        const Plan::Row at = P.row((static_cast<float>(row) + 0.5f) * P.inv);
        float* line = out + static_cast<std::size_t>(row - rowBegin) * LitRows::kStride;
        for (int64_t col = k0 - kHalo; col < k0 + static_cast<int64_t>(m) + kHalo; col += kLanes) {
            const vec8::Window& w = P.at.group(col);
            const Vec8 fx = load(P.at.fxAt(col));
            const Vec8 v = bilinear(corners(P.v, P.cols, at.j, w), fx, at.fy);
            const Vec8 t = bilinear(corners(P.tex, P.cols, at.j, w), fx, at.fy);
            store(line + (col - (k0 - kHalo)), litHeight(v, t, P.landAt));
        }
    }
}

// toByte on eight lanes.
VEC8_INLINE Ivec8 toBytes(Vec8 z, Vec8 dither) {
    using namespace vec8;
    const Vec8 zz = z + dither;
    // Lanes with zz ≥ 0 convert a value within [0.5, 255.5]; the others (NaN too) give 0.
    return __builtin_convertvector(select(zz >= 0.0f, stdMin(zz, splat(1.0f)) * 255.0f + 0.5f, splat(0.0f)), Ivec8);
}

// One block of n pixels (k0 … k0 + n − 1) of row r; `shared` holds the lit heights when P.shift is set.
VEC8_INLINE void shadeBlockBody(const Plan& P, int64_t r, int64_t k0, std::size_t n, uint32_t* out,
                                const LitRows* shared) {
    using namespace vec8;
    const Look& L = P.look;
    const float inv = P.inv;
    const float y = (static_cast<float>(r) + 0.5f) * inv;
    const float landAt = P.landAt;
    const std::size_t m = (n + kLanes - 1) / kLanes * kLanes;
    const float* X = P.xAt(k0);
    const Plan::Row at = P.row(y);

    // Texture and grain for the whole block, then the ground colour.
    alignas(32) float texs[kBlock], grains[kBlock], red[kBlock], green[kBlock], blue[kBlock];
    GrainRow grain;
    if (P.grain) grain.build(*P.grainColumns, static_cast<std::size_t>(k0), m, y);
    for (std::size_t k = 0; k < m; k += kLanes) {
        const Corners c = corners(P.tex, P.cols, at.j, P.at.group(k0 + static_cast<int64_t>(k)));
        store(texs + k, bilinear(c, load(P.at.fxAt(k0 + static_cast<int64_t>(k))), at.fy));
        store(grains + k, P.grain ? grain.at(k) : splat(0.0f));
    }
    // The fixed ordered dither: the lattice hash of the noise at (k, r) with seed 5. Worked out here, in a
    // short loop whose divisions overlap, rather than at the end of each group's long chain.
    alignas(32) float dithers[kBlock];
    for (std::size_t k = 0; k < m; k += kLanes) {
        const Uvec8 column = (Uvec8)(splati(static_cast<int32_t>(k0 + static_cast<int64_t>(k))) + iota());
        const Vec8 lattice = cornerValue(column, (Uvec8)splati(static_cast<int32_t>(r)), kDitherSeed);
        store(dithers + k, (lattice * 0.5f) / 255.0f);
    }
    if (L.base.run) {
        GroundRun run;
        run.x = X;
        run.tex = texs;
        run.grain = P.grain ? grains : nullptr;
        run.table = P.table.empty() ? nullptr : P.table.data() + k0;
        run.tableStride = P.tableStride;
        run.y = y;
        run.n = m;
        run.r = red;
        run.g = green;
        run.b = blue;
        L.base.run(L.base, run);
    } else {
        for (std::size_t k = 0; k < m; ++k) {
            const Float3 c = L.base(X[k], y, texs[k]);
            red[k] = c.x;
            green[k] = c.y;
            blue[k] = c.z;
        }
    }

    const Plan::Row shadeRowAt = P.row(y - L.shadow.y);
    const Plan::Row below = P.row(y + 1.5f), above = P.row(y - 1.5f);
    // The caustic is worked out for the whole block when a group first needs it.
    CausticRow caustics;
    bool causticsBuilt = false;
    const float e0Ripple = 0.02f;

    for (std::size_t k = 0; k < m; k += kLanes) {
        const int64_t col = k0 + static_cast<int64_t>(k);
        const vec8::Window& here = P.at.group(col);
        const Vec8 x = load(X + k);
        const Vec8 fx = load(P.at.fxAt(col));
        const Vec8 tex = load(texs + k);
        const Vec8 g = load(grains + k);

        Vec8 slope;
        const Vec8 v = bilinear(corners(P.v, P.cols, at.j, here), fx, at.fy, slope);
        const Vec8 w = stdMax(splat(0.00001f), slope * inv);

        Rgb8 colour{load(red + k), load(green + k), load(blue + k)};

        if (L.ripple > 0) {
            const Ivec8 wet = v < landAt;
            if (any(wet)) {
                const Vec8 u = 0.8f * x + 0.6f * y;
                const Vec8 q = 0.8f * y - 0.6f * x;
                const Vec8 nz = 0.6f * P.coarseRipple.at(u / 5.0f, q / 17.0f) + 0.4f * P.fineRipple.at(u / 2.2f, q / 7.0f);
                colour = select(wet, colour * (1.0f + L.ripple * (1.0f - vec8::smoothstep(e0Ripple, landAt, v)) * nz),
                                colour);
            }
        }

        const Vec8 mt = vec8::smoothstep(0.0f, 1.0f, (tex + 0.25f) / 0.8f);
        if (!P.water.empty()) colour = applyBands8(colour, P.water, v, w, g, tex, mt);

        if (P.tint) {
            Vec8 slopeS;
            const Vec8 S = bilinear(corners(P.shade, P.cols, shadeRowAt.j, P.shaded.group(col)),
                                    load(P.shaded.fxAt(col)), shadeRowAt.fy, slopeS);
            const Vec8 e = stdMax(splat(0.00001f), L.penumbra * slopeS);
            const Vec8 f = vec8::clamp((S - landAt) / e + 0.5f, 0.0f, 1.0f);
            colour = mix(colour, colour * L.shadowTint, f);
        }

        if (P.cliff) {
            Vec8 slopeB;
            const Vec8 B = bilinear(corners(P.body, P.cols, at.j, here), fx, at.fy, slopeB);
            const Vec8 e = stdMax(splat(0.00001f), slopeB * inv);
            const Vec8 f = (B - landAt) / e + 0.5f;
            const Ivec8 face = f > 0.0f;
            if (any(face)) {
                const Vec8 alpha = stdMin(f, splat(1.0f));
                const Vec8 D = bilinear(corners(P.depth, P.cols, at.j, here), fx, at.fy);
                Rgb8 cc = colour;
                if (P.hasFacade && L.facade.run) {
                    alignas(32) float fx8[kLanes], fd8[kLanes], fr[kLanes], fg[kLanes], fb[kLanes];
                    store(fx8, x);
                    store(fd8, D);
                    L.facade.run(L.facade, FacadeRun{fx8, fd8, kLanes, fr, fg, fb});
                    cc = {load(fr), load(fg), load(fb)};
                } else if (P.hasFacade) {
                    for (int l = 0; l < kLanes; ++l)
                        if (face[l]) setLane(cc, l, L.facade(x[l], D[l]));
                } else {
                    // Land has depth 0, and the sine of ±0 is that zero: only groups with a face take it.
                    const Vec8 arg = 0.9f * D;
                    const Vec8 sine = any(face & (arg != 0.0f)) ? vec8::sin(arg) : arg;
                    const Vec8 sn = 0.5f * sine + 0.5f;
                    const Vec8 s = sn * sn;
                    cc = mix(L.cliffDark, L.cliffLight, s) * (1.0f - 0.35f * stdMin(D / L.cliff, splat(1.0f)));
                }
                colour = select(face, mix(colour, cc, alpha), colour);
            }
        }

        colour = applyBands8(colour, P.land, v, w, g, tex, mt);

        const Vec8 K = select(v >= landAt, splat(L.relief), splat(L.deep));
        const Ivec8 lit = K > 0.0f;
        if (any(lit)) {
            Vec8 hxp, hxm, hyp, hym;
            if (shared) {
                const int64_t c = kHalo + static_cast<int64_t>(k);
                hxp = load(shared->at(r) + c + P.shift);
                hxm = load(shared->at(r) + c - P.shift);
                hyp = load(shared->at(r + P.shift) + c);
                hym = load(shared->at(r - P.shift) + c);
            } else {
                auto height = [&](const Corners& cv, const Corners& ct, Vec8 cfx, float cfy) VEC8_LAMBDA {
                    return litHeight(bilinear(cv, cfx, cfy), bilinear(ct, cfx, cfy), landAt);
                };
                const vec8::Window& wr = P.right.group(col);
                const vec8::Window& wl = P.left.group(col);
                const Vec8 fr = load(P.right.fxAt(col)), fl = load(P.left.fxAt(col));
                hxp = height(corners(P.v, P.cols, at.j, wr), corners(P.tex, P.cols, at.j, wr), fr, at.fy);
                hxm = height(corners(P.v, P.cols, at.j, wl), corners(P.tex, P.cols, at.j, wl), fl, at.fy);
                hyp = height(corners(P.v, P.cols, below.j, here), corners(P.tex, P.cols, below.j, here), fx,
                             below.fy);
                hym = height(corners(P.v, P.cols, above.j, here), corners(P.tex, P.cols, above.j, here), fx,
                             above.fy);
            }
            const Vec8 Lt = -20.0f * K * (P.lx * (hxp - hxm) + P.ly * (hyp - hym));
            colour = select(lit, colour * (1.0f + vec8::clamp(Lt, -0.3f, 0.3f)), colour);
        }

        // Below landAt − 0.02 the step is exactly 0 and the factor exactly 1 (the grain is finite): open
        // water leaves the colour as it is.
        if (L.grain > 0 && !all(v <= landAt - 0.02f))
            colour = colour * (1.0f + L.grain * g * vec8::smoothstep(landAt - 0.02f, landAt + 0.02f, v));

        if (L.caustic > 0) {
            const Vec8 rise = vec8::smoothstep(0.06f, landAt + 0.06f, v);
            // Where the rise is 0 for all eight the factor is exactly 1.
            if (any(rise != 0.0f) && !causticsBuilt) {
                const auto c0 = static_cast<std::size_t>(k0);
                caustics.build(X, CausticRow::warpX(P.causticColumns.data(), P.padded, c0),
                               CausticRow::warpY(P.causticColumns.data(), P.padded, c0), m, y);
                causticsBuilt = true;
            }
            if (any(rise != 0.0f))
                colour = colour * (1.0f + L.caustic * rise *
                                              (1.0f - 0.35f * vec8::smoothstep(landAt + 0.04f, landAt + 0.1f, v)) *
                                              caustics.at(k));
        }

        const Vec8 dither = load(dithers + k);

        const Uvec8 word = 0xFF000000u | ((Uvec8)toBytes(colour.r, dither) << 16) |
                           ((Uvec8)toBytes(colour.g, dither) << 8) | (Uvec8)toBytes(colour.b, dither);
        const std::size_t valid = std::min<std::size_t>(kLanes, n - k);
        if (valid == kLanes) std::memcpy(out + k, &word, sizeof word);
        else std::memcpy(out + k, &word, valid * sizeof(uint32_t));
    }
}

VEC8_AVX2 void shadeBlockAvx2(const Plan& P, int64_t r, int64_t k0, std::size_t n, uint32_t* out,
                              const LitRows* shared) {
    shadeBlockBody(P, r, k0, n, out, shared);
}

// Five grids of one size with at least two columns and rows.
bool sameGrids(const Terrain& t) {
    const Grid& v = *t.v;
    for (const Grid* g : {t.body.get(), t.shade.get(), t.depth.get(), t.tex.get()})
        if (g->cols != v.cols || g->rows != v.rows) return false;
    return v.cols >= 2 && v.rows >= 2;
}

// The pixel distance s at which x ± 1.5 lands exactly on the centre of pixel k ± s for every column and
// row (so the relief lighting's neighbours are other pixels' points), or 0.
int64_t sharedShift(float inv, int64_t width, int64_t height) {
    const double guess = std::round(1.5 / static_cast<double>(inv));
    if (!(guess >= 1 && guess <= static_cast<double>(kMaxShift))) return 0;
    const auto s = static_cast<int64_t>(guess);
    auto centre = [inv](int64_t k) { return (static_cast<float>(k) + 0.5f) * inv; };
    for (int64_t k = 0; k < std::max(width, height); ++k) {
        const float c = centre(k);
        if (!(c + 1.5f == centre(k + s) && c - 1.5f == centre(k - s))) return 0;
    }
    return s;
}

// The corners of one ripple noise, at (u/du, q/dv) with u = 0.8x + 0.6y and q = 0.8y − 0.6x, for every
// point of the picture. Each step is monotonic in x and y, so the picture's corners bound the cells; one
// cell of margin on each side, and lookups outside still hash their own corners.
NoiseGrid rippleGrid(const Plan& p, int64_t height, float du, float dv, uint32_t seed) {
    const float x0 = p.xs.front(), x1 = p.xs.back();
    const float y0 = 0.5f * p.inv, y1 = (static_cast<float>(height - 1) + 0.5f) * p.inv;
    const double uLo = std::floor((0.8f * x0 + 0.6f * y0) / du), uHi = std::floor((0.8f * x1 + 0.6f * y1) / du);
    const double qLo = std::floor((0.8f * y0 - 0.6f * x1) / dv), qHi = std::floor((0.8f * y1 - 0.6f * x0) / dv);
    constexpr double kFar = 1 << 30;
    if (!(std::fabs(uLo) < kFar && std::fabs(uHi) < kFar && std::fabs(qLo) < kFar && std::fabs(qHi) < kFar))
        return {};
    NoiseGrid grid(static_cast<int64_t>(uLo) - 1, static_cast<int64_t>(uHi) + 1, static_cast<int64_t>(qLo) - 1,
                   static_cast<int64_t>(qHi) + 1, seed);
    dispatch::concurrentPerform(grid.rows(), [&grid](std::size_t j) { grid.fillRow(j); });
    return grid;
}

Plan plan(int64_t width, int64_t height, float scale, const Terrain& t, const Look& look) {
    const Prepared r = prepare(scale, t, look);
    Plan p{look,     t.v->p.data(), t.body->p.data(), t.shade->p.data(), t.depth->p.data(), t.tex->p.data(),
           t.v->cols, r.v.maxX,     r.v.maxY,         r.inv,             r.landAt,          r.tint,
           r.grain,  r.cliff,       r.hasFacade,      r.lx,              r.ly,              width,
           {},       {},            {},               {},                {},                0,
           {},       0,             0,                {},                {},                {},
           {},       {},            {}};
    p.water = bandPlans(look.water);
    p.land = bandPlans(look.land);
    const auto padded = static_cast<std::size_t>((width + kLanes - 1) / kLanes * kLanes);
    p.padded = padded;
    p.xs.resize(padded + 2 * kHalo);
    for (std::size_t i = 0; i < p.xs.size(); ++i)
        p.xs[i] = (static_cast<float>(static_cast<int64_t>(i) - kHalo) + 0.5f) * p.inv;
    p.at = columnCells(p.xs, 0.0f, p.cols, p.maxX);
    if (p.tint) p.shaded = columnCells(p.xs, -look.shadow.x, p.cols, p.maxX);
    if (look.relief > 0 || look.deep > 0) {
        p.shift = sharedShift(p.inv, width, height);
        if (p.shift == 0) {
            p.right = columnCells(p.xs, 1.5f, p.cols, p.maxX);
            p.left = columnCells(p.xs, -1.5f, p.cols, p.maxX);
        }
    }
    if (look.ripple > 0) {
        p.coarseRipple = rippleGrid(p, height, 5.0f, 17.0f, 81);
        p.fineRipple = rippleGrid(p, height, 2.2f, 7.0f, 82);
    }
    if (p.grain) p.grainColumns.emplace(p.xAt(0), padded);
    if (look.caustic > 0) {
        p.causticColumns.resize(CausticRow::kFields * padded);
        CausticRow::columns(p.xAt(0), padded, p.causticColumns.data());
    }
    if (look.base.run && look.base.table && look.base.tableFields > 0) {
        p.tableStride = padded;
        p.table.resize(padded * look.base.tableFields);
        look.base.table(look.base, p.xAt(0), padded, p.table.data());
    }
    return p;
}

}  // namespace

void paintRowReference(uint8_t* row, int64_t r, int64_t width, float scale, const Terrain& terrain,
                       const Look& look) {
    const Prepared P = prepare(scale, terrain, look);
    shadeRow(reinterpret_cast<uint32_t*>(row), r, width, P);
}

void paint(uint8_t* pixels, std::size_t stride, int64_t width, int64_t height, float scale, const Terrain& terrain,
           const Look& look) {
    if (!pixels || width <= 0 || height <= 0) return;
    // The eight-lane path needs AVX2 and five grids of one size; the scalar rows give the same bytes.
    if (!vec8::avx2() || !sameGrids(terrain)) {
        const Prepared P = prepare(scale, terrain, look);
        dispatch::concurrentPerform(static_cast<std::size_t>(height), [&](std::size_t r) {
            shadeRow(reinterpret_cast<uint32_t*>(pixels + r * stride), static_cast<int64_t>(r), width, P);
        });
        return;
    }
    const Plan P = plan(width, height, scale, terrain, look);
    auto blockOf = [&](int64_t k0) {
        return static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(kBlock), width - k0));
    };
    if (P.shift == 0) {
        dispatch::concurrentPerform(static_cast<std::size_t>(height), [&](std::size_t r) {
            auto* row = reinterpret_cast<uint32_t*>(pixels + r * stride);
            for (int64_t k0 = 0; k0 < width; k0 += static_cast<int64_t>(kBlock))
                shadeBlockAvx2(P, static_cast<int64_t>(r), k0, blockOf(k0), row + k0, nullptr);
        });
        return;
    }
    // Bands of rows: the lit heights of a band and `shift` rows around it once, then its rows.
    const auto bands = static_cast<std::size_t>((height + kBand - 1) / kBand);
    dispatch::concurrentPerform(bands, [&](std::size_t b) {
        const int64_t r0 = static_cast<int64_t>(b) * kBand, r1 = std::min(height, r0 + kBand);
        alignas(32) float heights[(kBand + 2 * kMaxShift) * LitRows::kStride];
        for (int64_t k0 = 0; k0 < width; k0 += static_cast<int64_t>(kBlock)) {
            const std::size_t n = blockOf(k0), m = (n + kLanes - 1) / kLanes * kLanes;
            const LitRows shared{r0 - P.shift, heights};
            litRows(P, r0 - P.shift, r1 + P.shift, k0, m, heights);
            for (int64_t r = r0; r < r1; ++r)
                shadeBlockAvx2(P, r, k0, n, reinterpret_cast<uint32_t*>(pixels + static_cast<std::size_t>(r) * stride) + k0,
                               &shared);
        }
    });
}

}  // namespace Renderer
