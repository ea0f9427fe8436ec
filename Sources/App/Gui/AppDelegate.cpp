#include "App/Gui/AppDelegate.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include <glib-unix.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "App/GlibMainQueue.h"
#include "App/Gui/DesktopShellHost.h"
#include "App/Gui/DesktopTouches.h"
#include "App/Gui/GtkSystemSettings.h"
#include "App/Gui/MenuController.h"
#include "App/Gui/StatusItem.h"
#include "App/ScreenLock.h"
#include "App/WorkerPool.h"
#include "Finder/LayoutFileSource.h"
#include "Finder/SessionIcons.h"
#include "FolderIcons/GioFolderBackend.h"
#include "Platform/Desktop/SessionChoice.h"
#include "Platform/Background/Background.h"
#include "Platform/Desktop/WaylandLayer.h"
#include "Platform/Dispatch/Heap.h"
#include "Platform/Files/Files.h"
#include "Platform/Graphics/PixelStore.h"
#include "Pipeline/Render.h"

namespace {

constexpr unsigned updateIntervalSeconds = 86400;
constexpr unsigned managerPollSeconds = 3;
constexpr unsigned welcomeDelayMs = 1500;

int renderThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return int(std::clamp(n / 2, 1u, 4u));
}

// As soon as GTK knows the monitors, a quarter of a second before the first render is asked for: the
// memory of each monitor's picture is brought in beside the start-up, so the first render does not
// fault it in page by page.
void prepareFirstPictures(GApplication*, gpointer) {
    GdkDisplay* display = gdk_display_get_default();
    const int monitors = display ? gdk_display_get_n_monitors(display) : 0;
    for (int i = 0; i < monitors; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        if (!monitor) continue;
        GdkRectangle area{};
        gdk_monitor_get_geometry(monitor, &area);
        const int scale = std::max(1, gdk_monitor_get_scale_factor(monitor));
        SceneSpec spec;
        spec.size = {static_cast<double>(area.width), static_cast<double>(area.height)};
        spec.scale = scale;
        const std::size_t bytes = Renderer::pictureBytes(spec);
        if (bytes > 0) background::run([bytes] { cg::PixelStore::prepare(bytes); });
    }
}

}  // namespace

AppDelegate::AppDelegate(GApplication* app)
    : app_(app),
      defaults_(std::make_unique<Defaults>(Defaults::standardDirectory())),
      renders_(std::make_shared<WorkerPool>(renderThreads(), "renders")),
      thumbnailWorkers_(std::make_shared<WorkerPool>(1, "thumbnails")),
      folderWorker_(std::make_shared<WorkerPool>(1, "app.vistamere.folders")),
      host_(std::make_shared<DesktopShellHost>()) {
    auto main = std::make_shared<GlibMainQueue>();
    folders_ = std::make_unique<FolderSyncDriver>(
        main, folderWorker_,
        FolderSyncDriver::over(std::make_shared<FolderIcons::GioFolderBackend>(
            FolderIcons::GioFolderBackend::defaultIconDirectory())));
    // The render worker's heap, brought in while the windows are built (loop threads warmed theirs at start).
    renders_->run([] { dispatch::warmHeap(dispatch::kLoopThreadWarmth); });
    RenderPasses::Services services;
    services.main = main;
    services.renders = renders_;
    services.thumbnails = thumbnailWorkers_;
    passes_ = std::make_unique<RenderPasses>(std::move(services));
    actions_ = std::make_unique<PreferenceActions>(
        *defaults_, PreferenceActions::Reactions{[this](double fade) { renderAll(fade); },
                                                 [this](bool putBack) { syncFolders(putBack); }});
    // Settings changes can arrive only from the main loop, once the core exists.
    settings_ = std::make_shared<GtkSystemSettings>([this] { core_->appearanceChanged(); },
                                                    [this] { core_->reduceMotionChanged(); });
    AppCore::Services core;
    core.main = main;
    core.timers = main;
    core.shell = host_;
    core.settings = settings_;
    // Writes through `apply` react there, so one choice gives one render.
    core.writing = [this] { return actions_->applying(); };
    // The scene or the time of day may have moved on: the menu's checkmark and thumbnails follow.
    core.passStarted = [this] {
        if (menu_) menu_->refresh();
    };
    core.releaseMemory = [] {
        background::run([] {
            cg::PixelStore::release();
            dispatch::releaseFreedMemory();
        });
    };
    core_ = std::make_unique<AppCore>(*defaults_, *passes_, *folders_, std::move(core));
}

