#include "App/SceneChoice.h"

#include <ctime>

#include "App/Defaults.h"

namespace {

// 1970-01-01 is Julian day 2440588.
constexpr int64_t unixEpochJulianDay = 2440588;
constexpr int64_t eraOffset = 1721423;

}  // namespace

SceneChoice::SceneChoice(const Defaults& defaults, Today today, DarkAppearance dark)
    : defaults_(defaults), today_(std::move(today)), dark_(std::move(dark)) {
    if (!today_) today_ = localToday;
}

int64_t SceneChoice::dayInEra(std::chrono::year_month_day date) {
    int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
    return days + unixEpochJulianDay - eraOffset;
}

SceneKind SceneChoice::dailyScene(std::chrono::year_month_day date) {
    if (!date.ok()) return SceneKind::archipelago;
    int64_t n = static_cast<int64_t>(scene_kind::allCases.size());
    int64_t i = dayInEra(date) % n;
    if (i < 0) i += n;  // dates before the era still land in the list
    return scene_kind::allCases[static_cast<size_t>(i)];
}

SceneKind SceneChoice::sceneFor(bool daily, std::string_view name, std::chrono::year_month_day date) {
    if (daily) return dailyScene(date);
    return scene_kind::fromRawValue(name).value_or(SceneKind::archipelago);
}

bool SceneChoice::nightFor(int64_t lighting, bool darkAppearance) {
    if (lighting != 0) return lighting == 2;
    return darkAppearance;
}

std::chrono::year_month_day SceneChoice::localToday() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return std::chrono::year_month_day{std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
    return std::chrono::year{local.tm_year + 1900} / std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)} /
           std::chrono::day{static_cast<unsigned>(local.tm_mday)};
}

SceneKind SceneChoice::scene() const { return sceneFor(defaults_.daily(), defaults_.scene(), today_()); }

bool SceneChoice::night() const { return nightFor(defaults_.lighting(), dark_ && dark_()); }
