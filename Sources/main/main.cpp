#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "App/Gui/AppDelegate.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/Heap.h"
#include "SelfTest/SelfTest.h"

namespace {

void usage(FILE* out) { std::fputs("usage: vistamere [--settings | --selftest [dir] | --icon <path>]\n", out); }

// The desktop program needs a display; the headless modes above never get here.
int gui(const char* argv0, bool settings = false) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
        std::fputs("vistamere: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); --selftest and --icon run "
                   "without one\n", stderr);
        return 1;
    }
    // While the windows open (a second or more), so the first render finds the threads running and their
    // heaps' memory in.
    dispatch::startThreads(dispatch::kLoopThreadWarmth);
    return appgui::run(argv0, settings);
}

// Standard output may be a full disk or a closed pipe: a run whose report was lost has not succeeded.
int finish(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::fprintf(stderr, "vistamere: writing standard output: %s\n", error ? std::strerror(error) : "failed");
        return status == 0 ? 1 : status;
    }
    return status;
}

// The preview directory must name an existing directory; an empty name would write into "/".
bool usableDirectory(const std::string& dir) {
    if (dir.empty()) {
        std::fputs("vistamere: --selftest: the preview directory is empty\n", stderr);
        return false;
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        std::fprintf(stderr, "vistamere: --selftest: %s: %s\n", dir.c_str(), std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "vistamere: --selftest: %s: %s\n", dir.c_str(), std::strerror(ENOTDIR));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    dispatch::keepFreedMemory();  // before any thread starts
    // One mode a run, with exactly its own arguments: anything else is a mistake worth saying, not a mode to
    // guess at.
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) return gui(argv[0]);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        usage(stdout);
        return finish(0);
    }
    // The launcher's start: the settings window, from this process or from the one already running.
    if (args.size() == 1 && args[0] == "--settings") return gui(argv[0], true);
    if (args[0] == "--selftest" && args.size() <= 2) {
        std::optional<std::string> dir;
        if (args.size() == 2) {
            dir = std::string(args[1]);
            if (!usableDirectory(*dir)) return 1;
        }
        dispatch::startThreads(dispatch::kLoopThreadWarmth);
        try {
            SelfTest::entryChecks();
            SelfTest::run(dir);
        } catch (const SelfTest::WriteFailure& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "vistamere: selftest failed: %s\n", e.what());
            return 1;
        }
        return finish(0);
    }
    if (args[0] == "--icon" && args.size() == 2) {
        if (args[1].empty()) {
            std::fputs("vistamere: --icon needs the path of the PNG to write\n", stderr);
            return 2;
        }
        try {
            SelfTest::icon(std::string(args[1]));
        } catch (const SelfTest::WriteFailure& e) {
            std::fprintf(stderr, "vistamere: --icon: %s\n", e.what());
            return 1;
        }
        return finish(0);
    }
    usage(stderr);
    return 2;
}