AppDelegate::~AppDelegate() {
    *alive_ = false;
    stop();
}

void AppDelegate::stop() {
    if (updateTimer_) g_source_remove(std::exchange(updateTimer_, 0u));
    if (managerTimer_) g_source_remove(std::exchange(managerTimer_, 0u));
    if (welcomeTimer_) g_source_remove(std::exchange(welcomeTimer_, 0u));
    lock_.reset();
    power_.reset();
    touches_.reset();
    menu_.reset();
    host_->attach(nullptr);
    shell_.reset();
    statusItem_.reset();
}

void AppDelegate::closePreferences() {
    stop();
    core_.reset();
    settings_.reset();
    defaults_.reset();
}

void AppDelegate::quit() {
    GApplication* app = app_;
    core_->quit([app] {
        if (app) g_application_quit(app);
    });
}

SceneKind AppDelegate::scene() const { return core_->scene(); }
bool AppDelegate::night() const { return core_->night(); }

void AppDelegate::launch() {
    statusItem_ = std::make_unique<StatusItem>(std::string(g_get_user_cache_dir()) + "/vistamere/status");
    statusHost_ = StatusItem::hostPresent();
    if (!statusHost_)
        std::fprintf(stderr, "vistamere: no status notifier host answers (org.kde.StatusNotifierWatcher), so the "
                             "status item shows nowhere: the application launcher opens the settings, and starting "
                             "Vistamere again opens %s\n",
                     secondStartFacts().menuAtPointer ? "its menu at the mouse" : "them as well");
    buildMenu();

    // The windows, their visibility and the first render.
    DesktopShell::Options options;
    std::weak_ptr<bool> alive = alive_;
    options.screensChanged = [this, alive] {
        if (alive.lock()) core_->monitorsChanged();
    };
    shell_ = std::make_unique<DesktopShell>(std::move(options));
    host_->attach(shell_.get());
    host_->setOcclusionHandler([this](size_t index, bool visible) {
        core_->occlusionChanged(index, visible);
        // More of the desktop may show now: the icons are read again.
        if (touches_) touches_->controller().occlusionChanged();
    });
    // Also follows the preferences file and the calendar from here on.
    core_->launch();

    // Power-saver on or off: the scenes are shown again, so their sprite layers are built for the new mode.
    power_ = std::make_unique<PowerMonitor>();
    power_->setChangeHandler([this, alive](bool) {
        if (alive.lock()) core_->powerChanged();
    });

    // Nothing of the desktop shows behind a lock screen or a screen saver.
    lock_ = std::make_unique<ScreenLock>([this](bool locked) {
        core_->sessionLockChanged(locked);
        if (touches_) touches_->controller().occlusionChanged();
    });

    checkForUpdate();
    updateTimer_ = g_timeout_add_seconds(
        updateIntervalSeconds,
        +[](gpointer self) -> gboolean {
            static_cast<AppDelegate*>(self)->checkForUpdate();
            return G_SOURCE_CONTINUE;
        },
        this);

    // No permission to ask for here: the icon layout is read at once.
    const SessionIcons::Session now = session();
    iconManager_ = SessionIcons::manager(now);
    finder_ = std::make_unique<FinderIcons>(SessionIcons::choose(now));
    readIcons();
    // An icon manager may start after us (login order, a restart) or go: look every few seconds.
    managerTimer_ = g_timeout_add_seconds(
        managerPollSeconds,
        +[](gpointer self) -> gboolean {
            static_cast<AppDelegate*>(self)->followIconManager();
            return G_SOURCE_CONTINUE;
        },
        this);
    welcome();
}

