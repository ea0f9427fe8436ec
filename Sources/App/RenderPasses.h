#pragma once
// Render passes: every desktop window gets the current scene, rendered in the background for its own
// monitor and shown only while its pass is the newest. A later pass, for any reason, makes every result
// of every earlier pass stale; stale renders run to the end and their results are dropped, so a window
// keeps its picture until the newest pass's result for it arrives. Each pass also makes sure the
// thumbnails of its time of day exist. Used on the main thread only.

#include <cstdint>
#include <memory>
#include <vector>

#include "App/MainQueue.h"
#include "App/Monitor.h"
#include "App/RenderFunction.h"
#include "App/SceneWindow.h"
#include "App/Thumbnails.h"
#include "App/Workers.h"
#include "Finder/DeskLayout.h"

class RenderPasses {
public:
    struct Services {
        std::shared_ptr<MainQueue> main;
        std::shared_ptr<Workers> renders;     // the window renders, several at once
        std::shared_ptr<Workers> thumbnails;  // the thumbnail sets, at low priority
        RenderFunction render;                // `Renderer::render` when empty
        Thumbnails::Compose compose;          // `SelfTest::withIcons` with the sample items when empty
    };

    // What one pass paints.
    struct Pass {
        std::vector<std::shared_ptr<SceneWindow>> windows;
        double primaryHeight = 0;  // see `primaryHeight`
        DeskLayout layout;
        SceneKind kind = SceneKind::archipelago;
        bool night = false;
        double fade = 0.7;  // seconds
    };

    explicit RenderPasses(Services services);
    ~RenderPasses();
    RenderPasses(const RenderPasses&) = delete;
    RenderPasses& operator=(const RenderPasses&) = delete;

    // Starts one pass and returns its generation at once.
    int64_t renderAll(const Pass& pass);
    // The newest pass's generation; 0 before the first.
    int64_t generation() const;

    Thumbnails& thumbnails() { return thumbnails_; }

    // The request for one window: its monitor's size and scale, the icons that fall on it in its own
    // coordinates, and the layout's sizes.
    static SceneSpec specFor(const Monitor& monitor, double primaryHeight, const DeskLayout& layout, SceneKind kind,
                             bool night);
    // The height of the first monitor, which global coordinates are measured from; 0 with none.
    static double primaryHeight(const std::vector<Monitor>& monitors);

    struct State;

private:
    Services services_;
    Thumbnails thumbnails_;
    std::shared_ptr<State> state_;
};
