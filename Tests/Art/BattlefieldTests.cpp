// The battlefield's routed paths, trench tracer and ground props, on synthetic terrains.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "BattlefieldTestSupport.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Graphics/Image.h"

namespace {

using Polyline = Art::Battlefield::Polyline;
constexpr double kPi = std::numbers::pi;

float flat(double, double) { return 0.1f; }

// The tank track predicate: open ground and the 34 × 36 box clear of the icons.
std::function<bool(cg::Point)> trackTest(const Art& art) {
    return [&art](cg::Point p) { return art.solid(p) < 0.03f && wartest::clearOf(art.keep, cg::Rect(p.x - 17, p.y - 18, 34, 36)); };
}

// Every stretch of the path passes `ok` when sampled every 4 points.
bool walkable(const Polyline& path, const std::function<bool(cg::Point)>& ok) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        const cg::Point a = path[i - 1], b = path[i];
        const int n = std::max(1, static_cast<int>(std::hypot(b.x - a.x, b.y - a.y) / 4));
        for (int k = 0; k <= n; ++k)
            if (!ok({a.x + (b.x - a.x) * k / n, a.y + (b.y - a.y) * k / n})) return false;
    }
    return true;
}

bool offScreen(cg::Point p, const SceneSpec& s) {
    return !(p.x > 0 && p.x < s.size.width && p.y > 0 && p.y < s.size.height);
}

// The key of a stored tank track of a day warzone.
std::string way(int i) { return "warzone-day-9000003-way" + std::to_string(i); }

const SceneSpec kField = wartest::spec(900, 600);
const cg::Rect kIcon(400, 250, 120, 100);

}  // namespace

TEST(BattlefieldPaths, AnOpenFieldWithOneIconGivesThreeStoredEdgeToEdgeTracks) {
    auto p = wartest::synthetic(kField, flat, {kIcon});
    const auto ok = trackTest(*p.art);
    const std::vector<Polyline> tracks = p.field().crossings(9000003, 3, 30, ok);
    ASSERT_EQ(tracks.size(), 3u);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Polyline& t = tracks[i];
        EXPECT_GE(t.size(), 7u);
        EXPECT_TRUE(offScreen(t.front(), kField) && offScreen(t.back(), kField));
        EXPECT_TRUE(t.front().x == -40 || t.front().y == -40 || t.front().x == 940 || t.front().y == 640);
        for (std::size_t k = 1; k < t.size(); ++k)
            EXPECT_NEAR(std::hypot(t[k].x - t[k - 1].x, t[k].y - t[k - 1].y), 30, 1e-9);
        EXPECT_TRUE(walkable(t, ok));
        EXPECT_EQ(p.art->placed.at(way(static_cast<int>(i))), t);
    }
    EXPECT_EQ(p.art->placed.count(p.art->key(9000003)), 1u) << "the start candidates are stored too";

    // The same icons again: the same paths, in the same order.
    auto again = wartest::synthetic(kField, flat, {kIcon}, p.art->placed);
    EXPECT_EQ(again.field().crossings(9000003, 3, 30, trackTest(*again.art)), tracks);
}

TEST(BattlefieldPaths, MovingTheIconOntoATrackMendsOnlyTheBlockedStretch) {
    auto a = wartest::synthetic(kField, flat, {kIcon});
    const std::vector<Polyline> before = a.field().crossings(9000003, 3, 30, trackTest(*a.art));
    ASSERT_EQ(before.size(), 3u);
    const Polyline& old = before[0];
    const cg::Point mid = old[old.size() / 2];
    const cg::Rect moved(mid.x - 30, mid.y - 30, 60, 60);

    auto b = wartest::synthetic(kField, flat, {moved}, a.art->placed);
    const auto ok = trackTest(*b.art);
    const std::vector<Polyline> after = b.field().crossings(9000003, 3, 30, ok);
    ASSERT_FALSE(after.empty());
    const Polyline& mended = after[0];
    EXPECT_EQ(mended.front(), old.front());
    EXPECT_EQ(mended.back(), old.back());
    EXPECT_NE(mended, old);
    EXPECT_TRUE(walkable(mended, ok));
    // The stored points before the blockage and after the rejoin are kept as they were.
    std::size_t prefix = 0, suffix = 0;
    while (prefix < std::min(old.size(), mended.size()) && old[prefix] == mended[prefix]) ++prefix;
    while (suffix < std::min(old.size(), mended.size()) && old[old.size() - 1 - suffix] == mended[mended.size() - 1 - suffix])
        ++suffix;
    EXPECT_GE(prefix + 9, old.size() / 2);
    EXPECT_GE(suffix, 1u);
    EXPECT_GT(prefix + suffix, old.size() / 2);
    // A track the icon does not touch stays exactly as it was.
    for (std::size_t i = 1; i < before.size(); ++i)
        if (walkable(before[i], ok)) {
            EXPECT_NE(std::find(after.begin(), after.end(), before[i]), after.end());
        }
}

