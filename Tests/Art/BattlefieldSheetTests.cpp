// Contact sheets of the battlefield, written to $VM_TEST_OUT for looking at: the routed tracks (red),
// patrol paths (blue) and trench lines of a warzone before and after one icon moves, a night with its
// lights, and every prop by day and by night.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "Art/Winter.h"
#include "BattlefieldTestSupport.h"
#include "Platform/Graphics/StateGuard.h"
#include "SelfTest/Preview.h"
#include "Pipeline/Render.h"
#include "SelfTest/SelfTest.h"

namespace {

// The render with its routed paths drawn over it.
cg::ImageRef routes(const SceneSpec& s, const RenderedScene& scene) {
    const cg::ImageRef shown = SelfTest::withIcons(scene.image, s, scene.sprites);
    auto g = cg::Context::makeBitmap(shown->pixelWidth(), shown->pixelHeight(), s.scale);
    g->draw(shown, {0, 0, s.size.width, s.size.height});
    for (const auto& [key, points] : scene.placed) {
        const bool track = key.find("-9000003-way") != std::string::npos;
        const bool patrol = key.find("-15000003-way") != std::string::npos;
        if (!track && !patrol) continue;
        g->setStrokeColor(cg::Color::rgb(track ? 0xE0302A : 0x2A70E0, 0.9));
        g->setLineWidth(3);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const cg::Point q{points[i].x, s.size.height - points[i].y};
            if (i == 0) g->moveTo(q);
            else g->lineTo(q);
        }
        g->strokePath();
    }
    return g->makeImage();
}

// A night with every sprite picture laid on where it starts, the horizon flashes and the searchlight
// beams included, as the windows would show them at one moment.
cg::ImageRef lit(const SceneSpec& s, const RenderedScene& scene) {
    auto g = cg::Context::makeBitmap(scene.image->pixelWidth(), scene.image->pixelHeight(), s.scale);
    g->draw(scene.image, {0, 0, s.size.width, s.size.height});
    for (const Sprite& sp : scene.sprites) {
        const cg::ImageRef& picture = sp.image ? sp.image : (sp.frames.empty() ? sp.image : sp.frames.front());
        if (!picture || sp.kind == Sprite::Kind::cloud) continue;
        cg::SavedState guard(*g);
        if (sp.glow) g->setBlendMode(cg::BlendMode::colorDodge);
        g->translateBy(sp.at.x, sp.at.y);
        g->rotateBy(sp.angle);
        const double w = sp.size, h = w * picture->pixelHeight() / picture->pixelWidth();
        g->draw(picture, {-w * sp.anchor.x, -h * sp.anchor.y, w, h});
    }
    return g->makeImage();
}

// Every prop and vehicle on bare ground, with the lights and flames of their sprites laid on top.
cg::ImageRef props(bool night) {
    auto p = wartest::synthetic(wartest::spec(300, 130, night, 3), [](double, double) { return 0.1f; });
    cg::Context& g = *p.bitmap;
    g.setFillColor(cg::Color::rgb(night ? 0x3F3C36 : 0x9E8C68));
    g.fill(cg::Rect(0, 0, 300, 130));
    Art::Battlefield f = p.field();
    f.barrage({60, 55}, [](cg::Point) { return true; });
    f.treads({{-40, 120}, {100, 112}, {200, 124}, {340, 110}});
    for (double x = 140; x < 160; x += 6) f.weeds({x, 112});
    f.crater({170, 112}, 6, false);
    f.crater({190, 112}, 5, true);
    f.wire({140, 85}, 90, 0.2);
    f.hedgehog({250, 110});
    g.setFillColor(cg::Color::rgb(0x3E3226));
    g.fill(Art::Battlefield::stump({270, 108}, 2.5, 9));
    f.tent({150, 40});
    f.crate({185, 40});
    f.soldier({205, 45}, 0.6);
    const double pi = std::numbers::pi;
    f.nest({225, 25}, 0);
    f.nest({255, 25}, pi / 2);
    f.nest({285, 25}, pi);
    f.wreck({130, 10}, Art::Winter(*p.art).puff(0x5A5650, 0.9));
    for (const Sprite& sp : p.art->sprites) {
        if (sp.kind != Sprite::Kind::light || !sp.image) continue;
        cg::SavedState guard(g);
        if (sp.glow) g.setBlendMode(cg::BlendMode::colorDodge);
        const double w = sp.size, h = sp.size * sp.image->pixelHeight() / sp.image->pixelWidth();
        g.draw(sp.image, {sp.at.x - sp.anchor.x * w, sp.at.y - sp.anchor.y * h, w, h});
    }
    // The vehicle and aircraft pictures along the right edge.
    auto picture = [&](double w, double h, const std::function<void(Art::Battlefield&)>& paint) {
        return p.art->offscreen(w, h, [&] { paint(f); });
    };
    g.draw(picture(28, 16, [](Art::Battlefield& b) { b.battleTank(); }), {200, 60, 28, 16});
    g.draw(picture(48, 48, [](Art::Battlefield& b) { b.helicopter(0.3, true, false); }), {230, 55, 48, 48});
    g.draw(picture(48, 48, [](Art::Battlefield& b) { b.helicopter(0.3, false, true); }), {250, 55, 48, 48});
    g.draw(picture(22, 18, [](Art::Battlefield& b) {
               b.plane(1, -3.5, 0x000000, 0.18);
               b.plane(0, 4, 0x9AA2AA, 1);
           }),
           {200, 85, 22, 18});
    return g.makeImage();
}

// Pictures stacked top to bottom, each at its own size.
cg::ImageRef stack(const std::vector<cg::ImageRef>& rows) {
    int w = 0, h = 0;
    for (const auto& r : rows) {
        w = std::max(w, r->pixelWidth());
        h += r->pixelHeight();
    }
    auto sheet = cg::Context::makeBitmap(w, h, 1);
    int top = h;
    for (const auto& r : rows) {
        top -= r->pixelHeight();
        sheet->draw(r, {0, static_cast<double>(top), static_cast<double>(r->pixelWidth()), static_cast<double>(r->pixelHeight())});
    }
    return sheet->makeImage();
}

}  // namespace

TEST(BattlefieldSheet, RoutesBeforeAndAfterAnIconMovesAndEveryPropByDayAndNight) {
    SceneSpec a = SelfTest::sampleDesktop(SceneKind::warzone, false);
    a.scale = 0.5;
    SceneSpec b = a;
    b.icons.back() = {720, 760};
    const auto first = Renderer::render(a, {});
    ASSERT_TRUE(first);
    const auto second = Renderer::render(b, first->placed);
    ASSERT_TRUE(second);
    SceneSpec dark = a;
    dark.night = true;
    const auto night = Renderer::render(dark, {});
    ASSERT_TRUE(night);
    const cg::ImageRef sheet =
        stack({routes(a, *first), routes(b, *second), lit(dark, *night), props(false), props(true)});
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->writePNG((cgtest::outDir() / "battlefield.png").string()));
}
