#pragma once
// Helpers for the animation layer's tests.

#include "Platform/Animation/AnimationGroup.h"
#include "Platform/Animation/BasicAnimation.h"
#include "Platform/Animation/KeyframeAnimation.h"
#include "Platform/Animation/Layer.h"
#include "Platform/Animation/Transition.h"

#include <memory>
#include <vector>

namespace catest {

// The sprite builders' looping(_:_:): repeat forever, advanced by period × phase, 30 fps (15 in
// Low Power Mode).
template <class A>
A looping(A a, double period, double phase, bool lowPower = false) {
    a.duration = period;
    a.repeatCount = ca::kForever;
    a.timeOffset = period * phase;
    a.preferredFrameRateRange = lowPower ? ca::FrameRateRange{8, 15, 15} : ca::FrameRateRange{10, 30, 30};
    return a;
}

inline ca::KeyframeAnimation keyframes(const char* keyPath, std::vector<ca::Value> values,
                                       std::vector<double> keyTimes = {}) {
    ca::KeyframeAnimation k(keyPath);
    k.values = std::move(values);
    k.keyTimes = std::move(keyTimes);
    return k;
}

inline ca::BasicAnimation basic(const char* keyPath, ca::Value from, ca::Value to, double duration) {
    ca::BasicAnimation b(keyPath);
    b.fromValue = std::move(from);
    b.toValue = std::move(to);
    b.duration = duration;
    return b;
}

}  // namespace catest