TEST(BattlefieldPaths, StoredPathsThatCannotServeAreDroppedAndTheirKeysRemoved) {
    const Polyline across = {{-40, 300}, {130, 300}, {300, 300}, {470, 300}, {640, 300}, {810, 300}, {940, 300}};
    Polyline shortOne(across.begin(), across.begin() + 6);
    shortOne.back() = {940, 300};
    Polyline endsInside = across;
    endsInside.back() = {880, 300};
    struct Case {
        const char* what;
        Polyline stored;
        bool reused;
    };
    for (const Case& c : {Case{"seven points, both ends off screen", across, true},
                          Case{"six points", shortOne, false},
                          Case{"an end on the screen", endsInside, false}}) {
        auto p = wartest::synthetic(kField, flat, {}, {{way(0), c.stored}});
        const auto paths = p.field().crossings(9000003, 1, 30, [](cg::Point) { return true; });
        ASSERT_EQ(paths.size(), 1u) << c.what;
        EXPECT_EQ(paths[0] == c.stored, c.reused) << c.what;
    }

    // Nothing passes: every stored path below the count is removed, entries past it are not touched.
    PlacementMap stored;
    for (int i = 0; i < 4; ++i) stored[way(i)] = across;
    auto blocked = wartest::synthetic(kField, flat, {}, stored);
    EXPECT_TRUE(blocked.field().crossings(9000003, 3, 30, [](cg::Point) { return false; }).empty());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(blocked.art->placed.count(way(i)), 0u);
    EXPECT_EQ(blocked.art->placed.count(way(3)), 1u);

    // A count of 0 routes nothing and leaves the stored paths alone, but records the candidates.
    auto none = wartest::synthetic(kField, flat, {}, stored);
    EXPECT_TRUE(none.field().crossings(9000003, 0, 30, [](cg::Point) { return true; }).empty());
    EXPECT_EQ(none.art->placed.count(way(0)), 1u);
    EXPECT_EQ(none.art->placed.count(std::string("warzone-day-9000003")), 1u);
}

TEST(TrenchLines, AConeGivesOneClosedChainAndASmallBumpNone) {
    struct Case {
        double radius;  // of the cone's foot; the 0.5 contour lies at half of it
        std::size_t chains;
    };
    for (const Case& c : {Case{200, 1}, Case{140, 0}}) {
        auto p = wartest::synthetic(wartest::spec(480, 480), [&](double x, double y) {
            return static_cast<float>(std::max(0.0, 1 - std::hypot(x - 240, y - 240) / c.radius));
        });
        const auto chains = Art::Battlefield::contours(*p.art->t.v, 0.5f);
        ASSERT_EQ(chains.size(), c.chains) << c.radius;
        for (const Polyline& chain : chains) {
            EXPECT_GT(chain.size(), 50u);
            EXPECT_LT(std::hypot(chain.front().x - chain.back().x, chain.front().y - chain.back().y), 1e-3);
            for (const cg::Point& q : chain) EXPECT_NEAR(std::hypot(q.x - 240, q.y - 240), c.radius / 2, 1.5);
        }
    }
    auto high = wartest::synthetic(wartest::spec(480, 480), flat);
    EXPECT_TRUE(Art::Battlefield::contours(*high.art->t.v, 0.5f).empty());
}

TEST(TrenchLines, StayOffAnIconAndResumeBeyondItWithoutAJoiningStroke) {
    const cg::Rect icon(300, 180, 60, 120);  // across the right side of the ring
    auto p = wartest::synthetic(wartest::spec(480, 480), [](double x, double y) {
        return static_cast<float>(std::max(0.0, 1 - std::hypot(x - 240, y - 240) / 200));
    }, {icon});
    p.field().trenches(0.5f);
    int inked = 0, insideIcon = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 480; ++x) {
            if (!(p.bitmap->pixel(x, y) >> 24)) continue;
            ++inked;
            if (icon.contains(cg::Point{x + 0.5, y + 0.5})) ++insideIcon;
        }
    EXPECT_GT(inked, 1000);
    EXPECT_EQ(insideIcon, 0);
}

