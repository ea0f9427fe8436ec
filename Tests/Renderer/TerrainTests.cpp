#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/Random.h"
#include "Renderer/TerrainLayout.h"
#include "Renderer/Terrain.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>

namespace {

SceneSpec spec(double w, double h, std::vector<cg::Point> icons = {}) {
    SceneSpec s;
    s.size = {w, h};
    s.icons = std::move(icons);
    return s;
}

cg::Rect around(cg::Point c, double side = 64) { return cg::Rect(c.x - side / 2, c.y - side / 2, side, side); }

bool isMound(const Terrain::Blob& b) { return b.box.size.width == 0 && b.box.size.height == 0; }

std::vector<Terrain::Blob> freeMounds(const std::vector<Terrain::Blob>& blobs) {
    std::vector<Terrain::Blob> out;
    for (const auto& b : blobs)
        if (b.amp == 0.85f) out.push_back(b);
    return out;
}

bool sameGrid(const Grid& a, const Grid& b) {
    return a.cols == b.cols && a.rows == b.rows && std::equal(a.p.begin(), a.p.end(), b.p.begin(), [](float x, float y) {
               return std::memcmp(&x, &y, sizeof x) == 0;
           });
}

bool sameTerrain(const Terrain& a, const Terrain& b) {
    return sameGrid(*a.v, *b.v) && sameGrid(*a.body, *b.body) && sameGrid(*a.shade, *b.shade) &&
           sameGrid(*a.depth, *b.depth) && sameGrid(*a.tex, *b.tex);
}

// A reshape that replaces the height with a fixed picture: land (1) above row `edge`, water (0) below.
Terrain::Reshape cliffTop(int64_t edge) {
    return [edge](Grid& v, Grid&) {
        for (int64_t j = 0; j < v.rows; ++j)
            for (int64_t i = 0; i < v.cols; ++i) v.at(i, j) = j < edge ? 1.0f : 0.0f;
    };
}

}  // namespace

TEST(TerrainBlobs, FreeMoundsOfAnEmptyScreen) {
    const std::vector<Terrain::Blob> blobs = Renderer::terrainBlobs(spec(1440, 900), {});
    // n = Int(3.927…) + 2 = 5 from 125 tries, all kept without icons.
    ASSERT_EQ(blobs.size(), 5u);
    for (std::size_t a = 0; a < blobs.size(); ++a) {
        EXPECT_TRUE(isMound(blobs[a]));
        EXPECT_EQ(blobs[a].amp, 0.85f);
        EXPECT_GE(blobs[a].r, 48);
        EXPECT_LT(blobs[a].r, 80);
        EXPECT_GE(blobs[a].box.minX(), 70);
        EXPECT_LT(blobs[a].box.minX(), 1370);
        EXPECT_GE(blobs[a].box.minY(), 90);
        EXPECT_LT(blobs[a].box.minY(), 830);
        for (std::size_t b = 0; b < a; ++b)
            EXPECT_GT(std::hypot(blobs[a].box.minX() - blobs[b].box.minX(), blobs[a].box.minY() - blobs[b].box.minY()), 300);
    }
    // The first try is always accepted: the first three draws of the scene seed 2665840029.
    RNG r(2665840029ULL);
    const double u0 = r.next(), u1 = r.next(), u2 = r.next();
    EXPECT_EQ(blobs[0].box.minX(), 70 + 1300 * u0);
    EXPECT_EQ(blobs[0].box.minY(), 90 + 740 * u1);
    EXPECT_EQ(blobs[0].r, 48 + 32 * u2);

    const Terrain t = Terrain::make({1440, 900}, blobs, 0.5f, 10, 7, false);
    EXPECT_EQ(t.v->cols, 363);
    EXPECT_EQ(t.v->rows, 228);
    for (const GridRef& g : {t.body, t.shade, t.depth, t.tex}) {
        EXPECT_EQ(g->cols, 363);
        EXPECT_EQ(g->rows, 228);
    }
}

