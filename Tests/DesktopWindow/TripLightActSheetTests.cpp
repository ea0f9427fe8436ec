// Contact sheets of built layers over the finished scenes (written to $VM_TEST_OUT for people to
// look at), and the time it takes to build every such layer of the island and sea scenes.

#include "BuilderTestSupport.h"

#include "DesktopWindow/EventLayers.h"
#include "DesktopWindow/LightLayers.h"
#include "DesktopWindow/SwayGlide.h"
#include "DesktopWindow/TripLayer.h"
#include "DesktopWindow/Walkers.h"

#include <functional>
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

// Whether any part of the layer shows at one of the sheet's times.
bool shows(const LayerRef& l) {
    for (double t : kSheetTimes) {
        if (l->sublayers().empty() && l->presentation(t).opacity > 0.1) return true;
        for (const auto& part : l->sublayers())
            if (part->presentation(t).opacity > 0.1) return true;
    }
    return false;
}

}  // namespace

TEST(TripLightActSheet, BuiltLayersMoveFlickerAndPlayOverTheirScenes) {
    using Pick = std::function<bool(const Sprite&)>;
    struct Row { K kind; Pick pick; };
    struct Sheet { const char* name; SceneKind scene; bool night; std::vector<Row> rows; double moves; };
    auto inside = [](const Sprite& s) { return s.at.x > 100 && s.at.x < 1610 && s.at.y > 100 && s.at.y < 1012; };
    const Sheet sheets[] = {
        {"trip-sheet", SceneKind::sea, false,
         {{K::trip, [](const Sprite& s) { return s.size > 90 && s.size < 300; }},  // whale
          {K::trip, [](const Sprite& s) { return !s.shade.empty() && s.size < 90; }}, {K::trip, {}}}, 0.5},
        {"dolphin-sheet", SceneKind::archipelago, false, {{K::trip, [](const Sprite& s) { return s.size == 32; }}}, 0.5},
        {"light-sheet", SceneKind::archipelago, true,
         {{K::light, [&](const Sprite& s) { return !s.image && inside(s); }}, {K::firefly, {}}, {K::firefly, {}}, {K::beam, {}}}, 0.05},
        {"act-sheet", SceneKind::archipelago, false, {{K::act, {}}, {K::sway, inside}}, 0.05},
        {"event-sheet", SceneKind::warzone, true, {{K::burst, {}}, {K::burst, {}}, {K::blast, {}}}, 0.02},
    };
    for (const Sheet& sheet : sheets) {
        std::vector<SheetRow> rows;
        std::set<std::string> used;
        for (const Row& want : sheet.rows)
            for (const Sprite& s : scene(sheet.scene, sheet.night).sprites) {
                if (s.kind != want.kind || (want.pick && !want.pick(s)) || used.count(s.identity())) continue;
                auto l = build(s);
                // Travellers are shown round where they are at 2 s; those resting then, and events
                // that do not play during the sheet, are passed over.
                const auto body = s.kind == K::trip ? l->sublayers().back()->presentation(2) : l->presentation(2);
                if ((s.kind == K::trip && body.opacity < 0.3) || !shows(l)) continue;
                if (s.glow) l->setCompositingFilter(ca::CompositingFilter::colorDodge);
                const bool aimed = s.kind == K::burst;
                const cg::Point centre = s.kind == K::trip ? body.position
                                         : aimed ? cg::Point{(s.at.x + s.to.x) / 2, (s.at.y + s.to.y) / 2} : s.at;
                const double half = aimed ? std::hypot(s.to.x - s.at.x, s.to.y - s.at.y) / 2 + 20 : 1.5 * s.size;
                rows.push_back({l, centre, std::max(half, 40.0), scene(sheet.scene, sheet.night).image});
                used.insert(s.identity());
                break;
            }
        ASSERT_EQ(rows.size(), sheet.rows.size()) << sheet.name;
        for (double change : contactSheet(sheet.name, rows)) EXPECT_GT(change, sheet.moves) << sheet.name;
    }
}

// How fast the layers build is SpriteLayerBench's to measure: a time limit here failed whenever a
// sanitizer build shared a loaded machine.
TEST(TripLightActSheet, IslandAndSeaScenesShareTheirGlows) {
    for (SceneKind kind : {SceneKind::archipelago, SceneKind::sea})
        for (bool night : {false, true}) {
            const auto& all = scene(kind, night).sprites;
            TripLayer::splashes();  // drawn once per process, not per scene
            std::vector<std::pair<const Sprite*, LayerRef>> built;
            for (const Sprite& s : all)
                if (auto l = build(s)) built.emplace_back(&s, std::move(l));
            size_t layers = 0;
            std::set<const cg::Image*> glows;
            std::set<uint32_t> colours;
            for (const auto& [s, l] : built) {
                layers += countLayers(*l);
                if (s->kind == K::firefly) glows.insert(l->contents().get()), colours.insert(s->color);
            }
            std::printf("%s %s: %zu of %zu sprites built into %zu layers\n",
                        kind == SceneKind::sea ? "sea" : "archipelago", night ? "night" : "day", built.size(), all.size(),
                        layers);
            EXPECT_FALSE(built.empty());
            EXPECT_EQ(glows.size(), colours.size());  // one glow picture per firefly colour
        }
}
