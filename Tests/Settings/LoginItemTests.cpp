// The login item as an XDG autostart entry: its status in each state the file can be in, registering and
// unregistering, and never changing a file someone else wrote.

#include <gtest/gtest.h>

#include "Finder/TempDir.h"
#include "Settings/LoginItem.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Status = LoginItem::Status;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// An executable file at `relative` inside `dir`.
fs::path program(const TempDir& dir, const std::string& relative) {
    const fs::path p = dir.write(relative, "#!/bin/sh\n");
    ::chmod(p.c_str(), 0755);
    return p;
}

std::string entry(const std::string& exec, const std::string& more, bool ours) {
    return "# written by hand\n[Desktop Entry]\nType=Application\nName=Vistamere\nExec=" + exec + "\n" + more +
           (ours ? "X-Vistamere-LoginItem=true\n" : "");
}

TEST(LoginItem, StatusAndChangesInEveryFileState) {
    struct Case {
        const char* what;
        std::optional<std::string> file;  // the entry's text before; none when there is no file
        Status before;
        std::optional<LoginItemError::Code> registerError;    // none: registering succeeds
        std::optional<LoginItemError::Code> unregisterError;  // none: unregistering succeeds
        bool keptAsItWas;  // a file not ours: byte-identical after both changes
    };
    const std::string missing = "/nonexistent/vistamere";
    const Case cases[] = {
        {"absent", std::nullopt, Status::notRegistered, {}, {}, false},
        {"ours, enabled", entry("@PROGRAM@", "", true), Status::enabled, {}, {}, false},
        {"ours, enabled, program moved", entry(missing, "", true), Status::notFound, {}, {}, false},
        {"ours, Hidden", entry("@PROGRAM@", "Hidden=true\n", true), Status::notRegistered, {}, {}, false},
        {"ours, switched off", entry("@PROGRAM@", "X-GNOME-Autostart-enabled=false\n", true), Status::notRegistered, {}, {}, false},
        {"ours, switched on", entry("@PROGRAM@", "X-GNOME-Autostart-enabled=true\nHidden=false\n", true), Status::enabled, {}, {}, false},
        {"foreign, enabled", entry("/bin/sh -c true", "", false), Status::enabled, {}, LoginItemError::foreignEntry, true},
        {"foreign, program on the path", entry("sh", "", false), Status::enabled, {}, LoginItemError::foreignEntry, true},
        {"foreign, Hidden", entry("/bin/sh", "Hidden=true\n", false), Status::notRegistered, LoginItemError::foreignEntry, {}, true},
        {"foreign, switched off", entry("/bin/sh", "X-GNOME-Autostart-enabled=false\n", false), Status::notRegistered, LoginItemError::foreignEntry, {}, true},
        {"foreign, program missing", entry(missing, "", false), Status::notFound, LoginItemError::foreignEntry, LoginItemError::foreignEntry, true},
        {"foreign, marker false", entry("@PROGRAM@", "X-Vistamere-LoginItem=false\n", false), Status::enabled, {}, LoginItemError::foreignEntry, true},
        {"malformed, no group", std::string("Exec=/bin/sh\n"), Status::notFound, LoginItemError::malformedEntry, {}, true},
        {"malformed, not a key file", std::string("\x01\x02 not [text\n"), Status::notFound, LoginItemError::malformedEntry, {}, true},
        {"malformed, empty", std::string(), Status::notFound, LoginItemError::malformedEntry, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path exe = program(dir, "bin/vistamere");
        LoginItem item(fs::path(dir.path()) / "autostart", "vistamere", exe);
        std::string before;
        if (c.file) {
            before = *c.file;
            if (const auto at = before.find("@PROGRAM@"); at != std::string::npos) before.replace(at, 9, exe.string());
            dir.write("autostart/vistamere.desktop", before);
        }
        EXPECT_EQ(item.status(), c.before);

        const auto registered = item.registerItem();
        EXPECT_EQ(registered ? std::optional(registered->code) : std::nullopt,
                  c.registerError ? std::optional<int>(*c.registerError) : std::nullopt)
            << (registered ? registered->reason : "");
        if (!registered) {
            EXPECT_EQ(item.status(), Status::enabled);
        }
        if (c.keptAsItWas) {
            EXPECT_EQ(contents(item.file()), before);
        }

        const auto unregistered = item.unregisterItem();
        EXPECT_EQ(unregistered ? std::optional(unregistered->code) : std::nullopt,
                  c.unregisterError ? std::optional<int>(*c.unregisterError) : std::nullopt)
            << (unregistered ? unregistered->reason : "");
        if (c.keptAsItWas) {
            EXPECT_EQ(contents(item.file()), before);
        } else {
            EXPECT_FALSE(fs::exists(item.file()));
            EXPECT_EQ(item.status(), Status::notRegistered);
        }
    }
}

TEST(LoginItem, RegisteringWritesAnEntryTheSessionStarts) {
    TempDir dir;
    const fs::path exe = program(dir, "bin/vistamere");
    LoginItem item(fs::path(dir.path()) / "config/autostart", "vistamere", exe);
    EXPECT_EQ(item.file(), fs::path(dir.path()) / "config/autostart/vistamere.desktop");
    ASSERT_FALSE(item.registerItem());
    const std::string text = contents(item.file());
    for (const std::string& line : std::vector<std::string>{"[Desktop Entry]", "Type=Application", "Name=Vistamere", "Exec=" + exe.string(),
                                   "X-GNOME-Autostart-enabled=true", "X-Vistamere-LoginItem=true"})
        EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << " in\n" << text;
    EXPECT_EQ(text.find("Hidden"), std::string::npos);
    EXPECT_EQ(fs::status(item.file().parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    // Registering twice changes nothing.
    ASSERT_FALSE(item.registerItem());
    EXPECT_EQ(contents(item.file()), text);
}

TEST(LoginItem, ReenablingKeepsWhatTheUserAddedToOurEntry) {
    TempDir dir;
    const fs::path exe = program(dir, "bin/vistamere");
    const fs::path old = program(dir, "old/vistamere");
    dir.write("autostart/vistamere.desktop",
              "# keep me\n[Desktop Entry]\nType=Application\nName=Vistamere\nName[de]=Vistamere DE\nExec=" +
                  old.string() + "\nHidden=true\nX-GNOME-Autostart-Delay=10\nX-Vistamere-LoginItem=true\n");
    LoginItem item(fs::path(dir.path()) / "autostart", "vistamere", exe);
    EXPECT_EQ(item.status(), Status::notRegistered);
    ASSERT_FALSE(item.registerItem());
    EXPECT_EQ(item.status(), Status::enabled);
    const std::string text = contents(item.file());
    for (const std::string& kept : std::vector<std::string>{"# keep me", "Name[de]=Vistamere DE", "X-GNOME-Autostart-Delay=10",
                                   "Exec=" + exe.string()})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " in\n" << text;
    EXPECT_EQ(text.find("Hidden"), std::string::npos) << text;
    EXPECT_EQ(text.find(old.string()), std::string::npos) << text;
}

TEST(LoginItem, ExecLinesQuoteWhatTheyMust) {
    struct Case {
        const char* path;
        const char* exec;
    };
    const Case cases[] = {
        {"/usr/bin/vistamere", "/usr/bin/vistamere"},
        {"/opt/My Apps/vistamere", "\"/opt/My Apps/vistamere\""},
        {"/opt/a\"b/v", "\"/opt/a\\\"b/v\""},
        {"/opt/$HOME`x`\\y/v", "\"/opt/\\$HOME\\`x\\`\\\\y/v\""},
        {"/opt/100%/v", "/opt/100%%/v"},
        {"/opt/it's/v", "\"/opt/it's/v\""},
        {"", "\"\""},
    };
    for (const Case& c : cases) EXPECT_EQ(LoginItem::execArgument(c.path), c.exec) << c.path;

    // Round trip: an entry for a program in such a folder reads back as enabled; the same entry with the
    // program gone reads as not found.
    for (const char* folder : {"My Apps", "a\"b $x `y` \\z", "100% done", "it's; (here) #1"}) {
        TempDir dir;
        const fs::path exe = program(dir, std::string(folder) + "/vistamere");
        LoginItem item(fs::path(dir.path()) / "autostart", "vistamere", exe);
        ASSERT_FALSE(item.registerItem()) << folder;
        EXPECT_EQ(item.status(), Status::enabled) << folder << "\n" << contents(item.file());
        fs::remove(exe);
        EXPECT_EQ(item.status(), Status::notFound) << folder;
    }
}

TEST(LoginItem, AFailedChangeIsLoggedAndLeavesTheStatus) {
    TempDir dir;
    const fs::path exe = program(dir, "bin/vistamere");
    // The autostart "directory" is a file: nothing can be written below it.
    dir.write("autostart", "not a directory");
    LoginItem blocked(fs::path(dir.path()) / "autostart", "vistamere", exe);
    testing::internal::CaptureStderr();
    EXPECT_EQ(blocked.set(true), Status::notRegistered);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("Vistamere: login item change failed: ", 0), 0u) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;

    // A foreign entry that starts at login stays on when switched off.
    dir.write("other/vistamere.desktop", entry("/bin/sh", "", false));
    LoginItem foreign(fs::path(dir.path()) / "other", "vistamere", exe);
    testing::internal::CaptureStderr();
    EXPECT_EQ(foreign.set(false), Status::enabled);
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("was not written by Vistamere"), std::string::npos) << said;

    // A successful change says nothing.
    LoginItem fine(fs::path(dir.path()) / "fine", "vistamere", exe);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fine.set(true), Status::enabled);
    EXPECT_EQ(fine.set(false), Status::notRegistered);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // Without a path of its own the program cannot be registered.
    LoginItem nameless(fs::path(dir.path()) / "nameless", "vistamere", fs::path());
    const auto error = nameless.registerItem();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, LoginItemError::noExecutable);
    EXPECT_FALSE(fs::exists(nameless.file()));
}

TEST(LoginItem, ALinkInThePlaceOfTheEntryIsNeverWrittenThrough) {
    TempDir dir;
    const fs::path exe = program(dir, "bin/vistamere");
    const std::string target = entry(exe.string(), "Hidden=true\n", true);
    const std::string elsewhere = dir.write("elsewhere.desktop", target);
    fs::create_directories(fs::path(dir.path()) / "autostart");
    fs::create_symlink(elsewhere, fs::path(dir.path()) / "autostart/vistamere.desktop");
    LoginItem item(fs::path(dir.path()) / "autostart", "vistamere", exe);
    EXPECT_EQ(item.status(), Status::notRegistered);
    const auto error = item.registerItem();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, LoginItemError::foreignEntry);
    EXPECT_TRUE(fs::is_symlink(item.file()));
    EXPECT_EQ(contents(elsewhere), target);
}

}  // namespace