void AppDelegate::welcome() {
    if (defaults_->welcomed()) return;
    // Written before the menu opens, so however this launch ends the menu never opens by itself again.
    defaults_->setWelcomed(true);
    welcomeTimer_ = g_timeout_add(
        welcomeDelayMs,
        +[](gpointer self) -> gboolean {
            auto* delegate = static_cast<AppDelegate*>(self);
            delegate->welcomeTimer_ = 0;
            delegate->reopen();
            return G_SOURCE_REMOVE;
        },
        this);
}

session::Facts AppDelegate::secondStartFacts() const {
    session::Facts facts;
    facts.statusHost = statusHost_;
    GdkDisplay* display = gdk_display_get_default();
    facts.menuAtPointer = display && GDK_IS_X11_DISPLAY(display);
    return facts;
}

void AppDelegate::reopen() {
    if (session::secondStartOpensSettings(secondStartFacts())) {
        openSettings();
        return;
    }
    if (statusItem_ && !statusItem_->popUp()) {
        std::fprintf(stderr, "vistamere: the status menu could not open at the mouse\n");
        // Nothing else leads to the settings then.
        if (!statusHost_) openSettings();
    }
}

void AppDelegate::openSettings() {
    // The window shows all the menu would, so the menu does not open over it.
    if (welcomeTimer_) g_source_remove(std::exchange(welcomeTimer_, 0u));
    if (menu_) menu_->openSettings();
}

SessionIcons::Session AppDelegate::session() {
    SessionIcons::Session s = SessionIcons::current();
    // The primary monitor's workarea in points: managers that lay out icons themselves fill it by columns.
    if (GdkDisplay* display = gdk_display_get_default()) {
        GdkMonitor* primary = gdk_display_get_primary_monitor(display);
        if (!primary && gdk_display_get_n_monitors(display) > 0) primary = gdk_display_get_monitor(display, 0);
        if (primary) {
            GdkRectangle area{};
            gdk_monitor_get_workarea(primary, &area);
            if (area.width > 0 && area.height > 0) s.workarea = {double(area.width), double(area.height)};
        }
    }
    return s;
}

void AppDelegate::followIconManager() {
    const SessionIcons::Session now = session();
    const std::string manager = SessionIcons::manager(now);
    if (manager == iconManager_) return;
    std::fprintf(stderr, "vistamere: the icon manager is now %s\n", manager.empty() ? "none" : manager.c_str());
    iconManager_ = manager;
    // The reads under way answer into the old controller, which is gone: its answers are dropped.
    touches_.reset();
    finder_ = std::make_unique<FinderIcons>(SessionIcons::choose(now));
    readIcons();
}

void AppDelegate::readIcons() {
    // Reads from now on follow the poll, clicks, occlusion and the source's own change notices.
    DesktopTouches::Hooks hooks;
    hooks.scene = [this] { return scene(); };
    hooks.night = [this] { return night(); };
    hooks.reduceMotion = [this] { return settings_->reduceMotion(); };
    hooks.errorChanged = [this](const std::optional<FinderError>& error) {
        finderError_ = error;
        if (menu_) menu_->refresh();
    };
    hooks.layoutChanged = [this](const DeskLayout& layout) { core_->setLayout(layout); };
    hooks.windowVisible = [this](size_t index) { return core_->showing(index); };
    touches_ = std::make_unique<DesktopTouches>(*shell_, *finder_, std::move(hooks));
    touches_->controller().start();
}

void AppDelegate::buildWindows() { core_->buildWindows(); }
void AppDelegate::updateAnimation() { core_->updateAnimation(); }
void AppDelegate::renderAll(double fade) { core_->renderAll(fade); }
void AppDelegate::syncFolders(bool putBack) { core_->syncFolders(putBack); }

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
        // No icon manager and no layout file: there are no Desktop icons to keep clear, nothing to fix. A file
        // that cannot even be looked at (a symlink loop, a folder we may not search) is one to fix.
        if (dynamic_cast<const LayoutFileSource*>(&finder_->source()) &&
            !files::mayExist(LayoutFileSource::pathIn(g_get_user_config_dir())))
            return std::nullopt;
        return MenuController::Problem{finder_->source().name(), finderError_->reason};
    };
    host.quit = [this] { quit(); };
    menu_ = std::make_unique<MenuController>(statusItem_->menu(), std::move(host));
    std::weak_ptr<bool> alive = alive_;
    folders_->onDeniedChanged([this, alive] {
        if (alive.lock() && menu_) menu_->refresh();
    });
}

