#pragma once
// Builds the layers of short, violent events that replay once per period: a burst of gunfire
// (muzzle flashes, tracers, impact puffs) and a blast (flash, shock ring, drifting debris). With
// `glow` set each is instead a picture that only flashes.

#include "Platform/Animation/Animation.h"
#include "Platform/Animation/Layer.h"
#include "Scene/Sprite.h"

#include <memory>
#include <vector>

struct EventLayers {
    static std::shared_ptr<ca::Layer> burst(const Sprite& s);
    static std::shared_ptr<ca::Layer> blast(const Sprite& s);

    // Hides `layer` between plays (opacity 0), groups the animations (each with its own begin and
    // duration within the period), loops the group with period `travel` under "event" and adds the
    // layer to `container`.
    static void every(const Sprite& s, const std::shared_ptr<ca::Layer>& layer,
                      const std::vector<std::shared_ptr<const ca::Animation>>& animations, ca::Layer& container);

    // One debris particle of a blast, from its three draws.
    struct Debris {
        double direction = 0, distance = 0, radius = 0;
        cg::Point start, end, control;
    };
    // The six particles, drawing three numbers each in order from a generator seeded by the phase.
    static std::vector<Debris> debris(const Sprite& s);
};
