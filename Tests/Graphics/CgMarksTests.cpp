// Thin marks (Context::strokeMarks) against Cairo's stroking of the same segments with round caps and
// joins: the same picture within a few levels along the edges, and the same state afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CgTestSupport.h"

namespace {

struct Difference {
    int largest = 0;        // in any channel
    double within = 0;      // share of the touched pixels within `levels`
    int touched = 0;        // pixels either picture changed
};

Difference compare(const cg::Context& a, const cg::Context& b, int levels) {
    Difference d;
    int close = 0;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            const uint32_t p = a.pixel(x, y), q = b.pixel(x, y);
            if (p == 0 && q == 0) continue;
            ++d.touched;
            int worst = 0;
            for (int shift = 0; shift < 32; shift += 8)
                worst = std::max(worst, std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
            d.largest = std::max(d.largest, worst);
            if (worst <= levels) ++close;
        }
    d.within = d.touched ? double(close) / d.touched : 1;
    return d;
}

// A fan of short segments from a few centres, as leaves and spokes are drawn.
std::vector<cg::Point> fan(cg::Point c, int n, double length) {
    std::vector<cg::Point> pairs;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n + 0.1;
        pairs.push_back(c);
        pairs.push_back({c.x + length * std::cos(a), c.y + length * std::sin(a)});
    }
    return pairs;
}

struct Case {
    const char* name;
    double scale, width, rotate;
    double alpha;
    double within;  // the share of pixels within 24 levels at least
    int largest;    // the largest difference at most
};

// Draws the pairs on a fresh 64 × 48 point bitmap: once through Cairo, once as marks.
void draw(cg::Context& c, const Case& k, const std::vector<cg::Point>& pairs, bool marks) {
    c.translateBy(32, 24);
    c.rotateBy(k.rotate);
    c.setStrokeColor(cg::Color::rgb(0x2f6a45, k.alpha));
    c.setLineWidth(k.width);
    if (marks) {
        c.strokeMarks(pairs);
    } else {
        c.setLineCap(cg::LineCap::round);
        c.setLineJoin(cg::LineJoin::round);
        c.strokeLineSegments(pairs);
    }
}

}  // namespace

TEST(CgMarks, LookLikeCairosRoundStrokes) {
    const Case cases[] = {
        {"thin leaflets at 2x", 2, 0.55, 0, 1, 0.93, 100},
        {"hairlines at 1x", 1, 0.35, 0.3, 1, 0.91, 160},  // the hub of fourteen hairlines is lighter
        {"trunk bands at 2x", 2, 2.9, 0.7, 1, 0.98, 110},
        {"half-transparent at 3x", 3, 0.8, 1.1, 0.6, 0.99, 70},
        {"wide at 1x", 1, 6, 0.2, 1, 0.99, 60},
    };
    std::vector<cg::Point> pairs = fan({-12, 4}, 14, 9);
    for (const cg::Point& p : fan({10, -6}, 5, 14)) pairs.push_back(p);
    pairs.push_back({-20, -15});  // a dot: a segment of no length still gets its round ends
    pairs.push_back({-20, -15});
    for (const Case& k : cases) {
        const int w = static_cast<int>(64 * k.scale), h = static_cast<int>(48 * k.scale);
        auto cairo = cgtest::bitmap(w, h, k.scale), marks = cgtest::bitmap(w, h, k.scale);
        draw(*cairo, k, pairs, false);
        draw(*marks, k, pairs, true);
        const Difference d = compare(*cairo, *marks, 24);
        EXPECT_GT(d.touched, 0) << k.name;
        // Inside the strokes both give the colour exactly; the edges differ by a few levels, more where
        // several marks cross inside one pixel.
        std::printf("%s: %.1f %% of %d pixels within 24 levels, largest %d\n", k.name, d.within * 100, d.touched,
                    d.largest);
        EXPECT_GE(d.within, k.within) << k.name << ": " << d.within * 100 << " % of " << d.touched << " pixels";
        EXPECT_LE(d.largest, k.largest) << k.name;
        if (std::getenv("VM_TEST_OUT")) {
            cairo->makeImage()->writePNG((cgtest::outDir() / (std::string("marks-cairo-") + k.name + ".png")).string());
            marks->makeImage()->writePNG((cgtest::outDir() / (std::string("marks-") + k.name + ".png")).string());
        }
    }
}

