#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "SelfTest/SelfTest.h"

namespace {

void usage(FILE* out) { std::fputs("usage: vistamere [--selftest [dir] | --icon <path>]\n", out); }

// Standard output may be a full disk or a closed pipe: a run whose report was lost has not succeeded.
int finish(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::fprintf(stderr, "vistamere: writing standard output: %s\n", error ? std::strerror(error) : "failed");
        return status == 0 ? 1 : status;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--selftest") == 0) {
        std::optional<std::string> dir;
        if (argc > 2) {
            dir = argv[2];
            if (dir->empty()) {
                std::fputs("vistamere: --selftest: the preview directory is empty\n", stderr);
                return 2;
            }
            struct stat st {};
            if (::stat(dir->c_str(), &st) != 0) {
                std::fprintf(stderr, "vistamere: --selftest: %s: %s\n", dir->c_str(), std::strerror(errno));
                return 2;
            }
            if (!S_ISDIR(st.st_mode)) {
                std::fprintf(stderr, "vistamere: --selftest: %s: not a directory\n", dir->c_str());
                return 2;
            }
        }
        SelfTest::run(dir);
        return finish(0);
    }
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return finish(0);
    }
    usage(stderr);
    return 2;
}
