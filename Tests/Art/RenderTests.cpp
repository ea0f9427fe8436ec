// Whole renders: determinism at any thread count, the keep entry, the water test and bad requests.
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Image.h"
#include "Pipeline/Render.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace {

SceneSpec request(SceneKind kind, bool night) {
    SceneSpec s;
    s.size = {800, 520};
    s.scale = 1.5;
    s.icons = {{740, 60}, {740, 160}, {640, 60}, {300, 400}};
    s.iconSize = 48;
    s.textSize = 10;
    s.kind = kind;
    s.night = night;
    return s;
}

bool samePixels(const cg::Image& a, const cg::Image& b) {
    return a.pixelWidth() == b.pixelWidth() && a.pixelHeight() == b.pixelHeight() &&
           std::memcmp(a.data(), b.data(), a.bytesPerRow() * static_cast<std::size_t>(a.pixelHeight())) == 0;
}

std::vector<std::string> identities(const RenderedScene& r) {
    std::vector<std::string> ids;
    for (const Sprite& s : r.sprites) ids.push_back(s.identity());
    return ids;
}

}  // namespace

TEST(Render, EverySceneIsTheSameTwiceAndAtAnyThreadCount) {
    for (SceneKind kind : scene_kind::allCases)
        for (bool night : {false, true}) {
            const SceneSpec spec = request(kind, night);
            std::optional<RenderedScene> one, all, again;
            {
                dispatch::ThreadCountScope scope(1);
                one = Renderer::render(spec, {});
            }
            all = Renderer::render(spec, {});
            again = Renderer::render(spec, {});
            ASSERT_TRUE(one && all && again);
            const std::string label = std::string(scene_kind::rawValue(kind)) + (night ? " night" : " day");
            EXPECT_TRUE(samePixels(*one->image, *all->image)) << label;
            EXPECT_TRUE(samePixels(*all->image, *again->image)) << label;
            EXPECT_EQ(identities(*one), identities(*all)) << label;
            EXPECT_EQ(one->placed, all->placed) << label;
            EXPECT_EQ(all->style, std::string(scene_kind::rawValue(kind)) + (night ? "-night" : "-day"));
            EXPECT_EQ(all->image->pixelWidth(), 1200);
            EXPECT_EQ(all->image->pixelHeight(), 780);
            // Opaque everywhere.
            const uint32_t* px = all->image->data();
            for (int i = 0; i < 1200 * 780; i += 997) ASSERT_EQ(px[i] >> 24, 0xFFu) << label;
        }
}

TEST(Render, PixelSizeRoundsHalvesUp) {
    SceneSpec s = request(SceneKind::winter, false);
    s.size = {1001, 20};
    s.scale = 1.5;
    s.icons.clear();
    const auto r = Renderer::render(s, {});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->image->pixelWidth(), 1502);
    EXPECT_EQ(r->image->pixelHeight(), 30);
}

TEST(Render, KeepEntryAndOtherScenesEntriesSurvive) {
    SceneSpec s = request(SceneKind::reef, false);
    s.icons = {{100, 100}};
    s.iconSize = 64;
    s.textSize = 12;
    const PlacementMap before{{"sea-night-3", {{1, 2}}}, {"reef-night-keep", {{5, 5}, {1, 1}}}};
    const auto r = Renderer::render(s, before);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->placed.at("sea-night-3"), before.at("sea-night-3"));
    EXPECT_EQ(r->placed.at("reef-night-keep"), before.at("reef-night-keep"));
    const auto& keep = r->placed.at("reef-day-keep");
    ASSERT_EQ(keep.size(), 2u);
    EXPECT_EQ(keep[0], (cg::Point{37, 62}));
    EXPECT_DOUBLE_EQ(keep[1].x, 126);
    EXPECT_DOUBLE_EQ(keep[1].y, 113.2);
    s.icons.clear();
    const auto empty = Renderer::render(s, {});
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->placed.at("reef-day-keep").empty());
}

TEST(Render, WaterTestByKind) {
    for (SceneKind kind : scene_kind::allCases) {
        const auto r = Renderer::render(request(kind, false), {});
        ASSERT_TRUE(r);
        int wet = 0;
        for (double x = 0; x < 800; x += 37)
            for (double y = 0; y < 520; y += 41) wet += r->wet({x, y}) ? 1 : 0;
        const int total = 22 * 13;
        switch (kind) {
            case SceneKind::reef:
            case SceneKind::sea: EXPECT_EQ(wet, total); break;
            case SceneKind::archipelago:
            case SceneKind::pond:
            case SceneKind::winter:
                EXPECT_GT(wet, 0) << scene_kind::rawValue(kind);
                EXPECT_LT(wet, total) << scene_kind::rawValue(kind);
                // Icons stand on land.
                EXPECT_FALSE(r->wet({740, 60})) << scene_kind::rawValue(kind);
                break;
            default: EXPECT_EQ(wet, 0) << scene_kind::rawValue(kind);
        }
    }
}

TEST(Render, BadRequestsGiveNoSceneAndNeverCrash) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    SceneSpec s = request(SceneKind::archipelago, false);
    for (cg::Size size : {cg::Size{0, 0}, cg::Size{100, 0}, cg::Size{-5, 100}, cg::Size{nan, 100},
                          cg::Size{inf, 100}, cg::Size{1e9, 1e9}, cg::Size{100000, 10}}) {
        s.size = size;
        EXPECT_FALSE(Renderer::render(s, {})) << size.width << " x " << size.height;
    }
    s.size = {300, 200};
    for (double scale : {0.0, -1.0, nan, inf, 1e6}) {
        s.scale = scale;
        EXPECT_FALSE(Renderer::render(s, {})) << scale;
    }
}

TEST(Render, StrangeIconsRenderWithoutHarm) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    SceneSpec s = request(SceneKind::archipelago, false);
    s.size = {400, 300};
    s.scale = 1;
    s.icons = {{-2000, -5000}, {5000, 9000}, {nan, 10}, {10, nan}, {-1e12, 3}, {1e12, 1e12}};
    for (int i = 0; i < 3000; ++i) s.icons.push_back({(i * 37) % 420 - 10.0, (i * 53) % 320 - 10.0});
    for (SceneKind kind : scene_kind::allCases) {
        s.kind = kind;
        const auto r = Renderer::render(s, {});
        ASSERT_TRUE(r) << scene_kind::rawValue(kind);
        EXPECT_EQ(r->image->pixelWidth(), 400);
    }
}
