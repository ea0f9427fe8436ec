#pragma once
// The running program: one per process, on the main thread of a single-instance GtkApplication. It owns
// the preferences, the desktop shell's windows, the render passes, the icon layout and the update check,
// and follows the preferences file, the monitors, the appearance, the day and the animation settings.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "App/Defaults.h"
#include "App/FolderSyncDriver.h"
#include "App/PreferenceActions.h"
#include "App/RenderPasses.h"
#include "App/SceneChoice.h"
#include "Finder/DeskLayout.h"
#include "Finder/FinderIcons.h"
#include "Platform/Desktop/DesktopShell.h"
#include "Platform/Desktop/PowerMonitor.h"
#include "Settings/Preferences.h"
#include "Update/UpdateCheck.h"

class DesktopTouches;
class MenuController;
class StatusItem;
class WorkerPool;

class AppDelegate {
public:
    AppDelegate();
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The launch sequence; needs GTK initialised on an X11 display.
    void launch();
    // Takes the windows down and gives the user's wallpaper back. Background work is left to die with
    // the process.
    void stop();
    // Lets the preferences writes under way reach the file; nothing reads them afterwards.
    void closePreferences();

    SceneKind scene() const;
    bool night() const;
    // Replaces every desktop window and starts a render pass.
    void buildWindows();
    // Animation runs unless the user turned animations off.
    void updateAnimation();
    void renderAll(double fade);
    void checkForUpdate();
    // Paints the Desktop folders in the scene's theme, or with `putBack` gives them their own icons back.
    void syncFolders(bool putBack);
    // The one write path of the preferences, for the status menu and the settings window.
    void apply(const std::string& key, const PreferenceValue& value);

    // The desktop's appearance is dark (the dark variant is preferred, or the theme is a dark one).
    static bool darkAppearance();

private:
    void renderSoon();
    void scheduleMidnight();
    void readIcons();
    void buildMenu();

    std::unique_ptr<Defaults> defaults_;
    SceneChoice choice_;
    std::shared_ptr<WorkerPool> renders_, thumbnailWorkers_, folderWorker_;
    std::unique_ptr<RenderPasses> passes_;
    std::unique_ptr<FolderSyncDriver> folders_;
    std::unique_ptr<StatusItem> statusItem_;
    std::unique_ptr<PowerMonitor> power_;
    std::unique_ptr<DesktopShell> shell_;
    std::vector<std::shared_ptr<SceneWindow>> windows_;
    std::shared_ptr<bool> windowsCurrent_;
    std::unique_ptr<FinderIcons> finder_;
    // Icon-layout polling and clicks on the desktop; its controller takes occlusion changes.
    std::unique_ptr<DesktopTouches> touches_;
    DeskLayout layout_;
    Update::UpdateCheck update_;
    std::optional<std::string> newerVersion_;
    std::unique_ptr<PreferenceActions> actions_;
    std::unique_ptr<MenuController> menu_;
    std::optional<FinderError> finderError_;  // the last icon layout read failed
    unsigned renderIdle_ = 0, appearanceTimer_ = 0, midnightTimer_ = 0, updateTimer_ = 0;
    std::vector<unsigned long> settingsHandlers_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

namespace appgui {
// Runs the program until it is told to quit (SIGTERM, SIGINT); a second start only reaches the first.
// Returns the exit status.
int run(const char* argv0);
}  // namespace appgui
