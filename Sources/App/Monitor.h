#pragma once
// One monitor as the application sees it.

#include "Platform/Graphics/Geometry.h"

struct Monitor {
    // Points, in global coordinates with the origin at the bottom left of the primary monitor, y upward.
    cg::Rect frame;
    // Device pixels per point; GTK 3 knows integer factors only.
    int scaleFactor = 1;
};
