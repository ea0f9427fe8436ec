#pragma once
// The windows on screen as the click handler and the poll weigh them: each with a level (the desktop,
// ordinary windows, docks and panels, popups), an opacity and its bounds. Managed windows come from
// the EWMH stacking list on the current workspace; without a window manager, the root's mapped
// children. A connection of its own, so nothing here disturbs GDK's.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class WindowList {
public:
    // Levels in stacking order; ordinary windows lie strictly between desktop and dock.
    static constexpr int64_t desktopLevel = -1, normalLevel = 0, aboveLevel = 3, dockLevel = 20, popUpLevel = 101;

    struct Entry {
        unsigned long window = 0;
        int64_t level = normalLevel;
        std::optional<double> opacity;          // 0…1, when the window sets one
        int x = 0, y = 0, width = 0, height = 0;  // root coordinates, device pixels, without CSD shadows
    };

    // Nothing when the display cannot be opened (DISPLAY when empty).
    static std::unique_ptr<WindowList> open(const std::string& display = {});
    ~WindowList();
    WindowList(const WindowList&) = delete;
    WindowList& operator=(const WindowList&) = delete;

    // The windows that show on the current workspace, top first.
    std::vector<Entry> onScreen() const;
    // The topmost window at a root point, or nothing when only the root lies there.
    std::optional<Entry> at(int x, int y) const;
    // A window's level from its _NET_WM_WINDOW_TYPE and _NET_WM_STATE atom names.
    static int64_t level(const std::vector<std::string>& types, const std::vector<std::string>& states,
                         bool overrideRedirect);

private:
    explicit WindowList(void* display) : display_(display) {}
    std::optional<Entry> describe(unsigned long client, unsigned long frame) const;
    unsigned long clientOf(unsigned long frame, int depth) const;

    void* display_;
};
