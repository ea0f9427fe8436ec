// The skyline: its street plan, buildings shrunk or replaced near icons, yards, painter's order, window
// panes and window sprites, banded painting, and whole renders by day and by night.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Art/Skyline.h"
#include "Platform/Dispatch/Dispatch.h"
#include "ArtTestSupport.h"
#include "Renderer/Streets.h"
#include "SelfTest/SelfTest.h"

namespace {

using Mass = Art::Skyline::Mass;
using Kind = Mass::Kind;

// A skyline painter over a transparent bitmap, with the keep rectangles given.
arttest::Painter desk(double w, double h, bool night, std::vector<cg::Rect> keep = {}, double scale = 1) {
    SceneSpec s;
    s.size = {w, h};
    s.scale = scale;
    s.iconSize = 48;
    s.textSize = 10;
    s.kind = SceneKind::skyline;
    s.night = night;
    Look look(s.kind, night, static_cast<float>(h));
    Terrain t = Renderer::terrain(s, look, keep);
    arttest::Painter p;
    p.bitmap = cg::Context::makeBitmap(static_cast<int>(std::ceil(w * scale)), static_cast<int>(std::ceil(h * scale)), scale);
    p.art = std::make_unique<Art>(p.bitmap.get(), s, std::move(t), std::move(keep), std::move(look), PlacementMap{});
    return p;
}

Mass mass(cg::Rect f, double z1, Kind kind, double ridge = 0, double z0 = 0) {
    Mass m;
    m.f = f;
    m.z0 = z0;
    m.z1 = z1;
    m.wall = 0xB9573F;
    m.roof = 0x8E8B86;
    m.kind = kind;
    m.ridge = ridge;
    return m;
}

std::size_t count(const std::vector<Sprite>& sprites, Sprite::Kind kind, uint32_t color = 0) {
    std::size_t n = 0;
    for (const Sprite& sp : sprites) n += sp.kind == kind && (color == 0 || sp.color == color);
    return n;
}

}  // namespace

TEST(SkylinePlan, ParksAreTheParksOfTheGround) {
    int parks = 0;
    for (int32_t r = -2; r < 30; ++r)
        for (int32_t c = -2; c < 30; ++c) {
            EXPECT_EQ(Art::Skyline::park(c, r), Streets::park(c, r)) << c << "," << r;
            parks += Art::Skyline::park(c, r);
        }
    EXPECT_GT(parks, 0);
}

TEST(SkylinePlan, BuildingsNearIconsAreLoweredThenReplacedByATree) {
    struct Case {
        const char* what;
        Mass m;
        cg::Rect keep;
        bool built;
        double z1;
        Kind kind;
    };
    const cg::Rect tower(200, 300, 40, 60), house(200, 300, 20, 14);
    const Case cases[] = {
        {"nothing near", mass(tower, 100, Kind::glass), {600, 600, 5, 5}, true, 100, Kind::glass},
        {"one quarter lower", mass(tower, 100, Kind::glass), {170, 200, 10, 10}, true, 75, Kind::glass},
        {"too low for a tower", mass(tower, 100, Kind::glass), {190, 260, 5, 5}, true, 31.640625, Kind::flat},
        {"on the footprint's rim", mass(tower, 100, Kind::glass), {241, 355, 4, 4}, false, 0, Kind::flat},
        {"gable down to 6", mass(house, 8, Kind::gable, 6.3), {200, 280, 5, 4}, true, 6, Kind::gable},
        {"gable not below 6", mass(house, 8, Kind::gable, 6.3), {200, 280, 5, 5.5}, false, 0, Kind::gable},
    };
    for (const Case& k : cases) {
        auto p = desk(800, 600, false, {k.keep});
        Art::Skyline sky(*p.art);
        sky.fit(k.m);
        ASSERT_EQ(sky.masses.size(), k.built ? 1u : 0u) << k.what;
        if (k.built) {
            EXPECT_DOUBLE_EQ(sky.masses[0].z1, k.z1) << k.what;
            EXPECT_EQ(sky.masses[0].kind, k.kind) << k.what;
            EXPECT_TRUE(sky.room(sky.masses[0])) << k.what;
            // Only a tower still made of glass carries a crown and an antenna (the last mark, a line).
            sky.dressRoof(sky.masses[0]);
            const bool antenna = !sky.marks.empty() && sky.marks.back().form == Art::Skyline::Mark::Form::line;
            EXPECT_EQ(antenna, k.kind == Kind::glass) << k.what;
        } else {
            ASSERT_EQ(sky.trees.size(), 1u) << k.what;
            EXPECT_EQ(sky.trees[0].p, k.m.f.mid()) << k.what;
            EXPECT_EQ(sky.trees[0].r, 5) << k.what;
        }
    }
}

