#include "App/Gui/MenuController.h"

#include <utility>

#include <gtk/gtk.h>

#include "App/Defaults.h"
#include "App/Gui/MenuView.h"
#include "App/Gui/StatusItem.h"
#include "App/StatusMenu.h"
#include "App/Thumbnails.h"
#include "Finder/LayoutFileSource.h"
#include "Settings/Window/SettingsWindow.h"
#include "Update/Product.h"

namespace {

constexpr const char* credits = "Living scenery that grows around your desktop icons.";

class ThumbnailsOf : public ThumbnailSource {
public:
    explicit ThumbnailsOf(Thumbnails* thumbnails) : thumbnails_(thumbnails) {}
    cg::ImageRef thumb(SceneKind kind, bool night) const override {
        return thumbnails_ ? thumbnails_->thumb(kind, night) : nullptr;
    }

private:
    Thumbnails* thumbnails_;
};

// Opening is not checked: a desktop without a handler for the address simply shows nothing.
void open(const std::string& uri) { g_app_info_launch_default_for_uri(uri.c_str(), nullptr, nullptr); }

}  // namespace

MenuController::MenuController(GtkMenu* menu, Host host) : menu_(menu), host_(std::move(host)) {
    std::weak_ptr<bool> alive = alive_;
    if (host_.defaults)
        for (Defaults::Key key : {Defaults::Key::scene, Defaults::Key::daily, Defaults::Key::lighting,
                                  Defaults::Key::folders})
            preferenceHandlers_.push_back(host_.defaults->onChange(key, [this, alive] {
                if (!alive.lock()) return;
                refresh();
                if (settings_) settings_->preferencesChanged();
            }));
    if (host_.thumbnails)
        thumbnailHandler_ = host_.thumbnails->onReady([this, alive] {
            if (!alive.lock()) return;
            refresh();
            if (settings_) settings_->thumbnailsReady();
        });
    rebuild();
}

MenuController::~MenuController() {
    *alive_ = false;
    if (rebuildIdle_) g_source_remove(rebuildIdle_);
    if (host_.defaults)
        for (int id : preferenceHandlers_) host_.defaults->removeHandler(id);
    if (host_.thumbnails && thumbnailHandler_ >= 0) host_.thumbnails->removeHandler(thumbnailHandler_);
    if (about_) gtk_widget_destroy(about_);
}

std::vector<MenuEntry> MenuController::entries() const {
    StatusMenu::State state;
    if (host_.scene) state.scene = host_.scene();
    if (const Defaults* d = host_.defaults) {
        state.daily = d->daily();
        state.lighting = d->lighting();
        state.folders = d->folders();
    }
    state.desktopDenied = host_.desktopProblem && host_.desktopProblem().has_value();
    state.finderDenied = host_.finderProblem && host_.finderProblem().has_value();
    if (host_.update) state.update = host_.update();
    if (host_.thumbnails) {
        const bool night = host_.night && host_.night();
        Thumbnails* thumbnails = host_.thumbnails;
        state.thumb = [thumbnails, night](SceneKind kind) { return thumbnails->thumb(kind, night); };
    }
    return StatusMenu::build(state);
}

void MenuController::refresh() {
    if (rebuildIdle_) return;
    rebuildIdle_ = g_idle_add(
        +[](gpointer self) -> gboolean {
            auto* me = static_cast<MenuController*>(self);
            me->rebuildIdle_ = 0;
            me->rebuild();
            return G_SOURCE_REMOVE;
        },
        this);
}

void MenuController::rebuild() {
    std::weak_ptr<bool> alive = alive_;
    MenuView::fill(menu_, entries(), [this, alive](const MenuEntry& entry) {
        if (alive.lock()) choose(entry);
    });
}

