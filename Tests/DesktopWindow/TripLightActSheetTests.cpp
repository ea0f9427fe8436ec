// Contact sheets of built layers over the finished scenes (written to $VM_TEST_OUT for people to
// look at), and the time it takes to build every such layer of the island and sea scenes.

#include "BuilderTestSupport.h"

#include "DesktopWindow/EventLayers.h"
#include "DesktopWindow/LightLayers.h"
#include "DesktopWindow/SwayGlide.h"
#include "DesktopWindow/TripLayer.h"
#include "DesktopWindow/Walkers.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>

using namespace buildertest;
using K = Sprite::Kind;

namespace {

LayerRef build(const Sprite& s) {
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

void addRows(std::vector<SheetRow>& rows, SceneKind kind, bool night, const std::vector<Sprite>& picked, double half) {
    for (const Sprite& s : picked) {
        auto l = build(s);
        if (s.glow) l->setCompositingFilter(ca::CompositingFilter::colorDodge);
        const bool two = s.to.x != 0 || s.to.y != 0;  // a burst also shows where its shots land
        const cg::Point mid = two ? cg::Point{(s.at.x + s.to.x) / 2, (s.at.y + s.to.y) / 2} : s.at;
        const double reach = two ? std::hypot(s.to.x - s.at.x, s.to.y - s.at.y) / 2 + 20 : 0;
        rows.push_back({l, mid, std::max({half, s.size, reach}), scene(kind, night).image});
    }
}

bool inside(const Sprite& s) { return s.at.x > 100 && s.at.x < 1610 && s.at.y > 100 && s.at.y < 1012; }

cg::ImageRef bar(uint32_t colour, double w, double h) {
    auto c = cg::Context::makeFrame(w, h, 2);
    c->setFillColor(cg::Color::rgb(colour));
    c->fill(cg::Rect(0, 0, w, h));
    return c->makeImage();
}

}  // namespace

TEST(TripLightActSheet, TravellersMoveAlongTheirPathsFacingTheirWay) {
    // Shown round where each is at 2 s; those resting between trips then are left out.
    std::vector<SheetRow> rows;
    std::set<std::string> shown;
    auto add = [&](SceneKind kind, size_t n, const std::function<bool(const Sprite&)>& pick) {
        for (const Sprite& s : sprites(kind, false, K::trip, 1000, pick)) {
            const auto l = TripLayer::trip(s);
            const auto body = l->sublayers().back()->presentation(2);
            if (n == 0 || body.opacity < 0.3 || !shown.insert(s.identity()).second) continue;
            rows.push_back({l, body.position, std::max(1.5 * s.size, 50.0), scene(kind, false).image});
            --n;
        }
    };
    add(SceneKind::sea, 1, [](const Sprite& s) { return s.size > 90 && s.size < 300; });     // whale
    add(SceneKind::sea, 2, [](const Sprite& s) { return !s.shade.empty() && s.size < 90; });  // fish
    add(SceneKind::archipelago, 1, [](const Sprite& s) { return s.size == 32; });             // dolphin
    ASSERT_EQ(rows.size(), 4u);
    for (double change : contactSheet("trip-sheet", rows)) EXPECT_GT(change, 0.5);
}

TEST(TripLightActSheet, LightsFlickerFirefliesWanderAndBeamsSweep) {
    std::vector<SheetRow> rows;
    addRows(rows, SceneKind::archipelago, true, sprites(SceneKind::archipelago, true, K::light, 1, [](const Sprite& s) { return !s.image && inside(s); }), 30);
    addRows(rows, SceneKind::archipelago, true, sprites(SceneKind::archipelago, true, K::light, 1, [](const Sprite& s) { return s.image && inside(s); }), 30);
    addRows(rows, SceneKind::archipelago, true, sprites(SceneKind::archipelago, true, K::firefly, 2), 30);
    addRows(rows, SceneKind::archipelago, true, sprites(SceneKind::archipelago, true, K::beam, 1), 30);
    ASSERT_EQ(rows.size(), 5u);
    const auto change = contactSheet("light-sheet", rows);
    for (size_t r = 2; r < 5; ++r) EXPECT_GT(change[r], 0.2) << r;
}

TEST(TripLightActSheet, WalkersWalkAndAClickedOneTurnsFirst) {
    std::vector<SheetRow> rows;
    addRows(rows, SceneKind::archipelago, false, sprites(SceneKind::archipelago, false, K::act, 1), 60);
    // A square walk of 2 s; the second copy is clicked at once, turns (blue) until 2 s, then walks on.
    Sprite s;
    s.kind = K::act;
    s.size = 24;
    s.beat = 0.5;
    s.path = {{0, 0}, {0, 40}, {40, 40}, {40, 0}};
    s.at = s.path[0];
    for (uint32_t i = 0; i < 4; ++i) s.frames.push_back(bar(0xE0A040 + 0x30 * i, 10, 20));
    for (uint32_t i = 0; i < 4; ++i) s.shade.push_back(bar(0x3060E0 + 0x10 * i, 10, 20 - 3.0 * i));
    for (bool click : {false, true}) {
        auto w = Walkers::act(s);
        w->commit(0);
        if (click) w->setOff(0);
        rows.push_back({w, {20, 20}, 50, nullptr});
    }
    ASSERT_EQ(rows.size(), 3u);
    for (double change : contactSheet("walker-sheet", rows)) EXPECT_GT(change, 0.5);
}

TEST(TripLightActSheet, PalmsSwayAndGlidersPass) {
    std::vector<SheetRow> rows;
    addRows(rows, SceneKind::archipelago, false, sprites(SceneKind::archipelago, false, K::sway, 2, inside), 20);
    Sprite g;
    g.kind = K::glide;
    g.at = {20, 40};
    g.to = {180, 80};
    g.travel = 40;
    g.size = 30;
    g.angle = std::atan2(40.0, 160.0);
    g.image = bar(0xC03030, 30, 14);
    rows.push_back({SwayGlide::glide(g), {100, 60}, 100, nullptr});
    ASSERT_EQ(rows.size(), 3u);
    for (double change : contactSheet("sway-glide-sheet", rows)) EXPECT_GT(change, 0.05);
}

TEST(TripLightActSheet, BurstsAndBlastsPlayOncePerPeriod) {
    // Events that play at some of the sheet's times (each replays once per `travel` seconds).
    auto playing = [](const Sprite& s) {
        const auto l = build(s);
        for (double t : kSheetTimes) {
            if (l->sublayers().empty() && l->presentation(t).opacity > 0.1) return true;
            for (const auto& part : l->sublayers())
                if (part->presentation(t).opacity > 0.1) return true;
        }
        return false;
    };
    std::vector<SheetRow> rows;
    addRows(rows, SceneKind::warzone, true, sprites(SceneKind::warzone, true, K::burst, 2, playing), 30);
    addRows(rows, SceneKind::warzone, true, sprites(SceneKind::warzone, true, K::blast, 2, playing), 30);
    ASSERT_GE(rows.size(), 3u);
    for (double change : contactSheet("event-sheet", rows)) EXPECT_GT(change, 0.05);
}

TEST(TripLightActSheet, IslandAndSeaScenesBuildQuicklyAndShareTheirGlows) {
    for (SceneKind kind : {SceneKind::archipelago, SceneKind::sea})
        for (bool night : {false, true}) {
            const auto& all = scene(kind, night).sprites;
            TripLayer::splashes();  // drawn once per process, not per scene
            const auto start = std::chrono::steady_clock::now();
            std::vector<std::pair<const Sprite*, LayerRef>> built;
            for (const Sprite& s : all)
                if (auto l = build(s)) built.emplace_back(&s, std::move(l));
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            size_t layers = 0;
            std::set<const cg::Image*> glows;
            std::set<uint32_t> colours;
            for (const auto& [s, l] : built) {
                layers += countLayers(*l);
                if (s->kind == K::firefly) glows.insert(l->contents().get()), colours.insert(s->color);
            }
            std::printf("%s %s: %zu of %zu sprites built into %zu layers in %.2f ms\n",
                        kind == SceneKind::sea ? "sea" : "archipelago", night ? "night" : "day", built.size(), all.size(),
                        layers, ms);
            EXPECT_GT(built.size(), 0u);
            EXPECT_EQ(glows.size(), colours.size());  // one glow picture per firefly colour
            EXPECT_LT(ms, 500);  // the target is 50 ms; ten times that means something went quadratic
        }
}
