#pragma once
// Our desktop surfaces on a Wayland compositor's background layer (zwlr_layer_shell_v1 through
// gtk-layer-shell): below every window, panel and icon manager's layer, one per output, never
// focused, taking no space from other surfaces. Clicks on bare desktop reach the surface itself.

#include <functional>
#include <optional>
#include <string>

struct _GtkWidget;
struct _GdkMonitor;
struct _GdkDisplay;

namespace wayland {

struct Probe {
    bool connected = false;   // a compositor answered on the socket
    bool layerShell = false;  // and offers the layer shell
};
// Asks the compositor at `display` (WAYLAND_DISPLAY when empty) what it offers, on a connection of
// its own, before GTK opens one.
Probe probe(const std::string& display = {});

bool isWayland(_GdkDisplay* display);
// Whether GDK's compositor offers the layer shell.
bool layerShellSupported();

// A left button pressed (true) or released on the surface, in points from its top left, and whether
// Shift, Control, Alt or Super was held.
using Button = std::function<void(double x, double y, bool pressed, bool modified)>;

// Tells clicks from drags and modified presses, as raw clicks do on X11: a press and its release at
// most `dragDistance` points apart on either axis, with no modifier held at either, is a click at the
// press.
class ClickFilter {
public:
    static constexpr double dragDistance = 4;
    struct Point {
        double x = 0, y = 0;
    };
    void press(Point at, bool modified);
    // The click's place, or nothing when the release ends no click.
    std::optional<Point> release(Point at, bool modified);

private:
    bool down_ = false, modified_ = false;
    Point at_;
};
// Makes the unrealized GTK window a background-layer surface covering `monitor`, reporting left
// clicks to `button`.
void placeOnBackground(_GtkWidget* window, _GdkMonitor* monitor, const std::string& nameSpace, Button button);

}  // namespace wayland
