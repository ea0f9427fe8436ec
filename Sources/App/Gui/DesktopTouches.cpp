#include "App/Gui/DesktopTouches.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include <gtk/gtk.h>

#include "App/GlibMainQueue.h"
#include "DesktopWindow/ActorLayer.h"
#include "Finder/FinderIcons.h"
#include "Platform/Desktop/DesktopShell.h"
#include "Platform/Desktop/RawClicks.h"
#include "Platform/Desktop/WaylandLayer.h"
#include "Platform/Desktop/WindowList.h"

namespace {

// One desktop window of the shell, looked up afresh on every use: the shell replaces its windows when
// monitors come or go.
class ShellSurface : public TouchController::Surface {
public:
    ShellSurface(DesktopShell& shell, size_t index, cg::Rect frame, const std::function<bool(size_t)>& visible)
        : shell_(shell), index_(index), frame_(frame), visible_(visible) {}

    cg::Rect frame() const override { return frame_; }
    // The window is up from the start (transparent until its first picture), as the layout must be known
    // for that picture.
    bool visible() const override { return shell_.window(index_) && (!visible_ || visible_(index_)); }
    std::function<void()> walkerAt(cg::Point q) const override {
        DesktopWindow* w = live();
        auto walker = w ? w->actor(q) : nullptr;
        if (!walker) return {};
        return [walker, t = w->now()] { walker->setOff(t); };
    }
    bool wet(cg::Point q) const override {
        const DesktopWindow* w = live();
        return w && w->isWet(q);
    }
    void ripple(cg::Point q, bool night, bool glow) override {
        if (DesktopWindow* w = shell_.window(index_)) w->ripple(q, night, glow);
    }

private:
    // The window while it is what the desktop shows: a still picture on the wallpaper has no walkers
    // or water to answer a click.
    DesktopWindow* live() const {
        return shell_.mode() == DesktopShell::Mode::stillPicture ? nullptr : shell_.window(index_);
    }

    DesktopShell& shell_;
    size_t index_;
    cg::Rect frame_;
    const std::function<bool(size_t)>& visible_;
};

void trace(const std::string& line) {
    if (DesktopTouches::tracing()) std::fprintf(stderr, "vistamere: %s\n", line.c_str());
}

}  // namespace

bool DesktopTouches::tracing() {
    static const bool on = [] {
        const char* v = std::getenv("VISTAMERE_TRACE");
        return v && *v;
    }();
    return on;
}

std::string DesktopTouches::tileDigest(const RenderedScene& scene) {
    std::string out;
    if (!scene.image) return out;
    const cg::Image& image = *scene.image;
    const int w = image.pixelWidth(), h = image.pixelHeight();
    for (int ty = 0; ty < 4; ++ty)
        for (int tx = 0; tx < 4; ++tx) {
            uint64_t hash = 14695981039346656037ull;  // FNV-1a over the tile's pixels
            for (int y = ty * h / 4; y < (ty + 1) * h / 4; ++y)
                for (int x = tx * w / 4; x < (tx + 1) * w / 4; ++x) {
                    hash ^= image.data()[size_t(y) * size_t(w) + size_t(x)];
                    hash *= 1099511628211ull;
                }
            char hex[20];
            std::snprintf(hex, sizeof hex, "%s%08" PRIx32, out.empty() ? "" : " ", uint32_t(hash ^ (hash >> 32)));
            out += hex;
        }
    return out;
}

double DesktopTouches::scale() const { return std::max(1, gdk_window_get_scale_factor(gdk_get_default_root_window())); }

double DesktopTouches::primaryBottom() const {
    const DesktopSurface* first = shell_.surface(0);
    return first ? first->geometry().y + first->geometry().height : 0;
}

