// The eight-lane shading against the plain scalar reference, byte for byte, and the parts it is built
// from against the scalar functions they stand for.
#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/CausticRun.h"
#include "Renderer/Look.h"
#include "Renderer/NoiseCloud.h"
#include "Renderer/NoiseGrid.h"
#include "Renderer/NoiseRow.h"
#include "Renderer/Palette.h"
#include "Renderer/Random.h"
#include "Pipeline/Render.h"
#include "Renderer/TerrainLayout.h"
#include "Renderer/Shading.h"
#include "Renderer/Terrain.h"
#include "Renderer/Vec16.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string name(SceneKind kind, bool night) {
    return std::string(scene_kind::rawValue(kind)) + (night ? " night" : " day");
}

// A small desktop of width × height pixels at the given scale, icons spread over it.
struct Picture {
    int64_t width, height;
    float scale;
    Look look;
    Terrain terrain;

    Picture(SceneKind kind, bool night, float s, int64_t w, int64_t h)
        : width(w), height(h), scale(s), look(kind, night, static_cast<float>(h / s)), terrain(make(kind, night, s, w, h, look)) {}

    static Terrain make(SceneKind kind, bool night, float s, int64_t w, int64_t h, const Look& look) {
        SceneSpec spec;
        spec.size = {static_cast<double>(w) / s, static_cast<double>(h) / s};
        spec.scale = s;
        spec.kind = kind;
        spec.night = night;
        spec.iconSize = 48;
        spec.textSize = 10;
        const double W = spec.size.width, H = spec.size.height;
        spec.icons = {{0.88 * W, 0.12 * H}, {0.88 * W, 0.42 * H}, {0.5 * W, 0.5 * H}, {0.22 * W, 0.78 * H}};
        return Renderer::terrain(spec, look, Renderer::keepRects(spec));
    }

    std::vector<uint8_t> fast(uint8_t before = 0) const {
        std::vector<uint8_t> out(static_cast<std::size_t>(width * height * 4), before);
        Renderer::paint(out.data(), static_cast<std::size_t>(width * 4), width, height, scale, terrain, look);
        return out;
    }
    std::vector<uint8_t> reference() const {
        std::vector<uint8_t> out(static_cast<std::size_t>(width * height * 4));
        dispatch::concurrentPerform(static_cast<std::size_t>(height), [&](std::size_t r) {
            Renderer::paintRowReference(out.data() + r * static_cast<std::size_t>(width * 4), static_cast<int64_t>(r),
                                        width, scale, terrain, look);
        });
        return out;
    }
};

// Where two bitmaps first differ, or "" when they are equal.
std::string firstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int64_t width) {
    if (a.size() != b.size()) return "sizes differ";
    for (std::size_t i = 0; i < a.size(); i += 4)
        if (std::memcmp(&a[i], &b[i], 4) != 0) {
            const auto px = static_cast<int64_t>(i / 4);
            uint32_t u, v;
            std::memcpy(&u, &a[i], 4);
            std::memcpy(&v, &b[i], 4);
            return "pixel (" + std::to_string(px % width) + ", " + std::to_string(px / width) + "): " +
                   std::to_string(u) + " vs " + std::to_string(v);
        }
    return "";
}

}  // namespace

// 603 × 401 leaves a part block and a part group at the end of every row. Both vector widths: sixteen
// lanes where the processor has AVX-512F, and eight as on processors with AVX2 alone. (Without AVX2 both
// sides are the scalar rows.)
TEST(Shading, FastPathEqualsTheScalarReferenceInEveryLookAndScale) {
    for (bool narrow : {false, true}) {
        std::optional<vec16::NarrowScope> scope;
        if (narrow) scope.emplace();
        for (SceneKind kind : scene_kind::allCases)
            for (bool night : {false, true})
                for (float scale : {1.0f, 1.5f, 2.0f}) {
                    const Picture p(kind, night, scale, 603, 401);
                    EXPECT_EQ(firstDifference(p.fast(), p.reference(), p.width), "")
                        << name(kind, night) << " at scale " << scale << (narrow ? ", eight lanes" : "");
                }
    }
}

