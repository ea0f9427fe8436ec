// Frame pacing: the preferred frame-rate range of the running animations, and no frames at all
// while everything is paused.

#include "AnimationTestSupport.h"

#include "Platform/Animation/FramePacing.h"
#include "Platform/Animation/Snapshot.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

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

namespace {

size_t countAnimations(const Layer& l) {
    size_t n = l.animationEntries().size();
    for (const auto& s : l.sublayers()) n += countAnimations(*s);
    return n;
}

// A tree with every timing the pacing walk distinguishes: nested begin times, speeds (half, paused,
// reversed) and offsets on layers; waiting, running, finished, held and paused animations; groups
// whose children state the rate; a hidden subtree (its animations still count).
std::shared_ptr<Layer> pacingTree() {
    auto root = std::make_shared<Layer>();
    auto slow = std::make_shared<Layer>(), paused = std::make_shared<Layer>(), reversed = std::make_shared<Layer>();
    auto hidden = std::make_shared<Layer>(), leaf = std::make_shared<Layer>();
    slow->setSpeed(0.5);
    slow->setBeginTime(1.25);
    slow->setTimeOffset(0.3);
    paused->setSpeed(0);
    paused->setTimeOffset(4);
    reversed->setSpeed(-1);
    reversed->setTimeOffset(20);
    hidden->setHidden(true);
    root->addSublayer(slow);
    root->addSublayer(paused);
    root->addSublayer(reversed);
    root->addSublayer(hidden);
    slow->addSublayer(leaf);
    for (Layer* l : {root.get(), slow.get(), paused.get(), reversed.get(), hidden.get(), leaf.get()}) {
        l->setFrame(cg::Rect(10, 20, 30, 40));
        l->setBackgroundColor(cg::Color::rgb(0x336699));
    }

    BasicAnimation fade = basic("opacity", 0.0, 1.0, 1);  // now, over after 1 s
    root->add(fade, "fade");
    BasicAnimation later = basic("opacity", 1.0, 0.5, 0.5);
    later.beginTime = 6.5;
    later.preferredFrameRateRange = {0, 20, 12};
    root->add(later, "later");
    KeyframeAnimation spin = keyframes("transform.rotation.z", {0.0, 1.0});
    spin.duration = 2;
    spin.beginTime = 3;
    leaf->add(spin, "spin");  // turns the leaf while it runs, then is removed
    KeyframeAnimation held = keyframes("transform.scale", {1.0, 2.0});
    held.duration = 1;
    held.fillMode = FillMode::forwards;
    held.isRemovedOnCompletion = false;
    reversed->add(held, "held");
    leaf->add(looping(keyframes("position", {cg::Point{0, 0}, cg::Point{5, 3}}), 2.5, 0.3, true), "sway");
    paused->add(basic("opacity", 0.0, 1.0, 10), "still");
    reversed->add(basic("opacity", 0.0, 1.0, 3), "back");
    AnimationGroup ripple;
    ripple.beginTime = 9.75;
    ripple.duration = 1.5;
    KeyframeAnimation ring = keyframes("opacity", {0.0, 1.0, 0.0});
    ring.preferredFrameRateRange = {0, 24, 0};
    ripple.add(ring);
    hidden->add(ripple, "ripple");
    BasicAnimation stopped = basic("opacity", 0.0, 1.0, 1);
    stopped.speed = 0;
    hidden->add(stopped, "stopped");
    root->commit(0.5);
    return root;
}

bool sameEntries(const Snapshot& a, const Snapshot& b) {
    if (a.entries().size() != b.entries().size()) return false;
    for (size_t i = 0; i < a.entries().size(); ++i) {
        const Snapshot::Entry &x = a.entries()[i], &y = b.entries()[i];
        const bool same = x.visible == y.visible && x.rigid == y.rigid && x.end == y.end &&
                          x.toDevice == y.toDevice && x.alpha == y.alpha && x.subtreeBounds == y.subtreeBounds &&
                          (!x.visible || (x.pres.opacity == y.pres.opacity && x.pres.position == y.pres.position &&
                                          x.pres.transform == y.pres.transform));
        if (!same) return false;
    }
    return true;
}

}  // namespace

