// The pond's pictures of sampled coverage (Art::canopySampled, Art::ovalsSampled, Art::Pond::stone) against
// the Cairo drawing they stand for: the same crowns, ovals and stones wherever and however large they are
// drawn, a few levels apart at most, and the same state left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Art/Pond.h"
#include "Art/SampledSheet.h"
#include "ArtTestSupport.h"
#include "Platform/Graphics/Context.h"

namespace {

constexpr uint32_t kGround = 0xff2e6a7a;

struct Difference {
    int worst = 0;  // the largest channel difference
    int far = 0;    // pixels more than 3 levels apart
    int inked = 0;  // pixels the Cairo drawing changed
};

Difference compare(const cg::Image& ours, const cg::Image& cairo) {
    Difference d;
    for (int y = 0; y < cairo.pixelHeight(); ++y)
        for (int x = 0; x < cairo.pixelWidth(); ++x) {
            const uint32_t a = ours.pixel(x, y), b = cairo.pixel(x, y);
            d.inked += b != kGround;
            int most = 0;
            for (int shift = 0; shift < 32; shift += 8)
                most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
            d.worst = std::max(d.worst, most);
            d.far += most > 3;
        }
    return d;
}

// A w × h point picture on the pond's ground colour, drawn by `draw` with the transform set up by `place`.
cg::ImageRef picture(double w, double h, double scale, const std::function<void(cg::Context&)>& place,
                     const std::function<void(Art&)>& draw) {
    auto p = arttest::painter(w, h, scale, SceneKind::pond);
    return p->offscreen(w, h, [&] {
        cg::Context& c = *p->ctx;
        c.setFillColor(cg::Color::rgb(kGround & 0xFFFFFF));
        c.fill(cg::Rect(0, 0, w, h));
        place(c);
        draw(*p.art);
    });
}

TEST(SampledCrown, TheCanopyLooksTheSameWhereverAndHoweverLargeItIs) {
    const struct {
        std::string name;
        cg::Point at;
        double r, scale, angle;
        bool fallsBack;
    } table[] = {
        {"a grass tuft", {20.37, 14.81}, 2.5, 2, 0, false},
        {"a bush", {18.2, 16.05}, 9.5, 2, 0, false},
        {"a tree's crown", {30.6, 29.3}, 27, 2, 0, false},
        {"one pixel a point", {21.4, 15.2}, 5.5, 1, 0, false},
        {"turned (through the canopy)", {20, 15}, 5.5, 2, 0.5, true},
    };
    for (const auto& row : table)
        for (double k : {0.0137, 0.4521, 0.8803}) {
            const double side = 2 * row.at.x;
            auto place = [&](cg::Context& c) {
                c.translateBy(row.at.x, row.at.y);
                c.rotateBy(row.angle);
                c.translateBy(-row.at.x, -row.at.y);
            };
            const auto ours = picture(side, side, row.scale, place,
                                      [&](Art& a) { a.canopySampled(row.at, row.r, 0x2a4620, 0x5c8a38, k); });
            const auto cairo = picture(side, side, row.scale, place,
                                       [&](Art& a) { a.canopy(row.at, row.r, 0x2a4620, 0x5c8a38, k); });
            ASSERT_TRUE(ours && cairo) << row.name;
            const Difference d = compare(*ours, *cairo);
            EXPECT_GT(d.inked, 20) << row.name << " " << k;
            if (row.fallsBack) {
                EXPECT_EQ(d.worst, 0) << row.name << " " << k;
            } else {
                // Cairo cuts each circle as a polygon and walks the gradient in single precision: a few
                // levels round the lobes' rims, most of all on the smallest lobes.
                EXPECT_LE(d.worst, 8) << row.name << " " << k;
                EXPECT_LE(d.far, d.inked / 12) << row.name << " " << k;
            }
        }
}

TEST(SampledCrown, OvalsOfSeveralColoursLieOverEachOtherAsSeparateFills) {
    // Overlapping blossoms in four colours, the later ones over the earlier.
    std::vector<Art::Oval> ovals;
    const uint32_t colors[] = {0x84200f, 0xb2321a, 0xdc5628, 0xf08a42};
    for (int i = 0; i < 40; ++i) {
        const double x = 6 + 0.71 * ((i * 37) % 41), y = 5 + 0.53 * ((i * 23) % 39);
        ovals.push_back({cg::Rect(x, y, 2 + 0.05 * (i % 7), 1.8 + 0.07 * (i % 5)), colors[(i * 7) % 4]});
    }
    const struct {
        std::string name;
        double scale, angle;
        bool fallsBack;
    } table[] = {
        {"the scene's scale", 2, 0, false},
        {"one pixel a point", 1, 0, false},
        {"turned (as separate fills)", 2, 0.3, true},
    };
    for (const auto& row : table) {
        auto place = [&](cg::Context& c) { c.rotateBy(row.angle); };
        const auto ours = picture(40, 30, row.scale, place, [&](Art& a) { a.ovalsSampled(ovals, 0.9); });
        const auto cairo = picture(40, 30, row.scale, place, [&](Art& a) {
            for (const Art::Oval& o : ovals) a.shape(o.color, 0.9, 0, [&](cg::Path& p) { p.addEllipse(o.box); });
        });
        ASSERT_TRUE(ours && cairo) << row.name;
        const Difference d = compare(*ours, *cairo);
        EXPECT_GT(d.inked, 100) << row.name;
        if (row.fallsBack) {
            EXPECT_EQ(d.worst, 0) << row.name;
        } else {
            // Cairo's ovals of a few pixels are coarse polygons, and one picture laid over the ground rounds
            // otherwise than forty fills laid one by one: a few levels apart over many of the pixels.
            EXPECT_LE(d.worst, 12) << row.name;
            EXPECT_LE(d.far, d.inked / 3) << row.name;
        }
    }
}

TEST(SampledCrown, TheFillColourLeftIsTheOneTheCairoDrawingLeaves) {
    // A fill after the crown or the ovals relies on the colour their last fill set.
    const std::vector<Art::Oval> ovals = {{cg::Rect(4, 4, 3, 2), 0x112233}, {cg::Rect(9, 6, 3, 2), 0xc0ffee}};
    const struct {
        std::string name;
        std::function<void(Art&)> ours, cairo;
    } table[] = {
        {"canopy", [](Art& a) { a.canopySampled({12, 10}, 5, 0x2a4620, 0x5c8a38, 0.37); },
         [](Art& a) { a.canopy({12, 10}, 5, 0x2a4620, 0x5c8a38, 0.37); }},
        {"ovals", [&](Art& a) { a.ovalsSampled(ovals, 0.6); },
         [&](Art& a) {
             for (const Art::Oval& o : ovals) a.shape(o.color, 0.6, 0, [&](cg::Path& p) { p.addEllipse(o.box); });
         }},
    };
    for (const auto& row : table) {
        auto after = [](const std::function<void(Art&)>& draw) {
            return [draw](Art& a) {
                draw(a);
                a.ctx->fill(cg::Rect(30, 0, 10, 30));
            };
        };
        const auto ours = picture(40, 30, 2, [](cg::Context&) {}, after(row.ours));
        const auto cairo = picture(40, 30, 2, [](cg::Context&) {}, after(row.cairo));
        ASSERT_TRUE(ours && cairo) << row.name;
        EXPECT_EQ(ours->pixel(70, 30), cairo->pixel(70, 30)) << row.name;
        EXPECT_NE(ours->pixel(70, 30), kGround) << row.name;
    }
}

// The coverage at pixel (x, y) of the y-up pixel space; 0 outside the box.
int at(const Art::Reef::Coverage& c, int x, int y) {
    if (x < c.x || x >= c.x + c.width || y < c.y || y >= c.y + c.height) return 0;
    return c.alpha[static_cast<std::size_t>(c.y + c.height - 1 - y) * static_cast<std::size_t>(c.width) +
                   static_cast<std::size_t>(x - c.x)];
}

TEST(SampledCrown, ACoverageCutToAnotherKeepsTheLesserOfTheTwoAndNothingOutsideIt) {
    // A disc of radius 6 at (10, 10) cut by boxes that hold it, halve it, miss it and cross its rim.
    const Art::Reef::Coverage disc = Art::Reef::ellipseCoverage({10, 10}, 6, 6, 40, 30);
    const struct {
        std::string name;
        std::vector<cg::Point> box;
        double share;  // of the disc's area left
    } table[] = {
        {"a box holding it", {{2, 2}, {18, 2}, {18, 18}, {2, 18}}, 1},
        {"its left half", {{0, 0}, {10, 0}, {10, 20}, {0, 20}}, 0.5},
        {"a box beside it", {{20, 0}, {30, 0}, {30, 20}, {20, 20}}, 0},
        {"its bottom half, off whole pixels", {{0, 0}, {20, 0}, {20, 10}, {0, 10}}, 0.5},
    };
    double whole = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) whole += at(disc, x, y) / 255.0;
    for (const auto& row : table) {
        const Art::Reef::Coverage by = Art::Reef::polygonCoverage(row.box, 40, 30);
        const Art::Reef::Coverage cut = sampled::within(disc, by);
        EXPECT_EQ(cut.x, disc.x);
        EXPECT_EQ(cut.width, disc.width);
        double sum = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const int v = at(cut, x, y);
                sum += v / 255.0;
                EXPECT_EQ(v, std::min(at(disc, x, y), at(by, x, y))) << row.name << " at " << x << ", " << y;
            }
        EXPECT_NEAR(sum, row.share * whole, 0.02 * whole) << row.name;
    }
}

