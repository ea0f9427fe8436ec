#include "Finder/SettingsLookup.h"

#include <gtest/gtest.h>
#include <optional>

TEST(SettingsLookup, NumbersMustBeWholeAndFinite) {
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"12", 12},       {" 12 ", 12},        {"-3.5", -3.5},         {"1e3", 1000},
        {"", {}},         {" ", {}},           {"12px", {}},           {"3,5", {}},
        {"nan", {}},      {"inf", {}},         {"1e999", {}},          {"x", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SettingsLookup::number(c.text), c.value) << c.text;
    EXPECT_EQ(SettingsLookup::integer("4"), 4);
    EXPECT_EQ(SettingsLookup::integer("4.5"), std::nullopt);
}

TEST(SettingsLookup, FontSizesBecomePixels) {
    struct Case {
        PrefValue font;
        std::optional<double> pixels;
    };
    const Case cases[] = {
        {std::string("Cantarell 11"), 11.0 * 96 / 72}, {std::string("DejaVu Sans Bold 9"), 9.0 * 96 / 72},
        {std::string("Sans 14px"), 14},                  {std::string("12"), 12.0 * 96 / 72},
        {std::string("Sans"), {}},                       {std::string("Sans 0"), {}},
        {std::string(""), {}},                           {std::monostate{}, {}},
        {10.0, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(SettingsLookup::fontPixels(c.font), c.pixels);
}

TEST(SettingsLookup, AMissingSchemaOrKeyIsNoValueNotAnAbort) {
    EXPECT_EQ(SettingsLookup::gsettings("org.example.nothing", "icon-size"), PrefValue{});
    EXPECT_EQ(SettingsLookup::gsettings("org.gnome.desktop.interface", "no-such-key"), PrefValue{});
    // Installed with the desktop schemas; the memory back end gives the schema's default.
    EXPECT_EQ(SettingsLookup::gsettings("org.gnome.desktop.interface", "scaling-factor"), PrefValue{0.0});
    EXPECT_EQ(SettingsLookup::gsettings("org.gnome.desktop.background", "show-desktop-icons"), PrefValue{false});
}
