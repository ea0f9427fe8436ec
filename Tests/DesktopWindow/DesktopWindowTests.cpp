// The desktop window's layer tree: reuse across shows, fades, pausing, ripples. No display: a fake
// clock, a fake main-loop timer and a builder that makes one plain looping layer per sprite.

#include "DesktopWindow/DesktopWindow.h"

#include "DesktopWindow/ActorLayer.h"

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Graphics/Image.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Harness {
    double t = 100;
    bool low = false;
    int built = 0;
    struct Pending {
        double due;
        std::function<void()> run;
    };
    std::vector<Pending> pending;
    std::unique_ptr<DesktopWindow> window;

    explicit Harness(DesktopWindow::LayerBuilder build = {}) {
        if (!build) build = [this](const Sprite& s) { return layerFor(s); };
        window = std::make_unique<DesktopWindow>(
            cg::Rect(0, 0, 800, 600), std::move(build),
            DesktopWindow::Services{[this] { return t; }, [this] { return low; },
                                    [this](double d, std::function<void()> f) { pending.push_back({t + d, std::move(f)}); }});
    }

    std::shared_ptr<ca::Layer> layerFor(const Sprite& s) {
        ++built;
        auto l = std::make_shared<ca::Layer>();
        l->setBounds(cg::Rect(0, 0, 20, 20));
        l->setPosition(s.at);
        ca::BasicAnimation spin("transform.rotation.z");
        spin.fromValue = 0.0;
        spin.toValue = 2 * M_PI;
        spin.duration = 4;
        spin.repeatCount = ca::kForever;
        l->add(spin, "motion");
        return l;
    }

    // Moves the clock, running the timers that fall due, as the main loop would.
    void advance(double seconds) {
        t += seconds;
        for (bool ran = true; ran;) {
            ran = false;
            for (size_t i = 0; i < pending.size(); ++i)
                if (pending[i].due <= t) {
                    auto f = std::move(pending[i].run);
                    pending.erase(pending.begin() + long(i));
                    f();
                    ran = true;
                    break;
                }
        }
        window->host().removeFinishedAnimations(t);
    }
};

Sprite sprite(double x, bool glow = false) {
    Sprite s;
    s.kind = Sprite::Kind::light;
    s.at = {x, 50};
    s.size = 10;
    s.glow = glow;
    return s;
}

RenderedScene scene(std::vector<Sprite> sprites, std::string style = "sea-day") {
    RenderedScene r;
    r.image = cg::Image::fromARGB32(8, 6, std::vector<uint32_t>(48, 0xFF336699u));
    r.sprites = std::move(sprites);
    r.style = std::move(style);
    r.placed["sea-day-7"] = {{1, 2}};
    r.wet = [](cg::Point p) { return p.x < 400; };
    return r;
}

std::vector<const ca::Layer*> children(const ca::Layer& l) {
    std::vector<const ca::Layer*> out;
    for (const auto& s : l.sublayers()) out.push_back(s.get());
    return out;
}

bool has(const ca::Layer& l, const char* key) { return l.animation(key) != nullptr; }

}  // namespace