TEST(TrenchLines, OnePathWhateverTheThreadsAndTheSameInkAsTracedInPlace) {
    const cg::Rect icon(300, 180, 60, 120);
    auto p = wartest::synthetic(wartest::spec(480, 480), [](double x, double y) {
        return static_cast<float>(std::max(0.0, 1 - std::hypot(x - 240, y - 240) / 200));
    }, {icon});
    const auto chains = Art::Battlefield::contours(*p.art->t.v, 0.5f);
    cg::Path alone;
    {
        dispatch::ThreadCountScope one(1);
        alone = p.field().trenchPath(chains);
    }
    const cg::Path shared = p.field().trenchPath(chains);
    EXPECT_GT(shared.elements().size(), 100u);
    EXPECT_EQ(shared, alone);
    // A gap at the icon: more than one stroke starts on the ring.
    EXPECT_GT(std::count(shared.elements().begin(), shared.elements().end(), shared.elements().front()), 1);

    auto traced = wartest::synthetic(wartest::spec(480, 480), [](double x, double y) {
        return static_cast<float>(std::max(0.0, 1 - std::hypot(x - 240, y - 240) / 200));
    }, {icon});
    traced.field().trenches(0.5f);
    p.field().trenchLines(shared);
    EXPECT_TRUE(std::equal(p.bitmap->data(), p.bitmap->data() + 480 * 480 * 4, traced.bitmap->data()));
}

TEST(BattlefieldTraffic, PicturesDrawnBeforehandGiveTheSameUnitsAndAWrongCountIsRedrawn) {
    for (const bool night : {false, true}) {
        const Art::Battlefield::Field field{0.05f, {}, {}};
        auto want = wartest::synthetic(wartest::spec(900, 600, night), flat);
        want.field().traffic(field);
        ASSERT_FALSE(want.art->sprites.empty()) << night;
        auto ahead = wartest::synthetic(wartest::spec(900, 600, night), flat);
        const std::vector<cg::ImageRef> drawn = ahead.field().trafficPictures();
        ASSERT_FALSE(drawn.empty());
        const std::vector<cg::ImageRef> cases[] = {drawn, {drawn.begin(), drawn.end() - 1}, {}};
        for (const auto& given : cases) {
            auto p = wartest::synthetic(wartest::spec(900, 600, night), flat);
            p.field().traffic(field, given);
            ASSERT_EQ(p.art->sprites.size(), want.art->sprites.size()) << night << " " << given.size();
            for (std::size_t i = 0; i < p.art->sprites.size(); ++i) {
                const Sprite &got = p.art->sprites[i], &ref = want.art->sprites[i];
                EXPECT_EQ(got.at, ref.at) << i;
                ASSERT_EQ(!got.image, !ref.image) << i;
                if (!got.image) continue;
                const std::size_t n = static_cast<std::size_t>(got.image->pixelWidth()) *
                                      static_cast<std::size_t>(got.image->pixelHeight());
                EXPECT_TRUE(std::equal(got.image->data(), got.image->data() + n, ref.image->data())) << i;
            }
        }
    }
}

TEST(BattlefieldProps, ANestLeavesAGapStraightBehindItsGun) {
    for (const double facing : {0.0, kPi / 2, kPi}) {
        const auto bags = Art::Battlefield::nestBags({120, 80}, facing);
        const std::size_t kept = bags.back.size() + bags.front.size();
        EXPECT_GE(kept, 11u);
        EXPECT_LE(kept, 13u);
        for (double a : bags.back) EXPECT_GT(std::sin(a), 0);
        for (double a : bags.front) EXPECT_LE(std::sin(a), 0);
        for (const auto* list : {&bags.back, &bags.front})
            for (double a : *list) EXPECT_LT(std::cos(a - facing - kPi), 0.93) << facing;
    }
    // Facing left, the gap is on the right-hand side.
    const auto left = Art::Battlefield::nestBags({120, 80}, kPi);
    for (const auto* list : {&left.back, &left.front})
        for (double a : *list) EXPECT_LT(std::cos(a), 0.93);
}

TEST(BattlefieldProps, ABarrageOnClosedGroundLeavesOnlyItsFaintScorch) {
    auto strongest = [](bool open) {
        auto p = wartest::synthetic(wartest::spec(300, 240), flat);
        p.field().barrage({150, 120}, [open](cg::Point) { return open; });
        int alpha = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 300; ++x) alpha = std::max(alpha, static_cast<int>(p.bitmap->pixel(x, y) >> 24));
        return alpha;
    };
    const int closed = strongest(false), open = strongest(true);
    EXPECT_GT(closed, 20);
    EXPECT_LT(closed, 150);
    EXPECT_EQ(open, 255);
}

