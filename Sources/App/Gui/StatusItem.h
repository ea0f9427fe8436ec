#pragma once
// The status item: an AppIndicator with our own icon and a menu that is filled when it opens (empty for
// now). Without a status notifier host the library falls back to the tray by itself.

#include <string>

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

private:
    AppIndicator* indicator_ = nullptr;
    GtkWidget* menu_ = nullptr;
};
