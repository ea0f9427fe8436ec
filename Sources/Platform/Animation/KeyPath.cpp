#include "Platform/Animation/KeyPath.h"

namespace ca {

KeyPath parseKeyPath(std::string_view s) {
    if (s == "opacity") return KeyPath::opacity;
    if (s == "position") return KeyPath::position;
    if (s == "transform.rotation.z" || s == "transform.rotation") return KeyPath::rotationZ;
    if (s == "transform.scale") return KeyPath::scale;
    if (s == "transform.scale.x") return KeyPath::scaleX;
    if (s == "transform.scale.y") return KeyPath::scaleY;
    if (s == "contents") return KeyPath::contents;
    if (s == "path") return KeyPath::path;
    if (s == "lineWidth") return KeyPath::lineWidth;
    return KeyPath::unknown;
}

}  // namespace ca
