// Bitmap contexts, graphics state, fills, strokes and clipping.

#include "CgTestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <mutex>
#include <thread>
#include <gtest/gtest.h>
#include <limits>
#include <utility>
#include <vector>

using namespace cg;
using cgtest::at;
using cgtest::bitmap;
using cgtest::up;

namespace {

int paintedCount(const Context& c) {
    int n = 0;
    for (int y = 0; y < c.pixelHeight(); ++y)
        for (int x = 0; x < c.pixelWidth(); ++x) n += c.pixel(x, y) != 0;
    return n;
}

}  // namespace

TEST(CgBitmap, BadSizesGiveNoContext) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Context::makeBitmap(0, 10), nullptr);
    EXPECT_EQ(Context::makeBitmap(10, 0), nullptr);
    EXPECT_EQ(Context::makeBitmap(-4, 10), nullptr);
    EXPECT_EQ(Context::makeBitmap(40000, 10), nullptr);
    EXPECT_EQ(Context::makeBitmap(30000, 30000), nullptr);  // too many pixels
    EXPECT_EQ(Context::makeBitmap(10, 10, 0), nullptr);
    EXPECT_EQ(Context::makeBitmap(10, 10, -2), nullptr);
    EXPECT_EQ(Context::makeBitmap(10, 10, nan), nullptr);
    EXPECT_EQ(Context::makeBitmap(10, 10, inf), nullptr);
    EXPECT_EQ(Context::makeFrame(0, 10, 2), nullptr);
    EXPECT_EQ(Context::makeFrame(10, -1, 2), nullptr);
    EXPECT_EQ(Context::makeFrame(nan, 10, 2), nullptr);
    EXPECT_EQ(Context::makeFrame(10, inf, 2), nullptr);
    EXPECT_EQ(Context::makeFrame(10, 10, nan), nullptr);
    EXPECT_EQ(Context::makeFrame(1e9, 10, 1), nullptr);
    EXPECT_EQ(Context::makeFrame(1e300, 1e300, 1e300), nullptr);
    EXPECT_NE(Context::makeBitmap(1, 1), nullptr);
}

TEST(CgBitmap, FrameSizeIsCeilOfPointsTimesScaleAndStartsTransparent) {
    auto f = Context::makeFrame(96.92, 10.1, 2);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->pixelWidth(), 194);
    EXPECT_EQ(f->pixelHeight(), 21);
    EXPECT_EQ(f->bytesPerRow(), 194u * 4);
    EXPECT_EQ(f->scale(), 2);
    EXPECT_EQ(f->ctm(), Transform::scale(2, 2));
    EXPECT_EQ(paintedCount(*f), 0);
    auto tiny = Context::makeFrame(0.2, 0.3, 1);
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->pixelWidth(), 1);
    EXPECT_EQ(tiny->pixelHeight(), 1);
}

TEST(CgBitmap, UnitRectAtOriginLandsInLastMemoryRow) {
    auto c = bitmap(4, 3);
    c->fill(Rect(0, 0, 1, 1));
    EXPECT_EQ(c->pixel(0, 2), 0xFF000000u);
    EXPECT_EQ(c->pixel(0, 0), 0u);
    EXPECT_EQ(paintedCount(*c), 1);

    // Scaled: one point is a 2 × 2 block in the bottom-left corner.
    auto s = bitmap(4, 4, 2);
    s->fill(Rect(0, 0, 1, 1));
    EXPECT_EQ(s->pixel(0, 3), 0xFF000000u);
    EXPECT_EQ(s->pixel(1, 2), 0xFF000000u);
    EXPECT_EQ(s->pixel(2, 3), 0u);
    EXPECT_EQ(s->pixel(0, 1), 0u);
    EXPECT_EQ(paintedCount(*s), 4);
}

