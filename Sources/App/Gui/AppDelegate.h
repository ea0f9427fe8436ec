#pragma once
// The running program: one per process, on the main thread of a single-instance GtkApplication. It owns
// the preferences, the desktop shell, the render passes and the update check, and connects the session's
// events (monitors, appearance, animation and power settings, window visibility, a locked screen) to the
// application core, which decides what follows from them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "App/AppCore.h"
#include "App/Defaults.h"
#include "App/FolderSyncDriver.h"
#include "App/PreferenceActions.h"
#include "Finder/SessionIcons.h"
#include "App/RenderPasses.h"
#include "Finder/DeskLayout.h"
#include "Finder/FinderIcons.h"
#include "Platform/Desktop/DesktopShell.h"
#include "Platform/Desktop/PowerMonitor.h"
#include "Settings/Preferences.h"
#include "Update/UpdateCheck.h"

class DesktopShellHost;
class DesktopTouches;
class GtkSystemSettings;
class MenuController;
class ScreenLock;
class StatusItem;
class WorkerPool;
struct _GApplication;

class AppDelegate {
public:
    // `app` is what `quit()` ends.
    explicit AppDelegate(_GApplication* app = nullptr);
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
    // Fades the desktop windows out, then quits the application.
    void quit();
    // The program was started again while it runs: the status menu opens at the mouse.
    void reopen();
    // Opens the settings window; the welcome menu, not open yet, then stays shut.
    void openSettings();

    SceneKind scene() const;
    bool night() const;
    // Replaces every desktop window and starts a render pass.
    void buildWindows();
    // A window animates while it can be seen, the screen is unlocked and animations are on.
    void updateAnimation();
    void renderAll(double fade);
    void checkForUpdate();
    // Paints the Desktop folders in the scene's theme, or with `putBack` gives them their own icons back.
    void syncFolders(bool putBack);
    // The one write path of the preferences, for the status menu and the settings window.
    void apply(const std::string& key, const PreferenceValue& value);

    AppCore& core() { return *core_; }

private:
    void readIcons();
    // The icon manager of the session now; a new one (started after us, or replaced) gets its own reader.
    void followIconManager();
    static SessionIcons::Session session();
    void buildMenu();
    // On the very first launch the status menu opens once by itself, shortly after the start.
    void welcome();
    // What decides whether a second start opens the menu or the settings.
    session::Facts secondStartFacts() const;

    _GApplication* app_;
    std::unique_ptr<Defaults> defaults_;
    std::shared_ptr<WorkerPool> renders_, thumbnailWorkers_, folderWorker_;
    std::unique_ptr<RenderPasses> passes_;
    std::unique_ptr<FolderSyncDriver> folders_;
    std::shared_ptr<DesktopShellHost> host_;
    std::shared_ptr<GtkSystemSettings> settings_;
    // Declared after what it borrows, so it goes first.
    std::unique_ptr<AppCore> core_;
    std::unique_ptr<StatusItem> statusItem_;
    std::unique_ptr<PowerMonitor> power_;
    std::unique_ptr<ScreenLock> lock_;
    std::unique_ptr<DesktopShell> shell_;
    std::unique_ptr<FinderIcons> finder_;
    // Icon-layout polling and clicks on the desktop; its controller takes occlusion changes.
    std::unique_ptr<DesktopTouches> touches_;
    Update::UpdateCheck update_;
    std::optional<std::string> newerVersion_;
    std::unique_ptr<PreferenceActions> actions_;
    std::unique_ptr<MenuController> menu_;
    std::optional<FinderError> finderError_;  // the last icon layout read failed
    unsigned updateTimer_ = 0, welcomeTimer_ = 0, managerTimer_ = 0;
    bool statusHost_ = true;  // a status notifier host shows our item
    std::string iconManager_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

namespace appgui {
// Runs the program until it is told to quit (SIGTERM, SIGINT); a second start only reaches the first.
// With `settings`, the settings window opens: in this process, or in the one already running, and then
// this one ends at once. Returns the exit status.
int run(const char* argv0, bool settings = false);
}  // namespace appgui
