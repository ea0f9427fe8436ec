// The folder icon of every scene: its size, its clear surroundings, its shading and its symbol, and a
// contact sheet of all ten at full size and at 64 pixels ($VM_TEST_OUT/folder-icons*.png).

#include <gtest/gtest.h>

#include "FolderIcons/FolderIcons.h"
#include "Platform/Graphics/Context.h"

#include <cstdlib>
#include <filesystem>

namespace {

struct Rgba {
    int r, g, b, a;
};

// Straight colour of the pixel at point (x, y) of the 256-point icon, y up.
Rgba at(const cg::Image& img, double x, double y) {
    const uint32_t p = img.pixel(static_cast<int>(x * 2), 511 - static_cast<int>(y * 2));
    const int a = static_cast<int>(p >> 24);
    auto channel = [&](int shift) { return a ? static_cast<int>(((p >> shift) & 0xFF) * 255 / a) : 0; };
    return {channel(16), channel(8), channel(0), a};
}

int level(double v) { return static_cast<int>(v * 255 + 0.5); }

std::filesystem::path outDir() {
    const char* env = std::getenv("VM_TEST_OUT");
    const std::filesystem::path dir = env && *env ? env : std::filesystem::temp_directory_path() / "vistamere-test-out";
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(FolderArt, EverySceneIsAFolderInItsColourWithItsSymbolAndNothingAround) {
    std::vector<cg::ImageRef> icons;
    for (const SceneKind kind : scene_kind::allCases) {
        SCOPED_TRACE(std::string(scene_kind::rawValue(kind)));
        const cg::ImageRef icon = FolderIcons::art(kind);
        ASSERT_TRUE(icon);
        ASSERT_EQ(icon->pixelWidth(), 512);
        ASSERT_EQ(icon->pixelHeight(), 512);
        // Beyond the back, its tab and their shadows nothing is drawn.
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) {
                if (x < 16 || x >= 496 || y < 40 || y >= 470) {
                    ASSERT_EQ(icon->pixel(x, y), 0u) << x << "," << y;
                }
            }

        const uint32_t c = FolderIcons::theme(kind).color;
        // The front is lit from the top: lighter near its upper edge than near its foot.
        const Rgba top = at(*icon, 30, 176), foot = at(*icon, 30, 52);
        EXPECT_GT(top.r + top.g + top.b, foot.r + foot.g + foot.b);
        EXPECT_NEAR(foot.g, level(FolderIcons::tint(c, 0.93 + 0.17 * 8 / 140).g), 3);
        // The symbol is there in the dark shade of the colour.
        const cg::Color dark = FolderIcons::tint(c, 0.5);
        int symbol = 0;
        for (double y = 80; y < 144; y += 0.5)
            for (double x = 92; x < 164; x += 0.5) {
                const Rgba p = at(*icon, x, y);
                symbol += std::abs(p.r - level(dark.r)) <= 2 && std::abs(p.g - level(dark.g)) <= 2 &&
                          std::abs(p.b - level(dark.b)) <= 2;
            }
        EXPECT_GT(symbol, 1500);
        EXPECT_LT(symbol, 13000);
        icons.push_back(icon);
    }
    // A channel the lighter shade pushes past full stays full.
    const Rgba reefTop = at(*icons[scene_kind::position(SceneKind::reef)], 30, 182);
    EXPECT_EQ(reefTop.r, 255);
    // Drawn twice, the same bytes.
    const cg::ImageRef again = FolderIcons::art(SceneKind::pond);
    EXPECT_EQ(again->pngData(), icons.back()->pngData());
}

TEST(FolderArt, ContactSheetAtFullSizeAndAtSixtyFourPixels) {
    auto full = cg::Context::makeBitmap(5 * 512, 2 * 512, 1);
    auto small = cg::Context::makeBitmap(10 * 72 + 8, 80, 1);
    ASSERT_TRUE(full && small);
    small->setFillColor(cg::Color::rgb(0xE8E8E8));
    small->fill(cg::Rect(0, 0, 10 * 72 + 8, 80));
    full->setFillColor(cg::Color::rgb(0xE8E8E8));
    full->fill(cg::Rect(0, 0, 5 * 512, 2 * 512));
    for (size_t i = 0; i < scene_kind::allCases.size(); ++i) {
        const cg::ImageRef icon = FolderIcons::art(scene_kind::allCases[i]);
        ASSERT_TRUE(icon);
        const double col = static_cast<double>(i % 5), row = static_cast<double>(1 - i / 5);
        full->draw(icon, {col * 512, row * 512, 512, 512});
        EXPECT_TRUE(icon->writePNG((outDir() / (std::string(scene_kind::rawValue(scene_kind::allCases[i])) + "-folder.png")).string()));
        small->draw(icon, {8 + static_cast<double>(i) * 72, 8, 64, 64});
    }
    EXPECT_TRUE(full->makeImage()->writePNG((outDir() / "folder-icons.png").string()));
    EXPECT_TRUE(small->makeImage()->writePNG((outDir() / "folder-icons-64.png").string()));
}

}  // namespace
