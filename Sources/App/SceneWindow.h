#pragma once
// What a render pass needs of one desktop window: its monitor, the placements of the scene it shows, and
// a way to show a new one. The desktop shell's windows implement it; tests use fakes.

#include "App/Monitor.h"
#include "Scene/RenderedScene.h"

class SceneWindow {
public:
    virtual ~SceneWindow() = default;
    virtual Monitor monitor() const = 0;
    // The placement map of the last scene shown, handed to the next render of this window.
    virtual PlacementMap placed() const = 0;
    virtual void show(const RenderedScene& scene, double fade) = 0;
};
