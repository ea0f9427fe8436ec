// The corals' sampled strokes: their coverage against exact areas and against Cairo's own stroking, and
// the strokes drawn into a picture against the same strokes drawn through Cairo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Art/Reef.h"
#include "ArtTestSupport.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

using Coverage = Art::Reef::Coverage;
using Disc = Art::Reef::Disc;

// The coverage at pixel (x, y) of the y-up pixel space; 0 outside the box.
int at(const Coverage& c, int x, int y) {
    if (x < c.x || x >= c.x + c.width || y < c.y || y >= c.y + c.height) return 0;
    const int rowFromTop = c.y + c.height - 1 - y;
    return c.alpha[static_cast<std::size_t>(rowFromTop) * static_cast<std::size_t>(c.width) +
                   static_cast<std::size_t>(x - c.x)];
}

// Cairo's coverage of the same segments: opaque white stroked on a clear bitmap, one pixel per point.
std::unique_ptr<cg::Context> cairoStroke(const std::vector<cg::Point>& pairs, double radius,
                                         std::optional<Disc> clip, int w, int h) {
    auto c = cg::Context::makeBitmap(w, h, 1);
    if (clip)
        c->clip([&] {
            cg::Path d;
            d.addEllipse(cg::Rect(clip->centre.x - clip->radius, clip->centre.y - clip->radius, 2 * clip->radius,
                                  2 * clip->radius));
            return d;
        }());
    c->setStrokeColor(cg::Color::white());
    c->setLineWidth(2 * radius);
    c->setLineCap(cg::LineCap::round);
    c->setLineJoin(cg::LineJoin::round);
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
        c->moveTo(pairs[i]);
        c->lineTo(pairs[i + 1]);
    }
    c->strokePath();
    return c;
}

// A polyline as the pairs of its segments.
std::vector<cg::Point> chain(const std::vector<cg::Point>& points) {
    std::vector<cg::Point> pairs;
    for (std::size_t i = 1; i < points.size(); ++i) {
        pairs.push_back(points[i - 1]);
        pairs.push_back(points[i]);
    }
    return pairs;
}

}  // namespace

TEST(ReefStrokes, AStraightStrokeCoversEachRowByTheLinesThroughItThatItCrosses) {
    // A horizontal stroke of radius r along y = c covers a row's pixels, away from its round ends, by the
    // share of the row's 15 sample lines, (k + ½)/15 up the row, that lie between c − r and c + r.
    const struct {
        double centre, radius;
        std::vector<std::pair<int, int>> rows;  // y-up row, lines crossed
    } table[] = {
        {10.5, 0.75, {{8, 0}, {9, 4}, {10, 15}, {11, 4}, {12, 0}}},
        {10.0, 0.52, {{9, 8}, {10, 8}, {11, 0}}},
        {10.2, 0.32, {{9, 2}, {10, 8}, {11, 0}}},
        {10.9, 1.65, {{8, 0}, {9, 11}, {10, 15}, {11, 15}, {12, 8}, {13, 0}}},
    };
    for (const auto& row : table) {
        const std::vector<cg::Point> pairs = {{4, row.centre}, {40, row.centre}};
        const Coverage c = Art::Reef::strokeCoverage(pairs, row.radius, std::nullopt, 64, 32);
        for (const auto& [y, lines] : row.rows)
            for (int x : {10, 20, 30})
                EXPECT_EQ(at(c, x, y), (lines * 255 + 7) / 15) << "centre " << row.centre << " radius " << row.radius
                                                                << " row " << y << " column " << x;
        // The round ends reach r beyond the segment's ends and no further.
        EXPECT_GT(at(c, 3, static_cast<int>(row.centre)), 0);
        EXPECT_EQ(at(c, static_cast<int>(std::floor(4 - row.radius)) - 1, static_cast<int>(row.centre)), 0);
        EXPECT_EQ(at(c, static_cast<int>(std::ceil(40 + row.radius)), static_cast<int>(row.centre)), 0);
    }
}

