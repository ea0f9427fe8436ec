// Blend modes, gradients, transparency layers and shadows.

#include "CgTestSupport.h"
#include "Platform/Graphics/Blur.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <vector>

using namespace cg;
using cgtest::bitmap;
using cgtest::Px;
using cgtest::up;

namespace {

// A 20 × 10 bitmap whose left half is opaque red; the shape drawn over it spans red and empty.
std::unique_ptr<Context> halfRed() {
    auto c = bitmap(20, 10);
    c->setFillColor(Color::rgb(0xFF0000));
    c->fill(Rect(0, 0, 10, 10));
    return c;
}
const Rect kShape(5, 2, 10, 6);

bool isRed(Px p) { return p.a == 255 && p.r == 255 && p.g == 0 && p.b == 0; }
bool isBlue(Px p) { return p.a == 255 && p.r == 0 && p.g == 0 && p.b == 255; }

ImageRef solidImage(int w, int h, uint32_t argb) {
    return Image::fromARGB32(w, h, std::vector<uint32_t>(static_cast<size_t>(w * h), argb));
}

}  // namespace

TEST(CgBlend, SourceInLeavesPixelsOutsideTheShapeUntouched) {
    // Fill, stroke and image each take their own path through the drawing layer.
    for (int kind = 0; kind < 3; ++kind) {
        auto c = halfRed();
        c->setBlendMode(BlendMode::sourceIn);
        c->setFillColor(Color::rgb(0x0000FF));
        c->setStrokeColor(Color::rgb(0x0000FF));
        if (kind == 0) {
            c->fill(kShape);
        } else if (kind == 1) {
            c->setLineWidth(6);
            const Point s[] = {{5, 5}, {15, 5}};
            c->strokeLineSegments(s);
        } else {
            c->draw(solidImage(10, 6, 0xFF0000FFu), kShape);
        }
        EXPECT_TRUE(isBlue(up(*c, 7, 5))) << kind;   // shape over red
        EXPECT_EQ(up(*c, 12, 5).a, 0) << kind;       // shape over nothing
        EXPECT_TRUE(isRed(up(*c, 2, 5))) << kind;    // beside the shape
        EXPECT_TRUE(isRed(up(*c, 7, 0))) << kind;    // below the shape
        EXPECT_TRUE(isRed(up(*c, 7, 9))) << kind;    // above the shape
    }
    // With alpha: S in D keeps half the source.
    auto c = halfRed();
    c->setBlendMode(BlendMode::sourceIn);
    c->setAlpha(0.5);
    c->setFillColor(Color::rgb(0x0000FF));
    c->fill(kShape);
    EXPECT_NEAR(up(*c, 7, 5).a, 128, 1);
    EXPECT_NEAR(up(*c, 7, 5).b, 128, 1);
    EXPECT_EQ(up(*c, 7, 5).r, 0);
    EXPECT_TRUE(isRed(up(*c, 2, 5)));
}

TEST(CgBlend, DestinationOutErasesOnlyInsideTheShape) {
    auto c = halfRed();
    c->setBlendMode(BlendMode::destinationOut);
    c->fill(kShape);
    EXPECT_EQ(up(*c, 7, 5).a, 0);
    EXPECT_TRUE(isRed(up(*c, 2, 5)));
    EXPECT_TRUE(isRed(up(*c, 7, 0)));
    // Half-transparent source erases half.
    auto h = halfRed();
    h->setBlendMode(BlendMode::destinationOut);
    h->setAlpha(0.5);
    h->fill(kShape);
    EXPECT_NEAR(up(*h, 7, 5).a, 128, 1);
}

TEST(CgBlend, SourceAtopDestinationOverAndClear) {
    auto atop = halfRed();
    atop->setBlendMode(BlendMode::sourceAtop);
    atop->setFillColor(Color::rgb(0x0000FF));
    atop->fill(kShape);
    EXPECT_TRUE(isBlue(up(*atop, 7, 5)));
    EXPECT_EQ(up(*atop, 12, 5).a, 0);
    EXPECT_TRUE(isRed(up(*atop, 2, 5)));

    auto over = halfRed();
    over->setBlendMode(BlendMode::destinationOver);
    over->setFillColor(Color::rgb(0x0000FF));
    over->fill(kShape);
    EXPECT_TRUE(isRed(up(*over, 7, 5)));
    EXPECT_TRUE(isBlue(up(*over, 12, 5)));
    EXPECT_EQ(up(*over, 17, 0).a, 0);

    auto clr = halfRed();
    clr->setBlendMode(BlendMode::clear);
    clr->fill(kShape);
    EXPECT_EQ(up(*clr, 7, 5).a, 0);
    EXPECT_TRUE(isRed(up(*clr, 2, 5)));
    EXPECT_TRUE(isRed(up(*clr, 7, 9)));

    // clear(rect) erases whatever the blend mode.
    auto e = halfRed();
    e->setBlendMode(BlendMode::sourceAtop);
    e->clear(Rect(0, 0, 3, 10));
    EXPECT_EQ(up(*e, 1, 5).a, 0);
    EXPECT_TRUE(isRed(up(*e, 5, 5)));
}

