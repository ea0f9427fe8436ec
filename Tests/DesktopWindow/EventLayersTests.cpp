// Event builders: bursts of gunfire and blasts, in their full and picture forms.

#include "BuilderTestSupport.h"

#include "DesktopWindow/EventLayers.h"
#include "Renderer/Random.h"

using namespace buildertest;

namespace {

Sprite event(Sprite::Kind kind, cg::Point to, double phase = 0.2) {
    Sprite s;
    s.kind = kind;
    s.at = {100, 100};
    s.to = to;
    s.travel = 7;
    s.phase = phase;
    s.color = 0xFFD080;
    s.dust = 0x806040;
    return s;
}

}  // namespace

TEST(EventLayers, ABurstFiresSixShotsWithTracersOnEveryOtherOne) {
    struct Case { cg::Point to; double flight; };
    for (const Case c : {Case{{520, 100}, 1}, {{100, 100}, 0}}) {
        const auto burst = EventLayers::burst(event(Sprite::Kind::burst, c.to));
        const auto subs = burst->sublayers();
        ASSERT_EQ(subs.size(), 15u);
        const char order[] = "ftpfpftpfpftpfp";  // flash, tracer, puff, …
        for (size_t i = 0; i < subs.size(); ++i) {
            const auto& l = *subs[i];
            EXPECT_EQ(l.opacity(), 0);
            EXPECT_EQ(l.kind() == ca::Layer::Kind::gradient, order[i] == 't');
            const auto& g = anim<ca::AnimationGroup>(l, "event");
            EXPECT_EQ(g.duration, 7);
            EXPECT_NEAR(g.timeOffset, 1.4, 1e-12);
            if (order[i] == 't') {
                // A shot at its own muzzle has no flight to show.
                ASSERT_EQ(g.animations.size(), c.flight > 0 ? 2u : 0u);
                if (c.flight > 0) {
                    EXPECT_EQ(child<ca::KeyframeAnimation>(g, 0).rotationMode, ca::RotationMode::autoRotate);
                }
            }
        }
        // The last puff starts with its shot's arrival and ends 1.4 s later.
        const auto& lastPuff = child<ca::KeyframeAnimation>(anim<ca::AnimationGroup>(*subs[14], "event"), 1);
        EXPECT_NEAR(lastPuff.beginTime + lastPuff.duration, 0.6 + c.flight + 1.4, 1e-12);
        EXPECT_EQ(lastPuff.keyPath(), "transform.scale");
    }
}

TEST(EventLayers, BlastDebrisDrawsThreeNumbersPerParticleFromItsPhase) {
    const Sprite s = event(Sprite::Kind::blast, {});
    const auto debris = EventLayers::debris(s);
    RNG rng(200017);
    for (int k = 0; k < 6; ++k) {
        const double u1 = rng.next(), u2 = rng.next(), u3 = rng.next();
        EXPECT_EQ(debris[k].direction, 6 * 0.2 + 1.05 * k + 0.8 * u1 - 0.4);
        EXPECT_EQ(debris[k].distance, 2.5 + 3.5 * u2);
        EXPECT_EQ(debris[k].radius, 3.5 + 3 * u3);
        EXPECT_NEAR(debris[k].end.y - debris[k].start.y, 12 + 3 * std::sin(debris[k].direction), 1e-9);
    }
    EXPECT_EQ(EventLayers::debris(event(Sprite::Kind::blast, {}, 0.2))[3].start, debris[3].start);
    EXPECT_NE(EventLayers::debris(event(Sprite::Kind::blast, {}, 0.21))[3].radius, debris[3].radius);

    const auto blast = EventLayers::blast(s);
    ASSERT_EQ(blast->sublayers().size(), 8u);  // flash, ring, six particles
    EXPECT_EQ(blast->sublayers()[1]->kind(), ca::Layer::Kind::shape);
    const auto& particle = *blast->sublayers()[4];
    EXPECT_EQ(particle.bounds().width(), 2 * debris[2].radius);
    EXPECT_EQ(particle.position(), debris[2].start);
    EXPECT_TRUE(particle.shadowPath().has_value());
    EXPECT_EQ(keyPaths(anim<ca::AnimationGroup>(particle, "event")),
              (std::vector<std::string>{"opacity", "transform.scale", "position"}));
}

TEST(EventLayers, PictureFormsOnlyFlash) {
    struct Case { Sprite::Kind kind; double pulse; size_t flashes; double length; };
    for (const Case c : {Case{Sprite::Kind::burst, 0, 6, 0.67}, {Sprite::Kind::blast, 0, 1, 0.5}, {Sprite::Kind::blast, 0.1, 1, 0.75}}) {
        Sprite s = event(c.kind, {});
        s.glow = true;
        s.pulse = c.pulse;
        s.image = cg::Context::makeBitmap(8, 8, 1)->makeImage();
        s.size = 16;
        const auto l = (c.kind == Sprite::Kind::burst ? EventLayers::burst : EventLayers::blast)(s);
        EXPECT_TRUE(l->sublayers().empty());
        EXPECT_EQ(l->contents(), s.image);
        EXPECT_EQ(l->opacity(), 0);
        const auto& g = anim<ca::AnimationGroup>(*l, "event");
        ASSERT_EQ(g.animations.size(), c.flashes);
        const auto& last = child<ca::KeyframeAnimation>(g, c.flashes - 1);
        EXPECT_NEAR(last.beginTime + last.duration, c.length, 1e-12);
    }
}

TEST(EventLayers, ContactSheetOfTheWarzoneAtNight) {
    // Events that play during the sheet's times (each replays once per `travel` seconds).
    auto playing = [](const LayerRef& l) {
        for (double t : kSheetTimes) {
            if (l->sublayers().empty() && l->presentation(t).opacity > 0.1) return true;
            for (const auto& part : l->sublayers())
                if (part->presentation(t).opacity > 0.1) return true;
        }
        return false;
    };
    std::vector<SheetRow> rows;
    for (auto [kind, build] : {std::pair{Sprite::Kind::burst, &EventLayers::burst}, {Sprite::Kind::blast, &EventLayers::blast}}) {
        auto picked = sprites(SceneKind::warzone, true, kind, [&](const Sprite& s) { return playing(build(s)); });
        picked.resize(std::min<size_t>(picked.size(), 2));
        for (auto& r : rowsOf(SceneKind::warzone, true, picked, build, 30)) rows.push_back(r);
    }
    ASSERT_GE(rows.size(), 3u);
    const auto sheet = contactSheet("event-sheet", rows, kSheetTimes);
    ASSERT_TRUE(sheet);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) EXPECT_GT(rowChange(*sheet, r, 5), 0.05) << r;
}
