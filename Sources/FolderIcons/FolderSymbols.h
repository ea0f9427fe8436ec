#pragma once
// The scene symbols on the folder icons, vector glyphs of our own in the box of a 62-point symbol.

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Context.h"
#include "Scene/SceneKind.h"

namespace FolderIcons {

// Draws the scene's symbol centred on `centre` (points, y up) in one colour; the colour's alpha applies to
// the glyph as a whole, so its overlapping parts do not darken each other.
void drawSymbol(cg::Context& g, SceneKind kind, cg::Point centre, const cg::Color& color);

}  // namespace FolderIcons
