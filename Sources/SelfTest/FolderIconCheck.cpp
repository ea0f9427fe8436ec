#include "SelfTest/FolderIconCheck.h"

#include "FolderIcons/FolderIcons.h"
#include "FolderIcons/GioFolderBackend.h"
#include "Platform/Graphics/Context.h"
#include "SelfTest/Check.h"

#include <gio/gio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace SelfTest {
namespace {

namespace fs = std::filesystem;
using FolderIcons::Bytes;

constexpr const char* kProbe = "user.app.vistamere.probe";

// A folder's icon: absent when it has none; the bytes its custom-icon reference points to otherwise.
std::optional<Bytes> iconOf(FolderIcons::GioFolderBackend& backend, const fs::path& folder) {
    const auto meta = backend.metadata(folder);
    check(!meta.failedToRead(), "folder icons: " + (meta.error ? meta.error->reason : folder.string()));
    if (!meta.value->customIcon) return std::nullopt;
    const auto bytes = backend.iconBytes(*meta.value->customIcon);
    check(!bytes.failedToRead(), "folder icons: " + (bytes.error ? bytes.error->reason : *meta.value->customIcon));
    return bytes.value ? *bytes.value : Bytes{};
}

std::string marker(const fs::path& folder) {
    const auto found = FolderIcons::attribute(folder.string(), FolderIcons::markerName);
    check(!found.failedToRead(), "folder icons: reading the marker of " + folder.string());
    return found.value ? std::string(found.value->begin(), found.value->end()) : "";
}

// Sets (or with no values, removes) one gvfs metadata key: a string, or a list of strings.
bool setMetadata(const fs::path& path, const char* key, const std::vector<std::string>& values, std::string& why) {
    g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
    g_autoptr(GError) error = nullptr;
    bool ok;
    if (values.empty()) {
        ok = g_file_set_attribute(file, key, G_FILE_ATTRIBUTE_TYPE_INVALID, nullptr, G_FILE_QUERY_INFO_NONE, nullptr, &error);
    } else if (values.size() == 1) {
        ok = g_file_set_attribute_string(file, key, values[0].c_str(), G_FILE_QUERY_INFO_NONE, nullptr, &error);
    } else {
        std::vector<char*> list;
        for (const std::string& v : values) list.push_back(const_cast<char*>(v.c_str()));
        list.push_back(nullptr);
        ok = g_file_set_attribute(file, key, G_FILE_ATTRIBUTE_TYPE_STRINGV, list.data(), G_FILE_QUERY_INFO_NONE,
                                  nullptr, &error);
    }
    if (error) why = error->message;
    return ok;
}

FolderIcons::IconFile pinkIcon() {
    auto ctx = cg::Context::makeBitmap(64, 64, 2);
    check(ctx != nullptr, "folder icons: a 32 x 32 point bitmap for the custom icon");
    ctx->setFillColor(cg::Color::rgb(0xFF2D55));
    ctx->fill(cg::Rect(0, 0, 32, 32));
    const auto image = ctx->makeImage();
    check(image != nullptr, "folder icons: the custom icon's picture");
    FolderIcons::IconFile icon{"selftest-pink", image->pngData(9)};
    check(!icon.png.empty(), "folder icons: the custom icon's PNG");
    return icon;
}

fs::path cacheDirectory() { return fs::path(g_get_user_cache_dir()); }

}  // namespace

std::optional<fs::path> scratchDirectory(const std::vector<fs::path>& parents, const std::string& name,
                                         std::string& why) {
    why.clear();
    for (const fs::path& parent : parents) {
        const fs::path dir = parent / name;
        std::error_code ec;
        fs::remove_all(dir, ec);  // left over by an earlier process of the same id
        fs::create_directories(dir, ec);
        if (ec) {
            why += (why.empty() ? "" : "; ") + ("making " + dir.string() + ": " + ec.message());
            continue;
        }
        if (::setxattr(dir.c_str(), kProbe, "1", 1, 0) == 0) {
            ::removexattr(dir.c_str(), kProbe);
            return dir;
        }
        const int error = errno;
        why += (why.empty() ? "" : "; ") + parent.string() + " keeps no user extended attributes (" +
               std::strerror(error) + ")";
        fs::remove_all(dir, ec);
    }
    return std::nullopt;
}

