#pragma once
// The settings window: the login item, the scene grid, the daily change, the lighting and the folder icons.
// It never writes a preference itself: every change goes through the application's `apply`, so the window
// and the status menu behave alike. The login item is the only thing it changes directly.
//
// The window is made on the first `open()` and kept; closing it only hides it. Main thread only.

#include "Settings/LoginItem.h"
#include "Settings/Preferences.h"
#include "Settings/Window/ThumbnailSource.h"

#include <functional>
#include <memory>
#include <string>

typedef struct _GtkWidget GtkWidget;

class SettingsWindow {
public:
    struct Host {
        std::function<SceneKind()> current;  // the scene shown now; marks the selected cell
        std::function<bool()> night;         // the time of day whose thumbnails are shown
        std::function<Preferences()> preferences;
        std::function<void(const std::string& key, const PreferenceValue& value)> apply;
        std::shared_ptr<const ThumbnailSource> thumbnails;
    };

    SettingsWindow(Host host, LoginItem login);
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Makes the window on first use (centred on the screen), then shows it where the user left it.
    void open();
    // A set of thumbnails is finished: the grid is built again with them.
    void thumbnailsReady();
    // A preference changed, whoever wrote it: the controls and the selected cell follow.
    void preferencesChanged();

    // The toplevel window once it exists, for the application's focus handling and for tests.
    GtkWidget* window() const;

    struct Widgets;

private:
    std::unique_ptr<Widgets> w_;
};
