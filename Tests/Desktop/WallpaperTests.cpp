// Still-picture mode's wallpaper: the user's setting is saved before ours is set and comes back on
// restore, also after a run that never restored it. GSettings' memory back end, no display.

#include "DesktopTestSupport.h"

#include "Platform/Desktop/StillWallpaper.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <tuple>

using desktoptest::key;
using desktoptest::setKey;

namespace {

std::string dir(const char* name) {
    const char* out = std::getenv("XDG_STATE_HOME");
    const std::string d = std::string(out ? out : "/tmp") + "/wallpaper-tests/" + name;
    std::filesystem::remove_all(d);
    return d;
}

cg::ImageRef still() { return cg::Image::fromARGB32(4, 2, std::vector<uint32_t>(8, 0xFF204080u)); }

}  // namespace

TEST(Wallpaper, SetsBothGnomeKeysAndPutsTheUsersBack) {
    ASSERT_STREQ(g_getenv("GSETTINGS_BACKEND"), "memory");
    setKey("picture-uri", "file:///home/u/light.jpg");
    setKey("picture-uri-dark", "file:///home/u/dark.jpg");
    const std::string state = dir("set"), pictures = state + "/pictures";
    auto w = StillWallpaper::make(StillWallpaper::gnome(), state, pictures);
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->active());
    ASSERT_TRUE(w->show(still(), "desktop-still"));
    const std::string uri = key("picture-uri");
    EXPECT_EQ(uri.rfind("file://" + pictures + "/desktop-still", 0), 0u) << uri;
    EXPECT_EQ(key("picture-uri-dark"), uri);
    gchar* file = g_filename_from_uri(uri.c_str(), nullptr, nullptr);
    ASSERT_TRUE(file);
    EXPECT_TRUE(cg::Image::readPNG(file));
    g_free(file);
    // A second still replaces ours; the user's values stay saved.
    ASSERT_TRUE(w->show(still(), "desktop-still"));
    EXPECT_NE(key("picture-uri"), uri);
    w->restore();
    EXPECT_EQ(key("picture-uri"), "file:///home/u/light.jpg");
    EXPECT_EQ(key("picture-uri-dark"), "file:///home/u/dark.jpg");
    EXPECT_FALSE(w->active());
    EXPECT_FALSE(std::filesystem::exists(state + "/wallpaper-org.gnome.desktop.background.ini"));
}

TEST(Wallpaper, ASettingLeftSavedByAnEarlierRunComesBack) {
    const std::string state = dir("crash");
    std::filesystem::create_directories(state);
    std::ofstream(state + "/wallpaper-org.gnome.desktop.background.ini")
        << "[saved]\npicture-uri=file:///home/u/mine.png\npicture-uri-dark=file:///home/u/mine-dark.png\n";
    setKey("picture-uri", "file:///cache/vistamere/desktop-still-1.png");
    auto w = StillWallpaper::make(StillWallpaper::gnome(), state, state + "/pictures");
    ASSERT_TRUE(w);
    EXPECT_EQ(key("picture-uri"), "file:///home/u/mine.png");
    EXPECT_EQ(key("picture-uri-dark"), "file:///home/u/mine-dark.png");
    EXPECT_FALSE(std::filesystem::exists(state + "/wallpaper-org.gnome.desktop.background.ini"));
}

TEST(Wallpaper, SeveralMonitorsShareOneSpanningPicture) {
    setKey("picture-uri", "file:///home/u/own.png");
    setKey("picture-options", "none");
    const std::string state = dir("span");
    auto w = StillWallpaper::make(StillWallpaper::gnome(), state, state + "/pictures");
    ASSERT_TRUE(w);
    const auto red = cg::Image::fromARGB32(2, 2, std::vector<uint32_t>(4, 0xFFFF0000u));
    ASSERT_TRUE(w->show({{"left", still(), 0, 0}, {"right", red, 4, 1}}));
    EXPECT_EQ(key("picture-options"), "spanned");
    gchar* file = g_filename_from_uri(key("picture-uri").c_str(), nullptr, nullptr);
    const auto shown = cg::Image::readPNG(file ? file : "");
    g_free(file);
    ASSERT_TRUE(shown);
    ASSERT_EQ(std::vector<int>({shown->pixelWidth(), shown->pixelHeight()}), std::vector<int>({6, 3}));
    for (const auto& [x, y, expected] : {std::tuple{0, 0, 0xFF204080u}, {3, 1, 0xFF204080u}, {4, 0, 0xFF000000u},
                                         {5, 2, 0xFFFF0000u}, {1, 2, 0xFF000000u}})
        EXPECT_EQ(shown->pixel(x, y), expected) << x << "," << y;
    w->restore();
    EXPECT_EQ(key("picture-options"), "none");
    EXPECT_EQ(key("picture-uri"), "file:///home/u/own.png");
}

TEST(Wallpaper, LeftoversComeBackWhateverTheSessionIsNow) {
    const std::string state = dir("leftovers");
    std::filesystem::create_directories(state);
    std::ofstream(state + "/wallpaper-org.gnome.desktop.background.ini")
        << "[saved]\npicture-uri=file:///home/u/back.png\npicture-uri-dark=file:///home/u/back-dark.png\n";
    std::ofstream(state + "/wallpaper-pcmanfm.ini") << "[saved]\nmode=crop\n";  // waits for PCManFM itself
    setKey("picture-uri", "file:///cache/vistamere/desktop-still-0.png");
    Wallpaper::restoreLeftovers(state, state + "/pictures");
    EXPECT_EQ(key("picture-uri"), "file:///home/u/back.png");
    EXPECT_EQ(key("picture-uri-dark"), "file:///home/u/back-dark.png");
    EXPECT_FALSE(std::filesystem::exists(state + "/wallpaper-org.gnome.desktop.background.ini"));
    EXPECT_TRUE(std::filesystem::exists(state + "/wallpaper-pcmanfm.ini"));
}

TEST(Wallpaper, MissingSchemaOrPictureChangesNothing) {
    EXPECT_FALSE(StillWallpaper::make({"org.example.nowhere", {"picture-uri"}, true, ""}, dir("none"), "/tmp"));
    setKey("picture-uri", "file:///home/u/keep.png");
    // No picture, or nowhere to write it.
    auto w = StillWallpaper::make(StillWallpaper::gnome(), dir("null"), "/proc/vistamere");
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->show(nullptr, "desktop-still"));
    EXPECT_FALSE(w->show(still(), "desktop-still"));
    EXPECT_FALSE(w->active());
    EXPECT_EQ(key("picture-uri"), "file:///home/u/keep.png");
}