TEST(CgBitmap, DirectPixelWritesAreSeenByLaterDrawing) {
    auto c = bitmap(4, 4);
    uint32_t* row = c->row(0);
    ASSERT_NE(row, nullptr);
    for (int x = 0; x < 4; ++x) row[x] = 0xFF0000FFu;  // opaque blue
    c->pixelsChanged();
    c->setBlendMode(BlendMode::sourceAtop);
    c->setFillColor(Color::rgb(0xFF0000));
    c->fill(Rect(0, 0, 4, 4));  // only where something is already painted
    EXPECT_EQ(c->pixel(2, 0), 0xFFFF0000u);
    EXPECT_EQ(c->pixel(2, 1), 0u);
    EXPECT_EQ(c->row(4), nullptr);
}

// Pixels written on another thread must be in place before anything reads or draws, whichever comes
// first, even when several bands start at once; once they are, nothing waits again.
TEST(CgBitmap, AwaitedPixelsAreSettledBeforeTheFirstUse) {
    using Use = std::function<uint32_t(Context&)>;
    const std::pair<const char*, Use> uses[] = {
        {"pixel", [](Context& c) { return c.pixel(1, 1); }},
        {"fill", [](Context& c) {
             c.setBlendMode(BlendMode::sourceAtop);
             c.setFillColor(Color::rgb(0xFF0000));
             c.fill(Rect(0, 0, 4, 4));
             return c.pixel(1, 1);
         }},
        {"bands", [](Context& c) {
             std::vector<std::thread> bands;
             for (int b = 0; b < 4; ++b)
                 bands.emplace_back([&c, b] {
                     auto band = Context::makeBand(c, b, b + 1);
                     band->setBlendMode(BlendMode::sourceAtop);
                     band->setFillColor(Color::rgb(0xFF0000));
                     band->fill(Rect(0, 0, 4, 4));
                 });
             for (std::thread& t : bands) t.join();
             return c.pixel(1, 1);
         }},
        {"image", [](Context& c) { return c.takeImage()->pixel(1, 1); }},
    };
    for (const auto& [name, use] : uses) {
        auto c = Context::makeUnsetBitmap(4, 4);
        std::atomic<int> settled{0};
        std::thread writer;
        uint8_t* bits = c->data();
        writer = std::thread([bits] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // late, so a use that does not wait sees it missing
            for (int i = 0; i < 16; ++i) reinterpret_cast<uint32_t*>(bits)[i] = 0xFF0000FFu;
        });
        std::once_flag joined;
        c->awaitPixels([&] {
            std::call_once(joined, [&] { writer.join(); });
            settled += 1;
        });
        const uint32_t seen = use(*c);
        const int waits = settled.load();
        EXPECT_GE(waits, 1) << name;
        if (std::string(name) != "image") {
            c->pixel(0, 0);
            EXPECT_EQ(settled.load(), waits) << name;
        }
        EXPECT_EQ(seen, std::string(name) == "pixel" || std::string(name) == "image" ? 0xFF0000FFu : 0xFFFF0000u)
            << name;
    }
}

