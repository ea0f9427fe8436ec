// Contact sheets of the island props and the ape's poses, written to $VM_TEST_OUT for looking at.

#include <gtest/gtest.h>

#include <cmath>

#include "IslandTestSupport.h"

namespace {

// Draws a sprite's image the way a layer would stand it: its anchor at `at`.
void place(cg::Context& g, const cg::ImageRef& img, cg::Point at, cg::Point anchor, double w, double h) {
    g.draw(img, {at.x - anchor.x * w, at.y - anchor.y * h, w, h});
}

cg::ImageRef propsPanel(bool night) {
    const double scale = 4;
    auto p = islandtest::painter(night, scale, 200, 90);
    cg::Context& g = *p.bitmap;
    g.setFillColor(cg::Color::rgb(night ? 0x2f3a4a : 0xd8c9a0));
    g.fill(cg::Rect(0, 0, 200, 90));
    Art& art = *p.art;
    art.hut({30, 30});
    art.palm({75, 25}, -0.35);
    art.palm({100, 40}, 0.0);
    art.palm({125, 25}, 0.45);
    art.lighthouse({170, 50});
    for (const Sprite& sp : art.sprites) {
        if (sp.kind == Sprite::Kind::sway && sp.image)
            place(g, sp.image, sp.at, sp.anchor, sp.size, sp.size * 36 / 34);
        if (sp.kind == Sprite::Kind::light && sp.image) {
            g.saveGState();
            g.setBlendMode(cg::BlendMode::colorDodge);
            place(g, sp.image, sp.at, sp.anchor, sp.size, sp.size);
            g.restoreGState();
        }
        if (sp.kind == Sprite::Kind::light && !sp.image) {
            g.setFillColor(cg::Color::rgb(sp.color));
            g.fillEllipse({sp.at.x - sp.size, sp.at.y - sp.size, 2 * sp.size, 2 * sp.size});
        }
    }
    return g.makeImage();
}

}  // namespace

TEST(IslandSheet, PropsByDayAndNightAndAllApePoses) {
    const auto dir = islandtest::outDir();
    // Props: day above night.
    const auto day = propsPanel(false), night = propsPanel(true);
    ASSERT_TRUE(day && night);
    auto sheet = cg::Context::makeBitmap(day->pixelWidth(), day->pixelHeight() * 2, 1);
    sheet->draw(day, {0, static_cast<double>(day->pixelHeight()), static_cast<double>(day->pixelWidth()),
                      static_cast<double>(day->pixelHeight())});
    sheet->draw(night, {0, 0, static_cast<double>(night->pixelWidth()), static_cast<double>(night->pixelHeight())});
    EXPECT_TRUE(sheet->makeImage()->writePNG((dir / "island-props.png").string()));

    // Poses: walk 20 + 20, rear 6 + 6, front 3, by day and by night.
    for (const bool dark : {false, true}) {
        const double scale = 3;
        auto p = islandtest::painter(dark, scale, 200, 100);
        p.art->kong({{50, 50}, {67.4, 50}});
        ASSERT_EQ(p.art->sprites.size(), 1u);
        const auto& f = p.art->sprites[0].frames;
        std::vector<cg::ImageRef> poses;
        for (int i = 0; i < 20; ++i) poses.push_back(f[i]);
        for (int i = 0; i < 20; ++i) poses.push_back(f[63 + i]);
        for (int i = 0; i < 6; ++i) poses.push_back(f[20 + i]);
        for (int i = 0; i < 6; ++i) poses.push_back(f[83 + i]);
        for (int i = 0; i < 3; ++i) poses.push_back(f[26 + i]);
        const int tw = poses[0]->pixelWidth(), th = poses[0]->pixelHeight();
        const int cols = 10, rows = 6;
        auto grid = cg::Context::makeBitmap(cols * tw, rows * th, 1);
        grid->setFillColor(cg::Color::rgb(dark ? 0x3a4658 : 0xc9d6a2));
        grid->fill(cg::Rect(0, 0, cols * tw, rows * th));
        for (std::size_t k = 0; k < poses.size(); ++k) {
            const int c = static_cast<int>(k % cols), r = static_cast<int>(k / cols);
            grid->draw(poses[k], {static_cast<double>(c * tw), static_cast<double>((rows - 1 - r) * th),
                                  static_cast<double>(tw), static_cast<double>(th)});
        }
        EXPECT_TRUE(grid->makeImage()->writePNG((dir / (dark ? "ape-poses-night.png" : "ape-poses.png")).string()));
    }
}
