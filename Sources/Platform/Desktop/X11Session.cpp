#include "Platform/Desktop/X11Session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "Platform/Desktop/XErrorTrap.h"

namespace {

Display* dpy(void* d) { return static_cast<Display*>(d); }

std::string lowerCase(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Icon managers by WM_CLASS: those whose desktop window lets a window beneath show through.
constexpr const char* kTransparent[] = {"gjs", "ding", "nemo-desktop"};
constexpr const char* kOpaque[] = {"caja", "xfdesktop", "pcmanfm", "pcmanfm-qt", "plasmashell", "nautilus",
                                   "desktop_window"};

std::optional<X11Session::ManagerKind> classify(const std::vector<std::string>& names) {
    for (const std::string& n : names) {
        for (const char* t : kTransparent)
            if (n == t) return X11Session::ManagerKind::transparent;
        for (const char* o : kOpaque)
            if (n == o) return X11Session::ManagerKind::opaque;
    }
    return std::nullopt;
}

// One 8-bit channel of a true-colour pixel.
uint32_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const unsigned long v = (pixel & mask) >> __builtin_ctzl(mask);
    const unsigned long max = mask >> __builtin_ctzl(mask);
    return max == 255 ? uint32_t(v) : uint32_t((v * 255 + max / 2) / max);
}

}  // namespace

std::unique_ptr<X11Session> X11Session::open(const std::string& name) {
    Display* d = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!d) return nullptr;
    return std::unique_ptr<X11Session>(new X11Session(d, true));
}

std::unique_ptr<X11Session> X11Session::borrow(void* xdisplay) {
    if (!xdisplay) return nullptr;
    return std::unique_ptr<X11Session>(new X11Session(xdisplay, false));
}

X11Session::~X11Session() {
    if (owned_) XCloseDisplay(dpy(display_));
}

X11Session::Window X11Session::root() const { return DefaultRootWindow(dpy(display_)); }
int X11Session::screen() const { return DefaultScreen(dpy(display_)); }
void X11Session::flush() const { XFlush(dpy(display_)); }
void X11Session::sync() const { XSync(dpy(display_), False); }

unsigned long X11Session::atom(const char* name) const { return XInternAtom(dpy(display_), name, False); }

std::vector<unsigned long> X11Session::cardinals(Window w, const char* property, const char* type) const {
    std::vector<unsigned long> out;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XErrorTrap trap(dpy(display_));
    const Atom want = std::strcmp(type, "ATOM") == 0 ? XA_ATOM : std::strcmp(type, "WINDOW") == 0 ? XA_WINDOW : XA_CARDINAL;
    if (XGetWindowProperty(dpy(display_), w, atom(property), 0, 1 << 16, False, want, &actual, &format, &count,
                           &after, &data) == Success &&
        data) {
        if (actual == want && format == 32) {
            const auto* longs = reinterpret_cast<const unsigned long*>(data);  // format 32 is long-sized
            out.assign(longs, longs + count);
        }
        XFree(data);
    }
    return out;
}

bool X11Session::supports(const char* hint) const {
    if (!hasWindowManager()) return false;
    const auto listed = cardinals(root(), "_NET_SUPPORTED", "ATOM");
    return std::find(listed.begin(), listed.end(), atom(hint)) != listed.end();
}

bool X11Session::hasWindowManager() const {
    const auto check = cardinals(root(), "_NET_SUPPORTING_WM_CHECK", "WINDOW");
    if (check.empty()) return false;
    // A stale property from a manager that has quit names a window that no longer exists.
    return cardinals(check[0], "_NET_SUPPORTING_WM_CHECK", "WINDOW") == check;
}

bool X11Session::hasAnyWindowManager() const {
    // The union of every client's event mask on the root tells without taking part in it.
    XWindowAttributes a{};
    if (XGetWindowAttributes(dpy(display_), root(), &a) && (a.all_event_masks & SubstructureRedirectMask)) return true;
    const std::string selection = "WM_S" + std::to_string(screen());
    return XGetSelectionOwner(dpy(display_), atom(selection.c_str())) != None;
}