void folderIcons() {
    const std::string name = "vistamere-selftest-" + std::to_string(::getpid());
    std::error_code ec;
    std::vector<fs::path> parents;
    const fs::path temp = fs::temp_directory_path(ec);
    if (!ec) parents.push_back(temp);
    parents.push_back(cacheDirectory());
    std::string why;
    const auto scratch = scratchDirectory(parents, name, why);
    check(scratch.has_value(), "folder icons: no scratch directory: " + why);
    const fs::path dir = *scratch;
    for (const char* folder : {"plain", "custom", "tagged", "emoji", "Thing.app", "repo/.git"}) {
        fs::create_directories(dir / folder, ec);
        check(!ec, "folder icons: making " + (dir / folder).string() + ": " + ec.message());
    }

    // Icon files go into a hidden folder of the scratch directory, which the passes skip.
    FolderIcons::GioFolderBackend backend(dir / ".icons");
    const auto unsupported = backend.probe(dir);
    check(!unsupported, "folder icons: " + (unsupported ? unsupported->reason : std::string()));

    const FolderIcons::IconFile pink = pinkIcon();
    const auto customSet = backend.setIcon(dir / "custom", pink);
    check(!customSet, "folder icons: giving custom its own icon: " + (customSet ? customSet->reason : ""));
    check(setMetadata(dir / "tagged", "metadata::emblems", {"emblem-important", "emblem-favorite"}, why),
          "folder icons: giving tagged emblems: " + why);
    check(setMetadata(dir / "emoji", "metadata::custom-icon-name", {"x"}, why),
          "folder icons: giving emoji a named icon: " + why);
    const auto custom = iconOf(backend, dir / "custom");
    check(custom && *custom == pink.png, "folder icons: custom carries its own icon");

    auto sync = [&](std::optional<SceneKind> scene) {
        const std::string label = scene ? std::string(scene_kind::rawValue(*scene)) : "no scene";
        const auto error = FolderIcons::sync(backend, dir, scene);
        check(!error, "folder icons: sync with " + label + ": " + (error ? error->reason : ""));
    };

    sync(SceneKind::winter);
    const auto winter = iconOf(backend, dir / "plain");
    check(winter && !winter->empty(), "folder icons: winter: plain has an icon");
    check(marker(dir / "plain") == "winter.2 " + FolderIcons::digest(*winter), "folder icons: winter: plain's marker");
    check(iconOf(backend, dir / "custom") == custom, "folder icons: winter: custom's own icon unchanged");
    for (const char* folder : {"tagged", "emoji", "Thing.app", "repo"})
        check(!iconOf(backend, dir / folder) && marker(dir / folder).empty(),
              std::string("folder icons: winter: ") + folder + " left without an icon");

    sync(SceneKind::winter);
    check(iconOf(backend, dir / "plain") == winter, "folder icons: winter again: plain's icon identical");

    sync(SceneKind::city);
    const auto city = iconOf(backend, dir / "plain");
    check(city && !city->empty() && city != winter, "folder icons: city: plain has a different icon");

    sync(std::nullopt);
    check(!iconOf(backend, dir / "plain") && marker(dir / "plain").empty(),
          "folder icons: no scene: plain has neither icon nor marker");
    check(iconOf(backend, dir / "custom") == custom, "folder icons: no scene: custom's own icon unchanged");

    sync(SceneKind::reef);
    const auto mineSet = backend.setIcon(dir / "plain", pink);
    check(!mineSet, "folder icons: giving plain an icon of its own: " + (mineSet ? mineSet->reason : ""));
    const auto mine = iconOf(backend, dir / "plain");
    check(mine.has_value(), "folder icons: reef: plain carries the icon given to it");
    sync(SceneKind::sea);
    sync(std::nullopt);
    check(iconOf(backend, dir / "plain") == mine, "folder icons: sea, then no scene: plain keeps the icon given to it");

    std::printf("folder icons ok\n");
    std::fflush(stdout);

    // Leave no metadata about the removed folders behind in the user's metadata store.
    for (const char* folder : {"plain", "custom"}) backend.removeIcon(dir / folder);
    setMetadata(dir / "tagged", "metadata::emblems", {}, why);
    setMetadata(dir / "emoji", "metadata::custom-icon-name", {}, why);
    fs::remove_all(dir, ec);
}

}  // namespace SelfTest
