// The self-test's own checks outside the long render run: the entry checks, the scratch directory, and the
// folder icon check on the real back end. ctest runs the folder icon check under a session bus of its own with
// HOME, the XDG directories and TMPDIR in a scratch folder (Tests/Tools/scratch-session.sh).

#include <gtest/gtest.h>

#include "SelfTest/FolderIconCheck.h"
#include "SelfTest/SelfTest.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The scratch folder scratch-session.sh made, or empty when run any other way.
fs::path scratchSession() {
    const char* home = std::getenv("HOME");
    const fs::path path = home ? home : "";
    if (path.filename() != "home" || path.parent_path().filename().string().rfind("session-", 0) != 0) return {};
    return path.parent_path();
}

TEST(SelfTestEntry, VersionAndDesktopSwitchChecksHold) {
    SelfTest::entryChecks();  // aborts, naming the check, when one fails
    SUCCEED();
}

TEST(SelfTestScratch, TakesTheFirstParentThatKeepsUserAttributes) {
    const fs::path base = fs::temp_directory_path() / ("vm-scratch-" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "good");
    std::ofstream(base / "file") << "not a directory";
    // A leftover of an earlier process with the same id is replaced, not reused.
    fs::create_directories(base / "good/probe/stale");

    std::string why;
    const auto second = SelfTest::scratchDirectory({base / "file", base / "good"}, "probe", why);
    ASSERT_TRUE(second) << why;
    EXPECT_EQ(*second, base / "good/probe");
    EXPECT_TRUE(fs::is_directory(*second));
    EXPECT_FALSE(fs::exists(*second / "stale"));
    EXPECT_EQ(::getxattr(second->c_str(), "user.app.vistamere.probe", nullptr, 0), -1);  // the probe is gone

    const auto none = SelfTest::scratchDirectory({base / "file", base / "file/below"}, "probe", why);
    EXPECT_FALSE(none);
    EXPECT_NE(why.find((base / "file/probe").string()), std::string::npos) << why;
    EXPECT_NE(why.find((base / "file/below/probe").string()), std::string::npos) << why;
    fs::remove_all(base);
}

TEST(SelfTestFolderIcons, OnTheSessionBus) {
    const fs::path session = scratchSession();
    ASSERT_FALSE(session.empty()) << "run through ctest: it makes a scratch HOME, TMPDIR and session bus";
    testing::internal::CaptureStdout();
    SelfTest::folderIcons();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "folder icons ok\n");
    const fs::path scratch = session / "tmp" / ("vistamere-selftest-" + std::to_string(::getpid()));
    EXPECT_FALSE(fs::exists(scratch));
    // Its icon files lived inside the scratch directory, never in the user's data.
    EXPECT_FALSE(fs::exists(session / "data/vistamere"));
}

TEST(SelfTestFolderIcons, WithoutABusFailsAndSaysWhy) {
    ASSERT_FALSE(scratchSession().empty()) << "run through ctest: it makes a scratch HOME and TMPDIR";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(SelfTest::folderIcons(), "selftest failed: folder icons: .*gvfs metadata");
}

}  // namespace
