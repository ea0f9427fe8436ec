// The warzone painter: its sprite lists by day and by night, the wrecks, patrols, jets and horizon
// flashes, and the nests' line of fire on a perfectly flat field.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>
#include <string>

#include "Art/Geometry2D.h"
#include "BattlefieldTestSupport.h"
#include "Pipeline/Render.h"
#include "SelfTest/SelfTest.h"

namespace {

using Kind = Sprite::Kind;

RenderedScene render(bool night, PlacementMap before = {}) {
    SceneSpec s = SelfTest::sampleDesktop(SceneKind::warzone, night);
    s.scale = 0.5;
    auto scene = Renderer::render(s, before);
    EXPECT_TRUE(scene);
    return std::move(*scene);
}

std::size_t stored(const RenderedScene& scene, const std::string& salt) {
    const auto it = scene.placed.find(scene.style + "-" + salt);
    return it == scene.placed.end() ? 0 : it->second.size();
}

// Which screen edge a point 40 points outside the screen lies beyond: 0 left, 1 top, 2 right, 3 bottom.
int edgeOf(cg::Point p, double w, double h) {
    if (p.x == -40) return 0;
    if (p.y == h + 40) return 1;  // drawing space: the scene's top is at y = h
    if (p.x == w + 40) return 2;
    if (p.y == -40) return 3;
    return -1;
}

}  // namespace

TEST(Warzone, EachWreckBringsTenSpritesByDayAndTwelveAtNight) {
    for (const bool night : {false, true}) {
        const RenderedScene scene = render(night);
        const std::size_t wrecks = stored(scene, "8000003");
        ASSERT_GT(wrecks, 0u);
        const auto& sp = scene.sprites;
        // The wreck block starts with the first flame and ends before the first helicopter.
        std::size_t start = 0;
        while (start < sp.size() && !(sp[start].kind == Kind::light && sp[start].size == 8)) ++start;
        std::size_t end = start;
        while (end < sp.size() && !(sp[end].kind == Kind::trip && sp[end].size == 48)) ++end;
        EXPECT_EQ(end - start, wrecks * (night ? 12 : 10)) << night;
        // One wreck's own sprites: flames, the glow at night, embers, then four smoke puffs.
        const std::vector<std::pair<Kind, double>> expected =
            night ? std::vector<std::pair<Kind, double>>{{Kind::light, 8}, {Kind::light, 6}, {Kind::light, 92},
                                                         {Kind::firefly, 1}, {Kind::firefly, 1}, {Kind::trip, 10}}
                  : std::vector<std::pair<Kind, double>>{{Kind::light, 8}, {Kind::light, 6}, {Kind::firefly, 1},
                                                         {Kind::firefly, 1}, {Kind::trip, 10}};
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(sp[start + k].kind, expected[k].first) << night << " " << k;
            EXPECT_EQ(sp[start + k].size, expected[k].second) << night << " " << k;
        }
        // After all wrecks, two drifting smoke trips each, and at night the 52-point glow.
        const std::size_t tail = start + wrecks * (night ? 9 : 8);
        EXPECT_EQ(sp[tail].size, 46);
        EXPECT_EQ(sp[tail + 1].size, 46);
        EXPECT_NEAR(sp[tail + 1].phase - sp[tail].phase, 0.5, 1e-12);
        if (night) {
            EXPECT_EQ(sp[tail + 2].size, 52);
        }
    }
}

TEST(Warzone, ANightEndsWithFourHorizonFlashesAndTwoCloudsADayWithThreeClouds) {
    const double w = 1710, h = 1112;
    const RenderedScene night = render(true), day = render(false);
    const auto& sp = night.sprites;
    ASSERT_GE(sp.size(), 6u);
    std::vector<int> edges;
    for (std::size_t i = sp.size() - 6; i < sp.size() - 2; ++i) {
        EXPECT_EQ(sp[i].kind, Kind::blast);
        EXPECT_EQ(sp[i].size, 600);
        EXPECT_TRUE(sp[i].glow);
        edges.push_back(edgeOf(sp[i].at, w, h));
    }
    EXPECT_NE(edges[0], -1);
    EXPECT_EQ(edges[1], edges[0]);
    EXPECT_EQ(edges[2], edges[0]);
    EXPECT_EQ(edges[3], (edges[0] + 2) % 4);
    EXPECT_EQ(sp[sp.size() - 2].kind, Kind::cloud);
    EXPECT_EQ(sp[sp.size() - 1].kind, Kind::cloud);

    // The flashes depend on the screen alone: another icon layout gives the same four.
    SceneSpec moved = SelfTest::sampleDesktop(SceneKind::warzone, true);
    moved.scale = 0.5;
    moved.icons.pop_back();
    const auto other = Renderer::render(moved, {});
    ASSERT_TRUE(other);
    for (std::size_t k = 3; k <= 6; ++k)
        EXPECT_EQ(other->sprites[other->sprites.size() - k].identity(), sp[sp.size() - k].identity());

    const auto& ds = day.sprites;
    for (std::size_t k = 1; k <= 3; ++k) EXPECT_EQ(ds[ds.size() - k].kind, Kind::cloud);
    for (const Sprite& s : ds) EXPECT_FALSE(s.kind == Kind::blast && s.size != 1) << "day blasts have no glow";
}

