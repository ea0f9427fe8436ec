#include "Platform/Desktop/DesktopShell.h"

#include "DesktopWindow/LayerHelpers.h"
#include "DesktopWindow/SpriteLayer.h"
#include "Platform/Desktop/CairoFrameCompositor.h"
#include "Platform/Desktop/GlFrameCompositor.h"
#include "Platform/Desktop/WaylandLayer.h"
#include "Platform/Files/Files.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <stdexcept>

namespace {

// Runs `f` on the main loop after `seconds`.
void after(double seconds, std::function<void()> f) {
    const double ms = std::ceil(std::max(0.0, seconds) * 1000);
    auto* call = new std::function<void()>(std::move(f));
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, guint(std::min(ms, 86400e3)),
        +[](gpointer p) -> gboolean {
            (*static_cast<std::function<void()>*>(p))();
            return G_SOURCE_REMOVE;
        },
        call, +[](gpointer p) { delete static_cast<std::function<void()>*>(p); });
}

struct MonitorArea {
    GdkRectangle r;  // GDK points
    int scale;
    std::string connector;  // RandR's name of the monitor: its output's, for one made from an output
    GdkMonitor* monitor = nullptr;  // GDK's, where the list came from GDK
};

// The monitors, in the server's order. RandR's own list counts monitors that have no output of their own
// (a wide screen split with `xrandr --setmonitor`), which GDK leaves out; GDK's list serves when RandR has
// none to give.
std::vector<MonitorArea> monitorAreas(GdkDisplay* display) {
    std::vector<MonitorArea> out;
    Display* x = GDK_IS_X11_DISPLAY(display) ? gdk_x11_display_get_xdisplay(display) : nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (x && XRRQueryExtension(x, &event, &error) && XRRQueryVersion(x, &major, &minor) &&
        (major > 1 || (major == 1 && minor >= 5))) {
        int n = 0;
        gdk_x11_display_error_trap_push(display);
        XRRMonitorInfo* monitors = XRRGetMonitors(x, DefaultRootWindow(x), True, &n);
        gdk_x11_display_error_trap_pop_ignored(display);
        for (int i = 0; monitors && i < n; ++i) {
            const XRRMonitorInfo& m = monitors[i];
            if (m.width <= 0 || m.height <= 0) continue;
            // GDK counts in points: device pixels over its (display-wide) scale.
            GdkMonitor* near = gdk_display_get_monitor_at_point(display, m.x, m.y);
            const int scale = std::max(1, near ? gdk_monitor_get_scale_factor(near) : 1);
            char* name = XGetAtomName(x, m.name);
            out.push_back({{m.x / scale, m.y / scale, m.width / scale, m.height / scale}, scale, name ? name : ""});
            if (name) XFree(name);
        }
        if (monitors) XRRFreeMonitors(monitors);
    }
    if (!out.empty()) return out;
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        if (!monitor) continue;
        MonitorArea a{};
        gdk_monitor_get_geometry(monitor, &a.r);
        a.scale = std::max(1, gdk_monitor_get_scale_factor(monitor));
        if (const char* model = gdk_monitor_get_model(monitor)) a.connector = model;
        a.monitor = monitor;
        out.push_back(a);
    }
    return out;
}

GdkFilterReturn rootFilter(GdkXEvent* xevent, GdkEvent*, gpointer data) {
    (*static_cast<std::function<void(const void*)>*>(data))(xevent);
    return GDK_FILTER_CONTINUE;
}

}  // namespace

