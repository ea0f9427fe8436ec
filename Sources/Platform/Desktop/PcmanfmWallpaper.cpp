#include "Platform/Desktop/PcmanfmWallpaper.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kPicture = "wallpaper";
constexpr const char* kMode = "mode";

bool qt(const std::string& program) { return program == "pcmanfm-qt"; }

bool spawn(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    gint status = 0;
    GError* error = nullptr;
    if (!g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr, &status,
                      &error)) {
        std::fprintf(stderr, "vistamere: cannot run %s: %s\n", command[0].c_str(), error ? error->message : "");
        g_clear_error(&error);
        return false;
    }
    return g_spawn_check_wait_status(status, nullptr);
}

}  // namespace

std::string PcmanfmWallpaper::configFile(const std::string& program, const std::vector<std::string>& arguments) {
    std::string profile = "default";
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a.rfind("--profile=", 0) == 0)
            profile = a.substr(10);
        else if ((a == "--profile" || a == "-p") && i + 1 < arguments.size())
            profile = arguments[i + 1];
    }
    // A profile name that climbs out of its directory is not one.
    if (profile.empty() || profile.find('/') != std::string::npos || profile == "..") profile = "default";
    const std::string dir = std::string(g_get_user_config_dir()) + "/" + program + "/" + profile;
    return dir + (qt(program) ? "/settings.conf" : "/desktop-items-0.conf");
}

std::unique_ptr<PcmanfmWallpaper> PcmanfmWallpaper::make(const std::string& program,
                                                         const std::vector<std::string>& arguments,
                                                         const std::string& stateDir, const std::string& pictureDir,
                                                         Runner run) {
    if (program != "pcmanfm" && program != "pcmanfm-qt") return nullptr;
    if (!run) run = spawn;
    std::unique_ptr<PcmanfmWallpaper> w(new PcmanfmWallpaper(program, configFile(program, arguments),
                                                             stateDir + "/wallpaper-" + program + ".ini", pictureDir,
                                                             std::move(run)));
    if (auto left = loadValues(w->stateFile_); left && !left->empty()) {
        w->saved_ = std::move(*left);
        w->restore();
    }
    return w;
}

PcmanfmWallpaper::PcmanfmWallpaper(std::string program, std::string config, std::string stateFile,
                                   std::string pictureDir, Runner run)
    : program_(std::move(program)),
      config_(std::move(config)),
      stateFile_(std::move(stateFile)),
      pictureDir_(std::move(pictureDir)),
      run_(std::move(run)) {}

PcmanfmWallpaper::~PcmanfmWallpaper() { restore(); }

std::optional<Wallpaper::Values> PcmanfmWallpaper::current() const {
    GKeyFile* kf = g_key_file_new();
    std::optional<Values> out;
    if (g_key_file_load_from_file(kf, config_.c_str(), G_KEY_FILE_NONE, nullptr)) {
        const char* group = qt(program_) ? "Desktop" : "*";
        gchar* picture = g_key_file_get_string(kf, group, qt(program_) ? "Wallpaper" : "wallpaper", nullptr);
        gchar* mode = g_key_file_get_string(kf, group, qt(program_) ? "WallpaperMode" : "wallpaper_mode", nullptr);
        // Without the mode the picture's value alone cannot be put back faithfully.
        if (mode)
            out = Values{{kPicture, picture ? std::optional<std::string>(picture) : std::nullopt},
                         {kMode, std::string(mode)}};
        g_free(picture);
        g_free(mode);
    }
    g_key_file_free(kf);
    return out;
}

bool PcmanfmWallpaper::apply(const Values& values) const {
    std::vector<std::string> command{program_};
    for (const auto& [name, value] : values) {
        if (!value || value->empty()) continue;
        command.push_back((name == kPicture ? "--set-wallpaper=" : "--wallpaper-mode=") + *value);
    }
    return command.size() == 1 || run_(command);
}

bool PcmanfmWallpaper::show(const std::vector<Still>& stills) {
    if (stills.empty()) return false;
    const std::string file = writeStill(pictureDir_, "desktop-still", stills[0].image);
    if (file.empty()) return false;
    if (saved_.empty()) {
        // A setting we cannot read is one we could not give back: leave it alone.
        auto user = current();
        if (!user) {
            std::fprintf(stderr, "vistamere: cannot read the wallpaper of %s from %s\n", program_.c_str(),
                         config_.c_str());
            return false;
        }
        if (!saveValues(stateFile_, *user)) return false;
        saved_ = std::move(*user);
    }
    return apply({{kPicture, file}, {kMode, std::string("stretch")}});
}

void PcmanfmWallpaper::restore() {
    if (saved_.empty()) return;
    if (!apply(saved_)) return;  // kept on disk for the next start
    const auto picture = std::find_if(saved_.begin(), saved_.end(), [](const auto& v) { return v.first == kPicture; });
    if (picture != saved_.end() && (!picture->second || picture->second->empty())) forgetPicture();
    saved_.clear();
    forgetValues(stateFile_);
    removeStills(pictureDir_);
}

void PcmanfmWallpaper::forgetPicture() const {
    // The program cannot be told to forget a picture, only to show another: where the user had none, our
    // line is taken out of its file once the program has written the user's mode back (it writes a
    // moment after the command returns).
    const char* group = qt(program_) ? "Desktop" : "*";
    const char* key = qt(program_) ? "Wallpaper" : "wallpaper";
    const char* modeKey = qt(program_) ? "WallpaperMode" : "wallpaper_mode";
    const auto mode = std::find_if(saved_.begin(), saved_.end(), [](const auto& v) { return v.first == kMode; });
    for (int tries = 0; tries < 100; ++tries) {
        GKeyFile* kf = g_key_file_new();
        const GKeyFileFlags flags = GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
        if (!g_key_file_load_from_file(kf, config_.c_str(), flags, nullptr)) {
            g_key_file_free(kf);
            return;
        }
        gchar* written = g_key_file_get_string(kf, group, modeKey, nullptr);
        const bool settled = mode == saved_.end() || !mode->second || (written && *mode->second == written);
        g_free(written);
        if (settled) {
            if (g_key_file_remove_key(kf, group, key, nullptr)) {
                GError* error = nullptr;
                if (!g_key_file_save_to_file(kf, config_.c_str(), &error)) {
                    std::fprintf(stderr, "vistamere: cannot take the still out of %s: %s\n", config_.c_str(),
                                 error ? error->message : "");
                    g_clear_error(&error);
                }
            }
            g_key_file_free(kf);
            return;
        }
        g_key_file_free(kf);
        g_usleep(50 * 1000);
    }
    std::fprintf(stderr, "vistamere: %s did not write its wallpaper mode back to %s\n", program_.c_str(), config_.c_str());
}