TEST(TerrainBlobs, ZonesThenSatellitesThenSurvivingMounds) {
    const std::vector<Terrain::Blob> none = Renderer::terrainBlobs(spec(1440, 900), {});
    // An icon right on the first free mound drops it, and nothing replaces it.
    const cg::Point onFirst{none[0].box.minX(), none[0].box.minY()};
    const std::vector<cg::Rect> keep = {around(onFirst), around({1380, 60})};
    SceneSpec s = spec(1440, 900, {onFirst, {1380, 60}});
    const std::vector<Terrain::Blob> blobs = Renderer::terrainBlobs(s, keep);
    const double R = 1.7 * 64;  // above the floor of 80
    ASSERT_GE(blobs.size(), 8u);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(blobs[k].box, keep[k]);
        EXPECT_EQ(blobs[k].r, R);
        EXPECT_EQ(blobs[k].amp, 1.0f);
    }
    for (int k = 2; k < 8; ++k) {
        EXPECT_TRUE(isMound(blobs[k]));
        EXPECT_EQ(blobs[k].amp, 0.75f);
        EXPECT_GE(blobs[k].r, 0.6 * R);
        EXPECT_LE(blobs[k].r, R);
        // Each satellite stands beyond its zone's edge by 0.2 R to 0.7 R along its direction.
        const cg::Rect& z = keep[(k - 2) / 3];
        const double dx = (blobs[k].box.minX() - z.midX()), dy = (blobs[k].box.minY() - z.midY());
        EXPECT_LE(std::hypot(dx, dy), std::hypot(32 + 0.7 * R, 32 + 0.7 * R) + 1e-9);
        EXPECT_GE(std::hypot(dx, dy), 32 + 0.2 * R - 1e-9);
    }
    const std::vector<Terrain::Blob> kept = freeMounds(blobs);
    EXPECT_EQ(kept.size() + 8, blobs.size());
    EXPECT_LE(kept.size(), none.size() - 1);
    // The survivors are the icon-free layout's mounds, in order, less those near an icon.
    std::size_t at = 0;
    for (const auto& b : kept) {
        while (at < none.size() && !(none[at].box == b.box)) {
            bool nearIcon = false;
            for (const auto& k : keep) nearIcon |= k.insetBy(-1.9 * R, -1.9 * R).contains(none[at].box.origin);
            EXPECT_TRUE(nearIcon);
            ++at;
        }
        ASSERT_LT(at, none.size());
        EXPECT_EQ(b.r, none[at].r);
        ++at;
    }
    for (; at < none.size(); ++at) {
        bool nearIcon = false;
        for (const auto& k : keep) nearIcon |= k.insetBy(-1.9 * R, -1.9 * R).contains(none[at].box.origin);
        EXPECT_TRUE(nearIcon);
    }
}

TEST(TerrainBlobs, SatellitesHangOnTheIconsOwnPosition) {
    // A zone centred on the origin seeds its satellites with 0: the known sequence of RNG(0).
    const std::vector<cg::Rect> keep = {cg::Rect(-32, -32, 64, 64)};
    const auto blobs = Renderer::terrainBlobs(spec(1440, 900), keep);
    const double R = 1.7 * 64;
    const double angle = 2 * std::numbers::pi * 0.8833108082136426;
    const double d = R * (0.2 + 0.49999999999999994 * 0.43152799704850997);
    EXPECT_EQ(blobs[1].box.minX(), std::cos(angle) * (32 + d));
    EXPECT_EQ(blobs[1].box.minY(), std::sin(angle) * (32 + d));
    EXPECT_EQ(blobs[1].r, R * (0.6 + 0.4 * 0.026433771592597743));
    // Int() truncates toward zero: a centre 0.1 point left of the origin seeds the same way.
    const auto nudged = Renderer::terrainBlobs(spec(1440, 900), {cg::Rect(-32.1, -31.9, 64, 64)});
    for (int k = 1; k < 4; ++k) EXPECT_NEAR(nudged[k].box.minX() + 0.1, blobs[k].box.minX(), 1e-9);

    // Moving one icon changes only its own zone and satellites.
    const std::vector<cg::Rect> two = {around({300, 300}), around({900, 500})};
    const std::vector<cg::Rect> moved = {around({300, 300}), around({960, 520})};
    const auto a = Renderer::terrainBlobs(spec(1440, 900), two);
    const auto b = Renderer::terrainBlobs(spec(1440, 900), moved);
    EXPECT_EQ(a[0].box, b[0].box);
    for (int k = 2; k < 5; ++k) {
        EXPECT_EQ(a[k].box, b[k].box);
        EXPECT_EQ(a[k].r, b[k].r);
    }
    for (int k = 5; k < 8; ++k) EXPECT_FALSE(a[k].box == b[k].box);
}