TEST(Warzone, PatrolsWalkInSquadsOfFiveToSevenTrailingEachOther) {
    const RenderedScene scene = render(false);
    std::vector<std::vector<const Sprite*>> squads;
    const cg::Point* lastStart = nullptr;
    for (const Sprite& s : scene.sprites) {
        if (!(s.kind == Kind::trip && s.size == 14 && s.beat == 2.6)) continue;
        if (!lastStart || std::hypot(s.path.front().x - lastStart->x, s.path.front().y - lastStart->y) > 4)
            squads.emplace_back();
        squads.back().push_back(&s);
        lastStart = &s.path.front();
    }
    ASSERT_FALSE(squads.empty());
    for (std::size_t n = 0; n < squads.size(); ++n) {
        const auto path = scene.placed.at(scene.style + "-15000003-way" + std::to_string(n));
        const auto& squad = squads[n];
        EXPECT_GE(squad.size(), 5u);
        EXPECT_LE(squad.size(), 7u);
        const double v = squad[0]->travel, rho = squad[0]->rest;
        const double step = 12 / (v * (pathLength(path) / v) * (rho + 1));
        for (std::size_t k = 0; k < squad.size(); ++k) {
            const Sprite& s = *squad[k];
            ASSERT_EQ(s.path.size(), path.size());
            EXPECT_LE(std::fabs(s.path[0].x - path[0].x), 2);
            EXPECT_LE(std::fabs(s.path[0].y - (1112 - path[0].y)), 2);
            const double back = squad[0]->phase - s.phase - step * static_cast<double>(k);
            EXPECT_NEAR(back - std::round(back), 0, 1e-9) << "soldier " << k << " trails by the same step";
        }
    }
}

TEST(Warzone, JetsCrossBetweenDifferentEdgesFartherThanTheScreenIsHigh) {
    const RenderedScene scene = render(false);
    int jets = 0;
    for (const Sprite& s : scene.sprites) {
        if (!(s.kind == Kind::trip && s.size == 22 && s.travel == 70)) continue;
        ++jets;
        ASSERT_EQ(s.path.size(), 3u);
        const cg::Point a = s.path.front(), b = s.path.back();
        EXPECT_NE(edgeOf(a, 1710, 1112), -1);
        EXPECT_NE(edgeOf(b, 1710, 1112), -1);
        EXPECT_NE(edgeOf(a, 1710, 1112), edgeOf(b, 1710, 1112));
        EXPECT_GT(std::hypot(b.x - a.x, b.y - a.y), 1112);
    }
    EXPECT_GE(jets, 1);
    EXPECT_LE(jets, 2);
}

TEST(Warzone, OnAFlatFieldTheNestsFireWestOverOpenGround) {
    // Flat land in the nests' band, all open: every slope is a signed zero.
    const SceneSpec s = wartest::spec(900, 600);
    auto p = wartest::synthetic(s, [](double, double) { return 0.3f; });
    p.art->warzone();
    const auto& nests = p.art->placed.at("warzone-day-5000003");
    std::size_t bursts = 0;
    for (const Sprite& sp : p.art->sprites) {
        if (sp.kind != Kind::burst) continue;
        ++bursts;
        bool matched = false;
        for (const cg::Point& q : nests) {
            // The heading of atan2(−0, −0), −π, turned by the nest's jitter.
            const double a = std::atan2(-0.0, -0.0) + (Art::rand(q, 1) - 0.5) * 0.5;
            const double d = 110 + 50 * Art::rand(q, 2);
            const cg::Point to{q.x + d * std::cos(a), 600 - (q.y + d * std::sin(a))};
            matched = matched || sp.to == to;
        }
        EXPECT_TRUE(matched) << sp.to.x << "," << sp.to.y;
        EXPECT_LT(sp.to.x, sp.at.x);
    }
    EXPECT_GE(bursts, 1u);
    EXPECT_LE(bursts, 5u);
}

TEST(Warzone, StaysPutFarFromAMovedOrAddedIconAtNight) {
    constexpr double kFar = 380, kHeight = 1112;
    struct Move {
        cg::Point from, to;
    };
    for (const Move& m : {Move{{420, 760}, {720, 760}}, Move{{420, 300}, {420, 300}}}) {
        SceneSpec a = SelfTest::sampleDesktop(SceneKind::warzone, true);
        a.scale = 0.5;
        SceneSpec b = a;
        if (m.from == m.to) b.icons.push_back(m.to);
        else b.icons.back() = m.to;
        const auto A = Renderer::render(a, {});
        const auto B = Renderer::render(b, A->placed);
        ASSERT_TRUE(A && B);
        auto far = [&](cg::Point p) {
            return std::hypot(p.x - m.from.x, p.y - m.from.y) > kFar && std::hypot(p.x - m.to.x, p.y - m.to.y) > kFar;
        };
        std::set<std::string> after;
        for (const Sprite& sp : B->sprites) after.insert(sp.identity());
        std::size_t farSprites = 0, kept = 0;
        for (const Sprite& sp : A->sprites) {
            bool away = far({sp.at.x, kHeight - sp.at.y});
            for (const cg::Point& q : sp.path) away = away && far({q.x, kHeight - q.y});
            if (!away) continue;
            ++farSprites;
            kept += after.count(sp.identity());
        }
        EXPECT_GT(farSprites, 20u);
        EXPECT_GE(kept * 20, farSprites * 19);
        std::size_t compared = 0, changed = 0;
        for (int y = 0; y < A->image->pixelHeight(); ++y)
            for (int x = 0; x < A->image->pixelWidth(); ++x) {
                if (!far({2.0 * x, 2.0 * y})) continue;
                ++compared;
                changed += A->image->pixel(x, y) != B->image->pixel(x, y);
            }
        EXPECT_LT(changed * 1000, compared);
    }
}