TEST(BattlefieldProps, TreadsLookTheSameWhateverCapAnEarlierStrokeLeft) {
    const Polyline path = {{-40, 50}, {60, 80}, {160, 60}, {260, 120}, {340, 100}};
    auto fresh = wartest::synthetic(wartest::spec(300, 200), flat);
    auto rounded = wartest::synthetic(wartest::spec(300, 200), flat);
    rounded.bitmap->setLineCap(cg::LineCap::round);
    rounded.bitmap->setLineJoin(cg::LineJoin::round);
    fresh.field().treads(path);
    rounded.field().treads(path);
    const auto a = fresh.bitmap->makeImage(), b = rounded.bitmap->makeImage();
    EXPECT_TRUE(std::equal(a->data(), a->data() + 300 * 200, b->data()));
}

TEST(BattlefieldProps, ATentLightsItsDoorAndAddsTwoLightsOnlyAtNight) {
    for (const bool night : {false, true}) {
        auto p = wartest::synthetic(wartest::spec(120, 80, night), flat);
        p.field().tent({60, 30});
        EXPECT_TRUE(p.art->sprites.empty());  // the picture alone: bands may draw it many times
        p.field().tentLights({60, 30});
        ASSERT_EQ(p.art->sprites.size(), night ? 2u : 0u);
        if (!night) continue;
        EXPECT_EQ(p.art->sprites[0].size, 0.8);
        EXPECT_EQ(p.art->sprites[0].color, 0xFFC56Bu);
        EXPECT_EQ(p.art->sprites[1].size, 32);
        EXPECT_TRUE(p.art->sprites[1].glow);
        EXPECT_EQ(p.art->sprites[0].phase, p.art->sprites[1].phase);
    }
}

TEST(BattlefieldBands, DrawLikeOnePassAndAlikeAtAnyThreadCount) {
    const SceneSpec s = wartest::spec(600, 400, false, 2);
    // Props scattered over every band, some across band edges.
    auto ground = [](Art& a, double top, double bottom) {
        Art::Battlefield f(a);
        for (int i = 0; i < 40; ++i) {
            const cg::Point p{15.0 + (i * 97) % 570, 10.0 + (i * 61) % 380};
            if (p.y + 40 < top || p.y - 40 > bottom) continue;
            f.crater(a.flip(p), 3 + i % 9, i % 4 == 0);
            f.weeds(a.flip({p.x + 20, p.y}));
        }
        f.treads({{-40, 30}, {200, 150}, {400, 260}, {640, 380}});
    };
    auto banded = [&](int threads) {
        dispatch::ThreadCountScope scope(threads);
        auto p = wartest::synthetic(s, flat);
        p.field().inBands(ground);
        return p.bitmap->makeImage();
    };
    auto p = wartest::synthetic(s, flat);
    ground(*p.art, -1e9, 1e9);
    const auto once = p.bitmap->makeImage(), one = banded(1), all = banded(8);
    const std::size_t n = 1200 * 800;
    EXPECT_TRUE(std::equal(one->data(), one->data() + n, all->data()));
    std::size_t differ = 0, inked = 0;
    int worst = 0;
    for (std::size_t i = 0; i < n; ++i) {
        inked += (once->data()[i] >> 24) != 0;
        if (once->data()[i] == one->data()[i]) continue;
        ++differ;
        for (int sh = 0; sh < 32; sh += 8)
            worst = std::max(worst, std::abs(int((once->data()[i] >> sh) & 0xFF) - int((one->data()[i] >> sh) & 0xFF)));
    }
    EXPECT_GT(inked, n / 20);
    EXPECT_LT(differ * 100, inked);
    EXPECT_LE(worst, 8);
}