TEST(CgBlend, PlusLighterAddsAndSaturates) {
    auto c = bitmap(20, 10);
    c->setFillColor(Color::rgb(0x404040));
    c->fill(Rect(0, 0, 20, 10));
    c->setBlendMode(BlendMode::plusLighter);
    c->fill(Rect(0, 0, 10, 10));
    EXPECT_EQ(up(*c, 5, 5).r, 0x80);
    EXPECT_EQ(up(*c, 15, 5).r, 0x40);  // outside the shape
    c->setFillColor(Color::rgb(0xF0F0F0));
    c->fill(Rect(0, 0, 10, 10));
    EXPECT_EQ(up(*c, 5, 5).r, 255);
    EXPECT_EQ(up(*c, 5, 5).a, 255);
}

TEST(CgBlend, ColorDodgeBrightensAndBlackChangesNothing) {
    auto dodge = [](uint32_t source) {
        auto c = bitmap(20, 10);
        c->setFillColor(Color::rgb(0x808080));
        c->fill(Rect(0, 0, 20, 10));
        c->setBlendMode(BlendMode::colorDodge);
        c->setFillColor(Color::rgb(source));
        c->fill(Rect(0, 0, 10, 10));
        EXPECT_EQ(up(*c, 15, 5).r, 0x80);  // outside the shape
        return up(*c, 5, 5).r;
    };
    EXPECT_EQ(dodge(0x000000), 0x80);
    EXPECT_NEAR(dodge(0x404040), 171, 1);  // 0.502 / (1 − 0.251)
    EXPECT_EQ(dodge(0xFFFFFF), 255);
}

TEST(CgGradient, LinearExtensionOnEachSideIndependently) {
    const Gradient g({Color::rgb(0xFF0000), Color::rgb(0x0000FF)}, {0, 1});
    auto run = [&](bool before, bool after) {
        auto c = bitmap(40, 10);
        c->drawLinearGradient(g, {10, 5}, {30, 5}, {before, after});
        return std::pair{up(*c, 5, 5), up(*c, 35, 5)};
    };
    auto [l0, r0] = run(false, false);
    EXPECT_EQ(l0.a, 0);
    EXPECT_EQ(r0.a, 0);
    auto [l1, r1] = run(true, false);
    EXPECT_TRUE(isRed(l1));
    EXPECT_EQ(r1.a, 0);
    auto [l2, r2] = run(false, true);
    EXPECT_EQ(l2.a, 0);
    EXPECT_TRUE(isBlue(r2));
    auto [l3, r3] = run(true, true);
    EXPECT_TRUE(isRed(l3));
    EXPECT_TRUE(isBlue(r3));

    auto c = bitmap(40, 10);
    c->drawLinearGradient(g, {10, 5}, {30, 5});
    const Px mid = up(*c, 20, 5);
    EXPECT_EQ(mid.a, 255);
    EXPECT_NEAR(mid.r, 121, 4);  // pixel centre 20.5: t = 0.525
    EXPECT_NEAR(mid.b, 134, 4);
    // One-sided extension still paints the whole extended side, also far away.
    auto far = bitmap(400, 10);
    far->drawLinearGradient(g, {200, 5}, {210, 5}, {false, true});
    EXPECT_TRUE(isBlue(up(*far, 399, 9)));
    EXPECT_EQ(up(*far, 0, 0).a, 0);
    EXPECT_EQ(up(*far, 199, 5).a, 0);
}

