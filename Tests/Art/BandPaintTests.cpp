#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Art/Pond.h"
#include "ArtTestSupport.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/StateGuard.h"

namespace {

// A scene whose pixels are already set (as after shading), so nothing starts out known to be clear.
arttest::Painter shadedScene() {
    auto p = arttest::painter(400, 300, 2);
    cg::Context& c = *p.bitmap;
    uint8_t* data = c.data();
    for (int y = 0; y < c.pixelHeight(); ++y)
        for (int x = 0; x < c.pixelWidth(); ++x) {
            uint32_t n = static_cast<uint32_t>(x) * 668265261u ^ static_cast<uint32_t>(y) * 374761393u;
            n = (n ^ (n >> 13)) * 1274126177u;
            const uint32_t v = 0xFF000000u | (n & 0x3F3F3Fu) | 0x204060u;
            std::memcpy(data + c.bytesPerRow() * static_cast<std::size_t>(y) + 4 * static_cast<std::size_t>(x), &v, 4);
        }
    c.pixelsChanged();
    return p;
}

// Points spread over the whole scene, many of them astride band edges.
cg::Point spot(int i, uint64_t salt) { return {400 * Art::rand({double(i), 1.5}, salt), 300 * Art::rand({2.5, double(i)}, salt)}; }

struct Case {
    std::string name;
    std::function<void(Art&, const cg::Rect& band)> paint;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"fills and curves",
         [](Art& a, const cg::Rect& band) {
             for (int i = 0; i < 60; ++i) {
                 const cg::Point p = spot(i, 1);
                 const double r = 2 + 30 * Art::rand(p, 2);
                 // What cannot reach the band is left out, as painters do.
                 if (p.y + 1.7 * r < band.minY() || p.y - 1.3 * r > band.maxY()) continue;
                 a.shape(0x336699 + static_cast<uint32_t>(i) * 977, 0.7, 0, [&](cg::Path& path) {
                     path.moveTo({p.x - r, p.y});
                     path.curveTo({p.x - r, p.y + 1.7 * r}, {p.x + r, p.y - 0.3 * r}, {p.x + 0.6 * r, p.y + r});
                     path.closeSubpath();
                     path.addEllipse(cg::Rect(p.x, p.y - r, 0.8 * r, 2.2 * r));
                 });
             }
             // Long straight edges, which the rasteriser steps a whole row at a time.
             for (int i = 0; i < 12; ++i) {
                 const cg::Point p = spot(i, 11), q = spot(i + 50, 11), r = spot(i + 90, 11);
                 a.shape(0xa0d0f0, 0.6, 0, [&](cg::Path& path) { path.addLines(std::vector<cg::Point>{p, q, r, p}); });
             }
         }},
        {"strokes, dashes and the state brought in",
         [](Art& a, const cg::Rect&) {
             a.ctx->stroke(cg::Rect(31.3, 11.7, 301.1, 250.2));
             for (int i = 0; i < 40; ++i) {
                 const cg::Point p = spot(i, 3), q = spot(i + 100, 3);
                 a.shape(0xeecc22, 0.8, 0.3 + 4 * Art::rand(p, 4), [&](cg::Path& path) {
                     path.moveTo(p);
                     path.quadCurveTo({p.x, q.y}, q);
                 });
             }
             const double dash[] = {3, 2.5};
             a.ctx->setLineDash(0.5, dash);
             a.ctx->stroke(cg::Rect(13.3, 21.7, 351.1, 240.2));
             a.ctx->setLineDash(0, {});
         }},
        {"gradients in clips",
         [](Art& a, const cg::Rect&) {
             cg::Context& g = *a.ctx;
             const cg::Gradient shade({cg::Color::black(0.5), cg::Color::rgb(0xffeedd, 0.3), cg::Color::black(0)},
                                      {0, 0.4, 1});
             for (int i = 0; i < 12; ++i) {
                 const cg::Point p = spot(i, 5);
                 cg::SavedState saved(g);
                 g.translateBy(p.x, p.y);
                 g.scaleBy(1, 0.7);
                 g.drawRadialGradient(shade, {0, 0}, 0, {3, 1}, 10 + 50 * Art::rand(p, 6));
             }
             cg::SavedState saved(g);
             g.clipToRect(cg::Rect(40.25, 33.5, 300, 211.75));
             g.drawLinearGradient(shade, {10, 10}, {390, 280}, {true, true});
         }},
        {"shadows and layers",
         [](Art& a, const cg::Rect&) {
             cg::Context& g = *a.ctx;
             for (int i = 0; i < 16; ++i) {
                 const cg::Point p = spot(i, 7);
                 cg::SavedState saved(g);
                 g.setShadow({1, -2}, 2 + 8 * Art::rand(p, 8), cg::Color::rgb(0x102030, 0.6));
                 if (i % 2) {
                     if (i % 4 == 1) g.clearShadow();
                     g.setAlpha(0.6);
                     cg::TransparencyLayer layer(g);
                     g.setFillColor(cg::Color::rgb(0x80c040));
                     g.fillEllipse(cg::Rect(p.x, p.y, 31, 17));
                     g.fillEllipse(cg::Rect(p.x + 9, p.y + 4, 25, 23));
                 } else {
                     g.setFillColor(cg::Color::rgb(0xc04080, 0.8));
                     g.fill(cg::Rect(p.x + 0.3, p.y + 0.6, 27.4, 19.2));
                 }
             }
         }},
        {"pictures",
         [](Art& a, const cg::Rect&) {
             const cg::ImageRef pic = a.offscreen(12, 9, 2, [&] {
                 a.shape(0x2255aa, 1, 0, [](cg::Path& path) { path.addEllipse(cg::Rect(1, 1, 10, 7)); });
             });
             ASSERT_TRUE(pic);
             for (int i = 0; i < 40; ++i) {
                 const cg::Point p = spot(i, 9);
                 const double k = 0.5 + 2 * Art::rand(p, 10);
                 if (i % 2) a.ctx->draw(pic, cg::Rect(p.x, p.y, 12 * k, 9 * k));
                 else a.ctx->drawUnclipped(*pic, cg::Rect(p.x, p.y, 12 * k, 9 * k), cg::ImageFilter::good);
                 // On whole pixels at its own size, as stamps are laid.
                 a.ctx->draw(pic, cg::Rect(std::round(2 * p.y) / 2, std::round(2 * p.x) / 2 * 0.75, 12, 9));
                 a.ctx->drawPixelAligned(*pic, static_cast<int>(p.x) + 3, static_cast<int>(p.y) + 7);
             }
         }},
        {"sampled crowns, ovals and stones, worked out for the band's rows alone",
         [](Art& a, const cg::Rect& band) {
             for (int i = 0; i < 50; ++i) {
                 const cg::Point p = spot(i, 21);
                 const double r = 2.5 + 28 * Art::rand(p, 22) * Art::rand(p, 23);
                 if (p.y + 1.3 * r + 3 < band.minY() || p.y - 1.3 * r - 3 > band.maxY()) continue;
                 if (i % 3 == 0) {
                     Art::Pond(a).stone(p, 0.4 * r + 2, Art::rand(p, 24));
                 } else {
                     a.canopySampled(p, r, 0x2a4620, 0x5c8a38, Art::rand(p, 25));
                     std::vector<Art::Oval> ovals;
                     for (int j = 0; j < 12; ++j)
                         ovals.push_back({cg::Rect(p.x + r * (Art::rand(p, 30 + j) - 0.5), p.y + r * (Art::rand(p, 50 + j) - 0.5),
                                                   2.2, 1.8),
                                          0xb2321a + static_cast<uint32_t>(j) * 4099});
                     a.ovalsSampled(ovals, 0.9);
                 }
             }
         }},
    };
    return all;
}

