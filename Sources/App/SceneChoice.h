#pragma once
// Turns the preferences into what to paint now: the scene (fixed, or one a day in the fixed order) and
// day or night. The date and the system appearance are injected, so tests pick both.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "Scene/SceneKind.h"

class Defaults;

class SceneChoice {
public:
    using Today = std::function<std::chrono::year_month_day()>;
    using DarkAppearance = std::function<bool()>;

    // `today` defaults to the local date, `dark` to a light appearance.
    SceneChoice(const Defaults& defaults, Today today = {}, DarkAppearance dark = {});

    SceneKind scene() const;
    bool night() const;

    // The day number in the era of the hybrid Julian/Gregorian calendar: the Julian day number of the
    // date less 1721423. For dates since 1582 that is the proleptic Gregorian count plus two.
    static int64_t dayInEra(std::chrono::year_month_day date);
    // One scene a day, advancing at local midnight and repeating every ten days.
    static SceneKind dailyScene(std::chrono::year_month_day date);
    // The scene for the preferences: the daily one while `daily` is on, else the named one (an unknown
    // name reads as archipelago).
    static SceneKind sceneFor(bool daily, std::string_view name, std::chrono::year_month_day date);
    // Lighting 0 follows the appearance, 2 is night, any other value is day.
    static bool nightFor(int64_t lighting, bool darkAppearance);
    // The local calendar date now.
    static std::chrono::year_month_day localToday();

private:
    const Defaults& defaults_;
    Today today_;
    DarkAppearance dark_;
};
