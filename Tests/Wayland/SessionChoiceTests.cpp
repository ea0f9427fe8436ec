#include "Platform/Desktop/SessionChoice.h"
#include "Platform/Desktop/WaylandLayer.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <string>
#include <vector>

using session::Backend;
using session::Desktop;

namespace {

struct Case {
    const char* name;
    session::Facts facts;
    Backend backend;
    Desktop desktop;
};

session::Facts facts(bool wayland, bool layerShell, bool x11, bool desktopWindows, bool setter) {
    session::Facts f;
    f.wayland = wayland;
    f.layerShell = layerShell;
    f.x11 = x11;
    f.desktopWindows = desktopWindows;
    f.setterKnown = setter;
    return f;
}

}  // namespace

TEST(SessionChoice, PicksTheBackendAndTheWayTheDesktopShows) {
    const std::vector<Case> cases = {
        // sway, Hyprland, KWin: the background layer, whatever Xwayland offers.
        {"layer shell with Xwayland", facts(true, true, true, false, false), Backend::wayland, Desktop::layerShell},
        {"layer shell without Xwayland", facts(true, true, false, false, false), Backend::wayland, Desktop::layerShell},
        // GNOME: no layer shell, but its X11 window manager keeps DESKTOP windows down.
        {"GNOME through Xwayland", facts(true, false, true, true, true), Backend::x11, Desktop::x11Desktop},
        // weston: an X11 window manager that knows no DESKTOP windows would show ours over everything.
        {"weston, no setter", facts(true, false, true, false, false), Backend::x11, Desktop::none},
        {"weston-like, a setter", facts(true, false, true, false, true), Backend::x11, Desktop::stillPicture},
        {"Wayland without Xwayland", facts(true, false, false, false, false), Backend::wayland, Desktop::none},
        {"Wayland without Xwayland, a setter", facts(true, false, false, false, true), Backend::wayland,
         Desktop::stillPicture},
        // A plain X server: the shell keeps its windows low itself, window manager or not.
        {"X11 with a desktop-aware manager", facts(false, false, true, true, false), Backend::x11, Desktop::x11Desktop},
        {"X11 with a bare manager", facts(false, false, true, false, false), Backend::x11, Desktop::x11Desktop},
        // A layer shell reported without a compositor to use it (a stale probe) changes nothing.
        {"no compositor", facts(false, true, true, true, false), Backend::x11, Desktop::x11Desktop},
        {"no display at all", facts(false, false, false, false, true), Backend::none, Desktop::none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(session::backend(c.facts), c.backend);
        EXPECT_EQ(session::desktop(c.facts), c.desktop);
        // A reason is given exactly when there is no live scene.
        const bool live = c.desktop == Desktop::layerShell || c.desktop == Desktop::x11Desktop;
        EXPECT_EQ(session::whyNoScene(c.facts).empty(), live) << session::whyNoScene(c.facts);
    }
}

TEST(SessionChoice, TheReasonSaysWhatIsMissingAndWhatIsShownInstead) {
    const std::string weston = session::whyNoScene(facts(true, false, true, false, false));
    EXPECT_NE(weston.find("zwlr_layer_shell_v1"), std::string::npos) << weston;
    EXPECT_NE(weston.find("X11 window manager"), std::string::npos) << weston;
    EXPECT_NE(weston.find("no scenery is shown"), std::string::npos) << weston;
    const std::string still = session::whyNoScene(facts(true, false, false, false, true));
    EXPECT_NE(still.find("no X11 display"), std::string::npos) << still;
    EXPECT_NE(still.find("still wallpaper"), std::string::npos) << still;
}

TEST(SessionChoice, ASecondStartOpensTheSettingsOnlyWhereNoMenuCanOpen) {
    // Host present, menu at the pointer possible (X11), and whether the settings open instead.
    const std::vector<std::tuple<bool, bool, bool>> cases = {
        {true, true, false},   // a panel with a status area on X11
        {true, false, false},  // sway with a bar that hosts status items
        {false, true, false},  // weston or bare X11: the menu still pops up at the mouse through X11
        {false, false, true},  // Wayland without a host: only the settings are left
    };
    for (const auto& [host, menu, settings] : cases) {
        session::Facts f = facts(true, true, true, true, false);
        f.statusHost = host;
        f.menuAtPointer = menu;
        EXPECT_EQ(session::secondStartOpensSettings(f), settings) << "host " << host << ", menu " << menu;
    }
}

TEST(SessionChoice, KnowsTheDesktopsWhoseWallpaperItCanSet) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"GNOME", true},          {"ubuntu:GNOME", true},     {"GNOME-Flashback:GNOME", true},
        {"X-Cinnamon", true},     {"MATE", true},             {"XFCE", true},
        {"KDE", true},            {"", false},                {"sway", false},
        {"weston", false},        {"GNOME-Classic", false},   {"Hyprland:wlroots", false},
        {":", false},             {"gnome", false},
    };
    for (const auto& [desktop, known] : cases) EXPECT_EQ(session::wallpaperDesktop(desktop), known) << desktop;
}

TEST(ClickFilter, TellsClicksFromDragsAndModifiedPresses) {
    using P = wayland::ClickFilter::Point;
    struct Step {
        const char* name;
        P down;
        bool downModified;
        P up;
        bool upModified;
        std::optional<P> click;
    };
    const double d = wayland::ClickFilter::dragDistance;
    const std::vector<Step> steps = {
        {"in place", {100, 200}, false, {100, 200}, false, P{100, 200}},
        {"a small wobble", {100, 200}, false, {100 + d, 200 - d}, false, P{100, 200}},
        {"a drag across", {100, 200}, false, {100 + d + 1, 200}, false, std::nullopt},
        {"a drag down", {100, 200}, false, {100, 200 + d + 0.5}, false, std::nullopt},
        {"shift held at the press", {10, 10}, true, {10, 10}, false, std::nullopt},
        {"a key pressed before the release", {10, 10}, false, {10, 10}, true, std::nullopt},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        wayland::ClickFilter filter;
        filter.press(s.down, s.downModified);
        const auto click = filter.release(s.up, s.upModified);
        ASSERT_EQ(click.has_value(), s.click.has_value());
        if (click) {
            EXPECT_EQ(click->x, s.click->x);
            EXPECT_EQ(click->y, s.click->y);
        }
        // The press is used up: a second release alone is no click.
        EXPECT_FALSE(filter.release(s.up, false));
    }
}

TEST(ClickFilter, AReleaseWithoutItsPressIsNoClick) {
    wayland::ClickFilter filter;
    EXPECT_FALSE(filter.release({5, 5}, false));
    // The press that follows starts a click of its own.
    filter.press({7, 8}, false);
    const auto click = filter.release({7, 8}, false);
    ASSERT_TRUE(click);
    EXPECT_EQ(click->x, 7);
    EXPECT_EQ(click->y, 8);
}