TEST(CgMarks, StayInsideTheClipAndKeepTheState) {
    auto c = cgtest::bitmap(80, 80, 2);
    c->setLineCap(cg::LineCap::butt);
    c->setLineJoin(cg::LineJoin::miter);
    c->clipToRect({0, 0, 20, 40});
    c->setStrokeColor(cg::Color::rgb(0xffffff));
    c->setLineWidth(2);
    const cg::Point across[] = {{5, 20}, {35, 20}};
    c->strokeMarks(across);
    EXPECT_EQ(cgtest::up(*c, 20, 40).a, 255);  // inside the clip, on the mark
    EXPECT_EQ(cgtest::up(*c, 50, 40).a, 0);    // past the clip
    EXPECT_EQ(cgtest::up(*c, 20, 60).a, 0);    // off the mark
    // The rounded end reaches a pen's radius beyond the first point.
    EXPECT_GT(cgtest::up(*c, 9, 40).a, 100);
    EXPECT_LE(cgtest::up(*c, 7, 40).a, 2);  // the end's curve leaves this pixel all but bare
    EXPECT_EQ(cgtest::up(*c, 6, 40).a, 0);
    // A mark of no length is a round dot.
    const cg::Point dot[] = {{10, 10}, {10, 10}};
    c->strokeMarks(dot);
    EXPECT_EQ(cgtest::up(*c, 20, 20).a, 255);
    EXPECT_GT(cgtest::up(*c, 21, 21).a, 80);
    EXPECT_EQ(cgtest::up(*c, 20, 23).a, 0);
    // A later stroke still gets the butt caps set before.
    auto plain = cgtest::bitmap(80, 80, 2), again = cgtest::bitmap(80, 80, 2);
    for (auto* ctx : {plain.get(), again.get()}) {
        ctx->setLineCap(cg::LineCap::butt);
        ctx->setLineJoin(cg::LineJoin::miter);
        ctx->setStrokeColor(cg::Color::rgb(0x336699));
        ctx->setLineWidth(3);
    }
    const cg::Point nothing[] = {{100, 100}, {101, 100}};
    again->strokeMarks(nothing);
    const cg::Point line[] = {{5, 5}, {30, 25}};
    plain->strokeLineSegments(line);
    again->strokeLineSegments(line);
    EXPECT_EQ(compare(*plain, *again, 0).largest, 0);
}

TEST(CgMarks, SquashedTransformsAreStrokedByCairo) {
    // Under a scale that is not the same on both axes the pen is an ellipse: those marks are Cairo's own
    // round strokes, byte for byte.
    auto marks = cgtest::bitmap(100, 100, 2), cairo = cgtest::bitmap(100, 100, 2);
    const std::vector<cg::Point> pairs = fan({25, 25}, 9, 12);
    for (auto* c : {marks.get(), cairo.get()}) {
        c->scaleBy(1, 0.5);
        c->setStrokeColor(cg::Color::rgb(0xaa5500));
        c->setLineWidth(1.5);
    }
    marks->strokeMarks(pairs);
    cairo->setLineCap(cg::LineCap::round);
    cairo->setLineJoin(cg::LineJoin::round);
    cairo->strokeLineSegments(pairs);
    const Difference d = compare(*cairo, *marks, 0);
    EXPECT_GT(d.touched, 100);
    EXPECT_EQ(d.largest, 0);
}

TEST(CgMarks, FarAndUndefinedEndsAreSafe) {
    // Ends far off the bitmap (or not numbers) must neither crash nor wrap round into it; a long mark
    // crossing it still draws its part.
    auto c = cgtest::bitmap(40, 40, 1);
    c->setStrokeColor(cg::Color::rgb(0xffffff));
    c->setLineWidth(2);
    const cg::Point far[] = {{-1e12, 20}, {1e12, 21},  {1e300, 1e300}, {-1e300, 5},
                             {NAN, 3},    {10, 10},    {20, -1e15},    {20, 1e15}};
    c->strokeMarks(far);
    EXPECT_EQ(cgtest::up(*c, 5, 20).a, 255);   // the long mark across
    EXPECT_EQ(cgtest::up(*c, 20, 35).a, 255);  // the tall one
    EXPECT_EQ(cgtest::up(*c, 5, 5).a, 0);
}

TEST(CgMarks, AnOddLastPointAndNoPointsDrawNothing) {
    auto c = cgtest::bitmap(20, 20, 1);
    c->setStrokeColor(cg::Color::rgb(0xffffff));
    c->setLineWidth(4);
    const cg::Point lone[] = {{10, 10}};
    c->strokeMarks(lone);
    c->strokeMarks({});
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(c->pixel(x, y), 0u) << x << "," << y;
}
