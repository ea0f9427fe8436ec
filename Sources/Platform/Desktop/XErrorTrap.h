#pragma once
// Catches X errors for the scope's requests: windows vanish between two requests, and their errors must
// not end the program (GDK's default handler would); a request that may fail (attaching shared memory
// to a remote server) asks `failed()`. The server is synced on entry and exit so only this scope's
// errors are caught. The one way this program traps X errors: traps nest, and the handler they replace
// comes back when the outermost ends.

#include <X11/Xlib.h>

class XErrorTrap {
public:
    explicit XErrorTrap(Display* d) : d_(d), outer_(current()) {
        XSync(d_, False);
        current() = this;
        old_ = XSetErrorHandler(record);
    }
    ~XErrorTrap() {
        XSync(d_, False);
        XSetErrorHandler(old_);
        current() = outer_;
    }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Whether a request of this scope failed so far (syncs with the server first).
    bool failed() {
        XSync(d_, False);
        return errorCode_ != 0;
    }
    // The first error's code (BadAccess, BadWindow...), 0 when none.
    int errorCode() {
        XSync(d_, False);
        return errorCode_;
    }

private:
    static XErrorTrap*& current() {
        thread_local XErrorTrap* trap = nullptr;
        return trap;
    }
    static int record(Display* d, XErrorEvent* e) {
        for (XErrorTrap* t = current(); t; t = t->outer_)
            if (t->d_ == d) {
                if (t->errorCode_ == 0) t->errorCode_ = e->error_code;
                break;
            }
        return 0;
    }
    Display* d_;
    XErrorTrap* outer_;
    int (*old_)(Display*, XErrorEvent*) = nullptr;
    int errorCode_ = 0;
};
