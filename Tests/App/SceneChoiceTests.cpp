#include "App/SceneChoice.h"

#include <gtest/gtest.h>

#include "App/AppTestSupport.h"
#include "App/Defaults.h"

namespace {

using namespace std::chrono;

TEST(SceneChoice, DayInEraCountsJulianDaysFromTheEra) {
    const std::pair<year_month_day, int64_t> cases[] = {
        {2000y / January / 1, 2451545 - 1721423},
        {1970y / January / 1, 719165},
        {2026y / December / 8, 739960},
        {2024y / February / 29, 2460370 - 1721423},
    };
    for (auto [date, n] : cases) EXPECT_EQ(SceneChoice::dayInEra(date), n) << static_cast<int>(date.year());
}

TEST(SceneChoice, DailyScenesAdvanceOneADayAtLocalMidnight) {
    const std::pair<year_month_day, SceneKind> cases[] = {
        {2026y / December / 8, SceneKind::archipelago}, {2026y / December / 9, SceneKind::canyon},
        {2026y / December / 10, SceneKind::orbit},      {2026y / December / 17, SceneKind::pond},
        {2026y / December / 18, SceneKind::archipelago}, {2026y / December / 31, SceneKind::city},
        {2027y / January / 1, SceneKind::skyline},       {2028y / February / 29, SceneKind::sea},
        {2028y / March / 1, SceneKind::pond},
    };
    for (auto [date, kind] : cases)
        EXPECT_EQ(SceneChoice::dailyScene(date), kind)
            << static_cast<int>(date.year()) << "-" << static_cast<unsigned>(date.month()) << "-"
            << static_cast<unsigned>(date.day());
    // Every day of a few years is the scene after the day before; pond wraps to archipelago.
    for (sys_days d = sys_days(2026y / January / 1); d < sys_days(2030y / January / 1); d += days(1)) {
        size_t before = scene_kind::position(SceneChoice::dailyScene(year_month_day(d - days(1))));
        EXPECT_EQ(scene_kind::position(SceneChoice::dailyScene(year_month_day(d))), (before + 1) % 10);
    }
}

TEST(SceneChoice, FollowsThePreferencesAndTheInjectedDate) {
    TempDir dir;
    Defaults defaults(dir.path());
    year_month_day today = 2026y / December / 8;
    bool dark = false;
    SceneChoice choice(defaults, [&] { return today; }, [&] { return dark; });

    defaults.setScene("sea");
    EXPECT_EQ(choice.scene(), SceneKind::sea);
    defaults.setDaily(true);
    EXPECT_EQ(choice.scene(), SceneKind::archipelago) << "the named scene is ignored while daily is on";
    today = 2026y / December / 9;
    EXPECT_EQ(choice.scene(), SceneKind::canyon);
    defaults.setDaily(false);
    defaults.setScene("City 2");
    EXPECT_EQ(choice.scene(), SceneKind::archipelago);

    struct Case {
        int64_t lighting;
        bool dark;
        bool night;
    };
    const Case cases[] = {{0, false, false}, {0, true, true},  {1, true, false},  {1, false, false},
                          {2, false, true},  {2, true, true},  {3, true, false},  {-1, true, false}};
    for (const auto& c : cases) {
        defaults.setLighting(c.lighting);
        dark = c.dark;
        EXPECT_EQ(choice.night(), c.night) << "lighting " << c.lighting << " dark " << c.dark;
        EXPECT_EQ(SceneChoice::nightFor(c.lighting, c.dark), c.night);
    }
}

TEST(SceneChoice, AnInvalidDateGivesArchipelago) {
    EXPECT_EQ(SceneChoice::dailyScene(2026y / February / 30), SceneKind::archipelago);
}

}  // namespace