DesktopShell::DesktopShell(Options options) : options_(std::move(options)) {
    GdkDisplay* display = gdk_display_get_default();
    const bool wayland = wayland::isWayland(display);
    if (!display || (!wayland && !GDK_IS_X11_DISPLAY(display)))
        throw std::runtime_error("the desktop shell needs an X11 or a Wayland display");
    if (!options_.build) options_.build = [](const Sprite& s) { return layers::layer(s); };
    if (options_.stateDir.empty()) options_.stateDir = std::string(g_get_user_state_dir()) + "/vistamere";
    if (options_.pictureDir.empty()) options_.pictureDir = std::string(g_get_user_cache_dir()) + "/vistamere";
    // A run that ended with our wallpaper set, maybe in another desktop than this one.
    Wallpaper::restoreLeftovers(options_.stateDir, options_.pictureDir);
    if (!wayland) x_ = X11Session::borrow(gdk_x11_display_get_xdisplay(display));
    if (!chooseDesktop(wayland) || desktop_ == session::Desktop::layerShell) {
        // Outputs that come and go rebuild the surfaces (or, with no window of ours, the stills).
        auto changed = +[](gpointer, gpointer, gpointer self) { static_cast<DesktopShell*>(self)->rebuildSoon(); };
        handlers_.push_back(g_signal_connect(display, "monitor-added", G_CALLBACK(changed), this));
        handlers_.push_back(g_signal_connect(display, "monitor-removed", G_CALLBACK(changed), this));
        rebuild();
        return;
    }
    // Nemo started after us takes the desktop beside our windows only when it is told to ignore them.
    const char* program = g_get_prgname();
    nemo_ = std::make_unique<NemoHandlers>(program ? program : "vistamere", options_.stateDir);

    // Monitors that come, go or change size.
    auto changed = +[](gpointer, gpointer, gpointer self) { static_cast<DesktopShell*>(self)->rebuildSoon(); };
    handlers_.push_back(g_signal_connect(display, "monitor-added", G_CALLBACK(changed), this));
    handlers_.push_back(g_signal_connect(display, "monitor-removed", G_CALLBACK(changed), this));
    screenHandler_ = g_signal_connect_swapped(gdk_display_get_default_screen(display), "monitors-changed",
                                              G_CALLBACK(+[](gpointer self) { static_cast<DesktopShell*>(self)->rebuildSoon(); }),
                                              this);

    // The stacking list changes on the root with an EWMH manager; without one, windows mapped or
    // raised over ours show up as the root's substructure events.
    GdkWindow* root = gdk_get_default_root_window();
    gdk_window_set_events(root, GdkEventMask(gdk_window_get_events(root) | GDK_PROPERTY_CHANGE_MASK |
                                             GDK_SUBSTRUCTURE_MASK));
    // A window manager that starts or quits changes the check window, or reparents ours.
    Display* xd = static_cast<Display*>(x_->xdisplay());
    const Atom stacking = XInternAtom(xd, "_NET_CLIENT_LIST_STACKING", False);
    const Atom check = XInternAtom(xd, "_NET_SUPPORTING_WM_CHECK", False);
    rootEvents_ = std::make_unique<std::function<void(const void*)>>([this, stacking, check](const void* event) {
        const XEvent* e = static_cast<const XEvent*>(event);
        if ((e->type == PropertyNotify && (e->xproperty.atom == stacking || e->xproperty.atom == check)) ||
            e->type == MapNotify || e->type == ConfigureNotify || e->type == ReparentNotify)
            restackSoon();
    });
    gdk_window_add_filter(root, rootFilter, rootEvents_.get());
    // Known before the first window maps, so a manager without EWMH never frames it.
    overrideRedirect_ = !x_->hasWindowManager() && x_->hasAnyWindowManager();
    rebuild();
}

DesktopShell::~DesktopShell() {
    *alive_ = false;
    if (restackIdle_) g_source_remove(restackIdle_);
    if (rootEvents_) gdk_window_remove_filter(gdk_get_default_root_window(), rootFilter, rootEvents_.get());
    GdkDisplay* display = gdk_display_get_default();
    for (unsigned long h : handlers_) g_signal_handler_disconnect(display, h);
    for (int i = 0; !x_ && i < gdk_display_get_n_monitors(display); ++i)
        g_signal_handlers_disconnect_by_data(gdk_display_get_monitor(display, i), this);
    if (screenHandler_) g_signal_handler_disconnect(gdk_display_get_default_screen(display), screenHandler_);
    screens_.clear();
    restoreWallpaper();
}

