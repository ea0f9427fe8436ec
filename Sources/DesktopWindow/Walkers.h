#pragma once
// Builds the layer of an act sprite: a walker that loops its path one frame per leg.

#include "DesktopWindow/ActorLayer.h"
#include "Scene/Sprite.h"

#include <memory>

struct Walkers {
    // The walker's layer. Its picture and placement come from the sprite in any case; it walks (and
    // answers clicks) only when the sprite has one frame per path point.
    static std::shared_ptr<ActorLayer> act(const Sprite& s);
};