std::vector<uint32_t> bytes(cg::Context& c) {
    const auto* p = reinterpret_cast<const uint32_t*>(c.data());
    return {p, p + static_cast<std::size_t>(c.pixelWidth()) * static_cast<std::size_t>(c.pixelHeight())};
}

// A state for the painting to start from.
void bringState(cg::Context& c) {
    c.setLineWidth(3.5);
    c.setStrokeColor(cg::Color::rgb(0x40e0a0, 0.7));
    c.setLineJoin(cg::LineJoin::round);
}

}  // namespace

TEST(PaintInBands, GivesTheBytesOfOnePassAtAnyThreadCount) {
    for (int threads : {1, 0})
        for (const Case& c : cases()) {
            SCOPED_TRACE(c.name + (threads == 1 ? ", 1 thread" : ", all threads"));
            dispatch::ThreadCountScope scope(threads);
            auto once = shadedScene();
            bringState(*once.bitmap);
            c.paint(*once.art, cg::Rect(-1e6, -1e6, 2e6, 2e6));

            auto banded = shadedScene();
            bringState(*banded.bitmap);
            banded->paintInBands(c.paint);
            // The scene keeps its own state.
            EXPECT_EQ(banded.bitmap->lineWidth(), 3.5);
            EXPECT_EQ(banded.bitmap->lineJoin(), cg::LineJoin::round);

            auto plain = shadedScene();
            const std::vector<uint32_t> want = bytes(*once.bitmap);
            EXPECT_NE(want, bytes(*plain.bitmap));  // the case draws something
            const std::vector<uint32_t> got = bytes(*banded.bitmap);
            ASSERT_EQ(got.size(), want.size());
            std::size_t differ = 0, first = 0;
            for (std::size_t k = want.size(); k-- > 0;)
                if (got[k] != want[k]) ++differ, first = k;
            // Band edges fall every 37.5 rows of 800 pixels: the first differing row tells which one failed.
            EXPECT_EQ(differ, 0u) << "first at row " << first / 800 << ", column " << first % 800;
        }
}
