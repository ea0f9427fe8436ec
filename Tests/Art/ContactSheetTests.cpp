// Renders the shared props and every fish kind, by day and by night, into one picture to look at:
// $VM_TEST_OUT/art-contact-sheet.png.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ArtTestSupport.h"

namespace {

constexpr double sheetW = 760, halfH = 440, sheetScale = 3;

// A koi build and a plain body to show the patterns the scene kinds do not use.
Art::Fish koi(int64_t marks) { return {30, 4.6, 0xE2D2BE, 0xF6F0E8, 0xEADCCB, marks, false, true, 0.1, 0.8}; }
Art::Fish plain(int64_t marks) { return {36, 4.8, 0x5E6A72, 0xDCE2E2, 0xAAB8C0, marks, false, false, 0.09, 0.8}; }

void fillRect(cg::Context& c, const cg::Rect& r, uint32_t color) {
    c.setFillColor(cg::Color::rgb(color));
    c.fill(r);
}

// Draws one half of the sheet (y from 0 to halfH) with the painter's own time of day.
void drawHalf(Art& art) {
    cg::Context& c = *art.ctx;
    const bool night = art.s.night;

    // Ground: shadows and crowns, a fire, craters.
    fillRect(c, {0, halfH - 150, sheetW, 150}, night ? 0x3A3946 : 0xD9C49C);
    const double crowns[][2] = {{7, 0}, {12, 0.1}, {18, 0.5}, {24, 0.9}, {18, 0.5}};
    double x = 30;
    for (const auto& [r, k] : crowns) {
        const cg::Point foot{x, halfH - 120};
        art.groundShadow(foot, r, 0.35);
        art.canopy({foot.x, foot.y + 0.6 * r}, r, night ? 0x18301C : 0x2F5A2A, night ? 0x3C6440 : 0x8CC06A, k);
        x += 2 * r + 26;
    }
    const std::size_t before = art.sprites.size();
    const cg::Point campfire{x + 20, halfH - 115};
    art.fire(campfire);
    // Show the fire's flame and light pool the way the windows would, pool by colour dodge.
    const Sprite& flame = art.sprites[before];
    const Sprite& pool = art.sprites[before + 1];
    if (pool.image) {
        c.saveGState();
        c.setBlendMode(cg::BlendMode::colorDodge);
        c.draw(pool.image, {pool.at.x - 34, pool.at.y - 34, 68, 68});
        c.restoreGState();
    }
    if (flame.image) c.draw(flame.image, {flame.at.x - 6, flame.at.y - 0.12 * 16, 12, 16});

    fillRect(c, {x + 70, halfH - 150, sheetW - x - 70, 150}, night ? 0x4A4A52 : 0xA8A49C);
    double cx = x + 90;
    for (double r : {3.0, 4.5, 8.0, 14.0, 22.0}) {
        art.impact({cx, halfH - 90}, r, night ? 0x6A6870 : 0xC8C4BC, night ? 0x4E4C54 : 0x9A958C,
                   night ? 0x26252C : 0x5E5A54);
        cx += 2.3 * r + 22;
    }

    // Water with every fish kind in three poses, each over its shadow.
    fillRect(c, {0, 0, sheetW, halfH - 150}, night ? 0x0B2A40 : 0x2D7F9E);
    std::vector<Art::Fish> fish = {Art::FishKind::seaShark, Art::FishKind::reefShark, Art::FishKind::grouper,
                                   Art::FishKind::tuna,     Art::FishKind::smallFish, Art::FishKind::schoolFish};
    for (int m = 1; m <= 4; ++m) fish.push_back(plain(m));
    for (int m = 5; m <= 8; ++m) fish.push_back(koi(m));
    fish.push_back(koi(0));

    double px = 10, py = halfH - 160, rowH = 0;
    for (const Art::Fish& f : fish) {
        const auto frames = art.fishFrames(f, 10);
        const cg::Size canvas = Art::fishCanvas(f);
        const double w = canvas.width, h = canvas.height;
        const double need = 3 * (w + 4);
        if (px + need > sheetW) {
            px = 10;
            py -= rowH + 4;
            rowH = 0;
        }
        for (std::size_t j : {0u, 3u, 6u}) {
            if (j < frames.shade.size()) c.draw(frames.shade[j], {px + 0.12 * h, py - h - 0.18 * h, w, h});
            if (j < frames.frames.size()) c.draw(frames.frames[j], {px, py - h, w, h});
            px += w + 4;
        }
        px += 8;
        rowH = std::max(rowH, h);
    }
}

}  // namespace

TEST(ContactSheet, PropsAndFishByDayAndNight) {
    auto day = arttest::painter(sheetW, 2 * halfH, sheetScale, SceneKind::sea, false);
    auto night = arttest::painter(sheetW, 2 * halfH, sheetScale, SceneKind::sea, true);
    // Day in the top half, night below.
    day.bitmap->saveGState();
    day.bitmap->translateBy(0, halfH);
    drawHalf(*day.art);
    day.bitmap->restoreGState();
    drawHalf(*night.art);

    cg::ImageRef nightImage = night.bitmap->makeImage();
    ASSERT_TRUE(nightImage);
    day.bitmap->saveGState();
    day.bitmap->clipToRect({0, 0, sheetW, halfH});
    day.bitmap->draw(nightImage, {0, 0, sheetW, 2 * halfH});
    day.bitmap->restoreGState();

    const auto path = cgtest::outDir() / "art-contact-sheet.png";
    ASSERT_TRUE(day.bitmap->makeImage()->writePNG(path.string()));
    // Both halves received fish and props: no transparent pixel is left anywhere.
    for (int y = 0; y < day.bitmap->pixelHeight(); y += 7)
        for (int x = 0; x < day.bitmap->pixelWidth(); x += 7) ASSERT_EQ(day.bitmap->pixel(x, y) >> 24, 255u);
}
