#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Art/FishBody.h"
#include "ArtTestSupport.h"

namespace {

Art::Fish plainFish(int64_t marks = 0, double amp = 0.1) {
    return {40, 5, 0x5E6A72, 0xDCE2E2, 0xAAB8C0, marks, false, false, amp, 0.8};
}

// Topmost and bottommost rows with any ink, measured from the image's centre row (positive = up).
std::pair<int, int> extent(const cg::Image& img) {
    int top = -1, bottom = -1;
    for (int y = 0; y < img.pixelHeight(); ++y)
        for (int x = 0; x < img.pixelWidth(); ++x)
            if (img.pixel(x, y) >> 24) {
                if (top < 0) top = y;
                bottom = y;
            }
    const int mid = img.pixelHeight() / 2;
    return {mid - top, bottom - mid};
}

int maxAlpha(const cg::Image& img) {
    int m = 0;
    for (uint32_t v : arttest::pixels(img)) m = std::max(m, static_cast<int>(v >> 24));
    return m;
}

// How many draws took the generator from `from` to `to`: each draw adds the golden-ratio increment.
uint64_t drawsBetween(uint64_t from, uint64_t to) {
    const uint64_t g = 0x9E3779B97F4A7C15ULL;
    uint64_t inv = g;  // Newton's iteration for the inverse of an odd number modulo 2^64
    for (int i = 0; i < 6; ++i) inv *= 2 - g * inv;
    return (to - from) * inv;
}

}  // namespace

TEST(FishKinds, CanvasesAndPixelSizes) {
    const cg::Size shark = Art::fishCanvas(Art::FishKind::seaShark);
    EXPECT_DOUBLE_EQ(shark.width, 96.92);
    EXPECT_DOUBLE_EQ(shark.height, 68);
    const cg::Size small = Art::fishCanvas(Art::FishKind::smallFish);
    EXPECT_DOUBLE_EQ(small.width, 28.02);
    EXPECT_DOUBLE_EQ(small.height, 23.42);

    auto p = arttest::painter(100, 100, 2);
    const auto a = p->fishFrames(Art::FishKind::seaShark, 1);
    ASSERT_EQ(a.frames.size(), 1u);
    ASSERT_EQ(a.shade.size(), 1u);
    EXPECT_EQ(a.size, shark.width);
    EXPECT_EQ(a.frames[0]->pixelWidth(), 194);
    EXPECT_EQ(a.frames[0]->pixelHeight(), 136);
    EXPECT_EQ(a.shade[0]->pixelWidth(), 194);
    const auto b = p->fishFrames(Art::FishKind::smallFish, 1);
    EXPECT_EQ(b.frames[0]->pixelWidth(), 57);
    EXPECT_EQ(b.frames[0]->pixelHeight(), 47);
    EXPECT_EQ(p->ctx, p.bitmap.get());

    // The table's kinds as the scenes use them.
    EXPECT_EQ(Art::FishKind::grouper.marks, 3);
    EXPECT_EQ(Art::FishKind::tuna.marks, 2);
    EXPECT_EQ(Art::FishKind::smallFish.marks, 1);
    EXPECT_TRUE(Art::FishKind::reefShark.shark && Art::FishKind::seaShark.shark);
    EXPECT_EQ(Art::FishKind::schoolFish.beat, 0.3);
}

TEST(FishFrames, ZeroPosesAndMissingBitmapsGiveShortRows) {
    auto p = arttest::painter(100, 100, 1);
    const auto none = p->fishFrames(Art::FishKind::tuna, 0);
    EXPECT_TRUE(none.frames.empty() && none.shade.empty());
    EXPECT_DOUBLE_EQ(none.size, 1.06 * 32 + 10);

    auto broken = arttest::painter(100, 100, 0);  // no bitmap can be made at scale 0
    const auto skipped = broken->fishFrames(Art::FishKind::tuna, 4);
    EXPECT_TRUE(skipped.frames.empty() && skipped.shade.empty());
    EXPECT_DOUBLE_EQ(skipped.size, 1.06 * 32 + 10);
}