TEST(SampledCrown, CoverageFromARowIsTheWholeCoverageAboveItAndNothingBelow) {
    const std::vector<cg::Point> rim = {{3.2, 2.7}, {21.6, 5.1}, {17.3, 19.8}, {8.4, 22.2}, {1.9, 12.5}};
    for (int from : {0, 1, 6, 12, 21, 23, 40}) {
        const struct {
            std::string name;
            Art::Reef::Coverage whole, part;
        } table[] = {
            {"ellipse", Art::Reef::ellipseCoverage({11.3, 12.6}, 8.2, 9.7, 40, 30),
             Art::Reef::ellipseCoverage({11.3, 12.6}, 8.2, 9.7, 40, 30, from)},
            {"polygon", Art::Reef::polygonCoverage(rim, 40, 30), Art::Reef::polygonCoverage(rim, 40, 30, from)},
        };
        for (const auto& row : table) {
            int inked = 0;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    const int want = y >= from ? at(row.whole, x, y) : 0;
                    EXPECT_EQ(at(row.part, x, y), want) << row.name << " from row " << from << " at " << x << ", " << y;
                    inked += want > 0;
                }
            if (from >= 23) {
                EXPECT_TRUE(row.part.alpha.empty()) << row.name << " from row " << from;
            } else if (from <= 12) {
                EXPECT_GT(inked, 50) << row.name << " from row " << from;
            }
        }
    }
}