// The pipeline shades into a bitmap it never cleared.
TEST(Shading, WritesEveryPixel) {
    for (SceneKind kind : scene_kind::allCases)
        for (bool scalar : {false, true}) {
            std::optional<vec8::ScalarScope> scope;
            if (scalar) scope.emplace();
            const Picture p(kind, true, 2, 203, 101);
            EXPECT_EQ(firstDifference(p.fast(0x00), p.fast(0xA5), p.width), "") << name(kind, true);
        }
}

// What a processor without AVX2 runs: the scalar rows, and the point forms behind the run forms.
TEST(Shading, WithoutAvx2EverythingTakesTheScalarForms) {
    const Picture p(SceneKind::canyon, true, 1.5f, 203, 101);
    const std::vector<uint8_t> fast = p.fast();
    const vec8::ScalarScope scalar;
    EXPECT_FALSE(vec8::avx2());
    EXPECT_EQ(firstDifference(p.fast(), fast, p.width), "");
    alignas(32) float xs[8] = {1, 2, 3, 4, 5, 6, 7, 8}, tex[8] = {}, r[8], g[8], b[8];
    p.look.base.run(p.look.base, GroundRun{xs, tex, nullptr, nullptr, 0, 300, 8, r, g, b});
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(sameBits(r[k], p.look.base(xs[k], 300, 0).x)) << k;
}

TEST(Shading, SameBytesAtAnyThreadCountAndWhenPaintsOverlap) {
    const Picture reef(SceneKind::reef, false, 2, 330, 250), city(SceneKind::city, true, 1.5f, 333, 251);
    std::vector<uint8_t> reefOne, cityOne;
    {
        dispatch::ThreadCountScope one(1);
        reefOne = reef.fast();
        cityOne = city.fast();
    }
    std::vector<uint8_t> reefBoth, cityBoth;
    std::thread other([&] { cityBoth = city.fast(); });
    reefBoth = reef.fast();
    other.join();
    EXPECT_EQ(firstDifference(reefOne, reefBoth, reef.width), "");
    EXPECT_EQ(firstDifference(cityOne, cityBoth, city.width), "");
}

// The fast path reads all five grids with one cell layout; a terrain whose grids differ in size is shaded
// by the reference instead, with each grid's own layout.
TEST(Shading, GridsOfDifferentSizesStillShadeLikeTheReference) {
    Picture p(SceneKind::archipelago, false, 1, 120, 90);
    auto depth = std::make_shared<Grid>(p.terrain.depth->cols + 3, p.terrain.depth->rows + 1, 0.0f);
    for (std::size_t i = 0; i < depth->p.size(); ++i) depth->p[i] = static_cast<float>(i % 7);
    p.terrain.depth = depth;
    EXPECT_EQ(firstDifference(p.fast(), p.reference(), p.width), "");
}

// Each look's run form against its point form, over rows across the whole scene and a spread of texture
// values, with the grain noise handed in and worked out by the run itself, at both vector widths.
TEST(Shading, GroundRunsEqualThePointFormula) {
    constexpr std::size_t n = NoiseRow::kPoints;
    const float W = 1710, H = 1112;
    for (SceneKind kind : scene_kind::allCases)
        for (bool night : {false, true}) {
            const Look look(kind, night, H);
            const GroundColor& g = look.base;
            if (!g.run) continue;
            for (float step : {0.5f, 1.0f / 1.5f, 1.0f})
                for (float x0 : {0.25f, 0.37f * W, 0.81f * W}) {
                    alignas(32) float xs[n], tex[n], grain[n], r[n], gr[n], b[n];
                    for (std::size_t k = 0; k < n; ++k) xs[k] = x0 + step * static_cast<float>(k);
                    std::vector<float> table(g.tableFields * n);
                    if (g.table) g.table(g, xs, n, table.data());
                    int bad = 0;
                    for (float y = -3; y < H + 5 && bad == 0; y += 7.3f) {
                        for (std::size_t k = 0; k < n; ++k) {
                            tex[k] = 1.3f * valueNoise(xs[k] / 9.0f, y / 9.0f, 5);
                            grain[k] = palette::grain(xs[k], y);
                        }
                        for (int form = 0; form < 4; ++form) {
                            // Grain handed in, and grain worked out by the run; the widest lanes the
                            // processor has, and eight.
                            const float* given = (form & 1) != 0 ? nullptr : grain;
                            std::optional<vec16::NarrowScope> narrow;
                            if ((form & 2) != 0) narrow.emplace();
                            GroundRun run{xs, tex, given, table.empty() ? nullptr : table.data(), n, y, n, r, gr, b};
                            g.run(g, run);
                            for (std::size_t k = 0; k < n && bad < 3; ++k) {
                                const Float3 want = g(xs[k], y, tex[k]);
                                if (!sameBits(want.x, r[k]) || !sameBits(want.y, gr[k]) || !sameBits(want.z, b[k])) {
                                    ADD_FAILURE() << name(kind, night) << " at (" << xs[k] << ", " << y << ") tex "
                                                  << tex[k] << " form " << form;
                                    ++bad;
                                }
                            }
                        }
                    }
                }
        }
}

