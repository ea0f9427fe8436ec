#include "Finder/SessionIcons.h"

#include <filesystem>
#include <cstdlib>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Finder/GvfsIconSource.h"
#include "Finder/KeyFileIconSource.h"
#include "Finder/LayoutFileSource.h"
#include "Platform/Files/Files.h"

namespace fs = std::filesystem;

namespace {

std::string program(const std::string& command) {
    const std::string first = command.substr(0, command.find(' '));
    return fs::path(first).filename().string();
}

bool has(const std::string& command, const char* word) { return command.find(word) != std::string::npos; }

}  // namespace

SessionIcons::Session SessionIcons::current() {
    Session s;
    const char* desktop = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
    s.desktop = desktop ? desktop : std::string(g_get_home_dir()) + "/Desktop";
    s.configHome = g_get_user_config_dir();
    std::error_code ec;
    // increment(ec), not ++: a process that ends while it is listed must not throw.
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& e = *it;
        const std::string pid = e.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        struct stat st {};
        if (::stat(e.path().c_str(), &st) != 0 || st.st_uid != ::getuid()) continue;
        // Read without streams: a process that ends while it is read fails the read, which a stream
        // turns into an exception.
        std::string command;
        for (const std::string& arg : files::commandLine(std::strtol(pid.c_str(), nullptr, 10))) {
            if (!command.empty()) command += ' ';
            command += arg;
        }
        if (command.empty()) continue;
        s.commands.push_back(std::move(command));
    }
    return s;
}

std::string SessionIcons::manager(const Session& s) {
    // In the order a session is most likely to run them; the first match wins.
    for (const auto& c : s.commands)
        if ((program(c) == "gjs" || program(c) == "gjs-console") && has(c, "ding")) return "ding";
    for (const auto& c : s.commands)
        if (program(c) == "nemo-desktop") return "nemo";
    for (const auto& c : s.commands)
        if (program(c) == "caja" && !has(c, "--no-desktop")) return "caja";
    for (const auto& c : s.commands)
        if (program(c) == "xfdesktop") return "xfdesktop";
    for (const auto& c : s.commands)
        if (program(c) == "pcmanfm" && has(c, "--desktop")) return "pcmanfm";
    return "";
}

std::shared_ptr<IconLayoutSource> SessionIcons::choose(const Session& s) {
    using Gvfs = GvfsIconSource::Manager;
    using Keys = KeyFileIconSource::Manager;
    auto gvfs = [&](Gvfs m) {
        return std::make_shared<GvfsIconSource>(m, GvfsIconSource::Options{s.desktop, s.configHome, 0, {{0, 0}}, std::nullopt});
    };
    auto keys = [&](Keys m) {
        return std::make_shared<KeyFileIconSource>(m, KeyFileIconSource::Options{s.configHome, "", {{0, 0}}, s.desktop, s.workarea});
    };
    const std::string m = manager(s);
    if (m == "ding") return gvfs(Gvfs::desktopIcons);
    if (m == "nemo") return gvfs(Gvfs::nemo);
    if (m == "caja") return gvfs(Gvfs::caja);
    if (m == "xfdesktop") return keys(Keys::xfdesktop);
    if (m == "pcmanfm") return keys(Keys::pcmanfm);
    return std::make_shared<LayoutFileSource>(LayoutFileSource::pathIn(s.configHome));
}