void DesktopShell::rebuild() {
    screens_.clear();
    mapped_ = false;
    GdkDisplay* display = gdk_display_get_default();
    if (!x_) followOutputs(display);
    const auto areas = monitorAreas(display);
    if (!x_) {
        // Said on every change: outputs come and go far less often than anything else happens.
        std::string line;
        for (const MonitorArea& a : areas)
            line += " " + (a.connector.empty() ? std::string("?") : a.connector) + " " + std::to_string(a.r.width) +
                    "x" + std::to_string(a.r.height) + "+" + std::to_string(a.r.x) + "+" + std::to_string(a.r.y) +
                    " scale " + std::to_string(a.scale);
        std::fprintf(stderr, "vistamere: %zu output%s:%s\n", areas.size(), areas.size() == 1 ? "" : "s", line.c_str());
    }
    for (const MonitorArea& area : areas) {
        // An output announced before its size: it comes back with its size.
        if (area.r.width <= 0 || area.r.height <= 0) continue;
        const GdkRectangle& r = area.r;
        const int scale = area.scale;
        Screen screen;
        DesktopWindow::Services services;
        services.lowPower = [this] {
            // The builders read the same mode, so layers and their keys always agree.
            const bool low = lowPower();
            SpriteLayers::setLowPower(low);
            return low;
        };
        services.after = after;
        screen.window = std::make_unique<DesktopWindow>(cg::Rect(r.x, r.y, r.width, r.height), options_.build,
                                                        std::move(services));
        screen.surface = std::make_unique<DesktopSurface>(
            DesktopSurface::Geometry{r.x, r.y, r.width, r.height, scale}, *screen.window,
            makeFrameCompositor(r.width, r.height, scale), [this] { return lowPower(); });
        screen.surface->setOverrideRedirect(overrideRedirect_);
        screen.connector = area.connector;
        if (desktop_ == session::Desktop::layerShell) {
            // Nothing lies beneath a background layer: clicks come to us.
            screen.surface->setClicksThrough(false);
            wayland::placeOnBackground(screen.surface->gtkWindow(), area.monitor, "vistamere-desktop",
                                       [this, r](double x, double y, bool pressed, bool modified) {
                                           if (click_) click_(r.x + x, r.y + y, pressed, modified);
                                       });
        }
        screen.surface->setMapHandler([this] {
            noteMapped();
            restackSoon();
        });
        if (!animating_) screen.window->setAnimating(false);
        if (mode_ == Mode::stillPicture) screen.surface->setSuppressed(true);
        screens_.push_back(std::move(screen));
    }
}

void DesktopShell::followOutputs(GdkDisplay* display) {
    // A Wayland output may tell its place, size and scale after GDK added it, and changes them in place.
    const auto changed = +[](GObject*, GParamSpec*, gpointer self) { static_cast<DesktopShell*>(self)->rebuildSoon(); };
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        g_signal_handlers_disconnect_by_data(monitor, this);
        g_signal_connect(monitor, "notify::geometry", G_CALLBACK(changed), this);
        g_signal_connect(monitor, "notify::scale-factor", G_CALLBACK(changed), this);
    }
}

// One rebuild on the next turn of the loop, after GDK has settled and however many signals it sent.
void DesktopShell::rebuildSoon() {
    if (rebuildPending_) return;
    rebuildPending_ = true;
    std::weak_ptr<bool> alive = alive_;
    after(0, [this, alive] {
        if (!alive.lock()) return;
        rebuildPending_ = false;
        monitorsChanged();
    });
}

bool DesktopShell::lowPower() const { return options_.lowPower ? options_.lowPower() : power_.lowPower(); }

void DesktopShell::monitorsChanged() {
    rebuild();
    restackSoon();
    if (options_.screensChanged) options_.screensChanged();
}

DesktopWindow* DesktopShell::window(size_t i) { return i < screens_.size() ? screens_[i].window.get() : nullptr; }
DesktopSurface* DesktopShell::surface(size_t i) { return i < screens_.size() ? screens_[i].surface.get() : nullptr; }

void DesktopShell::show(size_t i, const RenderedScene& scene, double fade) {
    if (i >= screens_.size()) return;
    Screen& s = screens_[i];
    s.still = scene.image;
    s.window->show(scene, fade);
    if (mode_ == Mode::stillPicture) showStills();
}

void DesktopShell::showStills() {
    if (!wallpaper_) return;
    std::vector<Wallpaper::Still> stills;
    for (const Screen& s : screens_)
        if (s.still) {
            const auto& g = s.surface->geometry();
            stills.push_back({s.connector, s.still, g.x * g.scale, g.y * g.scale});
        }
    if (!stills.empty()) wallpaper_->show(stills);
}