TEST(SkylinePlan, AnIconMakesAYardThatNoBuildingMeets) {
    // The first built parcel near the screen's centre, with an icon in it.
    for (int64_t r = 2; r < 6; ++r)
        for (int64_t c = 3; c < 8; ++c) {
            if (Art::Skyline::park(c, r)) continue;
            const cg::Rect P = Art::Skyline::parcel(c, r);
            const cg::Rect icon(P.minX() + 50, P.minY() + 40, 30, 30);
            auto p = desk(1600, 1000, false, {icon});
            Art::Skyline sky(*p.art);
            sky.centre = {800, 500};
            sky.reach = 600;
            sky.plot(c, r);
            ASSERT_EQ(sky.yards.size(), 1u);
            EXPECT_EQ(sky.yards[0], icon.insetBy(-10, -10).intersection(P));
            for (const Mass& m : sky.masses) {
                EXPECT_FALSE(m.f.insetBy(-3, -3).intersects(sky.yards[0]));
                EXPECT_TRUE(sky.room(m));
            }
            return;
        }
    FAIL() << "no built parcel";
}

TEST(SkylinePlan, CentralParcelsBuildTowersOrFailTheirDrawIntoPlots) {
    // c ≈ 1 everywhere: towers where rand(1) < 0.8, the 2 × 3 plots elsewhere.
    int towers = 0, plots = 0;
    for (int64_t r = 0; r < 6; ++r)
        for (int64_t c = 0; c < 8; ++c) {
            if (Art::Skyline::park(c, r)) continue;
            const cg::Rect P = Art::Skyline::parcel(c, r);
            auto p = desk(1600, 1000, false);
            Art::Skyline sky(*p.art);
            sky.centre = P.mid();
            sky.reach = 1e6;
            sky.plot(c, r);
            bool glass = false;
            for (const Mass& m : sky.masses) glass = glass || m.kind == Kind::glass;
            if (Art::rand({P.minX(), P.minY()}, 1) < 0.8) {
                ++towers;
                EXPECT_LE(sky.masses.size(), 2u);
                EXPECT_EQ(sky.trees.size(), 4u);
                for (const Mass& m : sky.masses) EXPECT_GE(m.z1, 0.6 * 160 - 1e-9);
            } else {
                ++plots;
                EXPECT_FALSE(glass);
                EXPECT_LE(sky.masses.size() + sky.trees.size(), 6u);
                for (const Mass& m : sky.masses) EXPECT_LE(m.z1, 1.2 * 62 + 1e-9);
            }
        }
    EXPECT_GT(towers, 0);
    EXPECT_GT(plots, 0);
}

