#include "App/Gui/GtkSystemSettings.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>

#include "App/AppTestSupport.h"

namespace {

// Either place the user may turn the theme dark or animations off counts, and every change is reported.
TEST(GtkSystemSettings, FollowsTheDesktopsSettingsAndGtksOwn) {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
    GSettings* gnome = g_settings_new("org.gnome.desktop.interface");
    GtkSettings* gtk = gtk_settings_get_default();
    g_object_set(gtk, "gtk-theme-name", "Adwaita", nullptr);
    int appearance = 0, motion = 0;
    GtkSystemSettings settings([&] { ++appearance; }, [&] { ++motion; });

    struct Step {
        const char* what;
        std::function<void()> act;
        bool dark, reduce;
        int appearance, motion;  // the changes reported so far
    };
    const Step steps[] = {
        {"as installed", [] {}, false, false, 0, 0},
        {"GNOME prefers dark", [&] { g_settings_set_string(gnome, "color-scheme", "prefer-dark"); }, true, false, 1, 0},
        {"GNOME back to default", [&] { g_settings_set_string(gnome, "color-scheme", "default"); }, false, false, 2, 0},
        {"a dark GTK theme", [&] { g_object_set(gtk, "gtk-theme-name", "Adwaita-dark", nullptr); }, true, false, 3, 0},
        {"a light GTK theme", [&] { g_object_set(gtk, "gtk-theme-name", "Adwaita", nullptr); }, false, false, 4, 0},
        {"GTK prefers dark", [&] { g_object_set(gtk, "gtk-application-prefer-dark-theme", TRUE, nullptr); }, true, false, 5, 0},
        {"GNOME animations off", [&] { g_settings_set_boolean(gnome, "enable-animations", FALSE); }, true, true, 5, 1},
        {"GNOME animations on", [&] { g_settings_set_boolean(gnome, "enable-animations", TRUE); }, true, false, 5, 2},
        {"GTK animations off", [&] { g_object_set(gtk, "gtk-enable-animations", FALSE, nullptr); }, true, true, 5, 3},
    };
    for (const Step& step : steps) {
        step.act();
        runUntil([&] { return appearance == step.appearance && motion == step.motion; }, 2);
        settle(0.05);
        EXPECT_EQ(settings.darkAppearance(), step.dark) << step.what;
        EXPECT_EQ(settings.reduceMotion(), step.reduce) << step.what;
        EXPECT_EQ(appearance, step.appearance) << step.what;
        EXPECT_EQ(motion, step.motion) << step.what;
    }
    g_object_unref(gnome);
}

}  // namespace
