#pragma once
// The desktop windows as the application drives them: the desktop shell in the program, a fake in tests.

#include <cstddef>
#include <memory>
#include <vector>

#include "App/SceneWindow.h"

class AppShell {
public:
    virtual ~AppShell() = default;
    // One window per monitor there is now, in the monitors' order, replacing any earlier set: windows
    // handed out before go quiet and show nothing more.
    virtual std::vector<std::shared_ptr<SceneWindow>> buildWindows() = 0;
    // Pauses or resumes every sprite animation of window `index` of the newest set.
    virtual void setAnimating(size_t index, bool animating) = 0;
    // Whether any window is on screen now.
    virtual bool anyVisible() const = 0;
    // Fades every window to transparent over `seconds`.
    virtual void fadeOut(double seconds) = 0;
};