TEST(SampledCrown, AShoreStoneLooksAsItsOutlineClipAndGradientThroughCairo) {
    // A transform turned by a hair draws the stone through Cairo, as it was drawn before it was sampled.
    const struct {
        std::string name;
        double r, k;
        bool night;
    } table[] = {
        {"a small stone with moss", 3.1, 0.0137, false},  // moss below 0.3 for these variations
        {"a large stone", 7.4, 0.4521, false},
        {"by night", 5.2, 0.8803, true},
        {"another variation", 4.6, 0.2718, false},
    };
    int mossy = 0;
    for (const auto& row : table) {
        auto draw = [&](double angle) {
            auto p = arttest::painter(40, 30, 2, SceneKind::pond, row.night);
            return p->offscreen(40, 30, [&] {
                cg::Context& c = *p->ctx;
                c.setFillColor(cg::Color::rgb(kGround & 0xFFFFFF));
                c.fill(cg::Rect(0, 0, 40, 30));
                c.rotateBy(angle);
                Art::Pond(*p.art).stone({18.3, 16.7}, row.r, row.k);
                // What the stone left to fill with.
                c.fill(cg::Rect(36, 0, 4, 4));
            });
        };
        const auto ours = draw(0), cairo = draw(1e-12);
        ASSERT_TRUE(ours && cairo) << row.name;
        const Difference d = compare(*ours, *cairo);
        EXPECT_GT(d.inked, 100) << row.name;
        EXPECT_LE(d.worst, 8) << row.name;
        EXPECT_LE(d.far, d.inked / 20) << row.name;
        EXPECT_EQ(ours->pixel(78, 58), cairo->pixel(78, 58)) << row.name;
        // Moss is green over grey: some pixel has much more green than red.
        bool green = false;
        for (int y = 0; y < ours->pixelHeight(); ++y)
            for (int x = 0; x < ours->pixelWidth(); ++x) {
                const uint32_t px = ours->pixel(x, y);
                green = green || ((px >> 8) & 0xFF) > ((px >> 16) & 0xFF) + 20;
            }
        mossy += green;
    }
    EXPECT_GT(mossy, 0);
}

}  // namespace