TEST(FishFrames, PosesFollowThePhasesInOrder) {
    auto p = arttest::painter(100, 100, 1);
    const Art::Fish f = Art::FishKind::grouper;
    const auto rows = p->fishFrames(f, 10);
    ASSERT_EQ(rows.frames.size(), 10u);
    ASSERT_EQ(rows.shade.size(), 10u);
    const cg::Size canvas = Art::fishCanvas(f);
    for (int j : {0, 3, 9}) {
        const double phase = j / 10.0;
        auto pose = p->offscreen(canvas.width, canvas.height, [&] { p->fishPose(f, phase, canvas.width, canvas.height, false); });
        auto shadow = p->offscreen(canvas.width, canvas.height, [&] { p->fishPose(f, phase, canvas.width, canvas.height, true); });
        EXPECT_EQ(arttest::pixels(*rows.frames[j]), arttest::pixels(*pose)) << j;
        EXPECT_EQ(arttest::pixels(*rows.shade[j]), arttest::pixels(*shadow)) << j;
    }
    EXPECT_NE(arttest::pixels(*rows.frames[0]), arttest::pixels(*rows.frames[1]));
    // The shadow has no markings or eyes: it is one colour throughout.
    for (uint32_t v : arttest::pixels(*rows.shade[0]))
        if (v >> 24) {
            const auto px = cgtest::unpack(v);
            ASSERT_LE(px.r, 1);
        }
    // The snout points to +x: the eyes (near black) sit in the right part of the canvas.
    const cg::Image& img = *rows.frames[0];
    int darkest = 255 * 3, darkX = 0;
    for (int y = 0; y < img.pixelHeight(); ++y)
        for (int x = 0; x < img.pixelWidth(); ++x) {
            const auto px = cgtest::unpack(img.pixel(x, y));
            if (px.a == 255 && px.r + px.g + px.b < darkest) {
                darkest = px.r + px.g + px.b;
                darkX = x;
            }
        }
    EXPECT_GT(darkX, img.pixelWidth() * 0.7);
}

TEST(FishBody, HalfWidthProfiles) {
    Art::Fish f = plainFish();
    f.width = 1;
    const Art::FishBody plain{f, 50, 30, 0};
    EXPECT_EQ(plain.half(0), 0);
    EXPECT_NEAR(plain.half(0.2), 0.9855, 5e-5);
    EXPECT_NEAR(plain.half(0.8), 0.13, 1e-12);
    EXPECT_NEAR(plain.half(0.95), 0.13, 1e-12);  // the tail keeps the floor
    EXPECT_NEAR(plain.half(0.2, 3), 3 * plain.half(0.2), 1e-12);
    // Near the full width around u = 0.25 … 0.3.
    EXPECT_GT(plain.half(0.27), 0.99);

    Art::Fish s = f;
    s.shark = true;
    EXPECT_NEAR((Art::FishBody{s, 50, 30, 0}.half(0.2)), 0.9160, 5e-5);
    EXPECT_NEAR((Art::FishBody{s, 50, 30, 0}.half(0.8)), 0.13, 1e-12);
    Art::Fish k = f;
    k.koi = true;
    EXPECT_NEAR((Art::FishBody{k, 50, 30, 0}.half(0.8)), 0.16, 1e-12);
    EXPECT_EQ((Art::FishBody{k, 50, 30, 0}.half(0)), 0);
}

TEST(FishBody, SpineRunsSnoutToTailAndBendsWithThePhase) {
    const Art::Fish f = plainFish(0, 0.1);
    const Art::FishBody b{f, 52.4, 40, 0.25};
    EXPECT_DOUBLE_EQ(b.spine(0).x, 52.4 / 2 + 20);
    EXPECT_DOUBLE_EQ(b.spine(1).x, 52.4 / 2 - 20);
    // The wave at the tail tip reaches L·A.
    EXPECT_NEAR(std::fabs(b.spine(1).y - 20), 40 * 0.1 * std::fabs(std::sin(2 * M_PI * (0.25 - 0.85))), 1e-12);
    // The tangent points to the snout, the normal to +y for a straight stretch.
    const Art::Fish still = plainFish(0, 0);
    const Art::FishBody s{still, 52.4, 40, 0.7};
    for (double u : {0.0, 0.3, 0.77, 1.0}) EXPECT_EQ(s.spine(u).y, 20);
    EXPECT_DOUBLE_EQ(s.tangent(0.5).x, 1);
    EXPECT_DOUBLE_EQ(s.normal(0.5).y, 1);
    EXPECT_DOUBLE_EQ(s.at(0.5, 2).y, 22);
}

TEST(FishFrames, StillWaterOnlyTheFinsMove) {
    auto p = arttest::painter(100, 100, 2);
    Art::Fish shark = Art::FishKind::reefShark;
    shark.amp = 0;
    const auto sharkRows = p->fishFrames(shark, 4);
    for (int j = 1; j < 4; ++j) EXPECT_EQ(arttest::pixels(*sharkRows.frames[0]), arttest::pixels(*sharkRows.frames[j]));

    // An ordinary fish flaps its pectoral fins half a cycle apart: at phase 0 the +y fin is spread
    // widest and the −y fin folded, at phase 0.5 the other way round.
    const auto rows = p->fishFrames(plainFish(0, 0), 2);
    const auto [up0, down0] = extent(*rows.frames[0]);
    const auto [up1, down1] = extent(*rows.frames[1]);
    EXPECT_GT(up0, down0 + 2);
    EXPECT_GT(down1, up1 + 2);
    EXPECT_NEAR(up0, down1, 1);  // mirror images, up to the pixel grid
    EXPECT_NEAR(down0, up1, 1);
}

