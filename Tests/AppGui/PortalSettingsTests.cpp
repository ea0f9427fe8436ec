// The appearance and motion settings taken from a desktop portal played by the test on the private session
// bus that ctest starts, over GTK's own settings as the fallback.

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "App/AppTestSupport.h"
#include "App/Gui/GtkSystemSettings.h"
#include "App/Gui/PortalSettings.h"
#include "Desktop/FakeBusService.h"

namespace {

class GtkDisplay : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no X display"; }
};
const auto* const display = ::testing::AddGlobalTestEnvironment(new GtkDisplay);

std::string portalXml(bool readOne) {
    auto method = [](const char* name) {
        return std::string("<method name=\"") + name +
               "\"><arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
               "<arg type=\"v\" direction=\"out\"/></method>";
    };
    return "<node><interface name=\"org.freedesktop.portal.Settings\">" + method("Read") +
           (readOne ? method("ReadOne") : "") + "</interface></node>";
}

// A portal that knows the appearance keys in `values`; a version-1 portal has no ReadOne and wraps its answers twice.
std::unique_ptr<desktoptest::FakeBusService> portal(std::map<std::string, uint32_t> values, bool readOne = true) {
    auto service = std::make_unique<desktoptest::FakeBusService>(
        PortalSettings::service, PortalSettings::path, portalXml(readOne),
        [values](const std::string& method, GVariant* parameters) -> GVariant* {
            const gchar *space = nullptr, *key = nullptr;
            g_variant_get(parameters, "(&s&s)", &space, &key);
            auto found = values.find(key);
            if (std::string(space) != PortalSettings::appearance || found == values.end()) return nullptr;
            GVariant* value = g_variant_new_uint32(found->second);
            if (method == "Read") value = g_variant_new_variant(value);
            return g_variant_new("(v)", value);
        });
    EXPECT_TRUE(service->ok());
    return service;
}

void preferDarkTheme(bool dark) {
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", gboolean(dark), nullptr);
}

struct Watched {
    int appearance = 0, motion = 0;
    std::unique_ptr<GtkSystemSettings> settings =
        std::make_unique<GtkSystemSettings>([this] { ++appearance; }, [this] { ++motion; });
};

TEST(PortalSettings, TheColourSchemeAtStartOverridesTheSessionWhereThePortalHasAPreference) {
    struct Case {
        const char* name;
        bool present, readOne;
        std::map<std::string, uint32_t> values;
        bool themeDark;  // the fallback
        bool dark;
        int reports;  // only a late answer that changes the appearance is passed on
    } cases[] = {
        {"no portal on the bus", false, true, {}, true, true, 0},
        {"a dark preference", true, true, {{"color-scheme", 1}}, false, true, 1},
        {"a light preference over a dark theme", true, true, {{"color-scheme", 2}}, true, false, 1},
        {"no preference leaves it to the theme", true, true, {{"color-scheme", 0}}, true, true, 0},
        {"the key unknown", true, true, {{"reduced-motion", 0}}, true, true, 0},
        {"a version 1 portal", true, false, {{"color-scheme", 1}}, false, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        preferDarkTheme(c.themeDark);
        auto service = c.present ? portal(c.values, c.readOne) : nullptr;
        const auto start = std::chrono::steady_clock::now();
        Watched w;
        const SystemSettings& settings = *w.settings;
        // The bus is never waited on.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
        EXPECT_EQ(settings.darkAppearance(), c.themeDark);
        runUntil([&] { return w.appearance >= c.reports; });
        settle(0.3);  // time for an answer that should change nothing
        EXPECT_EQ(w.appearance, c.reports);
        EXPECT_EQ(settings.darkAppearance(), c.dark);
        EXPECT_EQ(w.motion, 0);
        w.settings.reset();
        preferDarkTheme(false);
    }
}

TEST(PortalSettings, ChangeSignalsReachTheCallbacksOnlyWhenTheyChangeAnAnswer) {
    auto service = portal({{"color-scheme", 0}, {"reduced-motion", 0}});
    Watched w;
    settle(0.3);
    ASSERT_EQ(w.appearance + w.motion, 0);
    struct Step {
        const char* space;
        const char* key;
        uint32_t value;
        int appearance, motion;
        bool dark, reduce;
    } steps[] = {
        {PortalSettings::appearance, "color-scheme", 1, 1, 0, true, false},
        {PortalSettings::appearance, "color-scheme", 1, 1, 0, true, false},  // the same again
        {PortalSettings::appearance, "reduced-motion", 1, 1, 1, true, true},
        {PortalSettings::appearance, "contrast", 1, 1, 1, true, true},
        {"org.gnome.desktop.interface", "color-scheme", 2, 1, 1, true, true},
        {PortalSettings::appearance, "color-scheme", 2, 2, 1, false, true},
        {PortalSettings::appearance, "reduced-motion", 0, 2, 2, false, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::string(s.space) + " " + s.key + " " + std::to_string(s.value));
        service->emit(PortalSettings::path, PortalSettings::interface, "SettingChanged",
                      g_variant_new("(ssv)", s.space, s.key, g_variant_new_uint32(s.value)));
        runUntil([&] { return w.appearance == s.appearance && w.motion == s.motion; });
        settle(0.1);
        EXPECT_EQ(w.appearance, s.appearance);
        EXPECT_EQ(w.motion, s.motion);
        EXPECT_EQ(w.settings->darkAppearance(), s.dark);
        EXPECT_EQ(w.settings->reduceMotion(), s.reduce);
    }
}

}  // namespace
