// Paints one cell per compositor capability into a contact sheet (ca-contact-sheet.png in
// $VM_TEST_OUT) for people to look at, and checks a few of its pixels.

#include "AnimationTestSupport.h"

#include "Platform/Animation/Compositor.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace ca;
using catest::keyframes;
using catest::looping;

namespace {

constexpr double kCell = 160, kScale = 2;
constexpr int kCols = 4, kRows = 3;
using LayerRef = std::shared_ptr<Layer>;

cg::ImageRef picture(double w, double h, const std::function<void(cg::Context&)>& draw) {
    auto c = cg::Context::makeFrame(w, h, 4);  // 4 pixels per point, as the builders paint
    draw(*c);
    return c->makeImage();
}

cg::ImageRef boat() {
    return picture(40, 30, [](cg::Context& c) {
        c.setFillColor(cg::Color::rgb(0x7A4A2A));
        const cg::Point hull[] = {{2, 8}, {38, 8}, {32, 2}, {8, 2}}, sail[] = {{20, 9}, {20, 28}, {33, 10}};
        c.addLines(hull);
        c.fillPath();
        c.setFillColor(cg::Color::rgb(0xF4F1E8));
        c.addLines(sail);
        c.fillPath();
    });
}

cg::ImageRef glow(uint32_t rgb) {
    return picture(14, 14, [rgb](cg::Context& c) {
        cg::Gradient g({cg::Color::rgb(rgb, 1), cg::Color::rgb(rgb, 0.35), cg::Color::rgb(rgb, 0)}, {0, 0.25, 1});
        c.drawRadialGradient(g, {7, 7}, 0, {7, 7}, 7);
    });
}

template <class L = Layer, class F>
std::shared_ptr<L> add(const LayerRef& parent, cg::Rect frame, F&& setUp) {
    auto l = std::make_shared<L>();
    l->setFrame(frame);
    setUp(*l);
    parent->addSublayer(l);
    return l;
}

LayerRef picture(const LayerRef& parent, cg::ImageRef img, cg::Point at, double width) {
    return add(parent, cg::Rect(at.x - width / 2, at.y, width, width * img->pixelHeight() / img->pixelWidth()),
               [&](Layer& l) { l.setContents(img); });
}

void shadow(Layer& l, cg::Color c, double radius) {
    l.setShadowColor(c);
    l.setShadowOpacity(1);
    l.setShadowRadius(radius);
    l.setShadowOffset({0, 0});
}

// The sheet, to be shown at media time 1.
std::shared_ptr<Layer> sheet() {
    auto root = std::make_shared<Layer>();
    root->setFrame(cg::Rect(0, 0, kCols * kCell, kRows * kCell));
    std::vector<LayerRef> cells;
    const uint32_t grounds[] = {0x2E6A8E, 0x0B1630, 0x1D4F6B, 0x07101F, 0x3B2A1A, 0xE8E8E8,
                                0x203850, 0x4A4436, 0x101010, 0x000000, 0xF5F0E6, 0x334433};
    for (int i = 0; i < kCols * kRows; ++i)
        cells.push_back(add(root, cg::Rect(i % kCols * kCell + 4, (kRows - 1 - i / kCols) * kCell + 4, kCell - 8, kCell - 8),
                            [&](Layer& l) {
                                l.setBackgroundColor(cg::Color::rgb(grounds[i]));
                                l.setCornerRadius(6);
                            }));
    // 0: pictures turned by the model and stretched by an animated scale.x about their anchors.
    for (int i = 0; i < 3; ++i) {
        auto b = picture(cells[0], boat(), {30.0 + i * 45, 40.0 + i * 35}, 40);
        b->setAnchorPoint({0.5, 0.1});
        b->setAffineTransform(cg::Transform::rotation(-0.25 + 0.25 * i));
        b->add(looping(keyframes("transform.scale.x", {1.0, 0.6 + 0.3 * i}), 2, 0.5), "yaw");
    }
    // 1: rounded backgrounds (twinkling stars) and contents that the corners do not mask.
    for (int i = 0; i < 6; ++i)
        add(cells[1], cg::Rect(20.0 + i * 22, 30.0 + (i % 2) * 20, 4.0 + 2 * i, 4.0 + 2 * i), [&](Layer& s) {
            s.setCornerRadius(2.0 + i);
            s.setBackgroundColor(cg::Color::rgb(0xFFF4D6));
            s.add(looping(keyframes("opacity", {0.1, 1.0, 0.1}), 2.5, i / 6.0), "twinkle");
        });
    picture(cells[1], boat(), {76, 80}, 60)->setBackgroundColor(cg::Color::rgb(0x44AA66));
    cells[1]->sublayers().back()->setCornerRadius(14);
    // 2: ripple rings: shape layers with a glow taken from their content.
    for (int i = 0; i < 3; ++i) {
        const double r = 10 + 18 * i;
        for (int dark = 0; dark < 2; ++dark)
            add<ShapeLayer>(cells[2], cg::Rect(76, 76, 0, 0), [&](ShapeLayer& s) {
                cg::Path p;
                p.addEllipse(cg::Rect(-r, -r, 2 * r, 2 * r).insetBy(2.4 * dark, 2.4 * dark));
                s.setPath(p);
                s.setFillColor(std::nullopt);
                s.setStrokeColor(dark ? cg::Color::rgb(0x00182E, 0.3) : cg::Color::rgb(0x8AFBEA, 0.9));
                s.setLineWidth(dark ? 2.2 - 0.5 * i : 1.6 - 0.4 * i);
                if (!dark) shadow(s, {63 / 255.0, 239 / 255.0, 214 / 255.0, 1}, 3);
            });
    }
    // 3: axial gradient meteors on a path with auto-rotation, at six phases.
    cg::Path flight;
    flight.moveTo({10, 130});
    flight.quadCurveTo({60, 150}, {140, 20});
    for (int i = 0; i < 6; ++i)
        add<GradientLayer>(cells[3], cg::Rect(0, 0, 46, 1.6 + i * 0.5), [&](GradientLayer& m) {
            m.setColors({cg::Color::rgb(0xFFE9B0, 0), cg::Color::rgb(0xFFE9B0, 0.95)});
            m.setStartPoint({0, 0.5});
            m.setEndPoint({1, 0.5});
            m.setCornerRadius(0.8 + i * 0.25);
            m.setAnchorPoint({1, 0.5});
            KeyframeAnimation k("position");
            k.setPath(flight);
            k.rotationMode = RotationMode::autoRotate;
            m.add(looping(k, 6, 0.05 + i * 0.15), "meteor");
        });
    // 4: radial gradient layers (the trip spout) of three sizes.
    for (int i = 0; i < 3; ++i)
        add<GradientLayer>(cells[4], cg::Rect(15.0 + 30 * i, 30.0 + 27 * i, 30 + 25 * i, 20 + 15 * i), [](GradientLayer& g) {
            g.setType(GradientLayer::Type::radial);
            g.setColors({cg::Color::rgb(0xBFE6FF, 0.9), cg::Color::rgb(0x7FC4F0, 0.5), cg::Color::rgb(0x7FC4F0, 0)});
            g.setLocations({0, 0.4, 1});
            g.setStartPoint({0.5, 0.5});
            g.setEndPoint({1, 1});
        });
    // 5: group opacity (left) against two separate half-transparent layers (right).
    auto group = add(cells[5], cg::Rect(0, 0, 0, 0), [](Layer& g) { g.setOpacity(0.5); });
    const cg::Rect squares[] = {{10, 40, 50, 50}, {35, 65, 50, 50}, {80, 15, 45, 45}, {105, 40, 45, 45}};
    for (int i = 0; i < 4; ++i)
        add(i < 2 ? group : cells[5], squares[i], [&](Layer& s) {
            s.setBackgroundColor(cg::Color::rgb(i % 2 ? 0x3050D0 : 0xD03030));
            if (i >= 2) s.setOpacity(0.5);
        });
    // 6: colour dodge over a gradient ground: single glows (left), a dodged container (right).
    add<GradientLayer>(cells[6], cg::Rect(0, 0, kCell - 8, kCell - 8), [](GradientLayer& g) {
        g.setColors({cg::Color::rgb(0x102030), cg::Color::rgb(0x6A8098)});
    });
    for (int i = 0; i < 3; ++i)
        picture(cells[6], glow(0xFFB347), {30.0, 10.0 + 45 * i}, 40)->setCompositingFilter(CompositingFilter::colorDodge);
    auto dodged = add(cells[6], cg::Rect(0, 0, 0, 0), [](Layer& l) { l.setCompositingFilter(CompositingFilter::colorDodge); });
    for (int i = 0; i < 4; ++i) picture(dodged, glow(0x8AFBEA), {95.0 + 12 * i, 28.0 + 18 * i}, 44);
    // 7: shadows from shadowPath: a flash and debris puffs.
    for (int i = 0; i < 4; ++i) {
        const double r = 3.5 + 2.5 * i;
        add(cells[7], cg::Rect(30.0 + 32 * i - r, 40.0 + 25 * i - r, 2 * r, 2 * r), [&](Layer& d) {
            const cg::Color col = i == 0 ? cg::Color::rgb(0xFFE7A0) : cg::Color::rgb(0x6B5B45, 0.85);
            d.setCornerRadius(r);
            d.setBackgroundColor(col);
            shadow(d, col.withAlpha(1), i == 0 ? 3.2 : 2 * r / 3);
            cg::Path e;
            e.addEllipse(cg::Rect(0, 0, 2 * r, 2 * r).insetBy(-r / 2, -r / 2));
            d.setShadowPath(e);
        });
    }
    // 8: a contents transition half way, from a boat to a glow.
    auto faded = picture(cells[8], boat(), {76, 30}, 120);
    Transition fade;
    fade.duration = 2;
    faded->add(fade, "fade");
    faded->setContents(glow(0x66CCFF));
    // 9: minification: one checkered 56 px picture at 56, 28, 14, 7 and 3.5 points.
    auto checks = picture(14, 14, [](cg::Context& k) {
        for (int y = 0; y < 28; ++y)
            for (int x = 0; x < 28; ++x) {
                k.setFillColor((x + y) % 2 ? cg::Color::white() : cg::Color::rgb(0xFF6040));
                k.fill(cg::Rect(x * 0.5, y * 0.5, 0.5, 0.5));
            }
    });
    double x = 8;
    for (double side : {56.0, 28.0, 14.0, 7.0, 3.5}) {
        picture(cells[9], checks, {x + side / 2, 76 - side / 2}, side)->setMinificationFilter(ContentsFilter::trilinear);
        x += side + 6;
    }
    // 10: cubic (dots) and linear (squares) keyframes sampled a second apart.
    for (int i = 0; i < 40; ++i)
        for (int cubic = 0; cubic < 2; ++cubic)
            add(cells[10], cg::Rect(0, 0, 2.0 + 2 * cubic, 2.0 + 2 * cubic), [&](Layer& d) {
                d.setCornerRadius(cubic ? 2 : 0);
                d.setBackgroundColor(cg::Color::rgb(cubic ? 0x20406A : 0xC04040));
                KeyframeAnimation k = keyframes("position", {cg::Point{10, 20}, cg::Point{50, 130}, cg::Point{100, 40},
                                                             cg::Point{140, 120}});
                k.calculationMode = cubic ? CalculationMode::cubic : CalculationMode::linear;
                d.add(looping(k, 40, i / 40.0), "motion");
            });
    // 11: discrete contents at three phases (top), additive fades begun 0, 0.5 and 1 s ago (bottom).
    const cg::ImageRef frames[] = {glow(0xFF5050), glow(0x50FF50), glow(0x5050FF)};
    for (int i = 0; i < 3; ++i) {
        KeyframeAnimation k = keyframes("contents", {frames[0], frames[1], frames[2]});
        k.calculationMode = CalculationMode::discrete;
        picture(cells[11], frames[0], {30.0 + 45 * i, 92}, 36)->add(looping(k, 3, i / 3.0), "flash");
        BasicAnimation appear = catest::basic("opacity", -1.0, 0.0, 2);
        appear.isAdditive = true;
        appear.beginTime = 0.5 * i;
        picture(cells[11], glow(0xFFFFFF), {30.0 + 45 * i, 22}, 36)->add(appear, "appear");
    }
    root->commit(0);
    return root;
}

}  // namespace

