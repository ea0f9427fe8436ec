#include "App/FolderSyncDriver.h"

#include <gio/gio.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "FolderIcons/FolderIcons.h"

struct FolderSyncDriver::State {
    bool denied = false;
    std::optional<Denial> denial;
    std::function<void()> deniedChanged;
    std::string lastComplaint;  // a failure that repeats on every pass is said once
};

FolderSyncDriver::FolderSyncDriver(std::shared_ptr<MainQueue> main, std::shared_ptr<Workers> serial, Sync sync,
                                   DesktopDirectory desktop)
    : main_(std::move(main)),
      serial_(std::move(serial)),
      sync_(std::move(sync)),
      desktop_(std::move(desktop)),
      state_(std::make_shared<State>()) {
    if (!desktop_)
        desktop_ = []() -> std::optional<std::filesystem::path> {
            const char* dir = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
            if (!dir || !*dir) return std::nullopt;
            return std::filesystem::path(dir);
        };
}

FolderSyncDriver::~FolderSyncDriver() = default;

FolderSyncDriver::Sync FolderSyncDriver::over(std::shared_ptr<FolderIcons::FolderBackend> backend) {
    return [backend](const std::filesystem::path& dir, std::optional<SceneKind> scene) {
        return FolderIcons::sync(*backend, dir, scene);
    };
}

bool FolderSyncDriver::isDenial(const FolderIcons::Error& error) {
    switch (error.domain) {
        case FolderIcons::Error::Domain::posix: return error.code == EACCES || error.code == EPERM;
        case FolderIcons::Error::Domain::gio: return error.code == G_IO_ERROR_PERMISSION_DENIED;
        case FolderIcons::Error::Domain::folderIcons: return false;
    }
    return false;
}

bool FolderSyncDriver::desktopDenied() const { return state_->denied; }

std::optional<FolderSyncDriver::Denial> FolderSyncDriver::denial() const {
    return state_->denied ? state_->denial : std::nullopt;
}

void FolderSyncDriver::onDeniedChanged(std::function<void()> handler) { state_->deniedChanged = std::move(handler); }

void FolderSyncDriver::syncFolders(bool putBack, int64_t foldersChoice, SceneKind scene) {
    std::optional<SceneKind> target;
    if (!putBack) {
        if (foldersChoice != 1) return;
        target = scene;
    }
    // Looked up here: GLib's special-directory cache is not for concurrent first use.
    std::optional<std::filesystem::path> dir = desktop_();
    std::weak_ptr<State> weak = state_;
    auto main = main_;
    serial_->run([dir, target, sync = sync_, weak, main] {
        std::optional<FolderIcons::Error> error;
        if (!dir) error = FolderIcons::Error::own(FolderIcons::Error::unsupported, "the session names no Desktop directory");
        else {
            try {
                error = sync(*dir, target);
            } catch (const std::exception& e) {
                error = FolderIcons::Error::own(FolderIcons::Error::unsupported, e.what());
            }
        }
        main->post([weak, error, dir] {
            auto state = weak.lock();
            if (!state) return;
            bool denied = state->denied;
            if (!error) {
                denied = false;
                state->lastComplaint.clear();
            } else if (isDenial(*error)) {
                denied = true;
                state->denial = Denial{dir ? dir->string() : std::string(), error->reason};
            } else {
                // Not a refusal: nothing was done, and the Desktop may still be ours to paint next time.
                std::string line = "folder icons not updated" + (dir ? " in " + dir->string() : std::string()) +
                                   ": " + error->reason;
                if (line != state->lastComplaint) std::fprintf(stderr, "vistamere: %s\n", line.c_str());
                state->lastComplaint = line;
            }
            if (denied != state->denied) {
                state->denied = denied;
                if (state->deniedChanged) state->deniedChanged();
            }
        });
    });
}
