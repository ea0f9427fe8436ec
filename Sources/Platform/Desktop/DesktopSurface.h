#pragma once
// One desktop window on one monitor: an undecorated GTK window with the DESKTOP type hint, sticky,
// kept below, out of the taskbar and pager, letting clicks through. It shows a DesktopWindow's
// tree through a FrameCompositor and paces its frames by the running animations: their preferred
// rate (capped at 30, or 15 in power-saver), a one-shot timer for an animation that starts later,
// and no timer at all when nothing moves.

#include "DesktopWindow/DesktopWindow.h"
#include "Platform/Desktop/FrameCompositor.h"

#include <cstdint>
#include <functional>
#include <memory>

struct _GtkWidget;

class DesktopSurface {
public:
    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;  // GDK points, global
        int scale = 1;
    };

    // Paints `window` (which must outlive the surface); `lowPower` caps the frame rate at 15 when true.
    DesktopSurface(Geometry geometry, DesktopWindow& window, std::unique_ptr<FrameCompositor> compositor,
                   std::function<bool()> lowPower);
    ~DesktopSurface();
    DesktopSurface(const DesktopSurface&) = delete;
    DesktopSurface& operator=(const DesktopSurface&) = delete;

    const Geometry& geometry() const { return geometry_; }
    // The X window of the GTK window (0 until it is shown with the first scene, and on Wayland).
    unsigned long xwindow() const;
    bool mapped() const { return mapped_; }
    // Redraws soon: the tree changed outside its animations.
    void requestFrame();
    // Hides the window (still-picture mode) or shows it again; a hidden surface draws nothing.
    void setSuppressed(bool suppressed);
    // Makes the window one the window manager leaves alone (for managers that know nothing of
    // desktop windows and would frame it), or a managed one again. A mapped window is mapped anew.
    void setOverrideRedirect(bool overrideRedirect);
    bool overrideRedirect() const { return overrideRedirect_; }
    // The GTK window, for a shell that places it itself (a Wayland layer) before it is first shown.
    _GtkWidget* gtkWindow() const { return gtkWindow_; }
    // Whether clicks pass through to what lies beneath (X11: the icon manager, the root) or come to
    // the window (a Wayland background layer, where nothing lies beneath).
    void setClicksThrough(bool through) { clicksThrough_ = through; }
    // Called once the window is on screen (the shell stacks it then).
    void setMapHandler(std::function<void()> handler) { mapHandler_ = std::move(handler); }
    // Called with false when the window becomes fully covered, with true when some of it shows again.
    // Compositing window managers never report a window covered.
    void setVisibilityHandler(std::function<void(bool)> handler) { visibilityHandler_ = std::move(handler); }

    const FrameCompositor& compositor() const { return *compositor_; }
    // Whether a frame timer or a pending frame exists now.
    bool timerArmed() const { return timer_ != 0 || idle_ != 0; }
    uint64_t wakeups() const { return wakeups_; }

private:
    void frame();
    // snap: the tree as just composited at `now`, or nullptr (the surface walks the tree itself).
    void schedule(double now, const ca::Snapshot* snap);
    void cancel();
    void map();

    Geometry geometry_;
    DesktopWindow& window_;
    std::unique_ptr<FrameCompositor> compositor_;
    std::function<bool()> lowPower_;
    std::function<void()> mapHandler_;
    std::function<void(bool)> visibilityHandler_;
    _GtkWidget* gtkWindow_ = nullptr;
    unsigned timer_ = 0, idle_ = 0;
    bool mapped_ = false, suppressed_ = false, overrideRedirect_ = false, clicksThrough_ = true;
    double lastFrame_ = -1;
    uint64_t wakeups_ = 0;
};
