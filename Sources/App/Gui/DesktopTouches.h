#pragma once
// The touch controller wired to this desktop: the shell's windows and monitors, the X window list,
// raw clicks, GLib timers, the icon layout reader and its source's change notices.
// With VISTAMERE_TRACE set in the environment, every click's outcome and every new icon layout is
// written to stderr, and each picture shown with a digest of its tiles (see `tileDigest`).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "App/TouchController.h"

class DesktopShell;
class FinderIcons;
class RawClicks;
class SourceWatch;
class WindowList;
struct RenderedScene;

class DesktopTouches {
public:
    struct Hooks {
        std::function<SceneKind()> scene;
        std::function<bool()> night;
        std::function<bool()> reduceMotion;
        std::function<void(const DeskLayout&)> layoutChanged;
        std::function<void(const std::optional<FinderError>&)> errorChanged;
        // Whether desktop window i shows (not fully covered); every existing window counts as showing
        // when empty. Whoever follows occlusion calls `controller().occlusionChanged()` on a change.
        std::function<bool(size_t)> windowVisible;
    };

    DesktopTouches(DesktopShell& shell, FinderIcons& finder, Hooks hooks);
    ~DesktopTouches();
    DesktopTouches(const DesktopTouches&) = delete;
    DesktopTouches& operator=(const DesktopTouches&) = delete;

    TouchController& controller() { return *controller_; }

    static bool tracing();
    // A 4 × 4 grid of hashes over the picture's pixels, row by row, for telling which parts of the
    // scenery changed between two pictures.
    static std::string tileDigest(const RenderedScene& scene);

private:
    // Root device pixels to global points (bottom-left origin) and back to window-list bounds.
    double scale() const;
    double primaryBottom() const;

    DesktopShell& shell_;
    std::unique_ptr<WindowList> windows_;
    std::unique_ptr<RawClicks> clicks_;
    std::unique_ptr<SourceWatch> watch_;
    std::unique_ptr<TouchController> controller_;
};