// The city's facade, several points at once, against its point form: window rows, panes, lit windows at
// night and the wall below.
TEST(Shading, FacadeRunEqualsThePointFormula) {
    for (bool night : {false, true}) {
        const Look look(SceneKind::city, night, 800);
        const FacadeColor& f = look.facade;
        ASSERT_TRUE(f.run);
        alignas(32) float xs[8], ds[8], r[8], g[8], b[8];
        int bad = 0;
        for (float depth = -1; depth < 25 && bad < 3; depth += 0.13f)
            for (float x0 = -50; x0 < 900 && bad < 3; x0 += 8 * 0.37f) {
                for (int l = 0; l < 8; ++l) {
                    xs[l] = x0 + 0.37f * static_cast<float>(l);
                    ds[l] = depth + 0.01f * static_cast<float>(l);
                }
                f.run(f, FacadeRun{xs, ds, 8, r, g, b});
                for (int l = 0; l < 8; ++l) {
                    const Float3 want = f(xs[l], ds[l]);
                    if (!sameBits(want.x, r[l]) || !sameBits(want.y, g[l]) || !sameBits(want.z, b[l])) {
                        ADD_FAILURE() << (night ? "night" : "day") << " at x " << xs[l] << " depth " << ds[l];
                        ++bad;
                    }
                }
            }
    }
}


// a¹² by squaring: exact where the power is representable, within some sixteen units in the last place
// of the library's powf elsewhere, and the caustic built on it stays within [0, 1].
TEST(Palette, Pow12SquaresItsWayThere) {
    EXPECT_EQ(palette::pow12(1.0f), 1.0f);
    EXPECT_EQ(palette::pow12(0.5f), 1.0f / 4096.0f);
    EXPECT_EQ(palette::pow12(0.0f), 0.0f);
    for (float a = 0.001f; a <= 1.0f; a += 0.0137f) {
        const float want = std::pow(a, 12.0f);
        EXPECT_NEAR(palette::pow12(a), want, want * 1e-6f) << a;  // some 16 units in the last place
    }
    for (float x = 0; x < 400; x += 3.7f)
        for (float y = 0; y < 300; y += 5.3f) {
            const float c = caustic(x, y);
            ASSERT_TRUE(c >= 0.0f && c <= 1.0f) << x << ", " << y;
        }
}

