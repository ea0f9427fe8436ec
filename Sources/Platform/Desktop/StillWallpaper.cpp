#include "Platform/Desktop/StillWallpaper.h"

#include <gio/gio.h>

#include <algorithm>

namespace {

GSettings* gs(void* p) { return static_cast<GSettings*>(p); }

}  // namespace

const StillWallpaper::Target& StillWallpaper::gnome() {
    static const Target t{"org.gnome.desktop.background", {"picture-uri", "picture-uri-dark"}, true};
    return t;
}
const StillWallpaper::Target& StillWallpaper::cinnamon() {
    static const Target t{"org.cinnamon.desktop.background", {"picture-uri"}, true};
    return t;
}
const StillWallpaper::Target& StillWallpaper::mate() {
    static const Target t{"org.mate.background", {"picture-filename"}, false};
    return t;
}

const StillWallpaper::Target& StillWallpaper::targetFor(const std::string& manager, const std::string& desktop) {
    if (manager == "caja" || manager == "CAJA_DESKTOP_WINDOW_ID" || desktop.find("MATE") != std::string::npos)
        return mate();
    if (desktop.find("Cinnamon") != std::string::npos) return cinnamon();
    return gnome();
}

std::unique_ptr<StillWallpaper> StillWallpaper::make(Target target, const std::string& stateDir,
                                                     const std::string& pictureDir) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, target.schema.c_str(), TRUE) : nullptr;
    if (!schema) return nullptr;
    for (const std::string& key : target.keys)
        if (!g_settings_schema_has_key(schema, key.c_str())) {
            g_settings_schema_unref(schema);
            return nullptr;
        }
    GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
    g_settings_schema_unref(schema);
    const std::string stateFile = stateDir + "/wallpaper-" + target.schema + ".ini";
    return std::unique_ptr<StillWallpaper>(new StillWallpaper(std::move(target), settings, stateFile, pictureDir));
}

StillWallpaper::StillWallpaper(Target target, void* settings, std::string stateFile, std::string pictureDir)
    : target_(std::move(target)), settings_(settings), stateFile_(std::move(stateFile)), pictureDir_(std::move(pictureDir)) {
    // A setting saved by a run that never restored it.
    const auto left = loadValues(stateFile_);
    if (!left) return;
    for (const std::string& key : target_.keys) {
        auto v = std::find_if(left->begin(), left->end(), [&](const auto& e) { return e.first == key; });
        if (v == left->end() || !v->second) {
            saved_.clear();
            return;
        }
        saved_.push_back(*v->second);
    }
    restore();
}

StillWallpaper::~StillWallpaper() {
    restore();
    g_object_unref(gs(settings_));
}

bool StillWallpaper::saveState() const {
    Values values;
    for (size_t i = 0; i < target_.keys.size(); ++i) values.emplace_back(target_.keys[i], saved_[i]);
    return saveValues(stateFile_, values);
}

bool StillWallpaper::show(const std::vector<Still>& stills) {
    return !stills.empty() && show(stills[0].image, "desktop-still");
}

bool StillWallpaper::show(const cg::ImageRef& still, const std::string& name) {
    const std::string file = writeStill(pictureDir_, name, still);
    if (file.empty()) return false;
    std::string value = file;
    if (target_.uri) {
        gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
        if (!uri) return false;
        value = uri;
        g_free(uri);
    }
    if (saved_.empty()) {
        for (const std::string& key : target_.keys) {
            gchar* v = g_settings_get_string(gs(settings_), key.c_str());
            saved_.emplace_back(v ? v : "");
            g_free(v);
        }
        // A setting that could not be kept is one a crash would lose: leave it alone.
        if (!saveState()) {
            saved_.clear();
            return false;
        }
    }
    for (const std::string& key : target_.keys) g_settings_set_string(gs(settings_), key.c_str(), value.c_str());
    g_settings_sync();
    return true;
}

void StillWallpaper::restore() {
    if (saved_.empty()) return;
    for (size_t i = 0; i < target_.keys.size(); ++i)
        g_settings_set_string(gs(settings_), target_.keys[i].c_str(), saved_[i].c_str());
    g_settings_sync();
    saved_.clear();
    forgetValues(stateFile_);
}