void DesktopShell::setAnimating(bool animating) {
    animating_ = animating;
    for (Screen& s : screens_) s.window->setAnimating(animating);
}

std::vector<X11Session::Window> DesktopShell::ours() const {
    std::vector<X11Session::Window> out;
    for (const Screen& s : screens_)
        if (s.surface->xwindow()) out.push_back(s.surface->xwindow());
    return out;
}

void DesktopShell::restackSoon() {
    if (restackIdle_) return;
    restackIdle_ = g_idle_add(+[](gpointer self) -> gboolean {
        auto* shell = static_cast<DesktopShell*>(self);
        shell->restackIdle_ = 0;
        shell->restack();
        return G_SOURCE_REMOVE;
    }, this);
}

void DesktopShell::restack() {
    // No X11 stacking to look after: a layer, or no window of ours at all.
    if (!x_ || desktop_ != session::Desktop::x11Desktop) return;
    const bool ewmh = x_->hasWindowManager();
    // A manager without EWMH would frame our windows and stack them like any other.
    const bool overrideRedirect = !ewmh && x_->hasAnyWindowManager();
    if (overrideRedirect != overrideRedirect_) {
        overrideRedirect_ = overrideRedirect;
        for (Screen& s : screens_) s.surface->setOverrideRedirect(overrideRedirect);
    }
    const auto mine = ours();
    const auto manager = x_->findIconManager(mine);
    if (manager && manager->kind == X11Session::ManagerKind::opaque) {
        setMode(Mode::stillPicture, &*manager);
        return;
    }
    if (manager && manager->window) {
        // Unmapped (in still-picture mode) ours would map after the manager's if shown again.
        const bool managerFirst = !mapped_ || desktopsAtMap_.count(manager->window) > 0;
        const bool keptAbove = keptAbove_.count(manager->window) > 0;
        if (const auto why = hiddenUnder(manager->name, x_->windowManagerName(), x_->hasCompositor(), managerFirst,
                                         keptAbove)) {
            if (*why != hiddenWhy_) std::fprintf(stderr, "vistamere: %s: showing a still picture instead\n", why->c_str());
            hiddenWhy_ = *why;
            setMode(Mode::stillPicture, &*manager);
            mapped_ = false;
            return;
        }
        hiddenWhy_.clear();
        setMode(Mode::underManager, &*manager);
        // Only when we are above it: every restack changes the stacking list again.
        const auto stack = x_->stacking();
        const auto at = [&](X11Session::Window w) { return std::find(stack.begin(), stack.end(), w) - stack.begin(); };
        const auto theirs = at(manager->window);
        bool asked = false;
        for (X11Session::Window w : mine)
            if (at(w) < long(stack.size()) && at(w) > theirs) {
                x_->restackBelow(w, manager->window);
                ++restacks_;
                asked = true;
            }
        // Some window managers (xfwm4) neither offer restacking nor lower a desktop window: ours would
        // stay over the manager's icons. Judged once the window manager has had time to answer.
        if (asked && !restackCheck_) {
            restackCheck_ = true;
            std::weak_ptr<bool> alive = alive_;
            const X11Session::Window theirWindow = manager->window;
            after(restackPatience, [this, alive, theirWindow] {
                if (!alive.lock()) return;
                restackCheck_ = false;
                const auto now = x_->stacking();
                const auto pos = [&](X11Session::Window w) { return std::find(now.begin(), now.end(), w) - now.begin(); };
                const long theirs = pos(theirWindow);
                if (theirs >= long(now.size())) return;
                for (X11Session::Window w : ours())
                    if (pos(w) < long(now.size()) && pos(w) > theirs) {
                        keptAbove_.insert(theirWindow);
                        restack();
                        return;
                    }
            });
        }
        return;
    }
    setMode(Mode::ownDesktop, nullptr);
    if (!ewmh) {
        // Nobody keeps a DESKTOP window down: lower ours whenever something else went under them. Only
        // one of several can be the lowest, so they are judged together, or each lowering would undo
        // the last one without end.
        if (!x_->areLowest(mine))
            for (X11Session::Window w : mine) x_->lower(w);
    }
}

