#pragma once
// Swallows X errors for the scope's requests: windows vanish between two requests, and their errors must
// not end the program (GDK's default handler would). The server is synced on entry and exit so only
// this scope's errors are caught.

#include <X11/Xlib.h>

class XErrorTrap {
public:
    explicit XErrorTrap(Display* d) : d_(d) {
        XSync(d_, False);
        old_ = XSetErrorHandler(quiet);
    }
    ~XErrorTrap() {
        XSync(d_, False);
        XSetErrorHandler(old_);
    }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

private:
    static int quiet(Display*, XErrorEvent*) { return 0; }
    Display* d_;
    int (*old_)(Display*, XErrorEvent*);
};
