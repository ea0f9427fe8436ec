// The GtkMenu drawn from the status menu's entries, and the controller that keeps it current and turns
// choices into preference writes.

#include <gtest/gtest.h>

#include <gtk/gtk.h>

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

}  // namespace
