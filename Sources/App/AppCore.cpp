#include "App/AppCore.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace {

// The day is checked at least this often, in seconds: a suspended machine or a clock set forward can pass
// midnight without a timer firing there.
constexpr double dayCheckInterval = 60;

}  // namespace

AppCore::AppCore(Defaults& defaults, RenderPasses& passes, FolderSyncDriver& folders, Services services)
    : defaults_(defaults),
      passes_(passes),
      folders_(folders),
      services_(std::move(services)),
      choice_(defaults, services_.today, [settings = services_.settings] { return settings->darkAppearance(); }) {
    if (!services_.today) services_.today = SceneChoice::localToday;
    if (!services_.secondsToMidnight) services_.secondsToMidnight = localSecondsToMidnight;
}

AppCore::~AppCore() {
    *alive_ = false;
    for (int id : handlers_) defaults_.removeHandler(id);
    for (Timers::Id id : {dayTimer_, quitTimer_, releaseTimer_})
        if (id) services_.timers->cancel(id);
}

void AppCore::launch() {
    if (launched_) return;
    launched_ = true;
    buildWindows();
    // Any edit of what is painted starts one pass, however many keys it touched.
    for (Defaults::Key key : {Defaults::Key::scene, Defaults::Key::daily, Defaults::Key::lighting})
        handlers_.push_back(defaults_.onChange(key, [this] {
            if (!writing()) renderSoon();
        }));
    handlers_.push_back(defaults_.onChange(Defaults::Key::folders, [this] {
        if (!writing()) syncFolders(defaults_.folders() == 0);
    }));
    lastDay_ = services_.today();
    armDayTimer();
}

SceneKind AppCore::scene() const { return choice_.scene(); }
bool AppCore::night() const { return choice_.night(); }

void AppCore::buildWindows() {
    if (!launched_ || quitting_) return;
    windows_ = services_.shell->buildWindows();
    // New windows count as seen until the platform says otherwise.
    visible_.assign(windows_.size(), true);
    updateAnimation();
    renderAll(changeFade);
}

void AppCore::updateAnimation() {
    const bool still = locked_ || services_.settings->reduceMotion();
    for (size_t i = 0; i < windows_.size(); ++i) services_.shell->setAnimating(i, visible_[i] && !still);
}

void AppCore::renderAll(double fade) {
    if (!launched_ || quitting_) return;
    RenderPasses::Pass pass;
    pass.windows = windows_;
    std::vector<Monitor> monitors;
    for (const auto& w : windows_) monitors.push_back(w->monitor());
    pass.primaryHeight = RenderPasses::primaryHeight(monitors);
    pass.layout = layout_;
    pass.kind = scene();
    pass.night = night();
    pass.fade = fade;
    passes_.renderAll(pass);
    syncFolders(false);
    if (services_.releaseMemory) {
        if (releaseTimer_) services_.timers->cancel(releaseTimer_);
        releaseTimer_ = services_.timers->after(releaseDelay, [this] {
            releaseTimer_ = 0;
            services_.releaseMemory();
        });
    }
    if (services_.passStarted) services_.passStarted();
}

bool AppCore::writing() const { return services_.writing && services_.writing(); }

void AppCore::syncFolders(bool putBack) { folders_.syncFolders(putBack, defaults_.folders(), scene()); }

void AppCore::setLayout(const DeskLayout& layout) {
    if (layout == layout_) return;
    layout_ = layout;
    renderAll(changeFade);
}

void AppCore::monitorsChanged() { buildWindows(); }

void AppCore::appearanceChanged() {
    // A theme switch reports several settings at once: they make one pass, on the next turn of the loop.
    if (appearancePending_) return;
    appearancePending_ = true;
    std::weak_ptr<bool> alive = alive_;
    services_.main->post([this, alive] {
        if (!alive.lock()) return;
        appearancePending_ = false;
        if (defaults_.lighting() == 0) renderAll(appearanceFade);
    });
}

void AppCore::reduceMotionChanged() { updateAnimation(); }

// The sprite layers are built for the power mode at the next show.
void AppCore::powerChanged() { renderAll(changeFade); }

void AppCore::occlusionChanged(size_t index, bool visible) {
    if (index >= visible_.size() || visible_[index] == visible) return;
    visible_[index] = visible;
    updateAnimation();
}

void AppCore::sessionLockChanged(bool locked) {
    if (locked == locked_) return;
    locked_ = locked;
    updateAnimation();
}

void AppCore::quit(std::function<void()> done) {
    if (quitting_) return;
    quitting_ = true;
    if (!services_.shell->anyVisible()) {
        done();
        return;
    }
    services_.shell->fadeOut(quitFade);
    quitTimer_ = services_.timers->after(quitFade, [this, done = std::move(done)] {
        quitTimer_ = 0;
        done();
    });
}

void AppCore::renderSoon() {
    if (renderPending_) return;
    renderPending_ = true;
    std::weak_ptr<bool> alive = alive_;
    services_.main->post([this, alive] {
        if (!alive.lock()) return;
        renderPending_ = false;
        renderAll(changeFade);
    });
}

void AppCore::armDayTimer() {
    // Just past midnight, so the new date is certain to read.
    const double wait = std::clamp(services_.secondsToMidnight() + 0.5, 0.5, dayCheckInterval);
    dayTimer_ = services_.timers->after(wait, [this] {
        dayTimer_ = 0;
        dayTick();
        armDayTimer();
    });
}

void AppCore::dayTick() {
    const auto today = services_.today();
    if (today == lastDay_) return;
    lastDay_ = today;
    if (defaults_.daily()) renderAll(changeFade);
}

double AppCore::localSecondsToMidnight() {
    const std::time_t now = std::time(nullptr);
    std::tm next{};
    localtime_r(&now, &next);
    next.tm_mday += 1;
    next.tm_hour = 0;
    next.tm_min = 0;
    next.tm_sec = 0;
    next.tm_isdst = -1;
    return std::difftime(std::mktime(&next), now);
}
