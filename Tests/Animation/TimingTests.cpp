// The timing rules of PLATFORM.md §2.5–2.6 with exact values, one group of tests per rule.

#include "AnimationTestSupport.h"

#include <gtest/gtest.h>

using namespace ca;
using catest::basic;
using catest::keyframes;
using catest::looping;

namespace {

// A ramp 0 → 1 over its duration: its value is the animation's own progress.
KeyframeAnimation ramp(const char* key = "opacity") { return keyframes(key, {0.0, 1.0}); }

double opacityAt(const Layer& l, double t) { return l.presentation(t).opacity; }

}  // namespace

// --- Rule: repeat forever with a phase offset (looping) ---

TEST(Looping, PeriodFourPhaseQuarterGivesOffsetOne) {
    const KeyframeAnimation a = looping(ramp(), 4, 0.25);
    EXPECT_EQ(a.timeOffset, 1.0);
    EXPECT_EQ(a.duration, 4.0);
    Layer l;
    l.add(a, "blink");
    l.commit(0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 0), 0.25);   // starts one second in
    EXPECT_DOUBLE_EQ(opacityAt(l, 2), 0.75);
    EXPECT_DOUBLE_EQ(opacityAt(l, 3.5), 0.125);  // wrapped round
    EXPECT_DOUBLE_EQ(opacityAt(l, 400.0 + 2), 0.75);
}

TEST(Looping, NegativeOffsetWrapsWithFloorMod) {
    KeyframeAnimation a = looping(ramp(), 4, 0);
    a.timeOffset = -1;  // a koi's negative phase
    Layer l;
    l.add(a, "m");
    l.commit(0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 0), 0.75);
    EXPECT_DOUBLE_EQ(opacityAt(l, 1), 0.0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 2), 0.25);
    a.timeOffset = -9;  // more than a period back
    l.add(a, "m");
    l.commit(0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 0), 0.75);
}

TEST(Looping, OffsetOfAOnceAnimationWrapsWithinItsSpan) {
    KeyframeAnimation a = ramp();
    a.duration = 4;
    a.timeOffset = 1;
    Layer l;
    l.setOpacity(0.5);
    l.add(a, "once");
    l.commit(10);
    EXPECT_DOUBLE_EQ(opacityAt(l, 10), 0.25);
    EXPECT_DOUBLE_EQ(opacityAt(l, 13.5), 0.125);  // the first second plays last
    EXPECT_DOUBLE_EQ(opacityAt(l, 14), 0.5);      // over: the model value
}

// --- Rule 1: beginTime 0 means "when committed", in the layer's local time ---

TEST(BeginTime, ZeroBeginStartsAtTheLayersLocalTimeOnCommit) {
    Layer parent;
    auto child = std::make_shared<Layer>();
    parent.addSublayer(child);
    parent.setTimeOffset(100);  // local = media + 100
    KeyframeAnimation a = ramp();
    a.duration = 2;
    child->add(a, "r");
    child->commit(5);
    EXPECT_EQ(child->animation("r")->beginTime, 105.0);
    EXPECT_DOUBLE_EQ(opacityAt(*child, 6), 0.5);
}

TEST(BeginTime, ExplicitBeginInMediaTimeWaits) {
    Layer l;
    l.setOpacity(0.3);
    KeyframeAnimation a = ramp();
    a.duration = 2;
    a.beginTime = 7;  // a ripple ring: now + 0.22·i
    l.add(a, "ripple");
    l.commit(5);
    EXPECT_EQ(l.animation("ripple")->beginTime, 7.0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 6.9), 0.3);
    EXPECT_DOUBLE_EQ(opacityAt(l, 8), 0.5);
    EXPECT_DOUBLE_EQ(opacityAt(l, 9), 0.3);  // removed on completion
}

// --- Rule 2: hierarchical local time; pausing and resuming ---

TEST(LayerTime, LocalTimeIsParentMinusBeginTimesSpeedPlusOffset) {
    Layer root;
    auto a = std::make_shared<Layer>(), b = std::make_shared<Layer>();
    root.addSublayer(a);
    a->addSublayer(b);
    a->setBeginTime(2);
    a->setSpeed(2);
    a->setTimeOffset(1);
    b->setSpeed(0.5);
    EXPECT_DOUBLE_EQ(a->localTime(5), 7.0);   // (5 − 2)·2 + 1
    EXPECT_DOUBLE_EQ(b->localTime(5), 3.5);
    EXPECT_DOUBLE_EQ(b->convertTime(7, a.get()), 3.5);
    EXPECT_DOUBLE_EQ(a->convertTime(3.5, b.get()), 7.0);
}

