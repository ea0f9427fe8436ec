#include "App/Gui/StatusItem.h"

#include <cstdio>

#include <cairo.h>
#include <glib/gstdio.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

namespace {

constexpr const char* iconName = "vistamere-status";

// Two filled peaks in a 64-unit square.
cairo_surface_t* peaks(int size, double grey) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, size / 64.0, size / 64.0);
    cairo_set_source_rgba(cr, grey, grey, grey, 1);
    cairo_move_to(cr, 2, 54);
    cairo_line_to(cr, 24, 14);
    cairo_line_to(cr, 36, 34);
    cairo_line_to(cr, 44, 22);
    cairo_line_to(cr, 62, 54);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_destroy(cr);
    return surface;
}

// A light grey reads on dark and light panels alike.
bool writeIcon(const std::string& path) {
    cairo_surface_t* surface = peaks(64, 0.88);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

}  // namespace

StatusItem::StatusItem(const std::string& iconDirectory) {
    g_mkdir_with_parents(iconDirectory.c_str(), 0700);
    const std::string path = iconDirectory + "/" + iconName + ".png";
    if (!writeIcon(path)) std::fprintf(stderr, "vistamere: writing the status icon %s failed\n", path.c_str());
    if (!GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
        // Without a status host the library falls back to a tray icon, which exists on X11 only: on
        // Wayland that fallback fails loudly, so there is none.
        auto* type = static_cast<AppIndicatorClass*>(g_type_class_ref(APP_INDICATOR_TYPE));
        type->fallback = nullptr;
        type->unfallback = nullptr;
        g_type_class_unref(type);
    }
    indicator_ = app_indicator_new(id, iconName, APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    app_indicator_set_icon_theme_path(indicator_, iconDirectory.c_str());
    app_indicator_set_icon_full(indicator_, iconName, "Vistamere");
    app_indicator_set_title(indicator_, "Vistamere");
    // An indicator without a menu is never shown.
    menu_ = gtk_menu_new();
    g_object_ref_sink(menu_);
    gtk_widget_show_all(menu_);
    app_indicator_set_menu(indicator_, GTK_MENU(menu_));
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
}

GtkMenu* StatusItem::menu() const { return GTK_MENU(menu_); }

bool StatusItem::popUp() {
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer) return false;
    GdkScreen* screen = nullptr;
    GdkRectangle under{0, 0, 1, 1};
    gdk_device_get_position(pointer, &screen, &under.x, &under.y);
    GdkWindow* root = screen ? gdk_screen_get_root_window(screen) : gdk_get_default_root_window();
    // No click opened it (a timer or a second launch did): GTK still wants an event that tells it which
    // pointer grabs the menu, or it complains on every pop-up. A button press of no button, "now", says
    // just that, and no release of a real button mistakes it for its own.
    g_autoptr(GdkEvent) trigger = gdk_event_new(GDK_BUTTON_PRESS);
    trigger->button.window = GDK_WINDOW(g_object_ref(root));
    trigger->button.time = GDK_CURRENT_TIME;
    trigger->button.button = 0;
    trigger->button.x_root = under.x;
    trigger->button.y_root = under.y;
    gdk_event_set_device(trigger, pointer);
    // Placed against the root window, below and right of the mouse where it fits (GTK flips or slides it
    // otherwise).
    gtk_menu_popup_at_rect(GTK_MENU(menu_), root, &under, GDK_GRAVITY_SOUTH_EAST, GDK_GRAVITY_NORTH_WEST, trigger);
    return gtk_widget_get_visible(menu_);
}

GdkPixbuf* StatusItem::logo(int size) {
    cairo_surface_t* surface = peaks(size, 0.45);
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
    cairo_surface_destroy(surface);
    return pixbuf;
}

StatusItem::~StatusItem() {
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_PASSIVE);
    g_object_unref(indicator_);
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
}

bool StatusItem::hostPresent() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    // A watcher that is slow to answer is as good as none for the start-up message; it starts no service.
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply) return false;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool registered = value && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    if (value) g_variant_unref(value);
    g_variant_unref(reply);
    return registered;
}
