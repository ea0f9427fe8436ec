#include "App/FolderSyncDriver.h"

#include "App/AppFakes.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cerrno>

namespace {

using QueuedMain = FakeMain;
using QueuedWorkers = FakeWorkers;

using Error = FolderIcons::Error;

struct Rig {
    std::shared_ptr<QueuedMain> main = std::make_shared<QueuedMain>();
    std::shared_ptr<QueuedWorkers> serial = std::make_shared<QueuedWorkers>();
    std::optional<Error> next;
    std::vector<std::pair<std::filesystem::path, std::optional<SceneKind>>> calls;
    std::optional<std::filesystem::path> desktop = "/home/u/Desktop";
    FolderSyncDriver driver{main, serial,
                            [this](const std::filesystem::path& dir, std::optional<SceneKind> scene) {
                                calls.emplace_back(dir, scene);
                                return next;
                            },
                            [this] { return desktop; }};

    void pass(std::optional<Error> outcome) {
        next = std::move(outcome);
        driver.syncFolders(false, 1, SceneKind::reef);
        serial->runAll();
        main->drain();
    }
};

TEST(FolderSyncDriver, OnlyARefusalOfAccessMarksTheDesktopDenied) {
    struct Case {
        const char* name;
        std::optional<Error> error;
        bool deniedAfterDenied, deniedAfterFine;  // starting from denied, and from not denied
        bool logged;
    };
    const Case cases[] = {
        {"success", std::nullopt, false, false, false},
        {"EACCES", Error::posix(EACCES, "permission denied"), true, true, false},
        {"EPERM", Error::posix(EPERM, "not permitted"), true, true, false},
        {"GIO permission", Error{Error::Domain::gio, G_IO_ERROR_PERMISSION_DENIED, "denied"}, true, true, false},
        {"missing Desktop", Error::posix(ENOENT, "no such directory"), true, false, true},
        {"I/O error", Error::posix(EIO, "input/output error"), true, false, true},
        {"unsupported back end", Error::own(Error::unsupported, "no metadata"), true, false, true},
        {"GIO not found", Error{Error::Domain::gio, G_IO_ERROR_NOT_FOUND, "gone"}, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool startDenied : {true, false}) {
            Rig rig;
            rig.pass(startDenied ? std::optional(Error::posix(EACCES, "x")) : std::nullopt);
            ASSERT_EQ(rig.driver.desktopDenied(), startDenied);
            int changes = 0;
            rig.driver.onDeniedChanged([&] { ++changes; });
            testing::internal::CaptureStderr();
            rig.pass(c.error);
            std::string err = testing::internal::GetCapturedStderr();
            bool expected = startDenied ? c.deniedAfterDenied : c.deniedAfterFine;
            EXPECT_EQ(rig.driver.desktopDenied(), expected);
            EXPECT_EQ(changes, expected != startDenied ? 1 : 0);
            // The help names the directory and the refusal that holds now.
            const auto denial = rig.driver.denial();
            const std::string reason = c.deniedAfterFine ? c.error->reason : "x";
            EXPECT_EQ(denial ? denial->directory + ": " + denial->reason : "", expected ? "/home/u/Desktop: " + reason : "");
            EXPECT_EQ(!err.empty(), c.logged) << err;
        }
    }
}

TEST(FolderSyncDriver, TheChoiceDecidesWhetherAndWhatToPaint) {
    Rig rig;
    rig.driver.syncFolders(false, 0, SceneKind::sea);   // own icons chosen: nothing to do
    rig.driver.syncFolders(false, 2, SceneKind::sea);   // an unknown choice is no themed icons either
    EXPECT_TRUE(rig.serial->jobs.empty());
    rig.driver.syncFolders(false, 1, SceneKind::sea);
    rig.driver.syncFolders(true, 0, SceneKind::sea);    // putting back runs whatever the choice
    rig.driver.syncFolders(false, 1, SceneKind::pond);
    rig.serial->runAll();
    ASSERT_EQ(rig.calls.size(), 3u);
    EXPECT_EQ(rig.calls[0].second, SceneKind::sea);
    EXPECT_EQ(rig.calls[1].second, std::nullopt);
    EXPECT_EQ(rig.calls[2].second, SceneKind::pond);
    EXPECT_EQ(rig.calls[0].first, "/home/u/Desktop");
}

TEST(FolderSyncDriver, NoDesktopDirectoryIsNoDenialAndIsSaidOnce) {
    Rig rig;
    rig.desktop.reset();
    testing::internal::CaptureStderr();
    rig.pass(std::nullopt);
    rig.pass(std::nullopt);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(rig.calls.empty());
    EXPECT_FALSE(rig.driver.desktopDenied());
    size_t first = err.find("no Desktop directory");
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("no Desktop directory", first + 1), std::string::npos) << err;
}

}  // namespace
