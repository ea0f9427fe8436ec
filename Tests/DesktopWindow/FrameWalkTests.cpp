// The one walk a frame of the live desktop makes over its tree (the snapshot, which also paces the
// frames and finds the finished animations) against the three walks it replaces, on the trees of
// real scenes: every sprite's layer over the rendered ground, as the desktop stacks them.

#include "BuilderTestSupport.h"

#include "DesktopWindow/SpriteLayer.h"
#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/FramePacing.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Snapshot.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace buildertest;

namespace {

LayerRef liveTree(const RenderedScene& scene) {
    auto root = std::make_shared<ca::Layer>(), ground = std::make_shared<ca::Layer>();
    const cg::Rect screen(0, 0, scene.image->pixelWidth() / 2.0, scene.image->pixelHeight() / 2.0);
    root->setFrame(screen);
    ground->setFrame(screen);
    ground->setContents(scene.image);
    root->addSublayer(ground);
    std::vector<LayerRef> glows, others;
    for (const Sprite& s : scene.sprites) (s.glow ? glows : others).push_back(layers::layer(s));
    for (auto& l : glows) root->addSublayer(l);
    for (auto& l : others) root->addSublayer(l);
    // A fade of the whole tree that ends (and is removed) mid-way, and one that waits to begin, so
    // that every tree has removals and a wake-up to find besides what its sprites do.
    ca::BasicAnimation fade("opacity");
    fade.fromValue = 0.5;
    fade.toValue = 1.0;
    fade.duration = 2;
    root->add(fade, "fade");
    ca::BasicAnimation later = fade;
    later.beginTime = 50;
    ground->add(later, "later");
    root->commit(0);
    return root;
}

size_t countAnimations(const ca::Layer& l) {
    size_t n = l.animationEntries().size();
    for (const auto& s : l.sublayers()) n += countAnimations(*s);
    return n;
}

// Everything a compositor reads of an entry, bit for bit (the trees are distinct, so not the layer).
::testing::AssertionResult sameEntries(const ca::Snapshot& a, const ca::Snapshot& b) {
    if (a.entries().size() != b.entries().size()) return ::testing::AssertionFailure() << "entry counts differ";
    for (size_t i = 0; i < a.entries().size(); ++i) {
        const ca::Snapshot::Entry &x = a.entries()[i], &y = b.entries()[i];
        const ca::Presentation &p = x.pres, &q = y.pres;
        // Only what is visible is valid: a hidden entry keeps whatever it held before.
        const bool same =
            x.end == y.end && x.visible == y.visible && x.alpha == y.alpha && x.ownOps == y.ownOps &&
            x.subtreeOps == y.subtreeOps && x.ownBounds == y.ownBounds && x.subtreeBounds == y.subtreeBounds &&
            x.shadowBounds == y.shadowBounds &&
            (!x.visible ||
             (x.rigid == y.rigid && x.toDevice == y.toDevice && x.toUser == y.toUser && x.outerAlpha == y.outerAlpha &&
              x.blend == y.blend && x.shadow == y.shadow && p.localTime == q.localTime && p.bounds == q.bounds &&
              p.position == q.position && p.opacity == q.opacity && p.transform == q.transform &&
              p.contents == q.contents && p.inTransition == q.inTransition &&
              p.transitionProgress == q.transitionProgress));
        if (!same) return ::testing::AssertionFailure() << "entry " << i << " differs";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(FrameWalk, OneWalkGivesTheRemovalsPacingAndSnapshotOfThree) {
    struct Case {
        SceneKind kind;
        bool night;
    };
    std::vector<Case> cases;
    for (SceneKind kind : scene_kind::allCases)
        for (bool night : {false, true}) cases.push_back({kind, night});
    const double times[] = {0, 1.0 / 30, 1.5, 2.25, 3.3, 10, 10.0 + 1.0 / 30, 47.5, 61};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(scene_kind::rawValue(c.kind)) + (c.night ? " by night" : " by day"));
        const RenderedScene& s = scene(c.kind, c.night);
        LayerRef separate = liveTree(s), fused = liveTree(s);
        ca::Snapshot three, one;
        three.setMotionTolerance(0.25);
        one.setMotionTolerance(0.25);
        size_t removedInAll = 0, running = 0;
        for (double t : times) {
            SCOPED_TRACE(t);
            const size_t had = countAnimations(*separate);
            separate->removeFinishedAnimations(t);
            const size_t removed = had - countAnimations(*separate);
            three.capture(*separate, t, cg::Transform::scale(2, 2));
            one.capture(*fused, t, cg::Transform::scale(2, 2));
            EXPECT_EQ(one.finishedAnimations(), removed);
            EXPECT_TRUE(sameEntries(three, one));
            // What one snapshot remembers from its last frame never shows: a fresh one agrees.
            ca::Snapshot fresh;
            fresh.setMotionTolerance(0.25);
            fresh.capture(*fused, t, cg::Transform::scale(2, 2));
            EXPECT_TRUE(sameEntries(fresh, one));
            for (double cap : {30.0, 15.0}) {
                const ca::FrameRequest want = ca::frameRequest(*separate, t, cap), got = one.frameRequest(cap);
                EXPECT_EQ(got.rate, want.rate);
                EXPECT_EQ(got.nextStart, want.nextStart);
                running += want.needsFrames();
            }
            if (one.finishedAnimations() > 0) fused->removeFinishedAnimations(t);
            EXPECT_EQ(countAnimations(*fused), countAnimations(*separate));
            removedInAll += removed;
        }
        EXPECT_GT(removedInAll, 0u);
        EXPECT_GT(running, 0u);
    }
}

namespace {

bool sameBits(const cg::Transform& x, const cg::Transform& y) {
    const double a[] = {x.a, x.b, x.c, x.d, x.tx, x.ty}, b[] = {y.a, y.b, y.c, y.d, y.tx, y.ty};
    return std::memcmp(a, b, sizeof a) == 0;
}

}  // namespace

// Frame after frame the snapshot rounds turning layers with what it worked out for them the frame
// before; on every scene's tree that gives the bits a snapshot taken afresh gives, at 30 frames a
// second through stretches where the sprites turn slowly, quickly and not at all.
TEST(FrameWalk, FramesInARowRoundTurningLayersAsAFreshSnapshotDoes) {
    const double starts[] = {0, 3.3, 10, 47.5};
    for (SceneKind kind : scene_kind::allCases)
        for (bool night : {false, true}) {
            SCOPED_TRACE(std::string(scene_kind::rawValue(kind)) + (night ? " by night" : " by day"));
            LayerRef tree = liveTree(scene(kind, night));
            ca::Snapshot kept;
            kept.setMotionTolerance(0.25);
            size_t compared = 0, differing = 0, turning = 0;
            for (double start : starts)
                for (int f = 0; f < 45; ++f) {
                    const double t = start + f / 30.0;
                    kept.capture(*tree, t, cg::Transform::scale(2, 2));
                    ca::Snapshot fresh;
                    fresh.setMotionTolerance(0.25);
                    fresh.capture(*tree, t, cg::Transform::scale(2, 2));
                    ASSERT_EQ(kept.entries().size(), fresh.entries().size());
                    for (size_t i = 0; i < kept.entries().size(); ++i) {
                        const ca::Snapshot::Entry &x = kept.entries()[i], &y = fresh.entries()[i];
                        if (x.visible != y.visible) ++differing;
                        if (!x.visible || !y.visible) continue;
                        ++compared;
                        turning += !x.rigid;
                        if (!sameBits(x.toDevice, y.toDevice) || !sameBits(x.toUser, y.toUser)) ++differing;
                    }
                    EXPECT_TRUE(sameEntries(kept, fresh)) << "at " << t;
                }
            EXPECT_EQ(differing, 0u) << "of " << compared;
            EXPECT_GT(compared, 0u);
            if (kind == SceneKind::archipelago) {
                EXPECT_GT(turning, 0u);
            }
        }
}

namespace {

// The tree's keyframes evaluated from their values alone, as before they were laid out flat.
void clearFlat(ca::Animation& a) {
    if (a.kind() == ca::Animation::Kind::keyframe) static_cast<ca::KeyframeAnimation&>(a).clearFlat();
    if (a.kind() == ca::Animation::Kind::group)
        for (const auto& c : static_cast<ca::AnimationGroup&>(a).animations)
            if (c) clearFlat(const_cast<ca::Animation&>(*c));  // the tree's own copies: see Layer::add
}

void clearFlat(ca::Layer& l) {
    for (const auto& e : l.animationEntries()) clearFlat(*e.animation);
    // The layer laid its animations out for evaluation when they were added: an animation added and
    // removed again makes it lay them out afresh, from the values alone now.
    ca::BasicAnimation none("unknown.key");
    l.add(none, "clear flat");
    l.removeAnimation("clear flat");
    for (const auto& s : l.sublayers()) clearFlat(*s);
}

size_t countFlat(const ca::Animation& a) {
    if (a.kind() == ca::Animation::Kind::keyframe)
        return static_cast<const ca::KeyframeAnimation&>(a).flatKind() != ca::KeyframeAnimation::Flat::none;
    size_t n = 0;
    if (a.kind() == ca::Animation::Kind::group)
        for (const auto& c : static_cast<const ca::AnimationGroup&>(a).animations)
            if (c) n += countFlat(*c);
    return n;
}

// Keyframes laid out flat in the tree, groups' children included.
size_t countFlat(const ca::Layer& l) {
    size_t n = 0;
    for (const auto& e : l.animationEntries()) n += countFlat(*e.animation);
    for (const auto& s : l.sublayers()) n += countFlat(*s);
    return n;
}

bool sameBits(const cg::Point& p, const cg::Point& q) { return std::memcmp(&p, &q, sizeof p) == 0; }

}  // namespace

// Keyframes laid out flat (plain numbers and points side by side) present every layer of every
// scene with the same bits as the keyframes' values themselves, at times through the loops.
TEST(FrameWalk, KeyframesLaidOutFlatPresentAsTheirValues) {
    const double times[] = {0, 0.4, 1.0 / 30, 1.5, 2.25, 3.3, 7.77, 10, 10.0 + 1.0 / 30, 23.9, 47.5, 61, 300.2};
    for (SceneKind kind : scene_kind::allCases)
        for (bool night : {false, true}) {
            SCOPED_TRACE(std::string(scene_kind::rawValue(kind)) + (night ? " by night" : " by day"));
            const RenderedScene& s = scene(kind, night);
            LayerRef flat = liveTree(s), plain = liveTree(s);
            const size_t laidOut = countFlat(*flat);
            EXPECT_GT(laidOut, 0u);
            clearFlat(*plain);
            EXPECT_EQ(countFlat(*plain), 0u);
            EXPECT_EQ(countFlat(*flat), laidOut);  // the trees share no animations
            ca::Snapshot a, b;
            a.setMotionTolerance(0.25);
            b.setMotionTolerance(0.25);
            for (double t : times) {
                a.capture(*flat, t, cg::Transform::scale(2, 2));
                b.capture(*plain, t, cg::Transform::scale(2, 2));
                EXPECT_TRUE(sameEntries(a, b)) << "at " << t;
                size_t differing = 0;
                for (size_t i = 0; i < a.entries().size() && i < b.entries().size(); ++i) {
                    const ca::Presentation &p = a.entries()[i].pres, &q = b.entries()[i].pres;
                    if (!a.entries()[i].visible) continue;
                    if (!sameBits(p.position, q.position) || std::memcmp(&p.opacity, &q.opacity, sizeof(double)) != 0 ||
                        std::memcmp(&p.rotation, &q.rotation, sizeof(double)) != 0 ||
                        std::memcmp(&p.scaleX, &q.scaleX, sizeof(double)) != 0 ||
                        std::memcmp(&p.scaleY, &q.scaleY, sizeof(double)) != 0 ||
                        !sameBits(a.entries()[i].toDevice, b.entries()[i].toDevice))
                        ++differing;
                }
                EXPECT_EQ(differing, 0u) << "at " << t;
            }
        }
}
