// Pictures drawn at once on several threads are those drawn one by one on the painter's own context.

#include <gtest/gtest.h>

#include <vector>

#include "Art/PictureBatch.h"
#include "ArtTestSupport.h"
#include "Platform/Dispatch/Dispatch.h"
#include "PoseSupport.h"

namespace {

TEST(OffscreenEach, GivesEachIndexItsOwnPainterAndKeepsTheSceneUntouched) {
    auto p = arttest::painter(200, 150, 2);
    const std::vector<double> leans{-0.4, -0.1, 0, 0.2, 0.45, 0.3, -0.25, 0.05, 0.15, -0.35};
    std::vector<cg::ImageRef> serial;
    for (double lean : leans) serial.push_back(p->palmImage(lean));

    for (int threads : {1, 0}) {
        dispatch::ThreadCountScope scope(threads);
        // Odd indices make no bitmap: their slots stay empty, the others keep their index.
        const auto made = p->offscreenEach(leans.size(), [&](Art& a, std::size_t i) {
            EXPECT_NE(&a, p.art.get());
            EXPECT_TRUE(a.sprites.empty());
            return i % 2 == 1 ? a.offscreen(0, 10, [] {}) : a.palmImage(leans[i]);
        });
        ASSERT_EQ(made.size(), leans.size());
        for (std::size_t i = 0; i < leans.size(); ++i) {
            if (i % 2 == 1) {
                EXPECT_FALSE(made[i]);
                continue;
            }
            ASSERT_TRUE(made[i]);
            EXPECT_TRUE(posetest::samePixels(*made[i], *serial[i])) << "lean " << leans[i];
        }
    }
    EXPECT_EQ(p->ctx, p.bitmap.get());
    EXPECT_TRUE(p->sprites.empty());
    EXPECT_TRUE(p->offscreenEach(0, [](Art&, std::size_t) { return cg::ImageRef{}; }).empty());
}

TEST(PictureBatch, RowsMatchPoseRowsAndFishFramesAndLeaveOutWhatCannotBeMade) {
    auto p = arttest::painter(200, 150, 2);
    PictureBatch batch;
    const std::size_t turtles = batch.row(12, 30, 24, [](Art& a, double ph) { a.turtle(ph, false); });
    const std::size_t none = batch.row(3, -1, 24, [](Art& a, double ph) { a.turtle(ph, false); });
    const std::size_t tuna = batch.fish(Art::FishKind::tuna, 4, false);
    const std::size_t tunaShade = batch.fish(Art::FishKind::tuna, 4, true);
    const std::size_t jelly = batch.row(1, 20, 20, [](Art& a, double) { a.jellyfish(0); });
    batch.draw(*p.art);

    const auto same = [](const std::vector<cg::ImageRef>& a, const std::vector<cg::ImageRef>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!posetest::samePixels(*a[i], *b[i])) return false;
        return true;
    };
    const auto rows = p->fishFrames(Art::FishKind::tuna, 4);
    dispatch::ThreadCountScope serial(1);
    EXPECT_TRUE(same(batch.frames(turtles), p->poseRow(12, 30, 24, [](Art& a, double ph) { a.turtle(ph, false); })));
    EXPECT_EQ(batch.frames(turtles).size(), 12u);
    EXPECT_TRUE(batch.frames(none).empty());
    EXPECT_TRUE(same(batch.frames(tuna), rows.frames));
    EXPECT_TRUE(same(batch.frames(tunaShade), rows.shade));
    EXPECT_EQ(rows.frames.size(), 4u);
    ASSERT_TRUE(batch.image(jelly));
    EXPECT_TRUE(posetest::samePixels(*batch.image(jelly), *p->offscreen(20, 20, [&] { p->jellyfish(0); })));
}

}  // namespace
