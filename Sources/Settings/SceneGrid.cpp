#include "Settings/SceneGrid.h"

namespace scene_grid {

std::vector<std::optional<SceneKind>> entries(std::span<const SceneKind> kinds) {
    std::vector<std::optional<SceneKind>> out(kinds.begin(), kinds.end());
    if (out.size() % columns == 1) out.insert(out.end() - 1, std::nullopt);
    return out;
}

std::string title(SceneKind kind) {
    if (kind == SceneKind::skyline) return "City 2";
    std::string text(scene_kind::rawValue(kind));
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

}  // namespace scene_grid
