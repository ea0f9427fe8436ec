// Drives an X display for the desktop tests.
//   x-touch click X Y       moves the pointer to root (X, Y) and clicks the left button there
//   x-touch cover X Y W H   maps an ordinary window at that place and keeps it until killed
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int usage() {
    std::fprintf(stderr, "usage: x-touch click X Y | cover X Y W H\n");
    return 2;
}

void button(Display* d, bool down) {
    XTestFakeButtonEvent(d, 1, down, CurrentTime);
    XSync(d, False);
    usleep(30000);
}

void move(Display* d, int x, int y) {
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XSync(d, False);
    usleep(30000);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return usage();
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "x-touch: no display\n");
        return 1;
    }
    const char* what = argv[1];
    const int x = std::atoi(argv[2]), y = std::atoi(argv[3]);
    if (!std::strcmp(what, "click")) {
        move(d, x, y);
        button(d, true);
        button(d, false);
    } else if (!std::strcmp(what, "cover") && argc == 6) {
        const unsigned w = unsigned(std::atoi(argv[4])), h = unsigned(std::atoi(argv[5]));
        const Window win = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, w, h, 0, 0, 0x336699);
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = x;
        hints.y = y;
        hints.width = int(w);
        hints.height = int(h);
        XSetWMNormalHints(d, win, &hints);
        XStoreName(d, win, "x-touch cover");
        XMapWindow(d, win);
        XSync(d, False);
        std::printf("0x%lx\n", win);
        std::fflush(stdout);
        for (;;) pause();
    } else {
        return usage();
    }
    XSync(d, False);
    XCloseDisplay(d);
    return 0;
}
