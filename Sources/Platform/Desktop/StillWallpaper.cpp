#include "Platform/Desktop/StillWallpaper.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdio>

namespace {

GSettings* gs(void* p) { return static_cast<GSettings*>(p); }

}  // namespace

const StillWallpaper::Target& StillWallpaper::gnome() {
    static const Target t{"org.gnome.desktop.background", {"picture-uri", "picture-uri-dark"}, true, "picture-options"};
    return t;
}
const StillWallpaper::Target& StillWallpaper::cinnamon() {
    static const Target t{"org.cinnamon.desktop.background", {"picture-uri"}, true, "picture-options"};
    return t;
}
const StillWallpaper::Target& StillWallpaper::mate() {
    static const Target t{"org.mate.background", {"picture-filename"}, false, "picture-options"};
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
    std::vector<std::string> all = target.keys;
    if (!target.options.empty()) all.push_back(target.options);
    for (const std::string& key : all)
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
    changedHandler_ = g_signal_connect(gs(settings_), "changed", G_CALLBACK(+[](GSettings*, const char* key, gpointer self) {
                                           static_cast<StillWallpaper*>(self)->changed(key ? key : "");
                                       }),
                                       this);
    // A setting saved by a run that never restored it (one from before placements were kept has none).
    const auto left = loadValues(stateFile_);
    if (!left) return;
    for (const std::string& key : target_.keys) {
        auto v = std::find_if(left->begin(), left->end(), [&](const auto& e) { return e.first == key; });
        if (v == left->end() || !v->second) return;
    }
    saved_ = *left;
    restore();
}

StillWallpaper::~StillWallpaper() {
    g_signal_handler_disconnect(gs(settings_), changedHandler_);
    restore();
    g_object_unref(gs(settings_));
}

std::vector<std::string> StillWallpaper::keys() const {
    std::vector<std::string> all = target_.keys;
    if (!target_.options.empty()) all.push_back(target_.options);
    return all;
}

bool StillWallpaper::saveState() const { return saveValues(stateFile_, saved_); }

bool StillWallpaper::show(const std::vector<Still>& stills) {
    if (stills.size() == 1) return set(stills[0].image, "desktop-still", "zoom");
    return !stills.empty() && set(span(stills), "desktop-still", "spanned");
}

bool StillWallpaper::show(const cg::ImageRef& still, const std::string& name) { return set(still, name, "zoom"); }

std::string StillWallpaper::get(const std::string& key) const {
    gchar* v = g_settings_get_string(gs(settings_), key.c_str());
    std::string out(v ? v : "");
    g_free(v);
    return out;
}

void StillWallpaper::changed(const std::string& key) {
    if (writing_ || saved_.empty()) return;
    if (std::find(target_.keys.begin(), target_.keys.end(), key) == target_.keys.end()) return;
    const std::string now = get(key);
    if (now == shown_) return;  // ours, reported late
    // The user's own pick. Keys that still hold our picture or placement get the user's earlier values back;
    // those the user changed keep the new ones. That is what stays, now and on quit.
    writing_ = true;
    for (const auto& [k, value] : saved_) {
        const bool picture = std::find(target_.keys.begin(), target_.keys.end(), k) != target_.keys.end();
        if (value && get(k) == (picture ? shown_ : placement_)) g_settings_set_string(gs(settings_), k.c_str(), value->c_str());
    }
    g_settings_sync();
    writing_ = false;
    saved_.clear();
    forgetValues(stateFile_);
    yielded_ = true;
    std::fprintf(stderr,
                 "vistamere: the wallpaper was changed to %s while the scene's still picture was shown; keeping it, "
                 "and no longer showing the still picture as the wallpaper\n",
                 now.c_str());
}

bool StillWallpaper::set(const cg::ImageRef& still, const std::string& name, const char* placement) {
    if (yielded_) return false;
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
        for (const std::string& key : keys()) {
            gchar* v = g_settings_get_string(gs(settings_), key.c_str());
            saved_.emplace_back(key, std::string(v ? v : ""));
            g_free(v);
        }
        // A setting that could not be kept is one a crash would lose: leave it alone.
        if (!saveState()) {
            saved_.clear();
            return false;
        }
    }
    shown_ = value;
    placement_ = placement;
    writing_ = true;
    for (const std::string& key : target_.keys) g_settings_set_string(gs(settings_), key.c_str(), value.c_str());
    // A placement of "none" would show no picture at all.
    if (!target_.options.empty()) g_settings_set_string(gs(settings_), target_.options.c_str(), placement);
    g_settings_sync();
    writing_ = false;
    return true;
}

void StillWallpaper::restore() {
    if (saved_.empty()) return;
    const auto all = keys();
    writing_ = true;
    for (const auto& [key, value] : saved_)
        if (value && std::find(all.begin(), all.end(), key) != all.end())
            g_settings_set_string(gs(settings_), key.c_str(), value->c_str());
    g_settings_sync();
    writing_ = false;
    saved_.clear();
    forgetValues(stateFile_);
    removeStills(pictureDir_);
}