TEST(SkylineOrder, BackToFrontByFrontEdgeThenLeftEdgeMassesBeforeEqualTrees) {
    auto p = desk(400, 300, false);
    Art::Skyline sky(*p.art);
    sky.masses = {mass({50, 20, 10, 30}, 10, Kind::flat), mass({10, 20, 10, 30}, 10, Kind::flat),
                  mass({30, 70, 10, 10}, 10, Kind::flat)};
    sky.trees = {{{30, 80}, 4}, {{5, 50}, 4}, {{10, 50}, 4}};
    const auto items = sky.order();
    std::vector<std::pair<bool, std::size_t>> got;
    for (const auto& it : items) got.emplace_back(it.isTree, it.index);
    const std::vector<std::pair<bool, std::size_t>> expected = {{true, 1}, {false, 1}, {true, 2}, {false, 0}, {false, 2}, {true, 0}};
    EXPECT_EQ(got, expected);
}

TEST(SkylineOrder, RecordingInRunsGivesTheListsOfOnePass) {
    auto same = [](const auto& a, const auto& b) { return std::tie(a.order, a.rect) == std::tie(b.order, b.rect); };
    for (const int threads : {1, 0}) {
        const dispatch::ThreadCountScope scope(threads);
        auto p = desk(1400, 900, true, {{600, 400, 60, 50}});
        Art::Skyline sky(*p.art);
        sky.plan();
        sky.record();
        // The same items one by one, into a second painter's lists.
        auto q = desk(1400, 900, true, {{600, 400, 60, 50}});
        Art::Skyline one(*q.art);
        one.plan();
        for (const auto& item : one.order()) {
            ++one.number;
            if (item.isTree) one.tree(one.trees[item.index].p, one.trees[item.index].r);
            else {
                one.box(one.masses[item.index]);
                one.dressRoof(one.masses[item.index]);
                one.occluders.push_back({one.number, Art::Skyline::outline(one.masses[item.index])});
            }
        }
        ASSERT_GT(sky.marks.size(), 5000u);
        ASSERT_EQ(sky.marks.size(), one.marks.size());
        for (std::size_t i = 0; i < sky.marks.size(); ++i) {
            const auto &a = sky.marks[i], &b = one.marks[i];
            ASSERT_TRUE(a.form == b.form && a.count == b.count && a.p == b.p && a.color == b.color && a.width == b.width) << i;
        }
        ASSERT_EQ(sky.panes.size(), one.panes.size());
        for (std::size_t i = 0; i < sky.panes.size(); ++i)
            ASSERT_TRUE(sky.panes[i].points == one.panes[i].points && sky.panes[i].order == one.panes[i].order) << i;
        // Trees are occluders too; the buildings' come in the same order among them.
        std::vector<Art::Skyline::Occluder> buildings;
        for (const auto& o : sky.occluders)
            if (std::any_of(one.occluders.begin(), one.occluders.end(), [&](const auto& b) { return same(o, b); }))
                buildings.push_back(o);
        ASSERT_EQ(buildings.size(), one.occluders.size());
        for (std::size_t i = 0; i < buildings.size(); ++i) EXPECT_TRUE(same(buildings[i], one.occluders[i])) << i;
        ASSERT_EQ(p.art->sprites.size(), q.art->sprites.size());
        ASSERT_GT(p.art->sprites.size(), 0u);
        for (std::size_t i = 0; i < p.art->sprites.size(); ++i) EXPECT_EQ(p.art->sprites[i].at, q.art->sprites[i].at) << i;
    }
}

