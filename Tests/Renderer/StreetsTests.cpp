#include "Renderer/Random.h"
#include "Renderer/Streets.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>

namespace {
// A wide patch of blocks on both sides of the origin.
constexpr int32_t lo = -70, hi = 70;

template <class F>
void eachBlock(F&& f) {
    for (int32_t by = lo; by < hi; ++by)
        for (int32_t bx = lo; bx < hi; ++bx) f(bx, by);
}
}  // namespace

TEST(Streets, LocateUsesTheLatticeOriginAtMinusTwo) {
    const Streets::Spot a = Streets::locate(-2, -2);
    EXPECT_EQ(a.bx, 0);
    EXPECT_EQ(a.by, 0);
    EXPECT_EQ(a.lx, 0.0f);
    EXPECT_EQ(a.ly, 0.0f);
    const Streets::Spot b = Streets::locate(158, 0);
    EXPECT_EQ(b.bx, 1);
    EXPECT_EQ(b.by, 0);
    EXPECT_EQ(b.lx, 0.0f);  // a north-south street
    EXPECT_EQ(b.ly, 2.0f);
    const Streets::Spot c = Streets::locate(157.5f, 137.5f);
    EXPECT_EQ(c.bx, 0);
    EXPECT_EQ(c.by, 0);
    EXPECT_EQ(c.lx, 159.5f);
    EXPECT_EQ(c.ly, 139.5f);
    const Streets::Spot d = Streets::locate(-3, -2.5f);
    EXPECT_EQ(d.bx, -1);
    EXPECT_EQ(d.by, -1);
    EXPECT_EQ(d.lx, 159.0f);
    EXPECT_EQ(d.ly, 139.5f);
}

TEST(Streets, BlockRules) {
    int parks = 0, vacants = 0, carParks = 0, builtBlocks = 0, withAlley = 0;
    std::set<int> alleyColumns;
    eachBlock([&](int32_t bx, int32_t by) {
        const bool park = Streets::park(bx, by);
        EXPECT_EQ(park, valueCorner(bx, by, 24301) < -0.45f);
        const bool vacant = Streets::vacant(bx, by), carPark = Streets::carPark(bx, by);
        EXPECT_TRUE(!carPark || vacant);
        if (park) {
            EXPECT_FALSE(vacant);
            EXPECT_FALSE(carPark);
        }
        parks += park;
        vacants += vacant;
        carParks += carPark;
        bool any = false;
        std::set<int> builtColumns;
        for (int row = 0; row < 7; ++row)
            for (int column = 0; column < 8; ++column) {
                const bool b = Streets::built(bx, by, column, row);
                if (!b) continue;
                any = true;
                builtColumns.insert(column);
                EXPECT_GE(column, 1);
                EXPECT_GE(row, 1);
                EXPECT_LE(row, 5);
            }
        if (park || vacant) {
            EXPECT_FALSE(any) << bx << "," << by;
            return;
        }
        // A built block fills a rectangle of plots, less at most one alley column inside it.
        ASSERT_TRUE(any);
        ++builtBlocks;
        const int first = *builtColumns.begin(), last = *builtColumns.rbegin();
        EXPECT_TRUE(first == 1 || first == 2);
        EXPECT_TRUE(last == 6 || last == 7);
        int gaps = 0;
        for (int c = first; c <= last; ++c)
            if (!builtColumns.count(c)) {
                ++gaps;
                alleyColumns.insert(c);
                EXPECT_TRUE(c >= 3 && c <= 5) << c;
            }
        EXPECT_LE(gaps, 1);
        withAlley += gaps;
    });
    // Every outcome occurs over a wide patch, in roughly the proportions the thresholds give.
    const int n = (hi - lo) * (hi - lo);
    EXPECT_NEAR(parks / double(n), 0.275, 0.03);
    EXPECT_GT(carParks, 0);
    EXPECT_GT(vacants, carParks);
    EXPECT_GT(withAlley, 0);
    EXPECT_LT(withAlley, builtBlocks);
    EXPECT_EQ(alleyColumns, (std::set<int>{3, 4, 5}));
}

