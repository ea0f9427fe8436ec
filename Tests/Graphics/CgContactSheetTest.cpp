// Draws one cell per capability into a contact sheet PNG (cg-contact-sheet.png in $VM_TEST_OUT)
// for people to look at, and checks a few of its pixels.

#include "CgTestSupport.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

using namespace cg;

namespace {

constexpr double kCell = 140;
constexpr int kCols = 6;
constexpr int kRows = 4;
constexpr double kScale = 2;

void checker(Context& c) {
    c.setFillColor(Color::rgb(0xE8E8E8));
    c.fill(Rect(0, 0, kCell, kCell));
    c.setFillColor(Color::rgb(0xD0D0D0));
    for (int y = 0; y < 14; ++y)
        for (int x = (y % 2); x < 14; x += 2) c.fill(Rect(x * 10, y * 10, 10, 10));
}

void blendCell(Context& c, BlendMode mode, uint32_t dst, uint32_t src) {
    c.beginTransparencyLayer();
    c.setFillColor(Color::rgb(dst));
    c.fillEllipse(Rect(15, 30, 70, 70));
    c.setBlendMode(mode);
    c.setFillColor(Color::rgb(src));
    c.fill(Rect(55, 45, 70, 60));
    c.endTransparencyLayer();
}

Path star(Point c, double r) {
    Path p;
    for (int i = 0; i < 5; ++i) {
        const double a = std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
        const Point q{c.x + r * std::cos(a), c.y + r * std::sin(a)};
        if (i == 0) p.moveTo(q); else p.lineTo(q);
    }
    p.closeSubpath();
    return p;
}

const std::vector<std::function<void(Context&)>>& cells() {
    static const std::vector<std::function<void(Context&)>> all = {
        // 0 fills: winding and even-odd
        [](Context& c) {
            c.setFillColor(Color::rgb(0x2A6FDB));
            c.fill(star({38, 70}, 34), FillRule::winding);
            c.fill(star({104, 70}, 34), FillRule::evenOdd);
        },
        // 1 caps and joins
        [](Context& c) {
            c.setLineWidth(10);
            c.setStrokeColor(Color::rgb(0x333333));
            const LineCap caps[] = {LineCap::butt, LineCap::square, LineCap::round};
            for (int i = 0; i < 3; ++i) {
                c.setLineCap(caps[i]);
                const Point s[] = {{20, 120.0 - i * 18}, {60, 120.0 - i * 18}};
                c.strokeLineSegments(s);
            }
            c.setLineCap(LineCap::butt);
            const LineJoin joins[] = {LineJoin::miter, LineJoin::bevel, LineJoin::round};
            for (int i = 0; i < 3; ++i) {
                c.setLineJoin(joins[i]);
                Path v;
                const Point pts[] = {{10.0 + i * 42, 15}, {28.0 + i * 42, 55}, {46.0 + i * 42, 15}};
                v.addLines(pts);
                c.setStrokeColor(Color::rgb(0xC0392B));
                c.stroke(v);
            }
            c.setStrokeColor(Color::rgb(0x27AE60));
            c.setLineWidth(2);
            const Point g[] = {{20, 128}, {20, 78}, {60, 128}, {60, 78}};  // segment ends
            c.strokeLineSegments(g);
        },
        // 2 dashes with phase
        [](Context& c) {
            c.setLineWidth(4);
            const double pat[] = {10, 6};
            for (int i = 0; i < 4; ++i) {
                c.setLineDash(i * 4.0, pat);
                const Point s[] = {{10, 125.0 - i * 12}, {130, 125.0 - i * 12}};
                c.strokeLineSegments(s);
            }
            const double dots[] = {0.1, 6};
            c.setLineCap(LineCap::round);
            c.setLineDash(0, dots);
            c.setStrokeColor(Color::rgb(0x8E44AD));
            c.strokeEllipse(Rect(20, 10, 100, 60));
        },
        // 3 curves: arcs both ways, quad and cubic, elliptical rounded rect, capsule union
        [](Context& c) {
            c.setLineWidth(3);
            c.setStrokeColor(Color::rgb(0x2980B9));
            c.addArc({35, 105}, 22, 0, std::numbers::pi / 2, false);
            c.strokePath();
            c.setStrokeColor(Color::rgb(0xD35400));
            c.addArc({35, 105}, 14, 0, std::numbers::pi / 2, true);
            c.strokePath();
            c.setStrokeColor(Color::rgb(0x16A085));
            c.moveTo({75, 90});
            c.quadCurveTo({95, 135}, {130, 90});
            c.moveTo({75, 80});
            c.curveTo({85, 130}, {115, 40}, {130, 80});
            c.strokePath();
            c.setFillColor(Color::rgb(0xF1C40F));
            c.addRoundedRect(Rect(10, 10, 60, 45), 20, 8);
            c.fillPath();
            Path cap;
            cap.addCapsule({85, 20}, {125, 50}, 9);
            cap.addEllipse(Rect(95, 20, 30, 30));
            c.setFillColor(Color::rgb(0x2C3E50, 0.8));
            c.fill(cap);
        },
        // 4 clip: even-odd ring, and two rects intersecting
        [](Context& c) {
            c.saveGState();
            Path ring;
            ring.addEllipse(Rect(10, 50, 80, 80));
            ring.addEllipse(Rect(30, 70, 40, 40));
            c.clip(ring, FillRule::evenOdd);
            for (int i = 0; i < 14; ++i) {
                c.setFillColor(Color::rgb(i % 2 ? 0x1ABC9C : 0x34495E));
                c.fill(Rect(i * 10, 0, 10, 140));
            }
            c.restoreGState();
            c.saveGState();
            c.clipToRect(Rect(70, 10, 50, 50));
            c.clipToRect(Rect(90, 25, 45, 50));
            c.setFillColor(Color::rgb(0xE74C3C));
            c.fill(Rect(0, 0, 140, 140));
            c.restoreGState();
        },
        // 5 alpha: without and with a transparency layer
        [](Context& c) {
            c.setFillColor(Color::rgb(0x2980B9));
            c.setAlpha(0.5);
            c.fillEllipse(Rect(10, 75, 50, 50));
            c.fillEllipse(Rect(35, 75, 50, 50));
            c.beginTransparencyLayer();
            c.fillEllipse(Rect(10, 15, 50, 50));
            c.fillEllipse(Rect(35, 15, 50, 50));
            c.endTransparencyLayer();
        },
        [](Context& c) { blendCell(c, BlendMode::normal, 0xE74C3C, 0x2E86DE); },
        [](Context& c) { blendCell(c, BlendMode::sourceAtop, 0xE74C3C, 0x2E86DE); },
        [](Context& c) { blendCell(c, BlendMode::sourceIn, 0xE74C3C, 0x2E86DE); },
        [](Context& c) { blendCell(c, BlendMode::destinationOver, 0xE74C3C, 0x2E86DE); },
        [](Context& c) { blendCell(c, BlendMode::destinationOut, 0xE74C3C, 0x2E86DE); },
        [](Context& c) { blendCell(c, BlendMode::plusLighter, 0x803020, 0x204080); },
        [](Context& c) { blendCell(c, BlendMode::colorDodge, 0x806040, 0x606060); },
        [](Context& c) { blendCell(c, BlendMode::clear, 0xE74C3C, 0x2E86DE); },
        // 14 linear gradients: none, before, after, both
        [](Context& c) {
            const Gradient g({Color::rgb(0xE74C3C), Color::rgb(0xF1C40F), Color::rgb(0x2E86DE)}, {0, 0.5, 1});
            for (int i = 0; i < 4; ++i) {
                c.saveGState();
                c.clipToRect(Rect(5, 110.0 - i * 33, 130, 26));
                c.drawLinearGradient(g, {45, 0}, {95, 0}, {(i & 1) != 0, (i & 2) != 0});
                c.restoreGState();
            }
        },
        // 15 radial gradients: plain, extended after, one-sided ring, offset focus (canopy lobe)
        [](Context& c) {
            const Gradient g({Color::rgb(0xFFFFFF), Color::rgb(0x27AE60)}, {0, 1});
            c.saveGState();
            c.clipToRect(Rect(0, 70, 70, 70));
            c.drawRadialGradient(g, {35, 105}, 0, {35, 105}, 25);
            c.restoreGState();
            c.saveGState();
            c.clipToRect(Rect(70, 70, 70, 70));
            c.drawRadialGradient(g, {105, 105}, 8, {105, 105}, 25, {false, true});
            c.restoreGState();
            c.saveGState();
            c.clipToRect(Rect(0, 0, 70, 70));
            c.drawRadialGradient(g, {35, 35}, 8, {35, 35}, 25, {true, false});
            c.restoreGState();
            c.saveGState();
            Path lobe;
            lobe.addEllipse(Rect(78, 8, 54, 54));
            c.clip(lobe);
            const Gradient crown({Color::rgb(0x7DCB6A), Color::rgb(0x2E6B30), Color::rgb(0x2E6B30)},
                                 {0, 0.75, 1});
            c.drawRadialGradient(crown, {94, 47}, 0, {105, 35}, 31, {false, true});
            c.restoreGState();
        },
        // 16 shadows: offset up-right, blur, cut by a clip
        [](Context& c) {
            c.setShadow({6, 6}, 0, Color::black(0.5));
            c.setFillColor(Color::rgb(0xF39C12));
            c.fill(Rect(10, 80, 40, 40));
            c.setShadow({0, 0}, 12, Color::rgb(0x000000, 0.8));
            c.fillEllipse(Rect(80, 80, 40, 40));
            c.saveGState();
            c.clipToRect(Rect(10, 10, 120, 45));
            c.setShadow({0, -8}, 8, Color::black(0.7));
            c.setFillColor(Color::rgb(0x3498DB));
            c.fill(Rect(30, 25, 80, 25));
            c.restoreGState();
            c.setStrokeColor(Color::rgb(0xE74C3C));
            c.stroke(Rect(10, 10, 120, 45));
        },
        // 17 layer shadow (a fish shadow pose) and a glow on a stroke
        [](Context& c) {
            c.setShadow({0, 0}, 6, Color::rgb(0x00131F, 0.45));
            c.beginTransparencyLayer();
            c.setFillColor(Color::rgb(0x00131F, 0.4));
            c.fillEllipse(Rect(20, 80, 70, 30));
            Path tail;
            tail.moveTo({88, 95});
            tail.lineTo({120, 115});
            tail.lineTo({120, 75});
            tail.closeSubpath();
            c.fill(tail);
            c.endTransparencyLayer();
            c.setShadow({0, 0}, 5, Color::rgb(0xBFD8FF));
            c.setStrokeColor(Color::rgb(0x1F4E79));
            c.setLineWidth(4);
            c.setLineCap(LineCap::round);
            c.setLineJoin(LineJoin::round);
            Path zig;
            const Point pts[] = {{15, 20}, {45, 55}, {75, 20}, {105, 55}, {125, 30}};
            zig.addLines(pts);
            c.stroke(zig);
        },
        // 18 images: exact, stretched, with alpha, source-in into a disc
        [](Context& c) {
            std::vector<uint32_t> px(8 * 8);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    px[static_cast<size_t>(y * 8 + x)] = ((x + y) % 2) ? 0xFF2E86DEu : (y == 0 ? 0xFFE74C3Cu : 0xFFF1C40Fu);
            const ImageRef img = Image::fromARGB32(8, 8, std::move(px));
            c.draw(img, Rect(10, 100, 4, 4));
            c.draw(img, Rect(25, 75, 50, 50));
            c.setAlpha(0.5);
            c.draw(img, Rect(85, 75, 45, 50));
            c.setAlpha(1);
            c.beginTransparencyLayer();
            c.setFillColor(Color::black());
            c.fillEllipse(Rect(30, 10, 55, 55));
            c.setBlendMode(BlendMode::sourceIn);
            c.draw(img, Rect(20, 5, 80, 60));
            c.endTransparencyLayer();
        },
        // 19 transforms: rotated, scaled and sheared squares
        [](Context& c) {
            c.translateBy(70, 70);
            for (int i = 0; i < 12; ++i) {
                c.saveGState();
                c.rotateBy(i * std::numbers::pi / 6);
                c.translateBy(40, 0);
                c.scaleBy(1, 0.5);
                c.setFillColor(Color{i / 12.0, 0.3, 1 - i / 12.0, 0.9});
                c.fill(Rect(-10, -10, 20, 20));
                c.restoreGState();
            }
            c.concatenateCTM(Transform{1, 0, 0.5, 1, 0, 0});
            c.setFillColor(Color::rgb(0x2C3E50));
            c.fill(Rect(-10, -10, 20, 20));
        },
        // 20 ground shadow and canopy crown
        [](Context& c) {
            const double r = 30;
            const Gradient shade({Color::black(std::min(1.7 * 0.25, 1.0)), Color::black(0.9 * 0.25), Color::black(0)},
                                 {0, 0.45, 1});
            c.saveGState();
            c.translateBy(70 + 0.4 * r, 40 - 1);
            c.scaleBy(1, 0.3);
            c.drawRadialGradient(shade, {0, 0}, 0, {0, 0}, 1.15 * r);
            c.restoreGState();
            const Gradient crown({Color::rgb(0x8FD16F), Color::rgb(0x2F6B2A), Color::rgb(0x2F6B2A)}, {0, 0.75, 1});
            const Point lobes[] = {{58, 62}, {82, 60}, {70, 78}, {52, 80}, {88, 80}, {64, 72}};
            for (const Point& p : lobes) {
                const double rho = 17;
                c.saveGState();
                c.addEllipse(Rect(p.x - rho, p.y - rho, 2 * rho, 2 * rho));
                c.clip();
                c.drawRadialGradient(crown, {p.x - 0.4 * rho, p.y + 0.45 * rho}, 0, p, 1.15 * rho, {false, true});
                c.restoreGState();
            }
        },
        // 21 light pool under colour dodge on a dark scene
        [](Context& c) {
            c.setFillColor(Color::rgb(0x202830));
            c.fill(Rect(0, 0, kCell, kCell));
            c.setFillColor(Color::rgb(0x405060));
            c.fill(Rect(20, 20, 100, 30));
            c.saveGState();
            c.setBlendMode(BlendMode::colorDodge);
            const Gradient pool({Color::rgb(0xA07A50), Color::rgb(0xA07A50, 0.45), Color::rgb(0xA07A50, 0.14),
                                 Color::rgb(0xA07A50, 0)},
                                {0, 0.3, 0.6, 1});
            c.drawRadialGradient(pool, {70, 70}, 0, {70, 70}, 60);
            c.restoreGState();
        },
        // 22 dashed stroke with shadow, destination-out rim light in a layer
        [](Context& c) {
            c.setShadow({2, -2}, 2, Color::black(0.6));
            c.setLineWidth(3);
            const double d[] = {8, 5};
            c.setLineDash(3, d);
            c.setStrokeColor(Color::rgb(0xE67E22));
            c.strokeEllipse(Rect(15, 80, 110, 45));
            c.clearShadow();
            c.setFillColor(Color::rgb(0x443F3A));
            c.fillEllipse(Rect(35, 10, 60, 60));
            c.saveGState();
            Path head;
            head.addEllipse(Rect(35, 10, 60, 60));
            c.clip(head);
            c.setAlpha(0.8);
            c.beginTransparencyLayer();
            c.setFillColor(Color::rgb(0xFFE9B0));
            c.fill(head);
            c.setBlendMode(BlendMode::destinationOut);
            c.translateBy(4, -4);
            c.fill(head);
            c.endTransparencyLayer();
            c.restoreGState();
        },
        // 23 frame bitmaps drawn back into the sheet, and a cleared rect
        [](Context& c) {
            auto frame = Context::makeFrame(12, 16, kScale);
            if (frame) {
                const double tongues[5][6] = {{4.2, 2.2, -1.0, 9.0, 0xD9401A, 0.85}, {8.0, 2.2, 1.2, 10.5, 0xD9401A, 0.85},
                                             {6.0, 3.6, 0.4, 13.5, 0xF26A22, 0.9}, {6.0, 2.6, 0.2, 9.5, 0xFF9A30, 1.0},
                                             {6.0, 1.6, 0.0, 5.5, 0xFFD25A, 1.0}};
                for (const auto& t : tongues) {
                    const double x = t[0], w = t[1], lean = t[2], h = t[3];
                    Path p;
                    p.moveTo({x - w, 2});
                    p.quadCurveTo({x - 0.9 * w, 2 + 0.55 * h}, {x + lean, 2 + h});
                    p.quadCurveTo({x + 0.9 * w, 2 + 0.5 * h}, {x + w, 2});
                    p.quadCurveTo({x, 2 - 0.8 * w}, {x - w, 2});
                    frame->setFillColor(Color::rgb(static_cast<uint32_t>(t[4]), t[5]));
                    frame->fill(p);
                }
                frame->setFillColor(Color::rgb(0xFFF0C0));
                frame->fillEllipse(Rect(3.8, 1.2, 4.4, 2.4));
                const ImageRef flame = frame->makeImage();
                c.draw(flame, Rect(10, 60, 36, 48));
                c.draw(flame, Rect(60, 60, 12, 16));
                c.draw(flame, Rect(90, 60, 24, 64));
            }
            c.setFillColor(Color::rgb(0x95A5A6));
            c.fill(Rect(10, 10, 120, 40));
            c.clear(Rect(30, 20, 30, 20));
        },
    };
    return all;
}

}  // namespace

