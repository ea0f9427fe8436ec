#pragma once
// The status menu on screen and what its items open: the menu is filled again whenever what it shows
// changes (preferences, thumbnails, the update, the two access notices, the time of day), and it owns the
// settings window, the About dialog and the two access help dialogs. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "App/MenuEntry.h"
#include "Scene/SceneKind.h"
#include "Settings/Preferences.h"

class Defaults;
class SettingsWindow;
class Thumbnails;
typedef struct _GtkMenu GtkMenu;
typedef struct _GtkWidget GtkWidget;

class MenuController {
public:
    // Something the program could not do, for the help dialogs: where (a directory or an icon source) and why.
    struct Problem {
        std::string where;
        std::string reason;
    };

    struct Host {
        Defaults* defaults = nullptr;
        Thumbnails* thumbnails = nullptr;
        std::function<SceneKind()> scene;
        std::function<bool()> night;
        // The one write path of the preferences, shared with the settings window.
        std::function<void(const std::string& key, const PreferenceValue& value)> apply;
        std::function<std::optional<std::string>()> update;
        std::function<std::optional<Problem>()> desktopProblem;  // present while the Desktop refused us
        std::function<std::optional<Problem>()> finderProblem;   // present while the icon layout cannot be read
        // Ends the program; quits the default GApplication when empty.
        std::function<void()> quit;
    };

    MenuController(GtkMenu* menu, Host host);
    ~MenuController();
    MenuController(const MenuController&) = delete;
    MenuController& operator=(const MenuController&) = delete;

    // Something the menu shows may have changed: it is filled again once the current event is handled.
    void refresh();
    // Does what choosing the entry does.
    void choose(const MenuEntry& entry);
    void openSettings();
    void about();

private:
    // What the menu shows now.
    std::vector<MenuEntry> entries() const;
    void rebuild();
    void explain(const char* title, const std::string& primary, const std::string& secondary,
                 const std::string& folderToOpen);

    GtkMenu* menu_;
    Host host_;
    std::unique_ptr<SettingsWindow> settings_;
    GtkWidget* about_ = nullptr;
    std::vector<int> preferenceHandlers_;
    int thumbnailHandler_ = -1;
    unsigned rebuildIdle_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