TEST(Streets, EveryParkHasAPathAndMeandersStayInBounds) {
    int parks = 0, onlyNS = 0, both = 0, onlyEW = 0;
    auto checkMeander = [](const Streets::Meander& m, float o0, float o1) {
        EXPECT_GE(m.offset, o0);
        EXPECT_LE(m.offset, o1);
        EXPECT_GE(m.amplitude, 5.0f);
        EXPECT_LE(m.amplitude, 14.0f);
        EXPECT_GE(m.frequency, 6.283185f / 180.0f);
        EXPECT_LE(m.frequency, 6.283185f / 110.0f);
        EXPECT_GE(m.phase, 0.0f);
        EXPECT_LE(m.phase, 6.28f);
    };
    eachBlock([&](int32_t bx, int32_t by) {
        if (!Streets::park(bx, by)) return;
        ++parks;
        const Streets::Paths p = Streets::paths(bx, by);
        // A park without an east-west path always has a north-south one.
        ASSERT_TRUE(p.eastWest || p.northSouth);
        onlyNS += !p.eastWest;
        both += p.eastWest && p.northSouth;
        onlyEW += p.eastWest && !p.northSouth;
        if (p.eastWest) checkMeander(*p.eastWest, 50, 110);
        if (p.northSouth) checkMeander(*p.northSouth, 55, 125);
    });
    ASSERT_GT(parks, 1000);
    EXPECT_NEAR(onlyNS / double(parks), 0.25, 0.04);
    EXPECT_NEAR(both / double(parks), 9.0 / 16, 0.04);
    EXPECT_NEAR(onlyEW / double(parks), 3.0 / 16, 0.04);
}

TEST(Streets, ParkwayDistancesFollowThePathsAndThePond) {
    int ponds = 0, dry = 0;
    for (int32_t by = -12; by < 12; ++by)
        for (int32_t bx = -12; bx < 12; ++bx) {
            const Streets::Paths p = Streets::paths(bx, by);
            // On a path the distance is zero (up to rounding); across it, never more than the offset.
            if (p.eastWest) {
                const Streets::Meander& m = *p.eastWest;
                for (float lx : {0.0f, 37.0f, 80.0f, 159.0f}) {
                    const float ly = m.offset + m.amplitude * std::sin(m.frequency * lx + m.phase);
                    EXPECT_NEAR(Streets::parkway(bx, by, lx, ly).path, 0.0f, 1e-4f);
                    const float d = Streets::parkway(bx, by, lx, ly + 10).path;
                    EXPECT_GT(d, 0.0f);
                    EXPECT_LE(d, 10.0f + 1e-4f);
                }
            }
            if (p.northSouth) {
                const Streets::Meander& m = *p.northSouth;
                for (float ly : {0.0f, 51.0f, 139.0f}) {
                    const float lx = m.offset + m.amplitude * std::sin(m.frequency * ly + m.phase);
                    EXPECT_NEAR(Streets::parkway(bx, by, lx, ly).path, 0.0f, 1e-4f);
                }
            }
            // The pond: +inf without one; with one, its deepest point lies on the far side of an
            // east-west path.
            float deepest = INFINITY, deepY = 0;
            for (float ly = 0; ly < 140; ly += 2)
                for (float lx = 0; lx < 160; lx += 2) {
                    const Streets::Parkway w = Streets::parkway(bx, by, lx, ly);
                    EXPECT_FALSE(std::isnan(w.path));
                    EXPECT_FALSE(std::isnan(w.pond));
                    if (w.pond < deepest) {
                        deepest = w.pond;
                        deepY = ly;
                    }
                }
            if (0.5f * valueCorner(bx, by, 50) + 0.5f < 0.5f) {
                ++ponds;
                EXPECT_LT(deepest, -5.0f);
                if (!p.eastWest) {
                    EXPECT_GE(deepY, 50.0f);
                    EXPECT_LE(deepY, 110.0f);
                } else if (p.eastWest->offset <= 80) {
                    EXPECT_GE(deepY, 100.0f);
                } else {
                    EXPECT_LE(deepY, 60.0f);
                }
            } else {
                ++dry;
                EXPECT_EQ(deepest, INFINITY);
            }
        }
    EXPECT_GT(ponds, 0);
    EXPECT_GT(dry, 0);
}