// Draws made whole in bands (gradients, clipped or not, source-in, text) and solid shapes cut at the
// band's rows give the bytes of one pass over the picture, whichever rows they reach and in whatever
// order a band meets them.
TEST(CgBand, DrawsMadeWholeGiveTheBytesOfOnePass) {
    const Gradient g({Color::rgb(0xFF8000), Color::rgb(0x0040FF, 0.5)}, {0, 1});
    auto draw = [&](Context& c) {
        c.setFillColor(Color::rgb(0x204060));
        c.fill(Rect(0, 0, 120, 90));
        c.drawRadialGradient(g, {30, 8}, 0, {31, 9}, 10, {});  // low rows first, then every row
        c.drawLinearGradient(g, {0, 0}, {10, 90}, {true, true});
        {
            c.saveGState();
            c.clipToRect(Rect(60, 50, 45, 36));
            c.drawRadialGradient(g, {90, 75}, 2, {84, 66}, 30, {});
            c.restoreGState();
        }
        {
            // A small turned gradient: the box Cairo bounds it by is wider than the turned circles.
            c.saveGState();
            c.translateBy(70, 20);
            c.rotateBy(0.6);
            c.drawRadialGradient(g, {-3, 2}, 0, {4, -1}, 5, {});
            c.restoreGState();
        }
        c.setBlendMode(BlendMode::sourceIn);
        c.drawLinearGradient(g, {0, 40}, {120, 50}, {});
        c.setBlendMode(BlendMode::normal);
        {
            // Solid shapes cut at the band's rows, under clips set and dropped between them.
            c.saveGState();
            c.clipToRect(Rect(5, 10, 100, 70));
            c.setFillColor(Color::rgb(0x30C060, 0.7));
            c.fillEllipse(Rect(10, 5, 40, 50));
            c.saveGState();
            Path lens;
            lens.addEllipse(Rect(30, 20, 60, 45));
            c.clip(lens);
            c.setFillColor(Color::rgb(0xC03060, 0.6));
            c.fill(Rect(0, 0, 120, 90));
            c.restoreGState();
            c.setShadow({2, -3}, 4, Color::rgb(0x000000, 0.5));
            c.fillEllipse(Rect(55, 30, 30, 30));
            c.restoreGState();
            c.setFillColor(Color::rgb(0xE0E0A0, 0.5));
            c.fillEllipse(Rect(0, 40, 70, 40));
        }
        c.drawText("band", Rect(20, 60, 80, 20), TextStyle{});
    };
    auto whole = bitmap(120, 90);
    draw(*whole);
    for (const int rows : {7, 30, 90}) {
        auto c = bitmap(120, 90);
        for (int top = 0; top < 90; top += rows) {
            const int bottom = std::min(top + rows, 90);
            std::vector<uint32_t> before(120 * 90);
            for (int y = 0; y < 90; ++y) std::memcpy(&before[static_cast<size_t>(y) * 120], c->row(y), 120 * 4);
            auto band = Context::makeBand(*c, top, bottom);
            ASSERT_TRUE(band);
            draw(*band);
            for (int y = 0; y < 90; ++y) {
                if (y >= top && y < bottom) continue;
                ASSERT_EQ(0, std::memcmp(c->row(y), &before[static_cast<size_t>(y) * 120], 120 * 4))
                    << "band from " << top << " changed row " << y;
            }
        }
        c->pixelsChanged();
        for (int y = 0; y < 90; ++y)
            ASSERT_EQ(0, std::memcmp(c->row(y), whole->row(y), 120 * 4)) << "bands of " << rows << ", row " << y;
    }
}

TEST(CgBitmap, ABandCanChangeItsOwnRowsCountedFromTheBottom) {
    // Rows [top, bottom) from the top of a 90-row bitmap are rows [90 − bottom, 90 − top) from its bottom.
    const struct {
        int top, bottom, first, end;
    } table[] = {{0, 90, 0, 90}, {0, 7, 83, 90}, {30, 60, 30, 60}, {84, 90, 0, 6}, {40, 41, 49, 50}};
    auto c = bitmap(120, 90);
    EXPECT_EQ(c->changeableRows(), (std::pair<int, int>{0, 90}));
    for (const auto& row : table) {
        auto band = Context::makeBand(*c, row.top, row.bottom);
        ASSERT_TRUE(band);
        EXPECT_EQ(band->changeableRows(), (std::pair<int, int>{row.first, row.end})) << row.top << "–" << row.bottom;
        // The rows it names are the ones a fill over the whole bitmap changes.
        band->setFillColor(Color::white());
        band->fill(Rect(0, 0, 120, 90));
    }
    auto fresh = bitmap(120, 90);
    auto band = Context::makeBand(*fresh, 30, 60);
    band->setFillColor(Color::white());
    band->fill(Rect(0, 0, 120, 90));
    fresh->pixelsChanged();
    const auto [first, end] = band->changeableRows();
    for (int y = 0; y < 90; ++y) {
        const bool changed = (fresh->pixel(5, 89 - y) >> 24) != 0;  // pixel() counts rows from the top
        EXPECT_EQ(changed, y >= first && y < end) << "row " << y << " from the bottom";
    }
}

