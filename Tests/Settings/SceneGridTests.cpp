// The scene grid's blank cell depends only on the number of scenes; the cell names follow the menu's.

#include <gtest/gtest.h>

#include "Settings/SceneGrid.h"

#include <vector>

namespace {

std::vector<SceneKind> first(std::size_t n) {
    std::vector<SceneKind> kinds;
    for (std::size_t i = 0; i < n; ++i) kinds.push_back(scene_kind::allCases[i % scene_kind::allCases.size()]);
    return kinds;
}

TEST(SceneGrid, TheTenScenesGetABlankBetweenSeaAndPond) {
    const auto e = scene_grid::entries();
    ASSERT_EQ(e.size(), 11u);
    EXPECT_EQ(e[8], SceneKind::sea);
    EXPECT_FALSE(e[9].has_value());
    EXPECT_EQ(e[10], SceneKind::pond);
}

TEST(SceneGrid, OnlyALoneLastSceneGetsABlank) {
    for (std::size_t n : {9u, 11u, 12u}) {
        const auto e = scene_grid::entries(first(n));
        EXPECT_EQ(e.size(), n) << n;
    }
    const auto e = scene_grid::entries(first(13));
    ASSERT_EQ(e.size(), 14u);
    EXPECT_FALSE(e[12].has_value());
    EXPECT_TRUE(e[13].has_value());
}

TEST(SceneGrid, NamesAreCapitalisedAndSkylineIsCityTwo) {
    EXPECT_EQ(scene_grid::title(SceneKind::archipelago), "Archipelago");
    EXPECT_EQ(scene_grid::title(SceneKind::city), "City");
    EXPECT_EQ(scene_grid::title(SceneKind::skyline), "City 2");
    EXPECT_EQ(scene_grid::title(SceneKind::warzone), "Warzone");
}

}  // namespace
