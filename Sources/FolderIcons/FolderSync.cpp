// One synchronisation pass: decide per folder whether its icon is ours, the user's or absent, then paint,
// repaint or take back. Every decision needs a complete read of the folder; a folder that could not be read
// in full is left exactly as it is until a later pass.

#include "FolderIcons/FolderIcons.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <system_error>

namespace FolderIcons {

namespace {

namespace fs = std::filesystem;

// Bundle-like directories stand for one document, not a folder of the user's.
bool isPackage(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const std::string_view suffix : {".app", ".bundle", ".framework"})
        if (lower.size() > suffix.size() && lower.ends_with(suffix)) return true;
    return false;
}

// The marker's pieces: split at spaces, empty pieces dropped. Splitting the raw bytes gives the same pieces
// as decoding first, since a space is never part of a multi-byte sequence and the pieces compared against
// are plain ASCII.
std::vector<std::string> pieces(const Bytes& value) {
    std::vector<std::string> out;
    std::string piece;
    for (const uint8_t byte : value) {
        if (byte == ' ') {
            if (!piece.empty()) out.push_back(std::move(piece));
            piece.clear();
        } else {
            piece.push_back(static_cast<char>(byte));
        }
    }
    if (!piece.empty()) out.push_back(std::move(piece));
    return out;
}

bool hasText(const Bytes& value) {
    return std::any_of(value.begin(), value.end(), [](uint8_t c) { return !std::isspace(c) && c != 0; });
}

// Not g_get_home_dir(): it keeps its first answer for the life of the process, and this must follow
// HOME as it is when a folder is checked.
std::optional<fs::path> homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home);
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return fs::path(found->pw_dir);
    return std::nullopt;
}

// The home folder and the root hold the user's whole life, not a desktop: never paint them.
std::optional<Error> refuseUnsafe(const fs::path& dir) {
    std::error_code ec;
    const fs::path real = fs::canonical(dir, ec);
    if (ec) return Error::posix(ec.value(), "cannot open " + dir.string() + ": " + ec.message());
    if (real == real.root_path())
        return Error::own(Error::unsafeDirectory, dir.string() + " is the root directory");
    if (const auto home = homeDirectory()) {
        const fs::path realHome = fs::canonical(*home, ec);
        if (!ec && real == realHome)
            return Error::own(Error::unsafeDirectory, dir.string() + " is the home folder");
    }
    return std::nullopt;
}

// The folder's custom icon: whether there is one, and the digest of its bytes when they can be read.
struct Fork {
    bool present = false;
    std::optional<std::string> digest;
};

Found<Fork> fork(FolderBackend& backend, const Metadata& meta) {
    if (!meta.customIcon) return Found<Fork>::present({});
    const Found<Bytes> bytes = backend.iconBytes(*meta.customIcon);
    if (bytes.failedToRead()) return Found<Fork>::failed(*bytes.error);
    Fork f{true, std::nullopt};
    if (bytes.value) f.digest = digest(*bytes.value);
    return Found<Fork>::present(std::move(f));
}

class Pass {
public:
    Pass(FolderBackend& backend, std::optional<SceneKind> scene) : backend_(backend), scene_(scene) {
        if (scene) key_ = std::string(scene_kind::rawValue(*scene)) + ".2";
    }

    void visit(const fs::path& path) {
        const Found<Bytes> marker = backend_.attribute(path, markerName);
        if (marker.failedToRead()) return leave(path, *marker.error);
        const Found<Metadata> meta = backend_.metadata(path);
        if (meta.failedToRead()) return leave(path, *meta.error);
        if (!meta.value) return;
        const Found<Fork> icon = fork(backend_, *meta.value);
        if (icon.failedToRead()) return leave(path, *icon.error);

        const bool hasMarker = marker.value.has_value();
        const std::vector<std::string> parts = hasMarker ? pieces(*marker.value) : std::vector<std::string>{};
        const bool ours = !parts.empty() && icon.value->digest && *icon.value->digest == parts.back();

        bool labelled = meta.value->emblems;
        if (!labelled) {
            const Found<Bytes> tags = backend_.attribute(path, tagsName);
            if (tags.failedToRead()) return leave(path, *tags.error);
            labelled = tags.value && hasText(*tags.value);
        }
        // (a) a label or emblem, (b) a named or emoji icon: the user decorated it; take ours back.
        if (labelled || meta.value->iconName) {
            takeBack(path, ours, hasMarker);
            return;
        }
        const Found<bool> git = backend_.exists(path / ".git");
        if (git.failedToRead()) return leave(path, *git.error);
        if (!git.value) return;
        if (ours) {
            // (c) no scene, or a repository now: take ours back.
            if (!scene_ || *git.value) {
                takeBack(path, true, true);
                return;
            }
            // (d) already this scene's.
            if (parts.front() == key_) return;
            // (e) an older scene's: off now, the marker stays so a failed repaint is still recognised.
            if (!backend_.removeIcon(path)) queue_.push_back(path);
            return;
        }
        // (f) not ours: a marker left on it is stale.
        if (hasMarker && backend_.removeAttribute(path, markerName)) return;
        if (!scene_ || *git.value || icon.value->present || meta.value->directoryIcon) return;
        if (const IconFile* picture = iconFile()) paint(path, *picture);
    }

