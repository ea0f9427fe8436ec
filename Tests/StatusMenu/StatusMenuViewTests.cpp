// The GtkMenu drawn from the status menu's entries, and the controller that keeps it current and turns
// choices into preference writes.

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "App/AppTestSupport.h"
#include "App/Defaults.h"
#include "App/Gui/MenuController.h"
#include "App/Gui/MenuView.h"
#include "App/StatusMenu.h"

namespace {

std::string labelOf(GtkWidget* w) {
    if (GTK_IS_LABEL(w)) return gtk_label_get_text(GTK_LABEL(w));
    if (!GTK_IS_CONTAINER(w)) return "";
    std::string found;
    GList* children = gtk_container_get_children(GTK_CONTAINER(w));
    for (GList* c = children; c && found.empty(); c = c->next) found = labelOf(GTK_WIDGET(c->data));
    g_list_free(children);
    return found;
}

bool hasImage(GtkWidget* w) {
    if (GTK_IS_IMAGE(w)) return true;
    if (!GTK_IS_CONTAINER(w)) return false;
    bool found = false;
    GList* children = gtk_container_get_children(GTK_CONTAINER(w));
    for (GList* c = children; c && !found; c = c->next) found = hasImage(GTK_WIDGET(c->data));
    g_list_free(children);
    return found;
}

std::vector<GtkWidget*> items(GtkMenu* menu) {
    std::vector<GtkWidget*> out;
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* c = children; c; c = c->next) out.push_back(GTK_WIDGET(c->data));
    g_list_free(children);
    return out;
}

GtkWidget* titled(GtkMenu* menu, const std::string& title) {
    for (GtkWidget* w : items(menu))
        if (labelOf(w) == title) return w;
    return nullptr;
}

// GTK needs the X display that ctest provides; without one every test fails here.
class GtkDisplay : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no X display"; }
};
const auto* const display = ::testing::AddGlobalTestEnvironment(new GtkDisplay);

struct Menu {
    GtkMenu* menu = GTK_MENU(g_object_ref_sink(gtk_menu_new()));
    ~Menu() {
        gtk_widget_destroy(GTK_WIDGET(menu));
        g_object_unref(menu);
    }
};

TEST(MenuView, DrawsEveryEntryWithItsLabelMarkAndPicture) {
    StatusMenu::State state;
    state.scene = SceneKind::skyline;
    state.daily = true;
    state.lighting = 2;
    state.folders = 1;
    state.desktopDenied = state.finderDenied = true;
    state.update = "1.2";
    const auto picture = cg::Image::fromARGB32(320, 200, std::vector<uint32_t>(320 * 200, 0xFF3366CCu));
    state.thumb = [&](SceneKind k) { return k == SceneKind::sea ? picture : nullptr; };
    const auto entries = StatusMenu::build(state);

    Menu m;
    std::vector<std::string> chosen;
    MenuView::fill(m.menu, entries, [&](const MenuEntry& e) { chosen.push_back(e.title + "/" + e.represented); });
    // Filling again replaces, never adds.
    MenuView::fill(m.menu, entries, [&](const MenuEntry& e) { chosen.push_back(e.title + "/" + e.represented); });
    const auto widgets = items(m.menu);
    ASSERT_EQ(widgets.size(), 28u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const MenuEntry& e = entries[i];
        GtkWidget* w = widgets[i];
        SCOPED_TRACE(e.title);
        EXPECT_EQ(GTK_IS_SEPARATOR_MENU_ITEM(w), e.kind == MenuEntry::Kind::separator);
        if (e.kind == MenuEntry::Kind::separator) continue;
        EXPECT_EQ(labelOf(w), e.title);
        EXPECT_EQ(bool(gtk_widget_get_sensitive(w)), e.kind == MenuEntry::Kind::item);
        EXPECT_EQ(hasImage(w), e.image != nullptr);
        const bool checkable = e.action == MenuAction::pickScene || e.action == MenuAction::toggleDaily ||
                               e.action == MenuAction::pickLighting || e.action == MenuAction::pickFolders;
        ASSERT_EQ(GTK_IS_CHECK_MENU_ITEM(w), checkable);
        if (checkable) {
            EXPECT_EQ(bool(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(w))), e.on);
            EXPECT_EQ(bool(gtk_check_menu_item_get_draw_as_radio(GTK_CHECK_MENU_ITEM(w))),
                      e.action != MenuAction::toggleDaily);
        }
        gchar* tip = gtk_widget_get_tooltip_text(w);
        EXPECT_EQ(tip ? std::string(tip) : std::string(), e.toolTip);
        g_free(tip);
    }
    // Ctrl stands for the primary modifier of the key equivalents.
    GtkAccelGroup* group = gtk_menu_get_accel_group(m.menu);
    for (auto [title, key] : {std::pair{"Settings\u2026", GDK_KEY_comma}, std::pair{"Quit Vistamere", GDK_KEY_q}}) {
        guint n = 0;
        GtkAccelGroupEntry* found = gtk_accel_group_query(group, key, GDK_CONTROL_MASK, &n);
        ASSERT_EQ(n, 1u) << title;
        GList* closures = gtk_widget_list_accel_closures(titled(m.menu, title));
        ASSERT_EQ(g_list_length(closures), 1u) << title;
        EXPECT_EQ(found[0].closure, closures->data) << title;
        g_list_free(closures);
    }
    // Open, the menu shows the sea's thumbnail at the menu's thumbnail size. Its picture goes to $VM_TEST_OUT.
    const GdkRectangle at{40, 40, 1, 1};
    gtk_menu_popup_at_rect(m.menu, gdk_get_default_root_window(), &at, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, nullptr);
    settle(0.3);
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(m.menu));
    ASSERT_TRUE(gtk_widget_get_visible(top));
    const int w = gtk_widget_get_allocated_width(top), h = gtk_widget_get_allocated_height(top);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    gtk_widget_draw(top, cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    int blue = 0;
    const auto* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            blue += *reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(surface) + 4 * x) ==
                    0xFF3366CCu;
    EXPECT_GE(blue, 90 * 56);
    EXPECT_LT(blue, 97 * 61);
    if (const char* out = std::getenv("VM_TEST_OUT")) {
        g_mkdir_with_parents(out, 0755);
        EXPECT_EQ(cairo_surface_write_to_png(surface, (std::string(out) + "/status-menu.png").c_str()),
                  CAIRO_STATUS_SUCCESS);
    }
    cairo_surface_destroy(surface);
    gtk_menu_popdown(m.menu);

    // A choice reaches the handler once, after the event, with the scene it stands for.
    gtk_menu_item_activate(GTK_MENU_ITEM(titled(m.menu, "Pond")));
    EXPECT_TRUE(chosen.empty());
    settle(0.1);
    EXPECT_EQ(chosen, std::vector<std::string>{"Pond/pond"});
}

