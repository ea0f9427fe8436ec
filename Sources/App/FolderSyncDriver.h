#pragma once
// Keeps the Desktop's folder icons in step with the scene: each request runs one synchronisation on a
// serial worker, so passes never overlap and run in the order asked. Only a refusal of access marks the
// Desktop as denied (the menu then offers help); other failures skip the pass and are logged. Used on
// the main thread only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "App/MainQueue.h"
#include "App/Workers.h"
#include "FolderIcons/Error.h"
#include "FolderIcons/FolderBackend.h"
#include "Scene/SceneKind.h"

class FolderSyncDriver {
public:
    // One synchronisation of a directory: paint it in a scene's theme, or with none put our icons back.
    using Sync = std::function<std::optional<FolderIcons::Error>(const std::filesystem::path&, std::optional<SceneKind>)>;
    // The user's Desktop directory, or none when the session names none.
    using DesktopDirectory = std::function<std::optional<std::filesystem::path>()>;

    // `desktop` defaults to the XDG desktop directory.
    FolderSyncDriver(std::shared_ptr<MainQueue> main, std::shared_ptr<Workers> serial, Sync sync,
                     DesktopDirectory desktop = {});
    ~FolderSyncDriver();
    FolderSyncDriver(const FolderSyncDriver&) = delete;
    FolderSyncDriver& operator=(const FolderSyncDriver&) = delete;

    // A synchronisation over the real back end; the back end lives as long as any pass needs it.
    static Sync over(std::shared_ptr<FolderIcons::FolderBackend> backend);

    // With `putBack` every folder gets its own icon back, whatever the choice; otherwise the folders get the
    // scene's icons when the folder-icon choice is 1, and nothing happens for any other choice.
    void syncFolders(bool putBack, int64_t foldersChoice, SceneKind scene);

    // Whether the last synchronisation that finished was refused access to the Desktop.
    bool desktopDenied() const;
    // What the refusal was about while `desktopDenied` holds, for the help the menu offers.
    struct Denial {
        std::string directory;  // empty when the session names no Desktop directory
        std::string reason;
    };
    std::optional<Denial> denial() const;
    // Runs on the main thread when `desktopDenied` changes.
    void onDeniedChanged(std::function<void()> handler);

    // Whether an error means the Desktop refused us, as opposed to something going wrong.
    static bool isDenial(const FolderIcons::Error& error);

    struct State;

private:
    std::shared_ptr<MainQueue> main_;
    std::shared_ptr<Workers> serial_;
    Sync sync_;
    DesktopDirectory desktop_;
    std::shared_ptr<State> state_;
};
