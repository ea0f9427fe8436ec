#include "App/Gui/GtkSystemSettings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace {

constexpr const char* interfaceSchema = "org.gnome.desktop.interface";

void call(const std::function<void()>& f) {
    if (f) f();
}

}  // namespace

GtkSystemSettings::GtkSystemSettings(std::function<void()> appearanceChanged, std::function<void()> motionChanged)
    : appearanceChanged_(std::move(appearanceChanged)), motionChanged_(std::move(motionChanged)) {
    // A missing schema would abort inside GSettings: look before asking.
    if (GSettingsSchemaSource* source = g_settings_schema_source_get_default())
        if (g_autoptr(GSettingsSchema) schema = g_settings_schema_source_lookup(source, interfaceSchema, TRUE)) {
            hasColorScheme_ = g_settings_schema_has_key(schema, "color-scheme");
            hasAnimations_ = g_settings_schema_has_key(schema, "enable-animations");
            interface_ = g_settings_new(interfaceSchema);
        }
    auto appearance = +[](gpointer, gpointer, gpointer me) {
        auto* self = static_cast<GtkSystemSettings*>(me);
        self->dark_ = self->darkAppearance();
        call(self->appearanceChanged_);
    };
    auto motion = +[](gpointer, gpointer, gpointer me) {
        auto* self = static_cast<GtkSystemSettings*>(me);
        self->reduce_ = self->reduceMotion();
        call(self->motionChanged_);
    };
    if (interface_) {
        if (hasColorScheme_)
            interfaceHandlers_.push_back(g_signal_connect(interface_, "changed::color-scheme", G_CALLBACK(appearance), this));
        if (hasAnimations_)
            interfaceHandlers_.push_back(g_signal_connect(interface_, "changed::enable-animations", G_CALLBACK(motion), this));
        // GSettings reports changes only of keys read at least once.
        if (hasColorScheme_) g_free(g_settings_get_string(interface_, "color-scheme"));
        if (hasAnimations_) g_settings_get_boolean(interface_, "enable-animations");
    }
    if (GtkSettings* gtk = gtk_settings_get_default()) {
        gtkHandlers_.push_back(g_signal_connect(gtk, "notify::gtk-application-prefer-dark-theme", G_CALLBACK(appearance), this));
        gtkHandlers_.push_back(g_signal_connect(gtk, "notify::gtk-theme-name", G_CALLBACK(appearance), this));
        gtkHandlers_.push_back(g_signal_connect(gtk, "notify::gtk-enable-animations", G_CALLBACK(motion), this));
    }
    dark_ = darkAppearance();
    reduce_ = reduceMotion();
    portal_ = std::make_unique<PortalSettings>([this](PortalSettings::Key key) { portalChanged(key); });
}

void GtkSystemSettings::portalChanged(PortalSettings::Key key) {
    const bool appearance = key == PortalSettings::Key::colorScheme;
    bool& last = appearance ? dark_ : reduce_;
    const bool now = appearance ? darkAppearance() : reduceMotion();
    if (now == last) return;
    last = now;
    call(appearance ? appearanceChanged_ : motionChanged_);
}

GtkSystemSettings::~GtkSystemSettings() {
    portal_.reset();
    if (GtkSettings* gtk = gtk_settings_get_default())
        for (unsigned long h : gtkHandlers_) g_signal_handler_disconnect(gtk, h);
    if (interface_) {
        for (unsigned long h : interfaceHandlers_) g_signal_handler_disconnect(interface_, h);
        g_object_unref(interface_);
    }
}

bool GtkSystemSettings::darkAppearance() const {
    // 0 is no preference: the session's own settings decide then.
    if (const auto scheme = portal_ ? portal_->colorScheme() : std::nullopt; scheme && *scheme != 0)
        return *scheme == 1;
    if (interface_ && hasColorScheme_) {
        g_autofree gchar* scheme = g_settings_get_string(interface_, "color-scheme");
        if (scheme && std::string(scheme) == "prefer-dark") return true;
    }
    GtkSettings* gtk = gtk_settings_get_default();
    if (!gtk) return false;
    gboolean preferDark = FALSE;
    g_autofree gchar* theme = nullptr;
    g_object_get(gtk, "gtk-application-prefer-dark-theme", &preferDark, "gtk-theme-name", &theme, nullptr);
    std::string name = theme ? theme : "";
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return preferDark || name.find("dark") != std::string::npos;
}

bool GtkSystemSettings::reduceMotion() const {
    if (const auto motion = portal_ ? portal_->reducedMotion() : std::nullopt; motion && *motion == 1) return true;
    if (interface_ && hasAnimations_ && !g_settings_get_boolean(interface_, "enable-animations")) return true;
    gboolean enabled = TRUE;
    if (GtkSettings* gtk = gtk_settings_get_default()) g_object_get(gtk, "gtk-enable-animations", &enabled, nullptr);
    return !enabled;
}