TEST(LayerTime, PauseAtFiveResumeAtNineShowsNoJump) {
    Layer window;
    auto sprites = std::make_shared<Layer>();
    auto sprite = std::make_shared<Layer>();
    window.addSublayer(sprites);
    sprites->addSublayer(sprite);
    sprite->add(looping(ramp(), 4, 0), "motion");
    window.commit(0);
    const double before = opacityAt(*sprite, 5);
    EXPECT_DOUBLE_EQ(before, 0.25);

    // setAnimating(false) at t = 5: speed 0, time offset = the layer's time then.
    const double t = sprites->convertTime(5, nullptr);
    sprites->setSpeed(0);
    sprites->setTimeOffset(t);
    EXPECT_DOUBLE_EQ(opacityAt(*sprite, 5), before);
    EXPECT_DOUBLE_EQ(opacityAt(*sprite, 7), before);  // frozen
    EXPECT_DOUBLE_EQ(opacityAt(*sprite, 9), before);

    // setAnimating(true) at t = 9.
    const double paused = sprites->timeOffset();
    sprites->setSpeed(1);
    sprites->setTimeOffset(0);
    sprites->setBeginTime(0);
    sprites->setBeginTime(sprites->convertTime(9, nullptr) - paused);
    EXPECT_DOUBLE_EQ(opacityAt(*sprite, 9), before);  // no jump
    EXPECT_DOUBLE_EQ(opacityAt(*sprite, 10), 0.5);    // and on from there
}

TEST(LayerTime, LayersAddedToAPausedParentStartFrozenAtTheirBeginning) {
    Layer sprites;
    sprites.setSpeed(0);
    sprites.setTimeOffset(42);
    auto s = std::make_shared<Layer>();
    s->add(looping(ramp(), 4, 0.5), "motion");
    sprites.addSublayer(s);
    sprites.commit(1000);
    EXPECT_EQ(s->animation("motion")->beginTime, 42.0);
    EXPECT_DOUBLE_EQ(opacityAt(*s, 1000), 0.5);
    EXPECT_DOUBLE_EQ(opacityAt(*s, 2000), 0.5);
}

// --- Groups: children's begin offsets, durations and the group's duration ---

TEST(Group, ChildShorterThanItsGroupShowsTheModelValueOutsideItsSpan) {
    Layer l;
    l.setOpacity(0);  // every(): hidden between plays
    KeyframeAnimation flash = keyframes("opacity", {1.0, 0.0});
    flash.beginTime = 0.24;
    flash.duration = 0.07;
    AnimationGroup g;
    g.add(flash);
    l.add(looping(g, 2, 0), "event");
    l.commit(0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 0.2), 0.0);       // before the child
    EXPECT_DOUBLE_EQ(opacityAt(l, 0.24), 1.0);      // child begins
    EXPECT_NEAR(opacityAt(l, 0.275), 0.5, 1e-12);
    EXPECT_DOUBLE_EQ(opacityAt(l, 0.31), 0.0);      // child over, no fill: model value
    EXPECT_DOUBLE_EQ(opacityAt(l, 1.9), 0.0);
    EXPECT_NEAR(opacityAt(l, 2.24), 1.0, 1e-9);     // next period
}

TEST(Group, ChildWithFillForwardsHoldsUntilTheGroupEnds) {
    Layer l;
    l.setOpacity(0.2);
    KeyframeAnimation k = keyframes("opacity", {1.0, 0.6});
    k.duration = 1;
    k.fillMode = FillMode::forwards;
    AnimationGroup g;
    g.duration = 3;
    g.add(k);
    l.add(g, "g");
    l.commit(0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 2), 0.6);
    EXPECT_DOUBLE_EQ(opacityAt(l, 3), 0.2);  // the group is removed on completion
}

TEST(Group, ChildrenWithoutDurationTakeTheGroupsDuration) {
    Layer l;
    AnimationGroup g;
    g.duration = 2.4;
    g.add(ramp());
    g.add(basic("position", cg::Point{0, 0}, cg::Point{24, 48}, 0));
    l.add(g, "ripple");
    l.commit(0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 1.2), 0.5);
    EXPECT_NEAR(l.presentation(1.8).position.x, 18, 1e-12);
    EXPECT_NEAR(l.presentation(1.8).position.y, 36, 1e-12);
}

// --- Fill and removal ---

TEST(Fill, ForwardsNotRemovedHoldsTheEndValue) {
    Layer l;
    l.setOpacity(0.8);
    BasicAnimation leave = basic("opacity", 0.0f, -1.0f, 1.5);
    leave.isAdditive = true;
    leave.fillMode = FillMode::forwards;
    leave.isRemovedOnCompletion = false;
    l.add(leave, "leave");
    l.commit(0);
    EXPECT_NEAR(opacityAt(l, 0.75), 0.3, 1e-12);
    EXPECT_NEAR(opacityAt(l, 100), -0.2, 1e-12);  // held (clamped to 0 when drawn)
}

TEST(Fill, RemovedOnCompletionIgnoresFillForwards) {
    Layer l;
    l.setOpacity(0.8);
    BasicAnimation appear = basic("opacity", -1.0f, 0.0f, 1);
    appear.isAdditive = true;
    appear.fillMode = FillMode::forwards;
    l.add(appear, "appear");
    l.commit(0);
    EXPECT_NEAR(opacityAt(l, 0.5), 0.3, 1e-12);
    EXPECT_DOUBLE_EQ(opacityAt(l, 1), 0.8);
    l.removeFinishedAnimations(0.5);
    EXPECT_TRUE(l.animation("appear"));
    l.removeFinishedAnimations(1);
    EXPECT_FALSE(l.animation("appear"));
}

