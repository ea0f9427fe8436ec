#include "App/Gui/AppDelegate.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include <glib-unix.h>
#include <gtk/gtk.h>

#include "App/GlibMainQueue.h"
#include "App/Gui/DesktopTouches.h"
#include "App/Gui/MenuController.h"
#include "App/Gui/ShellWindow.h"
#include "App/Gui/StatusItem.h"
#include "App/WorkerPool.h"
#include "Finder/LayoutFileSource.h"
#include "Finder/SessionIcons.h"
#include "FolderIcons/GioFolderBackend.h"

namespace {

// A lighting change that follows the appearance waits this long, so a theme switch settles first.
constexpr unsigned appearanceDelayMs = 3000;
constexpr unsigned updateIntervalSeconds = 86400;

int renderThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return int(std::clamp(n / 2, 1u, 4u));
}

}  // namespace

AppDelegate::AppDelegate()
    : defaults_(std::make_unique<Defaults>(Defaults::standardDirectory())),
      choice_(*defaults_, {}, [] { return darkAppearance(); }),
      renders_(std::make_shared<WorkerPool>(renderThreads(), "renders")),
      thumbnailWorkers_(std::make_shared<WorkerPool>(1, "thumbnails")),
      folderWorker_(std::make_shared<WorkerPool>(1, "app.vistamere.folders")) {
    auto main = std::make_shared<GlibMainQueue>();
    folders_ = std::make_unique<FolderSyncDriver>(
        main, folderWorker_,
        FolderSyncDriver::over(std::make_shared<FolderIcons::GioFolderBackend>(
            FolderIcons::GioFolderBackend::defaultIconDirectory())));
    RenderPasses::Services services;
    services.main = main;
    services.renders = renders_;
    services.thumbnails = thumbnailWorkers_;
    passes_ = std::make_unique<RenderPasses>(std::move(services));
    actions_ = std::make_unique<PreferenceActions>(
        *defaults_, PreferenceActions::Reactions{[this](double fade) { renderAll(fade); },
                                                 [this](bool putBack) { syncFolders(putBack); }});
}

AppDelegate::~AppDelegate() {
    *alive_ = false;
    stop();
}

void AppDelegate::stop() {
    for (unsigned* source : {&renderIdle_, &appearanceTimer_, &midnightTimer_, &updateTimer_})
        if (*source) g_source_remove(std::exchange(*source, 0u));
    if (GtkSettings* settings = gtk_settings_get_default())
        for (unsigned long h : settingsHandlers_) g_signal_handler_disconnect(settings, h);
    settingsHandlers_.clear();
    power_.reset();
    touches_.reset();
    menu_.reset();
    if (windowsCurrent_) *windowsCurrent_ = false;
    windows_.clear();
    shell_.reset();
    statusItem_.reset();
}

void AppDelegate::closePreferences() {
    stop();
    defaults_.reset();
}

SceneKind AppDelegate::scene() const { return choice_.scene(); }
bool AppDelegate::night() const { return choice_.night(); }

bool AppDelegate::darkAppearance() {
    GtkSettings* settings = gtk_settings_get_default();
    if (!settings) return false;
    gboolean preferDark = FALSE;
    gchar* theme = nullptr;
    g_object_get(settings, "gtk-application-prefer-dark-theme", &preferDark, "gtk-theme-name", &theme, nullptr);
    std::string name = theme ? theme : "";
    g_free(theme);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return preferDark || name.find("dark") != std::string::npos;
}

