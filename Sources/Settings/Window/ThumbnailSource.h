#pragma once
// Where the settings window gets its scene pictures: the application's thumbnail sets.

#include "Platform/Graphics/Image.h"
#include "Scene/SceneKind.h"

class ThumbnailSource {
public:
    virtual ~ThumbnailSource() = default;
    // The scene's thumbnail for that time of day, or none while it is being made.
    virtual cg::ImageRef thumb(SceneKind kind, bool night) const = 0;
};