TEST(ReefStrokes, CoverageMatchesCairosStrokeOfTheSameSegments) {
    const struct {
        std::string name;
        std::vector<cg::Point> pairs;
        double radius;
        std::optional<Disc> clip;
    } table[] = {
        {"thin slant", {{3.3, 4.1}, {27.7, 19.6}}, 0.33, std::nullopt},
        {"ridge width", chain({{2.2, 10.4}, {6.1, 12.3}, {10.4, 9.8}, {14.2, 12.9}, {18.7, 10.1}, {23.1, 11.6}}), 0.65,
         std::nullopt},
        {"steep zigzag", chain({{10.2, 1.3}, {12.9, 8.8}, {9.4, 15.1}, {13.3, 23.7}}), 1.1, std::nullopt},
        {"broad branch", chain({{5.5, 5.5}, {12.1, 9.3}, {15.8, 17.2}}), 2.2, std::nullopt},
        {"spokes", {{16.1, 16.2}, {27.0, 16.2}, {16.1, 16.2}, {16.1, 27.3}, {16.1, 16.2}, {8.3, 8.9},
                    {16.1, 16.2}, {23.4, 9.9}}, 0.35, std::nullopt},
        {"a dot", {{12.4, 12.6}, {12.4, 12.6}}, 1.4, std::nullopt},
        {"ridges cut to a disc",
         chain({{3.1, 16.4}, {9.2, 13.3}, {15.3, 18.2}, {21.4, 14.1}, {29.5, 16.6}}), 0.7, Disc{{16.3, 15.8}, 9.2}},
        {"past the bitmap's edge", chain({{-5.2, 3.3}, {8.6, 30.9}, {36.1, 28.4}}), 0.9, std::nullopt},
    };
    constexpr int kW = 32, kH = 32;
    for (const auto& row : table) {
        const Coverage c = Art::Reef::strokeCoverage(row.pairs, row.radius, row.clip, kW, kH);
        const auto cairo = cairoStroke(row.pairs, row.radius, row.clip, kW, kH);
        int worst = 0, within = 0, inked = 0;
        double ours = 0, theirs = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int want = static_cast<int>(cairo->pixel(x, kH - 1 - y) >> 24), got = at(c, x, y);
                worst = std::max(worst, std::abs(want - got));
                within += std::abs(want - got) <= 3;
                inked += want > 0;
                ours += got;
                theirs += want;
            }
        EXPECT_GT(inked, 8) << row.name;
        // Cairo draws round ends as polygons and rounds its points to 1/256 pixel: a few levels apart on
        // the round parts, nearly none along the sides.
        EXPECT_LE(worst, 16) << row.name;
        EXPECT_GE(within, kW * kH * 97 / 100) << row.name;
        EXPECT_NEAR(ours, theirs, 0.02 * theirs) << row.name;
        // The box holds every covered pixel and stays on the bitmap.
        EXPECT_GE(c.x, 0) << row.name;
        EXPECT_GE(c.y, 0) << row.name;
        EXPECT_LE(c.x + c.width, kW) << row.name;
        EXPECT_LE(c.y + c.height, kH) << row.name;
        EXPECT_EQ(c.alpha.size(), static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height)) << row.name;
    }
}

TEST(ReefStrokes, NothingToDrawGivesAnEmptyBox) {
    const double nan = std::nan("");
    const struct {
        std::string name;
        std::vector<cg::Point> pairs;
        double radius;
        std::optional<Disc> clip;
    } table[] = {
        {"no segments", {}, 1, std::nullopt},
        {"a lone point", {{5, 5}}, 1, std::nullopt},
        {"no width", {{2, 2}, {9, 9}}, 0, std::nullopt},
        {"an undefined width", {{2, 2}, {9, 9}}, nan, std::nullopt},
        {"an undefined point", {{2, 2}, {nan, 9}}, 1, std::nullopt},
        {"off the bitmap", {{-40, 5}, {-20, 5}}, 1, std::nullopt},
        {"a disc elsewhere", {{2, 2}, {9, 2}}, 1, Disc{{20, 20}, 3}},
        {"an empty disc", {{2, 2}, {9, 2}}, 1, Disc{{5, 2}, 0}},
    };
    for (const auto& row : table) {
        const Coverage c = Art::Reef::strokeCoverage(row.pairs, row.radius, row.clip, 32, 32);
        EXPECT_EQ(c.width * c.height, 0) << row.name;
        EXPECT_TRUE(c.alpha.empty()) << row.name;
    }
}

