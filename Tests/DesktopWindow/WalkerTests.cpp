// Walkers: the walk loop, and where a click sets the figure off.

#include "BuilderTestSupport.h"

#include "DesktopWindow/Walkers.h"

#include <gtest/gtest.h>

using namespace buildertest;

namespace {

// A square loop walked clockwise from the bottom left: up, right, down, then left back home.
Sprite walker(std::vector<cg::Point> path = {{0, 0}, {0, 40}, {40, 40}, {40, 0}}, int shades = 8) {
    Sprite s;
    s.beat = 0.1;
    s.path = std::move(path);
    for (int i = 0; i < 4; ++i) s.frames.push_back(cg::Context::makeBitmap(10, 20, 1)->makeImage());
    for (int i = 0; i < shades; ++i) s.shade.push_back(cg::Context::makeBitmap(10, 20, 1)->makeImage());
    return s;
}

// Clicks a walker standing at `pos` showing frame `leg`; true when it turns.
bool clickAt(std::vector<cg::Point> path, size_t leg, cg::Point pos) {
    auto w = Walkers::act(walker(std::move(path)));
    w->removeAllAnimations();
    w->add(ca::AnimationGroup(), "motion");
    w->setContents(w->frames[leg]);
    w->setPosition(pos);
    w->setOff(0);
    return w->animation("turn") != nullptr;
}

}  // namespace

TEST(Walkers, OnlyAFramePerPointWalksAndTurnPicturesSplitInHalves) {
    Sprite s = walker({{0, 0}, {0, 40}, {40, 40}, {40, 0}}, 5);
    const auto w = Walkers::act(s);
    EXPECT_EQ(w->turns, (std::vector<std::vector<cg::ImageRef>>{{s.shade[0], s.shade[1]}, {s.shade[3], s.shade[4]}}));
    EXPECT_NEAR(anim<ca::AnimationGroup>(*w, "motion").duration, 0.4, 1e-12);
    EXPECT_EQ(w->presentation(0.15).contents, s.frames[1]);
    EXPECT_NEAR(w->presentation(0.15).position.x, 20, 1e-9);
    s.path.push_back({0, 20});  // 5 points for 4 frames: it stands and ignores clicks
    const auto still = Walkers::act(s);
    still->setOff(1);
    EXPECT_TRUE(still->animationKeys().empty());
}

TEST(Walkers, AClickAtALegsMidpointTurnsNowAndResumesFromThere) {
    const auto w = Walkers::act(walker());
    w->commit(0);
    w->setOff(0.15);  // the middle of leg 1, heading right: turns[0], 4 pictures of 0.1 s
    const auto& turn = anim<ca::AnimationGroup>(*w, "turn");
    const auto& walk = anim<ca::AnimationGroup>(*w, "motion");
    EXPECT_DOUBLE_EQ(turn.beginTime, 0.15);
    EXPECT_NEAR(turn.duration, 0.45, 1e-12);
    EXPECT_DOUBLE_EQ(walk.beginTime, 0.55);
    EXPECT_NEAR(walk.timeOffset, 1.5 * 0.1, 1e-12);
    EXPECT_EQ(w->presentation(0.45).contents, w->turns[0][2]);
    EXPECT_NEAR(w->presentation(0.45).position.x, 20, 1e-9);
    EXPECT_NEAR(w->presentation(0.65).position.y, 20, 1e-9);  // walked on from there for 0.1 s
    w->setOff(0.5);  // still turning: ignored
    EXPECT_DOUBLE_EQ(anim<ca::AnimationGroup>(*w, "turn").beginTime, 0.15);
    w->setOff(0.65);  // walking down leg 2: a new turn with the other pictures
    EXPECT_EQ(child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*w, "turn"), 0).values[0].image(), w->turns[1][0]);
}

TEST(Walkers, LegsAreChosenByPictureAndDistance) {
    const std::vector<cg::Point> square{{0, 0}, {0, 40}, {40, 40}, {40, 0}};
    EXPECT_TRUE(clickAt(square, 0, {1.9, 20}));
    EXPECT_FALSE(clickAt(square, 0, {2.0, 20}));
    EXPECT_FALSE(clickAt(square, 1, {1.9, 20}));  // near leg 0, but showing leg 1's picture
    EXPECT_FALSE(clickAt({{0, 0}, {0, 0}, {40, 40}, {40, 0}}, 0, {0, 0}));  // a leg of no length
    // The closing leg, heading right, plays turns[0].
    auto w = Walkers::act(walker({{40, 0}, {40, 40}, {0, 40}, {0, 0}}));
    w->setOff(3, 0.5, 1);
    EXPECT_EQ(child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*w, "turn"), 0).values[0].image(), w->turns[0][0]);
}
