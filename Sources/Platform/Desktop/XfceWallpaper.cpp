#include "Platform/Desktop/XfceWallpaper.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

constexpr const char* kService = "org.xfce.Xfconf";
constexpr const char* kPath = "/org/xfce/Xfconf";
constexpr const char* kChannel = "xfce4-desktop";
constexpr const char* kPicture = "/last-image";
constexpr const char* kStyle = "/image-style";
constexpr int kStretched = 3;  // xfdesktop's image styles; 0 shows no picture at all

GDBusConnection* conn(void* p) { return static_cast<GDBusConnection*>(p); }

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// "HDMI-1" from /backdrop/screen0/monitorHDMI-1/workspace0/last-image.
std::string monitorOf(const std::string& property) {
    const size_t at = property.find("/monitor");
    if (at == std::string::npos) return {};
    const size_t from = at + 8, to = property.find('/', from);
    return property.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

std::string printed(GVariant* v) {
    gchar* s = g_variant_print(v, TRUE);
    std::string out = s;
    g_free(s);
    return out;
}

}  // namespace

std::unique_ptr<XfceWallpaper> XfceWallpaper::make(const std::string& stateDir, const std::string& pictureDir) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return nullptr;
    std::unique_ptr<XfceWallpaper> w(new XfceWallpaper(bus, stateDir + "/wallpaper-xfconf.ini", pictureDir));
    if (!w->properties()) return nullptr;
    if (auto left = loadValues(w->stateFile_); left && !left->empty()) {
        w->saved_ = std::move(*left);
        w->restore();
    }
    return w;
}

XfceWallpaper::XfceWallpaper(void* bus, std::string stateFile, std::string pictureDir)
    : bus_(bus), stateFile_(std::move(stateFile)), pictureDir_(std::move(pictureDir)) {}

XfceWallpaper::~XfceWallpaper() {
    restore();
    g_object_unref(conn(bus_));
}

std::optional<std::map<std::string, std::string>> XfceWallpaper::properties() const {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        conn(bus_), kService, kPath, kService, "GetAllProperties", g_variant_new("(ss)", kChannel, "/backdrop"),
        G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    std::map<std::string, std::string> out;
    if (!reply) {
        // xfconf's own errors (an empty channel) mean no properties; the bus's mean no xfconf.
        gchar* name = g_dbus_error_get_remote_error(error);
        const bool xfconf = name && std::string(name).rfind("org.xfce.Xfconf.", 0) == 0;
        g_free(name);
        g_clear_error(&error);
        if (xfconf) return out;
        return std::nullopt;
    }
    GVariantIter* it = nullptr;
    g_variant_get(reply, "(a{sv})", &it);
    const gchar* key = nullptr;
    GVariant* value = nullptr;
    while (g_variant_iter_loop(it, "{&sv}", &key, &value)) out[key] = printed(value);
    g_variant_iter_free(it);
    g_variant_unref(reply);
    return out;
}

bool XfceWallpaper::set(const std::string& property, const std::optional<std::string>& value) const {
    GVariant* args;
    if (value) {
        GVariant* v = g_variant_parse(nullptr, value->c_str(), nullptr, nullptr, nullptr);
        if (!v) return false;
        args = g_variant_new("(ssv)", kChannel, property.c_str(), v);
        g_variant_unref(v);  // parsed values are not floating: the tuple took its own reference
    } else {
        args = g_variant_new("(ssb)", kChannel, property.c_str(), FALSE);
    }
    GError* error = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(conn(bus_), kService, kPath, kService, value ? "SetProperty" : "ResetProperty",
                                    args, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (!reply) {
        // Removing what is already gone is done.
        gchar* name = g_dbus_error_get_remote_error(error);
        const bool gone = !value && name && std::string(name) == "org.xfce.Xfconf.Error.PropertyNotFound";
        g_free(name);
        if (!gone)
            std::fprintf(stderr, "vistamere: xfconf refused %s: %s\n", property.c_str(), error ? error->message : "");
        g_clear_error(&error);
        return gone;
    }
    g_variant_unref(reply);
    return true;
}

bool XfceWallpaper::show(const std::vector<Still>& stills) {
    if (stills.empty() || !stills[0].image) return false;
    const auto props = properties();
    if (!props) return false;

    // Every picture xfdesktop keeps (each monitor and workspace), and workspace 0 of each of our monitors
    // that has none yet. Keys without a workspace are the old layout (distributions still ship defaults
    // in it), which xfdesktop no longer reads.
    std::vector<std::string> pictures;
    std::set<std::string> covered;
    for (const auto& [key, value] : *props)
        if (endsWith(key, kPicture) && !monitorOf(key).empty() && key.find("/workspace") != std::string::npos) {
            pictures.push_back(key);
            covered.insert(monitorOf(key));
        }
    for (size_t i = 0; i < stills.size(); ++i) {
        const std::string name = stills[i].monitor.empty() ? std::to_string(i) : stills[i].monitor;
        if (covered.insert(name).second)
            pictures.push_back("/backdrop/screen0/monitor" + name + "/workspace0" + kPicture);
    }

    // One file per monitor; monitors xfdesktop names but we do not know get the first still.
    std::map<std::string, std::string> files;
    std::string first;
    for (size_t i = 0; i < stills.size(); ++i) {
        const std::string name = stills[i].monitor.empty() ? std::to_string(i) : stills[i].monitor;
        const std::string file = writeStill(pictureDir_, "desktop-still-" + name, stills[i].image);
        if (file.empty()) return false;
        files[name] = file;
        if (first.empty()) first = file;
    }

    std::vector<std::pair<std::string, std::string>> changes;  // property, printed value
    for (const std::string& p : pictures) {
        auto f = files.find(monitorOf(p));
        GVariant* file = g_variant_ref_sink(g_variant_new_string(f == files.end() ? first.c_str() : f->second.c_str()));
        changes.emplace_back(p, printed(file));
        g_variant_unref(file);
        // A style of "none" would hide the picture.
        const std::string style = p.substr(0, p.size() - std::string(kPicture).size()) + kStyle;
        auto s = props->find(style);
        if (s == props->end() || s->second == "0") changes.emplace_back(style, std::to_string(kStretched));
    }

    // The user's values first, kept on disk before anything changes.
    bool added = false;
    for (const auto& [property, value] : changes) {
        const bool known =
            std::any_of(saved_.begin(), saved_.end(), [&](const auto& s) { return s.first == property; });
        if (known) continue;
        auto current = props->find(property);
        saved_.emplace_back(property, current == props->end() ? std::nullopt : std::optional(current->second));
        added = true;
    }
    if (added && !saveValues(stateFile_, saved_)) {
        restore();
        return false;
    }
    bool ok = true;
    for (const auto& [property, value] : changes) ok = set(property, value) && ok;
    return ok;
}

void XfceWallpaper::restore() {
    if (saved_.empty()) return;
    bool ok = true;
    for (const auto& [property, value] : saved_) ok = set(property, value) && ok;
    // What could not be put back stays on disk for the next start.
    if (!ok) return;
    saved_.clear();
    forgetValues(stateFile_);
}