TEST(SkylineBuildings, PaneRecordsOnlyForGroundedFlatAndGlassAtNight) {
    struct Case {
        const char* what;
        Mass m;
        bool night;
        std::size_t drawn;     // window quads
        std::size_t recorded;  // pane records
    };
    // 47 × 10: ten front and two side columns of flat panes (14 and 3 of glass); z1 12 gives three floors.
    const cg::Rect f(100, 100, 47, 10);
    const Case cases[] = {
        {"flat by day", mass(f, 12, Kind::flat), false, 36, 0},
        {"flat at night", mass(f, 12, Kind::flat), true, 36, 36},
        {"raised flat at night", mass(f, 12, Kind::flat, 0, 5), true, 12, 0},
        {"glass at night", mass(f, 12, Kind::glass), true, 3 * (14 + 3), 51},
        {"gable at night", mass(f, 12, Kind::gable, 4), true, 2 * (6 + 1), 0},
        {"shop at night: no front panes on the ground floor", mass(f, 12, Kind::shop), true, 3 * 12 - 10, 0},
        {"low building: one floor", mass(f, 2, Kind::flat), true, 12, 12},
        {"narrow face: one column", mass({100, 100, 3, 3}, 12, Kind::flat), true, 3 * 2, 6},
        {"planter", mass(f, 12, Kind::planter), true, 0, 0},
    };
    for (const Case& k : cases) {
        auto p = desk(400, 300, k.night);
        Art::Skyline sky(*p.art);
        sky.number = 7;
        sky.box(k.m);
        // Faces, roof and rim (or the gable's roof), shop front and awning: every other mark is a pane.
        std::size_t other = 4;
        if (k.m.kind == Kind::gable) other = 2 + 3 + 3 + (Art::rand({100, 110}, 17) < 0.5 ? 1 : 0);
        if (k.m.kind == Kind::shop) other += 1 + 11;
        EXPECT_EQ(sky.marks.size(), other + k.drawn) << k.what;
        EXPECT_EQ(sky.panes.size(), k.recorded) << k.what;
        for (const auto& pane : sky.panes) EXPECT_EQ(pane.order, 7) << k.what;
    }
}

TEST(SkylineBuildings, ACrownIsAFlatBoxWhosePanesAreNotRecorded) {
    for (const bool night : {false, true}) {
        auto p = desk(400, 300, night);
        Art::Skyline sky(*p.art);
        sky.dressRoof(mass({100, 100, 50, 40}, 80, Kind::glass));
        EXPECT_TRUE(sky.panes.empty());
        // Crown faces and windows, its roof and rim, the antenna.
        ASSERT_FALSE(sky.marks.empty());
        EXPECT_EQ(sky.marks.back().form, Art::Skyline::Mark::Form::line);
        EXPECT_EQ(count(p->sprites, Sprite::Kind::light, 0xFF4A3A), night ? 1u : 0u);
        if (night) {
            // The red light tops the antenna, flipped to drawing points.
            EXPECT_DOUBLE_EQ(p->sprites[0].at.x, 125 - 0.3 * 94);
            EXPECT_DOUBLE_EQ(p->sprites[0].at.y, 300 - (120 - 0.8 * 94));
        }
    }
}

TEST(SkylineBuildings, TreesTakeTheirNightColoursThroughTheNightTint) {
    for (const bool night : {false, true}) {
        auto p = desk(400, 300, night);
        Art::Skyline sky(*p.art);
        sky.tree({100, 100}, 5);
        ASSERT_EQ(sky.marks.size(), 4u);
        // The dark crown disc: 0x3F8A3A by day; 0x2E5E34 dimmed to (0.3 r, 0.34 g, 0.46 b + 0.03) at night.
        const cg::Color expected = night ? cg::Color{0.3 * 0x2E / 255.0, 0.34 * 0x5E / 255.0, 0.46 * 0x34 / 255.0 + 0.03, 1}
                                         : cg::Color::rgb(0x3F8A3A);
        const cg::Color got = sky.marks[1].color;
        auto close = [](double x, double y) { return std::fabs(x - y) < 1e-12; };
        EXPECT_TRUE(close(got.r, expected.r) && close(got.g, expected.g) && close(got.b, expected.b)) << night;
    }
}

