#pragma once
// The ten scenes, in their fixed order: the position enters the scene seed and indexes lists elsewhere.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

enum class SceneKind { archipelago, canyon, orbit, city, skyline, winter, reef, warzone, sea, pond };

namespace scene_kind {

inline constexpr std::array<SceneKind, 10> allCases = {
    SceneKind::archipelago, SceneKind::canyon, SceneKind::orbit, SceneKind::city,  SceneKind::skyline,
    SceneKind::winter,      SceneKind::reef,   SceneKind::warzone, SceneKind::sea, SceneKind::pond};

inline constexpr std::array<std::string_view, 10> rawValues = {
    "archipelago", "canyon", "orbit", "city", "skyline", "winter", "reef", "warzone", "sea", "pond"};

constexpr std::size_t position(SceneKind k) { return static_cast<std::size_t>(k); }

constexpr std::string_view rawValue(SceneKind k) { return rawValues[position(k)]; }

// Exactly the ten raw values, case-sensitive and untrimmed; anything else is no kind.
constexpr std::optional<SceneKind> fromRawValue(std::string_view text) {
    for (std::size_t i = 0; i < rawValues.size(); ++i)
        if (rawValues[i] == text) return allCases[i];
    return std::nullopt;
}

}  // namespace scene_kind
