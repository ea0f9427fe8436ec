#pragma once
// The status item: an AppIndicator with our own icon and its menu, which the menu controller fills again
// whenever what it shows changes (indicators give no reliable hook for the moment it opens). Without a
// status notifier host the library falls back to the tray by itself.

#include <string>

typedef struct _GdkPixbuf GdkPixbuf;
typedef struct _GtkMenu GtkMenu;

typedef struct _AppIndicator AppIndicator;
typedef struct _GtkWidget GtkWidget;

class StatusItem {
public:
    // Writes the icon into `iconDirectory` (made when missing) and registers the item.
    explicit StatusItem(const std::string& iconDirectory);
    ~StatusItem();
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    static constexpr const char* id = "vistamere";

    // The indicator's menu, kept for the life of the item.
    GtkMenu* menu() const;
    // Opens the menu at the mouse, below and right of it. Panels offer no way to open an indicator's menu
    // from the program, so the same menu pops up on its own. False when it could not (no pointer, or
    // another client holds the pointer).
    bool popUp();
    // Whether a status notifier host answers on the session bus (org.kde.StatusNotifierWatcher says one
    // is registered). Without one the item shows nowhere: stock GNOME, weston.
    static bool hostPresent();
    // The icon's peaks in a mid grey for light backgrounds, `size` pixels square; the caller owns it.
    static GdkPixbuf* logo(int size);

private:
    AppIndicator* indicator_ = nullptr;
    GtkWidget* menu_ = nullptr;
};