TEST(CgContactSheet, DrawsEveryCapability) {
    auto sheet = Context::makeFrame(kCell * kCols, kCell * kRows, kScale);
    ASSERT_TRUE(sheet);
    const auto& all = cells();
    ASSERT_EQ(all.size(), static_cast<size_t>(kCols * kRows));
    for (size_t i = 0; i < all.size(); ++i) {
        const int col = static_cast<int>(i) % kCols, row = static_cast<int>(i) / kCols;
        sheet->saveGState();
        sheet->translateBy(col * kCell, (kRows - 1 - row) * kCell);  // first row at the top
        sheet->clipToRect(Rect(1, 1, kCell - 2, kCell - 2));
        checker(*sheet);
        all[i](*sheet);
        sheet->restoreGState();
    }
    const ImageRef img = sheet->makeImage();
    const std::string path = (cgtest::outDir() / "cg-contact-sheet.png").string();
    ASSERT_TRUE(img->writePNG(path));
    const ImageRef back = Image::readPNG(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixelWidth(), 1680);
    EXPECT_EQ(back->pixelHeight(), 1120);

    // Source-in cell (row 1, column 2): the disc outside the square is still red, the checker
    // outside both is untouched, the square outside the disc is empty (checker shows through).
    auto px = [&](double x, double y) {  // point in that cell, y-up
        const double X = (2 * kCell + x) * kScale, Y = (2 * kCell + y) * kScale;
        return cgtest::up(*sheet, static_cast<int>(X), static_cast<int>(Y));
    };
    EXPECT_EQ(px(25, 65).r, 0xE7);
    EXPECT_EQ(px(120, 100).r, px(120, 100).g);  // grey checker
    EXPECT_EQ(px(70, 65).b, 0xDE);             // square inside the disc
}
