#pragma once
// Small helpers of the sprite builders: a keyframe animation in one expression, and numbers written
// as cache keys.

#include "Platform/Animation/KeyframeAnimation.h"

#include <array>
#include <charconv>
#include <string>
#include <utility>
#include <vector>

namespace layers {

// A number in the shortest decimal form that reads back exactly: the cache keys of shared pictures.
inline std::string decimal(double v) {
    std::array<char, 64> buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    return std::string(buf.data(), res.ptr);
}

inline ca::KeyframeAnimation keyframes(const char* keyPath, std::vector<ca::Value> values,
                                       std::vector<double> keyTimes, double duration,
                                       ca::CalculationMode mode = ca::CalculationMode::linear) {
    ca::KeyframeAnimation k(keyPath);
    k.values = std::move(values);
    k.keyTimes = std::move(keyTimes);
    k.duration = duration;
    k.calculationMode = mode;
    return k;
}

}  // namespace layers