TEST(BattlefieldBands, ABandLeavesOutOnlyWhatCannotReachItsRows) {
    using Rows = Art::Battlefield::Rows;
    const auto ring = [](double x, double y) {
        return static_cast<float>(std::max(0.0, 1 - std::hypot(x - 240, y - 200) / 190));
    };
    // Each prop drawn whole or for one band of rows; the band's rows must come out the same.
    const std::function<void(Art::Battlefield&, Rows)> props[] = {
        [](Art::Battlefield& f, Rows rows) {
            const auto runs = f.trenchRuns(Art::Battlefield::contours(*f.art.t.v, 0.5f));
            f.trenchLines(f.runsNear(runs, rows, 8));
        },
        [](Art::Battlefield& f, Rows rows) {
            f.treads(f.treadLines({{-40, 30}, {130, 140}, {250, 90}, {330, 300}, {520, 380}}), rows);
        },
        [](Art::Battlefield& f, Rows rows) { f.barrage({240, 210}, [](cg::Point) { return true; }, rows); },
        [](Art::Battlefield& f, Rows rows) {
            for (const double y : {112.0, 160.0, 232.0, 262.0}) f.wire(f.art.flip({60 + y, y}), 90, y / 400 - 0.35, rows);
        },
    };
    for (std::size_t k = 0; k < std::size(props); ++k) {
        auto whole = wartest::synthetic(wartest::spec(480, 400), ring);
        Art::Battlefield all = whole.field();
        props[k](all, Rows{});
        for (const auto& [top, bottom] : {std::pair{100, 164}, std::pair{170, 234}, std::pair{250, 314}}) {
            auto band = wartest::synthetic(wartest::spec(480, 400), ring);
            Art::Battlefield part = band.field();
            props[k](part, Rows{static_cast<double>(top), static_cast<double>(bottom)});
            const std::size_t stride = 480 * 4;
            const uint8_t *want = whole.bitmap->data(), *got = band.bitmap->data();
            EXPECT_TRUE(std::equal(want + stride * top, want + stride * bottom, got + stride * top)) << k << " " << top;
            // Something was left out elsewhere, and the band has ink of its own.
            EXPECT_FALSE(std::equal(want, want + stride * 400, got)) << k << " " << top;
            EXPECT_FALSE(std::all_of(got + stride * top, got + stride * bottom, [](uint8_t b) { return b == 0; }))
                << k << " " << top;
        }
    }
}

TEST(BattlefieldTraffic, UnitsWorkedOutAsideDrawNothingTillTheirLampsAreDrawn) {
    for (const bool night : {false, true}) {
        const Art::Battlefield::Field field{0.05f, {}, {}};
        auto want = wartest::synthetic(wartest::spec(900, 600, night), flat);
        want.field().traffic(field);
        auto p = wartest::synthetic(wartest::spec(900, 600, night), flat);
        const std::vector<cg::Point> lamps = p.field().trafficUnits(field, {});
        const std::size_t bytes = 900 * 600 * 4;
        EXPECT_TRUE(std::all_of(p.bitmap->data(), p.bitmap->data() + bytes, [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(lamps.empty(), !night);
        p.field().lamps(lamps);
        EXPECT_TRUE(std::equal(p.bitmap->data(), p.bitmap->data() + bytes, want.bitmap->data())) << night;
        EXPECT_EQ(p.art->sprites.size(), want.art->sprites.size()) << night;
    }
}

TEST(BattlefieldBands, DrawWhatGoesAtopLikeAPassAfterTheGroundInAnyOrder) {
    using Rows = Art::Battlefield::Rows;
    const SceneSpec s = wartest::spec(600, 400, false, 2);
    auto ground = [](Art& a, double top, double bottom) {
        Art::Battlefield f(a);
        for (int i = 0; i < 30; ++i) {
            const cg::Point p{20.0 + (i * 89) % 560, 12.0 + (i * 53) % 376};
            if (p.y + 40 < top || p.y - 40 > bottom) continue;
            f.crater(a.flip(p), 3 + i % 9, i % 3 == 0);
        }
    };
    // Tents and trees over the craters, some across band edges; the trees' canopies are gradients.
    auto atop = [](Art& a, Rows rows) {
        Art::Battlefield f(a);
        for (int i = 0; i < 24; ++i) {
            const cg::Point p{30.0 + (i * 131) % 540, 8.0 + (i * 67) % 384};
            if (!rows.near(p.y, 30)) continue;
            if (i % 2) f.tent(a.flip(p));
            else a.canopy(a.flip(p), 5.5, 0x3A4A26, 0x7A8A4A, 0.3);
        }
    };
    auto want = wartest::synthetic(s, flat);
    want.field().inBands(ground);
    want.art->paintInBands([&](Art& a, const cg::Rect& span) { atop(a, Rows{400 - span.maxY(), 400 - span.minY()}); });
    const std::function<double(Rows)> costs[] = {nullptr, [](Rows r) { return r.top; }, [](Rows) { return 1.0; }};
    for (std::size_t k = 0; k < std::size(costs); ++k)
        for (const int threads : {1, 8}) {
            dispatch::ThreadCountScope scope(threads);
            auto p = wartest::synthetic(s, flat);
            p.field().inBands(ground, atop, costs[k]);
            EXPECT_TRUE(std::equal(p.bitmap->data(), p.bitmap->data() + 1200 * 800 * 4, want.bitmap->data()))
                << k << " " << threads;
        }
}