void AppDelegate::launch() {
    statusItem_ = std::make_unique<StatusItem>(std::string(g_get_user_cache_dir()) + "/vistamere/status");
    buildMenu();

    // The windows and the first render.
    DesktopShell::Options options;
    std::weak_ptr<bool> alive = alive_;
    options.screensChanged = [this, alive] {
        if (alive.lock()) buildWindows();
    };
    shell_ = std::make_unique<DesktopShell>(std::move(options));
    buildWindows();

    // The preferences file: any edit of what is painted starts a pass. Writes through `apply` react there.
    for (Defaults::Key key : {Defaults::Key::scene, Defaults::Key::daily, Defaults::Key::lighting})
        defaults_->onChange(key, [this, alive] {
            if (alive.lock() && !actions_->applying()) renderSoon();
        });

    defaults_->onChange(Defaults::Key::folders, [this, alive] {
        if (alive.lock() && !actions_->applying()) syncFolders(defaults_->folders() == 0);
    });

    scheduleMidnight();

    // Power-saver on or off: the scenes are shown again, so their sprite layers are built for the new mode.
    power_ = std::make_unique<PowerMonitor>();
    power_->setChangeHandler([this, alive](bool) {
        if (alive.lock()) renderAll(0.7);
    });

    GtkSettings* settings = gtk_settings_get_default();
    auto animations = +[](GObject*, GParamSpec*, gpointer self) { static_cast<AppDelegate*>(self)->updateAnimation(); };
    settingsHandlers_.push_back(
        g_signal_connect(settings, "notify::gtk-enable-animations", G_CALLBACK(animations), this));
    updateAnimation();

    checkForUpdate();
    updateTimer_ = g_timeout_add_seconds(
        updateIntervalSeconds,
        +[](gpointer self) -> gboolean {
            static_cast<AppDelegate*>(self)->checkForUpdate();
            return G_SOURCE_CONTINUE;
        },
        this);

    // The appearance: with lighting following it, a change re-renders once things have settled.
    auto appearance = +[](GObject*, GParamSpec*, gpointer data) {
        auto* self = static_cast<AppDelegate*>(data);
        if (self->defaults_->lighting() != 0) return;
        if (self->appearanceTimer_) g_source_remove(self->appearanceTimer_);
        self->appearanceTimer_ = g_timeout_add(
            appearanceDelayMs,
            +[](gpointer d) -> gboolean {
                auto* me = static_cast<AppDelegate*>(d);
                me->appearanceTimer_ = 0;
                me->renderAll(3);
                return G_SOURCE_REMOVE;
            },
            self);
    };
    settingsHandlers_.push_back(
        g_signal_connect(settings, "notify::gtk-application-prefer-dark-theme", G_CALLBACK(appearance), this));
    settingsHandlers_.push_back(g_signal_connect(settings, "notify::gtk-theme-name", G_CALLBACK(appearance), this));

    // No permission to ask for here: the icon layout is read at once.
    finder_ = std::make_unique<FinderIcons>(SessionIcons::choose(SessionIcons::current()));
    readIcons();
}

void AppDelegate::readIcons() {
    // Reads from now on follow the poll, clicks, occlusion and the source's own change notices.
    DesktopTouches::Hooks hooks;
    hooks.scene = [this] { return scene(); };
    hooks.night = [this] { return night(); };
    hooks.reduceMotion = [] {
        gboolean enabled = TRUE;
        if (GtkSettings* settings = gtk_settings_get_default())
            g_object_get(settings, "gtk-enable-animations", &enabled, nullptr);
        return !enabled;
    };
    hooks.errorChanged = [this](const std::optional<FinderError>& error) {
        finderError_ = error;
        if (menu_) menu_->refresh();
    };
    hooks.layoutChanged = [this](const DeskLayout& layout) {
        layout_ = layout;
        renderAll(0.7);
    };
    touches_ = std::make_unique<DesktopTouches>(*shell_, *finder_, std::move(hooks));
    touches_->controller().start();
}

void AppDelegate::buildWindows() {
    if (!shell_) return;
    // The shell has made the new windows by now; adapters of the old set go quiet.
    if (windowsCurrent_) *windowsCurrent_ = false;
    windowsCurrent_ = std::make_shared<bool>(true);
    windows_ = ShellWindow::all(*shell_, windowsCurrent_);
    renderAll(0.7);
}

void AppDelegate::updateAnimation() {
    if (!shell_) return;
    gboolean enabled = TRUE;
    if (GtkSettings* settings = gtk_settings_get_default())
        g_object_get(settings, "gtk-enable-animations", &enabled, nullptr);
    shell_->setAnimating(enabled);
}

void AppDelegate::renderAll(double fade) {
    if (!shell_) return;
    RenderPasses::Pass pass;
    pass.windows = windows_;
    std::vector<Monitor> monitors;
    for (const auto& w : windows_) monitors.push_back(w->monitor());
    pass.primaryHeight = RenderPasses::primaryHeight(monitors);
    pass.layout = layout_;
    pass.kind = scene();
    pass.night = night();
    pass.fade = fade;
    passes_->renderAll(pass);
    syncFolders(false);
    // The scene or the time of day may have moved on: the menu's checkmark and thumbnails follow.
    if (menu_) menu_->refresh();
}

void AppDelegate::syncFolders(bool putBack) { folders_->syncFolders(putBack, defaults_->folders(), scene()); }

// Several keys of one edit arrive one by one: one pass for all of them.
void AppDelegate::renderSoon() {
    if (renderIdle_) return;
    renderIdle_ = g_idle_add(
        +[](gpointer self) -> gboolean {
            auto* me = static_cast<AppDelegate*>(self);
            me->renderIdle_ = 0;
            me->renderAll(0.7);
            return G_SOURCE_REMOVE;
        },
        this);
}

