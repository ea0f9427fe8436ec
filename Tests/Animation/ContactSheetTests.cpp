// Paints one cell per compositor capability into a contact sheet (ca-contact-sheet.png in
// $VM_TEST_OUT) for people to look at, and checks a few of its pixels.

#include "AnimationTestSupport.h"

#include "Platform/Animation/Compositor.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

using namespace ca;
using catest::keyframes;
using catest::looping;

namespace {

constexpr double kCell = 160;
constexpr int kCols = 4;
constexpr int kRows = 3;
constexpr double kScale = 2;
constexpr double kPi = std::numbers::pi;

std::filesystem::path outDir() {
    const char* env = std::getenv("VM_TEST_OUT");
    std::filesystem::path dir = env && *env ? std::filesystem::path(env)
                                            : std::filesystem::temp_directory_path() / "vistamere-test-out";
    std::filesystem::create_directories(dir);
    return dir;
}

// A picture drawn with cg at 4 pixels per point.
cg::ImageRef picture(double w, double h, const std::function<void(cg::Context&)>& draw) {
    auto c = cg::Context::makeFrame(w, h, 4);
    draw(*c);
    return c->makeImage();
}

cg::ImageRef boat() {
    return picture(40, 30, [](cg::Context& c) {
        c.setFillColor(cg::Color::rgb(0x7A4A2A));
        c.beginPath();
        c.moveTo({2, 8});
        c.lineTo({38, 8});
        c.lineTo({32, 2});
        c.lineTo({8, 2});
        c.closePath();
        c.fillPath();
        c.setFillColor(cg::Color::rgb(0xF4F1E8));
        c.beginPath();
        c.moveTo({20, 9});
        c.lineTo({20, 28});
        c.lineTo({33, 10});
        c.closePath();
        c.fillPath();
    });
}

cg::ImageRef glow(uint32_t rgb) {
    return picture(14, 14, [rgb](cg::Context& c) {
        cg::Gradient g({cg::Color::rgb(rgb, 1), cg::Color::rgb(rgb, 0.35), cg::Color::rgb(rgb, 0)}, {0, 0.25, 1});
        c.drawRadialGradient(g, {7, 7}, 0, {7, 7}, 7);
    });
}

std::shared_ptr<Layer> cell(Layer& root, int index, uint32_t ground) {
    auto c = std::make_shared<Layer>();
    const int col = index % kCols, row = kRows - 1 - index / kCols;
    c->setFrame(cg::Rect(col * kCell + 4, row * kCell + 4, kCell - 8, kCell - 8));
    c->setBackgroundColor(cg::Color::rgb(ground));
    c->setCornerRadius(6);
    root.addSublayer(c);
    return c;
}

std::shared_ptr<Layer> imageLayer(cg::ImageRef img, cg::Point at, double width) {
    auto l = std::make_shared<Layer>();
    l->setBounds(cg::Rect(0, 0, width, width * img->pixelHeight() / img->pixelWidth()));
    l->setContents(std::move(img));
    l->setPosition(at);
    return l;
}

std::shared_ptr<ShapeLayer> ring(cg::Point at, double r, cg::Color stroke, double width) {
    auto s = std::make_shared<ShapeLayer>();
    cg::Path p;
    p.addEllipse(cg::Rect(-r, -r, 2 * r, 2 * r));
    s->setPath(p);
    s->setPosition(at);
    s->setFillColor(std::nullopt);
    s->setStrokeColor(stroke);
    s->setLineWidth(width);
    return s;
}

// The whole sheet at media time 1.
std::unique_ptr<Layer> sheet() {
    auto root = std::make_unique<Layer>();
    root->setFrame(cg::Rect(0, 0, kCols * kCell, kRows * kCell));

    // 0: image layers under rotation and animated scale about their anchors.
    {
        auto c = cell(*root, 0, 0x2E6A8E);
        for (int i = 0; i < 3; ++i) {
            auto b = imageLayer(boat(), {30.0 + i * 45, 40.0 + i * 35}, 40);
            b->setAnchorPoint({0.5, 0.1});
            b->setAffineTransform(cg::Transform::rotation(-0.25 + 0.25 * i));
            b->add(looping(keyframes("transform.scale.x", {1.0, 0.6 + 0.3 * i}), 2, 0.5), "yaw");
            c->addSublayer(b);
        }
    }
    // 1: rounded backgrounds (twinkling stars) and unmasked contents.
    {
        auto c = cell(*root, 1, 0x0B1630);
        for (int i = 0; i < 6; ++i) {
            auto s = std::make_shared<Layer>();
            const double r = 2 + i;
            s->setBounds(cg::Rect(0, 0, 2 * r, 2 * r));
            s->setCornerRadius(r);
            s->setBackgroundColor(cg::Color::rgb(0xFFF4D6));
            s->setPosition({20.0 + i * 22, 30.0 + (i % 2) * 20});
            s->add(looping(keyframes("opacity", {0.1, 1.0, 0.1}), 2.5, i / 6.0), "twinkle");
            c->addSublayer(s);
        }
        auto framed = imageLayer(boat(), {76, 110}, 60);
        framed->setBackgroundColor(cg::Color::rgb(0x44AA66));
        framed->setCornerRadius(14);
        c->addSublayer(framed);
    }
    // 2: ripple rings (shape layers, animated path and line width) with a glow from content.
    {
        auto c = cell(*root, 2, 0x1D4F6B);
        for (int i = 0; i < 3; ++i) {
            auto bright = ring({76, 76}, 10 + 18 * i, cg::Color::rgb(0x8AFBEA, 0.9), 1.6 - 0.4 * i);
            bright->setShadowColor({63 / 255.0, 239 / 255.0, 214 / 255.0, 1});
            bright->setShadowOpacity(1);
            bright->setShadowRadius(3);
            bright->setShadowOffset({0, 0});
            c->addSublayer(bright);
            c->addSublayer(ring({76, 76}, 10 + 18 * i - 2.4, cg::Color::rgb(0x00182E, 0.3), 2.2 - 0.5 * i));
        }
    }
    // 3: axial gradient meteors along a path with auto-rotation, at several phases.
    {
        auto c = cell(*root, 3, 0x07101F);
        cg::Path flight;
        flight.moveTo({10, 130});
        flight.quadCurveTo({60, 150}, {140, 20});
        for (int i = 0; i < 6; ++i) {
            auto m = std::make_shared<GradientLayer>();
            m->setColors({cg::Color::rgb(0xFFE9B0, 0), cg::Color::rgb(0xFFE9B0, 0.95)});
            m->setStartPoint({0, 0.5});
            m->setEndPoint({1, 0.5});
            m->setBounds(cg::Rect(0, 0, 46, 1.6 + i * 0.5));
            m->setCornerRadius(0.8 + i * 0.25);
            m->setAnchorPoint({1, 0.5});
            KeyframeAnimation k("position");
            k.setPath(flight);
            k.rotationMode = RotationMode::autoRotate;
            m->add(looping(k, 6, 0.05 + i * 0.15), "meteor");
            c->addSublayer(m);
        }
    }
    // 4: radial gradient layers (trip spout) at several sizes.
    {
        auto c = cell(*root, 4, 0x3B2A1A);
        for (int i = 0; i < 3; ++i) {
            auto g = std::make_shared<GradientLayer>();
            g->setType(GradientLayer::Type::radial);
            g->setColors({cg::Color::rgb(0xBFE6FF, 0.9), cg::Color::rgb(0x7FC4F0, 0.5), cg::Color::rgb(0x7FC4F0, 0)});
            g->setLocations({0, 0.4, 1});
            g->setStartPoint({0.5, 0.5});
            g->setEndPoint({1, 1});
            g->setBounds(cg::Rect(0, 0, 30 + 25 * i, 20 + 15 * i));
            g->setPosition({30.0 + 45 * i, 40.0 + 35 * i});
            c->addSublayer(g);
        }
    }
    // 5: group opacity (left) against two separate half-transparent layers (right).
    {
        auto c = cell(*root, 5, 0xE8E8E8);
        auto group = std::make_shared<Layer>();
        group->setOpacity(0.5);
        auto a = std::make_shared<Layer>();
        a->setFrame(cg::Rect(10, 40, 50, 50));
        a->setBackgroundColor(cg::Color::rgb(0xD03030));
        auto b = std::make_shared<Layer>();
        b->setFrame(cg::Rect(35, 65, 50, 50));
        b->setBackgroundColor(cg::Color::rgb(0x3050D0));
        group->addSublayer(a);
        group->addSublayer(b);
        c->addSublayer(group);
        for (int i = 0; i < 2; ++i) {
            auto s = std::make_shared<Layer>();
            s->setFrame(cg::Rect(80 + 25 * i, 15 + 25 * i, 45, 45));
            s->setBackgroundColor(cg::Color::rgb(i ? 0x3050D0 : 0xD03030));
            s->setOpacity(0.5);
            c->addSublayer(s);
        }
    }
    // 6: colour dodge: glows (left a single layer each, right a dodged container) over a ground.
    {
        auto c = cell(*root, 6, 0x203850);
        auto ground = std::make_shared<GradientLayer>();
        ground->setColors({cg::Color::rgb(0x102030), cg::Color::rgb(0x6A8098)});
        ground->setFrame(cg::Rect(0, 0, kCell - 8, kCell - 8));
        c->addSublayer(ground);
        for (int i = 0; i < 3; ++i) {
            auto g = imageLayer(glow(0xFFB347), {30.0, 30.0 + 45 * i}, 40);
            g->setCompositingFilter(CompositingFilter::colorDodge);
            c->addSublayer(g);
        }
        auto container = std::make_shared<Layer>();
        container->setCompositingFilter(CompositingFilter::colorDodge);
        for (int i = 0; i < 4; ++i) container->addSublayer(imageLayer(glow(0x8AFBEA), {95.0 + 12 * i, 50.0 + 18 * i}, 44));
        c->addSublayer(container);
    }
    // 7: shadows from shadowPath (flash and debris) with their backgrounds.
    {
        auto c = cell(*root, 7, 0x4A4436);
        for (int i = 0; i < 4; ++i) {
            const double r = 3.5 + 2.5 * i;
            auto d = std::make_shared<Layer>();
            d->setBounds(cg::Rect(0, 0, 2 * r, 2 * r));
            d->setCornerRadius(r);
            d->setPosition({30.0 + 32 * i, 40.0 + 25 * i});
            const cg::Color col = i == 0 ? cg::Color::rgb(0xFFE7A0) : cg::Color::rgb(0x6B5B45, 0.85);
            d->setBackgroundColor(col);
            d->setShadowColor(col.withAlpha(1));
            d->setShadowOpacity(1);
            d->setShadowRadius(i == 0 ? 3.2 : 2 * r / 3);
            d->setShadowOffset({0, 0});
            cg::Path e;
            e.addEllipse(cg::Rect(0, 0, 2 * r, 2 * r).insetBy(-r / 2, -r / 2));
            d->setShadowPath(e);
            c->addSublayer(d);
        }
    }
    // 8: a ground transition half way (boats fading into glows).
    {
        auto c = cell(*root, 8, 0x101010);
        auto g = imageLayer(boat(), {76, 76}, 120);
        Transition fade;
        fade.duration = 2;
        g->add(fade, "fade");
        g->setContents(glow(0x66CCFF));
        c->addSublayer(g);
    }
    // 9: minification: one 56 px checkered glow at 56, 28, 14 and 7 points, trilinear.
    {
        auto c = cell(*root, 9, 0x000000);
        auto img = picture(14, 14, [](cg::Context& k) {
            for (int y = 0; y < 28; ++y)
                for (int x = 0; x < 28; ++x) {
                    k.setFillColor((x + y) % 2 ? cg::Color::white() : cg::Color::rgb(0xFF6040));
                    k.fill(cg::Rect(x * 0.5, y * 0.5, 0.5, 0.5));
                }
        });
        double x = 8;
        for (double side : {56.0, 28.0, 14.0, 7.0, 3.5}) {
            auto s = imageLayer(img, {x + side / 2, 76}, side);
            s->setMinificationFilter(ContentsFilter::trilinear);
            c->addSublayer(s);
            x += side + 6;
        }
    }
    // 10: cubic keyframes, sampled as a trail of dots at different time offsets.
    {
        auto c = cell(*root, 10, 0xF5F0E6);
        for (int i = 0; i < 40; ++i) {
            auto d = std::make_shared<Layer>();
            d->setBounds(cg::Rect(0, 0, 4, 4));
            d->setCornerRadius(2);
            d->setBackgroundColor(cg::Color::rgb(0x20406A));
            KeyframeAnimation k = keyframes("position", {cg::Point{10, 20}, cg::Point{50, 130}, cg::Point{100, 40},
                                                         cg::Point{140, 120}});
            k.calculationMode = CalculationMode::cubic;
            d->add(looping(k, 40, i / 40.0), "motion");  // each dot one second further
            c->addSublayer(d);
            auto lin = std::make_shared<Layer>();
            lin->setBounds(cg::Rect(0, 0, 2, 2));
            lin->setBackgroundColor(cg::Color::rgb(0xC04040));
            KeyframeAnimation l = k;
            l.calculationMode = CalculationMode::linear;
            lin->add(looping(l, 40, i / 40.0), "motion");
            c->addSublayer(lin);
        }
    }
    // 11: discrete contents (a frame cycle) and an additive fade on top of a keyframed one.
    {
        auto c = cell(*root, 11, 0x334433);
        const cg::ImageRef frames[] = {glow(0xFF5050), glow(0x50FF50), glow(0x5050FF)};
        for (int i = 0; i < 3; ++i) {
            auto l = imageLayer(frames[0], {30.0 + 45 * i, 110}, 36);
            KeyframeAnimation k = keyframes("contents", {frames[0], frames[1], frames[2]});
            k.calculationMode = CalculationMode::discrete;
            l->add(looping(k, 3, i / 3.0), "flash");
            c->addSublayer(l);
        }
        for (int i = 0; i < 3; ++i) {
            auto l = imageLayer(glow(0xFFFFFF), {30.0 + 45 * i, 40}, 36);
            BasicAnimation appear = catest::basic("opacity", -1.0, 0.0, 2);
            appear.isAdditive = true;
            appear.fillMode = FillMode::forwards;
            appear.beginTime = 0.5 * i;
            l->add(appear, "appear");
            c->addSublayer(l);
        }
    }
    root->commit(0);
    return root;
}

}  // namespace