TEST(CgState, DefaultsMatchTheReference) {
    auto c = bitmap(2, 2);
    EXPECT_EQ(c->lineCap(), LineCap::butt);
    EXPECT_EQ(c->lineJoin(), LineJoin::miter);
    EXPECT_EQ(c->miterLimit(), 10);
    EXPECT_EQ(c->lineWidth(), 1);
    EXPECT_EQ(c->alpha(), 1);
    EXPECT_EQ(c->blendMode(), BlendMode::normal);
    EXPECT_EQ(c->fillColor(), Color::black());
    EXPECT_EQ(c->strokeColor(), Color::black());
}

TEST(CgState, SettingsPersistAcrossOperations) {
    auto c = bitmap(30, 20);
    c->setFillColor(Color::rgb(0xFF0000));
    c->setStrokeColor(Color::rgb(0x0000FF));
    c->setLineWidth(2);
    c->setLineCap(LineCap::round);
    const Point seg1[] = {{2, 10}, {8, 10}};
    c->strokeLineSegments(seg1);
    // The fill colour set before the stroke is still the fill colour.
    c->fill(Rect(20, 2, 4, 4));
    EXPECT_EQ(c->pixel(21, 16), 0xFFFF0000u);
    EXPECT_EQ(up(*c, 5, 10).b, 255);
    EXPECT_EQ(up(*c, 5, 10).r, 0);
    // The round cap stays for a later stroke: it reaches past the segment's end.
    const Point seg2[] = {{2, 4}, {8, 4}};
    c->strokeLineSegments(seg2);
    EXPECT_GT(up(*c, 8, 4).a, 100);
    EXPECT_EQ(c->lineCap(), LineCap::round);
    EXPECT_EQ(c->fillColor(), Color::rgb(0xFF0000));
}

TEST(CgState, RestoreUndoesEverythingSaveSaved) {
    auto c = bitmap(40, 40);
    c->setFillColor(Color::rgb(0x00FF00));
    c->setStrokeColor(Color::rgb(0x0000FF));
    c->setLineWidth(3);
    c->setLineCap(LineCap::round);
    c->setLineJoin(LineJoin::bevel);
    c->setMiterLimit(4);
    c->setAlpha(0.75);
    c->setBlendMode(BlendMode::sourceAtop);
    c->translateBy(1, 2);
    const Transform ctm = c->ctm();

    c->saveGState();
    c->setFillColor(Color::rgb(0xFF0000));
    c->setStrokeColor(Color::rgb(0xFF00FF));
    c->setLineWidth(9);
    c->setLineCap(LineCap::square);
    c->setLineJoin(LineJoin::miter);
    c->setMiterLimit(1);
    const double dash[] = {1, 1};
    c->setLineDash(0, dash);
    c->setAlpha(0.1);
    c->setBlendMode(BlendMode::destinationOut);
    c->setShadow({3, 3}, 2);
    c->clipToRect(Rect(0, 0, 2, 2));
    c->scaleBy(3, 3);
    c->rotateBy(1);
    c->restoreGState();

    EXPECT_EQ(c->fillColor(), Color::rgb(0x00FF00));
    EXPECT_EQ(c->strokeColor(), Color::rgb(0x0000FF));
    EXPECT_EQ(c->lineWidth(), 3);
    EXPECT_EQ(c->lineCap(), LineCap::round);
    EXPECT_EQ(c->lineJoin(), LineJoin::bevel);
    EXPECT_EQ(c->miterLimit(), 4);
    EXPECT_EQ(c->alpha(), 0.75);
    EXPECT_EQ(c->blendMode(), BlendMode::sourceAtop);
    EXPECT_EQ(c->ctm(), ctm);

    // Clip, shadow and dash are gone too.
    c->setAlpha(1);
    c->setBlendMode(BlendMode::normal);
    c->fill(Rect(9, 9, 10, 10));               // device (10..20, 11..21) y-up
    EXPECT_EQ(up(*c, 15, 15).g, 255);          // outside the former clip
    EXPECT_EQ(up(*c, 21, 22).a, 0);            // no shadow at (+3, +3)
    c->setLineCap(LineCap::butt);
    const Point seg[] = {{0, 30}, {30, 30}};
    c->strokeLineSegments(seg);
    for (int x = 2; x < 28; ++x) EXPECT_EQ(up(*c, x, 32).a, 255) << x;  // no gaps
#if !VM_CHECKS
    // Release builds ignore more restores than saves (checked builds stop there, see CgLayerDeathTest).
    c->restoreGState();
    EXPECT_EQ(c->ctm(), ctm);
#endif
}