TEST(TerrainBlobs, NegativeNaNAndHugeCentresStayDefined) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<cg::Rect> keep = {around({-500, -300}), around({-1e-3, 12}), cg::Rect(nan, nan, 64, 64),
                                        around({1e300, -1e300}), around({-4e18, 9e18})};
    const auto blobs = Renderer::terrainBlobs(spec(1440, 900), keep);
    EXPECT_GE(blobs.size(), keep.size() * 4);
    for (std::size_t k = keep.size(); k < keep.size() * 4; k += 3) EXPECT_EQ(blobs[k].amp, 0.75f);
    // Satellites of a negative centre lie around it.
    for (int k = 5; k < 8; ++k) {
        EXPECT_LT(blobs[k].box.minX(), -300);
        EXPECT_LT(blobs[k].box.minY(), -100);
    }
    // The whole terrain still builds: the far blobs simply touch no cell.
    const Terrain t = Terrain::make({1440, 900}, blobs, 0.5f, 12, 1, false);
    for (float x : t.v->p) ASSERT_FALSE(std::isnan(x));
}

TEST(TerrainRaise, IconZoneAddsOneInsideAndNothingFromR) {
    Grid v(363, 228, 0);
    const cg::Rect keep(402, 198, 64, 86);
    const double R = 108.8;
    Terrain::raise(v, {keep, R, 1.0f});
    int inside = 0, ring = 0;
    for (int64_t j = 0; j < v.rows; ++j)
        for (int64_t i = 0; i < v.cols; ++i) {
            const double X = 4.0 * double(i), Y = 4.0 * double(j);
            const double dx = std::max({keep.minX() - X, X - keep.maxX(), 0.0});
            const double dy = std::max({keep.minY() - Y, Y - keep.maxY(), 0.0});
            const double d = std::hypot(dx, dy);
            if (d == 0) {
                EXPECT_EQ(v.at(i, j), 1.0f);
                ++inside;
            } else if (d >= R) {
                EXPECT_EQ(v.at(i, j), 0.0f) << i << "," << j;
            } else {
                EXPECT_GT(v.at(i, j), 0.0f);
                EXPECT_LT(v.at(i, j), 1.0f);
                const double q = d * d / (R * R);
                EXPECT_NEAR(v.at(i, j), (1 - q) * (1 - q), 1e-5);
                ++ring;
            }
        }
    EXPECT_EQ(inside, 16 * 22);
    EXPECT_GT(ring, 1000);
    // Blobs add up; a round mound peaks at its amp.
    Terrain::raise(v, {cg::Rect(600, 400, 0, 0), 60, 0.85f});
    EXPECT_EQ(v.at(150, 100), 0.85f);
    EXPECT_EQ(v.at(150 + 15, 100), 0.0f);
    // Blobs reaching past the grid's edges are cut off, not out of bounds.
    Grid small(5, 4, 0);
    Terrain::raise(small, {cg::Rect(-50, -50, 200, 200), 500, 1});
    for (float x : small.p) EXPECT_EQ(x, 1.0f);
}

