#pragma once
// An animation of one key path. Additive animations add their value to the value below them
// (the model value or earlier animations); others replace it.

#include "Platform/Animation/Animation.h"
#include "Platform/Animation/KeyPath.h"

#include <string>

namespace ca {

class PropertyAnimation : public Animation {
public:
    const std::string& keyPath() const { return keyPathText_; }
    KeyPath parsedKeyPath() const { return keyPath_; }

    bool isAdditive = false;

protected:
    PropertyAnimation(Kind kind, std::string keyPath)
        : Animation(kind), keyPathText_(std::move(keyPath)), keyPath_(parseKeyPath(keyPathText_)) {}
    PropertyAnimation(const PropertyAnimation&) = default;
    PropertyAnimation& operator=(const PropertyAnimation&) = default;

private:
    std::string keyPathText_;
    KeyPath keyPath_;
};

}  // namespace ca
