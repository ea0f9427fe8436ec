// Sway and glide: swing plus gust, and straight passes with fades and frame flashes.

#include "BuilderTestSupport.h"

#include "DesktopWindow/SwayGlide.h"

#include <gtest/gtest.h>

using namespace buildertest;

TEST(SwayGlide, GlidesLastTheirDistanceOverTheSpeedAndFadeAtBothEnds) {
    struct Case { double length, travel, duration, fade; };
    for (const Case c : {Case{100, 50, 2, 0.16}, {40, 50, 0.8, 0.3}, {30, 0, 30, 0.3}, {0, -5, 1, 0.3}}) {
        Sprite s;
        s.to = {c.length, 0};
        s.travel = c.travel;
        s.phase = 0.5;
        const auto glide = SwayGlide::glide(s);
        const auto& motion = anim<ca::AnimationGroup>(*glide, "motion");
        EXPECT_NEAR(motion.duration, c.duration, 1e-12);
        EXPECT_NEAR(motion.timeOffset, c.duration / 2, 1e-12);
        EXPECT_NEAR(child<ca::KeyframeAnimation>(motion, 1).keyTimes[1], c.fade, 1e-12) << c.length;
    }
    Sprite s;
    s.to = {100, 0};
    s.beat = 0.4;
    s.frames = {cg::Context::makeBitmap(4, 4, 1)->makeImage()};
    EXPECT_FALSE(SwayGlide::glide(s)->animation("flash"));
    s.frames.push_back(cg::Context::makeBitmap(4, 4, 1)->makeImage());
    const auto g = SwayGlide::glide(s);
    EXPECT_EQ(g->presentation(0.1).contents, s.frames[0]);
    EXPECT_EQ(g->presentation(0.3).contents, s.frames[1]);  // alternate every beat / 2
}

TEST(SwayGlide, GustsAddToTheSwing) {
    const auto l = SwayGlide::sway(Sprite{}), calm = SwayGlide::sway(Sprite{});
    calm->removeAnimation("gust");
    EXPECT_NEAR(l->presentation(0).rotation, -0.035, 1e-12);  // a gust cycle starts calm
    EXPECT_NEAR(calm->presentation(2.25).rotation, 0.045, 1e-12);
    EXPECT_NEAR(l->presentation(13.7 * 0.58).rotation - calm->presentation(13.7 * 0.58).rotation, 0.06, 1e-9);
}
