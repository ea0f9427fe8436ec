#include "Art/Art.h"
#include "Platform/Graphics/Context.h"
#include "Pipeline/Render.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Renderer/Random.h"
#include "Renderer/TerrainLayout.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <memory>

namespace {

SceneSpec desk(std::vector<cg::Point> icons, SceneKind kind = SceneKind::sea, bool night = false) {
    SceneSpec s;
    s.size = {1440, 900};
    s.scale = 1;
    s.icons = std::move(icons);
    s.iconSize = 64;
    s.textSize = 12;
    s.kind = kind;
    s.night = night;
    return s;
}

// A painter for the request, with the keep entry a render would have stored.
std::unique_ptr<Art> painter(const SceneSpec& s, PlacementMap before) {
    Look look(s.kind, s.night, static_cast<float>(s.size.height));
    auto keep = Renderer::keepRects(s);
    Terrain t = Renderer::terrain(s, look, keep);
    auto art = std::make_unique<Art>(nullptr, s, std::move(t), keep, std::move(look), std::move(before));
    std::vector<cg::Point> pts;
    for (const auto& r : keep) {
        pts.push_back(r.origin);
        pts.push_back({r.size.width, r.size.height});
    }
    art->placed[art->style() + "-keep"] = pts;
    return art;
}

const auto anywhere = [](cg::Point) { return true; };

}  // namespace

TEST(KeepRects, ReferenceExamples) {
    SceneSpec s = desk({{100, 100}});
    auto below = Renderer::keepRects(s);
    ASSERT_EQ(below.size(), 1u);
    EXPECT_EQ(below[0].origin, (cg::Point{37, 62}));
    EXPECT_DOUBLE_EQ(below[0].size.width, 126);
    EXPECT_DOUBLE_EQ(below[0].size.height, 113.2);
    s.labelsRight = true;
    auto right = Renderer::keepRects(s);
    EXPECT_EQ(right[0].origin, (cg::Point{62, 62}));
    EXPECT_DOUBLE_EQ(right[0].size.width, 226.2);
    EXPECT_DOUBLE_EQ(right[0].size.height, 76);
    EXPECT_TRUE(Renderer::keepRects(desk({})).empty());
}

TEST(Spots, KeysFollowSceneTimeOfDayAndSalt) {
    auto art = painter(desk({}, SceneKind::sea, true), {});
    EXPECT_EQ(art->key(31), "sea-night-31");
    EXPECT_EQ(art->style(), "sea-night");
}

TEST(Spots, FreshCallEqualsARunWithoutHistoryAndIsStored) {
    auto a = painter(desk({{300, 300}}), {});
    auto b = painter(desk({{300, 300}}), {{"reef-day-5", {{1, 1}}}});
    const auto pa = a->spots(5, 40, 30, 12, anywhere);
    const auto pb = b->spots(5, 40, 30, 12, anywhere);
    EXPECT_EQ(pa, pb);
    EXPECT_EQ(pa.size(), 12u);
    EXPECT_EQ(a->placed.at("sea-day-5"), pa);
    EXPECT_EQ(b->placed.at("reef-day-5"), (std::vector<cg::Point>{{1, 1}}));  // other scenes survive
    for (std::size_t i = 0; i < pa.size(); ++i)
        for (std::size_t j = i + 1; j < pa.size(); ++j)
            EXPECT_GE(std::hypot(pa[i].x - pa[j].x, pa[i].y - pa[j].y), 30);
}

TEST(Spots, IdenticalLayoutKeepsRememberedPointsAndAddsNone) {
    const SceneSpec s = desk({{300, 300}, {900, 500}});
    auto first = painter(s, {});
    const auto pts = first->spots(7, 60, 20, 30, anywhere);
    ASSERT_FALSE(pts.empty());
    auto second = painter(s, first->placed);
    EXPECT_TRUE(second->changed().empty());
    // A predicate that now rejects one point drops it and finds no replacement.
    const cg::Point gone = pts.front();
    const auto again = second->spots(7, 60, 20, 30, [&](cg::Point p) { return !(p == gone); });
    std::vector<cg::Point> expected(pts.begin() + 1, pts.end());
    EXPECT_EQ(again, expected);
}

TEST(Spots, MovedIconAddsCandidatesOnlyNearTheChange) {
    const SceneSpec s = desk({{300, 300}, {1200, 700}});
    auto first = painter(s, {});
    const auto pts = first->spots(9, 400, 40, 1000, [](cg::Point p) { return std::hypot(p.x - 1200, p.y - 700) > 250; });
    SceneSpec moved = s;
    moved.icons[1] = {1201, 700};
    auto second = painter(moved, first->placed);
    ASSERT_EQ(second->changed().size(), 2u);  // the new rectangle, then the old one
    EXPECT_EQ(second->changed()[0], Renderer::keepRects(moved)[1]);
    EXPECT_EQ(second->changed()[1], Renderer::keepRects(s)[1]);
    const auto again = second->spots(9, 400, 40, 1000, anywhere);
    ASSERT_GE(again.size(), pts.size());
    for (std::size_t i = 0; i < pts.size(); ++i) EXPECT_EQ(again[i], pts[i]);
    for (std::size_t i = pts.size(); i < again.size(); ++i) {
        const cg::Rect near = second->changed()[0].unionWith(second->changed()[1]);
        const double dx = std::max({near.minX() - again[i].x, again[i].x - near.maxX(), 0.0});
        const double dy = std::max({near.minY() - again[i].y, again[i].y - near.maxY(), 0.0});
        EXPECT_LT(std::hypot(dx, dy), 200);
    }
    EXPECT_GT(again.size(), pts.size());  // the area around the icon, closed before, now takes new points
}

