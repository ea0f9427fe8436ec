#pragma once
// The desktop shell's windows as the application core drives them, with each window's visibility
// reported back by index. Main thread only.

#include <functional>
#include <memory>

#include "App/AppShell.h"
#include "Platform/Desktop/DesktopShell.h"

class DesktopShellHost : public AppShell {
public:
    // Called with a window's index and whether any of it can be seen, for the newest set only.
    using Occlusion = std::function<void(size_t, bool)>;

    // Holds no windows until a shell is attached.
    DesktopShellHost() = default;
    ~DesktopShellHost() override;
    DesktopShellHost(const DesktopShellHost&) = delete;
    DesktopShellHost& operator=(const DesktopShellHost&) = delete;

    void setOcclusionHandler(Occlusion handler) { occlusion_ = std::move(handler); }
    // The shell whose windows to hand out, or none once it is going away: windows handed out before go
    // quiet either way.
    void attach(DesktopShell* shell);

    // The shell rebuilds its own windows when the monitors change; this hands out the set it has now.
    std::vector<std::shared_ptr<SceneWindow>> buildWindows() override;
    void setAnimating(size_t index, bool animating) override;
    bool anyVisible() const override;
    void fadeOut(double seconds) override;

private:
    DesktopShell* shell_ = nullptr;
    Occlusion occlusion_;
    std::shared_ptr<bool> current_;
};
