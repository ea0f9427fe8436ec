#pragma once
// The preferences the settings window shows, and the values it hands to the application's one write path.

#include <cstdint>
#include <string>
#include <variant>

// A value for one of the keys "scene" (string), "daily" (Boolean), "lighting" and "folders" (integers).
using PreferenceValue = std::variant<bool, int64_t, std::string>;

struct Preferences {
    bool daily = false;
    int64_t lighting = 0;  // 0 match system, 1 day, 2 night
    int64_t folders = 0;   // 0 original, 1 match scene
};