std::optional<std::string> DesktopShell::hiddenUnder(const std::string& manager, const std::string& windowManager,
                                                     bool compositor, bool managerMappedFirst, bool keptAbove) {
    const std::string name = manager.empty() ? "the icon manager" : manager;
    if (keptAbove)
        return "the window manager" + (windowManager.empty() ? std::string() : " (" + windowManager + ")") +
               " keeps our desktop window above " + name + "'s, which would hide its icons";
    if (!compositor)
        return name + " draws its see-through desktop without a compositing manager, so nothing beneath it shows "
                      "(start one, such as picom, for the live scenery)";
    if (managerMappedFirst && windowManager.find("Muffin") != std::string::npos)
        return "muffin draws desktop windows in the order they appeared, whatever their stacking, and " + name +
               "'s came before ours, so ours would cover its icons (start Vistamere before " + name +
               " for the live scenery)";
    return std::nullopt;
}

void DesktopShell::noteMapped() {
    if (!x_) return;
    // Called as each of our windows maps: what is there by now was there first.
    desktopsAtMap_.clear();
    const auto mine = ours();
    for (X11Session::Window w : x_->stacking()) {
        if (std::find(mine.begin(), mine.end(), w) != mine.end()) continue;
        const auto types = x_->windowTypes(w);
        if (std::find(types.begin(), types.end(), "_NET_WM_WINDOW_TYPE_DESKTOP") != types.end())
            desktopsAtMap_.insert(w);
    }
    mapped_ = true;
}

void DesktopShell::setMode(Mode mode, const X11Session::Manager* manager) {
    if (mode == mode_ && (!manager || manager->name == managerName_)) return;
    const Mode old = mode_;
    const bool otherManager = manager && manager->name != managerName_;
    mode_ = mode;
    managerName_ = manager ? manager->name : std::string();
    if (mode == Mode::stillPicture) {
        if (old != Mode::stillPicture || !wallpaper_ || otherManager) {
            // Another manager, another back end: the user's setting goes back to the old one first.
            wallpaper_.reset();
            const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
            const Wallpaper::Session session{managerName_, desktop ? desktop : "",
                                             commandLine(manager ? manager->window : 0)};
            wallpaper_ = Wallpaper::forSession(session, options_.stateDir, options_.pictureDir);
        }
        if (!wallpaper_)
            std::fprintf(stderr, "vistamere: the icon manager %s hides the desktop and its wallpaper cannot be set\n",
                         managerName_.c_str());
        for (Screen& s : screens_) s.surface->setSuppressed(true);
        showStills();
    } else if (old == Mode::stillPicture) {
        restoreWallpaper();
        for (Screen& s : screens_) s.surface->setSuppressed(false);
    }
}

std::vector<std::string> DesktopShell::commandLine(X11Session::Window w) const {
    const long pid = w && x_ ? x_->windowPid(w) : 0;
    return files::commandLine(pid);
}

void DesktopShell::restoreWallpaper() {
    if (wallpaper_) wallpaper_->restore();
}

bool DesktopShell::chooseDesktop(bool wayland) {
    session::Facts facts;
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    facts.wayland = wayland || (socket && *socket);
    facts.x11 = x_ != nullptr;
    facts.layerShell = wayland && wayland::layerShellSupported();
    // Only a window manager that knows DESKTOP windows keeps ours under the native windows of Xwayland.
    facts.desktopWindows = x_ && x_->supports("_NET_WM_WINDOW_TYPE_DESKTOP");
    const session::Desktop plan = session::desktop(facts);
    if (plan == session::Desktop::layerShell || plan == session::Desktop::x11Desktop) {
        desktop_ = plan;
        return true;
    }
    const char* current = std::getenv("XDG_CURRENT_DESKTOP");
    if (session::wallpaperDesktop(current ? current : ""))
        wallpaper_ = Wallpaper::forSession({"", current, {}}, options_.stateDir, options_.pictureDir);
    facts.setterKnown = wallpaper_ != nullptr;
    desktop_ = session::desktop(facts);
    mode_ = Mode::stillPicture;
    std::fprintf(stderr, "vistamere: %s\n", session::whyNoScene(facts).c_str());
    return false;
}
