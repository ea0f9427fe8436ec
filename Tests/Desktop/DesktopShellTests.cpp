// The desktop shell on an Xvfb screen of 2560 × 1440: the window's hints, what it shows, its frame
// pacing, and its stacking under icon managers (with openbox as the window manager).

#include "DesktopTestSupport.h"
#include "OpenboxSupport.h"

#include "Platform/Desktop/DesktopShell.h"
#include "Platform/Desktop/MainLoop.h"
#include "Platform/Desktop/X11Session.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <gtest/gtest.h>

using desktoptest::Child;
using desktoptest::indexOf;
using desktoptest::scene;
using desktoptest::windowManagerReady;
using desktoptest::slidingSquares;

namespace {

bool contains(const std::vector<std::string>& v, const char* s) { return std::find(v.begin(), v.end(), s) != v.end(); }

}  // namespace

TEST(Surface, ShowsTheSceneInADesktopWindowPacedByItsAnimations) {
    ASSERT_TRUE(mainloop::init());
    DesktopShell shell({slidingSquares(15), {}, {}, {}, {}});
    ASSERT_EQ(shell.screens(), 1u);
    EXPECT_EQ(shell.mode(), DesktopShell::Mode::ownDesktop);
    DesktopSurface& surface = *shell.surface(0);
    EXPECT_FALSE(surface.mapped());  // nothing to show yet
    shell.show(0, scene(2560, 1440, 12), 0.3);
    // On screen once the first frame is drawn (the server has mapped the window by then).
    ASSERT_TRUE(mainloop::runUntil([&] { return surface.compositor().stats().frames > 0; }, 5));

    auto x = X11Session::open();
    ASSERT_TRUE(x);
    const auto w = surface.xwindow();
    EXPECT_TRUE(contains(x->windowTypes(w), "_NET_WM_WINDOW_TYPE_DESKTOP"));
    const auto states = x->windowStates(w);
    for (const char* s : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                          "_NET_WM_STATE_BELOW"})
        EXPECT_TRUE(contains(states, s)) << s;
    // Without a window manager nothing else keeps it at the bottom: the shell does.
    EXPECT_TRUE(x->isLowest(w));

    // Fade-in and cross-fade over, the squares slide at their preferred 15 frames per second.
    mainloop::runFor(1.2);
    const auto before = surface.compositor().stats();
    mainloop::runFor(2);
    const auto moving = surface.compositor().stats();
    // 30 frames are due; a loaded machine (tests run eight at a time) may drop some, never most.
    EXPECT_GE(moving.frames - before.frames, 12u);
    EXPECT_LE(moving.updates - before.updates, 32u);
    // Xvfb is local and has MIT-SHM: after the fade every frame goes straight to the window.
    EXPECT_EQ(moving.direct - before.direct, moving.frames - before.frames);
    // Only what moved was recomposited: 12 squares' tracks, far below the screen's 3.7 M pixels.
    EXPECT_LT(double(moving.pixels - before.pixels) / double(moving.frames - before.frames), 2e5);

    // Paused: no timer, no wakeup, no frame.
    shell.setAnimating(false);
    mainloop::runFor(0.2);
    EXPECT_FALSE(surface.timerArmed());
    const auto paused = surface.compositor().stats();
    const auto wakeups = surface.wakeups();
    mainloop::runFor(1.5);
    EXPECT_EQ(surface.compositor().stats().updates, paused.updates);
    EXPECT_EQ(surface.wakeups(), wakeups);

    // What the server shows is the compositor's own frame, pixel for pixel.
    const cg::ImageRef frame = surface.compositor().frame();
    const cg::ImageRef shown = x->capture(w, 0, 0, 2560, 1440);
    ASSERT_TRUE(frame && shown);
    ASSERT_EQ(frame->pixelWidth(), shown->pixelWidth());
    size_t differ = 0;
    for (int y = 0; y < 1440; ++y)
        for (int xx = 0; xx < 2560; ++xx) differ += frame->pixel(xx, y) != shown->pixel(xx, y);
    EXPECT_EQ(differ, 0u);
    EXPECT_NE(frame->pixel(1280, 700), 0xFF000000u);  // the ground, not black

    // Resumed, it moves again.
    shell.setAnimating(true);
    mainloop::runFor(0.5);
    EXPECT_GT(surface.compositor().stats().frames, paused.frames + 3);
}

