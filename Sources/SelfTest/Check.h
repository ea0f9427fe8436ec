#pragma once
// A self-test check: when it fails, one line naming it goes to stderr, then the process aborts.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace SelfTest {

inline void check(bool ok, const std::string& what) {
    if (ok) return;
    std::fflush(stdout);
    std::fprintf(stderr, "selftest failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace SelfTest
