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
#include "App/Gui/StatusItem.h"
#include "App/StatusMenu.h"

namespace {

// GTK needs the X display that ctest provides; without one every test fails here.
class GtkDisplay : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no X display"; }
};
const auto* const display = ::testing::AddGlobalTestEnvironment(new GtkDisplay);

GtkWidget* descendant(GtkWidget* w, GType type) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(w, type)) return w;
    if (!GTK_IS_CONTAINER(w)) return nullptr;
    GtkWidget* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(w));
    for (GList* c = children; c && !found; c = c->next) found = descendant(GTK_WIDGET(c->data), type);
    g_list_free(children);
    return found;
}

std::string labelOf(GtkWidget* w) {
    GtkWidget* label = descendant(w, GTK_TYPE_LABEL);
    return label ? gtk_label_get_text(GTK_LABEL(label)) : "";
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

struct Menu {
    GtkMenu* menu = GTK_MENU(g_object_ref_sink(gtk_menu_new()));
    ~Menu() {
        gtk_widget_destroy(GTK_WIDGET(menu));
        g_object_unref(menu);
    }
};

TEST(MenuView, DrawsEveryEntryWithItsLabelMarkPictureAndKey) {
    StatusMenu::State state;
    state.scene = SceneKind::skyline;
    state.daily = true;
    state.lighting = 2;
    state.folders = 1;
    state.desktopDenied = state.finderDenied = true;
    state.update = "1.2";
    const auto picture = cg::Image::fromARGB32(32, 20, std::vector<uint32_t>(32 * 20, 0xFF3366CCu));
    state.thumb = [&](SceneKind k) { return k == SceneKind::sea ? picture : nullptr; };
    const auto entries = StatusMenu::build(state);

    Menu m;
    std::vector<std::string> chosen;
    auto choose = [&](const MenuEntry& e) { chosen.push_back(e.title + "/" + e.represented); };
    MenuView::fill(m.menu, entries, choose);
    MenuView::fill(m.menu, entries, choose);  // filling again replaces, never adds
    const auto widgets = items(m.menu);
    ASSERT_EQ(widgets.size(), 28u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const MenuEntry& e = entries[i];
        GtkWidget* w = widgets[i];
        SCOPED_TRACE(e.title);
        ASSERT_EQ(GTK_IS_SEPARATOR_MENU_ITEM(w), e.kind == MenuEntry::Kind::separator);
        if (e.kind == MenuEntry::Kind::separator) continue;
        EXPECT_EQ(labelOf(w), e.title);
        EXPECT_EQ(bool(gtk_widget_get_sensitive(w)), e.kind == MenuEntry::Kind::item);
        EXPECT_EQ(descendant(w, GTK_TYPE_IMAGE) != nullptr, e.image != nullptr);
        const bool radio = e.action == MenuAction::pickScene || e.action == MenuAction::pickLighting ||
                           e.action == MenuAction::pickFolders;
        ASSERT_EQ(GTK_IS_CHECK_MENU_ITEM(w), radio || e.action == MenuAction::toggleDaily);
        if (GTK_IS_CHECK_MENU_ITEM(w)) {
            EXPECT_EQ(bool(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(w))), e.on);
            EXPECT_EQ(bool(gtk_check_menu_item_get_draw_as_radio(GTK_CHECK_MENU_ITEM(w))), radio);
        }
        gchar* tip = gtk_widget_get_tooltip_text(w);
        EXPECT_EQ(tip ? std::string(tip) : std::string(), e.toolTip);
        g_free(tip);
        // Ctrl stands for the primary modifier of the key equivalents.
        guint n = 0;
        if (!e.key.empty())
            gtk_accel_group_query(gtk_menu_get_accel_group(m.menu), gdk_unicode_to_keyval(guint32(e.key[0])),
                                  GDK_CONTROL_MASK, &n);
        EXPECT_EQ(n, e.key.empty() ? 0u : 1u);
        GList* closures = gtk_widget_list_accel_closures(w);
        EXPECT_EQ(g_list_length(closures), n);
        g_list_free(closures);
    }

    // A choice reaches the handler once, after the event, with the scene it stands for.
    gtk_menu_item_activate(GTK_MENU_ITEM(titled(m.menu, "Pond")));
    EXPECT_TRUE(chosen.empty());
    settle(0.1);
    EXPECT_EQ(chosen, std::vector<std::string>{"Pond/pond"});
}

TEST(MenuController, WritesThroughApplyAndFollowsTheState) {
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

    struct Choice {
        const char* title;
        const char* key;
        PreferenceValue value;
    };
    const Choice choices[] = {
        {"City 2", "scene", std::string("skyline")},
        {"Change Scene Daily", "daily", false},  // the opposite of what is stored
        {"Night", "lighting", int64_t{2}},
        {"Match Scene", "folders", int64_t{1}},
        {"Original", "folders", int64_t{0}},
    };
    auto marked = [&](const char* title) {
        return bool(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(titled(m.menu, title))));
    };
    for (const Choice& c : choices) {
        writes.clear();
        const bool before = marked(c.title);
        gtk_menu_item_activate(GTK_MENU_ITEM(titled(m.menu, c.title)));
        settle(0.05);
        EXPECT_EQ(marked(c.title), before) << c.title;  // nothing was stored, so the marks stay as they were
        ASSERT_EQ(writes.size(), 1u) << c.title;
        EXPECT_EQ(writes[0].first, c.key);
        EXPECT_EQ(writes[0].second, c.value) << c.title;
    }

    // A preference written elsewhere moves the mark; an update found shows its item once asked to refresh.
    defaults.setLighting(1);
    update = "3.1";
    controller.refresh();
    settle(0.05);
    EXPECT_TRUE(marked("Day"));
    EXPECT_FALSE(marked("Match System"));
    EXPECT_NE(titled(m.menu, "Update Available (3.1)\u2026"), nullptr);
}

// The welcome menu opens from a timer, with no click behind it: it still opens at the mouse, and says
// nothing on stderr about it.
TEST(StatusItem, PopsUpWithoutAClickQuietly) {
    TempDir dir;
    StatusItem item(dir.path() + "/icons");
    GtkWidget* entry = gtk_menu_item_new_with_label("Settings\u2026");
    gtk_menu_shell_append(GTK_MENU_SHELL(item.menu()), entry);
    gtk_widget_show(entry);
    testing::internal::CaptureStderr();
    // GTK complains while it pops the menu up, so no turn of the main loop is needed (and none is taken:
    // under AddressSanitizer, libayatana-appindicator's own idle callback reads past a heap block).
    const bool open = item.popUp();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(open);
    EXPECT_EQ(said.find("trigger"), std::string::npos) << said;
    EXPECT_EQ(said.find("WARNING"), std::string::npos) << said;
    gtk_menu_popdown(item.menu());
}

}  // namespace
