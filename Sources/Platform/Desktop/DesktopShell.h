#pragma once
// The desktop on X11: one DesktopWindow and its surface per monitor, placed according to the
// session's icon manager.
// - No icon manager: our windows are the desktop (lowered by hand when no window manager runs).
// - A transparent manager (desktop icons drawn in a see-through DESKTOP window): our windows go
//   directly below its window, again whenever the stacking order changes. Where they would still hide
//   its icons (no compositing manager, muffin's drawing order, a window manager that will not restack),
//   the still picture is shown instead, and why is said once.
// - An opaque manager: a live window cannot show under its icons, so the scene's still picture
//   becomes the wallpaper (one per monitor where the desktop allows), and the user's own wallpaper
//   comes back on quit.
// A window manager that knows nothing of desktop windows would frame ours like any other: there
// they are override-redirect windows, kept at the bottom by hand.
// Monitors that come, go or change size rebuild the windows. Needs gtk_init first; main thread only.
// On Wayland (GDK's Wayland backend) the windows are surfaces on the compositor's background layer
// instead, one per output, and clicks on them come to the click handler. Where neither a layer shell nor
// an X11 window manager that keeps desktop windows down is there (see SessionChoice), no window is shown:
// the scene's still picture becomes the wallpaper where it can, and why is said once.

#include "DesktopWindow/DesktopWindow.h"
#include "Platform/Desktop/DesktopSurface.h"
#include "Platform/Desktop/NemoHandlers.h"
#include "Platform/Desktop/PowerMonitor.h"
#include "Platform/Desktop/SessionChoice.h"
#include "Platform/Desktop/Wallpaper.h"
#include "Platform/Desktop/X11Session.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class DesktopShell {
public:
    enum class Mode { ownDesktop, underManager, stillPicture };

    struct Options {
        // Sprite layers; the sprite layer dispatch when empty.
        DesktopWindow::LayerBuilder build;
        // Where the user's wallpaper setting is kept while ours is set, and where stills go
        // ($XDG_STATE_HOME/vistamere and $XDG_CACHE_HOME/vistamere when empty).
        std::string stateDir, pictureDir;
        // Called after the monitors changed and the windows were rebuilt (the scenes need a new render).
        std::function<void()> screensChanged;
        // Whether power-saver mode is on; the system's power profile when empty.
        std::function<bool()> lowPower;
    };

    explicit DesktopShell(Options options = {});
    ~DesktopShell();
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;

    Mode mode() const { return mode_; }
    // How the session lets us show the desktop, as decided at start.
    session::Desktop desktop() const { return desktop_; }
    // A left button pressed or released on one of our surfaces, in global points from the top left of
    // the screen, and whether a modifier was held. Only where clicks come to us (the Wayland background
    // layer); X11 clicks are raw.
    using Click = std::function<void(double x, double y, bool pressed, bool modified)>;
    void setClickHandler(Click click) { click_ = std::move(click); }
    size_t screens() const { return screens_.size(); }
    // The window and surface of monitor i, or nothing when there is no such monitor (any more).
    DesktopWindow* window(size_t i);
    DesktopSurface* surface(size_t i);

    // Shows a rendered scene on monitor i; in still-picture mode its picture becomes the wallpaper.
    // A monitor that is gone is ignored.
    void show(size_t i, const RenderedScene& scene, double fade);
    void setAnimating(bool animating);
    // Rebuilds the windows for the monitors there are now (GDK's monitor-added and -removed come
    // here), then asks for new scenes. Timers of the old windows still due do no harm.
    void monitorsChanged();
    // Checks the icon manager and the stacking order now (also done on every stacking change).
    void restack();
    // Whether our windows are override-redirect (a window manager without EWMH runs).
    bool overrideRedirect() const { return overrideRedirect_; }
    // How many times our windows were sent below the icon manager's.
    unsigned restacks() const { return restacks_; }
    // Puts the user's wallpaper back (also on destruction).
    void restoreWallpaper();
    // Why our windows cannot show beneath a see-through icon manager's desktop window, or nothing when
    // they can: without a compositing manager its clear pixels are black on screen, and muffin draws
    // desktop windows in the order they were mapped, whatever their stacking, so a window mapped after
    // the manager's covers its icons; a window manager that did not move ours below the manager's when
    // asked (`keptAbove`) leaves it over the icons.
    static std::optional<std::string> hiddenUnder(const std::string& manager, const std::string& windowManager,
                                                  bool compositor, bool managerMappedFirst, bool keptAbove = false);
    // How long the window manager may take to move our windows below the manager's, in seconds.
    static constexpr double restackPatience = 1.5;

private:
    struct Screen {
        std::unique_ptr<DesktopWindow> window;
        std::unique_ptr<DesktopSurface> surface;
        cg::ImageRef still;
        std::string connector;  // the monitor's RandR output name
    };
    void rebuild();
    void rebuildSoon();
    // Rebuilds when a Wayland output's geometry or scale changes (GDK adds outputs before they settle).
    void followOutputs(struct _GdkDisplay* display);
    void setMode(Mode mode, const X11Session::Manager* manager);
    void restackSoon();
    // Decides how the desktop shows in this session; false when no window of ours may be shown.
    bool chooseDesktop(bool wayland);
    void noteMapped();
    void showStills();
    bool lowPower() const;
    std::vector<X11Session::Window> ours() const;
    // The command line of the process owning window w, from /proc.
    std::vector<std::string> commandLine(X11Session::Window w) const;

    Options options_;
    std::unique_ptr<X11Session> x_;  // none on Wayland
    session::Desktop desktop_ = session::Desktop::x11Desktop;
    Click click_;
    PowerMonitor power_;
    std::vector<Screen> screens_;
    Mode mode_ = Mode::ownDesktop;
    std::string managerName_;
    std::unique_ptr<Wallpaper> wallpaper_;
    std::unique_ptr<NemoHandlers> nemo_;
    bool animating_ = true, overrideRedirect_ = false;
    unsigned restackIdle_ = 0, restacks_ = 0;
    bool rebuildPending_ = false;
    // The foreign desktop windows in the stacking list when our windows last mapped, and whether they are
    // mapped now.
    std::set<X11Session::Window> desktopsAtMap_;
    bool mapped_ = false;
    std::set<X11Session::Window> keptAbove_;  // managers' windows the window manager keeps below ours
    bool restackCheck_ = false;
    std::string hiddenWhy_;  // said once per reason
    unsigned long screenHandler_ = 0;
    std::vector<unsigned long> handlers_;
    std::unique_ptr<std::function<void(const void*)>> rootEvents_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
