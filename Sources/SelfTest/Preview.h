#pragma once
// Still pictures of a rendered scene for previews and thumbnails: the background with every sprite frozen
// at its starting place and the icons on top.

#include <vector>

#include "Platform/Graphics/Image.h"
#include "Scene/SceneSpec.h"
#include "Scene/Sprite.h"

namespace SelfTest {

// Composites `sprites` (skipping clouds, blasts, bursts and sprites without a picture) and a placeholder
// shape at every icon centre over `image`. Same pixel size as `image`; the input itself when no bitmap
// can be made. Sample desktop items with labels need text drawing and are not drawn yet: every icon is
// shown as its placeholder.
cg::ImageRef withIcons(const cg::ImageRef& image, const SceneSpec& spec, const std::vector<Sprite>& sprites);

}  // namespace SelfTest