TEST(SkylineWindows, OnePerCellNeverBehindLaterItemsOffScreenOrNearIcons) {
    // Cells that the switching draw leaves on and off.
    int64_t on = -1, off = -1;
    for (int64_t col = 0; col < 5 && (on < 0 || off < 0); ++col)
        for (int64_t row = 0; row < 4; ++row) {
            const int64_t key = col * 1000 + row;
            const bool lit = Art::rand({static_cast<double>(key), 7}, 32) < 0.45;
            if (lit && on < 0) on = key;
            if (!lit && off < 0) off = key;
        }
    ASSERT_GE(on, 0);
    ASSERT_GE(off, 0);
    auto corner = [](int64_t key) { return cg::Point{160.0 * (key / 1000) + 60, 140.0 * (key % 1000) + 50}; };
    auto pane = [](cg::Point o, int64_t order) {
        Art::Skyline::Pane p;
        p.points = {{{o.x + 0.3, o.y + 2.1}, {o.x + 1.7, o.y + 2.1}, {o.x + 1.7, o.y + 0.2}, {o.x + 0.3, o.y + 0.2}}};
        p.color = cg::Color::rgb(0xFFD48A);
        p.order = order;
        return p;
    };
    const cg::Point a = corner(on), b{corner(on).x + 30, corner(on).y + 20};
    struct Case {
        const char* what;
        std::vector<Art::Skyline::Pane> panes;
        std::vector<Art::Skyline::Occluder> occluders;
        std::vector<cg::Rect> keep;
        std::size_t picks;
        double width = 1000;
    };
    const Case cases[] = {
        {"alone", {pane(a, 3)}, {}, {}, 1},
        {"hidden by a later item", {pane(a, 3)}, {{4, {a.x + 1, a.y - 5, 10, 6}}}, {}, 0},
        {"behind its own building only", {pane(a, 3)}, {{3, {a.x - 10, a.y - 10, 30, 30}}}, {}, 1},
        {"two in one cell", {pane(a, 3), pane(b, 3)}, {}, {}, 1},
        {"switched off cell", {pane(corner(off), 3)}, {}, {}, 0},
        {"near an icon", {pane(a, 3)}, {}, {{a.x + 5, a.y, 10, 10}}, 0},
        {"reaching past the screen's edge", {pane(a, 3)}, {}, {}, 0, a.x + 2},
    };
    for (const Case& k : cases) {
        auto p = desk(k.width, 700, true, k.keep, 2);
        Art::Skyline sky(*p.art);
        sky.panes = k.panes;
        sky.occluders = k.occluders;
        const auto picks = sky.windowPicks();
        ASSERT_EQ(picks.size(), k.picks) << k.what;
        if (picks.empty()) continue;
        // The pane with the lower draw wins its cell; its rect is snapped to half points and grown.
        const bool second = k.panes.size() == 2 && Art::rand({b.x + 1, b.y + 1.15}, 31) < Art::rand({a.x + 1, a.y + 1.15}, 31);
        EXPECT_EQ(picks[0].pane, second ? 1u : 0u) << k.what;
        const cg::Point o = second ? b : a;
        EXPECT_EQ(picks[0].rect, cg::Rect(o.x - 0.5, o.y - 0.5, 3, 3.5)) << k.what;
    }
}

TEST(SkylinePaint, BandsGiveThePictureOfOneBand) {
    for (const bool night : {false, true}) {
        std::vector<std::vector<uint32_t>> pictures;
        for (const int band : {64, 7, 100000}) {
            auto p = desk(700, 500, night, {{300, 200, 60, 50}}, 1.5);
            Art::Skyline sky(*p.art);
            sky.plan();
            sky.record();
            sky.paint(band);
            pictures.push_back(arttest::pixels(*p.bitmap->makeImage()));
        }
        EXPECT_EQ(pictures[0], pictures[2]) << night;
        EXPECT_EQ(pictures[1], pictures[2]) << night;
    }
}

