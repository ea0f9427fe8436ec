#include "Renderer/Shading.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
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
#include "Renderer/Vec16.h"

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
// The fast path: the same steps on sixteen pixels at a time with AVX-512F, eight with AVX2, over blocks of
// up to 512 pixels of a row. Everything that depends on the column alone (grid cells and fractions, where
// each group of lanes reads the grids) is worked out once per call; everything that depends on the row
// alone once per block.

constexpr std::size_t kBlock = NoiseRow::kPoints;
// The widest group of lanes; rows are padded to whole groups of it.
constexpr int64_t kWidest = vec16::kLanes;
// Columns kept beyond each end of a row (scene x continued outward), for neighbours of edge pixels; whole
// groups of either width.
constexpr int64_t kHalo = kWidest;
// Rows painted one after the other by one task when the relief lighting shares its heights.
constexpr int64_t kBand = 16;
// Widest shift (in pixels) at which the relief neighbours may be shared.
constexpr int64_t kMaxShift = 8;

// Where one set of sample points (the pixel columns shifted by dx) falls on the grids, for the columns
// −kHalo … padded + kHalo − 1.
struct ColumnCells {
    std::vector<float> fx;  // per column
    // Per group of eight or of sixteen columns: only the width that shades is filled in.
    std::vector<vec8::Window> groups8;
    std::vector<vec16::Window> groups16;

