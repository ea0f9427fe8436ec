#include "App/Gui/MenuView.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <gtk/gtk.h>

#include "App/Thumbnails.h"

namespace {

struct Choice {
    MenuEntry entry;
    MenuView::Chosen chosen;
};

// The thumbnail at the size the menu shows it, at the screen's scale so it stays sharp.
GtkWidget* picture(const cg::Image& img) {
    int scale = 1;
    if (GdkDisplay* display = gdk_display_get_default()) {
        GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
        if (!monitor) monitor = gdk_display_get_monitor(display, 0);
        if (monitor) scale = std::max(1, gdk_monitor_get_scale_factor(monitor));
    }
    const int w = int(Thumbnails::displaySize.width) * scale, h = int(Thumbnails::displaySize.height) * scale;
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    // cg images are Cairo's premultiplied ARGB32; the source surface only reads them.
    cairo_surface_t* in = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(img.data())), CAIRO_FORMAT_ARGB32, img.pixelWidth(),
        img.pixelHeight(), int(img.bytesPerRow()));
    cairo_t* cr = cairo_create(out);
    cairo_scale(cr, double(w) / img.pixelWidth(), double(h) / img.pixelHeight());
    cairo_set_source_surface(cr, in, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(in);
    cairo_surface_set_device_scale(out, scale, scale);
    GtkWidget* image = gtk_image_new_from_surface(out);
    cairo_surface_destroy(out);
    return image;
}

bool exclusive(MenuAction action) {
    return action == MenuAction::pickScene || action == MenuAction::pickLighting || action == MenuAction::pickFolders;
}

GtkWidget* itemFor(const MenuEntry& e) {
    if (e.kind == MenuEntry::Kind::separator) return gtk_separator_menu_item_new();
    if (e.kind == MenuEntry::Kind::header) {
        GtkWidget* header = gtk_menu_item_new_with_label(e.title.c_str());
        gtk_widget_set_sensitive(header, FALSE);
        return header;
    }
    const bool checkable = exclusive(e.action) || e.action == MenuAction::toggleDaily;
    if (!checkable) return gtk_menu_item_new_with_label(e.title.c_str());
    GtkWidget* item = nullptr;
    if (e.image) {
        item = gtk_check_menu_item_new();
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
        gtk_box_pack_start(GTK_BOX(box), picture(*e.image), FALSE, FALSE, 0);
        GtkWidget* label = gtk_label_new(e.title.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_box_pack_start(GTK_BOX(box), label, TRUE, TRUE, 0);
        gtk_container_add(GTK_CONTAINER(item), box);
    } else {
        item = gtk_check_menu_item_new_with_label(e.title.c_str());
    }
    gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(item), exclusive(e.action));
    // Set before the handlers are connected: setting the state activates the item.
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), e.on);
    return item;
}

}  // namespace

void MenuView::fill(GtkMenu* menu, const std::vector<MenuEntry>& entries, Chosen chosen) {
    g_autoptr(GList) old = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* c = old; c; c = c->next) gtk_widget_destroy(GTK_WIDGET(c->data));

    GtkAccelGroup* accels = gtk_menu_get_accel_group(menu);
    if (!accels) {
        accels = gtk_accel_group_new();
        gtk_menu_set_accel_group(menu, accels);
        // Our reference lasts until the menu is finalised: a menu lets go of its group when it is
        // destroyed, before its items, whose labels still look the group up.
        g_object_set_data_full(G_OBJECT(menu), "vm-accels", accels, g_object_unref);
    }

    for (const MenuEntry& e : entries) {
        GtkWidget* item = itemFor(e);
        if (!e.toolTip.empty()) gtk_widget_set_tooltip_text(item, e.toolTip.c_str());
        if (e.key.size() == 1)
            gtk_widget_add_accelerator(item, "activate", accels, gdk_unicode_to_keyval(guint32(e.key[0])),
                                       GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE);
        if (e.kind == MenuEntry::Kind::item && e.action != MenuAction::none) {
            auto* choice = new Choice{e, chosen};
            g_object_set_data_full(G_OBJECT(item), "choice", choice, [](gpointer p) { delete static_cast<Choice*>(p); });
            g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* self, gpointer) {
                                 const auto* c = static_cast<const Choice*>(g_object_get_data(G_OBJECT(self), "choice"));
                                 auto* copy = new Choice(*c);
                                 g_idle_add_full(
                                     G_PRIORITY_DEFAULT_IDLE,
                                     +[](gpointer p) -> gboolean {
                                         const auto* run = static_cast<const Choice*>(p);
                                         if (run->chosen) run->chosen(run->entry);
                                         return G_SOURCE_REMOVE;
                                     },
                                     copy, [](gpointer p) { delete static_cast<Choice*>(p); });
                             }),
                             nullptr);
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    gtk_widget_show_all(GTK_WIDGET(menu));
}