TEST(CgFill, WindingAndEvenOddRules) {
    Path p;
    p.addRect(Rect(0, 0, 20, 20));
    p.addRect(Rect(5, 5, 10, 10));  // same direction: winding 2 inside
    auto w = bitmap(20, 20);
    w->fill(p, FillRule::winding);
    EXPECT_EQ(up(*w, 10, 10).a, 255);
    auto e = bitmap(20, 20);
    e->fill(p, FillRule::evenOdd);
    EXPECT_EQ(up(*e, 10, 10).a, 0);
    EXPECT_EQ(up(*e, 2, 2).a, 255);
    // The current-path variant consumes the path.
    e->addPath(p);
    EXPECT_FALSE(e->isPathEmpty());
    e->fillPath(FillRule::winding);
    EXPECT_TRUE(e->isPathEmpty());
    EXPECT_EQ(up(*e, 10, 10).a, 255);
}

TEST(CgFill, CurrentPathIsFixedByTheTransformWhenAdded) {
    auto c = bitmap(20, 20);
    c->moveTo({1, 1});
    c->lineTo({4, 1});
    c->scaleBy(4, 4);  // only later pieces see this
    c->lineTo({1, 4});
    c->closePath();
    c->fillPath();
    EXPECT_EQ(up(*c, 2, 2).a, 255);
    EXPECT_GT(up(*c, 3, 12).a, 0);   // triangle (1, 1), (4, 1), (4, 16)
    EXPECT_EQ(up(*c, 10, 6).a, 0);   // not (4, 4), (16, 4), (4, 16)
    const auto p = c->currentPoint();
    EXPECT_FALSE(p.has_value());  // consumed
}

TEST(CgStroke, WidthCapsAndJoins) {
    auto c = bitmap(20, 20);
    c->setLineWidth(4);
    const Point h[] = {{0, 10}, {20, 10}};
    c->strokeLineSegments(h);
    for (int y = 8; y < 12; ++y) EXPECT_EQ(up(*c, 5, y).a, 255) << y;
    EXPECT_EQ(up(*c, 5, 7).a, 0);
    EXPECT_EQ(up(*c, 5, 12).a, 0);

    auto capAt = [](LineCap cap, int x) {
        auto k = bitmap(24, 20);
        k->setLineWidth(4);
        k->setLineCap(cap);
        const Point s[] = {{5, 10}, {15, 10}};
        k->strokeLineSegments(s);
        return up(*k, x, 10).a;
    };
    EXPECT_EQ(capAt(LineCap::butt, 14), 255);
    EXPECT_EQ(capAt(LineCap::butt, 15), 0);
    EXPECT_EQ(capAt(LineCap::square, 16), 255);
    EXPECT_EQ(capAt(LineCap::square, 17), 0);
    EXPECT_GT(capAt(LineCap::round, 16), 30);
    EXPECT_LT(capAt(LineCap::round, 16), 255);

    // A V with its tip at (10, 18): the miter reaches about 4.5 above the tip.
    auto tip = [](LineJoin join, double limit) {
        auto k = bitmap(20, 30);
        k->setLineWidth(4);
        k->setLineJoin(join);
        k->setMiterLimit(limit);
        Path v;
        const Point pts[] = {{2, 2}, {10, 18}, {18, 2}};
        v.addLines(pts);
        k->stroke(v);
        return up(*k, 10, 20).a;
    };
    EXPECT_GT(tip(LineJoin::miter, 10), 200);
    EXPECT_EQ(tip(LineJoin::bevel, 10), 0);
    EXPECT_LT(tip(LineJoin::round, 10), 20);
    EXPECT_EQ(tip(LineJoin::miter, 2), 0);  // ratio 2.24 exceeds the limit: bevelled
}