TEST(Surface, BadScenesAndMissingMonitorsNeverBreakTheShell) {
    ASSERT_TRUE(mainloop::init());
    int changes = 0;
    DesktopShell shell({{}, {}, {}, [&] { ++changes; }, {}});  // the real sprite layer dispatch
    RenderedScene r = scene(64, 64, 0);
    r.image = nullptr;  // no picture
    Sprite empty;
    empty.kind = Sprite::Kind::act;  // a walker without a path
    empty.size = 20;
    Sprite trip;
    trip.kind = Sprite::Kind::trip;
    trip.size = 30;
    r.sprites = {empty, trip};
    shell.show(0, r, 0.5);
    shell.show(7, r, 0.5);  // no such monitor
    shell.window(0)->ripple({10, 10}, true, true);
    EXPECT_TRUE(mainloop::runUntil([&] { return shell.surface(0)->mapped(); }, 5));
    mainloop::runFor(1);
    EXPECT_GT(shell.surface(0)->compositor().stats().frames, 0u);
    EXPECT_EQ(shell.window(7), nullptr);

    // The monitors change while layers are leaving and ripples run: the old windows go, their
    // timers fire into nothing, the new windows wait for a scene.
    shell.show(0, scene(64, 64, 3), 1);
    shell.window(0)->ripple({10, 10}, false, false);
    shell.monitorsChanged();
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(shell.screens(), 1u);
    EXPECT_FALSE(shell.window(0)->isVisible());
    mainloop::runFor(3.5);
    EXPECT_FALSE(shell.surface(0)->mapped());
    shell.show(0, scene(64, 64, 3), 0.2);
    EXPECT_TRUE(mainloop::runUntil([&] { return shell.surface(0)->compositor().stats().frames > 0; }, 5));
}