TEST(DesktopWindow, FirstShowOrdersLayersAndFadesTheWindowIn) {
    Harness h;
    EXPECT_FALSE(h.window->isVisible());
    const auto r = scene({sprite(1), sprite(2, true), sprite(3), sprite(4, true)});
    h.window->show(r, 0.7);
    const auto& live = h.window->live();
    ASSERT_EQ(live.size(), 4u);
    auto layerOf = [&](const Sprite& s) { return live.at("sea-day " + s.identity()).get(); };
    EXPECT_EQ(children(h.window->host()),
              (std::vector<const ca::Layer*>{&h.window->ground(), layerOf(r.sprites[1]), layerOf(r.sprites[3]),
                                             &h.window->sprites()}));
    EXPECT_EQ(children(h.window->sprites()),
              (std::vector<const ca::Layer*>{layerOf(r.sprites[0]), layerOf(r.sprites[2])}));
    for (const auto& [key, layer] : live) EXPECT_TRUE(has(*layer, "appear")) << key;
    EXPECT_EQ(h.window->ground().contents(), r.image);
    EXPECT_TRUE(has(h.window->ground(), "fade"));
    EXPECT_EQ(h.window->placed(), r.placed);
    EXPECT_TRUE(h.window->isWet({10, 10}));
    EXPECT_FALSE(h.window->isWet({500, 10}));

    EXPECT_TRUE(h.window->isVisible());
    EXPECT_EQ(h.window->alpha(h.t), 0);
    EXPECT_GT(h.window->alpha(h.t + 0.4), 0.2);
    EXPECT_LT(h.window->alpha(h.t + 0.4), 0.95);
    EXPECT_EQ(h.window->alpha(h.t + 0.8), 1);
    // The additive fade-in starts a whole opacity below the layer's own and ends on it.
    const ca::Layer& first = *layerOf(r.sprites[0]);
    EXPECT_NEAR(first.presentation(h.t).opacity, 0, 1e-9);
    EXPECT_NEAR(first.presentation(h.t + 0.35).opacity, 0.5, 1e-6);
    EXPECT_NEAR(first.presentation(h.t + 5).opacity, 1, 1e-9);
}

TEST(DesktopWindow, TheSameSceneShownTwiceReusesEveryLayer) {
    Harness h;
    // Two sprites with equal identity get keys K and K'.
    const auto r = scene({sprite(1), sprite(1), sprite(2, true), sprite(5)});
    h.window->show(r, 1);
    h.advance(10);
    const auto before = h.window->live();
    const auto hostOrder = children(h.window->host());
    const auto spriteOrder = children(h.window->sprites());
    const std::string k = "sea-day " + r.sprites[0].identity();
    ASSERT_TRUE(before.count(k) && before.count(k + "'"));
    EXPECT_NE(before.at(k), before.at(k + "'"));

    h.window->show(r, 1);
    EXPECT_EQ(h.built, 4);
    EXPECT_EQ(h.window->live(), before);
    EXPECT_EQ(children(h.window->host()), hostOrder);
    EXPECT_EQ(children(h.window->sprites()), spriteOrder);
    for (const auto& [key, layer] : h.window->live()) {
        EXPECT_FALSE(has(*layer, "appear")) << key;
        EXPECT_FALSE(has(*layer, "leave")) << key;
        EXPECT_TRUE(has(*layer, "motion")) << key;
    }
    EXPECT_TRUE(has(h.window->ground(), "fade"));
    EXPECT_TRUE(h.pending.empty());
}

TEST(DesktopWindow, NewSpritesGoBetweenReusedOnesAndLeftOversLeave) {
    Harness h;
    h.window->show(scene({sprite(1), sprite(3), sprite(9)}), 1);
    h.advance(5);
    const auto old = h.window->live();
    const auto& l1 = old.at("sea-day " + sprite(1).identity());
    const auto& l3 = old.at("sea-day " + sprite(3).identity());
    const auto& l9 = old.at("sea-day " + sprite(9).identity());

    h.window->show(scene({sprite(0), sprite(1), sprite(2), sprite(3)}), 2);
    const auto& live = h.window->live();
    const ca::Layer* l0 = live.at("sea-day " + sprite(0).identity()).get();
    const ca::Layer* l2 = live.at("sea-day " + sprite(2).identity()).get();
    // New layers go at the bottom or just above the previous sprite; the leaving one stays put.
    EXPECT_EQ(children(h.window->sprites()), (std::vector<const ca::Layer*>{l0, l1.get(), l2, l3.get(), l9.get()}));
    EXPECT_TRUE(has(*l9, "leave"));
    EXPECT_EQ(live.count("sea-day " + sprite(9).identity()), 0u);
    // "leave" ends a whole opacity down and holds until the layer is removed after the fade.
    EXPECT_NEAR(l9->presentation(h.t + 1).opacity, 0.5, 1e-6);
    h.advance(1.9);
    EXPECT_NE(l9->superlayer(), nullptr);
    EXPECT_NEAR(l9->presentation(h.t).opacity, 0.05, 1e-6);
    h.advance(0.2);
    EXPECT_EQ(l9->superlayer(), nullptr);
    EXPECT_EQ(children(h.window->sprites()).size(), 4u);
}

