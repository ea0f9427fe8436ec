// Palms of every lean side by side, by day and by night, to look at: $VM_TEST_OUT/palm-sheet.png.

#include <gtest/gtest.h>

#include <string>

#include "ArtTestSupport.h"

TEST(PalmSheet, EveryLeanHasATrunkAndACrown) {
    constexpr int kLeans = 9;
    constexpr double kCell = 40;
    auto sheet = cgtest::bitmap(static_cast<int>(kLeans * kCell * 4), static_cast<int>(2 * kCell * 4), 4);
    sheet->setFillColor(cg::Color::rgb(0xd9c49c));
    sheet->fill(cg::Rect(0, kCell, kLeans * kCell, kCell));
    sheet->setFillColor(cg::Color::rgb(0x3a3946));
    sheet->fill(cg::Rect(0, 0, kLeans * kCell, kCell));
    for (const bool night : {false, true}) {
        auto p = arttest::painter(100, 100, 4, SceneKind::archipelago, night);
        for (int i = 0; i < kLeans; ++i) {
            const double lean = -0.5 + static_cast<double>(i) / (kLeans - 1);
            const cg::ImageRef palm = p.art->palmImage(lean);
            ASSERT_TRUE(palm) << lean;
            // The picture is 34 × 36 points with the trunk's foot at (17, 3): solid trunk just above
            // the foot, the crown's fronds about 19 points up.
            auto one = cgtest::bitmap(34 * 4, 36 * 4, 4);
            one->draw(palm, {0, 0, 34, 36});
            EXPECT_EQ(cgtest::up(*one, 17 * 4, 4 * 4).a, 255) << "trunk, lean " << lean;
            int crown = 0;
            for (int y = 16 * 4; y < 34 * 4; ++y)
                for (int x = 0; x < 34 * 4; ++x) crown += cgtest::up(*one, x, y).a > 128;
            EXPECT_GT(crown, 1500) << "fronds, lean " << lean;
            sheet->draw(palm, {i * kCell + 3, (night ? 0 : kCell) + 2, 34, 36});
        }
    }
    const auto path = cgtest::outDir() / "palm-sheet.png";
    ASSERT_TRUE(sheet->makeImage()->writePNG(path.string())) << path;
}
