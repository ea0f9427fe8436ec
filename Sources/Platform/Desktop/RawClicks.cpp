#include "Platform/Desktop/RawClicks.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <glib-unix.h>

#include <cstdlib>

namespace {

Display* dpy(void* d) { return static_cast<Display*>(d); }

constexpr int leftButton = 1;

}  // namespace

std::unique_ptr<RawClicks> RawClicks::open(Handlers handlers, const std::string& name) {
    Display* d = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!d) return nullptr;
    // A client that announces 2.1 or later gets raw events during other clients' grabs too (window
    // managers grab the buttons); one that announces 2.0 does not.
    int opcode = 0, event = 0, error = 0, major = 2, minor = 2;
    if (!XQueryExtension(d, "XInputExtension", &opcode, &event, &error) || XIQueryVersion(d, &major, &minor) != Success ||
        (major == 2 && minor < 1)) {
        XCloseDisplay(d);
        return nullptr;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
    XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
    XFlush(d);
    return std::unique_ptr<RawClicks>(new RawClicks(d, opcode, std::move(handlers)));
}

RawClicks::RawClicks(void* display, int opcode, Handlers handlers)
    : display_(display), opcode_(opcode), handlers_(std::move(handlers)) {
    watch_ = g_unix_fd_add(
        ConnectionNumber(dpy(display_)), G_IO_IN,
        +[](int, GIOCondition, gpointer self) -> gboolean {
            static_cast<RawClicks*>(self)->drain();
            return G_SOURCE_CONTINUE;
        },
        this);
}

RawClicks::~RawClicks() {
    if (watch_) g_source_remove(watch_);
    XCloseDisplay(dpy(display_));
}

void RawClicks::drain() {
    Display* d = dpy(display_);
    // XPending reads what the socket holds; events read during a pointer query wait in Xlib's queue, so
    // loop until both are empty.
    while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type != GenericEvent || e.xcookie.extension != opcode_ || !XGetEventData(d, &e.xcookie)) continue;
        const auto* raw = static_cast<const XIRawEvent*>(e.xcookie.data);
        if (raw->detail == leftButton) {
            if (e.xcookie.evtype == XI_RawButtonPress) pressed();
            else if (e.xcookie.evtype == XI_RawButtonRelease) released();
        }
        XFreeEventData(d, &e.xcookie);
    }
}

void RawClicks::pressed() {
    Display* d = dpy(display_);
    Window root = None, child = None;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned state = 0;
    if (!XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &wx, &wy, &state)) return;
    down_ = true;
    modified_ = (state & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask)) != 0;
    downX_ = x;
    downY_ = y;
}

void RawClicks::released() {
    Display* d = dpy(display_);
    Window root = None, child = None;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned state = 0;
    if (!XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &wx, &wy, &state)) return;
    const bool click = down_ && !modified_ && std::abs(x - downX_) <= dragDistance && std::abs(y - downY_) <= dragDistance;
    down_ = false;
    if (click && handlers_.click) handlers_.click(downX_, downY_);
    if (handlers_.release) handlers_.release(x, y);
}