TEST(ReefStrokes, SampledStrokesDrawAsCairoStrokesInColourUnderAnyRoundTransform) {
    const struct {
        std::string name;
        double scale, angle, sx, sy;
        bool fallsBack;
    } table[] = {
        {"the scene's scale", 2, 0, 1.45, 1.45, false},
        {"turned", 2, 0.7, 1.2, 1.2, false},
        {"mirrored", 1, 0, -1.6, 1.6, false},
        {"squashed (through Cairo)", 2, 0, 1.5, 0.8, true},
    };
    const std::vector<cg::Point> pairs = chain({{-4.6, -1.2}, {-2.3, 0.4}, {0, -0.7}, {2.3, 0.9}, {4.6, -0.3}});
    for (const auto& row : table) {
        auto draw = [&](bool sampled) {
            auto p = arttest::painter(40, 30, row.scale, SceneKind::reef);
            return p->offscreen(40, 30, [&] {
                cg::Context& c = *p->ctx;
                c.setFillColor(cg::Color::rgb(0x40604a));
                c.fill(cg::Rect(0, 0, 40, 30));
                c.translateBy(20, 15);
                c.rotateBy(row.angle);
                c.scaleBy(row.sx, row.sy);
                Art::Reef reef(*p.art);
                if (sampled) {
                    reef.strokeSampled(0x6e5458, 0.75, 0.9, pairs, Disc{{0, 0}, 4});
                } else {
                    cg::SavedState clipped(c);
                    cg::Path d;
                    d.addEllipse(cg::Rect(-4, -4, 8, 8));
                    c.clip(d);
                    p->shape(0x6e5458, 0.75, 0.9, [&](cg::Path& path) {
                        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
                            path.moveTo(pairs[i]);
                            path.lineTo(pairs[i + 1]);
                        }
                    });
                }
            });
        };
        const auto ours = draw(true), cairo = draw(false);
        ASSERT_TRUE(ours && cairo) << row.name;
        int worst = 0, changed = 0;
        for (int y = 0; y < ours->pixelHeight(); ++y)
            for (int x = 0; x < ours->pixelWidth(); ++x) {
                const uint32_t a = ours->pixel(x, y), b = cairo->pixel(x, y);
                changed += ours->pixel(x, y) != 0xff40604a;
                for (int shift = 0; shift < 32; shift += 8)
                    worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
            }
        EXPECT_GT(changed, 20) << row.name;
        if (row.fallsBack) EXPECT_EQ(worst, 0) << row.name;
        else EXPECT_LE(worst, 10) << row.name;
    }
}

TEST(ReefStrokes, AnEllipseCoversItsAreaAndItsRowsAsCairoFillsIt) {
    const struct {
        cg::Point centre;
        double rx, ry;
    } table[] = {{{16.3, 15.7}, 9.2, 9.2}, {{10.5, 12.0}, 2.2, 1.9}, {{20.1, 8.4}, 6.5, 3.1}, {{5.2, 25.6}, 0.9, 1.4}};
    constexpr int kW = 32, kH = 32;
    for (const auto& row : table) {
        const Coverage c = Art::Reef::ellipseCoverage(row.centre, row.rx, row.ry, kW, kH);
        auto cairo = cg::Context::makeBitmap(kW, kH, 1);
        cairo->setFillColor(cg::Color::white());
        cairo->fillEllipse(cg::Rect(row.centre.x - row.rx, row.centre.y - row.ry, 2 * row.rx, 2 * row.ry));
        double sum = 0;
        int worst = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                sum += at(c, x, y) / 255.0;
                worst = std::max(worst, std::abs(at(c, x, y) - static_cast<int>(cairo->pixel(x, kH - 1 - y) >> 24)));
            }
        const double area = std::numbers::pi * row.rx * row.ry;
        EXPECT_NEAR(sum, area, 0.02 * area + 0.1) << row.rx << " × " << row.ry;
        EXPECT_LE(worst, 24) << row.rx << " × " << row.ry;
        // The centre row is covered across the ellipse's width, the rows beyond its height not at all.
        EXPECT_EQ(at(c, static_cast<int>(row.centre.x), static_cast<int>(std::ceil(row.centre.y + row.ry))), 0);
        EXPECT_EQ(at(c, static_cast<int>(std::floor(row.centre.x + row.rx)) + 1, static_cast<int>(row.centre.y)), 0);
    }
    EXPECT_TRUE(Art::Reef::ellipseCoverage({5, 5}, 0, 3, kW, kH).alpha.empty());
    EXPECT_TRUE(Art::Reef::ellipseCoverage({5, 5}, 3, std::nan(""), kW, kH).alpha.empty());
    EXPECT_TRUE(Art::Reef::ellipseCoverage({-9, 5}, 3, 3, kW, kH).alpha.empty());
}