namespace appgui {

namespace {

// The GDK backend for this session, before GTK opens a display: a Wayland compositor with a background
// layer is drawn on natively, anything else through X11 (Xwayland) where there is one. A GDK_BACKEND the
// user set stands.
void chooseBackend() {
    const char* forced = std::getenv("GDK_BACKEND");
    if (forced && *forced) return;
    session::Facts facts;
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    if (socket && *socket) {
        const wayland::Probe probe = wayland::probe();
        facts.wayland = probe.connected;
        facts.layerShell = probe.layerShell;
    }
    const char* display = std::getenv("DISPLAY");
    facts.x11 = display && *display;
    switch (session::backend(facts)) {
        case session::Backend::wayland: gdk_set_allowed_backends("wayland"); break;
        case session::Backend::x11: gdk_set_allowed_backends("x11"); break;
        case session::Backend::none: break;
    }
}

struct Running {
    GtkApplication* app = nullptr;
    std::unique_ptr<AppDelegate> delegate;
    int status = 0;
    bool settings = false;  // started with --settings: the window opens once the program stands
};

gboolean onSignal(gpointer data) {
    auto* running = static_cast<Running*>(data);
    // The windows fade out first; a second signal while they do changes nothing.
    if (running->delegate) running->delegate->quit();
    else g_application_quit(G_APPLICATION(running->app));
    return G_SOURCE_CONTINUE;
}

void onActivate(GApplication* app, gpointer data) {
    auto* running = static_cast<Running*>(data);
    if (running->delegate) {
        running->delegate->reopen();  // started again: the one instance answers with its menu
        return;
    }
    try {
        running->delegate = std::make_unique<AppDelegate>(app);
        // No application window keeps the application alive: the desktop windows are ours.
        g_application_hold(app);
        running->delegate->launch();
        if (running->settings) running->delegate->openSettings();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vistamere: %s\n", e.what());
        running->status = 1;
        g_application_quit(app);
    }
}

// A later start with --settings, reaching this one.
void onSettings(GSimpleAction*, GVariant*, gpointer data) {
    auto* running = static_cast<Running*>(data);
    if (running->delegate) running->delegate->openSettings();
    else running->settings = true;
}

// Before the application activates: a start with --settings while the program runs only asks the running
// one for the window, since activating would open its status menu as well.
gint onLocalOptions(GApplication* app, GVariantDict*, gpointer data) {
    if (!static_cast<Running*>(data)->settings) return -1;
    GError* error = nullptr;
    if (!g_application_register(app, nullptr, &error)) {
        std::fprintf(stderr, "vistamere: %s\n", error->message);
        g_error_free(error);
        return 1;
    }
    if (!g_application_get_is_remote(app)) return -1;
    g_action_group_activate_action(G_ACTION_GROUP(app), "settings", nullptr);
    return 0;
}

}  // namespace

int run(const char* argv0, bool settings) {
    chooseBackend();
    Running running;
    running.settings = settings;
    running.app = gtk_application_new(VM_APP_ID, G_APPLICATION_DEFAULT_FLAGS);
    GSimpleAction* action = g_simple_action_new("settings", nullptr);
    g_signal_connect(action, "activate", G_CALLBACK(onSettings), &running);
    g_action_map_add_action(G_ACTION_MAP(running.app), G_ACTION(action));
    g_object_unref(action);
    g_signal_connect(running.app, "handle-local-options", G_CALLBACK(onLocalOptions), &running);
    g_signal_connect_after(running.app, "startup", G_CALLBACK(prepareFirstPictures), nullptr);
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