TEST(CgGradient, LinearIsYUpAndFillsOnlyTheClip) {
    const Gradient g({Color::rgb(0xFF0000), Color::rgb(0x0000FF)}, {0, 1});
    auto c = bitmap(10, 10);
    c->drawLinearGradient(g, {0, 0}, {0, 10}, {true, true});
    EXPECT_GT(cgtest::at(*c, 0, 9).r, 200);  // last memory row is y = 0
    EXPECT_GT(cgtest::at(*c, 0, 0).b, 200);

    auto k = bitmap(40, 10);
    k->clipToRect(Rect(0, 0, 20, 10));
    k->drawLinearGradient(g, {0, 5}, {40, 5}, {true, true});
    EXPECT_EQ(up(*k, 15, 5).a, 255);
    EXPECT_EQ(up(*k, 30, 5).a, 0);
}

TEST(CgGradient, RadialExtensionAndCircles) {
    const Gradient g({Color::rgb(0xFF0000), Color::rgb(0x0000FF)}, {0, 1});
    auto run = [&](double r0, bool before, bool after) {
        auto c = bitmap(40, 40);
        c->drawRadialGradient(g, {20, 20}, r0, {20, 20}, 10, {before, after});
        return std::pair{up(*c, 20, 20), up(*c, 35, 20)};
    };
    auto [c0, o0] = run(0, false, false);
    EXPECT_GT(c0.r, 200);
    EXPECT_EQ(o0.a, 0);
    auto [c1, o1] = run(0, false, true);
    EXPECT_TRUE(isBlue(o1));
    // With a start circle of radius 5, its inside lies before the start.
    auto [c2, o2] = run(5, true, false);
    EXPECT_TRUE(isRed(c2));
    EXPECT_EQ(o2.a, 0);
    auto [c3, o3] = run(5, false, true);
    EXPECT_EQ(c3.a, 0);
    EXPECT_TRUE(isBlue(o3));
    auto [c4, o4] = run(5, false, false);
    EXPECT_EQ(c4.a, 0);
    EXPECT_EQ(o4.a, 0);

    // Offset focus inside the end circle, extended past the end: the whole clip is painted.
    auto lobe = bitmap(40, 40);
    lobe->drawRadialGradient(g, {15, 25}, 0, {20, 20}, 8, {false, true});
    EXPECT_TRUE(isBlue(up(*lobe, 0, 0)));
    EXPECT_GT(up(*lobe, 15, 25).r, 200);

    // Under a flattening transform the circle becomes an ellipse (a ground shadow).
    auto flat = bitmap(40, 40);
    flat->translateBy(20, 20);
    flat->scaleBy(1, 0.3);
    flat->drawRadialGradient(g, {0, 0}, 0, {0, 0}, 10);
    EXPECT_GT(up(*flat, 27, 20).a, 0);
    EXPECT_EQ(up(*flat, 20, 25).a, 0);
}

TEST(CgGradient, AlphaAndStops) {
    const Gradient g({Color::white(), Color::white()}, {0, 1});
    auto c = bitmap(10, 10);
    c->setAlpha(0.5);
    c->drawLinearGradient(g, {0, 0}, {10, 0});
    EXPECT_NEAR(up(*c, 5, 5).a, 128, 1);
    // Evenly spread stops when no locations are given; stray locations are clamped.
    const Gradient spread({Color::black(), Color::white(), Color::black()});
    ASSERT_EQ(spread.stops().size(), 3u);
    EXPECT_EQ(spread.stops()[1].location, 0.5);
    const Gradient clamped({Color::black(), Color::white()}, {-1, 7});
    EXPECT_EQ(clamped.stops()[0].location, 0);
    EXPECT_EQ(clamped.stops()[1].location, 1);
}

TEST(CgLayer, AlphaAppliesOnceToTheWholeLayer) {
    auto c = bitmap(20, 20);
    c->setFillColor(Color::rgb(0xFF0000));
    c->setAlpha(0.5);
    c->beginTransparencyLayer();
    EXPECT_EQ(c->alpha(), 1);
    c->fill(Rect(2, 2, 10, 10));
    c->fill(Rect(6, 6, 10, 10));
    c->endTransparencyLayer();
    EXPECT_EQ(c->alpha(), 0.5);
    const Px single = up(*c, 3, 3), overlap = up(*c, 8, 8), other = up(*c, 14, 14);
    EXPECT_NEAR(overlap.a, 128, 1);
    EXPECT_EQ(single.a, overlap.a);
    EXPECT_EQ(other.a, overlap.a);
    EXPECT_EQ(up(*c, 18, 3).a, 0);

    // Without a layer the overlap is darker: the mistake this guards against.
    auto n = bitmap(20, 20);
    n->setAlpha(0.5);
    n->fill(Rect(2, 2, 10, 10));
    n->fill(Rect(6, 6, 10, 10));
    EXPECT_NEAR(up(*n, 8, 8).a, 191, 1);
}

