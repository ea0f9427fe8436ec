#include "Platform/Desktop/PlasmaWallpaper.h"

#include <gio/gio.h>

#include <cstdio>
#include <map>
#include <sstream>

namespace {

GDBusConnection* conn(void* p) { return static_cast<GDBusConnection*>(p); }

constexpr const char* kGroup = "[\"Wallpaper\", \"org.kde.image\", \"General\"]";

// Prints one line per desktop: containment id, screen, wallpaper plugin and the picture plugin's image.
constexpr const char* kRead = R"(var all = desktops();
for (var i = 0; i < all.length; ++i) {
    var d = all[i];
    d.currentConfigGroup = ["Wallpaper", "org.kde.image", "General"];
    print(d.id + "\t" + d.screen + "\t" + d.wallpaperPlugin + "\t" + d.readConfig("Image") + "\n");
})";

}  // namespace

std::string PlasmaWallpaper::quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", unsigned(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::unique_ptr<PlasmaWallpaper> PlasmaWallpaper::make(const std::string& stateDir, const std::string& pictureDir) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", kService), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    if (!owned) {
        g_object_unref(bus);
        return nullptr;
    }
    std::unique_ptr<PlasmaWallpaper> w(new PlasmaWallpaper(bus, stateDir + "/wallpaper-plasma.ini", pictureDir));
    if (auto left = loadValues(w->stateFile_); left && !left->empty()) {
        w->saved_ = std::move(*left);
        w->restore();
    }
    return w;
}

PlasmaWallpaper::PlasmaWallpaper(void* bus, std::string stateFile, std::string pictureDir)
    : bus_(bus), stateFile_(std::move(stateFile)), pictureDir_(std::move(pictureDir)) {}

PlasmaWallpaper::~PlasmaWallpaper() {
    restore();
    g_object_unref(conn(bus_));
}

std::optional<std::string> PlasmaWallpaper::evaluate(const std::string& script) const {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        conn(bus_), kService, "/PlasmaShell", "org.kde.PlasmaShell", "evaluateScript",
        g_variant_new("(s)", script.c_str()), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
    if (!reply) {
        // Locked widgets, for one, refuse every script.
        std::fprintf(stderr, "vistamere: the Plasma shell refused the wallpaper script: %s\n",
                     error ? error->message : "");
        g_clear_error(&error);
        return std::nullopt;
    }
    const gchar* out = nullptr;
    g_variant_get(reply, "(&s)", &out);
    std::string printed = out ? out : "";
    g_variant_unref(reply);
    return printed;
}

bool PlasmaWallpaper::show(const std::vector<Still>& stills) {
    if (stills.empty()) return false;
    std::vector<std::string> uris;
    for (size_t i = 0; i < stills.size(); ++i) {
        const std::string file = writeStill(pictureDir_, "desktop-still-" + std::to_string(i), stills[i].image);
        gchar* uri = file.empty() ? nullptr : g_filename_to_uri(file.c_str(), nullptr, nullptr);
        if (!uri) return false;
        uris.emplace_back(uri);
        g_free(uri);
    }
    if (saved_.empty()) {
        const auto listing = evaluate(kRead);
        if (!listing) return false;
        Values user;
        std::istringstream lines(*listing);
        std::string line;
        while (std::getline(lines, line)) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
            if (f.size() < 3 || f[0].empty()) continue;
            user.emplace_back(f[0] + "/plugin", f[2]);
            user.emplace_back(f[0] + "/image", f.size() > 3 ? f[3] : std::string());
        }
        if (user.empty() || !saveValues(stateFile_, user)) return false;
        saved_ = std::move(user);
    }
    // Each screen the still of the monitor at its place (Plasma numbers screens its own way), else
    // the one of its number; desktops of no screen the first.
    std::string script = "var pictures = [";
    for (size_t i = 0; i < uris.size(); ++i)
        script += std::string(i ? ", " : "") + "{x: " + std::to_string(stills[i].x) +
                  ", y: " + std::to_string(stills[i].y) + ", uri: " + quoted(uris[i]) + "}";
    script += std::string(R"(];
function pictureFor(screen) {
    if (screen < 0) return pictures[0].uri;
    var g = screenGeometry(screen);
    for (var k = 0; g && k < pictures.length; ++k)
        if (pictures[k].x == g.x && pictures[k].y == g.y) return pictures[k].uri;
    return (pictures[screen] || pictures[0]).uri;
}
var all = desktops();
for (var i = 0; i < all.length; ++i) {
    var d = all[i];
    d.wallpaperPlugin = "org.kde.image";
    d.currentConfigGroup = )") + kGroup + R"(;
    d.writeConfig("Image", pictureFor(d.screen));
}
)";
    return evaluate(script).has_value();
}

void PlasmaWallpaper::restore() {
    if (saved_.empty()) return;
    std::map<std::string, std::pair<std::string, std::string>> byId;  // plugin, image
    for (const auto& [name, value] : saved_) {
        const size_t slash = name.rfind('/');
        if (slash == std::string::npos) continue;
        auto& entry = byId[name.substr(0, slash)];
        (name.compare(slash + 1, std::string::npos, "plugin") == 0 ? entry.first : entry.second) = value.value_or("");
    }
    std::string script = "var saved = {";
    bool first = true;
    for (const auto& [id, entry] : byId) {
        script += (first ? "" : ", ") + quoted(id) + ": [" + quoted(entry.first) + ", " + quoted(entry.second) + "]";
        first = false;
    }
    script += std::string(
                  "};\nvar all = desktops();\nfor (var i = 0; i < all.length; ++i) {\n"
                  "    var d = all[i];\n    var s = saved[String(d.id)];\n    if (!s) continue;\n"
                  "    d.currentConfigGroup = ") +
              kGroup +
              ";\n"
              "    d.writeConfig(\"Image\", s[1]);\n    if (s[0]) d.wallpaperPlugin = s[0];\n}\n";
    if (!evaluate(script)) return;  // kept on disk for the next start
    saved_.clear();
    forgetValues(stateFile_);
    removeStills(pictureDir_);
}