namespace {
// A terrain-shaped pair of grids: a hill in the middle, gentle ramps elsewhere.
struct Field {
    Grid v{363, 228, 0};
    Grid tex{363, 228, 0.25f};
    Field() {
        for (int64_t j = 0; j < v.rows; ++j)
            for (int64_t i = 0; i < v.cols; ++i) {
                const float dx = static_cast<float>(i - 150), dy = static_cast<float>(j - 100);
                v.at(i, j) = std::max(0.0f, 1.2f - std::sqrt(dx * dx + dy * dy) / 40.0f) +
                             0.001f * static_cast<float>(i % 7);
            }
    }
};
}  // namespace

TEST(Streets, SnapFlattensStreetsAndBuildsPlots) {
    Field f;
    const Field before;
    const std::vector<cg::Rect> keep = {cg::Rect(900, 500, 60, 80), cg::Rect(-30, -30, 40, 40)};
    Streets::snap(f.v, f.tex, keep);
    int hillPlots = 0, hillStreets = 0, keptStreets = 0;
    for (int64_t j = 0; j < f.v.rows; ++j)
        for (int64_t i = 0; i < f.v.cols; ++i) {
            const float v = f.v.at(i, j);
            ASSERT_TRUE(v == 0.0f || v == 1.0f);
            // One tint per superblock of 40 × 35 grid cells.
            const auto bx = static_cast<int32_t>(i / 40), by = static_cast<int32_t>(j / 35);
            ASSERT_EQ(f.tex.at(i, j), valueCorner(bx, by, 11));
        }
    // Cell by cell against the rules.
    for (int64_t li = 0; li <= (f.v.rows - 1) / 5; ++li)
        for (int64_t lj = 0; lj <= (f.v.cols - 1) / 5; ++lj) {
            const int column = static_cast<int>(lj % 8), row = static_cast<int>(li % 7);
            float peak = 0;
            for (int64_t j = 5 * li; j <= std::min(5 * li + 4, f.v.rows - 1); ++j)
                for (int64_t i = 5 * lj; i <= std::min(5 * lj + 4, f.v.cols - 1); ++i)
                    peak = std::max(peak, before.v.at(i, j));
            const float got = f.v.at(5 * lj, 5 * li);
            const cg::Rect cell(20.0 * double(lj) - 2, 20.0 * double(li) - 2, 20, 20);
            const bool underIcon = cell.intersects(keep[0]) || cell.intersects(keep[1]);
            if (column == 0 || row == 0 || row == 6) {
                EXPECT_EQ(got, underIcon ? 1.0f : 0.0f) << li << "," << lj;
                hillStreets += peak >= 0.3f && !underIcon;
                keptStreets += underIcon;
            } else if (peak >= 0.3f) {
                EXPECT_EQ(got, 1.0f);
                ++hillPlots;
            } else {
                const bool b = Streets::built(static_cast<int32_t>(lj / 8), static_cast<int32_t>(li / 7), column, row);
                EXPECT_EQ(got, b ? 1.0f : 0.0f);
            }
        }
    EXPECT_GT(hillPlots, 5);
    EXPECT_GT(hillStreets, 2);
    EXPECT_GT(keptStreets, 2);
}

TEST(Streets, SnapCoversPartialCellsAtTheEdges) {
    // 7 × 3 grid cells: lattice cells 0 and 1 across (the second cut off), one row.
    Grid v(7, 3, 0.5f), tex(7, 3, 0);
    Streets::snap(v, tex, {});
    for (int64_t j = 0; j < 3; ++j)
        for (int64_t i = 0; i < 7; ++i) {
            EXPECT_EQ(v.at(i, j), 0.0f);  // row 0 of the superblock is a street
            EXPECT_EQ(tex.at(i, j), valueCorner(0, 0, 11));
        }
    Grid one(1, 1, 0.9f), oneTex(1, 1, 0);
    Streets::snap(one, oneTex, {cg::Rect(0, 0, 4, 4)});
    EXPECT_EQ(one.at(0, 0), 1.0f);
}
