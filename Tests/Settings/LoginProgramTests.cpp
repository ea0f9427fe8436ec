// Which path the autostart entry starts: the program's name on PATH when that is the same file, so the entry
// survives an upgrade that moves the program behind the name, and never the " (deleted)" name the kernel
// gives a running program whose file an upgrade replaced.

#include <gtest/gtest.h>

#include "Finder/TempDir.h"
#include "Settings/LoginItem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    std::string running;  // relative to the scratch directory unless absolute; may end in " (deleted)"
    std::string path;     // PATH, with "@" standing for the scratch directory
    std::string expected; // relative to the scratch directory
};

std::string expand(const std::string& text, const std::string& root) {
    std::string out;
    for (char c : text) {
        if (c == '@') out += root;
        else out += c;
    }
    return out;
}

TEST(LoginProgram, PrefersTheNameOnThePathForTheSameFile) {
    TempDir dir;
    const fs::path root = dir.path();
    auto executable = [&](const std::string& relative, mode_t mode = 0755) {
        const fs::path p = dir.write(relative, "#!/bin/sh\n");
        ::chmod(p.c_str(), mode);
    };
    executable("opt/1/vistamere");
    executable("usr/bin/vistamere");
    executable("other/vistamere");                // a different program of the same name
    executable("plain/vistamere", 0644);          // not runnable
    fs::create_directories(root / "dir/vistamere");  // a directory of that name
    fs::create_directories(root / "links");
    fs::create_directory_symlink(root / "opt/1", root / "linked-dir");
    fs::create_symlink(root / "opt/1/vistamere", root / "links/vistamere");
    fs::create_directories(root / "hard");
    fs::create_hard_link(root / "opt/1/vistamere", root / "hard/vistamere");
    // The current directory holds the program too: a relative PATH entry must still not be taken.
    fs::create_directories(root / "cwd");
    fs::create_symlink(root / "opt/1/vistamere", root / "cwd/vistamere");

    const std::vector<Case> cases = {
        {"no PATH", "opt/1/vistamere", "", "opt/1/vistamere"},
        {"found through a link on PATH", "opt/1/vistamere", "@/links", "links/vistamere"},
        {"found through a linked directory", "opt/1/vistamere", "@/linked-dir", "linked-dir/vistamere"},
        {"found as a hard link", "opt/1/vistamere", "@/hard", "hard/vistamere"},
        {"the running path itself on PATH", "usr/bin/vistamere", "/nonexistent:@/usr/bin", "usr/bin/vistamere"},
        {"another program of the name first", "opt/1/vistamere", "@/other:@/links", "links/vistamere"},
        {"only another program of the name", "opt/1/vistamere", "@/other", "opt/1/vistamere"},
        {"not runnable, a directory", "opt/1/vistamere", "@/plain:@/dir", "opt/1/vistamere"},
        {"empty and relative entries skipped", "opt/1/vistamere", "::cwd:.:", "opt/1/vistamere"},
        {"replaced by an upgrade", "usr/bin/vistamere (deleted)", "", "usr/bin/vistamere"},
        {"replaced, reached by a link", "opt/1/vistamere (deleted)", "@/other:@/links", "links/vistamere"},
        {"replaced, another program of the name", "usr/bin/vistamere (deleted)", "@/other", "usr/bin/vistamere"},
    };
    const fs::path before = fs::current_path();
    fs::current_path(root / "cwd");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string running = root.string() + "/" + c.running;
        EXPECT_EQ(LoginItem::startablePath(running, expand(c.path, root.string())), root / c.expected);
    }
    fs::current_path(before);
}

TEST(LoginProgram, ThisProgramIsTheRunningTestOrItsNameOnThePath) {
    const fs::path self = LoginItem::thisProgram();
    ASSERT_TRUE(self.is_absolute()) << self;
    EXPECT_TRUE(fs::equivalent(self, fs::read_symlink("/proc/self/exe"))) << self;
}

}  // namespace
