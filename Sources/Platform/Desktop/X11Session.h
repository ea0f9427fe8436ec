#pragma once
// What the desktop shell asks of the X server, in plain types: window types and states, the EWMH
// stacking list, the session's desktop icon manager, restacking, and reading back pixels. Works on
// a connection of its own or on GDK's.

#include "Platform/Graphics/Image.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class X11Session {
public:
    using Window = unsigned long;

    // What the icon manager's desktop window lets through.
    enum class ManagerKind { transparent, opaque };
    struct Manager {
        Window window = 0;  // its desktop window (0 when only its selection or root property is known)
        ManagerKind kind = ManagerKind::opaque;
        std::string name;   // WM_CLASS name, or the property that gave it away
    };

    // A connection of its own to the display (DISPLAY when empty); nothing when it cannot connect.
    static std::unique_ptr<X11Session> open(const std::string& display = {});
    // A view of a connection someone else owns (GDK's Display*).
    static std::unique_ptr<X11Session> borrow(void* xdisplay);
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    void* xdisplay() const { return display_; }
    Window root() const;
    int screen() const;
    void flush() const;
    void sync() const;

    // A window manager that follows EWMH runs (_NET_SUPPORTING_WM_CHECK names a live window).
    bool hasWindowManager() const;
    // Some window manager runs, following EWMH or not: a client redirects the root's substructure,
    // or owns the ICCCM WM_Sn selection.
    bool hasAnyWindowManager() const;
    // The EWMH window manager's _NET_WM_NAME ("Openbox", "Mutter (Muffin)"); empty without one.
    std::string windowManagerName() const;
    // Whether the EWMH window manager lists `hint` (an atom name) in _NET_SUPPORTED.
    bool supports(const char* hint) const;
    // Whether a compositing manager holds the screen's _NET_WM_CM_S<n> selection.
    bool hasCompositor() const;
    // Client windows, bottom to top (_NET_CLIENT_LIST_STACKING); empty without a manager.
    std::vector<Window> stacking() const;
    // Atom names of _NET_WM_WINDOW_TYPE and _NET_WM_STATE ("_NET_WM_WINDOW_TYPE_DESKTOP", ...).
    std::vector<std::string> windowTypes(Window w) const;
    std::vector<std::string> windowStates(Window w) const;
    // WM_CLASS instance and class names, lower-cased.
    std::vector<std::string> windowClass(Window w) const;
    // Whether the server leaves w to us alone (override-redirect).
    bool isOverrideRedirect(Window w) const;
    // The process that owns w (_NET_WM_PID); 0 when unknown.
    long windowPid(Window w) const;
    // The desktop icon manager of the session, ignoring our own windows.
    std::optional<Manager> findIconManager(const std::vector<Window>& ours) const;
    // Asks the window manager to put w directly below sibling (_NET_RESTACK_WINDOW, from a pager).
    void restackBelow(Window w, Window sibling) const;
    // Lowers w below every other child of the root (for sessions without a window manager).
    void lower(Window w) const;
    // Whether w's top-level window is the lowest mapped child of the root.
    bool isLowest(Window w) const;
    // Whether the top-level windows of `ws` are the lowest mapped children of the root, in any order.
    bool areLowest(const std::vector<Window>& ws) const;
    // The top-level window that contains w (its window manager frame, or w itself).
    Window topLevel(Window w) const;
    // Pixels of a window's area as the server shows them, opaque; nothing when unreadable.
    cg::ImageRef capture(Window w, int x, int y, int width, int height) const;

    // A plain mapped window carrying the given WM_CLASS and window type (test fixtures and tools).
    Window createWindow(const std::string& wmClass, const std::string& type, int x, int y, int width, int height) const;
    void destroyWindow(Window w) const;
    // Names a window in a WINDOW property of the root, as some icon managers announce theirs.
    void setRootWindowProperty(const std::string& property, Window w) const;

private:
    X11Session(void* display, bool owned) : display_(display), owned_(owned) {}
    unsigned long atom(const char* name) const;
    bool coversMostOfAMonitor(Window w) const;
    std::vector<unsigned long> cardinals(Window w, const char* property, const char* type) const;

    void* display_;
    bool owned_;
};