TEST(ReefStrokes, TheBushCrownLooksAsTheCanopyItStandsFor) {
    const struct {
        std::string name;
        double scale, angle, size;
        bool fallsBack;
    } table[] = {
        {"the scene's scale", 2, 0, 1.45, false},
        {"one pixel a point", 1, 0, 1.7, false},
        {"turned (through the canopy)", 2, 0.5, 1.3, true},
    };
    for (const auto& row : table)
        for (double v : {0.0137, 0.4521, 0.8803}) {
            auto draw = [&](bool ours) {
                auto p = arttest::painter(40, 30, row.scale, SceneKind::reef);
                return p->offscreen(40, 30, [&] {
                    cg::Context& c = *p->ctx;
                    c.setFillColor(cg::Color::rgb(0x2e6a7a));
                    c.fill(cg::Rect(0, 0, 40, 30));
                    c.translateBy(20.3, 14.8);
                    c.rotateBy(row.angle);
                    c.scaleBy(row.size, row.size);
                    if (ours) Art::Reef(*p.art).bush(0x52546a, 0x9096b2, v);
                    else p->canopy({0, 0}, 5.5, 0x52546a, 0x9096b2, v);
                });
            };
            const auto ours = draw(true), canopy = draw(false);
            ASSERT_TRUE(ours && canopy) << row.name;
            int worst = 0, close = 0, crown = 0;
            const int n = ours->pixelWidth() * ours->pixelHeight();
            for (int y = 0; y < ours->pixelHeight(); ++y)
                for (int x = 0; x < ours->pixelWidth(); ++x) {
                    const uint32_t a = ours->pixel(x, y), b = canopy->pixel(x, y);
                    crown += b != 0xff2e6a7a;
                    int most = 0;
                    for (int shift = 0; shift < 32; shift += 8)
                        most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
                    worst = std::max(worst, most);
                    close += most <= 3;
                }
            EXPECT_GT(crown, 60) << row.name << " " << v;
            if (row.fallsBack) {
                EXPECT_EQ(worst, 0) << row.name << " " << v;
            } else {
                // Cairo cuts a circle as a polygon and walks the gradient in single precision: a few levels
                // round the lobes' rims and across them.
                EXPECT_LE(worst, 8) << row.name << " " << v;
                EXPECT_GE(close, n - crown / 40) << row.name << " " << v;
            }
        }
}

TEST(ReefStrokes, APolygonCoversItsAreaAndNothingOutsideItsEdges) {
    const struct {
        std::string name;
        std::vector<cg::Point> rim;
        double area;
    } table[] = {
        {"a square on the grid", {{4, 4}, {12, 4}, {12, 12}, {4, 12}}, 64},
        {"a slanted triangle", {{3.3, 2.1}, {27.6, 9.4}, {11.2, 25.8}}, 0.5 * std::abs((27.6 - 3.3) * (25.8 - 2.1) - (11.2 - 3.3) * (9.4 - 2.1))},
        {"a notched star", {{16, 4}, {18, 14}, {28, 16}, {18, 18}, {16, 28}, {14, 18}, {4, 16}, {14, 14}}, 4 * 0.5 * 2 * 12 * 2},
    };
    constexpr int kW = 32, kH = 32;
    for (const auto& row : table) {
        const Coverage c = Art::Reef::polygonCoverage(row.rim, kW, kH);
        auto cairo = cg::Context::makeBitmap(kW, kH, 1);
        cairo->setFillColor(cg::Color::white());
        cairo->addLines(row.rim);
        cairo->closePath();
        cairo->fillPath();
        double sum = 0;
        int worst = 0, within = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                sum += at(c, x, y) / 255.0;
                const int apart = std::abs(at(c, x, y) - static_cast<int>(cairo->pixel(x, kH - 1 - y) >> 24));
                worst = std::max(worst, apart);
                within += apart <= 3;
            }
        EXPECT_NEAR(sum, row.area, 0.01 * row.area) << row.name;
        // Along slanting edges Cairo's coverage runs up to 9 levels above the sampled one, and a pixel at a
        // sharp corner may differ by more; the area is the same.
        EXPECT_LE(worst, 24) << row.name;
        EXPECT_GE(within, kW * kH * 95 / 100) << row.name;
    }
    // The square's inside is whole, its corners' outside untouched.
    const Coverage square = Art::Reef::polygonCoverage(table[0].rim, kW, kH);
    EXPECT_EQ(at(square, 8, 8), 255);
    EXPECT_EQ(at(square, 3, 8), 0);
    EXPECT_EQ(at(square, 12, 12), 0);
    EXPECT_TRUE(Art::Reef::polygonCoverage(std::vector<cg::Point>{{1, 1}, {5, 5}}, kW, kH).alpha.empty());
}