TEST(Shell, FollowsTheIconManagerUnderOpenbox) {
    ASSERT_TRUE(mainloop::init());
    Child openbox({"openbox", "--sm-disable"});
    ASSERT_GT(openbox.pid, 0);
    auto x = X11Session::open();
    ASSERT_TRUE(x);
    ASSERT_TRUE(windowManagerReady(*x));
    // A see-through icon manager shows what lies beneath only through a compositing manager.
    Child picom({"picom", "--backend", "xrender"});
    ASSERT_TRUE(mainloop::runUntil([&] { return x->hasCompositor(); }, 10)) << "picom did not start";

    DesktopShell shell({slidingSquares(), {}, {}, {}, {}});
    shell.show(0, scene(2560, 1440, 4), 0.2);
    DesktopSurface& surface = *shell.surface(0);
    ASSERT_TRUE(mainloop::runUntil([&] { return indexOf(x->stacking(), surface.xwindow()) >= 0; }, 10));
    EXPECT_EQ(shell.mode(), DesktopShell::Mode::ownDesktop);

    // A transparent icon manager starts later, and then (as managers do) moves its desktop window to
    // the bottom: the shell puts ours back below it each time the stacking changes.
    const auto icons = x->createWindow("gjs", "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, 2560, 1440);
    auto oursBelow = [&] {
        const auto stack = x->stacking();
        const long ours = indexOf(stack, surface.xwindow()), theirs = indexOf(stack, icons);
        return ours >= 0 && theirs >= 0 && ours < theirs;
    };
    ASSERT_TRUE(mainloop::runUntil([&] { return shell.mode() == DesktopShell::Mode::underManager; }, 10));
    x->restackBelow(icons, surface.xwindow());
    EXPECT_TRUE(mainloop::runUntil([&] { return shell.restacks() > 0 && oursBelow(); }, 10));
    // Once below, it stays there and the shell stops asking.
    mainloop::runFor(0.5);
    const unsigned settled = shell.restacks();
    mainloop::runFor(0.5);
    EXPECT_TRUE(oursBelow());
    EXPECT_EQ(shell.restacks(), settled);
    EXPECT_TRUE(surface.mapped());
    x->destroyWindow(icons);

    // An opaque one: the scene becomes the wallpaper and the window goes away; when it quits, the
    // window comes back and the user's wallpaper too.
    desktoptest::setKey("picture-uri", "file:///home/u/own.png");
    const auto opaque = x->createWindow("nautilus", "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, 2560, 1440);
    EXPECT_TRUE(mainloop::runUntil([&] { return shell.mode() == DesktopShell::Mode::stillPicture; }, 10));
    EXPECT_FALSE(surface.mapped());
    EXPECT_NE(desktoptest::key("picture-uri").find("/vistamere/desktop-still"), std::string::npos);
    x->destroyWindow(opaque);
    EXPECT_TRUE(mainloop::runUntil([&] { return shell.mode() == DesktopShell::Mode::ownDesktop; }, 10));
    EXPECT_TRUE(mainloop::runUntil([&] { return surface.mapped(); }, 5));
    EXPECT_EQ(desktoptest::key("picture-uri"), "file:///home/u/own.png");
}

TEST(Shell, TellsIconManagersFromDesktopWidgets) {
    Child openbox({"openbox", "--sm-disable"});
    ASSERT_GT(openbox.pid, 0);
    auto x = X11Session::open();
    ASSERT_TRUE(x);
    ASSERT_TRUE(mainloop::init());
    ASSERT_TRUE(windowManagerReady(*x));
    const auto ours = x->createWindow("vistamere", "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, 2560, 1440);
    ASSERT_TRUE(mainloop::runUntil([&] { return indexOf(x->stacking(), ours) >= 0; }, 10));
    struct Case {
        const char* wmClass;
        int width, height;
        bool manager;
        X11Session::ManagerKind kind;
    };
    using K = X11Session::ManagerKind;
    for (const Case& c : {Case{"conky", 300, 200, false, K::opaque}, Case{"gjs", 2560, 1440, true, K::transparent},
                          Case{"nemo-desktop", 1280, 1440, true, K::transparent},
                          Case{"xfdesktop", 2560, 1440, true, K::opaque},
                          Case{"somedesk", 1280, 1440, true, K::opaque}}) {
        const auto w = x->createWindow(c.wmClass, "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, c.width, c.height);
        ASSERT_TRUE(mainloop::runUntil([&] { return indexOf(x->stacking(), w) >= 0; }, 10)) << c.wmClass;
        const auto found = x->findIconManager({ours});
        EXPECT_EQ(found.has_value(), c.manager) << c.wmClass;
        if (found && c.manager) {
            EXPECT_EQ(found->window, w) << c.wmClass;
            EXPECT_EQ(found->kind, c.kind) << c.wmClass;
        }
        x->destroyWindow(w);
        ASSERT_TRUE(mainloop::runUntil([&] { return indexOf(x->stacking(), w) < 0; }, 10)) << c.wmClass;
    }
    EXPECT_FALSE(x->findIconManager({ours}));
}

TEST(Shell, StaysAtTheBottomUnframedUnderAWindowManagerWithoutEwmh) {
    ASSERT_TRUE(mainloop::init());
    auto x = X11Session::open();
    ASSERT_TRUE(x);
    // twm knows no desktop windows: it would frame ours, and without random placement wait for a
    // click to place it.
    const char* rc = "/tmp/vistamere-desktop-tests.twmrc";
    std::ofstream(rc) << "RandomPlacement\n";
    auto twm = std::make_unique<Child>(std::vector<const char*>{"twm", "-f", rc});
    ASSERT_GT(twm->pid, 0);
    ASSERT_TRUE(mainloop::runUntil([&] { return x->hasAnyWindowManager(); }, 10));
    EXPECT_FALSE(x->hasWindowManager());

    DesktopShell shell({slidingSquares(), {}, {}, {}, {}});
    shell.show(0, scene(2560, 1440, 4), 0.2);
    DesktopSurface& surface = *shell.surface(0);
    ASSERT_TRUE(mainloop::runUntil([&] { return surface.compositor().stats().frames > 0; }, 10));
    const auto w = surface.xwindow();
    EXPECT_EQ(shell.mode(), DesktopShell::Mode::ownDesktop);
    EXPECT_TRUE(shell.overrideRedirect());
    EXPECT_TRUE(x->isOverrideRedirect(w));
    EXPECT_EQ(x->topLevel(w), w);  // not framed
    EXPECT_TRUE(x->isLowest(w));

    // A framed window pushed below ours: ours goes back to the bottom.
    const auto other = x->createWindow("xterm", "_NET_WM_WINDOW_TYPE_NORMAL", 100, 100, 300, 200);
    ASSERT_TRUE(mainloop::runUntil([&] { return x->topLevel(other) != other; }, 10));
    x->lower(x->topLevel(other));
    EXPECT_TRUE(mainloop::runUntil([&] { return x->isLowest(w) && shell.surface(0)->mapped(); }, 5));

    // The manager quits: without one our window is a plain managed-type window again.
    twm.reset();
    x->destroyWindow(other);
    EXPECT_TRUE(mainloop::runUntil([&] { return !shell.overrideRedirect() && surface.mapped(); }, 10));
    EXPECT_TRUE(mainloop::runUntil([&] { return !x->isOverrideRedirect(surface.xwindow()); }, 5));
    EXPECT_TRUE(mainloop::runUntil([&] { return x->isLowest(surface.xwindow()); }, 5));
}

TEST(Surface, PowerSaverCapsTheFrameRateAt15) {
    ASSERT_TRUE(mainloop::init());
    bool saver = false;
    // Squares that would move at 60 frames per second.
    DesktopShell shell({slidingSquares(60), {}, {}, {}, [&] { return saver; }});
    shell.show(0, scene(2560, 1440, 12), 0.1);
    const DesktopSurface& surface = *shell.surface(0);
    ASSERT_TRUE(mainloop::runUntil([&] { return surface.compositor().stats().frames > 0; }, 5));
    mainloop::runFor(1);  // the fade-in
    struct Case {
        bool saver;
        double low, high;  // frames per second; a loaded machine may fall short, never over
    };
    for (const Case& c : {Case{false, 20, 31}, Case{true, 10, 15.5}, Case{false, 20, 31}}) {
        saver = c.saver;
        mainloop::runFor(0.3);
        const auto before = surface.compositor().stats().frames;
        mainloop::runFor(2);
        const double fps = double(surface.compositor().stats().frames - before) / 2;
        EXPECT_GE(fps, c.low) << "power saver " << c.saver;
        EXPECT_LE(fps, c.high) << "power saver " << c.saver;
    }
}

namespace {

// Runs a shell command and answers whether it succeeded.
bool sh(const char* command) {
    Child child({"sh", "-c", command});
    int status = 0;
    const bool ok = child.pid > 0 && waitpid(child.pid, &status, 0) == child.pid && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0;
    child.pid = -1;
    return ok;
}

}  // namespace

// On an Xorg server whose dummy driver has RandR outputs to switch on and off.
TEST(Shell, FollowsMonitorsThatComeAndGo) {
    ASSERT_TRUE(mainloop::init());
    int changes = 0;
    DesktopShell shell({slidingSquares(), {}, {}, [&] { ++changes; }, {}});
    ASSERT_EQ(shell.screens(), 1u);
    const auto first = shell.surface(0)->geometry();
    shell.show(0, scene(first.width, first.height, 4), 0.1);
    ASSERT_TRUE(mainloop::runUntil([&] { return shell.surface(0)->compositor().stats().frames > 0; }, 10));

    // The dummy driver's server tells clients of a change only at the next query of its resources.
    ASSERT_TRUE(sh("xrandr --newmode 1280x720_test 74.48 1280 1336 1472 1664 720 721 724 746 -hsync +vsync && "
                   "xrandr --addmode DUMMY1 1280x720_test && "
                   "xrandr --output DUMMY1 --mode 1280x720_test --right-of DUMMY0 && xrandr --query > /dev/null"));
    ASSERT_TRUE(mainloop::runUntil([&] { return shell.screens() == 2; }, 10));
    EXPECT_GE(changes, 1);
    const auto second = shell.surface(1)->geometry();
    EXPECT_EQ((std::vector<int>{second.x, second.y, second.width, second.height}),
              (std::vector<int>{first.width, 0, 1280, 720}));
    shell.show(0, scene(first.width, first.height, 4), 1);
    shell.show(1, scene(1280, 720, 4), 1);
    ASSERT_TRUE(mainloop::runUntil([&] { return shell.surface(1)->compositor().stats().frames > 0; }, 10));

    // Gone in the middle of a cross-fade: the windows are rebuilt for the one left.
    auto x = X11Session::open();
    ASSERT_TRUE(x);
    const auto gone = shell.surface(1)->xwindow();
    const int before = changes;
    ASSERT_TRUE(sh("xrandr --output DUMMY1 --off && xrandr --query > /dev/null"));
    ASSERT_TRUE(mainloop::runUntil([&] { return shell.screens() == 1 && changes > before; }, 10));
    EXPECT_EQ(shell.window(1), nullptr);
    EXPECT_TRUE(mainloop::runUntil([&] { return x->windowClass(gone).empty(); }, 5));  // destroyed
    mainloop::runFor(1.2);  // the old windows' timers come due
    shell.show(0, scene(first.width, first.height, 4), 0.1);
    EXPECT_TRUE(mainloop::runUntil([&] { return shell.surface(0)->compositor().stats().frames > 0; }, 10));
}

TEST(ShellRules, ASeeThroughManagerHidesUsOnlyWhereItsCompositingCannotShowUs) {
    struct Case {
        const char* windowManager;
        bool compositor, managerFirst;
        const char* why;  // a word of the reason, or nothing when ours can show
        bool keptAbove = false;
    };
    const Case cases[] = {
        {"Xfwm4", true, true, "keeps", true},  // it neither restacks nor lowers desktop windows
        {"Openbox", true, false, "keeps", true},
        {"Openbox", true, true, nullptr},           // picom draws in stacking order
        {"Openbox", false, false, "compositing"},   // clear pixels are black without one
        {"Xfwm4", true, true, nullptr},
        {"Mutter (Muffin)", true, false, nullptr},  // ours came first: the manager's draws over it
        {"Mutter (Muffin)", true, true, "order"},   // ours came later and would cover the icons
        {"Mutter (Muffin)", false, true, "compositing"},
        {"GNOME Shell", true, true, nullptr},
    };
    for (const Case& c : cases) {
        const auto why =
            DesktopShell::hiddenUnder("nemo-desktop", c.windowManager, c.compositor, c.managerFirst, c.keptAbove);
        EXPECT_EQ(why.has_value(), c.why != nullptr) << c.windowManager << " " << c.compositor << c.managerFirst;
        if (why && c.why) {
            EXPECT_NE(why->find(c.why), std::string::npos) << *why;
            EXPECT_NE(why->find("nemo-desktop"), std::string::npos) << *why;
        }
    }
}

#ifdef VM_REAL_DESKTOPS
// A see-through manager's desktop window under the real compositing managers: picom draws windows in
// stacking order, so ours shows below the manager's while picom runs and gives way to a still picture
// when it quits; muffin draws desktop windows in the order they mapped, so only a manager mapped after
// ours can be shown over it.
TEST(Shell, ShowsBeneathASeeThroughManagerOnlyWhereTheCompositorDrawsItOnTop) {
    ASSERT_TRUE(mainloop::init());
    auto x = X11Session::open();
    ASSERT_TRUE(x);
    {
        Child openbox({"openbox", "--sm-disable"});
        ASSERT_TRUE(windowManagerReady(*x));
        auto picom = std::make_unique<Child>(std::vector<const char*>{"picom", "--backend", "xrender"});
        ASSERT_TRUE(mainloop::runUntil([&] { return x->hasCompositor(); }, 10)) << "picom did not start";
        const auto icons = x->createWindow("nemo-desktop", "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, 2560, 1440);
        DesktopShell shell({slidingSquares(), {}, {}, {}, {}});
        shell.show(0, scene(2560, 1440, 4), 0.2);
        EXPECT_TRUE(mainloop::runUntil([&] { return shell.mode() == DesktopShell::Mode::underManager; }, 10));
        picom.reset();
        ASSERT_TRUE(mainloop::runUntil([&] { return !x->hasCompositor(); }, 10));
        shell.restack();
        EXPECT_EQ(shell.mode(), DesktopShell::Mode::stillPicture);
        EXPECT_FALSE(shell.surface(0)->mapped());
        x->destroyWindow(icons);
    }
    ASSERT_TRUE(mainloop::runUntil([&] { return !x->hasWindowManager(); }, 10));

    ASSERT_TRUE(mainloop::runUntil([&] { return !x->hasWindowManager(); }, 10));

    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    Child muffin({"muffin", "--replace", "--sm-disable"});
    ASSERT_TRUE(mainloop::runUntil([&] { return x->windowManagerName().find("Muffin") != std::string::npos; }, 30))
        << "muffin did not start";
    ASSERT_TRUE(windowManagerReady(*x));
    ASSERT_TRUE(x->hasCompositor());
    {
        // The manager first: ours would cover it.
        const auto icons = x->createWindow("nemo-desktop", "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, 2560, 1440);
        ASSERT_TRUE(mainloop::runUntil([&] { return indexOf(x->stacking(), icons) >= 0; }, 10));
        DesktopShell shell({slidingSquares(), {}, {}, {}, {}});
        shell.show(0, scene(2560, 1440, 4), 0.2);
        EXPECT_TRUE(mainloop::runUntil([&] { return shell.mode() == DesktopShell::Mode::stillPicture; }, 10));
        mainloop::runFor(1);
        EXPECT_EQ(shell.mode(), DesktopShell::Mode::stillPicture) << "no flip back once hidden";
        x->destroyWindow(icons);
        EXPECT_TRUE(mainloop::runUntil([&] { return shell.mode() == DesktopShell::Mode::ownDesktop; }, 10));
    }
    {
        // Ours first, the manager after (a Nemo started or restarted later): it draws over ours.
        DesktopShell shell({slidingSquares(), {}, {}, {}, {}});
        shell.show(0, scene(2560, 1440, 4), 0.2);
        ASSERT_TRUE(mainloop::runUntil([&] { return shell.surface(0)->mapped(); }, 10));
        mainloop::runFor(0.5);
        const auto icons = x->createWindow("nemo-desktop", "_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, 2560, 1440);
        EXPECT_TRUE(mainloop::runUntil([&] { return shell.mode() == DesktopShell::Mode::underManager; }, 10));
        mainloop::runFor(1);
        EXPECT_EQ(shell.mode(), DesktopShell::Mode::underManager);
        EXPECT_TRUE(shell.surface(0)->mapped());
        x->destroyWindow(icons);
    }
}
#endif
