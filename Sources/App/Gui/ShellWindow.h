#pragma once
// One desktop shell window as a render pass sees it. The shell replaces its windows as a whole when the
// monitors change; an adapter of an older set then shows nothing, so a late render never lands on the
// window that took its index.

#include <cstddef>
#include <memory>
#include <vector>

#include "App/SceneWindow.h"
#include "Platform/Desktop/DesktopShell.h"

class ShellWindow : public SceneWindow {
public:
    // `current` stays true while the shell's windows are the set this adapter was made for.
    ShellWindow(DesktopShell& shell, size_t index, Monitor monitor, std::shared_ptr<const bool> current);

    Monitor monitor() const override { return monitor_; }
    PlacementMap placed() const override;
    void show(const RenderedScene& scene, double fade) override;

    // One adapter per shell window, in the shell's order, with monitors in global coordinates measured
    // up from the bottom of the first monitor.
    static std::vector<std::shared_ptr<SceneWindow>> all(DesktopShell& shell, std::shared_ptr<const bool> current);

private:
    DesktopShell& shell_;
    size_t index_;
    Monitor monitor_;
    std::shared_ptr<const bool> current_;
};