void AppDelegate::scheduleMidnight() {
    const std::time_t now = std::time(nullptr);
    std::tm next{};
    localtime_r(&now, &next);
    next.tm_hour = 24;
    next.tm_min = 0;
    next.tm_sec = 1;  // just past midnight, so the new date is certain to read
    next.tm_isdst = -1;
    const double seconds = std::difftime(std::mktime(&next), now);
    midnightTimer_ = g_timeout_add_seconds(
        guint(std::clamp(seconds, 1.0, 90000.0)),
        +[](gpointer self) -> gboolean {
            auto* me = static_cast<AppDelegate*>(self);
            me->midnightTimer_ = 0;
            if (me->defaults_->daily()) me->renderAll(0.7);
            me->scheduleMidnight();
            return G_SOURCE_REMOVE;
        },
        this);
}

void AppDelegate::checkForUpdate() {
    std::weak_ptr<bool> alive = alive_;
    update_.start(g_main_context_default(), [this, alive](Update::CheckResult r) {
        if (!alive.lock() || !r.newer) return;
        newerVersion_ = *r.newer;
        if (menu_) menu_->refresh();
    });
}

void AppDelegate::apply(const std::string& key, const PreferenceValue& value) { actions_->apply(key, value); }

// The status menu and the windows it opens.
void AppDelegate::buildMenu() {
    MenuController::Host host;
    host.defaults = defaults_.get();
    host.thumbnails = &passes_->thumbnails();
    host.scene = [this] { return scene(); };
    host.night = [this] { return night(); };
    host.apply = [this](const std::string& key, const PreferenceValue& value) { apply(key, value); };
    host.update = [this] { return newerVersion_; };
    host.desktopProblem = [this]() -> std::optional<MenuController::Problem> {
        const auto denial = folders_->denial();
        if (!denial) return std::nullopt;
        return MenuController::Problem{denial->directory, denial->reason};
    };
    host.finderProblem = [this]() -> std::optional<MenuController::Problem> {
        if (!finderError_ || !finder_) return std::nullopt;
        // No icon manager and no layout file: there are no Desktop icons to keep clear, nothing to fix.
        if (dynamic_cast<const LayoutFileSource*>(&finder_->source()) &&
            !std::filesystem::exists(LayoutFileSource::pathIn(g_get_user_config_dir())))
            return std::nullopt;
        return MenuController::Problem{finder_->source().name(), finderError_->reason};
    };
    // Until the quit with the windows' fade exists, the menu's Quit ends the application directly.
    host.quit = [] {
        if (GApplication* app = g_application_get_default()) g_application_quit(app);
    };
    menu_ = std::make_unique<MenuController>(statusItem_->menu(), std::move(host));
    std::weak_ptr<bool> alive = alive_;
    folders_->onDeniedChanged([this, alive] {
        if (alive.lock() && menu_) menu_->refresh();
    });
}

namespace appgui {

namespace {

struct Running {
    GtkApplication* app = nullptr;
    std::unique_ptr<AppDelegate> delegate;
    int status = 0;
};

gboolean onSignal(gpointer data) {
    auto* running = static_cast<Running*>(data);
    g_application_quit(G_APPLICATION(running->app));
    return G_SOURCE_CONTINUE;
}

void onActivate(GApplication* app, gpointer data) {
    auto* running = static_cast<Running*>(data);
    if (running->delegate) return;  // started again: the one instance is already showing
    try {
        running->delegate = std::make_unique<AppDelegate>();
        // No application window keeps the application alive: the desktop windows are ours.
        g_application_hold(app);
        running->delegate->launch();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vistamere: %s\n", e.what());
        running->status = 1;
        g_application_quit(app);
    }
}

}  // namespace

int run(const char* argv0) {
    Running running;
    running.app = gtk_application_new("app.vistamere.Vistamere", G_APPLICATION_DEFAULT_FLAGS);
    g_signal_connect(running.app, "activate", G_CALLBACK(onActivate), &running);
    const guint term = g_unix_signal_add(SIGTERM, onSignal, &running);
    const guint interrupt = g_unix_signal_add(SIGINT, onSignal, &running);
    char* args[] = {const_cast<char*>(argv0), nullptr};
    const int status = g_application_run(G_APPLICATION(running.app), 1, args);
    g_source_remove(term);
    g_source_remove(interrupt);
    if (running.delegate) running.delegate->closePreferences();
    g_object_unref(running.app);
    std::fflush(stdout);
    std::fflush(stderr);
    // Renders and thumbnails still under way would hold the exit for seconds; nothing they make is kept,
    // so the process ends without waiting for them.
    std::_Exit(status != 0 ? status : running.status);
}

}  // namespace appgui