// The helpers as the shading runs them, compiled for AVX2; values pass through arrays only.
namespace {

// The row with its columns worked out by itself, and from columns made beforehand.
VEC8_AVX2 void noiseRowInto(const float* cx, std::size_t n, float cy, float* out, float* fromColumns) {
    NoiseRow row;
    row.build(cx, n, cy, 71);
    for (std::size_t k = 0; k < n; k += vec8::kLanes) vec8::store(out + k, row.at(k));
    std::vector<float> cell(n), sx(n);
    NoiseRow::columns(cx, n, cell.data(), sx.data());
    row.build(NoiseColumns{cx, cell.data(), sx.data()}, n, cy, 71);
    for (std::size_t k = 0; k < n; k += vec8::kLanes) vec8::store(fromColumns + k, row.at(k));
}

VEC8_AVX2 void cloudInto(const float* cx, const float* cy, std::size_t n, float* out) {
    NoiseCloud cloud;
    cloud.build(cx, cy, n, 93);
    for (std::size_t k = 0; k < n; k += vec8::kLanes) vec8::store(out + k, cloud.at(k));
}

// The sixteen-lane lookups of both, on tables built as above.
VEC16_AVX512 void noiseRowInto16(const float* cx, std::size_t n, float cy, float* out) {
    NoiseRow row;
    row.build(cx, n, cy, 71);
    for (std::size_t k = 0; k < n; k += vec16::kLanes) vec16::store(out + k, row.at16(k));
}
VEC16_AVX512 void cloudInto16(const float* cx, const float* cy, std::size_t n, float* out) {
    NoiseCloud cloud;
    cloud.build(cx, cy, n, 93);
    for (std::size_t k = 0; k < n; k += vec16::kLanes) vec16::store(out + k, cloud.at16(k));
}

VEC8_AVX2 void gridInto(const NoiseGrid& grid, const float* cx, const float* cy, std::size_t n, float* out) {
    for (std::size_t k = 0; k < n; k += vec8::kLanes) vec8::store(out + k, grid.at(vec8::load(cx + k), vec8::load(cy + k)));
}
VEC16_AVX512 void gridInto16(const NoiseGrid& grid, const float* cx, const float* cy, std::size_t n, float* out) {
    for (std::size_t k = 0; k < n; k += vec16::kLanes)
        vec16::store(out + k, grid.at(vec16::load(cx + k), vec16::load(cy + k)));
}

VEC8_AVX2 void noiseInto(const float* x, const float* y, float* out) {
    vec8::store(out, vec8::valueNoise(vec8::load(x), vec8::load(y), 93));
}

VEC8_AVX2 void floorsInto(const float* x, float* floorStd, float* floorTrunc) {
    vec8::store(floorStd, vec8::floorStd(vec8::load(x)));
    vec8::store(floorTrunc, vec8::floorTrunc(vec8::load(x)));
}

VEC8_AVX2 void rulesInto(const float* a, const float* b, float* mx, float* mn, float* cl, float* unit,
                         float* root) {
    using namespace vec8;
    const Vec8 va = load(a), vb = load(b);
    store(mx, stdMax(va, vb));
    store(mn, stdMin(va, vb));
    store(cl, clamp(va, -1.0f, 1.5f));
    store(unit, clamp(va, 0.0f, 1.0f));
    store(root, vec8::sqrt(fabs(va - vb)));
}

}  // namespace

// Per-cell tables along a row give valueNoise bit for bit: dense and sparse runs (one cell for many
// points, several cells within one group, as many cells as lanes, cells farther apart), negative
// coordinates, rows on lattice lines, runs too long for the tables and coordinates too large for them
// (both hashed per point instead). Sixteen lanes too where the processor has AVX-512F.
TEST(NoiseRow, EqualsValueNoise) {
    ASSERT_TRUE(vec8::avx2()) << "the eight-lane forms run only on processors with AVX2";
    constexpr std::size_t kMost = NoiseRow::kPoints;
    alignas(32) float cx[kMost], got[kMost], fromColumns[kMost], got16[kMost];
    for (std::size_t n : {kMost, std::size_t{64}})  // short runs keep wide steps on the tables
        for (float start : {-37.3f, -0.2f, 0.0f, 511.7f, 16777000.0f, -3e7f})
            for (float step : {0.01f, 1.0f / 9.0f, 0.5f, 1.06f, 1.7f, 3.1f})
                for (float cy : {-12.5f, -0.0f, 0.0f, 3.0f, 7.75f, 1234.56f, 2e7f}) {
                    for (std::size_t k = 0; k < n; ++k) cx[k] = start + step * static_cast<float>(k);
                    noiseRowInto(cx, n, cy, got, fromColumns);
                    const bool wide = vec16::avx512();
                    if (wide) noiseRowInto16(cx, n, cy, got16);
                    for (std::size_t k = 0; k < n; ++k) {
                        const float want = valueNoise(cx[k], cy, 71);
                        ASSERT_TRUE(sameBits(got[k], want) && sameBits(fromColumns[k], want) &&
                                    (!wide || sameBits(got16[k], want)))
                            << n << " points, start " << start << " step " << step << " cy " << cy << " point " << k;
                    }
                }
}