// --- Rule 3: insertion order, additive, replacement under a key ---

TEST(Order, AdditiveAnimationAddsOnTopOfAKeyframedOne) {
    Layer l;
    KeyframeAnimation blink = looping(keyframes("opacity", {1.0, 1.0, 0.0, 0.0}, {0, 0.38, 0.42, 1}), 2, 0);
    l.add(blink, "blink");
    BasicAnimation appear = basic("opacity", -1.0f, 0.0f, 1);
    appear.isAdditive = true;
    appear.fillMode = FillMode::forwards;
    l.add(appear, "appear");
    l.commit(0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 0.25), 0.25);   // 1 + (−0.75)
    EXPECT_NEAR(opacityAt(l, 0.82), 0.25 - 0.18, 1e-12);  // (1 − 0.75) + (−0.18)
    EXPECT_DOUBLE_EQ(opacityAt(l, 1.5), 0.0);      // appear removed, blink dark
    EXPECT_DOUBLE_EQ(opacityAt(l, 2.25), 1.0);
}

TEST(Order, LaterReplacesEarlierAndReaddingUnderAKeyReplacesAndMovesToTheEnd) {
    Layer l;
    l.add(looping(keyframes("opacity", {0.2, 0.2}), 1, 0), "a");
    l.add(looping(keyframes("opacity", {0.7, 0.7}), 1, 0), "b");
    l.commit(0);
    EXPECT_DOUBLE_EQ(opacityAt(l, 0.5), 0.7);
    l.add(looping(keyframes("opacity", {0.4, 0.4}), 1, 0), "a");
    l.commit(0);
    EXPECT_EQ(l.animationKeys(), (std::vector<std::string>{"b", "a"}));
    EXPECT_DOUBLE_EQ(opacityAt(l, 0.5), 0.4);
}

TEST(Order, WalkerReplacesItsMotionWithACopyThatResumesLater) {
    // setOff(from: i, f, at: now): the copy of "motion" gets offset (f + i)·tick and begin busy.
    Layer l;
    const double tick = 0.1;
    KeyframeAnimation pos = keyframes("position", {cg::Point{0, 0}, cg::Point{10, 0}, cg::Point{10, 10},
                                                   cg::Point{0, 10}, cg::Point{0, 0}});
    pos.duration = 0.4;
    AnimationGroup motion;
    motion.add(pos);
    l.add(looping(motion, 0.4, 0), "motion");
    l.commit(0);
    const auto stored = std::static_pointer_cast<const AnimationGroup>(l.animation("motion"));
    AnimationGroup copy = *stored;
    const double now = l.convertTime(10.03, nullptr), busy = now + 0.2;
    copy.timeOffset = (0.5 + 2) * tick;
    copy.beginTime = busy;
    l.add(copy, "motion");
    EXPECT_EQ(l.animationEntries().size(), 1u);
    EXPECT_EQ(l.presentation(10.1).position, l.position());  // suspended: model position
    const cg::Point resumed = l.presentation(busy).position;
    EXPECT_NEAR(resumed.x, 5, 1e-9);  // half way along leg 2, from (10, 10) to (0, 10)
    EXPECT_NEAR(resumed.y, 10, 1e-9);
}

// --- Transition ---

TEST(TransitionTiming, CrossFadesFromTheSnapshotOverItsDuration) {
    auto a = cg::Image::fromARGB32(1, 1, {0xFF0000FFu});
    auto b = cg::Image::fromARGB32(1, 1, {0xFFFF0000u});
    Layer ground;
    ground.setContents(a);
    Transition fade;
    fade.duration = 2;
    ground.add(fade, "fade");
    ground.setContents(b);
    ground.commit(10);
    const Presentation mid = ground.presentation(11.5);
    EXPECT_TRUE(mid.inTransition);
    EXPECT_EQ(mid.transitionFrom, a);
    EXPECT_EQ(mid.contents, b);
    EXPECT_DOUBLE_EQ(mid.transitionProgress, 0.75);
    EXPECT_FALSE(ground.presentation(12).inTransition);
}

// --- Purity ---

TEST(Purity, SameTreeAndTimeGiveTheSameValuesInAnyOrder) {
    Layer l;
    l.add(looping(keyframes("opacity", {0.1, 1.0, 0.1}), 2.5, 0.3), "twinkle");
    l.add(looping(keyframes("position", {cg::Point{0, 0}, cg::Point{30, 7}}), 3, 0.1), "drift");
    l.commit(0);
    const Presentation a = l.presentation(7.3);
    (void)l.presentation(1.0);
    (void)l.presentation(99.0);
    const Presentation b = l.presentation(7.3);
    EXPECT_EQ(a.opacity, b.opacity);
    EXPECT_EQ(a.position, b.position);
}