std::string X11Session::windowManagerName() const {
    if (!hasWindowManager()) return {};
    const auto check = cardinals(root(), "_NET_SUPPORTING_WM_CHECK", "WINDOW");
    std::string out;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XErrorTrap trap(dpy(display_));
    if (XGetWindowProperty(dpy(display_), check[0], atom("_NET_WM_NAME"), 0, 256, False, atom("UTF8_STRING"), &actual,
                           &format, &count, &after, &data) == Success &&
        data) {
        if (format == 8) out.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    return out;
}

bool X11Session::hasCompositor() const {
    const std::string selection = "_NET_WM_CM_S" + std::to_string(screen());
    return XGetSelectionOwner(dpy(display_), atom(selection.c_str())) != None;
}

bool X11Session::isOverrideRedirect(Window w) const {
    XErrorTrap trap(dpy(display_));
    XWindowAttributes a{};
    return XGetWindowAttributes(dpy(display_), w, &a) && a.override_redirect;
}

long X11Session::windowPid(Window w) const {
    const auto pid = cardinals(w, "_NET_WM_PID", "CARDINAL");
    return pid.empty() ? 0 : long(pid[0]);
}

std::vector<X11Session::Window> X11Session::stacking() const {
    return cardinals(root(), "_NET_CLIENT_LIST_STACKING", "WINDOW");
}

static std::vector<std::string> atomNames(Display* d, const std::vector<unsigned long>& atoms) {
    std::vector<std::string> out;
    for (unsigned long a : atoms) {
        if (char* n = XGetAtomName(d, a)) {
            out.emplace_back(n);
            XFree(n);
        }
    }
    return out;
}

std::vector<std::string> X11Session::windowTypes(Window w) const {
    return atomNames(dpy(display_), cardinals(w, "_NET_WM_WINDOW_TYPE", "ATOM"));
}

std::vector<std::string> X11Session::windowStates(Window w) const {
    return atomNames(dpy(display_), cardinals(w, "_NET_WM_STATE", "ATOM"));
}

std::vector<std::string> X11Session::windowClass(Window w) const {
    std::vector<std::string> out;
    XClassHint hint{};
    XErrorTrap trap(dpy(display_));
    if (XGetClassHint(dpy(display_), w, &hint)) {
        if (hint.res_name) out.push_back(lowerCase(hint.res_name)), XFree(hint.res_name);
        if (hint.res_class) out.push_back(lowerCase(hint.res_class)), XFree(hint.res_class);
    }
    return out;
}

std::optional<X11Session::Manager> X11Session::findIconManager(const std::vector<Window>& ours) const {
    auto mine = [&](Window w) { return std::find(ours.begin(), ours.end(), w) != ours.end(); };
    // Managers that announce their desktop window on the root: all draw an opaque desktop.
    for (const char* property : {"CAJA_DESKTOP_WINDOW_ID", "XFCE_DESKTOP_WINDOW", "NAUTILUS_DESKTOP_WINDOW_ID"}) {
        const auto w = cardinals(root(), property, "WINDOW");
        if (!w.empty() && w[0] != 0) return Manager{w[0], ManagerKind::opaque, property};
    }
    // Foreign desktop windows, topmost first.
    auto stack = stacking();
    std::optional<Manager> unknown;
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (mine(*it)) continue;
        const auto types = windowTypes(*it);
        if (std::find(types.begin(), types.end(), "_NET_WM_WINDOW_TYPE_DESKTOP") == types.end()) continue;
        const auto names = windowClass(*it);
        if (auto kind = classify(names)) return Manager{*it, *kind, names.empty() ? "" : names[0]};
        // A large desktop window we do not know may hide us: count it as opaque unless a known one
        // exists. Small ones are desktop widgets (system monitors, clocks), not icon managers.
        if (!unknown && coversMostOfAMonitor(*it))
            unknown = Manager{*it, ManagerKind::opaque, names.empty() ? "" : names[0]};
    }
    if (unknown) return unknown;
    // The desktop manager selection, held by a manager that may not have mapped its window yet.
    const std::string selection = "_NET_DESKTOP_MANAGER_S" + std::to_string(screen());
    const ::Window owner = XGetSelectionOwner(dpy(display_), atom(selection.c_str()));
    if (owner != None && !mine(owner)) {
        const auto names = windowClass(owner);
        return Manager{0, classify(names).value_or(ManagerKind::opaque), names.empty() ? selection : names[0]};
    }
    return std::nullopt;
}