TEST(DesktopWindow, PowerModeOrStyleChangeReplacesEveryLayer) {
    struct Case {
        const char* name;
        bool low;
        const char* style;
        const char* prefix;
    };
    for (const Case& c : {Case{"low power", true, "sea-day", "sea-day low "},
                          Case{"another style", false, "sea-night", "sea-night "}}) {
        Harness h;
        const auto sprites = std::vector<Sprite>{sprite(1), sprite(2, true)};
        h.window->show(scene(sprites), 1);
        const auto old = h.window->live();
        h.low = c.low;
        h.window->show(scene(sprites, c.style), 1);
        EXPECT_EQ(h.built, 4) << c.name;
        for (const auto& [key, layer] : old) {
            EXPECT_TRUE(has(*layer, "leave")) << c.name;
            EXPECT_EQ(h.window->live().count(key), 0u) << c.name;
        }
        for (const auto& [key, layer] : h.window->live()) EXPECT_EQ(key.rfind(c.prefix, 0), 0u) << c.name << key;
        h.advance(1);
        for (const auto& [key, layer] : old) EXPECT_EQ(layer->superlayer(), nullptr) << c.name;
    }
}

TEST(DesktopWindow, PauseAndResumeContinueWhereTheyStopped) {
    Harness h;
    h.window->show(scene({sprite(1), sprite(2, true)}), 1);
    h.advance(3);
    const auto live = h.window->live();
    const ca::Layer& plain = *live.at("sea-day " + sprite(1).identity());
    const ca::Layer& glow = *live.at("sea-day " + sprite(2, true).identity());
    const double plainAt = plain.presentation(h.t).rotation, glowAt = glow.presentation(h.t).rotation;

    h.window->setAnimating(false);
    EXPECT_EQ(h.window->sprites().speed(), 0);
    EXPECT_EQ(glow.speed(), 0);
    h.advance(7.3);
    EXPECT_NEAR(plain.presentation(h.t).rotation, plainAt, 1e-9);
    EXPECT_NEAR(glow.presentation(h.t).rotation, glowAt, 1e-9);

    // A glow layer shown while paused comes in paused and without a fade-in.
    h.window->show(scene({sprite(1), sprite(2, true), sprite(7, true)}), 1);
    const ca::Layer& late = *h.window->live().at("sea-day " + sprite(7, true).identity());
    EXPECT_EQ(late.speed(), 0);
    EXPECT_FALSE(has(late, "appear"));
    const double lateAt = late.presentation(h.t).rotation;
    h.advance(2);
    EXPECT_NEAR(late.presentation(h.t).rotation, lateAt, 1e-9);

    h.window->setAnimating(true);
    for (const ca::Layer* l : {&plain, &glow, &late}) EXPECT_NEAR(l->localTime(h.t) - l->localTime(h.t - 1), 1, 1e-9);
    EXPECT_NEAR(plain.presentation(h.t).rotation, plainAt, 1e-9);
    EXPECT_NEAR(glow.presentation(h.t).rotation, glowAt, 1e-9);
    EXPECT_NEAR(late.presentation(h.t).rotation, lateAt, 1e-9);
    EXPECT_NEAR(std::remainder(plain.presentation(h.t + 1).rotation - plainAt - M_PI / 2, 2 * M_PI), 0, 1e-9);

    // Resuming twice changes nothing the second time.
    const double begin = h.window->sprites().beginTime(), glowBegin = glow.beginTime();
    h.advance(1);
    h.window->setAnimating(true);
    EXPECT_EQ(h.window->sprites().beginTime(), begin);
    EXPECT_EQ(glow.beginTime(), glowBegin);
    EXPECT_EQ(glow.speed(), 1);
}