TEST(Spots, DistinctSaltsAtOnceGiveTheListsOfOneAfterAnother) {
    // A moved icon makes every call read the remembered points and the changed rectangles, which the
    // first caller works out while the others may be asking too.
    const SceneSpec s = desk({{300, 300}, {1200, 700}});
    auto first = painter(s, {});
    constexpr uint64_t kSalts = 12;
    for (uint64_t salt = 1; salt <= kSalts; ++salt) first->spots(salt, 600, 30, 200, anywhere);
    SceneSpec moved = s;
    moved.icons[1] = {1180, 690};
    auto serial = painter(moved, first->placed);
    auto parallel = painter(moved, first->placed);
    std::vector<std::vector<cg::Point>> want(kSalts), got(kSalts);
    for (uint64_t salt = 1; salt <= kSalts; ++salt) want[salt - 1] = serial->spots(salt, 600, 30, 200, anywhere);
    dispatch::concurrentPerform(kSalts, [&](std::size_t i) { got[i] = parallel->spots(i + 1, 600, 30, 200, anywhere); });
    EXPECT_EQ(got, want);
    EXPECT_EQ(parallel->placed, serial->placed);
}

TEST(Spots, FreshCandidatesReachTheFullDistanceFromAChange) {
    // Remembered points on the left keep the call from being fresh; the icon on the right moves.
    const SceneSpec s = desk({{300, 300}, {1100, 500}});
    auto first = painter(s, {});
    const auto left = first->spots(4, 800, 40, 1000, [](cg::Point p) { return p.x < 500; });
    ASSERT_FALSE(left.empty());
    SceneSpec moved = s;
    moved.icons[1] = {1101, 500};
    auto second = painter(moved, first->placed);
    const auto again = second->spots(4, 800, 40, 1000, anywhere);
    double nearest = 0, farthest = 0;
    for (std::size_t i = left.size(); i < again.size(); ++i) {
        double d = 1e9;
        for (const cg::Rect& r : second->changed()) {
            const double dx = std::max({r.minX() - again[i].x, again[i].x - r.maxX(), 0.0});
            const double dy = std::max({r.minY() - again[i].y, again[i].y - r.maxY(), 0.0});
            d = std::min(d, std::hypot(dx, dy));
        }
        nearest = i == left.size() ? d : std::min(nearest, d);
        farthest = std::max(farthest, d);
    }
    EXPECT_LT(farthest, 200);
    EXPECT_GT(farthest, 150);  // candidates come from the whole 200-point band, not a narrower one
    EXPECT_LT(nearest, 50);
}

TEST(Spots, AllRememberedPointsFailingMakesTheCallFresh) {
    const SceneSpec s = desk({{300, 300}});
    auto first = painter(s, {});
    first->placed["sea-day-3"] = {{-100, -100}, {-50, -50}};
    auto second = painter(s, first->placed);
    auto reference = painter(s, {});
    const auto inside = [](cg::Point p) { return p.x >= 0 && p.y >= 0; };
    EXPECT_EQ(second->spots(3, 50, 10, 20, inside), reference->spots(3, 50, 10, 20, inside));
}

TEST(Spots, LimitZeroTriesAndGapEdges) {
    auto art = painter(desk({}), {{"sea-day-4", {{10, 10}, {40, 10}, {100, 100}}}});
    EXPECT_TRUE(art->spots(4, 100, 0, 0, anywhere).empty());
    EXPECT_TRUE(art->placed.at("sea-day-4").empty());
    // Zero tries still keeps what passes; a point exactly gap away is accepted.
    auto art2 = painter(desk({}), {{"sea-day-4", {{10, 10}, {40, 10}, {100, 100}}}});
    EXPECT_EQ(art2->spots(4, 0, 30, 10, anywhere), (std::vector<cg::Point>{{10, 10}, {40, 10}, {100, 100}}));
    auto art3 = painter(desk({}), {{"sea-day-4", {{10, 10}, {39.9, 10}}}});
    EXPECT_EQ(art3->spots(4, 0, 30, 10, anywhere), (std::vector<cg::Point>{{10, 10}}));
}

TEST(Spots, SameSaltTwiceReadsBeforeAgain) {
    auto art = painter(desk({}), {{"sea-day-8", {{10, 10}}}});
    const auto one = art->spots(8, 0, 0, 5, anywhere);
    const auto two = art->spots(8, 0, 0, 5, [](cg::Point) { return false; });
    EXPECT_EQ(one.size(), 1u);
    EXPECT_TRUE(two.empty());
    EXPECT_TRUE(art->placed.at("sea-day-8").empty());
}

