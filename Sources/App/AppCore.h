#pragma once
// What the running program decides, free of any toolkit: when to rebuild the desktop windows, when to
// render, when sprites may move, when the day's scene changes, and how quitting ends. The platform feeds
// it events (monitors, appearance, motion and power settings, occlusion, a locked session, quit) and
// lends it the desktop shell, the system settings, the main queue and timers; tests drive it with fakes.
// Main thread only.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "App/AppShell.h"
#include "App/Defaults.h"
#include "App/FolderSyncDriver.h"
#include "App/MainQueue.h"
#include "App/RenderPasses.h"
#include "App/SceneChoice.h"
#include "App/SystemSettings.h"
#include "App/Timers.h"
#include "Finder/DeskLayout.h"

class AppCore {
public:
    struct Services {
        std::shared_ptr<MainQueue> main;
        std::shared_ptr<Timers> timers;
        std::shared_ptr<AppShell> shell;
        std::shared_ptr<SystemSettings> settings;
        SceneChoice::Today today;                   // the local date when empty
        std::function<double()> secondsToMidnight;  // local time when empty
        // True while a writer of the preferences reacts to its own change, which the core then leaves alone.
        std::function<bool()> writing;
        // Called after every render pass started.
        std::function<void()> passStarted;
        // Called once rendering has paused for releaseDelay: the memory renders keep for the next one
        // (pictures', heaps') goes back to the system.
        std::function<void()> releaseMemory;
    };

    // Seconds without a new pass before the kept memory is released: longer than the passes of one
    // burst of changes (a theme switch, moving icons), far shorter than the hours between scene changes.
    static constexpr double releaseDelay = 120;

    // Fades, in seconds: window rebuilds, new days, power and preference changes; an appearance change;
    // the windows going out on quit.
    static constexpr double changeFade = 0.7, appearanceFade = 3, quitFade = 0.5;

    // The store, the passes and the folder driver must outlive the core.
    AppCore(Defaults& defaults, RenderPasses& passes, FolderSyncDriver& folders, Services services);
    ~AppCore();
    AppCore(const AppCore&) = delete;
    AppCore& operator=(const AppCore&) = delete;

    // Follows the preferences and the calendar, builds the windows and starts the first pass.
    void launch();

    SceneKind scene() const;
    bool night() const;
    const DeskLayout& layout() const { return layout_; }
    const std::vector<std::shared_ptr<SceneWindow>>& windows() const { return windows_; }
    bool quitting() const { return quitting_; }
    // Whether window `index` of the current set can be seen: not fully covered, the screen unlocked.
    bool showing(size_t index) const { return index < visible_.size() && visible_[index] && !locked_; }

    // Replaces every desktop window, sets their animation, and starts a pass.
    void buildWindows();
    // Each window animates only while it can be seen, the session is unlocked and motion is welcome.
    void updateAnimation();
    // One render pass for every window, then a folder synchronisation. Nothing before launch or once
    // quitting.
    void renderAll(double fade);
    void syncFolders(bool putBack);
    // A new desktop icon layout; a pass when it differs from the last.
    void setLayout(const DeskLayout& layout);

    // Events from the platform.
    void monitorsChanged();
    void appearanceChanged();
    void reduceMotionChanged();
    void powerChanged();
    // Window `index` of the current set became visible, or fully covered.
    void occlusionChanged(size_t index, bool visible);
    // The session was locked (screen saver or lock screen up) or unlocked: nothing of the desktop shows.
    void sessionLockChanged(bool locked);
    // Fades visible windows out, then calls `done`; at once when none is visible. Later requests are
    // ignored.
    void quit(std::function<void()> done);

    // Seconds from now to the next local midnight.
    static double localSecondsToMidnight();

private:
    bool writing() const;
    void renderSoon();
    void armDayTimer();
    void dayTick();

    Defaults& defaults_;
    RenderPasses& passes_;
    FolderSyncDriver& folders_;
    Services services_;
    SceneChoice choice_;
    std::vector<std::shared_ptr<SceneWindow>> windows_;
    std::vector<bool> visible_;
    DeskLayout layout_;
    std::chrono::year_month_day lastDay_{};
    std::vector<int> handlers_;
    Timers::Id dayTimer_ = 0, quitTimer_ = 0, releaseTimer_ = 0;
    bool launched_ = false, locked_ = false, quitting_ = false;
    bool renderPending_ = false, appearancePending_ = false;
    // Posted work checks this: the core may be gone by the time it runs.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