void X11Session::restackBelow(Window w, Window sibling) const {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.serial = 0;
    e.xclient.send_event = True;
    e.xclient.display = dpy(display_);
    e.xclient.window = w;
    e.xclient.message_type = atom("_NET_RESTACK_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager: the request is honoured as asked
    e.xclient.data.l[1] = long(sibling);
    e.xclient.data.l[2] = Below;
    XSendEvent(dpy(display_), root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(dpy(display_));
}

bool X11Session::areLowest(const std::vector<Window>& ws) const {
    std::vector<Window> tops;
    for (Window w : ws) tops.push_back(topLevel(w));
    XErrorTrap trap(dpy(display_));
    ::Window r = 0, parent = 0, *kids = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy(display_), root(), &r, &parent, &kids, &n)) return true;
    bool lowest = true;
    size_t seen = 0;
    for (unsigned i = 0; i < n && seen < tops.size(); ++i) {  // bottom to top
        XWindowAttributes a{};
        if (!XGetWindowAttributes(dpy(display_), kids[i], &a) || a.map_state == IsUnmapped) continue;
        if (std::find(tops.begin(), tops.end(), kids[i]) == tops.end()) {
            lowest = false;
            break;
        }
        ++seen;
    }
    if (kids) XFree(kids);
    return lowest;
}

void X11Session::lower(Window w) const {
    XErrorTrap trap(dpy(display_));
    XLowerWindow(dpy(display_), w);
}

bool X11Session::isLowest(Window w) const {
    const Window top = topLevel(w);
    XErrorTrap trap(dpy(display_));
    ::Window r = 0, parent = 0, *kids = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy(display_), root(), &r, &parent, &kids, &n)) return true;
    bool lowest = true;
    for (unsigned i = 0; i < n; ++i) {  // bottom to top
        XWindowAttributes a{};
        if (!XGetWindowAttributes(dpy(display_), kids[i], &a) || a.map_state == IsUnmapped) continue;
        lowest = kids[i] == top;
        break;
    }
    if (kids) XFree(kids);
    return lowest;
}

bool X11Session::coversMostOfAMonitor(Window w) const {
    XErrorTrap trap(dpy(display_));
    XWindowAttributes a{};
    if (!XGetWindowAttributes(dpy(display_), w, &a)) return false;
    // Monitors split the screen, so a desktop window per monitor may be a fraction of it.
    const int sw = DisplayWidth(dpy(display_), screen()), sh = DisplayHeight(dpy(display_), screen());
    return a.width >= 640 && a.height >= 480 && (a.width >= sw / 4 && a.height >= sh / 2);
}

X11Session::Window X11Session::topLevel(Window w) const {
    XErrorTrap trap(dpy(display_));
    ::Window r = 0, parent = 0, *kids = nullptr;
    unsigned int n = 0;
    ::Window current = w;
    while (XQueryTree(dpy(display_), current, &r, &parent, &kids, &n)) {
        if (kids) XFree(kids);
        if (parent == r || parent == 0) return current;
        current = parent;
    }
    return w;
}

cg::ImageRef X11Session::capture(Window w, int x, int y, int width, int height) const {
    if (width <= 0 || height <= 0) return nullptr;
    XErrorTrap trap(dpy(display_));
    XImage* img = XGetImage(dpy(display_), w, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!img) return nullptr;
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            const unsigned long p = XGetPixel(img, col, row);
            const uint32_t r = channel(p, img->red_mask), g = channel(p, img->green_mask), b = channel(p, img->blue_mask);
            pixels[size_t(row) * size_t(width) + size_t(col)] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    XDestroyImage(img);
    return cg::Image::fromARGB32(width, height, std::move(pixels));
}

X11Session::Window X11Session::createWindow(const std::string& wmClass, const std::string& type, int x, int y,
                                            int width, int height) const {
    Display* d = dpy(display_);
    const ::Window w = XCreateSimpleWindow(d, root(), x, y, unsigned(width), unsigned(height), 0, 0, 0);
    std::string name = wmClass;
    XClassHint hint{name.data(), name.data()};
    XSetClassHint(d, w, &hint);
    const Atom t = atom(type.c_str());
    XChangeProperty(d, w, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&t), 1);
    XMapWindow(d, w);
    XFlush(d);
    return w;
}

void X11Session::destroyWindow(Window w) const {
    XErrorTrap trap(dpy(display_));
    XDestroyWindow(dpy(display_), w);
}

void X11Session::setRootWindowProperty(const std::string& property, Window w) const {
    const ::Window id = w;
    XChangeProperty(dpy(display_), root(), atom(property.c_str()), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&id), 1);
    XSync(dpy(display_), False);
}
