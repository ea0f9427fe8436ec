// The real back end on gvfs and extended attributes. ctest runs these under a session bus of their own,
// with HOME and the XDG directories in a scratch directory (Tests/FolderIcons/CMakeLists.txt); they refuse
// to run against a real home.

#include <gtest/gtest.h>

#include "FolderIcons/FolderIcons.h"
#include "FolderIcons/GioFolderBackend.h"
#include "Platform/Graphics/Context.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "Files/WithoutFileOverrides.h"

namespace {

namespace fs = std::filesystem;
using FolderIcons::Bytes;

fs::path scratchHome() {
    const char* home = std::getenv("HOME");
    const fs::path path = home ? home : "";
    // Only the scratch home ctest makes; never the user's.
    if (path.parent_path().filename().string().rfind("gio-", 0) != 0) return {};
    return path;
}

void setMetadata(const fs::path& path, const char* key, const std::vector<std::string>& values) {
    GFile* f = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    bool ok;
    if (values.size() == 1) {
        ok = g_file_set_attribute_string(f, key, values[0].c_str(), G_FILE_QUERY_INFO_NONE, nullptr, &error);
    } else {
        std::vector<char*> list;
        for (const std::string& v : values) list.push_back(const_cast<char*>(v.c_str()));
        list.push_back(nullptr);
        ok = g_file_set_attribute(f, key, G_FILE_ATTRIBUTE_TYPE_STRINGV, list.data(), G_FILE_QUERY_INFO_NONE, nullptr, &error);
    }
    g_object_unref(f);
    EXPECT_TRUE(ok) << (error ? error->message : "");
    if (error) g_error_free(error);
}

std::optional<std::string> customIcon(const fs::path& path) {
    GFile* f = g_file_new_for_path(path.c_str());
    GFileInfo* info = g_file_query_info(f, "metadata::custom-icon", G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    g_object_unref(f);
    std::optional<std::string> uri;
    if (info && g_file_info_has_attribute(info, "metadata::custom-icon"))
        uri = g_file_info_get_attribute_string(info, "metadata::custom-icon");
    if (info) g_object_unref(info);
    return uri;
}

// The folder's icon bytes, as the marker's digest covers them.
std::optional<Bytes> fork(const fs::path& path) {
    const auto uri = customIcon(path);
    if (!uri) return std::nullopt;
    gchar* name = g_filename_from_uri(uri->c_str(), nullptr, nullptr);
    gchar* bytes = nullptr;
    gsize length = 0;
    const bool ok = name && g_file_get_contents(name, &bytes, &length, nullptr);
    g_free(name);
    if (!ok) return Bytes{};
    Bytes out(bytes, bytes + length);
    g_free(bytes);
    return out;
}

std::string marker(const fs::path& path) {
    const auto found = FolderIcons::attribute(path.string(), FolderIcons::markerName);
    EXPECT_FALSE(found.failedToRead());
    return found.value ? std::string(found.value->begin(), found.value->end()) : "-";
}

TEST(GioBackend, PaintsRepaintsAndPutsBackTheSelfTestFolders) {
    const fs::path home = scratchHome();
    ASSERT_FALSE(home.empty()) << "run through ctest: it makes a scratch HOME and session bus";
    const fs::path dir = home / ("vistamere-selftest-" + std::to_string(::getpid()));
    for (const char* name : {"plain", "custom", "tagged", "emoji", "Thing.app", "repo/.git"})
        fs::create_directories(dir / name);
    FolderIcons::GioFolderBackend backend(FolderIcons::GioFolderBackend::defaultIconDirectory());
    ASSERT_EQ(FolderIcons::GioFolderBackend::defaultIconDirectory(), home.parent_path() / "data/vistamere/folder-icons");

    auto pink = cg::Context::makeBitmap(64, 64, 2);
    pink->setFillColor(cg::Color::rgb(0xFF2D55));
    pink->fill(cg::Rect(0, 0, 32, 32));
    ASSERT_TRUE(pink->makeImage()->writePNG((home / "pink.png").string()));
    const std::string pinkUri = "file://" + (home / "pink.png").string();
    setMetadata(dir / "custom", "metadata::custom-icon", {pinkUri});
    setMetadata(dir / "tagged", "metadata::emblems", {"emblem-important", "emblem-new"});
    setMetadata(dir / "emoji", "metadata::custom-icon-name", {"x"});
    const auto customFork = fork(dir / "custom");
    ASSERT_TRUE(customFork && !customFork->empty());

    auto sync = [&](std::optional<SceneKind> scene) {
        const auto error = FolderIcons::sync(backend, dir, scene);
        ASSERT_FALSE(error) << error->reason;
    };
    sync(SceneKind::winter);
    const auto winter = fork(dir / "plain");
    ASSERT_TRUE(winter && !winter->empty());
    EXPECT_EQ(marker(dir / "plain"), "winter.2 " + FolderIcons::digest(*winter));
    EXPECT_EQ(fork(dir / "custom"), customFork);
    for (const char* name : {"tagged", "emoji", "Thing.app", "repo"}) {
        EXPECT_FALSE(fork(dir / name)) << name;
        EXPECT_EQ(marker(dir / name), "-") << name;
    }
    EXPECT_EQ(marker(dir / "custom"), "-");

    sync(SceneKind::winter);
    EXPECT_EQ(fork(dir / "plain"), winter);
    EXPECT_EQ(marker(dir / "plain"), "winter.2 " + FolderIcons::digest(*winter));

    sync(SceneKind::city);
    const auto city = fork(dir / "plain");
    ASSERT_TRUE(city);
    EXPECT_NE(city, winter);
    EXPECT_EQ(marker(dir / "plain"), "city.2 " + FolderIcons::digest(*city));

    sync(std::nullopt);
    EXPECT_FALSE(fork(dir / "plain"));
    EXPECT_EQ(marker(dir / "plain"), "-");
    EXPECT_EQ(fork(dir / "custom"), customFork);

    sync(SceneKind::reef);
    setMetadata(dir / "plain", "metadata::custom-icon", {pinkUri});
    const auto mine = fork(dir / "plain");
    sync(SceneKind::sea);
    sync(std::nullopt);
    EXPECT_EQ(fork(dir / "plain"), mine);
    EXPECT_EQ(fork(dir / "plain"), customFork);
    EXPECT_EQ(fork(dir / "custom"), customFork);
    fs::remove_all(dir);
}

TEST(GioBackend, DecorationsKeptOutsideTheMetadataAreTheUsers) {
    const fs::path home = scratchHome();
    ASSERT_FALSE(home.empty()) << "run through ctest: it makes a scratch HOME and session bus";
    const fs::path dir = home / "Desktop";
    struct Folder {
        const char* name;
        const char* directoryFile;  // contents of its .directory, if any
        const char* tags;           // user.xdg.tags, if any
        bool painted;
    };
    const std::vector<Folder> folders = {
        {"kde-icon", "[Desktop Entry]\nIcon=folder-red\n", nullptr, false},
        {"kde-named", "[Desktop Entry]\nName=Work\n", nullptr, true},
        {"not-a-key-file", "Icon=folder-red without a group\n", nullptr, true},
        {"tagged", nullptr, "red", false},
        {"tags-blank", nullptr, " ", true},
    };
    for (const Folder& f : folders) {
        fs::create_directories(dir / f.name);
        if (f.directoryFile) {
            ASSERT_TRUE(g_file_set_contents((dir / f.name / ".directory").c_str(), f.directoryFile, -1, nullptr));
        }
        if (f.tags) {
            ASSERT_EQ(::setxattr((dir / f.name).c_str(), FolderIcons::tagsName, f.tags, std::strlen(f.tags), 0), 0);
        }
    }
    FolderIcons::GioFolderBackend backend(FolderIcons::GioFolderBackend::defaultIconDirectory());
    ASSERT_FALSE(FolderIcons::sync(backend, dir, SceneKind::pond));
    for (const Folder& f : folders) {
        EXPECT_EQ(customIcon(dir / f.name).has_value(), f.painted) << f.name;
        EXPECT_EQ(marker(dir / f.name) != "-", f.painted) << f.name;
    }
    fs::remove_all(dir);
}

TEST(GioBackend, WithoutABusFolderIconsAreUnsupportedAndSaySoOnce) {
    const fs::path home = scratchHome();
    ASSERT_FALSE(home.empty()) << "run through ctest: it makes a scratch HOME";
    const fs::path dir = home / "Desktop";
    fs::create_directories(dir / "plain");
    FolderIcons::GioFolderBackend backend(FolderIcons::GioFolderBackend::defaultIconDirectory());
    testing::internal::CaptureStderr();
    const auto first = FolderIcons::sync(backend, dir, SceneKind::sea);
    const auto second = FolderIcons::sync(backend, dir, SceneKind::sea);
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->code, FolderIcons::Error::unsupported);
    EXPECT_NE(said.find("folder icons are off: no gvfs metadata"), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
    EXPECT_FALSE(customIcon(dir / "plain"));
    EXPECT_EQ(marker(dir / "plain"), "-");
}

}  // namespace

namespace {

// Runs `work` on a thread of its own; when it is still blocked after `seconds`, opens and closes the write
// end of each FIFO so that a reader stuck on one gets its end of file. Answers whether it finished in time.
bool finishesWithin(double seconds, const std::vector<fs::path>& fifos, const std::function<void()>& work) {
    std::atomic<bool> done = false;
    std::thread worker([&] {
        work();
        done = true;
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done && std::chrono::steady_clock::now() < end) g_usleep(2000);
    const bool inTime = done;
    while (!done) {
        for (const fs::path& fifo : fifos) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        }
        g_usleep(10000);
    }
    worker.join();
    return inTime;
}

}  // namespace

TEST(GioBackend, FifosWhereFilesShouldBeNeverHoldThePass) {
    const fs::path home = scratchHome();
    ASSERT_FALSE(home.empty()) << "run through ctest: it makes a scratch HOME and session bus";
    const fs::path dir = home / "FifoDesk";
    for (const char* name : {"fifo-icon", "fifo-directory", "plain"}) fs::create_directories(dir / name);
    const fs::path iconFifo = home / "icon.fifo", directoryFifo = dir / "fifo-directory" / ".directory";
    ASSERT_EQ(::mkfifo(iconFifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(directoryFifo.c_str(), 0600), 0);
    const std::string fifoUri = "file://" + iconFifo.string();
    setMetadata(dir / "fifo-icon", "metadata::custom-icon", {fifoUri});

    FolderIcons::GioFolderBackend backend(FolderIcons::GioFolderBackend::defaultIconDirectory());
    std::optional<FolderIcons::Error> error;
    ASSERT_TRUE(finishesWithin(10, {iconFifo, directoryFifo}, [&] { error = FolderIcons::sync(backend, dir, SceneKind::reef); }));
    ASSERT_FALSE(error) << error->reason;
    // The user's icon, whatever it points at, stays; a FIFO as .directory names no icon.
    EXPECT_EQ(customIcon(dir / "fifo-icon"), fifoUri);
    EXPECT_EQ(marker(dir / "fifo-icon"), "-");
    for (const char* name : {"fifo-directory", "plain"}) {
        const auto painted = fork(dir / name);
        ASSERT_TRUE(painted && !painted->empty()) << name;
        EXPECT_EQ(marker(dir / name), "reef.2 " + FolderIcons::digest(*painted)) << name;
    }
    ASSERT_TRUE(finishesWithin(10, {iconFifo, directoryFifo}, [&] { error = FolderIcons::sync(backend, dir, std::nullopt); }));
    for (const char* name : {"fifo-directory", "plain"}) EXPECT_FALSE(customIcon(dir / name)) << name;
    EXPECT_EQ(customIcon(dir / "fifo-icon"), fifoUri);
    fs::remove_all(dir);
    fs::remove(iconFifo);
}

TEST(GioBackend, AMetadataStoreWeCannotReadLeavesEveryFolderAsItIs) {
    const fs::path home = scratchHome();
    ASSERT_FALSE(home.empty()) << "run through ctest: it makes a scratch HOME and session bus";
    const fs::path dir = home / "ShutDesk";
    for (const char* name : {"mine", "ours"}) fs::create_directories(dir / name);
    auto pink = cg::Context::makeBitmap(16, 16, 1);
    pink->setFillColor(cg::Color::rgb(0xFF2D55));
    pink->fill(cg::Rect(0, 0, 16, 16));
    ASSERT_TRUE(pink->makeImage()->writePNG((home / "mine.png").string()));
    const std::string mineUri = "file://" + (home / "mine.png").string();
    setMetadata(dir / "mine", "metadata::custom-icon", {mineUri});
    FolderIcons::GioFolderBackend backend(FolderIcons::GioFolderBackend::defaultIconDirectory());
    ASSERT_FALSE(FolderIcons::sync(backend, dir, SceneKind::orbit));
    ASSERT_EQ(marker(dir / "mine"), "-");
    const auto ours = fork(dir / "ours");
    ASSERT_TRUE(ours && !ours->empty());
    const std::string ourMarker = marker(dir / "ours");

    // Every file of the store made unreadable, as `chmod 000 gvfs-metadata/home*` does.
    const fs::path store = fs::path(g_get_user_data_dir()) / "gvfs-metadata";
    std::vector<fs::path> shut;
    for (const auto& e : fs::directory_iterator(store))
        if (e.is_regular_file()) shut.push_back(e.path());
    ASSERT_FALSE(shut.empty());
    for (const fs::path& p : shut) fs::permissions(p, fs::perms::none);
    testing::internal::CaptureStderr();
    {
        WithoutFileOverrides asAUser;
        for (const auto scene : {std::optional<SceneKind>(SceneKind::city), std::optional<SceneKind>()})
            EXPECT_FALSE(FolderIcons::sync(backend, dir, scene));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    for (const fs::path& p : shut) fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(customIcon(dir / "mine"), mineUri);
    EXPECT_EQ(marker(dir / "mine"), "-");
    EXPECT_EQ(fork(dir / "ours"), ours);
    EXPECT_EQ(marker(dir / "ours"), ourMarker);
    EXPECT_NE(err.find("leaving " + (dir / "mine").string() + " as it is: reading the gvfs metadata store"), std::string::npos)
        << err;
    EXPECT_NE(err.find("Permission denied"), std::string::npos) << err;
    // Readable again, the pass does its work.
    ASSERT_FALSE(FolderIcons::sync(backend, dir, std::nullopt));
    EXPECT_FALSE(customIcon(dir / "ours"));
    EXPECT_EQ(customIcon(dir / "mine"), mineUri);
    fs::remove_all(dir);
}
