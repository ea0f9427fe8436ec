#pragma once
// The full-screen picture behind the desktop icons on one screen, as a ca layer tree:
//   host ─┬─ ground           the scene bitmap, cross-faded on every show
//         ├─ glow sprites     colour-dodged straight onto the ground, paused one by one
//         ├─ sprites ── …     every other sprite layer; pausing it pauses them all
//         └─ ripples          transient rings, removed 3 s after the click
// Sprite layers are reused across shows under a key made of the scene's style, the power mode and
// the sprite's identity, so a sprite that stays on screen keeps its running animations.
//
// The window knows nothing of the display: a shell draws `host()` at the clock's time, shows the
// window once `isVisible()`, applies `alpha(t)`, and redraws when told the tree changed. All
// operations run on the main thread; time comes from the injected clock (media time, seconds).

#include "Platform/Animation/Layer.h"
#include "Platform/Graphics/Geometry.h"
#include "Scene/RenderedScene.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

class ActorLayer;

class DesktopWindow {
public:
    using LayerRef = std::shared_ptr<ca::Layer>;
    // Turns one sprite into its self-running layer (nullptr when it cannot be built).
    using LayerBuilder = std::function<LayerRef(const Sprite&)>;

    struct Services {
        // Media time in seconds; the monotonic clock when empty.
        std::function<double()> now;
        // Whether the system is in power-saver mode now; never when empty.
        std::function<bool()> lowPower;
        // Runs the call on the main loop after the given number of seconds. Required: layers that
        // leave and ripple rings are detached through it.
        std::function<void(double, std::function<void()>)> after;
    };

    // `frame` is the screen's frame in points; the window covers it. `build` must not be empty.
    DesktopWindow(cg::Rect frame, LayerBuilder build, Services services);
    ~DesktopWindow();
    DesktopWindow(const DesktopWindow&) = delete;
    DesktopWindow& operator=(const DesktopWindow&) = delete;

    // Shows a rendered scene: the picture cross-fades over `fade` seconds, new sprite layers fade in,
    // layers of sprites no longer in the scene fade out and are removed after `fade` seconds.
    void show(const RenderedScene& scene, double fade);
    // Pauses or resumes every sprite animation where it stands.
    void setAnimating(bool animating);
    // The walker under a point (window coordinates, origin top left), or nothing; never while paused.
    std::shared_ptr<ActorLayer> actor(cg::Point at) const;
    // Water ripples at a point (origin top left), where the last scene has water there.
    void ripple(cg::Point at, bool night, bool glow);
    // The three rings of one ripple at a point in layer coordinates (origin bottom left), starting at
    // media time `now`.
    static std::array<LayerRef, 3> ripples(cg::Point at, bool night, bool glow, double now);

    // The window's clock: media time in seconds.
    double now() const;

    // The screen's frame, and the window's size in points.
    const cg::Rect& frame() const { return frame_; }
    // The root of the tree a shell draws; its bounds are (0, 0, width, height).
    const ca::Layer& host() const { return *host_; }
    ca::Layer& host() { return *host_; }
    const ca::Layer& ground() const { return *ground_; }
    const ca::Layer& sprites() const { return *sprites_; }
    // The sprite layers on screen by key.
    const std::map<std::string, LayerRef>& live() const { return live_; }
    // The placement map of the last scene, for the next render of this screen.
    const PlacementMap& placed() const { return placed_; }
    // The water test of the last scene (scene coordinates, origin top left).
    bool isWet(cg::Point p) const { return wet_ && wet_(p); }
    bool animating() const { return animating_; }

    // Hidden until the first show, which fades the window in over 0.8 s.
    bool isVisible() const { return visible_; }
    // The window's opacity at media time t.
    double alpha(double t) const;
    // Fades the window's opacity to `to` over `duration` seconds from now (the quit fade).
    void fadeWindow(double to, double duration);

    // Called after every change made outside running animations (a show, a pause, a ripple, a
    // removal): the shell redraws and re-evaluates its frame pacing.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

private:
    struct WindowFade {
        double from = 1, to = 1, begin = 0, duration = 0;
    };

    void pause(ca::Layer& layer, double t);
    void resume(ca::Layer& layer, double t);
    void removeLater(LayerRef layer, double seconds);
    void didChange();

    cg::Rect frame_;
    LayerBuilder build_;
    Services services_;
    LayerRef host_, ground_, sprites_;
    std::map<std::string, LayerRef> live_;
    PlacementMap placed_;
    std::function<bool(cg::Point)> wet_;
    bool animating_ = true;
    bool visible_ = false;
    WindowFade fade_;
    std::function<void()> changed_;
    // Delayed removals check this before touching the tree: the window may be gone by then.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
