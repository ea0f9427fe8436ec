#pragma once
// Builds the layers of the light-giving sprites: flickering lights, wandering fireflies, sweeping or
// turning beams and windows that are lit for part of each period.

#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <memory>
#include <vector>

struct LightLayers {
    // A glow (or the sprite's picture) whose brightness flickers irregularly, throbbing in size when
    // the flicker is deep: "flicker", and "leap" from a depth of 0.3.
    static std::shared_ptr<ca::Layer> light(const Sprite& s);
    // A small glow that wanders a loop about `at` ("wander") and blinks ("blink").
    static std::shared_ptr<ca::Layer> firefly(const Sprite& s);
    // A beam picture that sweeps to and fro, or keeps turning when `travel` is 0 ("motion").
    static std::shared_ptr<ca::Layer> beam(const Sprite& s);
    // A lit rectangle from `at` to `to`, on for the `pulse` fraction of every period ("switch").
    static std::shared_ptr<ca::Layer> windowLight(const Sprite& s);

    // The flicker's random shape, drawn in this order from one generator: interval weights, then
    // brightness values, then (only for a depth of 0.3 or more) scales.
    struct Flicker {
        double depth = 0.12;
        std::vector<double> keyTimes;    // 12, from 0 to 1
        std::vector<double> brightness;  // 12: eleven draws and the first again
        std::vector<double> leapTimes;   // 12 when the light throbs, else empty
        std::vector<double> scales;      // 12 when the light throbs, else empty
        double period = 0;               // of the flicker
        double leapPeriod = 0;
    };
    static Flicker flicker(const Sprite& s);
};