TEST(TerrainMake, OpenWaterStaysFlatAndTextureIsNoise) {
    const Terrain t = Terrain::make({600, 400}, {{cg::Rect(300, 200, 0, 0), 80, 1}}, 0.5f, 8, 99, false);
    float lo = 1, hi = -1;
    for (int64_t j = 0; j < t.v->rows; ++j)
        for (int64_t i = 0; i < t.v->cols; ++i) {
            const float tex = t.tex->at(i, j);
            lo = std::min(lo, tex);
            hi = std::max(hi, tex);
            const double d = std::hypot(4.0 * double(i) - 300, 4.0 * double(j) - 200);
            if (d >= 80) {
                EXPECT_EQ(t.v->at(i, j), 0.0f);
            }
        }
    EXPECT_GE(lo, -1.0f);
    EXPECT_LE(hi, 1.0f);
    EXPECT_LT(lo, -0.1f);
    EXPECT_GT(hi, 0.1f);
    // On the hilltop the roughness is 0.4·tex + 0.1·noise at full strength.
    const float peak = 1 + (0.4f * t.tex->at(75, 50) + 0.1f * valueNoise(300.0f / 13, 200.0f / 13, 99 + 53));
    EXPECT_EQ(t.v->at(75, 50), peak);
}

TEST(TerrainMake, CrispKeepsShadeEqualToBody) {
    const std::vector<Terrain::Blob> blobs = {{cg::Rect(200, 150, 64, 64), 108.8, 1}, {cg::Rect(500, 300, 0, 0), 70, 0.85f}};
    const Terrain crisp = Terrain::make({800, 500}, blobs, 0.5f, 12, 3, true);
    EXPECT_TRUE(sameGrid(*crisp.shade, *crisp.body));
    const Terrain soft = Terrain::make({800, 500}, blobs, 0.5f, 12, 3, false);
    EXPECT_TRUE(sameGrid(*soft.body, *crisp.body));
    EXPECT_FALSE(sameGrid(*soft.shade, *soft.body));
    // The blur keeps a flat field flat and the mass in place.
    double sumBody = 0, sumShade = 0;
    for (std::size_t k = 0; k < soft.body->p.size(); ++k) {
        sumBody += soft.body->p[k];
        sumShade += soft.shade->p[k];
    }
    EXPECT_NEAR(sumShade, sumBody, 1e-3 * sumBody);
    EXPECT_EQ(soft.shade->at(0, 0), 0.0f);
}

TEST(TerrainMake, DepthAndCliffFacesBelowALandEdge) {
    // Land in rows 0–9, water below; landAt 0.5 and a 12-point cliff reach three rows down.
    const Terrain t = Terrain::make({100, 100}, {}, 0.5f, 12, 5, true, cliffTop(10));
    for (int64_t i = 0; i < t.v->cols; ++i) {
        for (int64_t j = 0; j < 10; ++j) EXPECT_EQ(t.depth->at(i, j), 0.0f);
        EXPECT_EQ(t.depth->at(i, 10), 2.0f);   // (0.5 / 1 + 0)·4
        EXPECT_EQ(t.depth->at(i, 11), 6.0f);   // (0.5 / 1 + 1)·4
        EXPECT_EQ(t.depth->at(i, 12), 10.0f);  // (0.5 / 1 + 2)·4
        EXPECT_EQ(t.depth->at(i, 13), 12.0f);  // out of reach: the cliff height
        for (int64_t j = 10; j < 13; ++j) EXPECT_EQ(t.body->at(i, j), 1.0f);  // the cliff face
        EXPECT_EQ(t.body->at(i, 13), 0.0f);
        EXPECT_EQ(t.v->at(i, 12), 0.0f);
    }
    // A sloping edge interpolates where the land level is crossed.
    const Terrain::Reshape slope = [](Grid& v, Grid&) {
        for (int64_t j = 0; j < v.rows; ++j)
            for (int64_t i = 0; i < v.cols; ++i) v.at(i, j) = j < 4 ? 0.9f : j == 4 ? 0.3f : 0.1f;
    };
    const Terrain s = Terrain::make({40, 40}, {}, 0.5f, 8, 5, true, slope);
    EXPECT_EQ(s.depth->at(0, 4), (0.5f - 0.3f) / (0.9f - 0.3f) * 4.0f);
    EXPECT_EQ(s.depth->at(0, 5), ((0.5f - 0.3f) / (0.9f - 0.3f) + 1.0f) * 4.0f);
    EXPECT_EQ(s.depth->at(0, 6), 8.0f);
    EXPECT_EQ(s.body->at(0, 5), 0.9f);
}

