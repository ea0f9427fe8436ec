#include "App/Gui/DesktopShellHost.h"

#include <cstdio>

#include "App/Gui/ShellWindow.h"

DesktopShellHost::~DesktopShellHost() { attach(nullptr); }

void DesktopShellHost::attach(DesktopShell* shell) {
    // Adapters of the old set go quiet, so a late render never lands on a window that is gone or that
    // took their index.
    if (current_) *current_ = false;
    current_.reset();
    if (shell_)
        for (size_t i = 0; i < shell_->screens(); ++i)
            if (DesktopSurface* surface = shell_->surface(i)) surface->setVisibilityHandler({});
    shell_ = shell;
}

std::vector<std::shared_ptr<SceneWindow>> DesktopShellHost::buildWindows() {
    if (current_) *current_ = false;
    current_ = std::make_shared<bool>(true);
    if (!shell_) return {};
    for (size_t i = 0; i < shell_->screens(); ++i) {
        DesktopSurface* surface = shell_->surface(i);
        if (!surface) continue;
        surface->setVisibilityHandler([this, i, current = std::weak_ptr<const bool>(current_)](bool visible) {
            const auto still = current.lock();
            if (still && *still && occlusion_) occlusion_(i, visible);
        });
    }
    return ShellWindow::all(*shell_, current_);
}

void DesktopShellHost::setAnimating(size_t index, bool animating) {
    if (!shell_) return;
    DesktopWindow* window = shell_->window(index);
    if (!window || window->animating() == animating) return;
    window->setAnimating(animating);
    // Sprites that stand still are then explained in the session's log.
    std::fprintf(stderr, "vistamere: animation %s on monitor %zu\n", animating ? "resumed" : "paused", index);
}

bool DesktopShellHost::anyVisible() const {
    if (!shell_) return false;
    for (size_t i = 0; i < shell_->screens(); ++i) {
        const DesktopSurface* surface = shell_->surface(i);
        const DesktopWindow* window = shell_->window(i);
        if (surface && window && surface->mapped() && window->isVisible()) return true;
    }
    return false;
}

void DesktopShellHost::fadeOut(double seconds) {
    if (!shell_) return;
    for (size_t i = 0; i < shell_->screens(); ++i)
        if (DesktopWindow* window = shell_->window(i)) window->fadeWindow(0, seconds);
}
