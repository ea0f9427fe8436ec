#pragma once
// The animatable key paths the model knows, parsed once when an animation is made.

#include <cstdint>
#include <string_view>

namespace ca {

enum class KeyPath : uint8_t {
    unknown,      // animates nothing
    opacity,      // "opacity": number
    position,     // "position": point
    rotationZ,    // "transform.rotation.z" (or "transform.rotation"): radians
    scale,        // "transform.scale": number, both axes
    scaleX,       // "transform.scale.x"
    scaleY,       // "transform.scale.y"
    contents,     // "contents": picture
    path,         // "path" (shape layers): path
    lineWidth     // "lineWidth" (shape layers): number
};

KeyPath parseKeyPath(std::string_view text);

}  // namespace ca