TEST(TerrainMake, LowCliffLeavesDepthAtCliffAndBodyAtHeight) {
    const std::vector<Terrain::Blob> blobs = {{cg::Rect(100, 100, 64, 64), 100, 1}, {cg::Rect(300, 120, 0, 0), 60, 0.85f}};
    const Terrain t = Terrain::make({480, 320}, blobs, 0.45f, 3.5f, 11, false,
                                    [](Grid& v, Grid& tex) { shelve(v, tex, 0.45f, 0.17f); });
    EXPECT_TRUE(sameGrid(*t.body, *t.v));
    int water = 0;
    for (std::size_t k = 0; k < t.v->p.size(); ++k) {
        if (t.v->p[k] >= 0.45f) {
            EXPECT_EQ(t.depth->p[k], 0.0f);
        } else {
            EXPECT_EQ(t.depth->p[k], 3.5f);
            ++water;
        }
    }
    EXPECT_GT(water, 1000);
}

TEST(Shelve, RaisesOnlyShallowWaterUpToTop) {
    const std::vector<Terrain::Blob> blobs = {{cg::Rect(150, 120, 64, 64), 108.8, 1}, {cg::Rect(420, 300, 0, 0), 70, 0.85f},
                                              {cg::Rect(700, 150, 0, 0), 50, 0.4f}};
    const Terrain t = Terrain::make({800, 480}, blobs, 0.5f, 12, 21, false);
    Grid v(Grid::CopyTag{}, *t.v);
    const float top = 0.17f;
    shelve(v, *t.tex, 0.5f, top);
    int raised = 0, untouchedFar = 0, belowZero = 0;
    for (int64_t j = 0; j < v.rows; ++j)
        for (int64_t i = 0; i < v.cols; ++i) {
            const float before = t.v->at(i, j), after = v.at(i, j);
            if (before >= 0.5f) {
                EXPECT_EQ(after, before);
                continue;
            }
            EXPECT_GE(after, before);
            EXPECT_LE(after, std::max(before, top));
            raised += after > before;
            belowZero += before < 0;
            // Far from any land (beyond 50 points and the smoothing) the shelf is 0: only water that the
            // roughness pushed below 0 comes up to 0.
            bool nearLand = false;
            for (int64_t b = std::max<int64_t>(j - 30, 0); b < std::min(j + 31, v.rows) && !nearLand; ++b)
                for (int64_t a = std::max<int64_t>(i - 30, 0); a < std::min(i + 31, v.cols); ++a)
                    if (t.v->at(a, b) >= 0.5f) {
                        nearLand = true;
                        break;
                    }
            if (!nearLand) {
                EXPECT_EQ(after, std::max(before, 0.0f));
                ++untouchedFar;
            }
        }
    EXPECT_GT(raised, 100);
    EXPECT_GT(untouchedFar, 1000);
    EXPECT_GT(belowZero, 0);
    // With no land at all nothing is raised.
    Grid flat(40, 30, 0.1f), tex(40, 30, 0);
    shelve(flat, tex, 0.5f, top);
    for (float x : flat.p) EXPECT_EQ(x, 0.1f);
}

TEST(TerrainMake, SameRequestSameGridsAtAnyThreadCount) {
    const std::vector<Terrain::Blob> blobs = Renderer::terrainBlobs(spec(1710, 1112), {around({1650, 60}), around({1650, 160})});
    auto build = [&] {
        return Terrain::make({1710, 1112}, blobs, 0.5f, 14, 1234567, false,
                             [](Grid& v, Grid& tex) { shelve(v, tex, 0.5f, 0.16f); });
    };
    const Terrain a = build(), b = build();
    EXPECT_TRUE(sameTerrain(a, b));
    Terrain one;
    {
        dispatch::ThreadCountScope scope(1);
        one = build();
    }
    Terrain many;
    {
        dispatch::ThreadCountScope scope(8);
        many = build();
    }
    EXPECT_TRUE(sameTerrain(a, one));
    EXPECT_TRUE(sameTerrain(a, many));
}

