// plain-root RRGGBB: paints the root window in one colour and publishes it as the desktop background
// (_XROOTPMAP_ID, ESETROOT_PMAP_ID), the way wallpaper setters do, so that compositing window managers
// that draw the background themselves show that colour too. The pixmap outlives the program.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: plain-root RRGGBB\n");
        return 2;
    }
    const unsigned long rgb = std::strtoul(argv[1], nullptr, 16);
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "plain-root: no display\n");
        return 1;
    }
    XSetCloseDownMode(d, RetainPermanent);
    const int screen = DefaultScreen(d);
    const Window root = RootWindow(d, screen);
    const unsigned w = unsigned(DisplayWidth(d, screen)), h = unsigned(DisplayHeight(d, screen));
    const Pixmap pixmap = XCreatePixmap(d, root, w, h, unsigned(DefaultDepth(d, screen)));
    XColor colour{};
    colour.red = static_cast<unsigned short>(((rgb >> 16) & 0xff) * 257);
    colour.green = static_cast<unsigned short>(((rgb >> 8) & 0xff) * 257);
    colour.blue = static_cast<unsigned short>((rgb & 0xff) * 257);
    colour.flags = DoRed | DoGreen | DoBlue;
    XAllocColor(d, DefaultColormap(d, screen), &colour);
    const GC gc = XCreateGC(d, pixmap, 0, nullptr);
    XSetForeground(d, gc, colour.pixel);
    XFillRectangle(d, pixmap, gc, 0, 0, w, h);
    XFreeGC(d, gc);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        const Atom atom = XInternAtom(d, name, False);
        XChangeProperty(d, root, atom, XA_PIXMAP, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&pixmap), 1);
    }
    XSetWindowBackgroundPixmap(d, root, pixmap);
    XClearWindow(d, root);
    XCloseDisplay(d);
    return 0;
}
