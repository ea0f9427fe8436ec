// A contact sheet of every marine creature and surface image, by day and by night, for looking at.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Art/ArtTestSupport.h"

namespace {

struct Row {
    std::string name;
    std::vector<cg::ImageRef> frames;
    std::vector<cg::ImageRef> shade;
    double w = 0, h = 0;  // canvas in points
};

// Draws the rows on water: each frame at `zoom` × its point size, the shadow frame (when there is one)
// first, offset down and to the right as a sprite layer would show it; then the bare shadow frames.
cg::ImageRef sheet(const std::vector<Row>& rows, bool night, double zoom) {
    const double width = 1700;
    double height = 20;
    for (const Row& r : rows) {
        const auto perLine = static_cast<std::size_t>((width - 10) / (r.w * zoom + 8));
        const std::size_t lines = (r.frames.size() + perLine - 1) / perLine;
        height += (r.h * zoom + 12) * static_cast<double>(lines * (r.shade.empty() ? 1 : 2));
    }
    auto c = cg::Context::makeBitmap(static_cast<int>(width), static_cast<int>(height), 1);
    c->setFillColor(cg::Color::rgb(night ? 0x0b2036 : 0x2f8fb0));
    c->fill(cg::Rect(0, 0, width, height));
    double y = height - 10;
    auto strip = [&](const std::vector<cg::ImageRef>& images, const std::vector<cg::ImageRef>* under, double w, double h) {
        double x = 10;
        y -= h * zoom + 12;
        for (std::size_t i = 0; i < images.size(); ++i) {
            if (x + w * zoom > width) {
                x = 10;
                y -= h * zoom + 12;
            }
            c->setStrokeColor(cg::Color::white(0.15));
            c->setLineWidth(1);
            c->stroke(cg::Rect(x, y, w * zoom, h * zoom));
            if (under && !under->empty())
                c->draw((*under)[i % under->size()], cg::Rect(x + 3 * zoom, y - 3 * zoom, w * zoom, h * zoom));
            c->draw(images[i], cg::Rect(x, y, w * zoom, h * zoom));
            x += w * zoom + 8;
        }
    };
    for (const Row& r : rows) {
        strip(r.frames, &r.shade, r.w, r.h);
        if (!r.shade.empty()) strip(r.shade, nullptr, r.w, r.h);
    }
    return c->makeImage();
}

}  // namespace

TEST(MarineSheet, EveryRowIsCompleteAndTheSheetIsWritten) {
    for (int pass = 0; pass < 4; ++pass) {
        const bool night = pass % 2 == 1;
        const bool large = pass >= 2;  // a closer look at every frame
        auto p = arttest::painter(400, 300, large ? 6 : 2, SceneKind::sea, night);
        Art& art = *p.art;
        std::vector<Row> rows;
        rows.push_back({"whale 30", art.poseRow(16, 41, 30.5, [&](Art& a, double ph) { a.whale(ph, 30, 41, 30.5); }), {}, 41, 30.5});
        rows.push_back({"whale 15", art.poseRow(16, 24.5, 19.25, [&](Art& a, double ph) { a.whale(ph, 15, 24.5, 19.25); }), {}, 24.5, 19.25});
        rows.push_back({"surfacing", art.poseRow(16, 32, 18, [&](Art& a, double ph) { a.surfacingDolphin(ph, 15, 32, 18); }), {}, 32, 18});
        rows.push_back({"dolphin", art.poseRow(12, 64, 30, [&](Art& a, double ph) { a.dolphin(ph, false); }),
                        night ? std::vector<cg::ImageRef>{}
                              : art.poseRow(12, 64, 30, [&](Art& a, double ph) { a.dolphin(ph, true); }),
                        64, 30});
        rows.push_back({"ray", art.poseRow(16, 60, 44, [&](Art& a, double ph) { a.eagleRay(ph, false, true); }),
                        art.poseRow(16, 60, 44, [&](Art& a, double ph) { a.eagleRay(ph, true, true); }), 60, 44});
        rows.push_back({"turtle", art.poseRow(12, 30, 24, [&](Art& a, double ph) { a.turtle(ph, false); }),
                        art.poseRow(12, 30, 24, [&](Art& a, double ph) { a.turtle(ph, true); }), 30, 24});
        rows.push_back({"jelly", art.poseRow(10, 20, 20, [&](Art& a, double ph) { a.jellyfish(ph); }), {}, 20, 20});
        rows.push_back({"whitecaps", art.whitecaps(night ? 0xA9C2E0 : 0xFFFFFF, night ? 0.55 : 1), {}, 20, 12});
        rows.push_back({"swash", art.swash(night ? 0xB9CDE0 : 0xFFFFFF), {}, 18, 8});
        rows.push_back({"sparkle", {art.sparkle(night ? 0xFFF4DA : 0xFFFFFF)}, {}, 12, 12});
        std::vector<cg::ImageRef> tufts;
        for (int i = 0; i < 8; ++i)
            tufts.push_back(art.offscreen(24, 24, [&] { art.seagrass({12 + 0.37 * i, 8 + 0.21 * i}); }));
        rows.push_back({"seagrass", tufts, {}, 24, 24});

        for (const Row& r : rows) {
            SCOPED_TRACE(r.name);
            for (const auto& f : r.frames) ASSERT_TRUE(f);
        }
        EXPECT_EQ(rows[0].frames.size(), 16u);
        EXPECT_EQ(rows[3].shade.size(), night ? 0u : 12u);
        EXPECT_EQ(rows[7].frames.size(), 4u);
        EXPECT_EQ(rows[8].frames.size(), 4u);

        const auto image = sheet(rows, night, large ? 6 : 3);
        ASSERT_TRUE(image);
        const std::string name = std::string("marine-") + (night ? "night" : "day") + (large ? "-large" : "") + ".png";
        EXPECT_TRUE(image->writePNG((cgtest::outDir() / name).string()));
        if (large) continue;

        // Shimmer patches on an ideal deep-water depth curve, side by side.
        auto patches = cg::Context::makeBitmap(3 * 340 + 40, 360, 1);
        const Art::ShimmerTint tint = night ? Art::ShimmerTint{120, 165, 235} : Art::ShimmerTint{200, 245, 255};
        for (int i = 0; i < 3; ++i) {
            const auto patch = art.shimmerPatch({100.0 + 173 * i, 120.0 + 31 * i}, night ? 0.34f : 0.26f, tint,
                                                [](float) { return 1.0f; });
            ASSERT_TRUE(patch);
            patches->draw(patch, cg::Rect(10 + 350 * i, 10, 340, 340));
        }
        EXPECT_TRUE(patches->makeImage()->writePNG(
            (cgtest::outDir() / (night ? "shimmer-night.png" : "shimmer-day.png")).string()));
    }
}
