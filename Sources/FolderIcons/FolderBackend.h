#pragma once
// What folder icon synchronisation needs from the system, as small primitives. The real back end maps them
// to gvfs metadata, user extended attributes and icon files (GioFolderBackend); tests use FakeFolderBackend.
// Every path is a full path. Reads answer present, absent or failed (Found); writes answer an error or none.

#include "FolderIcons/Error.h"
#include "FolderIcons/Found.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace FolderIcons {

using Bytes = std::vector<uint8_t>;

// One entry of a directory listing, hidden entries already left out.
struct Entry {
    enum class Kind { directory, other, unknown };  // unknown: its type could not be read
    std::string name;
    Kind kind = Kind::unknown;  // a symbolic link is `other`, whatever it points to
};

// The desktop metadata of a folder that says how it is decorated.
struct Metadata {
    std::optional<std::string> customIcon;  // metadata::custom-icon, a URI
    bool iconName = false;                  // metadata::custom-icon-name is set (a named or emoji icon)
    bool emblems = false;                   // metadata::emblems holds at least one emblem
    bool directoryIcon = false;             // the folder's .directory file names an Icon
};

// An icon picture to put on folders: PNG bytes and a name the back end may use for its file.
struct IconFile {
    std::string name;
    Bytes png;
};

class FolderBackend {
public:
    virtual ~FolderBackend() = default;
    FolderBackend() = default;
    FolderBackend(const FolderBackend&) = delete;
    FolderBackend& operator=(const FolderBackend&) = delete;

    // None when folder icons can be kept in this directory; else why not (code `unsupported`).
    virtual std::optional<Error> probe(const std::filesystem::path& dir) = 0;
    // The entries of the directory in listing order, hidden ones left out.
    virtual Found<std::vector<Entry>> list(const std::filesystem::path& dir) = 0;

    // Extended attribute by its full name ("user.…"): absent when the folder has no such attribute.
    virtual Found<Bytes> attribute(const std::filesystem::path& path, const std::string& name) = 0;
    virtual std::optional<Error> setAttribute(const std::filesystem::path& path, const std::string& name,
                                              const Bytes& value) = 0;
    // Removing an attribute that is not there succeeds.
    virtual std::optional<Error> removeAttribute(const std::filesystem::path& path, const std::string& name) = 0;

    virtual Found<Metadata> metadata(const std::filesystem::path& folder) = 0;
    // The bytes a custom-icon URI points to; absent when there is nothing there to read.
    virtual Found<Bytes> iconBytes(const std::string& uri) = 0;
    // Whether anything, a dangling link included, exists at the path.
    virtual Found<bool> exists(const std::filesystem::path& path) = 0;

    // Makes the picture the folder's custom icon, replacing any other.
    virtual std::optional<Error> setIcon(const std::filesystem::path& folder, const IconFile& icon) = 0;
    // Takes the folder's custom icon away; nothing to take away succeeds.
    virtual std::optional<Error> removeIcon(const std::filesystem::path& folder) = 0;

    // Waits before repainting, so file managers drop the icon they cached.
    virtual void pause(std::chrono::milliseconds duration) = 0;

    // True only the first time: an unusable back end is reported once, not on every pass.
    bool firstReport() { return !std::exchange(reported_, true); }

private:
    bool reported_ = false;
};

}  // namespace FolderIcons
