// Looks at an X display the way a user would, for the end-to-end tests. Usage:
//   screen-probe digest                  prints a digest of what the whole screen shows now
//   screen-probe cover X Y W H SECONDS   puts an opaque window over that area, above everything, for a while
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

int usage() {
    std::fprintf(stderr, "usage: screen-probe digest | cover X Y W H SECONDS\n");
    return 2;
}

int digest(Display* d) {
    const Window root = DefaultRootWindow(d);
    XWindowAttributes a{};
    XGetWindowAttributes(d, root, &a);
    XImage* image = XGetImage(d, root, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!image) return 1;
    uint64_t h = 14695981039346656037ull;  // FNV-1a over the pixels
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) h = (h ^ XGetPixel(image, x, y)) * 1099511628211ull;
    XDestroyImage(image);
    std::printf("%016llx\n", static_cast<unsigned long long>(h));
    return 0;
}

int cover(Display* d, char** argv) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(d, DefaultScreen(d));
    const Window w = XCreateWindow(d, DefaultRootWindow(d), std::atoi(argv[0]), std::atoi(argv[1]),
                                   unsigned(std::atoi(argv[2])), unsigned(std::atoi(argv[3])), 0, CopyFromParent,
                                   InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(d, w);
    XSync(d, False);
    usleep(useconds_t(std::atof(argv[4]) * 1e6));
    XDestroyWindow(d, w);
    XSync(d, False);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "screen-probe: no display\n");
        return 1;
    }
    int status;
    if (argc == 2 && std::strcmp(argv[1], "digest") == 0) status = digest(d);
    else if (argc == 7 && std::strcmp(argv[1], "cover") == 0) status = cover(d, argv + 2);
    else status = usage();
    XCloseDisplay(d);
    return status;
}
