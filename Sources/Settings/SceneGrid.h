#pragma once
// The order of the settings window's scene grid and the names its cells show.

#include "Scene/SceneKind.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace scene_grid {

inline constexpr int columns = 3;

// One entry per scene in the given order; when the last row would hold a single scene, a blank entry
// (no kind) goes just before it, so that scene sits in the middle column.
std::vector<std::optional<SceneKind>> entries(std::span<const SceneKind> kinds);
inline std::vector<std::optional<SceneKind>> entries() { return entries(scene_kind::allCases); }

// "City 2" for skyline, otherwise the raw value with its first letter capitalised.
std::string title(SceneKind kind);

}  // namespace scene_grid