// The controller: choices become writes through the one apply path, and the menu follows the state.
TEST(MenuController, WritesChoicesThroughApplyAndFollowsTheState) {
    TempDir dir;
    Defaults defaults(dir.path());
    defaults.setDaily(true);
    std::vector<std::pair<std::string, PreferenceValue>> writes;
    std::optional<std::string> update;
    Menu m;
    MenuController::Host host;
    host.defaults = &defaults;
    host.scene = [&] { return defaults.sceneKind(); };
    host.apply = [&](const std::string& key, const PreferenceValue& v) { writes.emplace_back(key, v); };
    host.update = [&] { return update; };
    MenuController controller(m.menu, std::move(host));

    struct Case {
        const char* title;
        const char* key;
        PreferenceValue value;
    };
    const Case cases[] = {
        {"City 2", "scene", std::string("skyline")},
        {"Change Scene Daily", "daily", false},  // the opposite of what is stored
        {"Night", "lighting", int64_t{2}},
        {"Match Scene", "folders", int64_t{1}},
        {"Original", "folders", int64_t{0}},
    };
    for (const Case& c : cases) {
        writes.clear();
        gtk_menu_item_activate(GTK_MENU_ITEM(titled(m.menu, c.title)));
        settle(0.05);
        ASSERT_EQ(writes.size(), 1u) << c.title;
        EXPECT_EQ(writes[0].first, c.key);
        EXPECT_EQ(writes[0].second, c.value) << c.title;
    }

    // A preference written elsewhere moves the mark; an update found shows its item once asked to refresh.
    defaults.setLighting(1);
    update = "3.1";
    controller.refresh();
    settle(0.05);
    EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(titled(m.menu, "Day"))));
    EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(titled(m.menu, "Match System"))));
    EXPECT_NE(titled(m.menu, "Update Available (3.1)\u2026"), nullptr);
    EXPECT_EQ(items(m.menu).size(), 26u);
}

template <typename T>
T* shown(GType type) {
    T* found = nullptr;
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next)
        if (G_TYPE_CHECK_INSTANCE_TYPE(t->data, type) && gtk_widget_get_visible(GTK_WIDGET(t->data)))
            found = static_cast<T*>(t->data);
    g_list_free(tops);
    return found;
}

std::string property(gpointer object, const char* name) {
    gchar* text = nullptr;
    g_object_get(object, name, &text, nullptr);
    std::string s = text ? text : "";
    g_free(text);
    return s;
}

// The About dialog carries the credits line; each access notice explains where it failed, why, and how to fix it.
TEST(MenuController, OpensTheAboutDialogAndTheAccessHelp) {
    Menu m;
    MenuController::Host host;
    host.desktopProblem = [] { return MenuController::Problem{"/home/someone/Desktop", "Permission denied"}; };
    host.finderProblem = [] { return MenuController::Problem{"gvfs metadata (Nemo)", "metadata unreadable"}; };
    MenuController controller(m.menu, std::move(host));

    controller.about();
    settle(0.1);
    auto* about = shown<GtkAboutDialog>(GTK_TYPE_ABOUT_DIALOG);
    ASSERT_NE(about, nullptr);
    EXPECT_STREQ(gtk_about_dialog_get_program_name(about), "Vistamere");
    EXPECT_STREQ(gtk_about_dialog_get_comments(about), "Living scenery that grows around your desktop icons.");
    gtk_dialog_response(GTK_DIALOG(about), GTK_RESPONSE_CANCEL);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(about)));

    struct Case {
        const char* item;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"Allow Desktop Access\u2026", {"/home/someone/Desktop", "Permission denied", "chmod"}},
        {"Allow Finder Access\u2026", {"gvfs metadata (Nemo)", "metadata unreadable", "desktop-icons.json"}},
    };
    for (const Case& c : cases) {
        gtk_menu_item_activate(GTK_MENU_ITEM(titled(m.menu, c.item)));
        settle(0.1);
        auto* dialog = shown<GtkMessageDialog>(GTK_TYPE_MESSAGE_DIALOG);
        ASSERT_NE(dialog, nullptr) << c.item;
        const std::string text = property(dialog, "secondary-text");
        for (const std::string& part : c.says) EXPECT_NE(text.find(part), std::string::npos) << c.item << ": " << part;
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE);
        settle(0.05);
        EXPECT_EQ(shown<GtkMessageDialog>(GTK_TYPE_MESSAGE_DIALOG), nullptr) << c.item;
    }
}

}  // namespace
