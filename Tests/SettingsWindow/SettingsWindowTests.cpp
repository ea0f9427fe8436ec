// The settings window under Xvfb: its scene grid, that every control writes through `apply`, the login
// item, and that it is one window that closing only hides. One picture of it goes to $VM_TEST_OUT.

#include <gtest/gtest.h>

#include "Finder/TempDir.h"
#include "Settings/Window/SettingsWindow.h"

#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs the main loop for a moment: layout and drawing wait for the frame clock.
void pump() {
    const gint64 end = g_get_monotonic_time() + 150000;
    while (g_get_monotonic_time() < end)
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
}

GtkWidget* find(GtkWidget* root, const std::string& name) {
    if (name == gtk_widget_get_name(root)) return root;
    if (!GTK_IS_CONTAINER(root)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    GtkWidget* found = nullptr;
    for (GList* c = children; c && !found; c = c->next) found = find(GTK_WIDGET(c->data), name);
    g_list_free(children);
    return found;
}

// A solid picture of one colour per scene, once the set is "made".
struct FakeThumbnails : ThumbnailSource {
    mutable std::vector<std::pair<SceneKind, bool>> asked;
    bool made = false;
    cg::ImageRef thumb(SceneKind kind, bool night) const override {
        asked.emplace_back(kind, night);
        if (!made) return nullptr;
        const uint32_t red = 0xFFFF0000u + static_cast<uint32_t>(scene_kind::position(kind));
        return cg::Image::fromARGB32(160, 100, std::vector<uint32_t>(160 * 100, red));
    }
};

// The application's side: it stores what `apply` writes, and a scene choice turns the daily change off.
struct App {
    std::vector<std::pair<std::string, PreferenceValue>> writes;
    SceneKind scene = SceneKind::archipelago;
    Preferences prefs{.daily = true};
    std::shared_ptr<FakeThumbnails> thumbs = std::make_shared<FakeThumbnails>();
    TempDir dir;

    SettingsWindow::Host host() {
        return {.current = [this] { return scene; },
                .night = [] { return true; },
                .preferences = [this] { return prefs; },
                .apply =
                    [this](const std::string& key, const PreferenceValue& value) {
                        writes.emplace_back(key, value);
                        if (key == "scene") {
                            scene = *scene_kind::fromRawValue(std::get<std::string>(value));
                            prefs.daily = false;
                        } else if (key == "daily") {
                            prefs.daily = std::get<bool>(value);
                        } else {
                            (key == "lighting" ? prefs.lighting : prefs.folders) = std::get<int64_t>(value);
                        }
                    },
                .thumbnails = thumbs};
    }
    LoginItem login() {
        const fs::path program = dir.write("bin/vistamere", "#!/bin/sh\n");
        ::chmod(program.c_str(), 0755);
        return LoginItem(fs::path(dir.path()) / "autostart", "vistamere", program);
    }
};

class SettingsWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no X display"; }
    App app;
    SettingsWindow settings{app.host(), app.login()};
};

TEST_F(SettingsWindowTest, GridHoldsTenScenesWithABlankBeforePondAndAClickChoosesTheScene) {
    settings.open();
    pump();
    GtkWidget* grid = find(settings.window(), "sceneGrid");
    ASSERT_NE(grid, nullptr);
    std::map<std::string, std::pair<int, int>> cells;  // name → column, row
    GList* children = gtk_container_get_children(GTK_CONTAINER(grid));
    for (GList* c = children; c; c = c->next) {
        int column = 0, row = 0;
        gtk_container_child_get(GTK_CONTAINER(grid), GTK_WIDGET(c->data), "left-attach", &column, "top-attach", &row,
                                nullptr);
        cells[gtk_widget_get_name(GTK_WIDGET(c->data))] = {column, row};
    }
    g_list_free(children);
    ASSERT_EQ(cells.size(), 11u);
    EXPECT_EQ(cells["archipelago"], std::make_pair(0, 0));
    EXPECT_EQ(cells["sea"], std::make_pair(2, 2));
    EXPECT_EQ(cells["blank"], std::make_pair(0, 3));
    EXPECT_EQ(cells["pond"], std::make_pair(1, 3));

    gtk_button_clicked(GTK_BUTTON(find(grid, "pond")));
    pump();
    ASSERT_EQ(app.writes.size(), 1u);
    EXPECT_EQ(app.writes[0], std::make_pair(std::string("scene"), PreferenceValue(std::string("pond"))));
    // The application turned the daily change off; the toggle follows without writing again.
    EXPECT_FALSE(gtk_switch_get_active(GTK_SWITCH(find(settings.window(), "daily"))));
    EXPECT_EQ(app.writes.size(), 1u);
}

