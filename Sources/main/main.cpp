#include <cstdio>
#include <cstring>

namespace {
void usage(FILE* out) {
    std::fputs("usage: vistamere [--selftest [dir] | --icon <path>]\n", out);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    usage(stderr);
    return argc > 1 ? 2 : 0;
}
