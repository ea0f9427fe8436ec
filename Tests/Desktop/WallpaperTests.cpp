// Still-picture mode's wallpaper: the user's setting is saved before ours is set and comes back on
// restore, also after a run that never restored it. GSettings' memory back end, no display.

#include "DesktopTestSupport.h"

#include "Platform/Desktop/StillWallpaper.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
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

TEST(Wallpaper, AStateDirectoryThatCannotBeLookedIntoHoldsNoLeftovers) {
    const std::string state = dir("loop");
    std::filesystem::create_directories(state);
    std::filesystem::create_symlink(state + "/loop", state + "/loop");
    setKey("picture-uri", "file:///home/u/stays.png");
    // A symlink loop as the state directory: every look inside fails with ELOOP.
    EXPECT_NO_THROW(Wallpaper::restoreLeftovers(state + "/loop", state + "/pictures"));
    EXPECT_NO_THROW(Wallpaper::restoreLeftovers(state + "/loop/deeper", state + "/pictures"));
    EXPECT_EQ(key("picture-uri"), "file:///home/u/stays.png");
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

namespace {

// Lets GSettings deliver its change signals.
bool pumpUntil(const std::function<bool()>& done, double seconds = 5) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < end) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(1000);
    }
    return done();
}

}  // namespace

TEST(Wallpaper, APictureTheUserSetsWhileTheStillIsShownStaysAndIsKeptOnQuit) {
    setKey("picture-uri", "file:///home/u/old.png");
    setKey("picture-uri-dark", "file:///home/u/old-dark.png");
    setKey("picture-options", "scaled");
    const std::string state = dir("user-pick");
    auto w = StillWallpaper::make(StillWallpaper::gnome(), state, state + "/pictures");
    ASSERT_TRUE(w);
    // Our own changes, with their signals delivered, are never taken for the user's.
    ASSERT_TRUE(w->show(still(), "desktop-still"));
    pumpUntil([] { return false; }, 0.2);
    ASSERT_TRUE(w->show(still(), "desktop-still"));
    pumpUntil([] { return false; }, 0.2);
    ASSERT_FALSE(w->yielded());
    ASSERT_TRUE(w->active());

    testing::internal::CaptureStderr();
    setKey("picture-uri", "file:///home/u/new.png");  // through settings of its own, as a settings panel does
    const bool seen = pumpUntil([&] { return w->yielded(); });
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(seen);
    EXPECT_NE(err.find("file:///home/u/new.png"), std::string::npos) << err;
    EXPECT_NE(err.find("no longer"), std::string::npos) << err;
    EXPECT_FALSE(w->active());
    EXPECT_EQ(key("picture-uri"), "file:///home/u/new.png");
    // What still held our still gets the user's earlier values back.
    EXPECT_EQ(key("picture-uri-dark"), "file:///home/u/old-dark.png");
    EXPECT_EQ(key("picture-options"), "scaled");
    // A crash from here on must not bring the old picture back on the next start.
    EXPECT_FALSE(std::filesystem::exists(state + "/wallpaper-org.gnome.desktop.background.ini"));
    // The next scene's still does not go over it, and quitting keeps it.
    EXPECT_FALSE(w->show(still(), "desktop-still"));
    EXPECT_EQ(key("picture-uri"), "file:///home/u/new.png");
    w.reset();
    EXPECT_EQ(key("picture-uri"), "file:///home/u/new.png");
    EXPECT_EQ(key("picture-uri-dark"), "file:///home/u/old-dark.png");
}
