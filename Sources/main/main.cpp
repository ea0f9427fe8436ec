#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "SelfTest/SelfTest.h"

namespace {
void usage(FILE* out) { std::fputs("usage: vistamere [--selftest [dir] | --icon <path>]\n", out); }
}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--selftest") == 0) {
        std::optional<std::string> dir;
        if (argc > 2) dir = argv[2];
        SelfTest::run(dir);
        return 0;
    }
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    usage(stderr);
    return 2;
}
