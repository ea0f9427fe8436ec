// Frame pacing: the preferred frame-rate range of the running animations, and no frames at all
// while everything is paused.

#include "AnimationTestSupport.h"

#include "Platform/Animation/FramePacing.h"

#include <gtest/gtest.h>

using namespace ca;
using catest::basic;
using catest::keyframes;
using catest::looping;

namespace {

struct Window {
    Layer host;
    std::shared_ptr<Layer> sprites = std::make_shared<Layer>();
    std::shared_ptr<Layer> glow = std::make_shared<Layer>();
    Window(bool lowPower = false) {
        host.addSublayer(glow);
        host.addSublayer(sprites);
        auto s = std::make_shared<Layer>();
        s->add(looping(keyframes("opacity", {0.1, 1.0, 0.1}), 2.5, 0.2, lowPower), "twinkle");
        sprites->addSublayer(s);
        glow->add(looping(keyframes("opacity", {0.5, 1.0}), 3, 0, lowPower), "blink");
        host.commit(0);
    }
    void pause(double now) {
        for (Layer* l : {sprites.get(), glow.get()}) {
            const double t = l->convertTime(now, nullptr);
            l->setSpeed(0);
            l->setTimeOffset(t);
        }
    }
};

}  // namespace

TEST(FramePacingRule, LoopingSpritesAskForThirtyOrFifteenInLowPower) {
    EXPECT_EQ(frameRequest(Window().host, 5, 30).rate, 30);
    EXPECT_EQ(frameRequest(Window(true).host, 5, 15).rate, 15);
    // The cap wins over the animations' preference.
    EXPECT_EQ(frameRequest(Window().host, 5, 15).rate, 15);
}

TEST(FramePacingRule, TheLargestPreferredRateAmongRunningAnimations) {
    Layer l;
    KeyframeAnimation slow = looping(keyframes("opacity", {0.0, 1.0}), 2, 0);
    slow.preferredFrameRateRange = {8, 15, 15};
    l.add(slow, "slow");
    l.commit(0);
    EXPECT_EQ(frameRequest(l, 1, 30).rate, 15);
    KeyframeAnimation fast = looping(keyframes("opacity", {0.0, 1.0}), 2, 0);
    fast.preferredFrameRateRange = {10, 24, 24};
    l.add(fast, "fast");
    l.commit(0);
    EXPECT_EQ(frameRequest(l, 1, 30).rate, 24);
    // A fade without a preference runs at the cap.
    l.add(basic("opacity", -1.0, 0.0, 1), "appear");
    l.commit(1);
    EXPECT_EQ(frameRequest(l, 1.5, 30).rate, 30);
    EXPECT_EQ(frameRequest(l, 2.5, 30).rate, 24);  // the fade is over
}

TEST(FramePacingRule, NoFramesWhileEverythingIsPaused) {
    Window w;
    w.pause(5);
    const FrameRequest r = frameRequest(w.host, 6, 30);
    EXPECT_FALSE(r.needsFrames());
    EXPECT_FALSE(r.nextStart.has_value());
}

TEST(FramePacingRule, NoFramesWhenNothingRunsAndAWakeUpForWhatWaits) {
    Layer host;
    auto ring = std::make_shared<Layer>();
    host.addSublayer(ring);
    KeyframeAnimation held = keyframes("opacity", {0.0, 1.0});
    held.duration = 1;
    held.fillMode = FillMode::forwards;
    held.isRemovedOnCompletion = false;
    ring->add(held, "held");
    AnimationGroup ripple;
    ripple.beginTime = 10.44;
    ripple.duration = 1.8;
    ripple.add(keyframes("opacity", {0.0, 1.0, 0.0}));
    ring->add(ripple, "ripple");
    host.commit(3);
    const FrameRequest idle = frameRequest(host, 5, 30);
    EXPECT_FALSE(idle.needsFrames());  // the held fade is over, the ripple not yet begun
    ASSERT_TRUE(idle.nextStart.has_value());
    EXPECT_DOUBLE_EQ(*idle.nextStart, 10.44);
    EXPECT_EQ(frameRequest(host, 11, 30).rate, 30);
    EXPECT_FALSE(frameRequest(host, 12.3, 30).needsFrames());
}

// Removing finished animations and pacing frames read the begin time an animation got when it was
// committed, however long after it was added, and what a group's children prefer.
TEST(FramePacingRule, RemovalAndPacingFollowTheCommittedBeginTime) {
    struct Case {
        const char* what;
        double begin;     // the animation's own begin time (0: when committed)
        double speed;     // the animation's speed
        double commitAt;  // media time of the commit
        double at;        // media time asked about
        double rate;      // the frame rate wanted then
        bool kept;        // still on the layer after removing the finished ones
    };
    // Every animation lasts 1 s of its own time.
    const Case cases[] = {
        {"begins at the commit, running", 0, 1, 5, 5.5, 30, true},
        {"begins at the commit, over", 0, 1, 5, 6.25, 0, false},
        {"begins at the commit, not yet over at 1 s", 0, 1, 7, 1.5, 0, true},
        {"explicit begin, waiting", 8, 1, 5, 6, 0, true},
        {"explicit begin, running", 8, 1, 5, 8.5, 30, true},
        {"explicit begin, over", 8, 1, 5, 9.25, 0, false},
        {"half speed, running at 1.5 s", 0, 0.5, 5, 6.5, 30, true},
        {"half speed, over after 2 s", 0, 0.5, 5, 7.25, 0, false},
        {"speed 0 never runs nor ends", 0, 0, 5, 50, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layer l;
        BasicAnimation fade = basic("opacity", 0.0, 1.0, 1);
        fade.beginTime = c.begin;
        fade.speed = c.speed;
        l.add(fade, "fade");
        l.commit(c.commitAt);
        EXPECT_EQ(frameRequest(l, c.at, 30).rate, c.rate);
        l.removeFinishedAnimations(c.at);
        EXPECT_EQ(l.animationEntries().size(), c.kept ? 1u : 0u);
    }

    // A group states no rate of its own: its children's largest counts, the cap when none has one.
    Layer l;
    AnimationGroup group;
    KeyframeAnimation a = keyframes("opacity", {0.0, 1.0});
    a.preferredFrameRateRange = {0, 12, 0};
    KeyframeAnimation b = keyframes("opacity", {1.0, 0.0});
    b.preferredFrameRateRange = {0, 20, 18};
    group.add(a);
    group.add(b);
    group.duration = 4;
    l.add(group, "group");
    l.commit(2);
    EXPECT_EQ(frameRequest(l, 3, 30).rate, 18);
    EXPECT_EQ(frameRequest(l, 3, 15).rate, 15);
    EXPECT_EQ(frameRequest(l, 6.5, 30).rate, 0);  // over at 6
    l.removeFinishedAnimations(5.5);
    EXPECT_EQ(l.animationEntries().size(), 1u);
    l.removeFinishedAnimations(6.5);
    EXPECT_EQ(l.animationEntries().size(), 0u);
}
