#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "App/Gui/AppDelegate.h"
#include "SelfTest/SelfTest.h"

namespace {

void usage(FILE* out) { std::fputs("usage: vistamere [--settings | --selftest [dir] | --icon <path>]\n", out); }

// The desktop program needs a display; the headless modes above never get here.
int gui(const char* argv0, bool settings = false) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fputs("vistamere: no display (DISPLAY is not set); --selftest and --icon run without one\n", stderr);
        return 1;
    }
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
        std::fprintf(stderr, "vistamere: --selftest: %s: not a directory\n", dir.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // First pass: --selftest anywhere wins; its optional directory is the next argument unless that is an
    // option of its own.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != "--selftest") continue;
        std::optional<std::string> dir;
        if (i + 1 < argc && std::string_view(argv[i + 1]).rfind("--", 0) != 0) {
            dir = argv[i + 1];
            if (!usableDirectory(*dir)) return 2;
        }
        SelfTest::entryChecks();
        SelfTest::run(dir);
        return finish(0);
    }
    // Second pass: the first --icon with a path.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != "--icon") continue;
        if (i + 1 >= argc) return gui(argv[0]);  // a trailing --icon chooses no mode
        if (argv[i + 1][0] == '\0') {
            std::fputs("vistamere: --icon needs the path of the PNG to write\n", stderr);
            return 2;
        }
        SelfTest::icon(argv[i + 1]);
        return finish(0);
    }
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return finish(0);
    }
    if (argc == 1) return gui(argv[0]);
    // The launcher's start: the settings window, from this process or from the one already running.
    if (argc == 2 && std::strcmp(argv[1], "--settings") == 0) return gui(argv[0], true);
    usage(stderr);
    return 2;
}
