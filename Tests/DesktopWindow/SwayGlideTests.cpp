// Sway and glide: swing plus gust, and straight passes with fades and frame flashes.

#include "BuilderTestSupport.h"

#include "DesktopWindow/SwayGlide.h"

using namespace buildertest;

TEST(SwayGlide, GlidesLastTheirDistanceOverTheSpeedAndFadeAtBothEnds) {
    struct Case { double length, travel, duration, fade; };
    for (const Case c : {Case{100, 50, 2, 0.16}, {40, 50, 0.8, 0.3}, {30, 0, 30, 0.3}, {0, -5, 1, 0.3}}) {
        Sprite s;
        s.kind = Sprite::Kind::glide;
        s.at = {10, 10};
        s.to = {10 + c.length, 10};
        s.travel = c.travel;
        s.phase = 0.5;
        const auto g = SwayGlide::glide(s);
        const auto& motion = anim<ca::AnimationGroup>(*g, "motion");
        EXPECT_NEAR(motion.duration, c.duration, 1e-12);
        EXPECT_NEAR(motion.timeOffset, c.duration / 2, 1e-12);
        EXPECT_NEAR(child<ca::KeyframeAnimation>(motion, 1).keyTimes[1], c.fade, 1e-12) << c.length;
        EXPECT_EQ(g->opacity(), 0);
        EXPECT_FALSE(g->animation("flash"));
    }
    Sprite s;
    s.to = {100, 0};
    s.beat = 0.4;
    s.frames = {cg::Context::makeBitmap(4, 4, 1)->makeImage(), cg::Context::makeBitmap(4, 4, 1)->makeImage()};
    const auto g = SwayGlide::glide(s);
    g->commit(0);
    EXPECT_EQ(g->presentation(0.1).contents, s.frames[0]);
    EXPECT_EQ(g->presentation(0.3).contents, s.frames[1]);  // alternate every beat / 2
}

TEST(SwayGlide, GustsAddToTheSwingOnlyInTheSecondHalfOfTheirCycle) {
    Sprite s;
    s.kind = Sprite::Kind::sway;
    const auto l = SwayGlide::sway(s);
    l->commit(0);
    const auto calm = SwayGlide::sway(s);
    calm->removeAnimation("gust");
    calm->commit(0);
    // The start of a gust cycle is the swing alone; at 0.58 of it the push adds 0.06.
    EXPECT_NEAR(l->presentation(0).rotation, -0.035, 1e-12);
    EXPECT_NEAR(calm->presentation(2.25).rotation, 0.045, 1e-12);
    const double t = 13.7 * 0.58;
    EXPECT_NEAR(l->presentation(t).rotation - calm->presentation(t).rotation, 0.06, 1e-9);
    EXPECT_TRUE(anim<ca::KeyframeAnimation>(*l, "gust").isAdditive);
}

TEST(SwayGlide, ContactSheetOfPalmsAndAGlider) {
    auto picked = sprites(SceneKind::archipelago, false, Sprite::Kind::sway);
    picked.resize(std::min<size_t>(picked.size(), 2));
    auto rows = rowsOf(SceneKind::archipelago, false, picked, SwayGlide::sway, 10);
    Sprite g;
    g.kind = Sprite::Kind::glide;
    g.at = {20, 40};
    g.to = {180, 80};
    g.travel = 40;
    g.size = 30;
    g.angle = std::atan2(40.0, 160.0);
    auto car = cg::Context::makeFrame(30, 14, 4);
    car->setFillColor(cg::Color::rgb(0xC03030));
    car->fill(cg::Rect(0, 0, 30, 14));
    g.image = car->makeImage();
    SheetRow row;
    row.layer = SwayGlide::glide(g);
    row.region = regionOf(g, 20);
    rows.push_back(row);
    const auto sheet = contactSheet("sway-glide-sheet", rows, kSheetTimes);
    ASSERT_TRUE(sheet);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) EXPECT_GT(rowChange(*sheet, r, 5), 0.05) << r;
}
