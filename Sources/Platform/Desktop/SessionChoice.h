#pragma once
// How the desktop is shown in the session we find at start, in plain facts, so the choice can be
// checked without a compositor. A layer shell puts our surfaces on the compositor's background
// layer; an X11 window manager that knows DESKTOP windows keeps ours below everything. Through
// Xwayland, a window manager that does not would show our full-screen window over the user's work,
// so there only the still picture (or nothing) is shown.

#include <string>

namespace session {

enum class Backend { wayland, x11, none };
enum class Desktop { layerShell, x11Desktop, stillPicture, none };

struct Facts {
    bool wayland = false;         // WAYLAND_DISPLAY names a compositor that answers
    bool layerShell = false;      // it offers zwlr_layer_shell_v1
    bool x11 = false;             // DISPLAY is set (Xwayland, under a Wayland compositor)
    bool desktopWindows = true;   // the X11 window manager advertises the DESKTOP window type
    bool setterKnown = false;     // the session's wallpaper can be set to a still picture
    bool statusHost = false;      // a status notifier host answers on the session bus
    bool menuAtPointer = true;    // a menu can pop up at the mouse by itself (X11; Wayland wants a click)
};

// The GDK backend to open, decided before GTK starts.
Backend backend(const Facts& facts);
// What the desktop shows once the display is open.
Desktop desktop(const Facts& facts);
// Why there is no live scene, for stderr; empty when there is one.
std::string whyNoScene(const Facts& facts);
// Whether XDG_CURRENT_DESKTOP names a desktop whose wallpaper we know how to set (GNOME, Cinnamon, MATE,
// Xfce, KDE). Any other (weston, sway, none) draws no wallpaper from those settings, so none is changed.
bool wallpaperDesktop(const std::string& currentDesktop);
// Whether a second start opens the settings window rather than the status menu at the mouse: without a
// status host and without a way to pop the menu up by itself, nothing else would lead to the settings.
// (The application launcher's entry always opens the settings.)
bool secondStartOpensSettings(const Facts& facts);

}  // namespace session