TEST_F(SettingsWindowTest, ControlsWriteThroughApplyAndFollowOutsideChanges) {
    settings.open();
    GtkWidget* window = settings.window();
    gtk_switch_set_active(GTK_SWITCH(find(window, "daily")), FALSE);
    gtk_combo_box_set_active_id(GTK_COMBO_BOX(find(window, "lighting")), "2");
    gtk_combo_box_set_active_id(GTK_COMBO_BOX(find(window, "folders")), "1");
    gtk_combo_box_set_active_id(GTK_COMBO_BOX(find(window, "folders")), "1");  // already chosen: no write
    const std::vector<std::pair<std::string, PreferenceValue>> expected = {
        {"daily", false}, {"lighting", int64_t{2}}, {"folders", int64_t{1}}};
    EXPECT_EQ(app.writes, expected);

    app.prefs.lighting = 1;  // as if chosen in the status menu
    app.scene = SceneKind::reef;
    settings.preferencesChanged();
    EXPECT_STREQ(gtk_combo_box_get_active_id(GTK_COMBO_BOX(find(window, "lighting"))), "1");
    EXPECT_EQ(app.writes.size(), expected.size());
}

TEST_F(SettingsWindowTest, LaunchAtLoginWritesAndRemovesTheAutostartEntry) {
    settings.open();
    GtkWidget* toggle = find(settings.window(), "launchAtLogin");
    ASSERT_FALSE(gtk_switch_get_active(GTK_SWITCH(toggle)));
    const fs::path entry = fs::path(app.dir.path()) / "autostart" / "vistamere.desktop";
    gtk_switch_set_active(GTK_SWITCH(toggle), TRUE);
    EXPECT_TRUE(fs::exists(entry));
    EXPECT_TRUE(gtk_switch_get_active(GTK_SWITCH(toggle)));
    gtk_switch_set_active(GTK_SWITCH(toggle), FALSE);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(app.writes.empty());
}

TEST_F(SettingsWindowTest, OneWindowThatClosingHidesAndReopeningShowsWhereItWas) {
    settings.open();
    pump();
    GtkWidget* window = settings.window();
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Vistamere Settings");
    EXPECT_EQ(gtk_widget_get_allocated_width(window), 460);
    gtk_window_move(GTK_WINDOW(window), 30, 40);
    pump();
    gtk_window_close(GTK_WINDOW(window));
    pump();
    EXPECT_FALSE(gtk_widget_get_visible(window));
    settings.open();
    pump();
    EXPECT_EQ(settings.window(), window);
    EXPECT_TRUE(gtk_widget_get_visible(window));
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(window), &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(30, 40));
}

TEST_F(SettingsWindowTest, ThumbnailsReadyRedrawsTheGridWithTheNewPictures) {
    settings.open();
    pump();
    EXPECT_EQ(app.thumbs->asked.size(), 10u);
    app.thumbs->made = true;
    settings.thumbnailsReady();
    pump();
    ASSERT_EQ(app.thumbs->asked.size(), 20u);
    EXPECT_EQ(app.thumbs->asked.back(), std::make_pair(SceneKind::pond, true));

    // A picture of the window: the thumbnails' red must show in it.
    GtkWidget* window = settings.window();
    const int w = gtk_widget_get_allocated_width(window), h = gtk_widget_get_allocated_height(window);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    gtk_widget_draw(window, cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    int red = 0;
    const auto* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t p = *reinterpret_cast<const uint32_t*>(data + y * stride + 4 * x);
            if (((p >> 16) & 0xFF) > 0xF0 && ((p >> 8) & 0xFF) == 0 && (p & 0xFF) < 0x10) ++red;
        }
    EXPECT_GT(red, 10 * 60 * 40);  // ten pictures of at least 60 × 40 pixels
    if (const char* out = std::getenv("VM_TEST_OUT")) {
        fs::create_directories(out);
        EXPECT_EQ(cairo_surface_write_to_png(surface, (fs::path(out) / "settings-window.png").c_str()),
                  CAIRO_STATUS_SUCCESS);
    }
    cairo_surface_destroy(surface);
}

}  // namespace

// Opened from the panel's menu, with no event of ours behind it: the window still says it was asked for
// now, so a window manager that prevents focus stealing gives it the focus instead of a notification.
TEST_F(SettingsWindowTest, OpensStampedWithTheServersTimeNow) {
    GtkWidget* probe = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_realize(probe);
    const guint32 before = gdk_x11_get_server_time(gtk_widget_get_window(probe));
    gtk_widget_destroy(probe);
    for (int round = 0; round < 2; ++round) {  // the first opening, and one after closing
        settings.open();
        pump();
        GdkWindow* w = gtk_widget_get_window(settings.window());
        ASSERT_NE(w, nullptr);
        Display* x = GDK_WINDOW_XDISPLAY(w);
        Atom type = None;
        int format = 0;
        unsigned long n = 0, left = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(x, GDK_WINDOW_XID(w), XInternAtom(x, "_NET_WM_USER_TIME", False), 0, 1, False,
                           XA_CARDINAL, &type, &format, &n, &left, &data);
        ASSERT_TRUE(data && n == 1) << "no _NET_WM_USER_TIME, round " << round;
        const unsigned long stamped = *reinterpret_cast<unsigned long*>(data);
        XFree(data);
        EXPECT_GE(stamped, before) << "round " << round;
        gtk_window_close(GTK_WINDOW(settings.window()));
        pump();
    }
}
