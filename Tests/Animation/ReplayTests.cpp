// A snapshot of a tree that has not changed since its last capture replays its own copies of the
// layers: the entries must have the bits a full walk gives, and any change to any layer must end the
// replay before the next capture shows it.

#include "AnimationTestSupport.h"

#include "Platform/Animation/Snapshot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

using namespace ca;
using namespace catest;

namespace {

cg::ImageRef picture(uint32_t argb, int w = 8, int h = 6) {
    return cg::Image::fromARGB32(w, h, std::vector<uint32_t>(size_t(w) * size_t(h), argb));
}

bool sameBits(const cg::Transform& a, const cg::Transform& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Everything a compositor reads of the entries, bit for bit.
::testing::AssertionResult sameEntries(const Snapshot& a, const Snapshot& b) {
    if (a.entries().size() != b.entries().size())
        return ::testing::AssertionFailure() << a.entries().size() << " entries against " << b.entries().size();
    for (size_t i = 0; i < a.entries().size(); ++i) {
        const Snapshot::Entry &x = a.entries()[i], &y = b.entries()[i];
        const Presentation &p = x.pres, &q = y.pres;
        const bool same =
            x.layer == y.layer && x.id == y.id && x.version == y.version && x.end == y.end && x.visible == y.visible &&
            x.kind == y.kind && x.filled == y.filled && x.contentsFilter == y.contentsFilter && x.alpha == y.alpha &&
            x.ownOps == y.ownOps && x.subtreeOps == y.subtreeOps && x.ownBounds == y.ownBounds &&
            x.subtreeBounds == y.subtreeBounds && x.shadowBounds == y.shadowBounds &&
            (!x.visible ||
             (x.rigid == y.rigid && sameBits(x.toDevice, y.toDevice) && sameBits(x.toUser, y.toUser) &&
              x.outerAlpha == y.outerAlpha && x.outerFilter == y.outerFilter && x.blend == y.blend &&
              x.contentShadow == y.contentShadow && x.pathShadow == y.pathShadow && x.shadow == y.shadow &&
              p.localTime == q.localTime && p.bounds == q.bounds && p.position == q.position &&
              p.opacity == q.opacity && sameBits(p.transform, q.transform) && p.contents == q.contents &&
              p.inTransition == q.inTransition && p.transitionFrom == q.transitionFrom &&
              p.transitionProgress == q.transitionProgress && p.hasPath == q.hasPath && p.path == q.path &&
              p.lineWidth == q.lineWidth));
        if (!same) return ::testing::AssertionFailure() << "entry " << i << " differs";
    }
    if (a.finishedAnimations() != b.finishedAnimations()) return ::testing::AssertionFailure() << "finished differ";
    const FrameRequest ra = a.frameRequest(30), rb = b.frameRequest(30);
    if (ra.rate != rb.rate || ra.nextStart != rb.nextStart) return ::testing::AssertionFailure() << "pacing differs";
    return ::testing::AssertionSuccess();
}

// A small tree with what the walk treats apart: a group of keyframes in a container with its own
// time line, a turning sprite, cubic keyframes with timing functions, a path keyframe, a shape with
// an animated path, shadows of both kinds, a gradient, a fill, a fade of pictures, a hidden branch,
// a blend mode, nearest sampling, and animations that finish or wait to begin.
struct Tree {
    std::shared_ptr<Layer> root = std::make_shared<Layer>();
    std::shared_ptr<Layer> flock = std::make_shared<Layer>(), bird = std::make_shared<Layer>(),
                           spinner = std::make_shared<Layer>(), glow = std::make_shared<Layer>(),
                           hidden = std::make_shared<Layer>(), hiddenChild = std::make_shared<Layer>(),
                           fading = std::make_shared<Layer>();
    std::shared_ptr<ShapeLayer> wave = std::make_shared<ShapeLayer>();
    std::shared_ptr<GradientLayer> sky = std::make_shared<GradientLayer>();

    Tree() {
        root->setFrame(cg::Rect(0, 0, 400, 300));
        sky->setFrame(cg::Rect(0, 0, 400, 300));
        sky->setColors({cg::Color::black(), cg::Color::white()});
        root->addSublayer(sky);

        flock->setFrame(cg::Rect(20, 30, 200, 100));
        flock->setSpeed(1.5);
        flock->setTimeOffset(0.3);
        root->addSublayer(flock);
        bird->setFrame(cg::Rect(0, 0, 16, 12));
        bird->setContents(picture(0xff336699));
        bird->setShadowOpacity(0.5);
        AnimationGroup g;
        g.duration = 4;
        g.repeatCount = kForever;
        g.add(looping(keyframes("position", {cg::Point{0, 0}, cg::Point{120, 40}, cg::Point{190, 10}}, {0, 0.3, 1}), 4, 0));
        auto flap = keyframes("transform.scale.y", {1.0, 0.4, 1.0});
        flap.calculationMode = CalculationMode::cubic;
        flap.timingFunctions = {TimingFunction::named(TimingFunction::Name::easeIn),
                                TimingFunction::named(TimingFunction::Name::easeOut)};
        flap.duration = 0.5;
        flap.repeatCount = kForever;
        g.add(flap);
        bird->add(g, "fly");
        flock->addSublayer(bird);

        spinner->setFrame(cg::Rect(250, 150, 30, 30));
        spinner->setContents(picture(0x80ff0000));
        spinner->setMinificationFilter(ContentsFilter::nearest);
        spinner->setMagnificationFilter(ContentsFilter::nearest);
        spinner->add(looping(keyframes("transform.rotation.z", {0.0, 6.283185307179586}), 3, 0.25), "spin");
        KeyframeAnimation along("position");
        cg::Path route;
        route.moveTo({250, 150});
        route.curveTo({300, 200}, {350, 100}, {380, 160});
        along.setPath(route);
        along.values = {cg::Point{0, 0}, cg::Point{1, 1}};  // the path wins over them
        along.rotationMode = RotationMode::autoRotate;
        spinner->add(looping(along, 5, 0), "along");
        root->addSublayer(spinner);

        glow->setFrame(cg::Rect(100, 200, 40, 40));
        glow->setBackgroundColor(cg::Color{1, 0.8, 0.2, 0.7});
        glow->setCompositingFilter(CompositingFilter::plusLighter);
        cg::Path disc;
        disc.addEllipse(cg::Rect(0, 0, 40, 40));
        glow->setShadowPath(disc);
        glow->setShadowOpacity(0.8);
        glow->add(basic("opacity", 0.2, 1.0, 2), "pulse");  // finishes at 2 s and is removed
        ca::BasicAnimation later = basic("opacity", 1.0, 0.0, 1);
        later.beginTime = 6;  // waits to begin
        glow->add(later, "later");
        root->addSublayer(glow);

        wave->setFrame(cg::Rect(0, 250, 400, 40));
        cg::Path a, b;
        a.moveTo({0, 20});
        a.lineTo({400, 10});
        b.moveTo({0, 10});
        b.lineTo({400, 30});
        wave->setPath(a);
        wave->setFillColor(std::nullopt);
        wave->setStrokeColor(cg::Color::white());
        wave->setLineWidth(3);
        wave->add(looping(basic("path", Value(a), Value(b), 2), 2, 0), "swell");
        root->addSublayer(wave);

        hidden->setFrame(cg::Rect(10, 10, 50, 50));
        hidden->setHidden(true);
        hiddenChild->setFrame(cg::Rect(0, 0, 10, 10));
        hiddenChild->setContents(picture(0xff00ff00));
        hiddenChild->add(looping(keyframes("opacity", {0.0, 1.0}), 1, 0), "blink");
        hidden->addSublayer(hiddenChild);
        root->addSublayer(hidden);

        fading->setFrame(cg::Rect(300, 20, 32, 24));
        fading->setContents(picture(0xff0000ff));
        Transition fade;
        fade.duration = 3;
        fading->add(fade, "fade");
        fading->setContents(picture(0xffffff00));
        root->addSublayer(fading);

        root->commit(0);
    }
};

constexpr double kTolerance = 0.25;
const cg::Transform kToDevice = cg::Transform::scale(2, 2);

::testing::AssertionResult asAFullWalk(Snapshot& kept, const Layer& root, double t) {
    kept.capture(root, t, kToDevice);
    Snapshot fresh;
    fresh.setMotionTolerance(kTolerance);
    fresh.capture(root, t, kToDevice);
    return sameEntries(kept, fresh);
}

}  // namespace

TEST(Replay, AnUnchangedTreeIsReplayedWithTheBitsOfAFullWalk) {
    for (double tolerance : {0.0, kTolerance}) {
        SCOPED_TRACE("tolerance " + std::to_string(tolerance));
        Tree tree;
        Snapshot kept, fresh;
        kept.setMotionTolerance(tolerance);
        fresh.setMotionTolerance(tolerance);
        size_t replays = 0;
        for (int f = 0; f < 240; ++f) {
            const double t = f / 30.0;
            kept.capture(*tree.root, t, kToDevice);
            replays += kept.replayed();
            fresh.capture(*tree.root, t, kToDevice);
            EXPECT_FALSE(fresh.replayed() && f == 0);
            Snapshot once;
            once.setMotionTolerance(tolerance);
            once.capture(*tree.root, t, kToDevice);
            EXPECT_FALSE(once.replayed());
            ASSERT_TRUE(sameEntries(kept, once)) << "at " << t;
        }
        EXPECT_EQ(replays, 239u);  // every capture after the first
    }
}

TEST(Replay, AnyChangeToTheTreeIsShownByTheNextCapture) {
    const struct {
        const char* what;
        std::function<void(Tree&)> change;
    } rows[] = {
        {"a position deep down", [](Tree& t) { t.bird->setPosition({5, 6}); }},
        {"a branch hidden", [](Tree& t) { t.flock->setHidden(true); }},
        {"a branch shown", [](Tree& t) { t.hidden->setHidden(false); }},
        {"new contents", [](Tree& t) { t.spinner->setContents(picture(0xff123456, 12, 12)); }},
        {"a sublayer added", [](Tree& t) {
             auto l = std::make_shared<Layer>();
             l->setFrame(cg::Rect(1, 2, 3, 4));
             l->setContents(picture(0xffffffff));
             t.flock->addSublayer(l);
         }},
        {"a sublayer removed", [](Tree& t) { t.bird->removeFromSuperlayer(); }},
        {"sublayers reordered", [](Tree& t) { t.root->insertSublayer(t.wave, size_t(0)); }},
        {"an animation added", [](Tree& t) { t.sky->add(basic("opacity", 1.0, 0.5, 4), "dim"); }},
        {"an animation replaced", [](Tree& t) {
             t.spinner->add(looping(keyframes("transform.rotation.z", {0.0, -1.0}), 2, 0), "spin");
         }},
        {"an animation removed", [](Tree& t) { t.bird->removeAnimation("fly"); }},
        {"all animations removed", [](Tree& t) { t.spinner->removeAllAnimations(); }},
        {"a begin time committed", [](Tree& t) {
             t.sky->add(basic("opacity", 0.0, 1.0, 4), "in");
             t.root->commit(3);  // half way at 5 s
         }},
        {"finished animations removed", [](Tree& t) { t.root->removeFinishedAnimations(5); }},
        {"a shape's path", [](Tree& t) {
             cg::Path p;
             p.moveTo({0, 0});
             p.lineTo({10, 10});
             t.wave->setPath(p);
         }},
        {"a shape's line width", [](Tree& t) { t.wave->setLineWidth(9); }},
        {"a shadow", [](Tree& t) { t.spinner->setShadowOpacity(1); }},
        {"a fill", [](Tree& t) { t.bird->setBackgroundColor(cg::Color::white()); }},
        {"sampling", [](Tree& t) { t.bird->setMagnificationFilter(ContentsFilter::nearest); }},
        {"a blend mode", [](Tree& t) { t.glow->setCompositingFilter(CompositingFilter::colorDodge); }},
        {"a time line", [](Tree& t) { t.flock->setSpeed(0.25); }},
        {"the root's opacity", [](Tree& t) { t.root->setOpacity(0.5); }},
        {"a gradient", [](Tree& t) { t.sky->setColors({}); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Tree tree;
        Snapshot kept;
        kept.setMotionTolerance(kTolerance);
        kept.capture(*tree.root, 4.9, kToDevice);
        ASSERT_TRUE(asAFullWalk(kept, *tree.root, 5.0));
        ASSERT_TRUE(kept.replayed());
        Snapshot before = kept;  // what a replay that missed the change would show
        const uint64_t mutations = Layer::mutations();
        row.change(tree);
        EXPECT_NE(Layer::mutations(), mutations);
        EXPECT_TRUE(asAFullWalk(kept, *tree.root, 5.0));
        EXPECT_FALSE(kept.replayed());
        EXPECT_FALSE(sameEntries(kept, before));  // the change shows at this time
        // Unchanged again from here on: replayed again, still as a full walk.
        EXPECT_TRUE(asAFullWalk(kept, *tree.root, 8.5));
        EXPECT_TRUE(kept.replayed());
    }
}

TEST(Replay, ReadingTheTreeChangesNothingAndAnotherRootIsWalkedInFull) {
    Tree one, two;
    Snapshot kept;
    kept.setMotionTolerance(kTolerance);
    kept.capture(*one.root, 1, kToDevice);
    const uint64_t mutations = Layer::mutations();
    (void)one.bird->presentation(2);
    (void)one.root->frame();
    (void)one.spinner->animationKeys();
    (void)frameRequest(*one.root, 2, 30);
    Snapshot other;
    other.capture(*two.root, 2, kToDevice);
    EXPECT_EQ(Layer::mutations(), mutations);
    EXPECT_TRUE(asAFullWalk(kept, *one.root, 2));
    EXPECT_TRUE(kept.replayed());
    EXPECT_TRUE(asAFullWalk(kept, *two.root, 2));
    EXPECT_FALSE(kept.replayed());
    EXPECT_TRUE(asAFullWalk(kept, *one.root, 2));
    EXPECT_FALSE(kept.replayed());

    // Committing fixes the begin time of what was added since: a change of its own.
    one.sky->add(basic("opacity", 0.0, 1.0, 1), "in");
    EXPECT_TRUE(asAFullWalk(kept, *one.root, 2));
    const uint64_t added = Layer::mutations();
    one.root->commit(2);
    EXPECT_NE(Layer::mutations(), added);
    EXPECT_TRUE(asAFullWalk(kept, *one.root, 2.5));
    EXPECT_FALSE(kept.replayed());
    const uint64_t committed = Layer::mutations();
    one.root->commit(3);  // nothing left to fix
    EXPECT_EQ(Layer::mutations(), committed);
}
