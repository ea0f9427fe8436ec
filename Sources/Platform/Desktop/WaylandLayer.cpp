#include "Platform/Desktop/WaylandLayer.h"

#include <gtk-layer-shell.h>
#include <gtk/gtk.h>
#include <wayland-client.h>

#include <cmath>
#include <cstring>
#include <memory>

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

namespace wayland {

void ClickFilter::press(Point at, bool modified) {
    down_ = true;
    modified_ = modified;
    at_ = at;
}

std::optional<ClickFilter::Point> ClickFilter::release(Point at, bool modified) {
    const bool click = down_ && !modified_ && !modified && std::abs(at.x - at_.x) <= dragDistance &&
                       std::abs(at.y - at_.y) <= dragDistance;
    down_ = false;
    if (!click) return std::nullopt;
    return at_;
}

Probe probe(const std::string& display) {
    Probe out;
    wl_display* d = wl_display_connect(display.empty() ? nullptr : display.c_str());
    if (!d) return out;
    out.connected = true;
    wl_registry* registry = wl_display_get_registry(d);
    static const wl_registry_listener listener = {
        +[](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0) static_cast<Probe*>(data)->layerShell = true;
        },
        +[](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &out);
    if (wl_display_roundtrip(d) < 0) out.layerShell = false;
    wl_registry_destroy(registry);
    wl_display_disconnect(d);
    return out;
}

bool isWayland(GdkDisplay* display) {
#ifdef GDK_WINDOWING_WAYLAND
    return display && GDK_IS_WAYLAND_DISPLAY(display);
#else
    (void)display;
    return false;
#endif
}

bool layerShellSupported() { return gtk_layer_is_supported(); }

void placeOnBackground(GtkWidget* widget, GdkMonitor* monitor, const std::string& nameSpace, Button button) {
    GtkWindow* window = GTK_WINDOW(widget);
    gtk_layer_init_for_window(window);
    gtk_layer_set_namespace(window, nameSpace.c_str());
    gtk_layer_set_layer(window, GTK_LAYER_SHELL_LAYER_BACKGROUND);
    for (GtkLayerShellEdge edge : {GTK_LAYER_SHELL_EDGE_LEFT, GTK_LAYER_SHELL_EDGE_RIGHT, GTK_LAYER_SHELL_EDGE_TOP,
                                   GTK_LAYER_SHELL_EDGE_BOTTOM})
        gtk_layer_set_anchor(window, edge, TRUE);
    // Other surfaces' exclusive zones (a bar) do not push ours aside: the scene fills the output.
    gtk_layer_set_exclusive_zone(window, -1);
    gtk_layer_set_keyboard_mode(window, GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
    if (monitor) gtk_layer_set_monitor(window, monitor);
    if (!button) return;
    gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
    auto* held = new Button(std::move(button));
    g_object_set_data_full(G_OBJECT(widget), "vistamere-button", held,
                           +[](gpointer p) { delete static_cast<Button*>(p); });
    const auto onButton = +[](GtkWidget* w, GdkEventButton* event, gpointer) -> gboolean {
        if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
        // A double click's extra press events are not clicks of their own.
        if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return FALSE;
        auto* b = static_cast<Button*>(g_object_get_data(G_OBJECT(w), "vistamere-button"));
        const bool modified =
            (event->state & (GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_MOD4_MASK)) != 0;
        if (b && *b) (*b)(event->x, event->y, event->type == GDK_BUTTON_PRESS, modified);
        return TRUE;
    };
    g_signal_connect(widget, "button-press-event", G_CALLBACK(onButton), nullptr);
    g_signal_connect(widget, "button-release-event", G_CALLBACK(onButton), nullptr);
}

}  // namespace wayland
