#include "Platform/Desktop/ShmPresenter.h"

#include "Platform/Desktop/XErrorTrap.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <gdk/gdkx.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstring>

struct ShmPresenter::State {
    Display* display = nullptr;
    GdkDisplay* gdk = nullptr;
    Window window = 0;
    GC gc = nullptr;
    XImage* image = nullptr;
    XShmSegmentInfo info{};
    bool attached = false;
    bool pending = false;  // a put the server may not have read yet
    int left = 0, top = 0;

    ~State() {
        if (attached) {
            XShmDetach(display, &info);
            XSync(display, False);
        }
        if (image) {
            image->data = nullptr;  // the segment is ours, not Xlib's to free
            XDestroyImage(image);
        }
        if (info.shmaddr && info.shmaddr != reinterpret_cast<char*>(-1)) shmdt(info.shmaddr);
        if (gc) XFreeGC(display, gc);
    }
};

std::unique_ptr<ShmPresenter> ShmPresenter::make(GdkWindow* window, int left, int top, int width, int height) {
    if (!window || width <= 0 || height <= 0 || !GDK_IS_X11_WINDOW(window) || !gdk_window_has_native(window))
        return nullptr;
    auto s = std::make_unique<State>();
    s->gdk = gdk_window_get_display(window);
    s->display = GDK_DISPLAY_XDISPLAY(s->gdk);
    s->window = GDK_WINDOW_XID(window);
    s->left = left;
    s->top = top;
    if (!XShmQueryExtension(s->display)) return nullptr;
    XWindowAttributes attr{};
    if (!XGetWindowAttributes(s->display, s->window, &attr) || !attr.visual) return nullptr;
    const Visual* v = attr.visual;
    if ((attr.depth != 24 && attr.depth != 32) || v->red_mask != 0xFF0000 || v->green_mask != 0xFF00 ||
        v->blue_mask != 0xFF)
        return nullptr;
    s->image = XShmCreateImage(s->display, attr.visual, unsigned(attr.depth), ZPixmap, nullptr, &s->info,
                               unsigned(width), unsigned(height));
    const int nativeOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    if (!s->image || s->image->bits_per_pixel != 32 || s->image->byte_order != nativeOrder) return nullptr;
    s->info.shmid = shmget(IPC_PRIVATE, size_t(s->image->bytes_per_line) * size_t(height), IPC_CREAT | 0600);
    if (s->info.shmid < 0) return nullptr;
    s->info.shmaddr = static_cast<char*>(shmat(s->info.shmid, nullptr, 0));
    if (s->info.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(s->info.shmid, IPC_RMID, nullptr);
        return nullptr;
    }
    s->image->data = s->info.shmaddr;
    s->info.readOnly = True;
    // A remote server cannot attach our memory: that is an X error, caught here.
    bool failed = false;
    {
        XErrorTrap trap(s->display);
        XShmAttach(s->display, &s->info);
        failed = trap.failed();
    }
    shmctl(s->info.shmid, IPC_RMID, nullptr);  // freed once both sides let go
    if (failed) return nullptr;
    s->attached = true;
    s->gc = XCreateGC(s->display, s->window, 0, nullptr);
    if (!s->gc) return nullptr;
    std::unique_ptr<ShmPresenter> p(new ShmPresenter);
    p->s_ = std::move(s);
    return p;
}

ShmPresenter::~ShmPresenter() = default;

size_t ShmPresenter::clip(std::span<Box> boxes, int width, int height) {
    size_t n = 0;
    for (const Box& b : boxes) {
        const long x0 = std::max(0L, long(b.x)), y0 = std::max(0L, long(b.y));
        const long x1 = std::min(long(width), long(b.x) + std::max(0, b.width));
        const long y1 = std::min(long(height), long(b.y) + std::max(0, b.height));
        if (x1 > x0 && y1 > y0) boxes[n++] = {int(x0), int(y0), int(x1 - x0), int(y1 - y0)};
    }
    return n;
}

void ShmPresenter::present(const uint8_t* pixels, size_t bytesPerRow, std::span<Box> all) {
    State& s = *s_;
    const auto boxes = all.first(clip(all, s.image->width, s.image->height));
    if (s.pending) XSync(s.display, False);  // the server has read the last frame
    const uint8_t* from = pixels;
    for (const Box& b : boxes)
        for (int y = b.y; y < b.y + b.height; ++y)
            std::memcpy(s.image->data + size_t(y) * size_t(s.image->bytes_per_line) + size_t(b.x) * 4,
                        from + size_t(y) * bytesPerRow + size_t(b.x) * 4, size_t(b.width) * 4);
    for (const Box& b : boxes)
        XShmPutImage(s.display, s.window, s.gc, s.image, b.x, b.y, s.left + b.x, s.top + b.y, unsigned(b.width),
                     unsigned(b.height), False);
    XFlush(s.display);
    s.pending = !boxes.empty();
}
