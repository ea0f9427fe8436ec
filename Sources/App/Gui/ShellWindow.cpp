#include "App/Gui/ShellWindow.h"

#include <cstdio>

#include "App/Gui/DesktopTouches.h"

ShellWindow::ShellWindow(DesktopShell& shell, size_t index, Monitor monitor, std::shared_ptr<const bool> current)
    : shell_(shell), index_(index), monitor_(monitor), current_(std::move(current)) {}

PlacementMap ShellWindow::placed() const {
    if (!*current_) return {};
    const DesktopWindow* window = shell_.window(index_);
    return window ? window->placed() : PlacementMap{};
}

void ShellWindow::show(const RenderedScene& scene, double fade) {
    if (!*current_ || !shell_.window(index_)) return;
    shell_.show(index_, scene, fade);
    // One line per picture shown: what the desktop shows now is then visible in the session's log.
    std::fprintf(stderr, "vistamere: showing %s on monitor %zu\n", scene.style.c_str(), index_);
    if (DesktopTouches::tracing())
        std::fprintf(stderr, "vistamere: tiles on monitor %zu: %s\n", index_, DesktopTouches::tileDigest(scene).c_str());
}

std::vector<std::shared_ptr<SceneWindow>> ShellWindow::all(DesktopShell& shell, std::shared_ptr<const bool> current) {
    std::vector<std::shared_ptr<SceneWindow>> out;
    // GDK measures down from the top of the whole screen; the scenes want y upward from the bottom of the
    // first monitor.
    double primaryBottom = 0;
    for (size_t i = 0; i < shell.screens(); ++i) {
        const DesktopSurface* surface = shell.surface(i);
        if (!surface) continue;
        const DesktopSurface::Geometry& g = surface->geometry();
        if (out.empty()) primaryBottom = g.y + g.height;
        Monitor m;
        m.frame = cg::Rect(g.x, primaryBottom - (g.y + g.height), g.width, g.height);
        m.scaleFactor = g.scale;
        out.push_back(std::make_shared<ShellWindow>(shell, i, m, current));
    }
    return out;
}
