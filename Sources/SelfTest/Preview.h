#pragma once
// Still pictures of a rendered scene for previews, thumbnails and the application icon: the background,
// every sprite frozen at its starting place, and a sample desktop item (or a plain stand-in) at every
// icon centre.

#include <cstdint>
#include <functional>
#include <vector>

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Scene/SceneSpec.h"
#include "Scene/Sprite.h"

namespace SelfTest {

// The kinds of file the sample items show.
enum class ItemType { folder, pdf, png, plainText, zip, commaSeparatedText };

struct SampleItem {
    const char* label;
    ItemType type;
};
// Icon number i shows row i modulo 10.
const SampleItem& sampleItem(int64_t i);

// Where the desktop's own file-type icons come from. The application points this at the icon theme;
// without one (headless runs, or a type the theme lacks) the items carry icons drawn here.
using ItemIcons = std::function<cg::ImageRef(ItemType, int pixelSize)>;
void setItemIcons(ItemIcons icons);

// Composites `sprites` (skipping clouds, blasts, bursts and sprites without a picture) and, at every icon
// centre, a sample desktop item or with `standIns` a white placeholder. Same pixel size as `image`; the
// input itself when no bitmap can be made.
cg::ImageRef withIcons(const cg::ImageRef& image, const SceneSpec& spec, const std::vector<Sprite>& sprites,
                       bool standIns = false);

// One sample item centred on `at` (the context's own points, y up): its icon and its label below or to
// the right.
void desktopItem(int64_t i, cg::Point at, const SceneSpec& spec, cg::Context& ctx);

}  // namespace SelfTest
