#pragma once
// A scene renderer: `Renderer::render` in the program, something slower or failing in tests.

#include <functional>
#include <optional>

#include "Scene/RenderedScene.h"
#include "Scene/SceneSpec.h"

using RenderFunction = std::function<std::optional<RenderedScene>(const SceneSpec&, const PlacementMap&)>;
