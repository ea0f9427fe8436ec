#pragma once
// A bird seen from above flying the sprite's path, turning with its heading and beating its wings in
// short bursts between glides, with its soft shadow flying in step below and to the right.

#include "Platform/Animation/Layer.h"
#include "Platform/Graphics/Path.h"
#include "Scene/Sprite.h"

#include <memory>

namespace layers {

// The colours and wing size a bird's colour selects.
struct BirdPalette {
    uint32_t body = 0x8C94A0;
    uint32_t tips = 0x353A42;
    double span = 12;
    double chord = 3;
};
BirdPalette birdPalette(uint32_t color);

// Both swept-back wings (one closed subpath per side); with tipsOnly the outer part from 62 % out.
void addWings(cg::Path& path, const BirdPalette& palette, bool tipsOnly);

std::shared_ptr<ca::Layer> bird(const Sprite& s);

}  // namespace layers
