// Requests and remembered placements as a hostile or broken desktop could produce them: each is refused
// at once or gives a sound picture, quickly, without undefined behaviour (the sanitizer builds run these).
#include "Pipeline/Render.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>

#include "Renderer/Random.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

SceneSpec archipelago(double w = 640, double h = 400) {
    SceneSpec s;
    s.kind = SceneKind::archipelago;
    s.size = {w, h};
    s.icons = {{150, 130}, {150, 218}, {430, 170}, {500, 290}};
    return s;
}

bool finite(cg::Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Equal lists, NaN included (== would call a list holding NaN changed).
bool sameBits(const std::vector<cg::Point>& a, const std::vector<cg::Point>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(cg::Point)) == 0);
}

// Every sprite point finite; every placement this render chose finite, and those of `spots` on the canvas.
// Keys the render did not touch come back as they were given.
void expectSound(const RenderedScene& r, const SceneSpec& s, const PlacementMap& before, const std::string& label) {
    for (const Sprite& sp : r.sprites) {
        ASSERT_TRUE(finite(sp.at)) << label << ": sprite " << sp.identity();
        ASSERT_TRUE(finite(sp.to)) << label << ": sprite " << sp.identity();
        for (const cg::Point& p : sp.path) ASSERT_TRUE(finite(p)) << label << ": sprite path " << sp.identity();
    }
    const std::string prefix = r.style + "-";
    for (const auto& [key, points] : r.placed) {
        if (key.rfind(prefix, 0) != 0 || key.ends_with("-keep")) continue;  // icon rectangles may reach past the edges
        if (const auto given = before.find(key); given != before.end() && sameBits(given->second, points)) continue;
        const std::string rest = key.substr(prefix.size());
        const bool chosen = !rest.empty() && rest.find_first_not_of("0123456789") == std::string::npos;
        for (const cg::Point& p : points) {
            ASSERT_TRUE(finite(p)) << label << ": placement " << key;
            if (chosen) {
                ASSERT_TRUE(p.x >= 0 && p.x <= s.size.width && p.y >= 0 && p.y <= s.size.height)
                    << label << ": placement " << key << " at " << p.x << ", " << p.y << " on " << s.size.width << " x "
                    << s.size.height;
            }
        }
    }
}

double seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(HostileRequest, SizesBeyondThePointOrPixelLimitsAreRefusedBeforeAnyWork) {
    struct Case {
        double w, h, scale;
    } cases[] = {
        {1e300, 1e300, 1e-300},  // 1 × 1 px, but 1e300 points of terrain
        {1e9, 1e9, 1e-9},        // a mound loop of 10^13 candidates
        {32768, 32768, 1},       // one pixel past what a bitmap holds
        {20000, 20000, 0.01},    // a 200 × 200 picture over 400 million square points
        {16384, 16384, 1},       // 2^28 pixels but 2^28 square points
        {kNaN, 400, 1},
        {640, kInf, 1},
        {640, 400, kNaN},
        {640, 400, -1},
    };
    for (const Case& c : cases) {
        SceneSpec s = archipelago(c.w, c.h);
        s.scale = c.scale;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Renderer::render(s, {}).has_value()) << c.w << " x " << c.h << " @" << c.scale;
        EXPECT_LT(seconds(start), 60) << c.w << " x " << c.h << " @" << c.scale;
    }
    SceneSpec absurdIcons = archipelago();
    absurdIcons.iconSize = kNaN;
    EXPECT_FALSE(Renderer::render(absurdIcons, {}).has_value());
    absurdIcons.iconSize = 1e12;
    EXPECT_FALSE(Renderer::render(absurdIcons, {}).has_value());
    // The largest ordinary screens still render.
    SceneSpec wide = archipelago(7680, 2160);
    wide.scale = 0.25;
    EXPECT_TRUE(Renderer::render(wide, {}).has_value());
}

TEST(HostileRequest, RememberedPointsOffTheCanvasNaNOrRepeatedAreDropped) {
    const SceneSpec s = archipelago();
    const auto first = Renderer::render(s, {});
    ASSERT_TRUE(first);
    const std::size_t ordinary = first->sprites.size();

    struct Case {
        const char* label;
        std::function<std::vector<cg::Point>(const std::vector<cg::Point>&)> poison;
    } cases[] = {
        {"far off the canvas",
         [](const std::vector<cg::Point>&) {
             std::vector<cg::Point> v;
             for (int i = 0; i < 200000; ++i) v.push_back({-1e7 + i, 300});
             return v;
         }},
        {"NaN and infinite", [](const std::vector<cg::Point>& v) {
             std::vector<cg::Point> out(v.size(), cg::Point{kNaN, kNaN});
             out.push_back({kInf, 10});
             return out;
         }},
        {"one point 100000 times",
         [](const std::vector<cg::Point>& v) {
             return std::vector<cg::Point>(100000, v.empty() ? cg::Point{320, 200} : v.front());
         }},
    };
    for (const Case& c : cases) {
        PlacementMap before = first->placed;
        for (auto& [key, points] : before)
            if (!key.ends_with("-keep")) points = c.poison(points);
        const auto start = std::chrono::steady_clock::now();
        const auto again = Renderer::render(s, before);
        ASSERT_TRUE(again) << c.label;
        EXPECT_LT(seconds(start), 60) << c.label;
        expectSound(*again, s, before, c.label);
        EXPECT_LE(again->sprites.size(), ordinary + ordinary / 2) << c.label;
        std::size_t wavesOff = 0;
        for (const Sprite& sp : again->sprites)
            if (sp.at.x < -100) ++wavesOff;
        EXPECT_EQ(wavesOff, 0u) << c.label;
    }
}