TEST(CgLayer, InsideStartsPlainAndEndUsesTheStateAtBegin) {
    auto c = bitmap(20, 20);
    c->setFillColor(Color::rgb(0xFF0000));
    c->fill(Rect(0, 0, 20, 20));
    c->clipToRect(Rect(0, 0, 10, 20));
    c->setBlendMode(BlendMode::destinationOut);
    c->setShadow({0, 0}, 4, Color::black(0));  // invisible shadow, but set
    c->beginTransparencyLayer();
    EXPECT_EQ(c->blendMode(), BlendMode::normal);
    c->setBlendMode(BlendMode::sourceAtop);  // changes inside are dropped at the end
    c->setBlendMode(BlendMode::normal);
    c->setFillColor(Color::black());
    c->fill(Rect(5, 5, 10, 10));  // crosses the clip edge at x = 10
#if !VM_CHECKS
    c->saveGState();
    c->saveGState();  // release builds close unbalanced saves inside the layer at its end
#endif
    c->endTransparencyLayer();
    EXPECT_EQ(c->blendMode(), BlendMode::destinationOut);
    EXPECT_EQ(up(*c, 7, 7).a, 0);           // erased by the layer
    EXPECT_EQ(up(*c, 12, 7).a, 255);        // the layer was cut by the clip
    EXPECT_EQ(up(*c, 2, 2).a, 255);         // outside the layer's drawing
#if !VM_CHECKS
    c->endTransparencyLayer();              // without a layer: ignored
    c->restoreGState();                     // nothing left to restore
    EXPECT_EQ(c->blendMode(), BlendMode::destinationOut);
#endif
}

#if VM_CHECKS
// Checked builds stop at the first unbalanced restore or layer end instead of drawing on in the wrong state.
TEST(CgLayerDeathTest, UnbalancedRestoresAndLayerEndsStopCheckedBuilds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto c = bitmap(20, 20);
    EXPECT_DEATH(c->restoreGState(), "restore without a matching save");
    EXPECT_DEATH(c->endTransparencyLayer(), "not begun");
    c->saveGState();
    c->beginTransparencyLayer();
    EXPECT_DEATH(c->restoreGState(), "before the transparency layer began");
    c->saveGState();
    EXPECT_DEATH(c->endTransparencyLayer(), "saves still open");
}
#endif

TEST(CgLayer, AllocatesOnlyWhatTheClipAndTheDrawingNeed) {
    auto c = bitmap(2000, 2000);
    c->beginTransparencyLayer();
    c->fill(Rect(100, 100, 10, 10));
    c->fill(Rect(1500, 1500, 10, 10));  // far away: the layer grows, keeping what it had
    c->endTransparencyLayer();
    EXPECT_EQ(up(*c, 105, 105).a, 255);
    EXPECT_EQ(up(*c, 1505, 1505).a, 255);
    EXPECT_EQ(c->stats().layers, 1u);
    EXPECT_LT(c->stats().largestLayerPixels, 1500u * 1500u);

    auto small = bitmap(2000, 2000);
    small->beginTransparencyLayer();
    small->fill(Rect(100, 100, 10, 10));
    small->endTransparencyLayer();
    EXPECT_LE(small->stats().largestLayerPixels, 64u * 64u);

    auto clipped = bitmap(2000, 2000);
    clipped->clipToRect(Rect(0, 0, 50, 50));
    clipped->beginTransparencyLayer();
    clipped->drawLinearGradient(Gradient({Color::black(), Color::white()}), {0, 0}, {1, 0}, {true, true});
    clipped->endTransparencyLayer();
    EXPECT_LE(clipped->stats().largestLayerPixels, 50u * 50u);
    EXPECT_EQ(up(*clipped, 25, 25).a, 255);
    EXPECT_EQ(up(*clipped, 60, 25).a, 0);
}

