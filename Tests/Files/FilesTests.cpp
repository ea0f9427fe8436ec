#include "Platform/Files/Files.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "Files/WithoutFileOverrides.h"
#include "Finder/TempDir.h"

namespace {

namespace fs = std::filesystem;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(Files, ReadsRegularFilesAndRefusesEverythingElseAtOnce) {
    TempDir dir;
    const std::string root = dir.path();
    dir.write("small", "hello");
    dir.write("exact", std::string(16, 'x'));
    dir.write("over", std::string(17, 'x'));
    dir.write("empty", "");
    ASSERT_EQ(::mkfifo((root + "/fifo").c_str(), 0600), 0);
    fs::create_directory(root + "/folder");
    fs::create_symlink(root + "/loop", root + "/loop");
    fs::create_symlink(root + "/small", root + "/link");
    dir.write("locked", "secret");
    ::chmod((root + "/locked").c_str(), 0);

    struct Case {
        const char* name;
        std::string path;
        std::optional<std::string> text;
        std::string error;  // the start of the reason when refused
    };
    const Case cases[] = {
        {"a small file", root + "/small", "hello", ""},
        {"exactly the limit", root + "/exact", std::string(16, 'x'), ""},
        {"an empty file", root + "/empty", "", ""},
        {"a symlink to a file", root + "/link", "hello", ""},
        {"one byte over the limit", root + "/over", std::nullopt, "larger than 16 bytes"},
        {"missing", root + "/none", std::nullopt, "No such file or directory"},
        {"below a file", root + "/small/x", std::nullopt, "Not a directory"},
        {"a FIFO without a writer", root + "/fifo", std::nullopt, "not a regular file"},
        {"a directory", root + "/folder", std::nullopt, "not a regular file"},
        {"a symlink loop", root + "/loop", std::nullopt, "Too many levels of symbolic links"},
        {"a character device", "/dev/zero", std::nullopt, "not a regular file"},
        {"mode 000", root + "/locked", std::nullopt, "Permission denied"},
    };
    WithoutFileOverrides asAUser;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error = "stale";
        const auto start = std::chrono::steady_clock::now();
        const auto got = files::readRegular(c.path, 16, &error);
        EXPECT_LT(secondsSince(start), 5);
        EXPECT_EQ(got, c.text);
        if (c.text) {
            EXPECT_EQ(error, "");
        } else {
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        }
        EXPECT_EQ(files::missing(error), c.error == "No such file or directory" || c.error == "Not a directory");
    }
}

TEST(Files, AFileTheSystemReportsAsEmptyIsReadToTheEnd) {
    // /proc files report a size of 0 and hold text all the same.
    std::string error;
    const auto status = files::readRegular("/proc/self/status", 1 << 20, &error);
    ASSERT_TRUE(status) << error;
    EXPECT_NE(status->find("Pid:"), std::string::npos);
    // ...and the limit still holds for them.
    EXPECT_FALSE(files::readRegular("/proc/self/status", 8, &error));
    EXPECT_EQ(error, "larger than 8 bytes");
}

// A child shell that waits 30 s, with an empty and a spaced argument (the ":" keeps the shell from
// replacing itself by the sleep).
pid_t sleeper() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);  // its own group, so that the sleep goes with it
        ::execl("/bin/sh", "/bin/sh", "-c", "sleep 30; :", "", "x y", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid > 0) ::setpgid(pid, pid);  // here too, so that a kill sent at once finds the group
    return pid;
}

TEST(Files, ACommandLineIsReadWhileTheProcessRunsAndIsEmptyOnceItHasEnded) {
    const std::vector<std::string> kArgs{"/bin/sh", "-c", "sleep 30; :", "", "x y"};
    const pid_t running = sleeper();
    ASSERT_GT(running, 0);
    // The arguments are the child's own once it has gone through exec.
    std::vector<std::string> args;
    for (int i = 0; i < 200 && args != kArgs; ++i) {
        ::usleep(10000);
        args = files::commandLine(running);
    }
    const pid_t zombie = sleeper();
    ASSERT_GT(zombie, 0);
    ::kill(-zombie, SIGKILL);
    siginfo_t info{};
    ::waitid(P_PID, zombie, &info, WEXITED | WNOWAIT);  // ended, not yet reaped
    const pid_t reaped = sleeper();
    ASSERT_GT(reaped, 0);
    ::kill(-reaped, SIGKILL);
    ::waitpid(reaped, nullptr, 0);

    struct Case {
        const char* name;
        long pid;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"a running process, empty and spaced arguments kept apart", running, kArgs},
        {"a process that has ended but is not reaped", zombie, {}},
        {"a process that is gone", reaped, {}},
        {"no process", 0, {}},
        {"a negative number", -1, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(files::commandLine(c.pid), c.args) << c.name;
    const auto self = files::commandLine(::getpid());
    ASSERT_FALSE(self.empty());
    EXPECT_NE(self[0].find("files_tests"), std::string::npos) << self[0];

    ::kill(-running, SIGKILL);
    ::waitpid(running, nullptr, 0);
    ::waitpid(zombie, nullptr, 0);
}

TEST(Files, OnlyACertainAbsenceCountsAsNothingThere) {
    TempDir dir;
    const std::string root = dir.path();
    dir.write("file", "x");
    fs::create_symlink(root + "/loop", root + "/loop");
    fs::create_symlink(root + "/nowhere", root + "/dangling");
    fs::create_directory(root + "/shut");
    dir.write("shut/inside", "x");
    ::chmod((root + "/shut").c_str(), 0);
    const std::pair<std::string, bool> cases[] = {
        {root + "/file", true},        {root + "/none", false},       {root + "/file/x", false},
        {root + "/dangling", true},    {root + "/loop", true},        {root + "/loop/x", true},
        {root + "/shut/inside", true}, {root + "/shut/absent", true},
    };
    WithoutFileOverrides asAUser;
    for (const auto& [path, there] : cases) EXPECT_EQ(files::mayExist(path), there) << path;
    ::chmod((root + "/shut").c_str(), 0700);
}

}  // namespace
