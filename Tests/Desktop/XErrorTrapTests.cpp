// The one X error trap: it catches its own scope's errors, nests, tells the innermost trap on the
// failing display, and gives back the handler it replaced.

#include <gtest/gtest.h>  // before Xlib, whose macros (None, Bool) break it

#include "Platform/Desktop/XErrorTrap.h"

#include <X11/Xlib.h>

namespace {
int previousCalls = 0;
int previous(Display*, XErrorEvent*) {
    ++previousCalls;
    return 0;
}
constexpr Window kNoSuchWindow = 0x3ffffff;
}  // namespace

TEST(XErrorTrap, CatchesItsScopesErrorsNestsAndRestoresTheHandler) {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_TRUE(d) << "no X display";
    XSetErrorHandler(previous);
    {
        XErrorTrap outer(d);
        EXPECT_FALSE(outer.failed());
        {
            XErrorTrap inner(d);
            XMapWindow(d, kNoSuchWindow);
            EXPECT_TRUE(inner.failed());
            EXPECT_EQ(inner.errorCode(), BadWindow);
        }
        EXPECT_FALSE(outer.failed()) << "the inner trap's error reached the outer one";
        XSetInputFocus(d, kNoSuchWindow, RevertToNone, CurrentTime);
        EXPECT_EQ(outer.errorCode(), BadWindow);
    }
    EXPECT_EQ(previousCalls, 0) << "a trapped error reached the handler outside";
    // Outside every trap the program's own handler is back and gets the error.
    XMapWindow(d, kNoSuchWindow);
    XSync(d, False);
    EXPECT_EQ(previousCalls, 1);
    EXPECT_EQ(XSetErrorHandler(nullptr), &previous);
    // A display without errors in the scope reports none, whatever happened before.
    {
        XErrorTrap clean(d);
        XNoOp(d);
        EXPECT_FALSE(clean.failed());
    }
    XCloseDisplay(d);
}