    const float* fxAt(int64_t k) const { return fx.data() + kHalo + k; }
    template <class W>
    const W& group(int64_t k) const {
        constexpr auto lanes = static_cast<int64_t>(std::size(W{}.off));
        const auto g = static_cast<std::size_t>((k + kHalo) / lanes);
        if constexpr (lanes == vec8::kLanes) return groups8[g];
        else return groups16[g];
    }
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

// Where each group of lanes reads the grids, for the cells of every column.
template <class W>
std::vector<W> windows(const std::vector<int64_t>& cell, int64_t cols) {
    constexpr auto lanes = static_cast<int>(std::size(W{}.off));
    constexpr auto span = static_cast<std::size_t>(lanes);
    std::vector<W> out(cell.size() / span);
    for (std::size_t g = 0; g < out.size(); ++g) {
        W& w = out[g];
        w.base = cell[g * span];
        for (int l = 0; l < lanes; ++l)
            w.off[l] = static_cast<int32_t>(cell[g * span + static_cast<std::size_t>(l)] - w.base);
        // Both the cell and its right neighbour must sit in one full-width load that stays inside the row.
        w.window = w.off[lanes - 1] + 1 < lanes && w.base + lanes <= cols;
    }
    return out;
}

ColumnCells columnCells(const std::vector<float>& x, float dx, int64_t cols, float maxX, bool wide) {
    ColumnCells c;
    const std::size_t n = x.size();
    c.fx.resize(n);
    std::vector<int64_t> cell(n);
    for (std::size_t k = 0; k < n; ++k) {
        const float gx = clampf((x[k] + dx) / 4, 0.0f, maxX);
        cell[k] = static_cast<int64_t>(gx);
        c.fx[k] = gx - static_cast<float>(cell[k]);
    }
    if (wide) c.groups16 = windows<vec16::Window>(cell, cols);
    else c.groups8 = windows<vec8::Window>(cell, cols);
    return c;
}

// Lit heights of a band of rows at the columns of one block and kHalo more on each side: row `first`
// + i, column k0 − kHalo + j at at(i)[j].
struct LitRows {
    static constexpr std::size_t kStride = kBlock + 2 * kHalo;
    int64_t first = 0;
    float* p = nullptr;
    const float* at(int64_t row) const { return p + static_cast<std::size_t>(row - first) * kStride; }
};


#define VEC_NS vec8
#define VEC_N 8
#define VEC_INLINE VEC8_INLINE
#define VEC_LAMBDA VEC8_LAMBDA
#define VEC_ENTRY VEC8_AVX2
namespace at8 {
#include "Renderer/ShadingBlock.inc"
}  // namespace at8

#define VEC_NS vec16
#define VEC_N 16
#define VEC_INLINE VEC16_INLINE
#define VEC_LAMBDA VEC16_LAMBDA
#define VEC_ENTRY VEC16_AVX512
namespace at16 {
#include "Renderer/ShadingBlock.inc"
}  // namespace at16

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

Plan plan(int64_t width, int64_t height, float scale, const Terrain& t, const Look& look, bool wide) {
    const Prepared r = prepare(scale, t, look);
    Plan p{look,     t.v->p.data(), t.body->p.data(), t.shade->p.data(), t.depth->p.data(), t.tex->p.data(),
           t.v->cols, r.v.maxX,     r.v.maxY,         r.inv,             r.landAt,          r.tint,
           r.grain,  r.cliff,       r.hasFacade,      r.lx,              r.ly,              width,
           {},       {},            {},               {},                {},                0,
           {},       0,             0,                {},                {},                {},
           {},       {},            {}};
    p.water = bandPlans(look.water);
    p.land = bandPlans(look.land);
    const auto padded = static_cast<std::size_t>((width + kWidest - 1) / kWidest * kWidest);
    p.padded = padded;
    p.xs.resize(padded + 2 * kHalo);
    for (std::size_t i = 0; i < p.xs.size(); ++i)
        p.xs[i] = (static_cast<float>(static_cast<int64_t>(i) - kHalo) + 0.5f) * p.inv;
    p.at = columnCells(p.xs, 0.0f, p.cols, p.maxX, wide);
    if (p.tint) p.shaded = columnCells(p.xs, -look.shadow.x, p.cols, p.maxX, wide);
    if (look.relief > 0 || look.deep > 0) {
        p.shift = sharedShift(p.inv, width, height);
        if (p.shift == 0) {
            p.right = columnCells(p.xs, 1.5f, p.cols, p.maxX, wide);
            p.left = columnCells(p.xs, -1.5f, p.cols, p.maxX, wide);
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
    // The vector paths need AVX2 and five grids of one size; the scalar rows give the same bytes.
    if (!vec8::avx2() || !sameGrids(terrain)) {
        const Prepared P = prepare(scale, terrain, look);
        dispatch::concurrentPerform(static_cast<std::size_t>(height), [&](std::size_t r) {
            shadeRow(reinterpret_cast<uint32_t*>(pixels + r * stride), static_cast<int64_t>(r), width, P);
        });
        return;
    }
    const bool wide = vec16::avx512();
    const Plan P = plan(width, height, scale, terrain, look, wide);
    auto shadeBlock = wide ? at16::shadeBlock : at8::shadeBlock;
    auto litRows = wide ? at16::litRows : at8::litRows;
    auto blockOf = [&](int64_t k0) {
        return static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(kBlock), width - k0));
    };
    if (P.shift == 0) {
        dispatch::concurrentPerform(static_cast<std::size_t>(height), [&](std::size_t r) {
            auto* row = reinterpret_cast<uint32_t*>(pixels + r * stride);
            for (int64_t k0 = 0; k0 < width; k0 += static_cast<int64_t>(kBlock))
                shadeBlock(P, static_cast<int64_t>(r), k0, blockOf(k0), row + k0, nullptr);
        });
        return;
    }
    // Bands of rows: the lit heights of a band and `shift` rows around it once, then its rows.
    const auto bands = static_cast<std::size_t>((height + kBand - 1) / kBand);
    dispatch::concurrentPerform(bands, [&](std::size_t b) {
        const int64_t r0 = static_cast<int64_t>(b) * kBand, r1 = std::min(height, r0 + kBand);
        alignas(32) float heights[(kBand + 2 * kMaxShift) * LitRows::kStride];
        for (int64_t k0 = 0; k0 < width; k0 += static_cast<int64_t>(kBlock)) {
            const std::size_t n = blockOf(k0), m = (n + kWidest - 1) / kWidest * kWidest;
            const LitRows shared{r0 - P.shift, heights};
            litRows(P, r0 - P.shift, r1 + P.shift, k0, m, heights);
            for (int64_t r = r0; r < r1; ++r)
                shadeBlock(P, r, k0, n, reinterpret_cast<uint32_t*>(pixels + static_cast<std::size_t>(r) * stride) + k0,
                               &shared);
        }
    });
}

}  // namespace Renderer