TEST(ContactSheet, PaintsEveryCapability) {
    auto root = sheet();
    auto ctx = cg::Context::makeFrame(kCols * kCell, kRows * kCell, kScale);
    ASSERT_TRUE(ctx);
    Compositor().renderAll(*root, 1, *ctx);
    const char* env = std::getenv("VM_TEST_OUT");
    const auto dir = env && *env ? std::filesystem::path(env) : std::filesystem::temp_directory_path() / "vistamere-test-out";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(ctx->makeImage()->writePNG((dir / "ca-contact-sheet.png").string()));

    auto px = [&](double x, double y) {  // points, y up; premultiplied a, r, g, b
        const uint32_t v = ctx->pixel(int(x * kScale), ctx->pixelHeight() - 1 - int(y * kScale));
        return std::array<int, 4>{int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
    };
    // Cell 5: the group's overlap shows the top square alone at half strength; the separate
    // layers' overlap mixes both.
    const auto grouped = px(kCell + 4 + 45, kCell + 4 + 75), mixed = px(kCell + 4 + 115, kCell + 4 + 50);
    EXPECT_EQ(grouped[0], 255);
    EXPECT_GT(grouped[3], grouped[1]);
    EXPECT_GT(mixed[1], 90);
    // Cell 6: the dodged glow brightens the ground to near white.
    EXPECT_GT(px(2 * kCell + 4 + 30, kCell + 4 + 30)[1], 240);
}