TEST(SkylinePaint, LeavingOutCoveredMarksAndFillingRunsTogetherKeepTheBytes) {
    // Scales that put the marks on whole, half and odd fractions of pixels.
    for (const double scale : {1.0, 1.5, 2.0, 1.37})
        for (const bool night : {false, true}) {
            std::vector<std::vector<uint32_t>> pictures;
            // Both shortcuts, then each left out.
            for (const auto& [cull, runs] : {std::pair{true, true}, std::pair{false, true}, std::pair{true, false}}) {
                auto p = desk(900, 560, night, {{420, 260, 60, 50}}, scale);
                Art::Skyline sky(*p.art);
                sky.plan();
                sky.record();
                sky.cull = cull;
                sky.runs = runs;
                sky.paint();
                pictures.push_back(arttest::pixels(*p.bitmap->makeImage()));
            }
            EXPECT_EQ(pictures[0], pictures[1]) << scale << " " << night;
            EXPECT_EQ(pictures[0], pictures[2]) << scale << " " << night;
        }
}

TEST(SkylinePaint, MarksFilledTogetherGiveTheBytesOfOneByOne) {
    // Rows of small slanted quads with equal heights (level tops, or upright sides and steep tops),
    // some running off the picture's sides, a pixel or so apart or overlapping, in three colours,
    // among lines and discs: every way a draw can join a fill, wait for one, or go before the others.
    using Mark = Art::Skyline::Mark;
    const cg::Color colors[] = {cg::Color::rgb(0x7EA8CB), cg::Color::rgb(0xFFD48A), cg::Color::rgb(0x3D4C5E)};
    for (uint32_t seed = 1; seed <= 12; ++seed)
        for (const double scale : {1.0, 1.37, 2.0}) {
            std::vector<Mark> marks;
            uint32_t state = seed;
            auto next = [&state] {
                state = state * 1664525u + 1013904223u;
                return static_cast<double>(state >> 8) / 16777216.0;
            };
            for (int row = 0; row < 40; ++row) {
                const bool upright = row % 3 == 1;
                const double y = 4 + 7.3 * row + next(), h = 1.5 + 2 * next(), lean = 0.3 + (upright ? 2 : 1) * next();
                double x = -6 + 4 * next();
                while (x < 206) {
                    const double w = 1.2 + 2.5 * next();
                    Mark m;
                    m.count = 4;
                    m.p = upright ? std::array<cg::Point, 4>{cg::Point{x, y}, {x + w, y - lean}, {x + w, y - lean + h}, {x, y + h}}
                                  : std::array<cg::Point, 4>{cg::Point{x, y}, {x + w, y}, {x + w - lean, y + h}, {x - lean, y + h}};
                    m.color = colors[static_cast<std::size_t>(3 * next())];
                    if (next() < 0.08) {
                        m.form = next() < 0.5 ? Mark::Form::line : Mark::Form::ellipse;
                        m.p[1] = m.form == Mark::Form::line ? cg::Point{x + 3, y + 4} : cg::Point{3, 3};
                        m.width = 0.8;
                    }
                    marks.push_back(m);
                    x += w + (next() < 0.2 ? -0.7 : 0.2 + 1.2 * next());
                }
            }
            std::vector<std::vector<uint32_t>> pictures;
            for (const bool runs : {true, false}) {
                auto p = desk(200, 300, false, {}, scale);
                Art::Skyline sky(*p.art);
                sky.marks = marks;
                sky.cull = false;
                sky.runs = runs;
                sky.paint(1 << 20);
                pictures.push_back(arttest::pixels(*p.bitmap->makeImage()));
            }
            EXPECT_EQ(pictures[0], pictures[1]) << "seed " << seed << " scale " << scale;
        }
}

