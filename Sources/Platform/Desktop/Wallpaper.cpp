#include "Platform/Desktop/Wallpaper.h"

#include "Platform/Desktop/PcmanfmWallpaper.h"
#include "Platform/Desktop/PlasmaWallpaper.h"
#include "Platform/Desktop/StillWallpaper.h"
#include "Platform/Desktop/XfceWallpaper.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

namespace {

constexpr const char* kValues = "saved";
constexpr const char* kAbsent = "absent";

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

}  // namespace

std::unique_ptr<Wallpaper> Wallpaper::forSession(const Session& session, const std::string& stateDir,
                                                 const std::string& pictureDir) {
    const std::string& m = session.manager;
    const std::string& desktop = session.currentDesktop;
    if (m == "xfdesktop" || m == "XFCE_DESKTOP_WINDOW" || (m.empty() && contains(desktop, "XFCE")))
        return XfceWallpaper::make(stateDir, pictureDir);
    // PCManFM names its desktop window's instance "desktop_window".
    if (m == "pcmanfm" || m == "desktop_window" || m == "pcmanfm-qt")
        return PcmanfmWallpaper::make(m == "pcmanfm-qt" ? m : "pcmanfm", session.managerArguments, stateDir,
                                      pictureDir);
    if (m == "plasmashell" || (m.empty() && contains(desktop, "KDE")))
        return PlasmaWallpaper::make(stateDir, pictureDir);
    return StillWallpaper::make(StillWallpaper::targetFor(m, desktop), stateDir, pictureDir);
}

void Wallpaper::restoreLeftovers(const std::string& stateDir, const std::string& pictureDir) {
    // A state directory that cannot be looked into (a symlink loop, no permission) holds nothing we can use.
    const auto left = [&](const std::string& name) {
        std::error_code ec;
        return std::filesystem::exists(stateDir + "/wallpaper-" + name + ".ini", ec);
    };
    // Each back end gives back what it finds when it is made.
    for (const StillWallpaper::Target* t :
         {&StillWallpaper::gnome(), &StillWallpaper::cinnamon(), &StillWallpaper::mate()})
        if (left(t->schema)) StillWallpaper::make(*t, stateDir, pictureDir);
    if (left("xfconf")) XfceWallpaper::make(stateDir, pictureDir);
    if (left("plasma")) PlasmaWallpaper::make(stateDir, pictureDir);
}

bool Wallpaper::saveValues(const std::string& file, const Values& values) {
    GKeyFile* kf = g_key_file_new();
    for (const auto& [name, value] : values)
        g_key_file_set_string(kf, value ? kValues : kAbsent, name.c_str(), value ? value->c_str() : "");
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    GError* error = nullptr;
    const bool saved = g_key_file_save_to_file(kf, file.c_str(), &error);
    if (!saved) {
        std::fprintf(stderr, "vistamere: cannot keep the wallpaper setting in %s: %s\n", file.c_str(),
                     error ? error->message : "unknown error");
        g_clear_error(&error);
    }
    g_key_file_free(kf);
    return saved;
}

std::optional<Wallpaper::Values> Wallpaper::loadValues(const std::string& file) {
    GKeyFile* kf = g_key_file_new();
    std::optional<Values> out;
    if (g_key_file_load_from_file(kf, file.c_str(), G_KEY_FILE_NONE, nullptr)) {
        out.emplace();
        for (const char* group : {kValues, kAbsent}) {
            gchar** keys = g_key_file_get_keys(kf, group, nullptr, nullptr);
            for (gchar** k = keys; k && *k; ++k) {
                if (group == kAbsent) {
                    out->emplace_back(*k, std::nullopt);
                    continue;
                }
                gchar* v = g_key_file_get_string(kf, group, *k, nullptr);
                out->emplace_back(*k, std::string(v ? v : ""));
                g_free(v);
            }
            g_strfreev(keys);
        }
    }
    g_key_file_free(kf);
    return out;
}

void Wallpaper::forgetValues(const std::string& file) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
}

cg::ImageRef Wallpaper::span(const std::vector<Still>& stills) {
    int width = 0, height = 0;
    for (const Still& s : stills)
        if (s.image && s.x >= 0 && s.y >= 0) {
            width = std::max(width, s.x + s.image->pixelWidth());
            height = std::max(height, s.y + s.image->pixelHeight());
        }
    if (width == 0 || height == 0) return nullptr;
    std::vector<uint32_t> pixels(size_t(width) * size_t(height), 0xFF000000u);
    for (const Still& s : stills) {
        if (!s.image || s.x < 0 || s.y < 0) continue;
        const int w = s.image->pixelWidth();
        for (int row = 0; row < s.image->pixelHeight(); ++row)
            std::copy_n(s.image->data() + size_t(row) * size_t(w), w,
                        pixels.begin() + ptrdiff_t((size_t(s.y + row) * size_t(width)) + size_t(s.x)));
    }
    return cg::Image::fromARGB32(width, height, std::move(pixels));
}

std::string Wallpaper::writeStill(const std::string& dir, const std::string& name, const cg::ImageRef& image) {
    if (!image) return {};
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    static std::map<std::string, unsigned> serials;
    const std::string file = dir + "/" + name + "-" + std::to_string(++serials[dir + "/" + name] % 2) + ".png";
    if (!image->writePNG(file)) {
        std::fprintf(stderr, "vistamere: cannot write the desktop still %s\n", file.c_str());
        return {};
    }
    return file;
}

void Wallpaper::removeStills(const std::string& dir) {
    std::error_code ec;
    std::vector<std::filesystem::path> stills;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string n = e.path().filename().string();
        if (n.rfind("desktop-still", 0) == 0 && n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0)
            stills.push_back(e.path());
    }
    for (const auto& p : stills) std::filesystem::remove(p, ec);
}