TEST(ContactSheet, PaintsEveryCapability) {
    auto root = sheet();
    auto ctx = cg::Context::makeFrame(kCols * kCell, kRows * kCell, kScale);
    ASSERT_TRUE(ctx);
    Compositor comp;
    comp.renderAll(*root, 1, *ctx);
    const auto path = outDir() / "ca-contact-sheet.png";
    ASSERT_TRUE(ctx->makeImage()->writePNG(path.string()));

    auto px = [&](double x, double y) {  // points, y up
        const uint32_t v = ctx->pixel(int(x * kScale), ctx->pixelHeight() - 1 - int(y * kScale));
        return std::array<int, 4>{int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
    };
    // Cell 5: the group's overlap is one colour at half strength over the light ground; the
    // separate layers' overlap mixes both.
    const auto grouped = px(kCell + 4 + 45, kCell + 4 + 75);
    const auto mixed = px(kCell + 4 + 110, kCell + 4 + 45);
    EXPECT_EQ(grouped[0], 255);
    EXPECT_GT(grouped[3], grouped[1]);  // blue over red, not a blend of both
    EXPECT_GT(mixed[1], 90);            // red shows through the blue
    // Cell 6: the dodged glow brightens the ground to near white.
    const auto dodged = px(2 * kCell + 4 + 30, kCell + 4 + 30);
    EXPECT_GT(dodged[1], 240);
}
