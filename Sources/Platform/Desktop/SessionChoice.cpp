#include "Platform/Desktop/SessionChoice.h"

#include <algorithm>

namespace session {

Backend backend(const Facts& f) {
    if (f.wayland && f.layerShell) return Backend::wayland;
    // Xwayland first: GNOME's window manager keeps a DESKTOP window under native windows too.
    if (f.x11) return Backend::x11;
    // Without either, GTK still opens on Wayland for the status item and the settings window.
    if (f.wayland) return Backend::wayland;
    return Backend::none;
}

Desktop desktop(const Facts& f) {
    switch (backend(f)) {
        case Backend::wayland:
            if (f.layerShell) return Desktop::layerShell;
            break;
        case Backend::x11:
            // On a bare X server the shell keeps its windows low by itself; under a Wayland compositor
            // an X window cannot go below native ones unless the window manager puts it there.
            if (!f.wayland || f.desktopWindows) return Desktop::x11Desktop;
            break;
        case Backend::none: return Desktop::none;
    }
    return f.setterKnown ? Desktop::stillPicture : Desktop::none;
}

std::string whyNoScene(const Facts& f) {
    const Desktop d = desktop(f);
    if (d == Desktop::layerShell || d == Desktop::x11Desktop) return {};
    if (!f.wayland && !f.x11) return "no display to show the desktop on";
    std::string why = "the compositor offers no background layer (zwlr_layer_shell_v1)";
    why += f.x11 ? " and its X11 window manager keeps no desktop window below the others"
                 : " and there is no X11 display (Xwayland)";
    why += d == Desktop::stillPicture ? ": the scene is shown as a still wallpaper"
                                      : ", and the wallpaper cannot be set: no scenery is shown, "
                                        "the settings and the status menu still work";
    return why;
}

bool wallpaperDesktop(const std::string& currentDesktop) {
    // A colon-separated list, each name compared whole ("GNOME-Flashback:GNOME" counts by its second).
    size_t at = 0;
    while (at <= currentDesktop.size()) {
        const size_t end = std::min(currentDesktop.find(':', at), currentDesktop.size());
        const std::string name = currentDesktop.substr(at, end - at);
        for (const char* known : {"GNOME", "Cinnamon", "X-Cinnamon", "MATE", "XFCE", "KDE"})
            if (name == known) return true;
        at = end + 1;
    }
    return false;
}

bool secondStartOpensSettings(const Facts& f) { return !f.statusHost && !f.menuAtPointer; }

}  // namespace session