TEST(CgLayer, AGrowingLayerKeepsTheLastColumnAndRowOfWhatItGrewFor) {
    // Layers grow in 32-pixel steps; a drawing whose far edge is one pixel past a step must still get its
    // last column (or row) when the layer grows to take it in, on each side.
    struct Case {
        const char* side;
        Rect first, second;
    } const cases[] = {
        {"right", Rect(10, 10, 10, 10), Rect(100, 10, 29, 10)},  // x 100–129, one past 128
        {"left", Rect(100, 10, 10, 10), Rect(31, 10, 10, 10)},   // from 31, one before 32
        {"up", Rect(10, 10, 10, 10), Rect(10, 100, 10, 29)},     // y-up: rows 100–129
        {"down", Rect(10, 100, 10, 10), Rect(10, 31, 10, 10)},
        {"both", Rect(50, 50, 4, 4), Rect(97, 97, 32, 32)},
    };
    for (const Case& c : cases) {
        auto b = bitmap(300, 300);
        b->beginTransparencyLayer();
        // Pictures, whose bounds are exact: a filled shape's carry a pixel of margin that hides a lost one.
        for (const Rect& r : {c.first, c.second}) {
            const auto picture = Image::fromARGB32(int(r.width()), int(r.height()),
                                                   std::vector<uint32_t>(size_t(r.width() * r.height()), 0xFF2040FFu));
            b->drawPixelAligned(*picture, int(r.minX()), int(r.minY()));
        }
        b->endTransparencyLayer();
        for (const Rect& r : {c.first, c.second}) {
            const int x0 = int(r.minX()), y0 = int(r.minY()), x1 = int(r.maxX()) - 1, y1 = int(r.maxY()) - 1;
            for (const auto& [x, y] : {std::pair{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}})
                EXPECT_EQ(up(*b, x, y).a, 255) << c.side << ": pixel " << x << "," << y;
            EXPECT_EQ(up(*b, x1 + 1, y0).a, 0) << c.side;
        }
    }
}

TEST(CgLayer, NestedLayersAndLayerShadow) {
    auto c = bitmap(40, 40);
    c->setAlpha(0.5);
    c->beginTransparencyLayer();
    c->setAlpha(0.5);
    c->beginTransparencyLayer();
    c->fill(Rect(5, 5, 10, 10));
    c->endTransparencyLayer();
    c->endTransparencyLayer();
    EXPECT_NEAR(up(*c, 10, 10).a, 64, 1);

    // The shadow of a layer is the shadow of its whole content, once.
    auto s = bitmap(60, 60);
    s->setShadow({0, 0}, 6, Color::black());
    s->beginTransparencyLayer();
    s->setFillColor(Color::rgb(0xFF0000, 0.5));
    s->fill(Rect(20, 20, 12, 12));
    s->fill(Rect(26, 26, 12, 12));
    s->endTransparencyLayer();
    EXPECT_GT(up(*s, 18, 25).a, 20);   // spread beyond the content
    EXPECT_EQ(up(*s, 5, 5).a, 0);
    EXPECT_EQ(s->stats().shadows, 1u);
}

TEST(CgShadow, SpreadsBeyondTheShapeAndIsCutByTheClip) {
    auto draw = [](bool clip) {
        auto c = bitmap(60, 60);
        if (clip) c->clipToRect(Rect(19, 0, 41, 60));
        c->setShadow({0, 0}, 8, Color::black());
        c->setFillColor(Color::rgb(0xFF0000));
        c->fill(Rect(20, 20, 20, 20));
        return c;
    };
    auto open = draw(false);
    EXPECT_GT(up(*open, 18, 30).a, 60);   // 1.5 px outside, sigma 4
    EXPECT_EQ(up(*open, 18, 30).r, 0);    // shadow colour, not the fill
    EXPECT_EQ(up(*open, 2, 30).a, 0);     // beyond 3 sigma
    EXPECT_TRUE(isRed(up(*open, 30, 30)));
    EXPECT_TRUE(isRed(up(*open, 20, 30)));  // the shape is drawn over its shadow
    auto cut = draw(true);
    EXPECT_EQ(up(*cut, 18, 30).a, 0);
    EXPECT_GT(up(*cut, 19, 30).a, 60);
    EXPECT_GT(up(*cut, 41, 30).a, 60);
    // Small padded boxes only.
    EXPECT_LE(open->stats().largestShadowPixels, 50u * 50u);
}

