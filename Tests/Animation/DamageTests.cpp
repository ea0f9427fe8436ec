// Damage between two times: only what changed, nothing for a paused or static tree.

#include "AnimationTestSupport.h"

#include "Platform/Animation/Compositor.h"
#include "Platform/Animation/Damage.h"

#include <gtest/gtest.h>

using namespace ca;
using catest::basic;
using catest::keyframes;
using catest::looping;

namespace {

cg::ImageRef solid(uint32_t argb) { return cg::Image::fromARGB32(1, 1, {argb}); }

std::shared_ptr<Layer> square(cg::Rect frame, uint32_t argb = 0xFF336699u) {
    auto l = std::make_shared<Layer>();
    l->setContents(solid(argb));
    l->setFrame(frame);
    return l;
}

// A window: a ground, a few static sprites and one sprite moving from x = 10 to x = 110 over 10 s.
struct Scene {
    Layer root;
    std::shared_ptr<Layer> sprites = std::make_shared<Layer>();
    std::shared_ptr<Layer> mover;
    Scene() {
        root.setFrame(cg::Rect(0, 0, 200, 100));
        root.addSublayer(square(cg::Rect(0, 0, 200, 100), 0xFF204060u));
        root.addSublayer(sprites);
        for (int i = 0; i < 4; ++i) sprites->addSublayer(square(cg::Rect(20 + 40 * i, 70, 10, 10)));
        mover = square(cg::Rect(5, 20, 10, 10));
        mover->add(looping(keyframes("position", {cg::Point{10, 25}, cg::Point{110, 25}}), 10, 0), "motion");
        sprites->addSublayer(mover);
        root.commit(0);
    }
    std::vector<cg::Rect> damage(double t0, double t1) const { return Damage::between(root, t0, t1, {}); }
};

}  // namespace

TEST(DamageRule, OneMovingLayerDamagesItsOldAndNewBoundsOnly) {
    Scene s;
    // t = 1: x 15..25; t = 5: x 55..65; one pixel of margin each, in whole pixels.
    const auto d = s.damage(1, 5);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0], cg::Rect(14, 19, 12, 12));
    EXPECT_EQ(d[1], cg::Rect(54, 19, 12, 12));
}

TEST(DamageRule, OverlappingOldAndNewBoundsMergeIntoOne) {
    Scene s;
    const auto d = s.damage(1, 1.2);  // moved 2 points
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0], cg::Rect(14, 19, 14, 12));
}

TEST(DamageRule, PausedOrStaticTreeDamagesNothing) {
    Scene s;
    s.sprites->setSpeed(0);
    s.sprites->setTimeOffset(s.sprites->convertTime(5, nullptr));
    EXPECT_TRUE(s.damage(5, 9).empty());
    Scene still;
    still.mover->removeAllAnimations();
    EXPECT_TRUE(still.damage(0, 100).empty());
}

TEST(DamageRule, InvisibleAtBothTimesDamagesNothing) {
    Scene s;
    s.mover->setOpacity(0);  // a meteor between its flashes: moving, but unseen
    EXPECT_TRUE(s.damage(1, 5).empty());
    s.mover->setOpacity(1);
    s.sprites->setOpacity(0);  // a hidden parent hides the subtree
    EXPECT_TRUE(s.damage(1, 5).empty());
}

TEST(DamageRule, OpacityBelowZeroIsClampedBeforeComparing) {
    Scene s;
    s.mover->removeAllAnimations();
    BasicAnimation leave = basic("opacity", 0.0, -2.0, 2);
    leave.isAdditive = true;
    leave.fillMode = FillMode::forwards;
    leave.isRemovedOnCompletion = false;
    s.mover->add(leave, "leave");
    s.root.commit(0);
    EXPECT_EQ(s.damage(0, 0.4).size(), 1u);  // 1 → 0.6
    EXPECT_TRUE(s.damage(1.2, 1.8).empty()); // −0.2 → −0.8: both 0
}

TEST(DamageRule, GroundTransitionDamagesTheWholeGround) {
    Scene s;
    s.mover->removeAllAnimations();
    auto ground = s.root.sublayers()[0];
    Transition fade;
    fade.duration = 1;
    ground->add(fade, "fade");
    ground->setContents(solid(0xFF000000u));
    s.root.commit(0);
    const auto d = s.damage(0.25, 0.5);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0], cg::Rect(-1, -1, 202, 102));
    EXPECT_EQ(Damage::between(s.root, 0.25, 0.5, {}, cg::Rect(0, 0, 200, 100))[0], cg::Rect(0, 0, 200, 100));
}

TEST(DamageRule, AddedLayerDamagesOnlyItself) {
    Scene s;
    s.mover->removeAllAnimations();
    Snapshot before, after;
    before.capture(s.root, 3, {});
    s.root.addSublayer(square(cg::Rect(150, 10, 20, 20)));  // a ripple on top
    after.capture(s.root, 3, {});
    Damage damage;
    std::vector<cg::Rect> d;
    damage.compute(before, after, d);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0], cg::Rect(149, 9, 22, 22));
}

TEST(DamageRule, ContentShadowChangesWithItsSubtree) {
    Scene s;
    auto holder = std::make_shared<Layer>();
    holder->setShadowOpacity(1);
    holder->setShadowRadius(2);
    holder->setShadowOffset({0, 0});
    s.root.addSublayer(holder);
    s.mover->removeFromSuperlayer();
    holder->addSublayer(s.mover);
    const auto d = s.damage(1, 5);
    ASSERT_EQ(d.size(), 2u);  // old and new bounds, each grown by the shadow's reach
    EXPECT_EQ(d[0], cg::Rect(14 - 8, 19 - 8, 12 + 16, 12 + 16));
}

TEST(DamageRule, RepaintingOnlyTheDamageFrameAfterFrameMatchesFullRepaints) {
    Scene s;
    auto glow = square(cg::Rect(0, 0, 30, 30), 0xFF808080u);
    glow->setCompositingFilter(CompositingFilter::colorDodge);
    glow->add(looping(keyframes("position", {cg::Point{20, 20}, cg::Point{180, 80}}), 7, 0.3), "wander");
    glow->add(looping(keyframes("opacity", {0.2, 1.0, 0.2}), 3, 0), "blink");
    s.root.addSublayer(glow);
    s.root.commit(0);
    auto full = cg::Context::makeBitmap(200, 100);
    auto incremental = cg::Context::makeBitmap(200, 100);
    Compositor comp;
    Snapshot prev, next;
    Damage damage;
    std::vector<cg::Rect> d;
    prev.capture(s.root, 1, incremental->ctm());
    comp.render(prev, *incremental, std::vector<cg::Rect>{cg::Rect(0, 0, 200, 100)});
    for (int frame = 1; frame <= 40; ++frame) {
        const double t = 1 + frame / 15.0;
        next.capture(s.root, t, incremental->ctm());
        damage.compute(prev, next, d, cg::Rect(0, 0, 200, 100));
        comp.render(next, *incremental, d);
        std::swap(prev, next);
    }
    comp.renderAll(s.root, 1 + 40 / 15.0, *full);
    int differ = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) differ += full->pixel(x, y) != incremental->pixel(x, y);
    EXPECT_EQ(differ, 0);
}