TEST(FishFrames, NightDarkensThePoseAndLightensTheShadow) {
    auto day = arttest::painter(100, 100, 2, SceneKind::sea, false);
    auto night = arttest::painter(100, 100, 2, SceneKind::sea, true);
    const Art::Fish f = Art::FishKind::tuna;
    const auto d = day->fishFrames(f, 1), n = night->fishFrames(f, 1);
    const cg::Image& di = *d.frames[0];
    const cg::Image& ni = *n.frames[0];
    // Same silhouette, darker colours: only the fish's own pixels are tinted.
    for (int y = 0; y < di.pixelHeight(); ++y)
        for (int x = 0; x < di.pixelWidth(); ++x) ASSERT_EQ(di.pixel(x, y) >> 24, ni.pixel(x, y) >> 24);
    const auto dc = cgtest::unpack(di.pixel(di.pixelWidth() / 2, di.pixelHeight() / 2 + 4));
    const auto nc = cgtest::unpack(ni.pixel(ni.pixelWidth() / 2, ni.pixelHeight() / 2 + 4));
    EXPECT_EQ(dc.a, 255);
    EXPECT_LT(nc.r + nc.g + nc.b + 100, dc.r + dc.g + dc.b);
    // Shadow: the silhouette at 0.38 by day (0.2 at night) over its own blurred shadow of alpha 0.45
    // (0.25) times the silhouette's alpha.
    EXPECT_NEAR(maxAlpha(*d.shade[0]), (0.38 + 0.45 * 0.38 * 0.62) * 255, 3);
    EXPECT_NEAR(maxAlpha(*n.shade[0]), (0.2 + 0.25 * 0.2 * 0.8) * 255, 3);
}

TEST(FishMarks, SeedComesFromTheLengthAlone) {
    EXPECT_EQ(Art::fishMarkSeed(42), 4200u);
    EXPECT_EQ(Art::fishMarkSeed(17), 1700u);
    EXPECT_EQ(Art::fishMarkSeed(0.999), 99u);  // truncates
    EXPECT_EQ(Art::fishMarkSeed(-3), 0u);
    EXPECT_EQ(Art::fishMarkSeed(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(Art::fishMarkSeed(1e300), UINT64_MAX);
}

TEST(FishMarks, DrawsPerPattern) {
    auto p = arttest::painter(100, 100, 1);
    auto draws = [&](int64_t marks) {
        const Art::Fish f = plainFish(marks);
        const Art::FishBody b{f, 52.4, 40, 0.3};
        const uint64_t seed = Art::fishMarkSeed(f.length);
        RNG rng(seed);
        p->fishMarks(f, b, rng);
        return drawsBetween(seed, rng.s);
    };
    for (int64_t none : {0, -1, 9, 100}) EXPECT_EQ(draws(none), 0u) << none;
    EXPECT_EQ(draws(1), 0u);
    EXPECT_EQ(draws(4), 0u);
    EXPECT_EQ(draws(2), 26u * 3);
    EXPECT_EQ(draws(3), 22u * 3);
    EXPECT_EQ(draws(7), 14u);
    // One draw to start, then 3 + 14 + 1 per blotch; the first blotch always exists.
    const uint64_t five = draws(5);
    EXPECT_GE(five, 19u);
    EXPECT_EQ((five - 1) % 18, 0u);
    EXPECT_EQ(draws(8), five);  // only the colour differs
    EXPECT_EQ(draws(6), five + 4 * 18);
}

TEST(FishMarks, MarksStayInsideTheBody) {
    auto p = arttest::painter(100, 100, 2);
    const auto bare = p->fishFrames(plainFish(0), 3);
    for (int64_t m : {1, 2, 3, 4, 5, 6, 7, 8}) {
        const auto marked = p->fishFrames(plainFish(m), 3);
        for (int j = 0; j < 3; ++j) {
            const cg::Image& a = *bare.frames[j];
            const cg::Image& b = *marked.frames[j];
            bool differs = false;
            for (int y = 0; y < a.pixelHeight(); ++y)
                for (int x = 0; x < a.pixelWidth(); ++x) {
                    if ((a.pixel(x, y) >> 24) == 0) {
                        ASSERT_EQ(b.pixel(x, y) >> 24, 0u) << m;
                    }
                    differs = differs || a.pixel(x, y) != b.pixel(x, y);
                }
            EXPECT_TRUE(differs) << m;
        }
        // The shadow carries no markings.
        EXPECT_EQ(arttest::pixels(*bare.shade[0]), arttest::pixels(*marked.shade[0])) << m;
    }
}