TEST(ReefStrokes, CoralPicturesLookAsTheirShapesDrawnThroughCairo) {
    // Each coral picture against the same shapes drawn one by one through Cairo, as separate clips,
    // gradients, strokes and fills, at the scene's scale and at one pixel a point.
    const std::vector<cg::Point> rim = [] {
        std::vector<cg::Point> r;
        for (int k = 0; k < 36; ++k) {
            const double a = k * std::numbers::pi / 18, radius = 5 * (0.8 + 0.2 * std::sin(2.1 + 5 * a));
            r.push_back({radius * std::cos(a), radius * std::sin(a)});
        }
        return r;
    }();
    const std::vector<cg::Rect> dots = {cg::Rect(-2.1, 0.3, 0.7, 0.7), cg::Rect(1.2, -1.9, 0.7, 0.7),
                                        cg::Rect(1.4, -1.6, 0.7, 0.7), cg::Rect(-0.4, 2.2, 0.7, 0.7)};
    const uint32_t m = 0x6e5458, o = 0xb48e92;
    // Limbs as pairs, with a twig off the first; two polyps overlap.
    const std::vector<cg::Point> limbs = {{-1.2, -0.4}, {0.6, 1.1}, {0.6, 1.1}, {1.3, 3.2}, {0.6, 1.1}, {2.3, 0.9},
                                          {0.4, -1.3}, {-1.6, -2.9}, {-1.6, -2.9}, {-3.7, -2.2}};
    const std::vector<cg::Point> tips = {{1.3, 3.2}, {2.3, 0.9}, {-3.7, -2.2}, {-3.3, -2.0}};
    auto shaded = [&](cg::Context& c, const std::vector<cg::Point>& outline, cg::Point focus, double reach) {
        cg::SavedState clipped(c);
        cg::Path path;
        path.addLines(outline);
        path.closeSubpath();
        c.clip(path);
        c.drawRadialGradient(cg::Gradient({cg::Color::rgb(o), cg::Color::rgb(m)}, {0, 1}), focus, 0, {0, 0}, reach,
                             {false, true});
    };
    // Pixels more than 3 levels apart, at most one in `share` of the inked ones: Cairo's circles of a pixel
    // or two are coarse polygons, so the polyps' rims differ more.
    const struct {
        std::string name;
        std::function<void(Art::Reef&)> ours;
        std::function<void(Art&)> cairo;
        int share = 50;
    } table[] = {
        {"lobed", [&](Art::Reef& r) { r.lobed(m, o, rim, dots); },
         [&](Art& a) {
             shaded(*a.ctx, rim, {-2, 2.25}, 6.25);
             for (const cg::Rect& d : dots) a.shape(o, 0.8, 0, [&](cg::Path& p) { p.addEllipse(d); });
         }},
        {"dots", [&](Art::Reef& r) { r.dotsSampled(0xf2c230, 0.6, dots); },
         [&](Art& a) {
             for (const cg::Rect& d : dots) a.shape(0xf2c230, 0.6, 0, [&](cg::Path& p) { p.addEllipse(d); });
         }},
        {"plate", [&](Art::Reef& r) { r.plate(m, o, std::span(rim).first(36)); },
         [&](Art& a) {
             a.shape(0x000000, 0.2, 0, [](cg::Path& p) { p.addEllipse(cg::Rect(-4.3, -8.32, 13, 11.44)); });
             shaded(*a.ctx, rim, {-2.6, 2.925}, 8.125);
             a.shape(o, 0.35, 0.35, [](cg::Path& p) {
                 for (int k = 0; k < 14; ++k) {
                     p.moveTo({0, 0});
                     p.lineTo({5.85 * std::cos(2 * std::numbers::pi * k / 14), 5.2 * std::sin(2 * std::numbers::pi * k / 14)});
                 }
             });
             a.shape(o, 0.6, 0.5, [&](cg::Path& p) {
                 p.addLines(rim);
                 p.closeSubpath();
             });
         }},
        {"branches", [&](Art::Reef& r) { r.branches(m, o, limbs, tips); },
         [&](Art& a) {
             auto strokeLimbs = [&](uint32_t color, double alpha, double width) {
                 a.shape(color, alpha, width, [&](cg::Path& p) {
                     for (std::size_t i = 0; i + 1 < limbs.size(); i += 2) {
                         p.moveTo(limbs[i]);
                         p.lineTo(limbs[i + 1]);
                     }
                 });
             };
             strokeLimbs(m, 1, 1.5);
             cg::SavedState saved(*a.ctx);
             a.ctx->translateBy(-0.3, 0.3);
             strokeLimbs(o, 0.8, 0.7);
             a.shape(0xc9e2f0, 0.9, 0, [&](cg::Path& p) {
                 for (const cg::Point& q : tips) p.addEllipse(cg::Rect(q.x - 0.55, q.y - 0.55, 1.1, 1.1));
             });
         },
         5},
        {"brain", [&](Art::Reef& r) { r.brain(m, o, 0.9); },
         [&](Art& a) {
             cg::SavedState clipped(*a.ctx);
             cg::Path disc;
             disc.addEllipse(cg::Rect(-4.6, -4.6, 9.2, 9.2));
             a.ctx->clip(disc);
             a.ctx->drawRadialGradient(cg::Gradient({cg::Color::rgb(o), cg::Color::rgb(m)}, {0, 1}), {-1.84, 2.07}, 0,
                                       {0, 0}, 5.75, {false, true});
             a.shape(m, 0.75, 0.45, [](cg::Path& p) {
                 for (int i = -3; i <= 3; ++i)
                     for (int j = 0; j <= 8; ++j) {
                         const double t = 4.6 * (j / 4.0 - 1), w = 1.3 * i + 0.5 * std::sin(2.3 * i + 1.9 * j);
                         const cg::Point q{t * std::cos(0.9) - w * std::sin(0.9), t * std::sin(0.9) + w * std::cos(0.9)};
                         if (j == 0) p.moveTo(q);
                         else p.lineTo(q);
                     }
             });
         }},
    };
    for (const auto& row : table)
        for (const double scale : {2.0, 1.0}) {
            auto draw = [&](bool ours) {
                auto p = arttest::painter(40, 30, scale, SceneKind::reef);
                return p->offscreen(40, 30, [&] {
                    cg::Context& c = *p->ctx;
                    c.setFillColor(cg::Color::rgb(0x5e6440));
                    c.fill(cg::Rect(0, 0, 40, 30));
                    c.translateBy(19.7, 15.2);
                    c.scaleBy(1.45, 1.45);
                    Art::Reef reef(*p.art);
                    if (ours) row.ours(reef);
                    else row.cairo(*p.art);
                });
            };
            const auto ours = draw(true), cairo = draw(false);
            ASSERT_TRUE(ours && cairo) << row.name;
            int worst = 0, off = 0, inked = 0;
            for (int y = 0; y < ours->pixelHeight(); ++y)
                for (int x = 0; x < ours->pixelWidth(); ++x) {
                    const uint32_t a = ours->pixel(x, y), b = cairo->pixel(x, y);
                    inked += b != 0xff5e6440;
                    int most = 0;
                    for (int shift = 0; shift < 32; shift += 8)
                        most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
                    worst = std::max(worst, most);
                    off += most > 3;
                }
            EXPECT_GT(inked, 10) << row.name << " at scale " << scale;
            EXPECT_LE(worst, 8) << row.name << " at scale " << scale;
            EXPECT_LE(off, inked / row.share + 1) << row.name << " at scale " << scale;
        }
}