TEST(HostileRequest, AHugeKeepEntryIsBoundedAndItsNonsenseDropped) {
    const SceneSpec s = archipelago();
    const auto first = Renderer::render(s, {});
    ASSERT_TRUE(first);
    PlacementMap before = first->placed;
    std::vector<cg::Point>& keep = before["archipelago-day-keep"];
    for (int i = 0; i < 500000; ++i) {
        keep.push_back({static_cast<double>(i % 640), static_cast<double>(i % 400)});
        keep.push_back(i % 3 == 0 ? cg::Point{kNaN, 5} : cg::Point{3, 3});
    }
    const auto start = std::chrono::steady_clock::now();
    const auto again = Renderer::render(s, before);
    ASSERT_TRUE(again);
    EXPECT_LT(seconds(start), 60);
    expectSound(*again, s, before, "huge keep entry");
}

TEST(HostileRequest, ANaNIconClearsNothingElse) {
    SceneSpec one = archipelago();
    one.icons = {{500, 400}};
    SceneSpec withNaN = one;
    withNaN.icons = {{kNaN, kNaN}, {500, 400}, {kInf, 3}};
    const auto a = Renderer::render(one, {});
    const auto b = Renderer::render(withNaN, {});
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->sprites.size(), b->sprites.size());
    EXPECT_EQ(Renderer::keepRects(withNaN), Renderer::keepRects(one));
}

// Random hostile requests and placement maps, from a fixed seed so that a failure can be replayed.
TEST(HostileRequest, FuzzedRequestsAndPlacementMapsStaySound) {
    RNG rng(0x5EED5EEDULL);
    auto pick = [&](std::initializer_list<double> values) {
        const double u = rng.next();
        return values.begin()[static_cast<std::size_t>(u * static_cast<double>(values.size()))];
    };
    const double wild[] = {kNaN, kInf, -kInf, -1e7, 1e7, -1, 0, 1e300};
    for (int round = 0; round < 240; ++round) {
        SceneSpec s;
        s.kind = scene_kind::allCases[static_cast<std::size_t>(rng.next() * 10)];
        s.night = rng.next() < 0.5;
        s.size = {pick({320, 480, 1e9, -5, 0, kNaN, 33000}), pick({200, 300, 1e9, 0, kInf})};
        s.scale = pick({1, 0.5, 2, 1e-9, 0, kNaN});
        s.iconSize = pick({48, 64, 0, -3, kNaN, 1e5});
        s.textSize = pick({10, 12, 0, kInf});
        s.labelsRight = rng.next() < 0.3;
        const int icons = static_cast<int>(rng.next() * 12);
        for (int i = 0; i < icons; ++i) {
            const double x = rng.next() < 0.15 ? wild[static_cast<std::size_t>(rng.next() * 8)] : rng.next() * 500;
            const double y = rng.next() < 0.15 ? wild[static_cast<std::size_t>(rng.next() * 8)] : rng.next() * 320;
            s.icons.push_back({x, y});
        }
        PlacementMap before;
        const std::string style = std::string(scene_kind::rawValue(s.kind)) + (s.night ? "-night-" : "-day-");
        const int keys = static_cast<int>(rng.next() * 6);
        for (int k = 0; k < keys; ++k) {
            const bool keepKey = rng.next() < 0.2;
            const std::string key = style + (keepKey ? std::string("keep") : std::to_string(static_cast<int>(rng.next() * 40)));
            std::vector<cg::Point>& pts = before[key];
            const int n = static_cast<int>(rng.next() * 3000);
            for (int i = 0; i < n; ++i) {
                const double r = rng.next();
                if (r < 0.1) pts.push_back({wild[static_cast<std::size_t>(rng.next() * 8)], rng.next() * 300});
                else if (r < 0.4 && !pts.empty()) pts.push_back(pts.back());
                else pts.push_back({rng.next() * 520 - 10, rng.next() * 330 - 10});
            }
        }
        const std::string label = "round " + std::to_string(round) + " " + style;
        const auto start = std::chrono::steady_clock::now();
        const auto r = Renderer::render(s, before);
        EXPECT_LT(seconds(start), 60) << label;
        if (r) expectSound(*r, s, before, label);
    }
}