void MenuController::choose(const MenuEntry& entry) {
    auto apply = [this](const std::string& key, const PreferenceValue& value) {
        if (host_.apply) host_.apply(key, value);
    };
    switch (entry.action) {
        case MenuAction::none: break;
        case MenuAction::pickScene: apply("scene", entry.represented); break;
        case MenuAction::toggleDaily: apply("daily", !(host_.defaults && host_.defaults->daily())); break;
        case MenuAction::pickLighting: apply("lighting", entry.tag); break;
        case MenuAction::pickFolders: apply("folders", entry.tag); break;
        case MenuAction::openFilesSettings: {
            const auto problem = host_.desktopProblem ? host_.desktopProblem() : std::nullopt;
            if (!problem) break;
            std::string secondary =
                problem->where.empty()
                    ? "The session names no Desktop folder (" + problem->reason + ")."
                    : "Changing the folder icons in " + problem->where + " was refused: " + problem->reason +
                          ".\n\nTo fix it, give your user read and write access to that folder and to the folders "
                          "in it, for example with\n    chmod u+rwx \"" + problem->where + "\" \"" + problem->where +
                          "\"/*/\nVistamere tries again with the next change of scene or lighting.";
            explain("Allow Desktop Access", "Vistamere cannot paint the folders on your Desktop", secondary,
                    problem->where);
            break;
        }
        case MenuAction::openAutomationSettings: {
            const auto problem = host_.finderProblem ? host_.finderProblem() : std::nullopt;
            if (!problem) break;
            const std::string file = LayoutFileSource::pathIn(g_get_user_config_dir());
            explain("Allow Finder Access", "Vistamere cannot read where your Desktop icons are",
                    "Icon source: " + problem->where + "\nError: " + problem->reason +
                        "\n\nVistamere reads the icon positions from the desktop icon manager of your session "
                        "(the GNOME desktop icons extension, Nemo, Caja, xfdesktop or PCManFM). When none of them "
                        "runs, it reads the file " + file +
                        ", which a helper or you can write:\n"
                        "    {\"centers\": [[x, y], ...], \"iconSize\": 64, \"textSize\": 12,\n"
                        "     \"labelPosition\": \"bottom\"}\n"
                        "Start your icon manager, or write that file; the scenery then keeps clear of your icons.",
                    "");
            break;
        }
        case MenuAction::openDownloads: open(Update::rootPage(Update::website())); break;
        case MenuAction::about: about(); break;
        case MenuAction::openSettings: openSettings(); break;
        case MenuAction::terminate:
            if (host_.quit) host_.quit();
            else if (GApplication* app = g_application_get_default()) g_application_quit(app);
            return;
    }
    // GTK flipped the chosen item's mark on its own; a choice that changed nothing must not leave it so.
    refresh();
}

void MenuController::openSettings() {
    if (!settings_) {
        SettingsWindow::Host host;
        host.current = [this] { return host_.scene ? host_.scene() : SceneKind::archipelago; };
        host.night = [this] { return host_.night && host_.night(); };
        host.preferences = [this] {
            Preferences p;
            if (const Defaults* d = host_.defaults) {
                p.daily = d->daily();
                p.lighting = d->lighting();
                p.folders = d->folders();
            }
            return p;
        };
        host.apply = [this](const std::string& key, const PreferenceValue& value) {
            if (host_.apply) host_.apply(key, value);
        };
        host.thumbnails = std::make_shared<ThumbnailsOf>(host_.thumbnails);
        settings_ = std::make_unique<SettingsWindow>(std::move(host), LoginItem::forThisProgram());
    }
    settings_->open();
}

void MenuController::about() {
    if (!about_) {
        about_ = gtk_about_dialog_new();
        GtkAboutDialog* dialog = GTK_ABOUT_DIALOG(about_);
        gtk_about_dialog_set_program_name(dialog, "Vistamere");
        gtk_about_dialog_set_version(dialog, std::string(Update::runningVersion()).c_str());
        gtk_about_dialog_set_comments(dialog, credits);
        if (g_autoptr(GdkPixbuf) logo = StatusItem::logo(96)) gtk_about_dialog_set_logo(dialog, logo);
        // Kept for the next time: closing only hides it.
        g_signal_connect(about_, "response", G_CALLBACK(gtk_widget_hide), nullptr);
        g_signal_connect(about_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
    }
    gtk_window_present(GTK_WINDOW(about_));
}

void MenuController::explain(const char* title, const std::string& primary, const std::string& secondary,
                             const std::string& folderToOpen) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                                               GTK_BUTTONS_NONE, "%s", primary.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), title);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", secondary.c_str());
    constexpr int openFolder = 1;
    if (!folderToOpen.empty()) gtk_dialog_add_button(GTK_DIALOG(dialog), "Open Folder", openFolder);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Close", GTK_RESPONSE_CLOSE);
    gchar* uri = folderToOpen.empty() ? nullptr : g_filename_to_uri(folderToOpen.c_str(), nullptr, nullptr);
    g_object_set_data_full(G_OBJECT(dialog), "uri", uri, g_free);
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog* d, int response, gpointer) {
                         const auto* target = static_cast<const char*>(g_object_get_data(G_OBJECT(d), "uri"));
                         if (response == openFolder && target) open(target);
                         gtk_widget_destroy(GTK_WIDGET(d));
                     }),
                     nullptr);
    gtk_window_present(GTK_WINDOW(dialog));
}