TEST(DesktopWindow, BadInputNeverBreaksTheWindow) {
    // The builder gives up on some sprites; the scene has no picture, no water test and a NaN fade.
    Harness h([](const Sprite& s) -> std::shared_ptr<ca::Layer> {
        if (s.path.empty()) return nullptr;
        return std::make_shared<ca::Layer>();
    });
    Sprite walker = sprite(1);
    walker.path = {{0, 0}, {5, 5}};
    RenderedScene r = scene({sprite(3), walker, sprite(3), walker});
    r.image = nullptr;
    r.wet = nullptr;
    h.window->show(r, std::nan(""));
    EXPECT_EQ(h.window->live().size(), 2u);
    // Duplicates keep their numbering although the first copy of the other sprite was not built.
    EXPECT_EQ(h.window->live().count("sea-day " + walker.identity() + "'"), 1u);
    EXPECT_EQ(h.window->ground().contents(), nullptr);
    EXPECT_FALSE(h.window->isWet({1, 1}));
    h.window->ripple({1, 1}, false, false);
    EXPECT_EQ(h.window->host().sublayers().size(), 2u);
    h.window->show(scene({}), -3);
    for (const auto& p : h.pending) EXPECT_EQ(p.due, h.t);
    h.advance(0);
    EXPECT_TRUE(h.window->sprites().sublayers().empty());
}

TEST(DesktopWindow, RippleRingsTimingAndLooks) {
    const double now = 50;
    struct Case {
        bool night, glow;
        uint32_t bright;
        double k;
    };
    for (const Case& c : {Case{false, false, 0xFFFFFF, 0.85}, Case{true, false, 0xB9CDE0, 0.6},
                          Case{true, true, 0x8AFBEA, 0.95}}) {
        const auto rings = DesktopWindow::ripples({30, 40}, c.night, c.glow, now);
        for (int i = 0; i < 3; ++i) {
            const ca::Layer& ring = *rings[size_t(i)];
            const double radius = 36 - 10 * i + (i == 2 ? 2 : 0), begin = now + 0.22 * i, duration = 2.4 - 0.3 * i;
            EXPECT_EQ(ring.position(), cg::Point(30, 40));
            EXPECT_EQ(ring.opacity(), 0);
            const auto group = std::static_pointer_cast<const ca::AnimationGroup>(ring.animation("ripple"));
            ASSERT_TRUE(group);
            EXPECT_NEAR(group->beginTime, begin, 1e-12);
            EXPECT_NEAR(group->duration, duration, 1e-12);
            const double peak = (1 - 0.25 * i) * c.k;
            EXPECT_NEAR(ring.presentation(begin + 0.08 * duration).opacity, peak, 1e-9);
            EXPECT_NEAR(ring.presentation(begin + 0.45 * duration).opacity, 0.45 * peak, 1e-9);
            EXPECT_EQ(ring.presentation(begin - 0.01).opacity, 0);
            EXPECT_EQ(ring.presentation(begin + duration + 0.01).opacity, 0);

            ASSERT_EQ(ring.sublayers().size(), 2u);
            const auto& bright = static_cast<const ca::ShapeLayer&>(*ring.sublayers()[0]);
            const auto& dark = static_cast<const ca::ShapeLayer&>(*ring.sublayers()[1]);
            EXPECT_EQ(bright.strokeColor(), cg::Color::rgb(c.bright, 0.9));
            EXPECT_EQ(dark.strokeColor(), cg::Color::rgb(0x00182E, 0.3));
            EXPECT_EQ(bright.shadowOpacity(), c.glow ? 1 : 0);
            struct Stroke {
                const ca::ShapeLayer& layer;
                double inset, width;
            };
            for (const Stroke& s : {Stroke{bright, 0, 1.6}, Stroke{dark, 2.4, 2.2}}) {
                EXPECT_FALSE(s.layer.fillColor());
                EXPECT_EQ(s.layer.presentation(begin - 0.01).lineWidth, 0);
                EXPECT_NEAR(s.layer.presentation(begin).lineWidth, s.width, 1e-9);
                const ca::Presentation end = s.layer.presentation(begin + duration - 1e-3);
                EXPECT_NEAR(end.lineWidth, 0.35 * s.width, 1e-6);
                EXPECT_NEAR(end.path.boundingBox().width(), 2 * (radius - s.inset), 1e-4);
                EXPECT_EQ(s.layer.presentation(begin + duration).lineWidth, 0);
            }
        }
    }
}