    void repaint() {
        if (!scene_ || queue_.empty()) return;
        const IconFile* picture = iconFile();
        if (!picture) return;
        backend_.pause(repaintDelay);
        for (const fs::path& path : queue_) {
            // The user may have given it an icon of their own while we waited: that one stays.
            const Found<Metadata> meta = backend_.metadata(path);
            if (meta.failedToRead()) {
                leave(path, *meta.error);
                continue;
            }
            if (!meta.value || meta.value->customIcon || meta.value->directoryIcon) continue;
            paint(path, *picture);
        }
    }

private:
    // Removes our icon, then the marker. When the icon cannot be removed the marker stays: an icon of ours
    // without its marker would pass for the user's and never be taken back.
    void takeBack(const fs::path& path, bool ours, bool hasMarker) {
        if (ours && backend_.removeIcon(path)) return;
        if (hasMarker) (void)backend_.removeAttribute(path, markerName);
    }

    // A read that failed says nothing about the folder: it keeps whatever it has, and the user hears why.
    void leave(const fs::path& path, const Error& error) {
        std::fprintf(stderr, "vistamere: folder icons: leaving %s as it is: %s\n", path.c_str(), error.reason.c_str());
    }

    // Marks the folder, then sets the icon. In that order a pass cut short anywhere (a crash, a kill) leaves
    // either a marker without an icon, which the next pass finds stale and removes, or an icon of ours with
    // its marker, which it can take back: never an icon of ours that passes for the user's.
    void paint(const fs::path& path, const IconFile& picture) {
        const std::string sum = digest(picture.png);
        const std::string value = key_ + " " + sum;
        if (backend_.setAttribute(path, markerName, Bytes(value.begin(), value.end()))) return;
        if (backend_.setIcon(path, picture)) {
            (void)backend_.removeAttribute(path, markerName);
            return;
        }
        // The icon must read back as the bytes the marker names; else it is taken off again.
        const Found<Metadata> meta = backend_.metadata(path);
        if (meta.value) {
            const Found<Fork> written = fork(backend_, *meta.value);
            if (written.value && written.value->digest == sum) return;
        }
        if (!backend_.removeIcon(path)) (void)backend_.removeAttribute(path, markerName);
    }

    // The scene's icon, made the first time a folder needs it and shared by the whole pass.
    const IconFile* iconFile() {
        if (!iconTried_) {
            iconTried_ = true;
            if (const cg::ImageRef image = art(*scene_)) {
                IconFile file{std::string(scene_kind::rawValue(*scene_)), image->pngData(9)};
                if (!file.png.empty()) icon_ = std::move(file);
            }
        }
        return icon_ ? &*icon_ : nullptr;
    }

    FolderBackend& backend_;
    std::optional<SceneKind> scene_;
    std::string key_;
    std::vector<fs::path> queue_;
    bool iconTried_ = false;
    std::optional<IconFile> icon_;
};

}  // namespace

std::optional<Error> sync(FolderBackend& backend, const fs::path& dir, std::optional<SceneKind> scene) {
    if (auto refused = refuseUnsafe(dir)) return refused;
    if (auto unsupported = backend.probe(dir)) {
        if (backend.firstReport())
            std::fprintf(stderr, "vistamere: folder icons are off: %s\n", unsupported->reason.c_str());
        return unsupported;
    }
    const Found<std::vector<Entry>> entries = backend.list(dir);
    if (entries.failedToRead()) return entries.error;
    if (!entries.value) return std::nullopt;

    Pass pass(backend, scene);
    for (const Entry& entry : *entries.value) {
        if (entry.kind != Entry::Kind::directory || isPackage(entry.name)) continue;
        pass.visit(dir / entry.name);
    }
    pass.repaint();
    return std::nullopt;
}

}  // namespace FolderIcons
