// Building every layer of this kinds for the finished island and sea scenes at the
// self-test size: how long it takes, how many layers it makes, and that glows are shared.

#include "BuilderTestSupport.h"

#include "DesktopWindow/EventLayers.h"
#include "DesktopWindow/LightLayers.h"
#include "DesktopWindow/SwayGlide.h"
#include "DesktopWindow/TripLayer.h"
#include "DesktopWindow/Walkers.h"

#include <chrono>
#include <set>

using namespace buildertest;

namespace {

LayerRef build(const Sprite& s) {
    using K = Sprite::Kind;
    switch (s.kind) {
        case K::trip: return TripLayer::trip(s);
        case K::light: return LightLayers::light(s);
        case K::firefly: return LightLayers::firefly(s);
        case K::beam: return LightLayers::beam(s);
        case K::window: return LightLayers::windowLight(s);
        case K::sway: return SwayGlide::sway(s);
        case K::glide: return SwayGlide::glide(s);
        case K::burst: return EventLayers::burst(s);
        case K::blast: return EventLayers::blast(s);
        case K::act: return Walkers::act(s);
        default: return nullptr;
    }
}

}  // namespace

TEST(SpriteBuildTime, IslandAndSeaScenesBuildQuicklyAndShareTheirGlows) {
    for (SceneKind kind : {SceneKind::archipelago, SceneKind::sea})
        for (bool night : {false, true}) {
            const auto& sprites = scene(kind, night).sprites;
            TripLayer::splashes();  // drawn once per process, not per scene
            const auto start = std::chrono::steady_clock::now();
            std::vector<std::pair<const Sprite*, LayerRef>> built;
            for (const Sprite& s : sprites)
                if (auto l = build(s)) built.emplace_back(&s, std::move(l));
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            size_t layers = 0;
            std::set<const cg::Image*> fireflyGlows;
            std::set<uint32_t> fireflyColours;
            for (const auto& [s, l] : built) {
                layers += countLayers(*l);
                if (s->kind == Sprite::Kind::firefly) {
                    fireflyGlows.insert(l->contents().get());
                    fireflyColours.insert(s->color);
                }
            }
            std::printf("%s %s: %zu sprites built into %zu layers in %.2f ms\n", kind == SceneKind::sea ? "sea" : "archipelago",
                        night ? "night" : "day", built.size(), layers, ms);
            EXPECT_GT(built.size(), 0u);
            EXPECT_EQ(fireflyGlows.size(), fireflyColours.size());
            EXPECT_LT(ms, 500);  // the target is 50 ms; ten times that means something went quadratic
        }
}