TEST(DesktopWindow, RipplesOnlyOnWaterAndGoneAfterThreeSeconds) {
    Harness h;
    h.window->show(scene({sprite(1)}), 0.5);
    const size_t base = h.window->host().sublayers().size();
    h.window->ripple({500, 100}, false, false);  // dry land
    EXPECT_EQ(h.window->host().sublayers().size(), base);
    h.window->ripple({100, 100}, false, false);
    ASSERT_EQ(h.window->host().sublayers().size(), base + 3);
    // Drawn above everything, flipped to layer space.
    EXPECT_EQ(h.window->host().sublayers().back()->position(), cg::Point(100, 500));
    h.advance(2.99);
    EXPECT_EQ(h.window->host().sublayers().size(), base + 3);
    h.advance(0.02);
    EXPECT_EQ(h.window->host().sublayers().size(), base);
}

TEST(DesktopWindow, ActorHitsInsideTheInsetFrameAndNeverWhilePaused) {
    // Walkers are 40 × 30 at their sprite's position; other sprites are plain layers.
    Harness h([](const Sprite& s) -> std::shared_ptr<ca::Layer> {
        std::shared_ptr<ca::Layer> l = s.kind == Sprite::Kind::act ? std::make_shared<ActorLayer>()
                                                                   : std::make_shared<ca::Layer>();
        l->setBounds(cg::Rect(0, 0, 40, 30));
        l->setPosition(s.at);
        return l;
    });
    Sprite walker = sprite(100);  // frame (80, 35, 40, 30) in layer space: y 35…65, window y 535…565
    walker.kind = Sprite::Kind::act;
    Sprite cover = sprite(100);
    cover.size = 99;
    h.window->show(scene({walker, cover}), 0.5);
    const auto hit = std::dynamic_pointer_cast<ActorLayer>(h.window->live().at("sea-day " + walker.identity()));
    ASSERT_TRUE(hit);
    struct Case {
        cg::Point at;
        bool hits;
    };
    for (const Case& c : {Case{{100, 550}, true}, Case{{90.5, 543.5}, true}, Case{{89.5, 550}, false},
                          Case{{109.5, 556.5}, true}, Case{{110.5, 550}, false}, Case{{100, 542.5}, false},
                          Case{{100, 557.5}, false}, Case{{300, 300}, false}})
        EXPECT_EQ(h.window->actor(c.at), c.hits ? hit : nullptr) << c.at.x << "," << c.at.y;
    // The presented frame counts, not the model's.
    ca::BasicAnimation move("position");
    move.fromValue = cg::Point{300, 300};
    move.toValue = cg::Point{300, 300};
    move.duration = 10;
    hit->add(move, "motion");
    hit->commit(h.t);
    EXPECT_EQ(h.window->actor({100, 550}), nullptr);
    EXPECT_EQ(h.window->actor({300, 300}), hit);
    h.window->setAnimating(false);
    EXPECT_EQ(h.window->actor({300, 300}), nullptr);
}
