#pragma once
// Keeps the icon layout current and answers clicks on the bare desktop.
//
// Reads of the icon layout are debounced: each request replaces the one still waiting. They are asked
// for after start-up, by a 2 s poll while enough of the desktop shows, when a desktop window's
// occlusion changes, a quarter second after a mouse button is released over the bare desktop, and
// when the icon source reports a change. A read that gives a different layout hands it on once.
//
// A click on a desktop window sets off the walker under it or ripples water there, unless motion is
// reduced, another window lies over the point, or the click falls on an icon or its label.
//
// Coordinates: points in global screen coordinates with the origin at the bottom left of the first
// screen and y upward; window-list bounds with the origin at that screen's top left and y downward;
// a point inside one desktop window with its origin at the window's top left, y downward.
// Main thread only; everything it touches comes in through `Services`, so tests run it on fakes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "App/Timers.h"
#include "Finder/DeskLayout.h"
#include "Finder/FinderResult.h"
#include "Platform/Graphics/Geometry.h"
#include "Scene/SceneKind.h"

class TouchController {
public:
    // One entry of the window list, top first. Absent fields are what a window could not tell.
    struct WindowInfo {
        std::optional<int64_t> layer;
        std::optional<double> alpha;
        std::optional<cg::Rect> bounds;  // global, top-left origin
    };
    // One screen: its frame and the part of it not taken by panels and docks (global, bottom-left).
    struct Screen {
        cg::Rect frame, visibleFrame;
    };
    // The layers of the desktop's icons and of docks and panels; ordinary windows lie between.
    struct Levels {
        int64_t icon = -1, dock = 20;
    };

    // One desktop window as a click sees it.
    class Surface {
    public:
        virtual ~Surface() = default;
        // Global, bottom-left origin.
        virtual cg::Rect frame() const = 0;
        // Whether the window shows on screen at all (not hidden, not fully covered).
        virtual bool visible() const = 0;
        // Sets off the walker at q (window point); nothing when there is none.
        virtual std::function<void()> walkerAt(cg::Point q) const = 0;
        virtual bool wet(cg::Point q) const = 0;
        virtual void ripple(cg::Point q, bool night, bool glow) = 0;
    };

    struct Services {
        std::shared_ptr<Timers> timers;
        // Reads the icon layout without blocking; `done` runs later on the main thread.
        std::function<void(std::function<void(const FinderResult&)> done)> read;
        std::function<std::vector<std::shared_ptr<Surface>>()> surfaces;
        std::function<std::vector<Screen>()> screens;
        // The windows on screen, top first.
        std::function<std::vector<WindowInfo>()> windows;
        // The topmost window at a global point, or none when only the root is there.
        std::function<std::optional<WindowInfo>(cg::Point)> windowAt;
        Levels levels;
        std::function<bool()> reduceMotion;
        std::function<SceneKind()> scene;
        std::function<bool()> night;
        // A read gave a layout unlike the last one.
        std::function<void(const DeskLayout&)> layoutChanged;
        // A read failed unlike the one before (another error, another reason), or succeeded after a
        // failure (no error). Not called for repeats, so a menu showing the error is not rebuilt every poll.
        std::function<void(const std::optional<FinderError>&)> errorChanged;
        // What became of each read and click, for a session log; may be empty.
        std::function<void(const std::string&)> trace;
    };

    // What a click did, or why it did nothing.
    enum class Touch { reducedMotion, offWindows, dry, covered, onIcon, walker, ripple };

    // The code of a read the user has refused.
    static constexpr int deniedCode = -1743;
    static constexpr double pollSeconds = 2;
    static constexpr double releaseDelay = 0.25;

    explicit TouchController(Services services);
    ~TouchController();
    TouchController(const TouchController&) = delete;
    TouchController& operator=(const TouchController&) = delete;

    // Reads may run from now on: reads at once and starts the poll.
    void start();
    // Schedules one read after `delay` seconds, replacing the one still waiting.
    void readFinder(double delay);
    // The triggers.
    void poll();
    void released(cg::Point p);
    void occlusionChanged();
    void sourceChanged();
    // Handles one click at global point p.
    Touch touched(cg::Point p);

    bool ready() const { return ready_; }
    bool finderDenied() const { return finderDenied_; }
    // The failure of the last completed read, if it failed.
    const std::optional<FinderError>& lastError() const { return lastError_; }
    const DeskLayout& layout() const { return layout_; }
    // Reads actually started (not debounced away or skipped).
    int reads() const { return reads_; }

    // At least 5 % of a 12 × 8 probe grid per screen lies under no ordinary window.
    static bool desktopShowing(const std::vector<Screen>& screens, const std::vector<WindowInfo>& windows,
                               Levels levels);
    // Nothing above the desktop's icons at the point, given the topmost window there.
    static bool bareDesktop(const std::optional<WindowInfo>& top, Levels levels);
    // Whether a window point falls in the box of an icon or its label, grown by 6 points.
    static bool onIcon(const std::vector<cg::Point>& centers, const DeskLayout& layout, cg::Point q);
    static const char* name(Touch touch);

private:
    void run();
    void apply(const FinderResult& result);
    void schedulePoll();
    void trace(const std::string& line) const;
    double primaryHeight() const;

    Services s_;
    bool ready_ = false;
    bool finderDenied_ = false;
    DeskLayout layout_;
    Timers::Id pendingRead_ = 0, pollTimer_ = 0;
    int reads_ = 0;
    std::optional<FinderError> lastError_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
