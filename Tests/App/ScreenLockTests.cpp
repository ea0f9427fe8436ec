#include "App/ScreenLock.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "App/AppTestSupport.h"

namespace {

GDBusConnection* connect(const char* address) {
    return g_dbus_connection_new_for_address_sync(
        address, GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

// On a private bus of its own: the screen savers' signals as a desktop sends them.
TEST(ScreenLock, LockedWhileAnyScreenSaverIsActive) {
    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus);
    GDBusConnection* ours = connect(g_test_dbus_get_bus_address(bus));
    GDBusConnection* desktop = connect(g_test_dbus_get_bus_address(bus));
    ASSERT_TRUE(ours && desktop);
    {
        std::vector<bool> reported;
        ScreenLock lock([&](bool locked) { reported.push_back(locked); }, ours);
        // The bus has our match rules once a call made after them has an answer.
        GVariant* id = g_dbus_connection_call_sync(ours, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                   "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                                   G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        ASSERT_TRUE(id);
        g_variant_unref(id);
        struct Signal {
            const char* saver;
            const char* path;
            GVariant* parameters;
            bool locked;
        };
        const Signal signals[] = {
            {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", g_variant_new("(b)", TRUE), true},
            {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", g_variant_new("(b)", TRUE), true},
            {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", g_variant_new("(b)", FALSE), true},
            {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", g_variant_new("(s)", "off"), true},  // malformed: ignored
            {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", g_variant_new("(b)", FALSE), false},
            {"org.mate.ScreenSaver", "/org/mate/ScreenSaver", g_variant_new("(b)", TRUE), true},
        };
        for (const Signal& s : signals) {
            g_dbus_connection_emit_signal(desktop, nullptr, s.path, s.saver, "ActiveChanged", s.parameters, nullptr);
            g_dbus_connection_flush_sync(desktop, nullptr, nullptr);
            runUntil([&] { return lock.locked() == s.locked; }, 2);
            settle(0.05);
            EXPECT_EQ(lock.locked(), s.locked) << s.saver;
        }
        EXPECT_EQ(reported, (std::vector<bool>{true, false, true})) << "only changes are reported";
    }
    g_object_unref(ours);
    g_object_unref(desktop);
    g_test_dbus_down(bus);
    g_object_unref(bus);
}

}  // namespace