TEST(CgStroke, DashesWithPhase) {
    auto dashed = [](double phase) {
        auto k = bitmap(40, 20);
        k->setLineWidth(2);
        const double pattern[] = {4, 4};
        k->setLineDash(phase, pattern);
        const Point s[] = {{0, 10}, {40, 10}};
        k->strokeLineSegments(s);
        std::vector<int> on;
        for (int x = 0; x < 12; ++x) on.push_back(up(*k, x, 10).a == 255 ? 1 : up(*k, x, 10).a == 0 ? 0 : -1);
        return on;
    };
    EXPECT_EQ(dashed(0), (std::vector<int>{1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(dashed(4), (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(dashed(2), (std::vector<int>{1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0}));

    // Dash lengths are in user space; an invalid pattern turns dashing off.
    auto k = bitmap(40, 20, 2);
    k->setLineWidth(1);
    const double pattern[] = {2, 2};
    k->setLineDash(0, pattern);
    const Point s[] = {{0, 5}, {20, 5}};
    k->strokeLineSegments(s);
    EXPECT_EQ(up(*k, 1, 10).a, 255);
    EXPECT_EQ(up(*k, 5, 10).a, 0);
    const double bad[] = {2, -1};
    k->setLineDash(0, bad);
    const Point s2[] = {{0, 2}, {20, 2}};
    k->strokeLineSegments(s2);
    EXPECT_EQ(up(*k, 5, 4).a, 255);
}

TEST(CgClip, IntersectsAndIsUndoneByRestore) {
    auto c = bitmap(20, 10);
    c->saveGState();
    c->clipToRect(Rect(0, 0, 10, 10));
    c->clipToRect(Rect(5, 0, 10, 10));
    c->fill(Rect(0, 0, 20, 10));
    EXPECT_EQ(up(*c, 7, 5).a, 255);
    EXPECT_EQ(up(*c, 2, 5).a, 0);
    EXPECT_EQ(up(*c, 12, 5).a, 0);
    EXPECT_EQ(c->clipBoundingBox(), Rect(5, 0, 5, 10));
    c->restoreGState();
    c->fill(Rect(0, 0, 20, 10));
    EXPECT_EQ(up(*c, 12, 5).a, 255);
    EXPECT_EQ(c->clipBoundingBox(), Rect(0, 0, 20, 10));
}

TEST(CgClip, WindingAndEvenOddClips) {
    Path ring;
    ring.addRect(Rect(0, 0, 20, 20));
    ring.addRect(Rect(5, 5, 10, 10));
    auto e = bitmap(20, 20);
    e->clip(ring, FillRule::evenOdd);
    e->fill(Rect(0, 0, 20, 20));
    EXPECT_EQ(up(*e, 10, 10).a, 0);
    EXPECT_EQ(up(*e, 2, 10).a, 255);
    auto w = bitmap(20, 20);
    w->addPath(ring);
    w->clip(FillRule::winding);
    EXPECT_TRUE(w->isPathEmpty());
    w->fill(Rect(0, 0, 20, 20));
    EXPECT_EQ(up(*w, 10, 10).a, 255);
    // A circular clip is antialiased, not pixel-snapped.
    auto r = bitmap(20, 20);
    r->clip([] { Path p; p.addEllipse(Rect(2, 2, 16, 16)); return p; }());
    r->fill(Rect(0, 0, 20, 20));
    EXPECT_EQ(up(*r, 10, 10).a, 255);
    EXPECT_EQ(up(*r, 0, 0).a, 0);
    const int edge = up(*r, 4, 4).a;
    EXPECT_GT(edge, 0);
    EXPECT_LT(edge, 255);
}

TEST(CgAlpha, AppliesToFillsAndStrokes) {
    auto c = bitmap(20, 20);
    c->setAlpha(0.5);
    c->fill(Rect(0, 0, 10, 10));
    EXPECT_NEAR(up(*c, 5, 5).a, 128, 1);
    c->setFillColor(Color::rgb(0xFF0000, 0.5));
    c->fill(Rect(10, 0, 10, 10));
    EXPECT_NEAR(up(*c, 15, 5).a, 64, 1);
    EXPECT_NEAR(up(*c, 15, 5).r, 64, 1);
    c->setLineWidth(4);
    const Point s[] = {{0, 15}, {20, 15}};
    c->strokeLineSegments(s);
    EXPECT_NEAR(up(*c, 10, 15).a, 128, 1);
}

TEST(CgTransform, TranslateScaleRotateAndConcatenate) {
    auto c = bitmap(40, 40);
    c->translateBy(20, 20);
    c->rotateBy(std::numbers::pi / 2);  // +x now points up
    c->fill(Rect(5, -1, 10, 2));         // becomes x 19..21, y 25..35
    EXPECT_EQ(up(*c, 20, 30).a, 255);
    EXPECT_EQ(up(*c, 30, 20).a, 0);
    c->concatenateCTM(Transform::scale(0.5, 0.5));
    const Point p = c->ctm().apply(Point{10, 0});
    EXPECT_NEAR(p.x, 20, 1e-9);
    EXPECT_NEAR(p.y, 25, 1e-9);
}

TEST(CgRows, DrawLikeACopiedBitmapOfTheRowsAndLeaveTheOthers) {
    // Draws that reach past the rows: a gradient, a dashed stroke, a clipped fill over earlier ink.
    const std::function<void(Context&)> draws[] = {
        [](Context& c) {
            const Gradient g({Color::rgb(0xFF8040, 0.9), Color::rgb(0x2040FF, 0)}, {0, 1});
            c.drawRadialGradient(g, {30, 18}, 0, {30, 18}, 21);
        },
        [](Context& c) {
            c.setStrokeColor(Color::rgb(0x203040, 0.6));
            c.setLineWidth(2.5);
            c.setLineCap(LineCap::round);
            static constexpr double kDash[] = {1.5, 2};
            c.setLineDash(0.5, kDash);
            c.moveTo({-3, 4});
            c.lineTo({37, 29});
            c.lineTo({55, 7});
            c.strokePath();
        },
        [](Context& c) {
            c.clipToRect(Rect(5.5, 3.25, 40, 20));
            c.setFillColor(Color::rgb(0x30A050, 0.7));
            Path oval;
            oval.addEllipse(Rect(2, 1, 44, 30));
            c.fill(oval);
        },
    };
    for (std::size_t d = 0; d < std::size(draws); ++d) {
        for (const auto& [top, bottom] : {std::pair{0, 9}, std::pair{9, 23}, std::pair{23, 32}}) {
            auto picture = Context::makeBitmap(60, 32);
            picture->setFillColor(Color::rgb(0x806040, 0.5));
            picture->fill(Rect(10, 0, 30, 32));
            auto copy = Context::makeBitmap(60, bottom - top);
            const std::size_t stride = picture->bytesPerRow();
            std::memcpy(copy->data(), picture->data() + stride * top, stride * (bottom - top));
            copy->pixelsChanged();
            const std::vector<uint8_t> before(picture->data(), picture->data() + stride * 32);
            auto rows = Context::makeRows(*picture, top, bottom);
            ASSERT_NE(rows, nullptr);
            draws[d](*rows);
            draws[d](*copy);
            rows.reset();
            picture->pixelsChanged();
            const uint8_t* got = picture->data();
            EXPECT_TRUE(std::equal(copy->data(), copy->data() + stride * (bottom - top), got + stride * top))
                << d << " " << top;
            EXPECT_TRUE(std::equal(before.begin(), before.begin() + stride * top, got)) << d << " " << top;
            EXPECT_TRUE(std::equal(before.begin() + stride * bottom, before.end(), got + stride * bottom))
                << d << " " << top;
            EXPECT_FALSE(std::equal(before.begin(), before.end(), got)) << d << " " << top;
        }
    }
    auto picture = Context::makeBitmap(60, 32);
    for (const auto& [top, bottom] : {std::pair{-1, 5}, std::pair{5, 33}, std::pair{7, 7}, std::pair{9, 3}})
        EXPECT_EQ(Context::makeRows(*picture, top, bottom), nullptr) << top << " " << bottom;
}

namespace {

// The VmFlags of the mapping that holds `address`, from /proc/self/smaps; empty when none does.
std::string mappingFlags(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::FILE* smaps = std::fopen("/proc/self/smaps", "r");
    if (!smaps) return {};
    std::string flags;
    bool inside = false;
    char line[512];
    while (std::fgets(line, sizeof line, smaps)) {
        unsigned long lo = 0, hi = 0;
        if (std::sscanf(line, "%lx-%lx ", &lo, &hi) == 2) {  // a mapping's first line; its keys never parse so
            inside = at >= lo && at < hi;
            continue;
        }
        if (inside && std::strncmp(line, "VmFlags:", 8) == 0) {
            flags = line + 8;
            break;
        }
    }
    std::fclose(smaps);
    return flags;
}

}  // namespace

// A picture-sized unset bitmap is asked for in huge pages (a fresh one otherwise costs thousands of page
// faults on its first write), also when it reuses memory a freed one left; every pixel still holds what
// was written and the image taken from it shows it.
TEST(CgContext, PictureSizedUnsetBitmapsAskForHugePages) {
    struct Case {
        int width, height;
        bool huge;
    };
    const Case cases[] = {{3420, 2224, true}, {3420, 2224, true}, {2560, 1600, true}, {64, 64, false}};
    for (const Case& k : cases) {
        auto c = Context::makeUnsetBitmap(k.width, k.height);
        ASSERT_TRUE(c) << k.width << " x " << k.height;
        uint8_t* bits = c->data();
        const std::size_t bytes = static_cast<std::size_t>(k.width) * static_cast<std::size_t>(k.height) * 4;
        for (std::size_t i = 0; i < bytes; i += 4) {
            const uint32_t v = 0xFF000000u | static_cast<uint32_t>(i / 4 % 0xFFFFFF);
            std::memcpy(bits + i, &v, 4);
        }
        c->pixelsChanged();
        if (k.huge) {
            const std::string flags = mappingFlags(bits + bytes / 2);
            EXPECT_NE(flags.find(" hg"), std::string::npos) << k.width << " x " << k.height << ": " << flags;
        }
        const int x = k.width - 3, y = k.height / 2;
        const std::size_t index = static_cast<std::size_t>(y) * static_cast<std::size_t>(k.width) + static_cast<std::size_t>(x);
        const uint32_t expected = 0xFF000000u | static_cast<uint32_t>(index % 0xFFFFFF);
        EXPECT_EQ(c->pixel(x, y), expected);
        const auto image = c->takeImage();
        ASSERT_TRUE(image);
        EXPECT_EQ(image->pixel(x, y), expected);
    }
}
