#include "App/RenderPasses.h"

#include <utility>

#include "Pipeline/Render.h"
#include "SelfTest/Preview.h"

struct RenderPasses::State {
    int64_t generation = 0;
};

namespace {

RenderPasses::Services withDefaults(RenderPasses::Services s) {
    if (!s.render) s.render = Renderer::render;
    if (!s.compose)
        s.compose = [](const cg::ImageRef& image, const SceneSpec& spec, const std::vector<Sprite>& sprites) {
            return SelfTest::withIcons(image, spec, sprites, false);
        };
    return s;
}

}  // namespace

RenderPasses::RenderPasses(Services services)
    : services_(withDefaults(std::move(services))),
      thumbnails_(services_.main, services_.thumbnails, services_.render, services_.compose),
      state_(std::make_shared<State>()) {}

RenderPasses::~RenderPasses() = default;

int64_t RenderPasses::generation() const { return state_->generation; }

double RenderPasses::primaryHeight(const std::vector<Monitor>& monitors) {
    return monitors.empty() ? 0 : monitors.front().frame.size.height;
}

SceneSpec RenderPasses::specFor(const Monitor& monitor, double primaryHeight, const DeskLayout& layout,
                                SceneKind kind, bool night) {
    SceneSpec s;
    s.size = monitor.frame.size;
    // A monitor that reports no factor is still drawn, at one pixel per point.
    s.scale = monitor.scaleFactor >= 1 ? monitor.scaleFactor : 1;
    s.icons = layout.centersOn(monitor.frame, primaryHeight);
    s.iconSize = layout.iconSize;
    s.textSize = layout.textSize;
    s.labelsRight = layout.labelsRight;
    s.kind = kind;
    s.night = night;
    return s;
}

int64_t RenderPasses::renderAll(const Pass& pass) {
    thumbnails_.ensure(pass.night);
    const int64_t generation = ++state_->generation;
    std::weak_ptr<State> weakState = state_;
    for (const auto& window : pass.windows) {
        if (!window) continue;
        SceneSpec spec = specFor(window->monitor(), pass.primaryHeight, pass.layout, pass.kind, pass.night);
        // Taken now: a dropped result leaves the window's placements as they were, and the next pass
        // starts from the scene actually shown.
        PlacementMap before = window->placed();
        std::weak_ptr<SceneWindow> weakWindow = window;
        services_.renders->run([spec = std::move(spec), before = std::move(before), weakState, weakWindow,
                                generation, fade = pass.fade, render = services_.render, main = services_.main] {
            std::optional<RenderedScene> scene;
            try {
                scene = render(spec, before);
            } catch (const std::exception&) {
                scene.reset();  // the window keeps its picture, as with any render that gives nothing
            }
            if (!scene) return;
            auto result = std::make_shared<RenderedScene>(std::move(*scene));
            main->post([result, weakState, weakWindow, generation, fade] {
                auto state = weakState.lock();
                if (!state || state->generation != generation) return;
                auto window = weakWindow.lock();
                if (!window) return;
                window->show(*result, fade);
            });
        });
    }
    return generation;
}