DesktopTouches::DesktopTouches(DesktopShell& shell, FinderIcons& finder, Hooks hooks)
    : shell_(shell) {
    // On a Wayland background layer a click that reaches us is on bare desktop: no window list to ask, and
    // the surfaces report their own clicks. Xwayland's windows are not all the windows there.
    const bool layer = shell.desktop() == session::Desktop::layerShell;
    if (!layer) windows_ = WindowList::open();
    TouchController::Services s;
    s.timers = std::make_shared<GlibMainQueue>();
    s.read = [&finder](std::function<void(const FinderResult&)> done) { finder.read(std::move(done)); };
    s.surfaces = [this, visible = std::move(hooks.windowVisible)] {
        std::vector<std::shared_ptr<TouchController::Surface>> out;
        const double bottom = primaryBottom();
        for (size_t i = 0; i < shell_.screens(); ++i)
            if (const DesktopSurface* surface = shell_.surface(i)) {
                const auto& g = surface->geometry();
                out.push_back(std::make_shared<ShellSurface>(
                    shell_, i, cg::Rect(g.x, bottom - (g.y + g.height), g.width, g.height), visible));
            }
        return out;
    };
    s.screens = [this] {
        std::vector<TouchController::Screen> out;
        const double bottom = primaryBottom();
        GdkDisplay* display = gdk_display_get_default();
        for (size_t i = 0; i < shell_.screens(); ++i) {
            const DesktopSurface* surface = shell_.surface(i);
            GdkMonitor* monitor = gdk_display_get_monitor(display, int(i));
            if (!surface) continue;
            const auto& g = surface->geometry();
            GdkRectangle area{g.x, g.y, g.width, g.height};
            if (monitor) gdk_monitor_get_workarea(monitor, &area);
            out.push_back({cg::Rect(g.x, bottom - (g.y + g.height), g.width, g.height),
                           cg::Rect(area.x, bottom - (area.y + area.height), area.width, area.height)});
        }
        return out;
    };
    // Window-list bounds are root device pixels; the controller wants points from the first screen's top.
    const auto info = [this](const WindowList::Entry& e) {
        const double k = scale();
        const double top = shell_.surface(0) ? shell_.surface(0)->geometry().y : 0;
        return TouchController::WindowInfo{e.level, e.opacity, cg::Rect(e.x / k, e.y / k - top, e.width / k, e.height / k)};
    };
    s.windows = [this, info] {
        std::vector<TouchController::WindowInfo> out;
        if (windows_)
            for (const auto& e : windows_->onScreen()) out.push_back(info(e));
        return out;
    };
    s.windowAt = [this, info](cg::Point p) -> std::optional<TouchController::WindowInfo> {
        if (!windows_) return std::nullopt;
        const double k = scale();
        const auto e = windows_->at(int(p.x * k), int((primaryBottom() - p.y) * k));
        if (!e) return std::nullopt;
        return info(*e);
    };
    s.levels = {WindowList::desktopLevel, WindowList::dockLevel};
    s.reduceMotion = std::move(hooks.reduceMotion);
    s.scene = std::move(hooks.scene);
    s.night = std::move(hooks.night);
    s.layoutChanged = std::move(hooks.layoutChanged);
    s.errorChanged = std::move(hooks.errorChanged);
    s.trace = trace;
    controller_ = std::make_unique<TouchController>(std::move(s));

    RawClicks::Handlers handlers;
    const auto global = [this](int x, int y) {
        const double k = scale();
        return cg::Point{x / k, primaryBottom() - y / k};
    };
    handlers.click = [this, global](int x, int y) { controller_->touched(global(x, y)); };
    handlers.release = [this, global](int x, int y) { controller_->released(global(x, y)); };
    if (layer) {
        shell_.setClickHandler([this, filter = wayland::ClickFilter()](double x, double y, bool pressed,
                                                                        bool modified) mutable {
            if (pressed) return filter.press({x, y}, modified);
            if (const auto click = filter.release({x, y}, modified))
                controller_->touched({click->x, primaryBottom() - click->y});
            controller_->released({x, primaryBottom() - y});
        });
        watch_ = finder.source().watch([this] { controller_->sourceChanged(); });
        return;
    }
    clicks_ = RawClicks::open(std::move(handlers));
    if (!clicks_) std::fprintf(stderr, "vistamere: no XInput 2 on this display: clicks on the desktop go unanswered\n");
    watch_ = finder.source().watch([this] { controller_->sourceChanged(); });
}

DesktopTouches::~DesktopTouches() {
    // The watch and the clicks call into the controller: they go first.
    watch_.reset();
    shell_.setClickHandler({});
    clicks_.reset();
    controller_.reset();
}
