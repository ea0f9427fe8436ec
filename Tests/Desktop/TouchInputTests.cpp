// The window list and raw clicks on a real X server (Xvfb, 2560 × 1440), under openbox.

#include <gtest/gtest.h>

#include "OpenboxSupport.h"

#include "Platform/Desktop/MainLoop.h"
#include "Platform/Desktop/RawClicks.h"
#include "Platform/Desktop/WindowList.h"
#include "Platform/Desktop/X11Session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <glib.h>

#include <utility>

using desktoptest::Child;
using desktoptest::windowManagerReady;

namespace {

void setOpacity(const X11Session& x, X11Session::Window w, unsigned long value) {
    Display* d = static_cast<Display*>(x.xdisplay());
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_WINDOW_OPACITY", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    XFlush(d);
}

// The window list is polled, not announced: wake the loop now and then so waits can look again.
struct Ticker {
    guint id = g_timeout_add(50, +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    ~Ticker() { g_source_remove(id); }
};

}  // namespace

TEST(Touch, ListsWindowsWithLevelsUnderOpenbox) {
    ASSERT_TRUE(mainloop::init());
    Ticker ticker;
    Child openbox({"openbox", "--sm-disable"});
    auto x = X11Session::open();
    ASSERT_TRUE(x);
    ASSERT_TRUE(windowManagerReady(*x));
    auto list = WindowList::open();
    ASSERT_TRUE(list);

    struct Case {
        const char* type;
        int x, y;
        int64_t level;
    };
    const Case cases[] = {{"_NET_WM_WINDOW_TYPE_DESKTOP", 0, 0, WindowList::desktopLevel},
                          {"_NET_WM_WINDOW_TYPE_NORMAL", 300, 200, WindowList::normalLevel},
                          {"_NET_WM_WINDOW_TYPE_DOCK", 1200, 600, WindowList::dockLevel},
                          {"_NET_WM_WINDOW_TYPE_NOTIFICATION", 2000, 1000, WindowList::popUpLevel}};
    std::vector<X11Session::Window> made;
    for (const Case& c : cases) made.push_back(x->createWindow("touch-test", c.type, c.x, c.y, 200, 150));
    setOpacity(*x, made[1], 0x7FFFFFFF);
    ASSERT_TRUE(mainloop::runUntil([&] { return list->onScreen().size() >= made.size(); }, 10));

    const auto entries = list->onScreen();
    for (size_t i = 0; i < made.size(); ++i) {
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.window == made[i]; });
        ASSERT_NE(it, entries.end()) << cases[i].type;
        EXPECT_EQ(it->level, cases[i].level) << cases[i].type;
        EXPECT_EQ(std::make_pair(it->width, it->height), std::make_pair(200, 150)) << cases[i].type;
        EXPECT_EQ(it->opacity.has_value(), i == 1) << cases[i].type;
        // The window at a point is the first of the list, top down, that holds it (openbox places the
        // windows as it likes, so they may overlap).
        const int px = it->x + 100, py = it->y + 75;
        const auto top = std::find_if(entries.begin(), entries.end(), [&](const auto& e) {
            return px >= e.x && px < e.x + e.width && py >= e.y && py < e.y + e.height;
        });
        const auto at = list->at(px, py);
        ASSERT_TRUE(at) << cases[i].type;
        EXPECT_EQ(at->window, top->window) << cases[i].type;
        EXPECT_EQ(at->level, top->level) << cases[i].type;
    }
    EXPECT_NEAR(*std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.window == made[1]; })->opacity,
                0.5, 1e-6);
    for (auto w : made) x->destroyWindow(w);
    EXPECT_TRUE(mainloop::runUntil([&] { return list->onScreen().empty(); }, 5));
    for (const auto& e : list->onScreen()) ADD_FAILURE() << "left: " << e.window << " " << e.x << "," << e.y << " " << e.width << "x" << e.height;
}

TEST(Touch, RawClicksTellClicksFromDragsAndModifiers) {
    ASSERT_TRUE(mainloop::init());
    std::vector<std::pair<int, int>> clicks, releases;
    auto raw = RawClicks::open({[&](int px, int py) { clicks.emplace_back(px, py); },
                                [&](int px, int py) { releases.emplace_back(px, py); }});
    ASSERT_TRUE(raw);
    Display* d = XOpenDisplay(nullptr);
    ASSERT_TRUE(d);
    const KeyCode shift = XKeysymToKeycode(d, 0xffe1);
    const auto move = [&](int px, int py) { XTestFakeMotionEvent(d, -1, px, py, CurrentTime); };
    const auto button = [&](bool down) {
        XTestFakeButtonEvent(d, 1, down, CurrentTime);
        XSync(d, False);
        // Raw clicks look up the pointer when an event arrives: let each one arrive before the next.
        mainloop::runUntil([&] { return false; }, 0.15);
    };
    struct Case {
        const char* name;
        std::pair<int, int> down, up;
        bool shifted, click;
    };
    const Case cases[] = {{"a click", {100, 100}, {100, 100}, false, true},
                          {"a small slip", {400, 100}, {403, 96}, false, true},
                          {"a drag", {700, 100}, {705, 100}, false, false},
                          {"a shift-click", {1000, 100}, {1000, 100}, true, false}};
    for (const Case& c : cases) {
        clicks.clear();
        releases.clear();
        move(c.down.first, c.down.second);
        if (c.shifted) XTestFakeKeyEvent(d, shift, True, CurrentTime);
        button(true);
        move(c.up.first, c.up.second);
        button(false);
        if (c.shifted) XTestFakeKeyEvent(d, shift, False, CurrentTime);
        XSync(d, False);
        ASSERT_TRUE(mainloop::runUntil([&] { return !releases.empty(); }, 5)) << c.name;
        EXPECT_EQ(releases, (std::vector{c.up})) << c.name;
        const std::vector<std::pair<int, int>> expected = c.click ? std::vector{c.down} : std::vector<std::pair<int, int>>{};
        EXPECT_EQ(clicks, expected) << c.name;
    }
    XCloseDisplay(d);
}