TEST(Changed, RemovedIconsContributeTheirOldRectangles) {
    const SceneSpec s = desk({{300, 300}, {700, 400}});
    auto first = painter(s, {});
    auto none = painter(desk({}), first->placed);
    EXPECT_EQ(none->changed(), Renderer::keepRects(s));
    // An odd last point of a stored keep entry is ignored.
    auto odd = painter(desk({}), {{"sea-day-keep", {{1, 2}, {3, 4}, {5, 6}}}});
    EXPECT_EQ(odd->changed(), (std::vector<cg::Rect>{cg::Rect(1, 2, 3, 4)}));
}

TEST(Plankton, KeepsItsBoxesOffTheIcons) {
    auto art = painter(desk({{300, 300}, {700, 400}}), {});
    const auto pts = art->plankton(77, 300, 10, 200);
    ASSERT_FALSE(pts.empty());
    for (const auto& p : pts)
        for (const auto& r : art->keep) EXPECT_FALSE(cg::Rect(p.x - 12, p.y - 12, 24, 24).intersects(r));
}

TEST(Bird, LoopOfSevenPointsInDrawingSpace) {
    auto art = painter(desk({}), {});
    art->bird({200, 100}, 50, 20, 3, 0x112233, 0.6);
    ASSERT_EQ(art->sprites.size(), 1u);
    const Sprite& b = art->sprites[0];
    EXPECT_EQ(b.kind, Sprite::Kind::bird);
    EXPECT_EQ(b.at, (cg::Point{200, 800}));
    EXPECT_EQ(b.phase, Art::rand({200, 100}, 0));
    ASSERT_EQ(b.path.size(), 7u);
    EXPECT_TRUE(b.closed);
    EXPECT_EQ(b.pulse, 0.2);
    for (const auto& p : b.path) {
        EXPECT_LE(std::fabs(p.x - 200), 50 + 1e-9);
        EXPECT_LE(std::fabs(p.y - 800), 20 + 1e-9);
    }
    // The first point: angle from salt 3, factor from salt 53.
    const double a = 2 * M_PI * (0 + 0.5 * (Art::rand({200, 100}, 3) - 0.5)) / 7;
    const double f = 1 - 0.3 * Art::rand({200, 100}, 53);
    EXPECT_EQ(b.path[0], (cg::Point{200 + 50 * f * std::cos(a), 900 - (100 + 20 * f * std::sin(a))}));
}

TEST(Offscreen, DrawsIntoAFrameAndPutsTheSceneContextBack) {
    auto scene = cg::Context::makeBitmap(10, 10, 1);
    auto art = painter(desk({}), {});
    art->ctx = scene.get();
    cg::Context* seen = nullptr;
    const cg::ImageRef img = art->offscreen(12.4, 16, 2, [&] {
        seen = art->ctx;
        art->ctx->setFillColor(cg::Color::rgb(0xFF0000));
        art->ctx->fill(cg::Rect(0, 0, 1, 1));
    });
    EXPECT_EQ(art->ctx, scene.get());
    ASSERT_NE(seen, nullptr);
    EXPECT_NE(seen, scene.get());
    ASSERT_TRUE(img);
    EXPECT_EQ(img->pixelWidth(), 25);
    EXPECT_EQ(img->pixelHeight(), 32);
    EXPECT_EQ(img->pixel(0, 31), 0xFFFF0000u);  // y-up: the unit rect lands in the bottom rows
    EXPECT_EQ(img->pixel(0, 0), 0u);
    // A frame that cannot be made gives no image and leaves the context alone.
    EXPECT_FALSE(art->offscreen(0, 5, 2, [] {}));
    EXPECT_EQ(art->ctx, scene.get());
}

// Fresh placement is a greedy pass over the seeded candidates: each is kept when no kept point lies
// nearer than the gap. Checked against that pass written out plainly, for gaps from below a point to
// wider than a tenth of the screen, none and an endless one.
TEST(Placement, FreshSpotsAreTheGreedyPassOverTheSeededCandidates) {
    const SceneSpec s = desk({{100, 100}});
    const double inf = std::numeric_limits<double>::infinity();
    for (double gap : {0.0, 0.6, 7.0, 40.0, 150.0, inf}) {
        SCOPED_TRACE(gap);
        auto art = painter(s, {});
        const uint64_t salt = 77;
        const int64_t tries = 3000;
        RNG rng(s.seed() + salt * 0x9E3779B97F4A7C15ULL);
        std::vector<cg::Point> want;
        for (int64_t i = 0; i < tries; ++i) {
            const double x = rng.uniform(0, s.size.width);
            const double y = rng.uniform(0, s.size.height);
            bool spaced = true;
            for (const cg::Point& q : want) spaced = spaced && !(std::hypot(x - q.x, y - q.y) < gap);
            if (spaced) want.push_back({x, y});
        }
        EXPECT_EQ(art->spots(salt, tries, gap, std::numeric_limits<int64_t>::max(), [](cg::Point) { return true; }), want);
    }
}