TEST(SkylineScene, DayCloudsAndNoWindowsNightWindowsOnePerCellAndLamps) {
    for (const bool night : {false, true}) {
        const auto scene = Renderer::render(SelfTest::sampleDesktop(SceneKind::skyline, night), {});
        ASSERT_TRUE(scene);
        const std::string style = night ? "skyline-night" : "skyline-day";
        std::set<std::string> keys;
        for (const auto& entry : scene->placed) keys.insert(entry.first);
        EXPECT_EQ(keys, (std::set<std::string>{style + "-2000001", style + "-22", style + "-keep"}));
        const auto& s = scene->sprites;
        EXPECT_EQ(count(s, Sprite::Kind::cloud), night ? 0u : 2u);
        EXPECT_EQ(count(s, Sprite::Kind::light, 0xE8A85A) > 0, night);
        EXPECT_EQ(count(s, Sprite::Kind::light, 0xFF4A3A) > 0, night);
        EXPECT_GT(count(s, Sprite::Kind::glide), 20u);
        const std::size_t windows = count(s, Sprite::Kind::window);
        EXPECT_EQ(windows > 0, night);
        std::set<int64_t> cells;
        const double H = 1112;
        for (const Sprite& sp : s) {
            if (sp.kind != Sprite::Kind::window) continue;
            ASSERT_TRUE(sp.image);
            const cg::Point c{(sp.at.x + sp.to.x) / 2, H - (sp.at.y + sp.to.y) / 2};
            EXPECT_TRUE(cells.insert(static_cast<int64_t>(c.x / 160) * 1000 + static_cast<int64_t>(c.y / 140)).second);
            EXPECT_GE(sp.at.x, 0);
            EXPECT_LE(sp.to.y, H);
        }
        // Park trees: in a park, 28 points in from the west and east edges, off paths, ponds and yards.
        for (const cg::Point& q : scene->placed.at(style + "-2000001")) {
            const double col = std::floor((q.x + 2) / 160), row = std::floor((q.y + 2) / 140);
            const double lx = q.x + 2 - 160 * col, ly = q.y + 2 - 140 * row;
            EXPECT_TRUE(Art::Skyline::park(static_cast<int64_t>(col), static_cast<int64_t>(row)));
            EXPECT_TRUE(28 < lx && lx < 152 && 34 < ly && ly < 134) << lx << "," << ly;
            const auto way = Streets::parkway(static_cast<int32_t>(col), static_cast<int32_t>(row), static_cast<float>(lx),
                                              static_cast<float>(ly));
            EXPECT_GT(way.path, 7);
            EXPECT_GT(way.pond, 6);
        }
    }
}

TEST(SkylineScene, AtNightFarSpritesAndPixelsStayWhenAnIconMoves) {
    const SceneSpec a = SelfTest::sampleDesktop(SceneKind::skyline, true);
    SceneSpec b = a;
    const cg::Point from = b.icons.back(), to{from.x - 300, from.y};
    b.icons.back() = to;
    const auto A = Renderer::render(a, {});
    const auto B = Renderer::render(b, A->placed);
    ASSERT_TRUE(A && B);
    const double H = a.size.height;
    auto far = [&](cg::Point q) { return std::hypot(q.x - from.x, q.y - from.y) > 380 && std::hypot(q.x - to.x, q.y - to.y) > 380; };
    std::set<std::string> after;
    for (const Sprite& sp : B->sprites) after.insert(sp.identity());
    std::size_t farCount = 0, kept = 0;
    for (const Sprite& sp : A->sprites) {
        bool away = far({sp.at.x, H - sp.at.y});
        if (sp.kind == Sprite::Kind::glide) away = away && far({sp.to.x, H - sp.to.y});
        for (const cg::Point& q : sp.path) away = away && far({q.x, H - q.y});
        if (!away) continue;
        ++farCount;
        kept += after.count(sp.identity());
    }
    EXPECT_GT(farCount, 50u);
    EXPECT_GE(kept * 20, farCount * 19);
    std::size_t compared = 0, changed = 0;
    for (int y = 0; y < 1112; y += 2)
        for (int x = 0; x < 1710; x += 2) {
            if (!far({static_cast<double>(x), static_cast<double>(y)})) continue;
            ++compared;
            changed += A->image->pixel(2 * x, 2 * y) != B->image->pixel(2 * x, 2 * y);
        }
    EXPECT_LT(changed * 1000, compared);
}