// A run's corners hashed once into a table give valueNoise bit for bit: points wandering slowly along a
// row (groups within one corner row, groups straddling two), points jumping between cells, groups whose
// lanes fill a window or overflow it, negative coordinates, and runs too wide for the table or too far
// out for it (hashed per point instead). Sixteen lanes too where the processor has AVX-512F.
TEST(NoiseCloud, EqualsValueNoise) {
    ASSERT_TRUE(vec8::avx2()) << "the eight-lane forms run only on processors with AVX2";
    constexpr std::size_t n = NoiseRow::kPoints;
    alignas(32) float cx[n], cy[n], got[n];
    for (float x0 : {-20.3f, 0.0f, 300.7f, 3e7f})
        for (float step : {0.02f, 0.15f, 0.4f})
            for (float wobble : {0.0f, 0.3f, 2.5f})
                for (float y0 : {-3.2f, 0.5f, 41.99f})
                    for (float teeth : {0.0f, 0.9f, 1.0f}) {  // a rise over each group of sixteen
                        for (std::size_t k = 0; k < n; ++k) {
                            const float t = static_cast<float>(k);
                            cx[k] = x0 + step * t + wobble * std::sin(t * 0.37f) + teeth * static_cast<float>(k % 16);
                            cy[k] = y0 + 0.004f * t + wobble * std::cos(t * 0.23f);
                        }
                        for (int width : {8, 16}) {
                            if (width == 16 && !vec16::avx512()) continue;
                            (width == 8 ? cloudInto : cloudInto16)(cx, cy, n, got);
                            for (std::size_t k = 0; k < n; ++k)
                                ASSERT_TRUE(sameBits(got[k], valueNoise(cx[k], cy[k], 93)))
                                    << x0 << " " << step << " " << wobble << " " << y0 << " " << teeth << " point "
                                    << k << ", " << width << " lanes";
                        }
                    }
}

// Corners hashed once for a box of cells give valueNoise bit for bit: turned runs whose groups sit in one
// corner row or straddle two, points jumping between cells, points outside the box or far beyond it, and
// a box too large to hold (every point hashed). Sixteen lanes where the processor has AVX-512F.
TEST(NoiseGrid, EqualsValueNoise) {
    ASSERT_TRUE(vec8::avx2()) << "the eight-lane forms run only on processors with AVX2";
    struct Box {
        int64_t ix0, ix1, iy0, iy1;
    };
    constexpr std::size_t n = 256;
    alignas(32) float cx[n], cy[n], got[n];
    for (const Box box : {Box{-30, 120, -12, 40}, Box{0, 3, 0, 2}, Box{-5, 5000, -5, 5000}}) {
        NoiseGrid grid(box.ix0, box.ix1, box.iy0, box.iy1, 82);
        for (std::size_t j = 0; j < grid.rows(); ++j) grid.fillRow(j);
        for (float x0 : {-29.7f, 0.0f, 1.3f, 3e9f})
            for (float step : {0.02f, 0.18f, 1.1f, 7.0f})
                for (float turn : {-0.04f, 0.0f, 0.3f}) {
                    for (std::size_t k = 0; k < n; ++k) {
                        const float t = static_cast<float>(k);
                        cx[k] = x0 + step * t;
                        cy[k] = 0.5f + turn * t;
                    }
                    for (int width : {8, 16}) {
                        if (width == 16 && !vec16::avx512()) continue;
                        (width == 8 ? gridInto : gridInto16)(grid, cx, cy, n, got);
                        for (std::size_t k = 0; k < n; ++k)
                            ASSERT_TRUE(sameBits(got[k], valueNoise(cx[k], cy[k], 82)))
                                << box.ix1 << " " << x0 << " " << step << " " << turn << " point " << k << ", "
                                << width << " lanes";
                    }
                }
    }
}

