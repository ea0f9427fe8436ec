#include "Platform/Desktop/WindowList.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstring>

#include "Platform/Desktop/XErrorTrap.h"

namespace {

Display* dpy(void* d) { return static_cast<Display*>(d); }

// The 32-bit items of a property (CARDINAL, ATOM, WINDOW); Xlib hands them over as longs.
std::vector<unsigned long> items(Display* d, Window w, const char* property, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long n = 0, rest = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    if (XGetWindowProperty(d, w, XInternAtom(d, property, False), 0, 1024, False, type, &actual, &format, &n, &rest,
                           &data) == Success &&
        data && format == 32) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        out.assign(values, values + n);
    }
    if (data) XFree(data);
    return out;
}

std::vector<std::string> atomNames(Display* d, Window w, const char* property) {
    std::vector<std::string> out;
    for (unsigned long a : items(d, w, property, XA_ATOM)) {
        char* name = XGetAtomName(d, Atom(a));
        if (name) {
            out.emplace_back(name);
            XFree(name);
        }
    }
    return out;
}

bool has(const std::vector<std::string>& names, const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::unique_ptr<WindowList> WindowList::open(const std::string& name) {
    Display* d = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!d) return nullptr;
    return std::unique_ptr<WindowList>(new WindowList(d));
}

WindowList::~WindowList() { XCloseDisplay(dpy(display_)); }

int64_t WindowList::level(const std::vector<std::string>& types, const std::vector<std::string>& states,
                          bool overrideRedirect) {
    if (has(types, "_NET_WM_WINDOW_TYPE_DESKTOP")) return desktopLevel;
    if (has(types, "_NET_WM_WINDOW_TYPE_DOCK")) return dockLevel;
    for (const char* popup : {"_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_TOOLTIP",
                              "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                              "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_DND"})
        if (has(types, popup)) return popUpLevel;
    // A window that says nothing of itself and bypasses the manager is a menu or a popup.
    if (types.empty() && overrideRedirect) return popUpLevel;
    if (has(states, "_NET_WM_STATE_ABOVE")) return aboveLevel;
    return normalLevel;
}

std::optional<WindowList::Entry> WindowList::describe(unsigned long client, unsigned long frame) const {
    Display* d = dpy(display_);
    XWindowAttributes a{};
    if (!XGetWindowAttributes(d, client, &a) || a.map_state != IsViewable || a.c_class == InputOnly) return std::nullopt;
    XWindowAttributes f = a;
    if (frame != client && !XGetWindowAttributes(d, frame, &f)) return std::nullopt;
    const auto states = atomNames(d, client, "_NET_WM_STATE");
    if (has(states, "_NET_WM_STATE_HIDDEN")) return std::nullopt;
    Entry e;
    e.window = client;
    e.level = level(atomNames(d, client, "_NET_WM_WINDOW_TYPE"), states, f.override_redirect);
    int x = 0, y = 0;
    Window child = None;
    if (!XTranslateCoordinates(d, client, DefaultRootWindow(d), 0, 0, &x, &y, &child)) return std::nullopt;
    e.x = x;
    e.y = y;
    e.width = a.width;
    e.height = a.height;
    // Client-side decorations draw their shadows inside the window: those margins cover nothing.
    const auto extents = items(d, client, "_GTK_FRAME_EXTENTS", XA_CARDINAL);
    if (extents.size() == 4) {
        e.x += int(extents[0]);
        e.y += int(extents[2]);
        e.width = std::max(0, e.width - int(extents[0] + extents[1]));
        e.height = std::max(0, e.height - int(extents[2] + extents[3]));
    }
    const auto opacity = items(d, client, "_NET_WM_WINDOW_OPACITY", XA_CARDINAL);
    if (!opacity.empty()) e.opacity = double(opacity[0] & 0xFFFFFFFFul) / 4294967295.0;
    return e;
}

std::vector<WindowList::Entry> WindowList::onScreen() const {
    Display* d = dpy(display_);
    const Window root = DefaultRootWindow(d);
    XErrorTrap trap(d);
    // An empty stacking list is a manager with no clients, not the lack of a manager.
    const bool managed = !items(d, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
    std::vector<unsigned long> stack;
    if (managed) stack = items(d, root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
    if (!managed) {
        Window r = None, parent = None, *children = nullptr;
        unsigned n = 0;
        if (XQueryTree(d, root, &r, &parent, &children, &n) && children) stack.assign(children, children + n);
        if (children) XFree(children);
    }
    const auto current = items(d, root, "_NET_CURRENT_DESKTOP", XA_CARDINAL);
    std::vector<Entry> out;
    // Both lists run bottom to top.
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        const Window w = Window(*it);
        if (managed && !current.empty()) {
            const auto desktop = items(d, w, "_NET_WM_DESKTOP", XA_CARDINAL);
            const bool sticky = !desktop.empty() && (desktop[0] & 0xFFFFFFFFul) == 0xFFFFFFFFul;
            if (!desktop.empty() && !sticky && desktop[0] != current[0]) continue;
        }
        if (auto e = describe(w, w)) out.push_back(*e);
    }
    return out;
}

unsigned long WindowList::clientOf(unsigned long frame, int depth) const {
    Display* d = dpy(display_);
    if (!items(d, frame, "WM_STATE", AnyPropertyType).empty()) return frame;
    if (depth == 0) return 0;
    Window r = None, parent = None, *children = nullptr;
    unsigned n = 0;
    unsigned long found = 0;
    if (XQueryTree(d, frame, &r, &parent, &children, &n) && children)
        for (unsigned i = n; i-- > 0 && !found;) found = clientOf(children[i], depth - 1);
    if (children) XFree(children);
    return found;
}

std::optional<WindowList::Entry> WindowList::at(int x, int y) const {
    Display* d = dpy(display_);
    const Window root = DefaultRootWindow(d);
    XErrorTrap trap(d);
    int cx = 0, cy = 0;
    Window top = None;
    if (!XTranslateCoordinates(d, root, root, x, y, &cx, &cy, &top) || top == None) return std::nullopt;
    // The manager's frame holds the client, whose type says what it is.
    unsigned long client = clientOf(top, 3);
    if (!client) client = top;
    if (auto e = describe(client, top)) return e;
    // A window we cannot read is still a window: count it as an ordinary one.
    Entry e;
    e.window = top;
    return e;
}