TEST(CgShadow, OffsetIsYUpInDevicePixelsAndBlurIsGaussian) {
    auto c = bitmap(40, 40);
    c->setShadow({0, 10}, 0);  // default colour: black at 1/3
    c->fill(Rect(10, 10, 5, 5));
    EXPECT_NEAR(up(*c, 12, 22).a, 85, 1);  // moved up
    EXPECT_EQ(up(*c, 12, 2).a, 0);          // not down
    // The shadow carries the drawn alpha: colour alpha times context alpha.
    c->setShadow({20, 0}, 0, Color::black());
    c->setAlpha(0.5);
    c->setFillColor(Color::rgb(0xFF0000, 0.5));
    c->fill(Rect(2, 30, 4, 4));
    EXPECT_NEAR(up(*c, 23, 32).a, 64, 1);
    EXPECT_EQ(up(*c, 23, 32).r, 0);

    // Not scaled by the transform: offset 6 is 6 device pixels at scale 2.
    auto s = bitmap(80, 80, 2);
    s->setShadow({6, 0}, 0, Color::black());
    s->fill(Rect(5, 5, 5, 5));  // device x 10..20
    EXPECT_EQ(up(*s, 23, 14).a, 255);
    EXPECT_EQ(up(*s, 27, 14).a, 0);

    // Blur b is a Gaussian of sigma b / 2: a half-plane's edge follows the normal distribution.
    auto g = bitmap(100, 40);
    g->setShadow({0, 0}, 8, Color::black());
    g->setFillColor(Color::white());
    g->fill(Rect(0, -100, 50, 300));
    EXPECT_NEAR(up(*g, 53, 20).a, 255 * 0.1908, 6);  // Φ(−3.5 / 4)
    EXPECT_NEAR(up(*g, 57, 20).a, 255 * 0.0304, 4);  // Φ(−7.5 / 4)
    EXPECT_NEAR(up(*g, 51, 20).a, 255 * 0.3538, 6);  // Φ(−1.5 / 4)
}

TEST(CgShadow, OnStrokesGradientsAndImages) {
    auto st = bitmap(40, 40);
    st->setShadow({0, -5}, 0, Color::black());
    st->setStrokeColor(Color::rgb(0x00FF00));
    st->setLineWidth(2);
    const Point seg[] = {{5, 20}, {35, 20}};
    st->strokeLineSegments(seg);
    EXPECT_EQ(up(*st, 20, 15).a, 255);
    EXPECT_EQ(up(*st, 20, 15).g, 0);
    EXPECT_EQ(up(*st, 20, 20).g, 255);

    // A gradient's shape is the clip: its shadow lies beneath it, cut by the same clip.
    auto gr = bitmap(40, 40);
    gr->clipToRect(Rect(10, 10, 20, 20));
    gr->setShadow({0, 0}, 0, Color::black());
    gr->drawLinearGradient(Gradient({Color::white(0.5), Color::white(0.5)}), {0, 0}, {40, 0}, {true, true});
    EXPECT_NEAR(up(*gr, 20, 20).a, 191, 2);
    EXPECT_NEAR(up(*gr, 20, 20).r, 128, 2);
    EXPECT_EQ(up(*gr, 5, 20).a, 0);

    auto im = bitmap(40, 40);
    im->setShadow({3, 0}, 0, Color::black());
    im->draw(solidImage(4, 4, 0xFFFFFFFFu), Rect(10, 10, 10, 10));
    EXPECT_EQ(up(*im, 21, 15).a, 255);
    EXPECT_EQ(up(*im, 21, 15).r, 0);
    EXPECT_EQ(up(*im, 15, 15).r, 255);
    EXPECT_EQ(up(*im, 24, 15).a, 0);
    // A clear colour turns the shadow off.
    im->clearShadow();
    im->draw(solidImage(4, 4, 0xFFFFFFFFu), Rect(10, 30, 4, 4));
    EXPECT_EQ(up(*im, 15, 31).a, 0);
}

// The eight-lane blur gives the one-lane blur's bytes: widths around the lane count, planes with empty
// rows and columns, sigmas from a pixel's fraction to wider than the plane.
TEST(CgShadow, BlurGivesTheSameBytesInEightLanesAndOne) {
    std::mt19937 rng(7);
    for (const int w : {1, 7, 8, 9, 31, 64})
        for (const double sigma : {0.4, 1.5, 6.0, 40.0}) {
            const int h = 23, stride = w + 3;
            std::vector<uint8_t> plane(static_cast<size_t>(stride * h), 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (y % 5 != 2 && x % 4 != 1) plane[static_cast<size_t>(y * stride + x)] = static_cast<uint8_t>(rng());
            std::vector<uint8_t> one = plane, eight = plane;
            cg::detail::BlurScratch a, b;
            cg::detail::gaussianBlurA8(one.data(), w, h, stride, sigma, a, false);
            cg::detail::gaussianBlurA8(eight.data(), w, h, stride, sigma, b, true);
            EXPECT_EQ(one, eight) << "width " << w << ", sigma " << sigma;
            EXPECT_NE(one, plane) << "width " << w << ", sigma " << sigma;
        }
}
