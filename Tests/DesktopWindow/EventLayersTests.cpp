// Event builders: bursts of gunfire and blasts, in their full and picture forms.

#include "BuilderTestSupport.h"

#include "DesktopWindow/EventLayers.h"
#include "Renderer/Random.h"

#include <gtest/gtest.h>

using namespace buildertest;

namespace {

Sprite event(cg::Point to, double phase = 0.2) {
    Sprite s;
    s.at = {100, 100};
    s.to = to;
    s.travel = 7;
    s.phase = phase;
    return s;
}

}  // namespace

TEST(EventLayers, ABurstFiresSixShotsWithTracersOnEveryOtherOne) {
    for (double flight : {1.0, 0.0}) {  // 420 points away, or at the muzzle itself
        const auto burst = EventLayers::burst(event({100 + 420 * flight, 100}));
        const auto subs = burst->sublayers();
        ASSERT_EQ(subs.size(), 15u);
        const std::string order = "ftpfpftpfpftpfp";  // flash, tracer, puff, …
        for (size_t i = 0; i < subs.size(); ++i) {
            const auto& g = anim<ca::AnimationGroup>(*subs[i], "event");
            EXPECT_EQ(subs[i]->opacity(), 0);
            EXPECT_EQ(g.duration, 7);
            EXPECT_NEAR(g.timeOffset, 1.4, 1e-12);
            EXPECT_EQ(subs[i]->kind() == ca::Layer::Kind::gradient, order[i] == 't');
            if (order[i] == 't') {
                EXPECT_EQ(g.animations.size(), flight > 0 ? 2u : 0u);  // no flight, no tracer
            }
        }
        const auto& lastPuff = child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*subs[14], "event"), 1);
        EXPECT_NEAR(lastPuff.beginTime + lastPuff.duration, 0.6 + flight + 1.4, 1e-12);
    }
}

TEST(EventLayers, BlastDebrisDrawsThreeNumbersPerParticleFromItsPhase) {
    const auto debris = EventLayers::debris(event({}));
    RNG rng(200017);
    for (int k = 0; k < 6; ++k) {
        const double u1 = rng.next(), u2 = rng.next(), u3 = rng.next();
        EXPECT_EQ(debris[k].direction, 6 * 0.2 + 1.05 * k + 0.8 * u1 - 0.4);
        EXPECT_EQ(debris[k].distance, 2.5 + 3.5 * u2);
        EXPECT_EQ(debris[k].radius, 3.5 + 3 * u3);
    }
    EXPECT_NE(EventLayers::debris(event({}, 0.21))[3].radius, debris[3].radius);
    const auto blast = EventLayers::blast(event({}));
    ASSERT_EQ(blast->sublayers().size(), 8u);  // flash, ring, six particles
    EXPECT_EQ(blast->sublayers()[1]->kind(), ca::Layer::Kind::shape);
    EXPECT_EQ(blast->sublayers()[4]->position(), debris[2].start);
    EXPECT_EQ(blast->sublayers()[4]->bounds().width(), 2 * debris[2].radius);
}

TEST(EventLayers, PictureFormsOnlyFlash) {
    struct Case { bool burst; double pulse; size_t flashes; double end; };
    for (const Case c : {Case{true, 0, 6, 0.67}, {false, 0, 1, 0.5}, {false, 0.1, 1, 0.75}}) {
        Sprite s = event({});
        s.glow = true;
        s.pulse = c.pulse;
        s.image = cg::Context::makeBitmap(8, 8, 1)->makeImage();
        const auto l = c.burst ? EventLayers::burst(s) : EventLayers::blast(s);
        EXPECT_TRUE(l->sublayers().empty());
        EXPECT_EQ(l->contents(), s.image);
        const auto& g = anim<ca::AnimationGroup>(*l, "event");
        ASSERT_EQ(g.animations.size(), c.flashes);
        const auto& last = child<ca::KeyframeAnimation>(g, c.flashes - 1);
        EXPECT_NEAR(last.beginTime + last.duration, c.end, 1e-12);
    }
}
