#pragma once
// The status menu, built from nothing each time from the preferences and the application's state, so it
// never shows stale checkmarks, pictures or notices. No GTK here.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "App/MenuEntry.h"
#include "Scene/SceneKind.h"

class StatusMenu {
public:
    struct State {
        SceneKind scene = SceneKind::archipelago;  // the scene shown now (the day's scene while "daily" is on)
        bool daily = false;
        int64_t lighting = 0;
        int64_t folders = 0;
        bool desktopDenied = false;  // the last folder synchronisation was refused access to the Desktop
        bool finderDenied = false;   // the last read of the icon layout failed
        std::optional<std::string> update;  // a newer version found by the update check
        // The scene's thumbnail for the time of day shown, or none while it is being made.
        std::function<cg::ImageRef(SceneKind)> thumb;
    };

    static constexpr const char* foldersToolTip =
        "Paints the folders on your Desktop to match the scene. Folders with your own icon, colour or emoji are "
        "left alone.";

    // 25 entries, up to 28 with the three notices.
    static std::vector<MenuEntry> build(const State& state);
};