namespace {
// Icons in a desktop column at the right edge, with plain icon-sized keep rectangles.
std::vector<cg::Rect> columnKeep(double w, int count) {
    std::vector<cg::Rect> keep;
    for (int k = 0; k < count; ++k)
        keep.push_back(around({w - 60 - 100 * double(k / 8), 60 + 100 * double(k % 8)}));
    return keep;
}

float shelfTop(SceneKind kind) {
    switch (kind) {
        case SceneKind::archipelago: return 0.17f;
        case SceneKind::winter: return 0.14f;
        case SceneKind::sea: return 0.16f;
        case SceneKind::pond: return 0.15f;
        default: return 0;
    }
}
}  // namespace

TEST(RendererTerrain, EveryKindReshapesItsOwnWay) {
    const double W = 1440, H = 900;
    const std::vector<cg::Rect> keep = columnKeep(W, 11);
    for (SceneKind kind : scene_kind::allCases) {
        SCOPED_TRACE(std::string(scene_kind::rawValue(kind)));
        SceneSpec s = spec(W, H);
        s.kind = kind;
        const Look look(kind, false, static_cast<float>(H));
        const Terrain t = Renderer::terrain(s, look, keep);
        ASSERT_EQ(t.v->cols, 363);
        ASSERT_EQ(t.v->rows, 228);
        // The same layout without a reshape, to see what the reshape did.
        const bool crisp = kind == SceneKind::city;
        const Terrain plain = Terrain::make(s.size, Renderer::terrainBlobs(s, keep), look.landAt(), look.cliff,
                                            static_cast<uint32_t>(s.seed()), crisp);
        EXPECT_EQ(sameGrid(*t.shade, *t.body), crisp);
        const float top = shelfTop(kind), landAt = look.landAt();
        if (kind == SceneKind::city) {
            for (float x : t.v->p) ASSERT_TRUE(x == 0.0f || x == 1.0f);
            EXPECT_FALSE(sameGrid(*t.tex, *plain.tex));
        } else if (top > 0) {
            float highest = -1;
            for (std::size_t k = 0; k < t.v->p.size(); ++k) {
                const float before = plain.v->p[k], after = t.v->p[k];
                if (before >= landAt) {
                    ASSERT_EQ(after, before);
                    continue;
                }
                ASSERT_GE(after, before);
                ASSERT_LE(after, std::max(before, top));
                if (after > before) highest = std::max(highest, after);
            }
            EXPECT_GT(highest, top - 0.05f);
            EXPECT_TRUE(sameGrid(*t.tex, *plain.tex));
        } else {
            EXPECT_TRUE(sameTerrain(t, plain));
        }
        for (std::size_t k = 0; k < t.v->p.size(); ++k) {
            ASSERT_TRUE(std::isfinite(t.v->p[k]));
            ASSERT_GE(t.depth->p[k], 0.0f);
            ASSERT_LE(t.depth->p[k], look.cliff);
            ASSERT_GE(t.body->p[k], t.v->p[k]);
        }
    }
}

TEST(RendererTerrain, DayAndNightShareTheLayoutAndRepeatExactly) {
    const std::vector<cg::Rect> keep = columnKeep(1710, 23);
    for (SceneKind kind : {SceneKind::archipelago, SceneKind::city, SceneKind::canyon}) {
        SceneSpec s = spec(1710, 1112);
        s.kind = kind;
        const Look day(kind, false, 1112), night(kind, true, 1112);
        const Terrain a = Renderer::terrain(s, day, keep);
        Terrain b;
        {
            dispatch::ThreadCountScope one(1);
            b = Renderer::terrain(s, day, keep);
        }
        EXPECT_TRUE(sameTerrain(a, b));
        const Terrain n = Renderer::terrain(s, night, keep);
        // Night changes colours, not land: the same levels give the same grids.
        EXPECT_EQ(night.landAt(), day.landAt());
        EXPECT_EQ(night.cliff, day.cliff);
        EXPECT_TRUE(sameTerrain(a, n));
    }
}