TEST(Vec8, NoiseAndFloorsEqualTheScalarFunctions) {
    ASSERT_TRUE(vec8::avx2()) << "the eight-lane forms run only on processors with AVX2";
    const float values[] = {-2.5f, -1.0f, -0.7f, -0.0f, 0.0f, 0.3f, 1.0f, 2.999f, 1e6f + 0.5f, -8388609.0f,
                            3e9f, -3e9f, 1e30f, -1e30f, std::numeric_limits<float>::infinity(), 16777216.0f};
    alignas(32) float x[8], y[8], out[8], fs[8], ft[8];
    for (float a : values)
        for (float b : values) {
            const float ys[8] = {b, a, 0.5f, -0.5f, b, a, 7.25f, -3.75f};
            for (int l = 0; l < 8; ++l) {
                x[l] = a;
                y[l] = ys[l];
            }
            noiseInto(x, y, out);
            for (int l = 0; l < 8; ++l) EXPECT_TRUE(sameBits(out[l], valueNoise(x[l], y[l], 93))) << a << ", " << y[l];
        }
    for (float a : values) {
        if (!(std::fabs(a) < 2147483648.0f)) continue;  // both floors are meant for the int32 range
        for (float& v : x) v = a;
        floorsInto(x, fs, ft);
        EXPECT_TRUE(sameBits(fs[0], std::floor(a))) << a;
        EXPECT_TRUE(sameBits(ft[0], random_detail::floorf32(a))) << a;
    }
}

TEST(Vec8, MinMaxClampAndSqrtFollowTheScalarRules) {
    ASSERT_TRUE(vec8::avx2()) << "the eight-lane forms run only on processors with AVX2";
    const float nan = std::numeric_limits<float>::quiet_NaN();
    alignas(32) const float a[8] = {1.0f, nan, 2.0f, -0.0f, 0.0f, -3.0f, 5.0f, nan};
    alignas(32) const float b[8] = {2.0f, 1.0f, nan, 0.0f, -0.0f, -3.0f, 4.0f, nan};
    alignas(32) float mx[8], mn[8], cl[8], unit[8], root[8];
    rulesInto(a, b, mx, mn, cl, unit, root);
    for (int l = 0; l < 8; ++l) {
        EXPECT_TRUE(sameBits(mx[l], std::max(a[l], b[l]))) << l;
        EXPECT_TRUE(sameBits(mn[l], std::min(a[l], b[l]))) << l;
        const float c = a[l] < -1.0f ? -1.0f : (a[l] > 1.5f ? 1.5f : a[l]);
        EXPECT_TRUE(sameBits(cl[l], c)) << l;
        const float u = a[l] < 0.0f ? 0.0f : (a[l] > 1.0f ? 1.0f : a[l]);
        EXPECT_TRUE(sameBits(unit[l], u)) << l;
        EXPECT_TRUE(sameBits(root[l], std::sqrt(std::fabs(a[l] - b[l])))) << l;
    }
}

// A row of caustic light worked out as a run gives every point the bits of the point form: runs shorter
// and longer than one block, odd lengths, and far-off stretches of the pattern, at both vector widths.
TEST(CausticRun, EveryPointHasTheBitsOfThePointForm) {
    struct Row {
        float x0, step, y;
        std::size_t n;
    };
    const Row rows[] = {{0, 1, 0.5f, 1}, {-37.25f, 1, 12, 340}, {4210.5f, 1, 900.75f, 517}, {12.0f, 0.5f, -40, 1100},
                        {8123.0f, 3.0f, 2222.0f, 77}};
    for (bool narrow : {false, true})
        for (const Row& row : rows) {
            std::optional<vec16::NarrowScope> scope;
            if (narrow) scope.emplace();
            std::vector<float> x(row.n), light(row.n);
            for (std::size_t k = 0; k < row.n; ++k) x[k] = row.x0 + row.step * static_cast<float>(k);
            Renderer::causticRun(x.data(), row.n, row.y, light.data());
            for (std::size_t k = 0; k < row.n; ++k)
                ASSERT_EQ(std::bit_cast<uint32_t>(light[k]), std::bit_cast<uint32_t>(caustic(x[k], row.y)))
                    << "x " << x[k] << " y " << row.y << (narrow ? ", eight lanes" : "");
        }
}
