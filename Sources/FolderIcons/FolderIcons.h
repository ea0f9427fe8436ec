#pragma once
// Scene-themed folder icons: the art of each scene's folder icon, and one synchronisation pass that paints the
// folders of a directory with it, repaints them when the scene changes, and puts back exactly the icons it
// set itself. Its own icons are recognised by the marker attribute "user.app.vistamere.icon" on the folder:
// "<scene>.2 <SHA-256 of the icon bytes>". Folders with the user's own icon, label, emblem or named icon
// are never painted; nothing is changed on a folder whose state could not be read in full.

#include "FolderIcons/Error.h"
#include "FolderIcons/FolderBackend.h"
#include "FolderIcons/Found.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Image.h"
#include "Scene/SceneKind.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace FolderIcons {

inline constexpr const char* markerName = "user.app.vistamere.icon";
inline constexpr const char* tagsName = "user.xdg.tags";
// Removing an icon and painting the next one at once leaves file managers showing the cached old one.
inline constexpr std::chrono::milliseconds repaintDelay{1500};

// --- Art ---
// The scene's folder icon: 256 × 256 points at 2 pixels per point (512 × 512 pixels); null when the bitmap
// cannot be made.
cg::ImageRef art(SceneKind kind);

struct Theme {
    uint32_t color;  // 0xRRGGBB
    std::string_view symbol;
};
Theme theme(SceneKind kind);
// Each channel scaled by k and saturated at full intensity; opaque.
cg::Color tint(uint32_t rgb, double k);

// --- Synchronisation ---
// One pass over the folders directly inside `dir`. With a scene, folders get its icon; without one, every
// icon of ours is taken away. Refuses the home folder and the root, and does nothing when the back end
// cannot keep icons there (reported on stderr once per back end). Returns an error only when nothing was
// done: the directory is unsafe or cannot be listed, or the back end is unsupported. When a folder carries
// an icon of an older scene, the pass waits `repaintDelay` before repainting it.
std::optional<Error> sync(FolderBackend& backend, const std::filesystem::path& dir,
                          std::optional<SceneKind> scene);

// An extended attribute's value, read the size first and then into a buffer of that size. Absent only when
// the file has no such attribute or does not exist; a value that changes between the two calls is read
// again a few times. `get` is getxattr(2) or a stand-in for tests.
using GetAttribute = std::function<ssize_t(const char* path, const char* name, void* value, size_t size)>;
Found<Bytes> attribute(const std::string& path, const std::string& name);
Found<Bytes> attribute(const std::string& path, const std::string& name, const GetAttribute& get);

// Lower-case hexadecimal SHA-256, 64 digits.
std::string digest(const Bytes& bytes);

}  // namespace FolderIcons