// The snapshot's walk gives the frame request and the finished animations that the walks of their
// own would (removal first, then pacing), and the snapshot is the one taken after the removal.
TEST(FramePacingRule, TheSnapshotWalkPacesAndFindsFinishedAnimationsAsTheSeparateWalks) {
    const double times[] = {0.5, 0.9, 1.5, 2, 3.2, 4.9, 5.5, 6, 7.2, 9, 10.5, 12, 30};
    auto separate = pacingTree(), fused = pacingTree();
    Snapshot before, after;
    before.setMotionTolerance(0.25);
    after.setMotionTolerance(0.25);
    size_t removedInAll = 0, waits = 0, runs = 0;
    for (double t : times) {
        SCOPED_TRACE(t);
        const size_t had = countAnimations(*separate);
        separate->removeFinishedAnimations(t);
        const size_t removed = had - countAnimations(*separate);
        before.capture(*separate, t, cg::Transform::scale(2, 2));
        after.capture(*fused, t, cg::Transform::scale(2, 2));
        EXPECT_EQ(after.finishedAnimations(), removed);
        EXPECT_TRUE(sameEntries(before, after));
        for (double cap : {60.0, 30.0, 15.0}) {
            const FrameRequest want = frameRequest(*separate, t, cap), got = after.frameRequest(cap);
            EXPECT_EQ(got.rate, want.rate) << "cap " << cap;
            EXPECT_EQ(got.nextStart, want.nextStart) << "cap " << cap;
            waits += want.nextStart.has_value();
            runs += want.rate > 0;
        }
        if (after.finishedAnimations() > 0) fused->removeFinishedAnimations(t);
        EXPECT_EQ(countAnimations(*fused), countAnimations(*separate));
        removedInAll += removed;
    }
    // The table reaches every branch: removals, waits and running animations.
    EXPECT_GE(removedInAll, 3u);
    EXPECT_GT(waits, 0u);
    EXPECT_GT(runs, 0u);
}

// Whether a layer may turn or scale (and so may not reuse resampled pictures) follows from what its
// animations animate, children of groups included, as the walk reads it from what the layer noted
// when each was added; and a layer's later commit moves the begin times the walk reads.
TEST(FramePacingRule, TheWalkKnowsWhichAnimationsTurnOrScaleAndWhenTheyBegin) {
    auto group = [](ca::Animation&& child) {
        AnimationGroup g;
        g.duration = 2;
        if (child.kind() == ca::Animation::Kind::keyframe) g.add(static_cast<KeyframeAnimation&>(child));
        else g.add(static_cast<BasicAnimation&>(child));
        return g;
    };
    KeyframeAnimation along = keyframes("position", {cg::Point{0, 0}, cg::Point{5, 3}});
    along.duration = 2;
    KeyframeAnimation pulse = keyframes("transform.scale", {1.0, 2.0});
    pulse.duration = 2;
    cg::Path track;
    track.moveTo({0, 0});
    track.lineTo({10, 5});
    along.setPath(track);
    KeyframeAnimation turningAlong = along;
    turningAlong.rotationMode = RotationMode::autoRotate;
    struct Row {
        const char* name;
        std::function<void(Layer&)> add;
        bool rigid;
    } rows[] = {
        {"fade", [](Layer& l) { l.add(basic("opacity", 0.0, 1.0, 2), "a"); }, true},
        {"slide", [](Layer& l) { l.add(basic("position", cg::Point{0, 0}, cg::Point{9, 9}, 2), "a"); }, true},
        {"spin", [](Layer& l) { l.add(basic("transform.rotation.z", 0.0, 1.0, 2), "a"); }, false},
        {"pulse", [&](Layer& l) { l.add(pulse, "a"); }, false},
        {"stretch", [](Layer& l) { l.add(basic("transform.scale.y", 1.0, 2.0, 2), "a"); }, false},
        {"along a path", [&](Layer& l) { l.add(along, "a"); }, true},
        {"turning along a path", [&](Layer& l) { l.add(turningAlong, "a"); }, false},
        {"group of a fade", [&](Layer& l) { l.add(group(basic("opacity", 0.0, 1.0, 2)), "a"); }, true},
        {"group of a spin", [&](Layer& l) { l.add(group(basic("transform.rotation.z", 0.0, 1.0, 2)), "a"); }, false},
        {"group turning along a path", [&](Layer& l) { l.add(group(KeyframeAnimation(turningAlong)), "a"); }, false},
        {"spin replaced by a fade", [](Layer& l) {
             l.add(basic("transform.rotation.z", 0.0, 1.0, 2), "a");
             l.add(basic("opacity", 0.0, 1.0, 2), "a");
         }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto root = std::make_shared<Layer>(), leaf = std::make_shared<Layer>();
        root->setFrame(cg::Rect(0, 0, 100, 100));
        leaf->setFrame(cg::Rect(10, 10, 20, 20));
        leaf->setBackgroundColor(cg::Color::rgb(0x336699));
        root->addSublayer(leaf);
        row.add(*leaf);
        // Committed at 5: the animation begins then and runs 2 s (a basic's duration, or the group's).
        root->commit(5);
        Snapshot snap;
        snap.setMotionTolerance(0.25);
        snap.capture(*root, 4, cg::Transform::scale(2, 2));
        ASSERT_EQ(snap.entries().size(), 2u);
        EXPECT_EQ(snap.entries()[1].rigid, row.rigid);
        EXPECT_EQ(snap.frameRequest(30).nextStart, std::optional<double>(5));
        EXPECT_EQ(snap.finishedAnimations(), 0u);
        snap.capture(*root, 5.5, cg::Transform::scale(2, 2));
        EXPECT_EQ(snap.frameRequest(30).rate, 30);
        EXPECT_EQ(snap.finishedAnimations(), 0u);
        snap.capture(*root, 7.5, cg::Transform::scale(2, 2));
        EXPECT_EQ(snap.finishedAnimations(), 1u);
        EXPECT_EQ(snap.frameRequest(30).rate, 0);
    }
}
